#include "tests/abi/dll_test.h"

namespace abicheck {

void DllTest::SetUp() {
  fake::Reset();
  Reload();
}

void DllTest::TearDown() {
  library_.reset();
  fake::Reset();
}

void DllTest::Reload() {
  library_.reset();
  library_ = std::make_unique<LoadedLibrary>();
  ASSERT_TRUE(library_->Loaded()) << "LoadLibrary(qxplaysdk.dll) failed, error " << GetLastError();
}

int32_t DllTest::OpenStream() {
  int32_t port = -1;
  const int32_t result =
      Library().Result("Ovra_OpenStream", {Word(&port), 0, 0, 4096, 0 /* player library */});
  EXPECT_EQ(result, 0);
  return port;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) {
    joined += joined.empty() ? name : ", " + name;
  }
  return joined;
}

}  // namespace abicheck
