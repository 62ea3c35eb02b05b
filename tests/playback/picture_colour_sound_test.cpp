// Snapshots, colour values, sound and volume.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "core/port_table.h"
#include "tests/playback/open_ports.h"
#include "tests/support/library_test.h"

namespace {

using PictureColourSound = qxtest::LibraryTest;

constexpr int32_t kUntouched = -12345;

struct Colours {
  std::array<int32_t, 4> values{kUntouched, kUntouched, kUntouched, kUntouched};
  int32_t Get(int32_t port) {
    return Ovra_GetColor(port, &values[0], &values[1], &values[2], &values[3]);
  }
};

TEST_F(PictureColourSound, NonLocalAndFreePortsAreRefusedBeforeAnyOtherCheck) {
  std::vector<int32_t> ports(std::begin(qxtest::kNonLocalPorts), std::end(qxtest::kNonLocalPorts));
  ports.push_back(33);  // free
  for (int32_t port : ports) {
    SCOPED_TRACE(port);
    Colours colours;
    uint32_t volume = 777;
    EXPECT_EQ(Ovra_CapPic(port, "pic.bmp"), -2);
    EXPECT_EQ(Ovra_CapPic(port, nullptr), -2);
    EXPECT_EQ(Ovra_SetColor(port, 1, 2, 3, 4), -2);
    EXPECT_EQ(colours.Get(port), -2);
    EXPECT_EQ(Ovra_PlaySound(port), -2);
    EXPECT_EQ(Ovra_StopSound(port), -2);
    EXPECT_EQ(Ovra_SetVolume(port, 100), -2);
    EXPECT_EQ(Ovra_GetVolume(port, &volume), -2);
    EXPECT_EQ(Ovra_GetVolume(port, nullptr), -2);
    EXPECT_EQ(volume, 777U);
    EXPECT_EQ(colours.values,
              (std::array<int32_t, 4>{kUntouched, kUntouched, kUntouched, kUntouched}));
  }
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PictureColourSound, PlayerExportsMapTheVerdictAtItsBoundaries) {
  // A player stream port, so that the colour exports reach the player too.
  const int32_t port = qxtest::OpenStreamPort(0);
  struct Export {
    const char* op;
    std::function<int32_t()> call;
  };
  const Export exports[] = {
      {"player_capture_picture", [port] { return Ovra_CapPic(port, "pic.bmp"); }},
      {"player_set_colour", [port] { return Ovra_SetColor(port, 1, 2, 3, 4); }},
      {"player_get_colour", [port] { return Colours{}.Get(port); }},
      {"player_play_sound", [port] { return Ovra_PlaySound(port); }},
      {"player_stop_sound", [port] { return Ovra_StopSound(port); }},
      {"player_set_volume", [port] { return Ovra_SetVolume(port, 9); }},
  };
  struct Verdict {
    int64_t answer;
    int32_t expected;
  };
  const Verdict verdicts[] = {{1, 0}, {0, -3}, {2, -3}, {-1, -3}};
  for (const Export& e : exports) {
    for (const Verdict& v : verdicts) {
      SCOPED_TRACE(std::string(e.op) + " answering " + std::to_string(v.answer));
      fake::QueueResults(e.op, {v.answer});
      const std::size_t before = fake::Calls().size();
      EXPECT_EQ(e.call(), v.expected);
      const auto calls = fake::Calls();
      ASSERT_EQ(calls.size(), before + 1) << "one backend call";
      EXPECT_EQ(calls.back().name, e.op);
    }
  }
}

TEST_F(PictureColourSound, ThreeGppColourCallsMapTheirVerdict) {
  const int32_t port = qxtest::OpenStreamPort(1);
  struct Verdict {
    int64_t answer;
    int32_t expected;
  };
  const Verdict verdicts[] = {{0, 0}, {1, -5}, {-1, -5}};
  for (const Verdict& v : verdicts) {
    SCOPED_TRACE(v.answer);
    fake::QueueResults("gpp_set_colour", {v.answer});
    fake::QueueResults("gpp_get_colour", {v.answer});
    EXPECT_EQ(Ovra_SetColor(port, 1, 2, 3, 4), v.expected);
    EXPECT_EQ(Colours{}.Get(port), v.expected);
  }
  EXPECT_EQ(fake::CallCount("player_set_colour") + fake::CallCount("player_get_colour"), 0U);
}

TEST_F(PictureColourSound, ColourCallsPassRegionZeroAndTheValuesInOrder) {
  for (int32_t media_type : {0, 1}) {
    SCOPED_TRACE(media_type);
    qxtest::ResetLibrary();
    const int32_t port = qxtest::OpenStreamPort(media_type);
    const std::string prefix = media_type == 0 ? "player" : "gpp";
    fake::SetColourValues(11, -22, 33, 44);

    EXPECT_EQ(Ovra_SetColor(port, -1, 64, 128, 0x7FFFFFFF), 0);
    const auto set = fake::Calls(prefix + "_set_colour");
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].Int(0), port);
    EXPECT_EQ(set[0].Int(1), 0);
    EXPECT_EQ(set[0].Int(2), -1);
    EXPECT_EQ(set[0].Int(3), 64);
    EXPECT_EQ(set[0].Int(4), 128);
    EXPECT_EQ(set[0].Int(5), 0x7FFFFFFF);

    Colours colours;
    EXPECT_EQ(colours.Get(port), 0);
    const auto get = fake::Calls(prefix + "_get_colour");
    ASSERT_EQ(get.size(), 1U);
    EXPECT_EQ(get[0].Int(0), port);
    EXPECT_EQ(get[0].Int(1), 0);
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(get[0].Ptr(2 + i), &colours.values[i]) << "the caller's own variable";
    }
    EXPECT_EQ(colours.values, (std::array<int32_t, 4>{11, -22, 33, 44}));
  }
}

TEST_F(PictureColourSound, APortWithoutAMediaTypeHasNoColours) {
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 4096, 2), -2);  // taken, media type 2
  fake::Reset();
  fake::SetColourValues(1, 2, 3, 4);
  Colours colours;
  EXPECT_EQ(Ovra_SetColor(port, 1, 2, 3, 4), -2);
  EXPECT_EQ(colours.Get(port), -2);
  EXPECT_EQ(colours.values,
            (std::array<int32_t, 4>{kUntouched, kUntouched, kUntouched, kUntouched}));
  EXPECT_TRUE(fake::Calls().empty());
}

// Only the player library opens files, whatever media type the number's
// previous owner left behind: none (2), the player's (0) or the 3GPP play
// library's (1).
TEST_F(PictureColourSound, AFilePortsColoursAlwaysGoToThePlayer) {
  for (int32_t previous_media_type : {2, 0, 1}) {
    SCOPED_TRACE(previous_media_type);
    qxtest::ResetLibrary();
    if (previous_media_type != 2) {
      ASSERT_EQ(Ovra_CloseStream(qxtest::OpenStreamPort(previous_media_type)), 0);
    }
    const int32_t port = qxtest::OpenFilePort();
    ASSERT_EQ(qx::GetMediaType(port), previous_media_type);
    fake::Reset();
    fake::SetColourValues(5, 6, 7, 8);
    EXPECT_EQ(Ovra_SetColor(port, 5, 6, 7, 8), 0);
    Colours colours;
    EXPECT_EQ(colours.Get(port), 0);
    EXPECT_EQ(colours.values, (std::array<int32_t, 4>{5, 6, 7, 8}));
    EXPECT_EQ(fake::CallNames(),
              (std::vector<std::string>{"player_set_colour", "player_get_colour"}));
  }
}

TEST_F(PictureColourSound, SnapshotGoesToThePlayerWhateverTheMediaType) {
  const int32_t gpp_port = qxtest::OpenStreamPort(1);
  const int32_t file_port = qxtest::OpenFilePort();
  EXPECT_EQ(Ovra_CapPic(gpp_port, "a.bmp"), 0);
  EXPECT_EQ(Ovra_CapPic(file_port, "b.bmp"), 0);
  const auto calls = fake::Calls("player_capture_picture");
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].Int(0), gpp_port);
  EXPECT_EQ(calls[0].Text(1), "a.bmp");
  EXPECT_EQ(calls[1].Int(0), file_port);
  EXPECT_EQ(calls[1].Text(1), "b.bmp");
}

TEST_F(PictureColourSound, SnapshotWithoutAFileNameIsRefused) {
  const int32_t port = qxtest::OpenFilePort();
  fake::Reset();
  EXPECT_EQ(Ovra_CapPic(port, nullptr), -2);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PictureColourSound, SoundGoesToThePlayerAndStopSoundTakesNoPort) {
  const int32_t port = qxtest::OpenStreamPort(1);
  fake::Reset();
  EXPECT_EQ(Ovra_PlaySound(port), 0);
  EXPECT_EQ(Ovra_StopSound(port), 0);
  const auto calls = fake::Calls();
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].name, "player_play_sound");
  EXPECT_EQ(calls[0].Int(0), port);
  EXPECT_EQ(calls[1].name, "player_stop_sound");
  EXPECT_TRUE(calls[1].args.empty());
}

TEST_F(PictureColourSound, SetVolumeHandsOnlyTheLowSixteenBits) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    uint32_t volume;
    int64_t handed;
  };
  const Case cases[] = {{0, 0},
                        {80, 80},
                        {65535, 65535},
                        {65536, 0},
                        {65616, 80},
                        {0xFFFFFFFF, 65535},
                        {0x80008000, 0x8000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.volume);
    EXPECT_EQ(Ovra_SetVolume(port, c.volume), 0);
    const auto call = fake::Calls("player_set_volume").back();
    EXPECT_EQ(call.Int(0), port);
    EXPECT_EQ(call.Int(1), c.handed);
  }
}

TEST_F(PictureColourSound, GetVolumeWritesTheAnswerZeroExtended) {
  const int32_t port = qxtest::OpenStreamPort(1);
  for (int64_t answer : {0, 1, 0x7FFF, 0x8000, 0xFFFF}) {
    SCOPED_TRACE(answer);
    fake::QueueResults("player_get_volume", {answer});
    uint32_t volume = 0xDEADBEEF;
    EXPECT_EQ(Ovra_GetVolume(port, &volume), 0);
    EXPECT_EQ(volume, static_cast<uint32_t>(answer));
    EXPECT_EQ(fake::Calls("player_get_volume").back().Int(0), port);
  }
}

TEST_F(PictureColourSound, GetVolumeRefusesANullOutPointerOnAnOpenPort) {
  const int32_t port = qxtest::OpenFilePort();
  fake::Reset();
  EXPECT_EQ(Ovra_GetVolume(port, nullptr), -2);
  EXPECT_TRUE(fake::Calls().empty());
}

}  // namespace
