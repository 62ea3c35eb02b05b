// The version resource names the DLL and carries the header's version.
#include <string>

#include "qxplaysdk.h"
#include "tests/abi/dll_test.h"

namespace abicheck {
namespace {

class VersionResourceTest : public DllTest {
 protected:
  void SetUp() override {
    DllTest::SetUp();
    const std::string path = Library().Path();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0U) << "no version resource in " << path;
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data_.data()));
  }

  std::string StringValue(const char* name) {
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), key.c_str(), &value, &length) || value == nullptr) {
      return "<missing>";
    }
    return static_cast<const char*>(value);
  }

  std::vector<char> data_;
};

TEST_F(VersionResourceTest, NamesTheLibrary) {
  EXPECT_EQ(StringValue("InternalName"), "qxplaysdk");
  EXPECT_EQ(StringValue("FileDescription"), "qxplaysdk");
  EXPECT_EQ(StringValue("OriginalFilename"), "qxplaysdk.dll");
}

TEST_F(VersionResourceTest, CarriesTheHeaderVersion) {
  EXPECT_EQ(StringValue("FileVersion"), OVRA_VERSION_STRING);
  EXPECT_EQ(StringValue("ProductVersion"), OVRA_VERSION_STRING);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDU);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), OVRA_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), OVRA_VERSION_MINOR);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), OVRA_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
}  // namespace abicheck
