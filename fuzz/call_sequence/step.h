// One step of a call sequence as the fuzzer decodes it from five input
// bytes: the operation, a port byte, an argument byte and a 16-bit script
// of the backends' answers. The accessors turn the bytes into the
// interesting values each argument is drawn from; the model and the call of
// the export read the same accessors, so both see the same arguments.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_STEP_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_STEP_H

#include <cstddef>
#include <cstdint>

namespace qxfuzz {

inline constexpr std::size_t kStepBytes = 5;

struct Step {
  uint8_t operation = 0;
  uint8_t port_byte = 0;
  uint8_t arg = 0;
  uint16_t script = 0;

  // Reads a step from `bytes`, which hold at least one byte; missing bytes
  // count as zero.
  static Step Decode(const uint8_t* bytes, std::size_t available);

  // 0..95: local ports 33..35, where most of a sequence happens; 96..127:
  // local ports 36..39; 128..191: remote slots 0..2; 192..255: the edges
  // (-1, 0, 32, 33, 97, 98, 99, 100, INT32_MIN, INT32_MAX, ...).
  int32_t Port() const;
  bool Bit(int index) const { return ((arg >> index) & 1) != 0; }
  // Which of the fuzzer's caller functions: 0 none (null), 1 or 2.
  int Function() const { return arg % 3; }
  uintptr_t User() const { return 0x01010101u * arg; }
  // Media or record type from bits 1..3: mostly 0 and 1, also 2 and -1.
  int32_t Type() const;
  // File name from the argument bits at `shift` on: short, empty, 300
  // characters long, or null.
  const char* Name(int shift) const;
  // Time text from the argument bits at `shift` on, or null.
  const char* TimeText(int shift) const;
  // Whether the remote slot's kept copy of TimeText(shift) reads as a time.
  bool TimeTextParses(int shift) const;
  float Speed() const;
  int32_t SetPosition() const;
  float PlayerPosition() const;
  uint32_t Volume() const;
  int32_t Login() const;
  // Block length of a captured audio block (0, 1, 4096, 4097, 9000, ...).
  uint32_t CaptureLength() const;
};

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_STEP_H
