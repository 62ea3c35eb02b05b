#include "fuzz/call_sequence/caller_functions.h"

#include <array>
#include <cstring>
#include <utility>

namespace qxfuzz {
namespace {

// The fuzzer runs every step on one thread, so plain words suffice.
std::vector<Event> observed;
const uint8_t* captured_block = nullptr;
std::size_t captured_offset = 0;

void Observe(Event event) { observed.push_back(std::move(event)); }

void ObserveNested(FunctionId id, int32_t port, int32_t result) {
  Observe({Event::kNestedResult, id, port, {static_cast<uint64_t>(int64_t{result})}, {}});
}

template <FunctionId Id>
void OVRA_CALLBACK Draw(int32_t port, uintptr_t value2, uintptr_t value3) {
  Observe({Event::kDraw, Id, port, {value2, value3}, {}});
}

template <FunctionId Id>
void OVRA_CALLBACK FileEnd(int32_t port, uintptr_t value2) {
  Observe({Event::kFileEnd, Id, port, {value2}, {}});
}

template <FunctionId Id>
void OVRA_CALLBACK Decode(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  Observe({Event::kDecode,
           Id,
           port,
           {info->marker, info->info_c, info->info_e, info->sequence, info->info_a, info->info_b,
            info->extra_a, info->extra_b, user},
           {}});
  if (Id == 2) {
    ObserveNested(Id, port, Ovra_Stop(port));
  }
}

template <FunctionId Id>
void OVRA_CALLBACK RecordFile(int32_t port, const char* file_name, uintptr_t user) {
  Observe({Event::kRecordFile, Id, port, {user}, file_name});
  if (Id == 2) {
    ObserveNested(Id, port, Ovra_RecordStart(port, kNestedRecordName, 0));
  }
}

template <FunctionId Id>
void OVRA_CALLBACK AudioIn(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user) {
  static constexpr std::array<uint8_t, 8> kHeader = {0x00, 0x00, 0x01, 0xF0,
                                                     0x0C, 0x02, 0x00, 0x04};
  bool intact = length >= 8 && std::memcmp(frame, kHeader.data(), kHeader.size()) == 0;
  if (intact && length > 8) {
    const std::size_t audio = static_cast<std::size_t>(length) - 8;
    intact = captured_block != nullptr &&
             std::memcmp(frame + 8, captured_block + captured_offset, audio) == 0;
    captured_offset += audio;
  }
  Observe(
      {Event::kAudioFrame, Id, port, {static_cast<uint64_t>(length), user, intact ? 1u : 0u}, {}});
}

template <typename F>
F Choose(FunctionId id, F first, F second) {
  return id == 1 ? first : id == 2 ? second : nullptr;
}

}  // namespace

std::vector<Event> TakeObservedEvents() { return std::exchange(observed, {}); }

void ExpectCapturedBlock(const uint8_t* data) {
  captured_block = data;
  captured_offset = 0;
}

OvraDrawFun DrawFunction(FunctionId id) { return Choose<OvraDrawFun>(id, Draw<1>, Draw<2>); }
OvraFileEndCallback FileEndFunction(FunctionId id) {
  return Choose<OvraFileEndCallback>(id, FileEnd<1>, FileEnd<2>);
}
OvraDecodeCallback DecodeFunction(FunctionId id) {
  return Choose<OvraDecodeCallback>(id, Decode<1>, Decode<2>);
}
OvraRecordFileReadyCallback RecordFileFunction(FunctionId id) {
  return Choose<OvraRecordFileReadyCallback>(id, RecordFile<1>, RecordFile<2>);
}
OvraAudioInCallback AudioInFunction(FunctionId id) {
  return Choose<OvraAudioInCallback>(id, AudioIn<1>, AudioIn<2>);
}

}  // namespace qxfuzz
