#include "tests/record/recording_fixture.h"

#include <utility>

namespace qxtest {

void RecordingTest::SetUp() {
  LibraryTest::SetUp();
  Heard().clear();
  Reaction() = nullptr;
}

void RecordingTest::TearDown() {
  Reaction() = nullptr;
  LibraryTest::TearDown();
}

std::vector<Announcement>& RecordingTest::Heard() {
  static std::vector<Announcement> heard;
  return heard;
}

std::function<void(int32_t, const char*)>& RecordingTest::Reaction() {
  static std::function<void(int32_t, const char*)> reaction;
  return reaction;
}

void OVRA_CALLBACK RecordingTest::Listen(int32_t port, const char* file_name, uintptr_t user) {
  Heard().push_back({port, file_name, user, std::this_thread::get_id()});
  // Taken out first, so that it runs once and may be replaced from inside.
  const auto reaction = std::exchange(Reaction(), nullptr);
  if (reaction) {
    reaction(port, file_name);
  }
}

int32_t RecordingTest::OpenStreamPort(int32_t media_type, uintptr_t user) {
  int32_t port = 0;
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 4096, media_type), 0);
  EXPECT_EQ(Ovra_SetRecordFileReadyCallback(port, Listen, user), 0);
  return port;
}

int32_t RecordingTest::OpenFilePort(uintptr_t user) {
  int32_t port = 0;
  EXPECT_EQ(Ovra_OpenFile(&port, "clip.mp4"), 0);
  EXPECT_EQ(Ovra_SetRecordFileReadyCallback(port, Listen, user), 0);
  return port;
}

}  // namespace qxtest
