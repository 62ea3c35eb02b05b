// Scripted caller sessions for the backend fault-injection tests.
//
// A scenario is what one caller does from start to finish (a live view, a
// file playback, recordings, a voice talk, a remote playback, downloads), as
// a list of steps. Each step calls one export (or fires notifications and
// counts what reached the caller) and names the result it gives while every
// backend call succeeds. The caller's bookkeeping lives in a Holder, so that
// the cleanup a caller is told to make (stop, close, log out) can give back
// whatever a run obtained before a backend refused.
#ifndef QXPLAYSDK_TESTS_RELIABILITY_SCENARIO_H
#define QXPLAYSDK_TESTS_RELIABILITY_SCENARIO_H

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/port_table.h"

namespace qxrel {

// What the caller holds, as the exports handed it out.
struct Holder {
  std::array<int32_t, 2> port{-1, -1};  // local ports as the open exports wrote them
  std::array<bool, 2> file{};           // opened with Ovra_OpenFile (else as a stream)
  std::array<bool, 2> closed{};         // a close export has given the port back
  std::array<bool, 2> recording{};      // a start succeeded and no stop yet
  std::array<int32_t, 2> slot{-1, -1};  // remote slots
  std::array<bool, 2> playing{};        // a remote play succeeded and no stop yet
  std::array<bool, 2> slot_closed{};
  int32_t login = 0;
  bool logged_in = false;  // a login succeeded and no logout was made
  std::array<int32_t, 2> download{};
  std::array<bool, 2> downloading{};
  int32_t voice = -1;
  bool voice_open = false;
};

// The library's per-port words and the voice channel's open flag.
struct Words {
  std::array<int32_t, qx::kPortCount> slot{}, source{}, media{}, recording{};
  bool voice = false;
};
Words ReadWords();
// Every difference between two sets of words, one per line; empty if none.
std::string Diff(const Words& expected, const Words& actual);

struct Step {
  const char* exported;  // the export the step calls; nullptr for a step without one
  std::function<int32_t(Holder&)> run;
  int32_t expected;  // the result while every backend call succeeds
  // How a refused backend call still changes the words (default: not at all).
  std::function<void(const Holder&, Words&)> after_refusal = {};
};

struct Scenario {
  const char* name;
  std::vector<Step> steps;
};

const std::vector<Scenario>& Scenarios();

// How the export judges one backend operation's answer: the answers that are
// refusals, and the result code a refusal becomes (none: the answer is not
// examined, so these values must change nothing).
struct Convention {
  std::vector<int64_t> refusals;
  std::optional<int32_t> code;
};
Convention ConventionOf(std::string_view exported, std::string_view op);

// What reached the caller's functions since the last ClearHeard().
struct Heard {
  std::atomic<int> draw{0}, file_end{0}, decode{0}, ready{0}, audio{0};
};
Heard& HeardByCaller();
void ClearHeard();

// The cleanup the caller makes after a refusal or at the end: stop what it
// started, switch its notifications off, close what it opened, log out.
void Cleanup(Holder& holder);

}  // namespace qxrel

#endif  // QXPLAYSDK_TESTS_RELIABILITY_SCENARIO_H
