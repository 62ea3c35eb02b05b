#include "fuzz/call_sequence/operations.h"

#include <array>
#include <bit>
#include <optional>

#include "fuzz/call_sequence/caller_functions.h"
#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"

namespace qxfuzz {
namespace {

constexpr int32_t kFirstLocalPort = 33;
constexpr int32_t kVoicePort = 99;

// Bytes handed to Ovra_InputData, Ovra_InputAudioData and the capture
// notification.
const std::array<uint8_t, 12288>& Block() {
  static const std::array<uint8_t, 12288> block = [] {
    std::array<uint8_t, 12288> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return bytes;
  }();
  return block;
}

// The voice exports mostly get the voice port, sometimes any other.
int32_t VoicePort(const Step& s) { return s.Bit(7) ? s.Port() : kVoicePort; }
void* Window(const Step& s) { return s.Bit(0) ? reinterpret_cast<void*>(0x1000) : nullptr; }
const void* Data(const Step& s) { return s.Bit(0) ? nullptr : Block().data(); }

FrameValues Frame(const Step& s) {
  const uint32_t a = s.arg;
  return {a * 3 + 1, a * 5 + 2, a * 7 + 3, 0xDEADBEEF, a * 11 + 4, a + 100, ~uintptr_t{a}, 6};
}

int FillCount(const Step& s, int pool) { return s.arg % (pool + 5); }

// The library's last call of `op`, when the step expected one.
std::optional<fake::Call> LastCallOf(const Expectation& e, const char* op) {
  for (const ExpectedCall& call : e.calls) {
    if (call.name == op) {
      return fake::Calls(op).back();
    }
  }
  return std::nullopt;
}

using M = Model;
using S = Step;
using E = Expectation;
using O = OutValues;

const Operation kOperations[] = {
    // Media sources.
    {"Ovra_OpenFile", false,
     [](M& m, const S& s, E& e) { return m.OpenFile(!s.Bit(0), s.Name(1), e); },
     [](const S& s, O& o) { return Ovra_OpenFile(s.Bit(0) ? nullptr : &o.port, s.Name(1)); },
     nullptr},
    {"Ovra_CloseFile", false, [](M& m, const S& s, E& e) { return m.CloseFile(s.Port(), e); },
     [](const S& s, O&) { return Ovra_CloseFile(s.Port()); }, nullptr},
    {"Ovra_OpenStream", false,
     [](M& m, const S& s, E& e) { return m.OpenStream(!s.Bit(0), s.Type(), e); },
     [](const S& s, O& o) {
       return Ovra_OpenStream(s.Bit(0) ? nullptr : &o.port, s.Bit(4) ? nullptr : Block().data(),
                              s.arg, 4096, s.Type());
     },
     nullptr},
    {"Ovra_CloseStream", false, [](M& m, const S& s, E& e) { return m.CloseStream(s.Port(), e); },
     [](const S& s, O&) { return Ovra_CloseStream(s.Port()); }, nullptr},
    {"Ovra_InputData", false, [](M& m, const S& s, E& e) { return m.InputData(s.Port(), e); },
     [](const S& s, O&) { return Ovra_InputData(s.Port(), Data(s), s.arg); }, nullptr},
    // Caller callbacks.
    {"Ovra_RegisterDrawFun", false,
     [](M& m, const S& s, E& e) { return m.RegisterDrawFun(s.Port(), s.Function(), e); },
     [](const S& s, O&) {
       return Ovra_RegisterDrawFun(s.Port(), DrawFunction(s.Function()), s.User());
     },
     nullptr},
    {"Ovra_SetFileEndCallback", false,
     [](M& m, const S& s, E& e) { return m.SetFileEndCallback(s.Port(), s.Function(), e); },
     [](const S& s, O&) {
       return Ovra_SetFileEndCallback(s.Port(), FileEndFunction(s.Function()), s.User());
     },
     nullptr},
    {"Ovra_SetDecodeCallback", false,
     [](M& m, const S& s, E& e) {
       return m.SetDecodeCallback(s.Port(), s.Function(), s.User(), e);
     },
     [](const S& s, O&) {
       return Ovra_SetDecodeCallback(s.Port(), DecodeFunction(s.Function()), s.User());
     },
     nullptr},
    // Play control.
    {"Ovra_Play", false, [](M& m, const S& s, E& e) { return m.Play(s.Port(), e); },
     [](const S& s, O&) { return Ovra_Play(s.Port(), Window(s)); }, nullptr},
    {"Ovra_Stop", false, [](M& m, const S& s, E& e) { return m.Stop(s.Port(), e); },
     [](const S& s, O&) { return Ovra_Stop(s.Port()); },
     [](const M& m, const S& s, const E& e) -> const char* {
       // A remote slot's stop hands on the handle its last play stored.
       const auto call = LastCallOf(e, "net_stop_playback");
       return !call || call->Int(0) == m.slots[s.Port()].playback
                  ? nullptr
                  : "net_stop_playback did not get the slot's playback handle";
     }},
    {"Ovra_Pause", false,
     [](M& m, const S& s, E& e) { return m.CheckedPlayerCall(s.Port(), "player_pause", e); },
     [](const S& s, O&) { return Ovra_Pause(s.Port(), s.arg); }, nullptr},
    {"Ovra_SetPlayPos", false,
     [](M& m, const S& s, E& e) { return m.CheckedPlayerCall(s.Port(), "player_set_position", e); },
     [](const S& s, O&) { return Ovra_SetPlayPos(s.Port(), s.SetPosition()); },
     [](const M&, const S& s, const E& e) -> const char* {
       const auto call = LastCallOf(e, "player_set_position");
       const auto expected = static_cast<float>(s.SetPosition() / 100.0);
       return !call || std::bit_cast<uint32_t>(static_cast<float>(call->Real(1))) ==
                           std::bit_cast<uint32_t>(expected)
                  ? nullptr
                  : "player_set_position did not get the position divided by 100";
     }},
    {"Ovra_GetPlayPos", false,
     [](M& m, const S& s, E& e) {
       return m.GetPlayPos(s.Port(), !s.Bit(0), s.PlayerPosition(), e);
     },
     [](const S& s, O& o) {
       fake::SetPosition(s.PlayerPosition());
       return Ovra_GetPlayPos(s.Port(), s.Bit(0) ? nullptr : &o.position);
     },
     nullptr},
    {"Ovra_SetPlaySpeed", false,
     [](M& m, const S& s, E& e) { return m.SetPlaySpeed(s.Port(), s.Speed(), e); },
     [](const S& s, O&) { return Ovra_SetPlaySpeed(s.Port(), s.Speed()); }, nullptr},
    {"Ovra_GetPlaySpeed", false,
     [](M& m, const S& s, E& e) { return m.GetPlaySpeed(s.Port(), !s.Bit(0), e); },
     [](const S& s, O& o) { return Ovra_GetPlaySpeed(s.Port(), s.Bit(0) ? nullptr : &o.speed); },
     nullptr},
    {"Ovra_NextFrame", false,
     [](M& m, const S& s, E& e) { return m.StepFrame(s.Port(), "player_step_forward", e); },
     [](const S& s, O&) { return Ovra_NextFrame(s.Port()); }, nullptr},
    {"Ovra_PreviousFrame", false,
     [](M& m, const S& s, E& e) { return m.StepFrame(s.Port(), "player_step_back", e); },
     [](const S& s, O&) { return Ovra_PreviousFrame(s.Port()); }, nullptr},
    {"Ovra_GetFileTotalFrames", false,
     [](M& m, const S& s, E& e) {
       return m.GetFrames(s.Port(), !s.Bit(0), "player_get_total_frames", e);
     },
     [](const S& s, O& o) {
       return Ovra_GetFileTotalFrames(s.Port(), s.Bit(0) ? nullptr : &o.count);
     },
     nullptr},
    {"Ovra_GetPlayedFrames", false,
     [](M& m, const S& s, E& e) {
       return m.GetFrames(s.Port(), !s.Bit(0), "player_get_played_frames", e);
     },
     [](const S& s, O& o) { return Ovra_GetPlayedFrames(s.Port(), s.Bit(0) ? nullptr : &o.count); },
     nullptr},
    {"Ovra_SetCurrentFrameNum", false,
     [](M& m, const S& s, E& e) { return m.SetCurrentFrameNum(s.Port(), e); },
     [](const S& s, O&) { return Ovra_SetCurrentFrameNum(s.Port(), s.arg); }, nullptr},
    // Picture, colour and sound.
    {"Ovra_CapPic", false, [](M& m, const S& s, E& e) { return m.CapPic(s.Port(), !s.Bit(0), e); },
     [](const S& s, O&) { return Ovra_CapPic(s.Port(), s.Bit(0) ? nullptr : "shot.bmp"); },
     nullptr},
    {"Ovra_SetColor", false, [](M& m, const S& s, E& e) { return m.SetColor(s.Port(), e); },
     [](const S& s, O&) { return Ovra_SetColor(s.Port(), s.arg, -1, 0, 255); }, nullptr},
    {"Ovra_GetColor", false, [](M& m, const S& s, E& e) { return m.GetColor(s.Port(), e); },
     [](const S& s, O& o) {
       return Ovra_GetColor(s.Port(), &o.colour[0], &o.colour[1], &o.colour[2], &o.colour[3]);
     },
     nullptr},
    {"Ovra_PlaySound", false,
     [](M& m, const S& s, E& e) { return m.CheckedPlayerCall(s.Port(), "player_play_sound", e); },
     [](const S& s, O&) { return Ovra_PlaySound(s.Port()); }, nullptr},
    {"Ovra_StopSound", false, [](M& m, const S& s, E& e) { return m.StopSound(s.Port(), e); },
     [](const S& s, O&) { return Ovra_StopSound(s.Port()); }, nullptr},
    {"Ovra_SetVolume", false,
     [](M& m, const S& s, E& e) { return m.CheckedPlayerCall(s.Port(), "player_set_volume", e); },
     [](const S& s, O&) { return Ovra_SetVolume(s.Port(), s.Volume()); },
     [](const M&, const S& s, const E& e) -> const char* {
       const auto call = LastCallOf(e, "player_set_volume");
       return !call || call->Int(1) == (s.Volume() & 0xFFFFu)
                  ? nullptr
                  : "player_set_volume did not get the low 16 bits of the volume";
     }},
    {"Ovra_GetVolume", false,
     [](M& m, const S& s, E& e) { return m.GetVolume(s.Port(), !s.Bit(0), e); },
     [](const S& s, O& o) { return Ovra_GetVolume(s.Port(), s.Bit(0) ? nullptr : &o.count); },
     nullptr},
    // Recording.
    {"Ovra_RecordStart", false,
     [](M& m, const S& s, E& e) { return m.RecordStart(s.Port(), s.Name(4), s.Type(), e); },
     [](const S& s, O&) { return Ovra_RecordStart(s.Port(), s.Name(4), s.Type()); }, nullptr},
    {"Ovra_RecordStop", false, [](M& m, const S& s, E& e) { return m.RecordStop(s.Port(), e); },
     [](const S& s, O&) { return Ovra_RecordStop(s.Port()); }, nullptr},
    {"Ovra_RecordSwitchFile", false,
     [](M& m, const S& s, E& e) { return m.RecordSwitchFile(s.Port(), s.Name(0), e); },
     [](const S& s, O&) { return Ovra_RecordSwitchFile(s.Port(), s.Name(0)); }, nullptr},
    {"Ovra_SetRecordFileReadyCallback", false,
     [](M& m, const S& s, E&) {
       return m.SetRecordFileReadyCallback(s.Port(), s.Function(), s.User());
     },
     [](const S& s, O&) {
       return Ovra_SetRecordFileReadyCallback(s.Port(), RecordFileFunction(s.Function()), s.User());
     },
     nullptr},
    // Voice talk.
    {"Ovra_InitAudio", false, [](M& m, const S& s, E& e) { return m.InitAudio(!s.Bit(0), e); },
     [](const S& s, O& o) { return Ovra_InitAudio(s.Bit(0) ? nullptr : &o.port); }, nullptr},
    {"Ovra_SetAudioInCallback", false,
     [](M& m, const S& s, E& e) {
       return m.SetAudioInCallback(VoicePort(s), s.Function(), s.User(), e);
     },
     [](const S& s, O&) {
       return Ovra_SetAudioInCallback(VoicePort(s), AudioInFunction(s.Function()), s.User());
     },
     nullptr},
    {"Ovra_InputAudioData", false,
     [](M& m, const S& s, E& e) { return m.InputAudioData(VoicePort(s), !s.Bit(0), e); },
     [](const S& s, O&) { return Ovra_InputAudioData(VoicePort(s), Data(s), s.arg); }, nullptr},
    {"Ovra_CloseAudio", false, [](M& m, const S& s, E& e) { return m.CloseAudio(VoicePort(s), e); },
     [](const S& s, O&) { return Ovra_CloseAudio(VoicePort(s)); }, nullptr},
    // Remote slots.
    {"Ovra_DVR_OpenFileByName", false,
     [](M& m, const S& s, E& e) { return m.OpenFileByName(!s.Bit(0), !s.Bit(1), e); },
     [](const S& s, O& o) {
       return Ovra_DVR_OpenFileByName(s.Login(), s.Bit(0) ? nullptr : &o.port,
                                      s.Bit(1) ? nullptr : "rec/0001.dav");
     },
     nullptr},
    {"Ovra_DVR_OpenFileByTime", false,
     [](M& m, const S& s, E& e) {
       return m.OpenFileByTime(!s.Bit(0), s.TimeText(1), s.TimeTextParses(1), s.TimeText(4),
                               s.TimeTextParses(4), e);
     },
     [](const S& s, O& o) {
       return Ovra_DVR_OpenFileByTime(s.Login(), s.Bit(0) ? nullptr : &o.port, s.arg, s.TimeText(1),
                                      s.TimeText(4));
     },
     nullptr},
    {"Ovra_DVR_CloseFile", false, [](M& m, const S& s, E&) { return m.CloseRemoteFile(s.Port()); },
     [](const S& s, O&) { return Ovra_DVR_CloseFile(s.Port()); }, nullptr},
    // Notifications.
    {"draw notification", true,
     [](M& m, const S& s, E& e) { return int32_t{m.Draw(s.Port(), s.arg, s.User(), e)}; },
     [](const S& s, O&) { return int32_t{fake::FireDraw(s.Port(), s.arg, s.User())}; }, nullptr},
    {"file-end notification", true,
     [](M& m, const S& s, E& e) { return int32_t{m.FileEnd(s.Port(), s.arg, e)}; },
     [](const S& s, O&) { return int32_t{fake::FireFileEnd(s.Port(), s.arg)}; }, nullptr},
    {"decode notification", true,
     [](M& m, const S& s, E& e) { return int32_t{m.Decode(s.Port(), Frame(s), e)}; },
     [](const S& s, O&) {
       const FrameValues f = Frame(s);
       const PlayerFrameInfo info = {f.info_a, f.info_b, f.info_c, f.info_d, f.info_e};
       return int32_t{fake::FireDecode(s.Port(), info, f.value2, f.value3, f.value6)};
     },
     nullptr},
    {"stray decode notification", true,
     [](M& m, const S& s, E& e) {
       return int32_t{m.StrayDecode(kFirstLocalPort, s.Port(), Frame(s), s.User(), e)};
     },
     [](const S& s, O&) {
       // Port 33's registered trampoline, called with another number.
       const fake::DecodeRegistration registration = fake::DecodeRegistrationOf(kFirstLocalPort);
       if (registration.callback == nullptr) {
         return int32_t{0};
       }
       const FrameValues f = Frame(s);
       const PlayerFrameInfo info = {f.info_a, f.info_b, f.info_c, f.info_d, f.info_e};
       registration.callback(s.Port(), f.value2, f.value3, &info, s.User(), f.value6);
       return int32_t{1};
     },
     nullptr},
    {"capture notification", true,
     [](M& m, const S& s, E& e) { return int32_t{m.Capture(s.CaptureLength(), !s.Bit(7), e)}; },
     [](const S& s, O&) {
       ExpectCapturedBlock(Block().data());
       return int32_t{fake::FireCapture(s.Bit(7) ? nullptr : Block().data(), s.CaptureLength())};
     },
     nullptr},
    // Pools: the argument says how many opens with valid arguments to make.
    {"fill local ports", false,
     [](M& m, const S& s, E& e) {
       int32_t result = OVRA_OK;
       for (int i = FillCount(s, 65); i > 0; --i) {
         result = m.OpenFile(true, "fill.mp4", e);
       }
       return result;
     },
     [](const S& s, O& o) {
       int32_t result = OVRA_OK;
       for (int i = FillCount(s, 65); i > 0; --i) {
         result = Ovra_OpenFile(&o.port, "fill.mp4");
       }
       return result;
     },
     nullptr},
    {"fill remote slots", false,
     [](M& m, const S& s, E& e) {
       int32_t result = OVRA_OK;
       for (int i = FillCount(s, 33); i > 0; --i) {
         result = m.OpenFileByName(true, true, e);
       }
       return result;
     },
     [](const S& s, O& o) {
       int32_t result = OVRA_OK;
       for (int i = FillCount(s, 33); i > 0; --i) {
         result = Ovra_DVR_OpenFileByName(1, &o.port, "fill.dav");
       }
       return result;
     },
     nullptr},
};

}  // namespace

std::span<const Operation> Operations() { return kOperations; }

}  // namespace qxfuzz
