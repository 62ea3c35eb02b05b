// The fixture of every test that drives the library: each test starts with
// the library as it is right after loading and with fresh fake backends.
#ifndef QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H
#define QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H

#include <gtest/gtest.h>

#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"
#include "tests/support/reset_library.h"

namespace qxtest {

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLibrary(); }
  void TearDown() override { ResetLibrary(); }
};

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_SUPPORT_LIBRARY_TEST_H
