// What one step is expected to do: the backend calls the library makes, in
// order, with the answer scripted for each; the notifications that reach the
// caller's functions; the values written through the out-pointers; and the
// result code. The model fills it in before the export runs, and the fuzzer
// hands the scripted answers to the fakes so that the library meets the
// same answers the model assumed.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_EXPECTATION_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_EXPECTATION_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qxfuzz {

// How the library judges a backend answer, which decides the values the
// script chooses from: for each convention two answers that count as
// success and two that do not (or four values for getters).
enum class Convention {
  kExactlyOne,  // success is exactly 1: answers 1, 1, 0, 2
  kZero,        // success is 0: answers 0, 0, 1, -1
  kNonzero,     // success is any nonzero value: answers 1, 2, 0, -3
  kCount,       // a frame count: 0, 1, 0xFFFFFFFF, 123456
  kVolume,      // a volume: 0, 0xFFFF, 0x12345 (arrives as 0x2345), 7
};

// A notification that reached one of the fuzzer's caller functions.
struct Event {
  // kNestedResult: the result of the export a caller function called back
  // into the library (values[0], as a 64-bit pattern).
  enum Kind : int32_t { kDraw, kFileEnd, kDecode, kRecordFile, kAudioFrame, kNestedResult };
  Kind kind = kDraw;
  int function = 0;  // which of the two functions of its kind (1 or 2)
  int32_t port = 0;
  std::array<uint64_t, 9> values{};
  std::string text;

  bool operator==(const Event&) const = default;
};

// The colour values the fake backends write through Ovra_GetColor's pointers.
inline constexpr std::array<int32_t, 4> kFakeColourValues = {11, 22, 33, 44};

// Values the exports write through their out-pointers. Every field starts
// as a sentinel, so an unexpected write shows.
struct OutValues {
  static constexpr int32_t kUnwritten = -0x5A5A5A5B;
  int32_t port = kUnwritten;
  int32_t position = kUnwritten;
  uint32_t count = 0xA5A5A5A5u;
  float speed = -12345.0F;
  std::array<int32_t, 4> colour = {kUnwritten, kUnwritten, kUnwritten, kUnwritten};

  bool operator==(const OutValues&) const = default;
};

struct ExpectedCall {
  static constexpr int32_t kNoPort = -0x7EADBEEF;
  std::string name;
  int64_t answer;
  int32_t port;  // the port the call hands on first, or kNoPort
};

class Expectation {
 public:
  explicit Expectation(uint16_t script) : script_(script) {}

  // Expects the backend operation `op` as the next call, handing on `port`
  // as its first argument (for operations that take a port), and returns
  // the answer the script gives it. The first eight calls of a step take two
  // bits of the script each; later ones answer the convention's first value.
  int64_t Call(const char* op, Convention convention, int32_t port = ExpectedCall::kNoPort);
  // The same with the convention the library's table of backend rules gives
  // `op` (backends/backend_verdicts.h), for operations it judges by it.
  int64_t Call(const char* op, int32_t port = ExpectedCall::kNoPort);

  std::vector<ExpectedCall> calls;
  std::vector<Event> events;
  OutValues outs;

 private:
  uint16_t script_;
};

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_EXPECTATION_H
