// GStreamer's own warnings go through the project's logger: into
// QXPLAYSDK_LOG_FILE, never onto the host program's standard error. The
// logger reads its environment once per process, so the check runs this test
// program again as a child with the environment set.
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backends/net/gst_runtime.h"
#include "tests/net/net_test_support.h"

namespace qx::net {
namespace {

constexpr const char* kChildFlag = "QX_NET_LOG_CHILD";

std::string ThisProgram() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<size_t>(length)) : std::string();
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(GstRuntimeTest, GstreamerWarningsGoToTheLogNotToStandardError) {
  if (std::getenv(kChildFlag) != nullptr) {
    ASSERT_TRUE(EnsureGstreamer());
    g_log("GStreamer", G_LOG_LEVEL_WARNING, "%s", "a warning of GStreamer's");
    g_log("GStreamer-RTSP", G_LOG_LEVEL_CRITICAL, "%s", "a critical of the RTSP library's");
    return;
  }
  const std::string folder = test::ScratchFolder();
  const std::string log = folder + "/net.log", errors = folder + "/net.stderr";
  const std::string command =
      std::string(kChildFlag) + "=1 QXPLAYSDK_LOG=warning QXPLAYSDK_LOG_FILE='" + log + "' '" +
      ThisProgram() + "' --gtest_filter=GstRuntimeTest.* > /dev/null 2> '" + errors + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string lines = ReadText(log);
  EXPECT_NE(lines.find("[gstreamer] GStreamer: a warning of GStreamer's"), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("[gstreamer] GStreamer-RTSP: a critical of the RTSP library's"),
            std::string::npos)
      << lines;
  EXPECT_EQ(ReadText(errors).find("GStreamer"), std::string::npos) << ReadText(errors);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qx::net
