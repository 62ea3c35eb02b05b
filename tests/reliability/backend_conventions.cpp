// Which answers of a backend operation are refusals, and which result code
// the export that made the call turns a refusal into.
#include <set>
#include <string>

#include "backends/backend_verdicts.h"
#include "qxplaysdk.h"
#include "tests/reliability/scenario.h"

namespace qxrel {
namespace {

// A few values that differ from every success value, without claiming any
// of them means something.
const std::vector<int64_t> kAnyValue{0, 2, -1};

const Convention kPlayerNonzero{{0}, OVRA_PLAYSDK_ERROR};
const Convention kUnexamined{kAnyValue, std::nullopt};

// Answers that break each rule.
std::vector<int64_t> RefusalsOf(qx::SuccessRule rule) {
  switch (rule) {
    case qx::SuccessRule::kExactlyOne:
      return {0, 2, -1};
    case qx::SuccessRule::kNonzero:
      return {0};
    case qx::SuccessRule::kZero:
      return {1, -1};
    case qx::SuccessRule::kPositive:
      return {0, -1};
  }
  return {};
}

// The result code an export turns a refusal of this backend into.
int32_t RefusalCodeOf(std::string_view op) {
  if (op.starts_with("player_")) return OVRA_PLAYSDK_ERROR;
  if (op.starts_with("net_")) return OVRA_NETSDK_ERROR;
  return OVRA_3GPPSDK_ERROR;  // the 3GPP play library and the converter
}

// The library's own table of rules decides; an operation it has no rule for
// is not examined.
Convention ByOperation(std::string_view op) {
  const std::optional<qx::SuccessRule> rule = qx::RuleOf(op);
  if (!rule) return kUnexamined;
  return Convention{RefusalsOf(*rule), RefusalCodeOf(op)};
}

bool IsVoiceExport(std::string_view exported) {
  static const std::set<std::string, std::less<>> voice{"Ovra_InitAudio", "Ovra_SetAudioInCallback",
                                                        "Ovra_InputAudioData", "Ovra_CloseAudio"};
  return voice.contains(exported);
}

}  // namespace

Convention ConventionOf(std::string_view exported, std::string_view op) {
  // The voice channel takes any nonzero answer of the player library.
  if (IsVoiceExport(exported) && op.starts_with("player_")) {
    return kPlayerNonzero;
  }
  // Speed steps and the normal-speed play are issued without judging them.
  if (exported == "Ovra_SetPlaySpeed") {
    return kUnexamined;
  }
  // The stop inside a switch may find nothing to stop; the start decides.
  if (exported == "Ovra_RecordSwitchFile" && op == "player_stop_record") {
    return kUnexamined;
  }
  // A refused playback by time is reported as a parameter error.
  if (exported == "Ovra_Play" && op == "net_playback_by_time") {
    return {{0}, OVRA_PARAM_ERROR};
  }
  return ByOperation(op);
}

}  // namespace qxrel
