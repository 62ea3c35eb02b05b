// FFmpeg's and SDL's own messages and the engine's reasons for a failure go
// through the project's logger: into QXPLAYSDK_LOG_FILE, never onto the host program's
// standard error. The logger reads its environment once per process, so the
// check runs this test program again as a child with the environment set.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "backends/player.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 71;
constexpr const char* kChildFlag = "QX_ENGINE_LOG_CHILD";

std::string ThisProgram() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return length > 0 ? std::string(path.data(), static_cast<size_t>(length)) : std::string();
}

TEST(EngineLogTest, LibraryMessagesAndFailureReasonsGoToTheLogNotToStandardError) {
  if (const char* broken = std::getenv(kChildFlag); broken != nullptr) {
    // The child: an MP4 cut off before its index.
    EXPECT_EQ(player_open_file(kPort, broken), 0);
    // And a message of SDL's own (the engine loaded SDL): SDL_LogError.
    using SdlLogError = void (*)(int, const char*, ...);
    auto* sdl_log_error = reinterpret_cast<SdlLogError>(dlsym(RTLD_DEFAULT, "SDL_LogError"));
    ASSERT_NE(sdl_log_error, nullptr);
    sdl_log_error(0, "%s", "a message of SDL's");
    return;
  }
  const std::string broken = TempPath("cut-off.mp4");
  RunCommand("head -c 3000 '" + Clip("mp4") + "' > '" + broken + "'");
  const std::string log = TempPath("engine.log");
  const std::string errors = TempPath("engine.stderr");
  RunCommand(std::string(kChildFlag) + "='" + broken +
             "' QXPLAYSDK_LOG=warning QXPLAYSDK_LOG_FILE='" + log + "' '" + ThisProgram() +
             "' --gtest_filter=EngineLogTest.* > /dev/null 2> '" + errors + "'");
  const std::vector<uint8_t> log_bytes = ReadBytes(log);
  const std::string lines(log_bytes.begin(), log_bytes.end());
  // FFmpeg's reason, under its component, and the engine's own, with the port.
  EXPECT_NE(lines.find("[ffmpeg]"), std::string::npos) << lines;
  EXPECT_NE(lines.find("moov atom not found"), std::string::npos) << lines;
  EXPECT_NE(lines.find("[media] port 71: cannot open \"" + broken + "\""), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("[sdl] a message of SDL's"), std::string::npos) << lines;
  const std::vector<uint8_t> error_bytes = ReadBytes(errors);
  EXPECT_EQ(std::string(error_bytes.begin(), error_bytes.end()).find("moov"), std::string::npos);
}

}  // namespace
}  // namespace qxmedia_test
