// Scriptable fakes of the four backend libraries for the tests.
//
// Every backend operation the library calls is recorded with its arguments
// (integers, pointers, copies of texts and of small records) and answers a
// scripted result: by default the success value of its own convention, or
// whatever a test set with SetResult / QueueResults. A hook can run inside an
// operation (to fire a notification or call an export from there). The
// trampolines the library registers are kept, so that a test can fire draw,
// file-end, decode and capture notifications as the player library would,
// from any thread.
#ifndef QXPLAYSDK_TESTS_FAKES_FAKE_BACKENDS_H
#define QXPLAYSDK_TESTS_FAKES_FAKE_BACKENDS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backends/gp3_converter.h"
#include "backends/gpp_player.h"
#include "backends/network.h"
#include "backends/player.h"

namespace fake {

// One argument of a recorded call.
struct Arg {
  int64_t integer = 0;              // integer value, or a pointer's address
  const void* pointer = nullptr;    // pointer arguments
  double real = 0.0;                // float arguments
  std::optional<std::string> text;  // copy of a non-null text argument
  std::vector<uint8_t> bytes;       // copy of a fixed-size record argument
};

struct Call {
  std::string name;
  std::vector<Arg> args;

  int64_t Int(std::size_t i) const { return args.at(i).integer; }
  const void* Ptr(std::size_t i) const { return args.at(i).pointer; }
  double Real(std::size_t i) const { return args.at(i).real; }
  // The copied text; "<null>" when the argument was a null pointer.
  std::string Text(std::size_t i) const { return args.at(i).text.value_or("<null>"); }
  const std::vector<uint8_t>& Bytes(std::size_t i) const { return args.at(i).bytes; }
};

// Argument builders used by the fake operations.
Arg Int(int64_t value);
Arg Pointer(const void* pointer);
Arg Text(const char* text);
Arg Real(double value);
Arg Record(const void* pointer, std::size_t size);

// Clears every recorded call, script, hook and registration.
void Reset();

// Every later call of `op` answers `value` (until Reset).
void SetResult(std::string_view op, int64_t value);
// The next calls of `op` answer these values in order, then fall back to
// SetResult's value or the default.
void QueueResults(std::string_view op, std::vector<int64_t> values);
// The call at this position among all calls recorded since Reset (0 for the
// first, whatever its operation) answers `value`, ahead of anything scripted
// for its operation (a queued answer stays queued). Getters return it too,
// except player_get_position, whose answer is SetPosition's.
void AnswerCallAt(std::size_t index, int64_t value);
// player_get_position's answer.
void SetPosition(float position);
// The values player_get_colour / gpp_get_colour write through their pointers
// when they are called.
void SetColourValues(int32_t a, int32_t b, int32_t c, int32_t d);

// Runs `hook` inside every later call of `op`, after the call is recorded and
// before it answers, with no lock of the fake held.
void SetHook(std::string_view op, std::function<void(const Call&)> hook);

// Recorded calls, in order: all of them, or those of one operation.
std::vector<Call> Calls();
std::vector<Call> Calls(std::string_view op);
std::size_t CallCount(std::string_view op);
// Names of the recorded calls, in order.
std::vector<std::string> CallNames();
// How many calls have been recorded, and those recorded from index `first`
// on: lets a long run look at one step's calls only.
std::size_t CallTotal();
std::vector<Call> CallsSince(std::size_t first);

// Registrations the library made, as the backend keeps them (the latest per
// port for the player's per-port notifications).
struct DrawRegistration {
  PlayerDrawCallback callback = nullptr;
  uintptr_t user = 0;
};
struct FileEndRegistration {
  PlayerFileEndCallback callback = nullptr;
  uintptr_t user = 0;
};
struct DecodeRegistration {
  PlayerDecodeCallback callback = nullptr;
  uintptr_t user = 0;
};
struct CaptureRegistration {
  PlayerCaptureCallback callback = nullptr;
  uintptr_t user = 0;
};
DrawRegistration DrawRegistrationOf(int32_t port);
FileEndRegistration FileEndRegistrationOf(int32_t port);
DecodeRegistration DecodeRegistrationOf(int32_t port);
CaptureRegistration CaptureRegistrationNow();

// Notifications, made as the player library makes them: through the
// trampoline registered for the port (with the registered user data where
// the notification carries it). Each returns false when nothing was
// registered. Call them from any thread.
bool FireDraw(int32_t port, uintptr_t value2, uintptr_t value3);
bool FireFileEnd(int32_t port, uintptr_t value2);
bool FireDecode(int32_t port, const PlayerFrameInfo& info, uintptr_t value2 = 0,
                uintptr_t value3 = 0, uintptr_t value6 = 0);
bool FireCapture(const void* data, uint32_t length);

}  // namespace fake

#endif  // QXPLAYSDK_TESTS_FAKES_FAKE_BACKENDS_H
