// Names the caller gives are local paths and nothing else: a URL is never
// connected, a relative name with a colon is a file (to open, record into
// and take a snapshot to, also through the library), and snapshots reach any
// legal name, also when two ports write the same one at once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/announced_files.h"
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

// Runs the library in a working folder of its own, so that relative names
// land there; the previous working folder comes back at the end.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& name)
      : folder_(TempPath(name)), previous_(std::filesystem::current_path()) {
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
  std::filesystem::path previous_;
};

// Pushes bytes [from, to) through the library, offering a block the full
// buffer refused again.
void FeedPort(int32_t port, const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  constexpr size_t kBlock = 4096;
  for (size_t at = from; at < to;) {
    const auto length = static_cast<uint32_t>(std::min(kBlock, to - at));
    const int32_t result = Ovra_InputData(port, bytes.data() + at, length);
    ASSERT_TRUE(result == OVRA_OK || result == OVRA_PLAYSDK_ERROR || result == OVRA_3GPPSDK_ERROR)
        << result;
    if (result == OVRA_OK) {
      at += length;
    } else {
      std::this_thread::yield();
    }
  }
}

TEST(LocalNamesTest, TheLibraryOpensAndSnapshotsRelativeNamesWithAColon) {
  const WorkingFolder folder("colon-library-file");
  std::filesystem::copy_file(Clip("mp4"), folder.Path("cam1:0930.mp4"),
                             std::filesystem::copy_options::overwrite_existing);
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, "cam1:0930.mp4"), OVRA_OK);
  uint32_t total = 0;
  EXPECT_EQ(Ovra_GetFileTotalFrames(port, &total), OVRA_OK);
  EXPECT_EQ(total, 50U);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  ASSERT_EQ(Ovra_Pause(port, 1), OVRA_OK);
  ASSERT_EQ(Ovra_SetCurrentFrameNum(port, 10), OVRA_OK);
  const RgbPicture expected = ReferenceFrame(Clip("mp4"), 10);
  for (const char* name : {"cam1:0930.bmp", "cam1:0930.jpg"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Ovra_CapPic(port, name), OVRA_OK);
    EXPECT_GT(Psnr(DecodeImage(folder.Path(name)), expected), 28.0);
  }
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

struct ColonRecordingCase {
  const char* name;
  int32_t media_type;
  const char* clip;
  const char* first;
  const char* second;
  friend std::ostream& operator<<(std::ostream& out, const ColonRecordingCase& c) {
    return out << c.name;
  }
};

class ColonRecordingTest : public ::testing::TestWithParam<ColonRecordingCase> {};

// Started, switched and stopped under names with a colon: both files are
// made in the working folder, hold pictures, and are announced by the names
// given.
TEST_P(ColonRecordingTest, RecordingsUnderRelativeNamesWithAColonAreLocalFiles) {
  const ColonRecordingCase& c = GetParam();
  const WorkingFolder folder(std::string("colon-record-") + c.name);
  const std::vector<uint8_t> bytes = ReadBytes(Clip(c.clip));
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, c.media_type), OVRA_OK);
  Announced announced;
  ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, &Heard, reinterpret_cast<uintptr_t>(&announced)),
            OVRA_OK);
  ASSERT_EQ(Ovra_RecordStart(port, c.first, c.media_type), OVRA_OK);
  FeedPort(port, bytes, 0, bytes.size() / 2);
  ASSERT_EQ(Ovra_RecordSwitchFile(port, c.second), OVRA_OK);
  FeedPort(port, bytes, bytes.size() / 2, bytes.size());
  EXPECT_EQ(Ovra_RecordStop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
  {
    std::lock_guard<std::mutex> guard(announced.mutex);
    EXPECT_EQ(announced.files, (std::vector<std::string>{c.first, c.second}));
  }
  for (const char* name : {c.first, c.second}) {
    SCOPED_TRACE(name);
    EXPECT_GT(ProbeFrameCount(folder.Path(name)), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ColonRecordingTest,
                         ::testing::Values(ColonRecordingCase{"player", OVRA_MEDIA_PLAYER, "ts",
                                                              "cam1:0930.ts", "cam1:0931.ts"},
                                           ColonRecordingCase{"converter", OVRA_MEDIA_3GPP, "3gp",
                                                              "cam2:0930.3gp", "cam2:0931.3gp"}),
                         [](const ::testing::TestParamInfo<ColonRecordingCase>& case_info) {
                           return case_info.param.name;
                         });

// A URL given as a recording's name is a file whose folder does not exist:
// the start fails and nothing is connected.
TEST(LocalNamesTest, ARecordingNamedLikeAUrlConnectsNowhere) {
  Listener listener;
  const std::string name = "tcp://127.0.0.1:" + std::to_string(listener.port()) + "/rec.ts";
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  EXPECT_EQ(Ovra_RecordStart(port, name.c_str(), OVRA_MEDIA_PLAYER), OVRA_PLAYSDK_ERROR);
  EXPECT_FALSE(listener.Connected());
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
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
