// Puts the library back into its freshly loaded state between tests (and
// between fuzz inputs). Free of any test framework, so that programs other
// than the test suite can use it.
#ifndef QXPLAYSDK_TESTS_SUPPORT_RESET_LIBRARY_H
#define QXPLAYSDK_TESTS_SUPPORT_RESET_LIBRARY_H

namespace qxtest {

// Restores every piece of the library's process-wide state to its load-time
// value and clears the fakes. No backend notification may be in flight.
void ResetLibrary();

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_SUPPORT_RESET_LIBRARY_H
