// The fixture of every test that drives the library: each test starts with
// the library as it is right after loading and with fresh fake backends.
#ifndef QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H
#define QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H

#include <gtest/gtest.h>

#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"

namespace qxtest {

// Restores every piece of the library's process-wide state to its load-time
// value and clears the fakes. No backend notification may be in flight.
void ResetLibrary();

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLibrary(); }
  void TearDown() override { ResetLibrary(); }
};

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H
