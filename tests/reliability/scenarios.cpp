// The caller sessions of the fault-injection tests, the caller's cleanup,
// and the functions that count what reaches the caller.
#include <gtest/gtest.h>

#include <sstream>

#include "qxplaysdk.h"
#include "talk/voice_state.h"
#include "tests/fakes/fake_backends.h"
#include "tests/reliability/scenario.h"

namespace qxrel {
namespace {

constexpr uint8_t kBlock[16] = {0x00, 0x00, 0x01, 0xBA, 1, 2, 3, 4};
constexpr const char* kStart = "2011-05-06 08-30-00";
constexpr const char* kEnd = "2011-05-06 09-00-00";
int window_dummy = 0;
void* const kWindow = &window_dummy;

void OVRA_CALLBACK HearDraw(int32_t, uintptr_t, uintptr_t) { HeardByCaller().draw++; }
void OVRA_CALLBACK HearFileEnd(int32_t, uintptr_t) { HeardByCaller().file_end++; }
void OVRA_CALLBACK HearDecode(int32_t, const DecodeFrameInfo*, uintptr_t) {
  HeardByCaller().decode++;
}
void OVRA_CALLBACK HearReady(int32_t, const char*, uintptr_t) { HeardByCaller().ready++; }
void OVRA_CALLBACK HearAudio(int32_t, const uint8_t*, int32_t, uintptr_t) {
  HeardByCaller().audio++;
}

std::size_t At(int32_t port) { return static_cast<std::size_t>(port); }

// Sets `flag` to `value` when the export succeeded; passes its result on.
int32_t OnSuccess(int32_t result, bool& flag, bool value) {
  if (result == OVRA_OK) {
    flag = value;
  }
  return result;
}

int32_t OpenStream(Holder& h, int k, int32_t media_type) {
  h.file[k] = false;
  return Ovra_OpenStream(&h.port[k], kBlock, sizeof kBlock, 4096, media_type);
}

int32_t OpenFile(Holder& h, int k) {
  h.file[k] = true;
  return Ovra_OpenFile(&h.port[k], "clip.mp4");
}

// Both close exports give the port back also when the backend refuses.
int32_t Close(Holder& h, int k) {
  h.closed[k] = true;
  return h.file[k] ? Ovra_CloseFile(h.port[k]) : Ovra_CloseStream(h.port[k]);
}

// A refused open keeps the port taken; a stream open sets the media type
// all the same.
auto TakenAs(int k, std::optional<int32_t> media_type = std::nullopt) {
  return [k, media_type](const Holder& h, Words& w) {
    w.slot[At(h.port[k])] = qx::kSlotTaken;
    if (media_type) {
      w.media[At(h.port[k])] = *media_type;
    }
  };
}

// A refused close frees the port all the same; a stream close resets the
// source mode, a file close keeps it.
auto Released(int k) {
  return [k](const Holder& h, Words& w) {
    w.slot[At(h.port[k])] = qx::kSlotFree;
    if (!h.file[k]) {
      w.source[At(h.port[k])] = qx::kSourceNone;
    }
  };
}

int32_t P(const Holder& h, int k) { return h.port[k]; }

int32_t DecodeOneFrame(const Holder& h, int k) {
  fake::FireDecode(P(h, k), PlayerFrameInfo{});
  return HeardByCaller().decode;
}

std::vector<Step> LiveView() {
  return {
      {"Ovra_OpenStream", [](Holder& h) { return OpenStream(h, 0, OVRA_MEDIA_PLAYER); }, 0,
       TakenAs(0, qx::kMediaPlayer)},
      {"Ovra_OpenStream", [](Holder& h) { return OpenStream(h, 1, OVRA_MEDIA_3GPP); }, 0,
       TakenAs(1, qx::kMedia3gpp)},
      {"Ovra_Play", [](Holder& h) { return Ovra_Play(P(h, 0), kWindow); }, 0},
      {"Ovra_Play", [](Holder& h) { return Ovra_Play(P(h, 1), kWindow); }, 0},
      {"Ovra_InputData", [](Holder& h) { return Ovra_InputData(P(h, 0), kBlock, sizeof kBlock); },
       0},
      {"Ovra_InputData", [](Holder& h) { return Ovra_InputData(P(h, 1), kBlock, sizeof kBlock); },
       0},
      {"Ovra_SetColor", [](Holder& h) { return Ovra_SetColor(P(h, 0), 1, 2, 3, 4); }, 0},
      {"Ovra_SetColor", [](Holder& h) { return Ovra_SetColor(P(h, 1), 1, 2, 3, 4); }, 0},
      {"Ovra_GetColor",
       [](Holder& h) {
         int32_t a = 0, b = 0, c = 0, d = 0;
         return Ovra_GetColor(P(h, 1), &a, &b, &c, &d);
       },
       0},
      {"Ovra_SetDecodeCallback",
       [](Holder& h) { return Ovra_SetDecodeCallback(P(h, 0), HearDecode, 1); }, 0},
      {nullptr, [](Holder& h) { return DecodeOneFrame(h, 0); }, 1},
      {"Ovra_Stop", [](Holder& h) { return Ovra_Stop(P(h, 0)); }, 0},
      {"Ovra_Stop", [](Holder& h) { return Ovra_Stop(P(h, 1)); }, 0},
      {nullptr, [](Holder& h) { return DecodeOneFrame(h, 0); }, 1},  // dropped after the stop
      {"Ovra_CloseStream", [](Holder& h) { return Close(h, 0); }, 0, Released(0)},
      {"Ovra_CloseStream", [](Holder& h) { return Close(h, 1); }, 0, Released(1)},
  };
}

std::vector<Step> FilePlayback() {
  return {
      {"Ovra_OpenFile", [](Holder& h) { return OpenFile(h, 0); }, 0, TakenAs(0)},
      {"Ovra_RegisterDrawFun", [](Holder& h) { return Ovra_RegisterDrawFun(P(h, 0), HearDraw, 7); },
       0},
      {"Ovra_SetFileEndCallback",
       [](Holder& h) { return Ovra_SetFileEndCallback(P(h, 0), HearFileEnd, 8); }, 0},
      {"Ovra_SetDecodeCallback",
       [](Holder& h) { return Ovra_SetDecodeCallback(P(h, 0), HearDecode, 9); }, 0},
      {"Ovra_Play", [](Holder& h) { return Ovra_Play(P(h, 0), kWindow); }, 0},
      {nullptr,
       [](Holder& h) {
         fake::FireDraw(P(h, 0), 1, 2);
         fake::FireFileEnd(P(h, 0), 3);
         fake::FireDecode(P(h, 0), PlayerFrameInfo{});
         const Heard& heard = HeardByCaller();
         return heard.draw + heard.file_end + heard.decode;
       },
       3},
      {"Ovra_Pause", [](Holder& h) { return Ovra_Pause(P(h, 0), 1); }, 0},
      {"Ovra_Pause", [](Holder& h) { return Ovra_Pause(P(h, 0), 0); }, 0},
      {"Ovra_SetPlayPos", [](Holder& h) { return Ovra_SetPlayPos(P(h, 0), 50); }, 0},
      {"Ovra_GetPlayPos",
       [](Holder& h) {
         int32_t position = 0;
         return Ovra_GetPlayPos(P(h, 0), &position);
       },
       0},
      {"Ovra_SetPlaySpeed", [](Holder& h) { return Ovra_SetPlaySpeed(P(h, 0), 4.0F); }, 0},
      {"Ovra_SetPlaySpeed", [](Holder& h) { return Ovra_SetPlaySpeed(P(h, 0), 0.25F); }, 0},
      {"Ovra_SetPlaySpeed", [](Holder& h) { return Ovra_SetPlaySpeed(P(h, 0), 1.0F); }, 0},
      {"Ovra_NextFrame", [](Holder& h) { return Ovra_NextFrame(P(h, 0)); }, 0},
      {"Ovra_PreviousFrame", [](Holder& h) { return Ovra_PreviousFrame(P(h, 0)); }, 0},
      {"Ovra_GetFileTotalFrames",
       [](Holder& h) {
         uint32_t frames = 0;
         return Ovra_GetFileTotalFrames(P(h, 0), &frames);
       },
       0},
      {"Ovra_GetPlayedFrames",
       [](Holder& h) {
         uint32_t frames = 0;
         return Ovra_GetPlayedFrames(P(h, 0), &frames);
       },
       0},
      {"Ovra_SetCurrentFrameNum", [](Holder& h) { return Ovra_SetCurrentFrameNum(P(h, 0), 10); },
       0},
      {"Ovra_CapPic", [](Holder& h) { return Ovra_CapPic(P(h, 0), "snap.bmp"); }, 0},
      // A file port's colours are the player library's, whatever media type
      // the number held.
      {"Ovra_SetColor", [](Holder& h) { return Ovra_SetColor(P(h, 0), 1, 2, 3, 4); }, 0},
      {"Ovra_PlaySound", [](Holder& h) { return Ovra_PlaySound(P(h, 0)); }, 0},
      {"Ovra_SetVolume", [](Holder& h) { return Ovra_SetVolume(P(h, 0), 30000); }, 0},
      {"Ovra_GetVolume",
       [](Holder& h) {
         uint32_t volume = 0;
         return Ovra_GetVolume(P(h, 0), &volume);
       },
       0},
      {"Ovra_StopSound", [](Holder& h) { return Ovra_StopSound(P(h, 0)); }, 0},
      {"Ovra_RegisterDrawFun", [](Holder& h) { return Ovra_RegisterDrawFun(P(h, 0), nullptr, 0); },
       0},
      {"Ovra_SetFileEndCallback",
       [](Holder& h) { return Ovra_SetFileEndCallback(P(h, 0), nullptr, 0); }, 0},
      {"Ovra_Stop", [](Holder& h) { return Ovra_Stop(P(h, 0)); }, 0},
      {"Ovra_CloseFile", [](Holder& h) { return Close(h, 0); }, 0, Released(0)},
  };
}

// One recording with a switch through the player library, then one through
// the 3GP converter.
std::vector<Step> Recording() {
  std::vector<Step> steps;
  const struct {
    int32_t media_type;
    const char* first;
    const char* second;
  } paths[] = {{OVRA_MEDIA_PLAYER, "a.mp4", "b.mp4"}, {OVRA_MEDIA_3GPP, "c.3gp", "d.3gp"}};
  for (int k = 0; k < 2; ++k) {
    const auto path = paths[k];
    const std::vector<Step> more{
        {"Ovra_OpenStream", [=](Holder& h) { return OpenStream(h, k, path.media_type); }, 0,
         TakenAs(k, path.media_type)},
        {"Ovra_SetRecordFileReadyCallback",
         [=](Holder& h) { return Ovra_SetRecordFileReadyCallback(P(h, k), HearReady, 3); }, 0},
        {"Ovra_RecordStart",
         [=](Holder& h) {
           return OnSuccess(Ovra_RecordStart(P(h, k), path.first, path.media_type), h.recording[k],
                            true);
         },
         0},
        {"Ovra_InputData",
         [=](Holder& h) { return Ovra_InputData(P(h, k), kBlock, sizeof kBlock); }, 0},
        // A player library switch whose new file fails after the old one
        // was finished ends the recording (the old file is announced).
        {"Ovra_RecordSwitchFile",
         [=](Holder& h) {
           const int32_t result = Ovra_RecordSwitchFile(P(h, k), path.second);
           if (result != 0 && path.media_type == OVRA_MEDIA_PLAYER) h.recording[k] = false;
           return result;
         },
         0,
         [=](const Holder& h, Words& expected) {
           if (path.media_type == OVRA_MEDIA_PLAYER) expected.recording[P(h, k)] = 0;
         }},
        {"Ovra_RecordStop",
         [=](Holder& h) { return OnSuccess(Ovra_RecordStop(P(h, k)), h.recording[k], false); }, 0},
        {nullptr, [](Holder&) { return HeardByCaller().ready.load(); }, 2 * (k + 1)},
        {"Ovra_CloseStream", [=](Holder& h) { return Close(h, k); }, 0, Released(k)},
    };
    steps.insert(steps.end(), more.begin(), more.end());
  }
  return steps;
}

std::vector<Step> VoiceTalk() {
  return {
      {"Ovra_InitAudio",
       [](Holder& h) { return OnSuccess(Ovra_InitAudio(&h.voice), h.voice_open, true); }, 0},
      {"Ovra_SetAudioInCallback",
       [](Holder& h) { return Ovra_SetAudioInCallback(h.voice, HearAudio, 5); }, 0},
      {nullptr,
       [](Holder&) {
         fake::FireCapture(kBlock, sizeof kBlock);
         return HeardByCaller().audio.load();
       },
       1},
      {"Ovra_InputAudioData",
       [](Holder& h) { return Ovra_InputAudioData(h.voice, kBlock, sizeof kBlock); }, 0},
      {"Ovra_CloseAudio",
       [](Holder& h) { return OnSuccess(Ovra_CloseAudio(h.voice), h.voice_open, false); }, 0},
  };
}

Step Login() {
  return {"Ovra_DVR_Login",
          [](Holder& h) {
            return OnSuccess(Ovra_DVR_Login(&h.login, "192.168.1.20", 8000, "admin", "secret"),
                             h.logged_in, true);
          },
          0};
}

// A logout that the network library refuses has still been made.
Step Logout() {
  return {"Ovra_DVR_Logout",
          [](Holder& h) {
            h.logged_in = false;
            return Ovra_DVR_Logout(h.login);
          },
          0};
}

std::vector<Step> RemotePlayback() {
  return {
      Login(),
      {"Ovra_DVR_OpenFileByName",
       [](Holder& h) { return Ovra_DVR_OpenFileByName(h.login, &h.slot[0], "ch01_0001.rec"); }, 0},
      {"Ovra_DVR_OpenFileByTime",
       [](Holder& h) { return Ovra_DVR_OpenFileByTime(h.login, &h.slot[1], 2, kStart, kEnd); }, 0},
      {"Ovra_Play",
       [](Holder& h) { return OnSuccess(Ovra_Play(h.slot[0], kWindow), h.playing[0], true); }, 0},
      {"Ovra_Play",
       [](Holder& h) { return OnSuccess(Ovra_Play(h.slot[1], kWindow), h.playing[1], true); }, 0},
      {"Ovra_Stop", [](Holder& h) { return OnSuccess(Ovra_Stop(h.slot[0]), h.playing[0], false); },
       0},
      {"Ovra_Stop", [](Holder& h) { return OnSuccess(Ovra_Stop(h.slot[1]), h.playing[1], false); },
       0},
      {"Ovra_DVR_CloseFile",
       [](Holder& h) {
         h.slot_closed[0] = true;
         return Ovra_DVR_CloseFile(h.slot[0]);
       },
       0},
      {"Ovra_DVR_CloseFile",
       [](Holder& h) {
         h.slot_closed[1] = true;
         return Ovra_DVR_CloseFile(h.slot[1]);
       },
       0},
      Logout(),
  };
}

std::vector<Step> Downloads() {
  return {
      Login(),
      {"Ovra_DVR_GetFileByName",
       [](Holder& h) {
         return OnSuccess(Ovra_DVR_GetFileByName(h.login, &h.download[0], "ch01_0001.rec", "a.rec"),
                          h.downloading[0], true);
       },
       0},
      {"Ovra_DVR_GetFileByTime",
       [](Holder& h) {
         return OnSuccess(Ovra_DVR_GetFileByTime(h.login, &h.download[1], 2, kStart, kEnd, "b.rec"),
                          h.downloading[1], true);
       },
       0},
      {"Ovra_DVR_GetDownloadPos",
       [](Holder& h) {
         int32_t position = 0;
         return Ovra_DVR_GetDownloadPos(h.download[0], &position);
       },
       0},
      {"Ovra_DVR_StopGetFile",
       [](Holder& h) {
         return OnSuccess(Ovra_DVR_StopGetFile(h.download[0]), h.downloading[0], false);
       },
       0},
      {"Ovra_DVR_StopGetFile",
       [](Holder& h) {
         return OnSuccess(Ovra_DVR_StopGetFile(h.download[1]), h.downloading[1], false);
       },
       0},
      Logout(),
  };
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios{
      {"LiveView", LiveView()},   {"FilePlayback", FilePlayback()},     {"Recording", Recording()},
      {"VoiceTalk", VoiceTalk()}, {"RemotePlayback", RemotePlayback()}, {"Downloads", Downloads()},
  };
  return scenarios;
}

Heard& HeardByCaller() {
  static Heard heard;
  return heard;
}

void ClearHeard() {
  Heard& heard = HeardByCaller();
  for (std::atomic<int>* count :
       {&heard.draw, &heard.file_end, &heard.decode, &heard.ready, &heard.audio}) {
    count->store(0);
  }
}

void Cleanup(Holder& h) {
  for (int k = 0; k < 2; ++k) {
    const int32_t port = h.port[k];
    if (port < 0 || h.closed[k]) {
      continue;
    }
    if (h.recording[k]) {
      EXPECT_EQ(Ovra_RecordStop(port), 0);
    }
    // The draw function and the file-end callback serve every port until
    // they are switched off; the second is refused (-7) on a port that is
    // not in file mode, which never had one.
    EXPECT_EQ(Ovra_RegisterDrawFun(port, nullptr, 0), 0);
    Ovra_SetFileEndCallback(port, nullptr, 0);
    EXPECT_EQ(Ovra_Stop(port), 0);
    EXPECT_EQ(Close(h, k), 0);
  }
  for (int k = 0; k < 2; ++k) {
    if (h.playing[k]) {
      EXPECT_EQ(Ovra_Stop(h.slot[k]), 0);
    }
    if (h.slot[k] >= 0 && !h.slot_closed[k]) {
      EXPECT_EQ(Ovra_DVR_CloseFile(h.slot[k]), 0);
    }
    if (h.downloading[k]) {
      EXPECT_EQ(Ovra_DVR_StopGetFile(h.download[k]), 0);
    }
  }
  if (h.logged_in) {
    EXPECT_EQ(Ovra_DVR_Logout(h.login), 0);
  }
  if (h.voice_open) {
    EXPECT_EQ(Ovra_CloseAudio(h.voice), 0);
  }
}

Words ReadWords() {
  Words w;
  for (int32_t port = 0; port < qx::kPortCount; ++port) {
    w.slot[At(port)] = qx::GetSlotState(port);
    w.source[At(port)] = qx::GetSourceMode(port);
    w.media[At(port)] = qx::GetMediaType(port);
    w.recording[At(port)] = qx::GetRecordingFlag(port);
  }
  w.voice = qx::IsVoiceInitialised();
  return w;
}

std::string Diff(const Words& expected, const Words& actual) {
  std::ostringstream out;
  const struct {
    const char* name;
    const std::array<int32_t, qx::kPortCount> Words::*word;
  } words[] = {{"slot state", &Words::slot},
               {"source mode", &Words::source},
               {"media type", &Words::media},
               {"recording flag", &Words::recording}};
  for (const auto& word : words) {
    for (std::size_t port = 0; port < expected.slot.size(); ++port) {
      if ((expected.*word.word)[port] != (actual.*word.word)[port]) {
        out << "port " << port << " " << word.name << ": expected " << (expected.*word.word)[port]
            << ", is " << (actual.*word.word)[port] << "\n";
      }
    }
  }
  if (expected.voice != actual.voice) {
    out << "voice channel open: expected " << expected.voice << ", is " << actual.voice << "\n";
  }
  return out.str();
}

}  // namespace qxrel
