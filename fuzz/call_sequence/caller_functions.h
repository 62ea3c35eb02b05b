// The fuzzer's own caller functions, two of each kind, that the library is
// given to call back. Each appends what it received to the observed events;
// the audio-in functions also check each voice frame's header and that the
// frames carry the captured block's bytes in order.
//
// The second decode function stops its own port from inside the callback,
// and the second record-file-ready function starts a new recording (record
// type 0, "nested.mp4") on its port: both are calls back into the library
// that it allows, and their results are observed as well.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_CALLER_FUNCTIONS_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_CALLER_FUNCTIONS_H

#include <cstdint>
#include <vector>

#include "fuzz/call_sequence/expectation.h"
#include "fuzz/call_sequence/model.h"
#include "qxplaysdk.h"

namespace qxfuzz {

inline constexpr const char* kNestedRecordName = "nested.mp4";

// Notifications received since the last call of TakeObservedEvents.
std::vector<Event> TakeObservedEvents();

// The block the next capture notification delivers, so that the audio-in
// functions can compare the frames with it.
void ExpectCapturedBlock(const uint8_t* data);

// Function 1 or 2 of each kind, or null for 0.
OvraDrawFun DrawFunction(FunctionId id);
OvraFileEndCallback FileEndFunction(FunctionId id);
OvraDecodeCallback DecodeFunction(FunctionId id);
OvraRecordFileReadyCallback RecordFileFunction(FunctionId id);
OvraAudioInCallback AudioInFunction(FunctionId id);

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_CALLER_FUNCTIONS_H
