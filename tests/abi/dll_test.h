// Fixture of the tests that drive the real DLL: every test loads it afresh
// (so it starts attached with its load-time state) over fresh fakes, and
// unloads it at the end.
#ifndef QXPLAYSDK_TESTS_ABI_DLL_TEST_H
#define QXPLAYSDK_TESTS_ABI_DLL_TEST_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/abi/loaded_library.h"
#include "tests/fakes/fake_backends.h"

namespace abicheck {

class DllTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const LoadedLibrary& Library() const { return *library_; }
  void Unload() { library_.reset(); }
  void Reload();

  // Opens a stream on the player library and returns its port; -1 after a
  // failed assertion.
  int32_t OpenStream();

 private:
  std::unique_ptr<LoadedLibrary> library_;
};

std::string JoinNames(const std::vector<std::string>& names);

}  // namespace abicheck

// Skips the current test when the DLL lacks any of the named exports: parts
// of the interface arrive one after another, and a test runs as soon as all
// that it calls are there.
#define QX_REQUIRE_EXPORTS(...)                                                    \
  do {                                                                             \
    const auto qx_missing = ::abicheck::MissingExports(Library(), {__VA_ARGS__});  \
    if (!qx_missing.empty()) {                                                     \
      GTEST_SKIP() << "qxplaysdk.dll lacks " << ::abicheck::JoinNames(qx_missing); \
    }                                                                              \
  } while (false)

#endif  // QXPLAYSDK_TESTS_ABI_DLL_TEST_H
