// Extra coverage for libFuzzer drawn from the model rather than from the
// library's branches: which operation met which state of its port with
// which result, and which operation followed which. Most faults in the
// bookkeeping hide behind sequences whose branches are all covered already
// (a failed stop followed by a decode notification, say); counting these
// combinations makes libFuzzer keep the inputs that reach new ones.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_STATE_FEATURES_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_STATE_FEATURES_H

#include <cstdint>

#include "fuzz/call_sequence/model.h"

namespace qxfuzz {

// A small summary of the port's state in the model: slot state, source
// mode, media type, recording flag and whether a decode callback is set
// (for the voice port: whether the channel is open).
uint32_t PortStateKey(const Model& model, int32_t port);

// Counts one step in libFuzzer's extra counters.
void CountStep(uint32_t previous_operation, uint32_t operation, uint32_t port_state,
               int32_t result);

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_STATE_FEATURES_H
