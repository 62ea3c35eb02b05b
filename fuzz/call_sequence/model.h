// A model of the library's bookkeeping, written from its documented
// behaviour: the port table's per-port words, the caller functions held for
// each port and process-wide, the remote slots and the voice channel. Each
// export has a prediction that takes the export's arguments, records in an
// Expectation the backend calls it should make (and draws their scripted
// answers from it), the notifications and out-values it should produce, and
// returns the result code it should give, updating the model as the library
// should update itself.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_H

#include <array>
#include <cstdint>
#include <string>

#include "fuzz/call_sequence/expectation.h"

namespace qxfuzz {

// A caller function argument: 0 for null, else which of the fuzzer's two
// functions of that kind.
using FunctionId = int;

struct SlotModel {
  // The media type that chooses the backend of play, stop and colour: a file
  // port is always the player library's.
  int32_t ServingMedia() const { return source == 2 ? 0 : media; }

  // Port table words.
  bool taken = false;
  int32_t source = 0;
  int32_t media = 2;
  int32_t recording = 0;
  float speed = 4.0F;
  // Speed steps the player took since the port last played at normal speed.
  int32_t speed_steps = 0;
  // Decode state and what the player library holds for the port.
  FunctionId decode_function = 0;
  uint32_t decode_sequence = 0;
  bool decode_registered = false;
  uintptr_t decode_user = 0;
  bool draw_registered = false;
  bool file_end_registered = false;
  // Recording announcements.
  FunctionId record_function = 0;
  uintptr_t record_user = 0;
  std::string record_name;
  // Remote slot record (slots 0..32).
  int32_t kind = 0;  // 0 by name, 1 by time
  bool start_parses = false;
  bool end_parses = false;
  int32_t playback = 0;
};

// The frame record the fuzzer hands to a decode notification.
struct FrameValues {
  uint32_t info_a, info_b, info_c, info_d, info_e;
  uintptr_t value2, value3, value6;
};

class Model {
 public:
  static constexpr int32_t kSlots = 98;

  std::array<SlotModel, kSlots> slots;
  FunctionId draw_function = 0;
  FunctionId file_end_function = 0;
  FunctionId audio_function = 0;
  bool voice_open = false;
  bool capture_registered = false;
  uintptr_t capture_user = 0;

  // Media sources.
  int32_t OpenFile(bool out_valid, const char* name, Expectation& e);
  int32_t CloseFile(int32_t port, Expectation& e);
  int32_t OpenStream(bool out_valid, int32_t media_type, Expectation& e);
  int32_t CloseStream(int32_t port, Expectation& e);
  int32_t InputData(int32_t port, Expectation& e);
  // Caller callbacks.
  int32_t RegisterDrawFun(int32_t port, FunctionId function, Expectation& e);
  int32_t SetFileEndCallback(int32_t port, FunctionId function, Expectation& e);
  int32_t SetDecodeCallback(int32_t port, FunctionId function, uintptr_t user, Expectation& e);
  // Play control.
  int32_t Play(int32_t port, Expectation& e);
  int32_t Stop(int32_t port, Expectation& e);
  int32_t CheckedPlayerCall(int32_t port, const char* op, Expectation& e);
  int32_t GetPlayPos(int32_t port, bool out_valid, float player_position, Expectation& e);
  int32_t SetPlaySpeed(int32_t port, float speed, Expectation& e);
  int32_t GetPlaySpeed(int32_t port, bool out_valid, Expectation& e);
  int32_t StepFrame(int32_t port, const char* op, Expectation& e);
  int32_t SetCurrentFrameNum(int32_t port, Expectation& e);
  int32_t GetFrames(int32_t port, bool out_valid, const char* op, Expectation& e);
  // Picture, colour and sound.
  int32_t CapPic(int32_t port, bool name_valid, Expectation& e);
  int32_t SetColor(int32_t port, Expectation& e);
  int32_t GetColor(int32_t port, Expectation& e);
  int32_t StopSound(int32_t port, Expectation& e);
  int32_t GetVolume(int32_t port, bool out_valid, Expectation& e);
  // Recording.
  int32_t RecordStart(int32_t port, const char* name, int32_t type, Expectation& e);
  int32_t RecordStop(int32_t port, Expectation& e);
  int32_t RecordSwitchFile(int32_t port, const char* name, Expectation& e);
  int32_t SetRecordFileReadyCallback(int32_t port, FunctionId function, uintptr_t user);
  // Voice talk.
  int32_t InitAudio(bool out_valid, Expectation& e);
  int32_t SetAudioInCallback(int32_t port, FunctionId function, uintptr_t user, Expectation& e);
  int32_t InputAudioData(int32_t port, bool data_valid, Expectation& e);
  int32_t CloseAudio(int32_t port, Expectation& e);
  // Remote slots.
  int32_t OpenFileByName(bool out_valid, bool name_valid, Expectation& e);
  int32_t OpenFileByTime(bool out_valid, const char* start, bool start_parses, const char* end,
                         bool end_parses, Expectation& e);
  int32_t CloseRemoteFile(int32_t slot);

  // Notifications as the player library makes them; each returns whether
  // the player library holds a registration to deliver it through.
  bool Draw(int32_t port, uintptr_t value2, uintptr_t value3, Expectation& e) const;
  bool FileEnd(int32_t port, uintptr_t value2, Expectation& e) const;
  bool Decode(int32_t port, const FrameValues& frame, Expectation& e);
  // A decode notification for `port` made through the registration of
  // `registered_port`, with `user` as the fifth value, as a player library
  // would make it that mixed up its numbers.
  bool StrayDecode(int32_t registered_port, int32_t port, const FrameValues& frame, uintptr_t user,
                   Expectation& e);
  bool Capture(uint32_t length, bool has_data, Expectation& e) const;

 private:
  SlotModel* TakenLocal(int32_t port);
  int32_t TakeLowest(int32_t first, int32_t last);
  void Announce(int32_t port, Expectation& e);
  void Nested(int32_t port, int32_t result, Expectation& e) const;
  void DeliverFrame(int32_t port, const FrameValues& frame, uintptr_t user, Expectation& e);
};

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_H
