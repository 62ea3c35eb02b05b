// Names the caller gives are local paths and nothing else: a URL is never
// connected, a relative name with a colon is a file, and snapshots reach any
// legal name, also when two ports write the same one at once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 70;

// A listening socket on the loopback interface, non-blocking, so that a
// connection attempt shows as a pending connection.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "no loopback listener";
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }
  int port() const { return port_; }
  bool Connected() const {
    const int accepted = accept(fd_, nullptr, nullptr);
    if (accepted < 0) return false;
    close(accepted);
    return true;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(LocalNamesTest, AUrlIsAFileNameThatDoesNotExistAndNothingIsConnected) {
  Listener listener;
  const std::string endpoint = "127.0.0.1:" + std::to_string(listener.port());
  for (const std::string& name :
       {"tcp://" + endpoint, "http://" + endpoint + "/x.mp4", "tcp://" + endpoint + "?listen=0"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(player_open_file(kPort, name.c_str()), 0);
    EXPECT_FALSE(listener.Connected());
  }
}

TEST(LocalNamesTest, ARelativeNameWithAColonIsAFileInTheWorkingFolder) {
  const std::string folder = TempPath("colon-names");
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(Clip("mp4"), folder + "/cam1:0930.mp4",
                             std::filesystem::copy_options::overwrite_existing);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const int32_t opened = player_open_file(kPort, "cam1:0930.mp4");
  std::filesystem::current_path(previous);
  ASSERT_EQ(opened, 1);
  EXPECT_EQ(player_get_total_frames(kPort), 50U);
  EXPECT_EQ(player_close_file(kPort), 1);
}

class SnapshotNameTest : public ::testing::Test {
 protected:
  void TearDown() override {
    player_close_file(kPort);
    player_close_file(kPort + 1);
  }
  // Opens `port` on the clip and shows frame `frame`, paused.
  static void ShowFrame(int32_t port, const std::string& clip, uint32_t frame) {
    ASSERT_EQ(player_open_file(port, Clip(clip).c_str()), 1);
    ASSERT_EQ(player_play(port, nullptr), 1);
    ASSERT_EQ(player_pause(port, 1), 1);
    ASSERT_EQ(player_set_current_frame(port, frame), 1);
  }
};

TEST_F(SnapshotNameTest, ANameOfTheLongestLegalLengthIsWritten) {
  ShowFrame(kPort, "mp4", 10);
  const std::string folder = TempPath("long-names");
  std::filesystem::create_directories(folder);
  const std::string name = std::string(251, 'n') + ".bmp";  // 255 characters
  const std::string path = folder + "/" + name;
  ASSERT_EQ(player_capture_picture(kPort, path.c_str()), 1);
  EXPECT_GT(Psnr(DecodeImage(path), ReferenceFrame(Clip("mp4"), 10)), 28.0);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(SnapshotNameTest, TwoPortsWritingOneNameAtOnceLeaveOneWholePicture) {
  ShowFrame(kPort, "mp4", 5);
  ShowFrame(kPort + 1, "red", 5);
  const std::string path = TempPath("shared-name.bmp");
  const RgbPicture clip_frame = ReferenceFrame(Clip("mp4"), 5);
  const RgbPicture red_frame = ReferenceFrame(Clip("red"), 5);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::thread other([&] { EXPECT_EQ(player_capture_picture(kPort + 1, path.c_str()), 1); });
    EXPECT_EQ(player_capture_picture(kPort, path.c_str()), 1);
    other.join();
    // Whichever rename came last: one writer's whole picture, never a mix.
    const RgbPicture written = DecodeImage(path);
    const bool whole = Psnr(written, clip_frame) > 28.0 || Psnr(written, red_frame) > 28.0;
    ASSERT_TRUE(whole);
  }
}

}  // namespace
}  // namespace qxmedia_test
