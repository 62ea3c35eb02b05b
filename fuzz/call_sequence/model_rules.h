// Shared pieces of the model's predictions: the port ranges and how the
// library turns the player and 3GPP play libraries' answers into result
// codes.
#ifndef QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_RULES_H
#define QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_RULES_H

#include <cstdint>

#include "qxplaysdk.h"

namespace qxfuzz {

inline constexpr int32_t kFirstLocal = 33;
inline constexpr int32_t kLastLocal = 97;
inline constexpr int32_t kLastRemote = 32;
inline constexpr int32_t kVoice = 99;

inline bool IsLocal(int32_t port) { return port >= kFirstLocal && port <= kLastLocal; }
inline bool IsRemote(int32_t port) { return port >= 0 && port <= kLastRemote; }
inline bool IsTable(int32_t port) { return port >= 0 && port <= kLastLocal; }

inline int32_t PlayerResult(int64_t answer) { return answer == 1 ? OVRA_OK : OVRA_PLAYSDK_ERROR; }
inline int32_t GppResult(int64_t answer) { return answer == 0 ? OVRA_OK : OVRA_3GPPSDK_ERROR; }

}  // namespace qxfuzz

#endif  // QXPLAYSDK_FUZZ_CALL_SEQUENCE_MODEL_RULES_H
