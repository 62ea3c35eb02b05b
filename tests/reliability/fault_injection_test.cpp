// Every backend call of every caller session, refused in turn.
//
// Each session runs once with every backend accepting, which records the
// calls it makes and which step made each. Then, for each recorded call and
// each refusal its convention knows, the session runs again from a freshly
// loaded library with exactly that call refusing: the step that made it must
// return the code the convention maps the refusal to and change the
// per-port words only as documented; a call whose answer is not examined
// must change nothing at all. Whatever happened, the caller's cleanup must
// leave every port and slot free, and no notification may reach the caller
// afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"
#include "tests/reliability/scenario.h"
#include "tests/support/library_test.h"

namespace qxrel {
namespace {

// Runs steps [from, to) of a session, each expected to give its result under
// success.
void RunSteps(const Scenario& scenario, Holder& holder, std::size_t from, std::size_t to) {
  for (std::size_t s = from; s < to; ++s) {
    const Step& step = scenario.steps[s];
    EXPECT_EQ(step.run(holder), step.expected)
        << "step " << s << " " << (step.exported != nullptr ? step.exported : "");
  }
}

// The words once nothing is held: every slot free, nothing recording, the
// voice channel closed; everything else as it is.
Words Idle(Words words) {
  words.slot.fill(qx::kSlotFree);
  words.recording.fill(0);
  words.voice = false;
  return words;
}

void ExpectNothingLeft() {
  const Words now = ReadWords();
  EXPECT_EQ(Diff(Idle(now), now), "") << "after the caller's cleanup";

  // The player library may go on notifying a port after its stop; nothing of
  // it may reach the caller any more.
  ClearHeard();
  for (int32_t port = qx::kFirstLocalPort; port <= qx::kLastLocalPort; ++port) {
    fake::FireDraw(port, 1, 2);
    fake::FireFileEnd(port, 3);
    fake::FireDecode(port, PlayerFrameInfo{});
  }
  const Heard& heard = HeardByCaller();
  EXPECT_EQ(heard.draw + heard.file_end + heard.decode, 0) << "notifications after cleanup";

  // The audio-in callback stays set by design, so the capture itself must
  // have been closed after it was last opened.
  const std::vector<std::string> names = fake::CallNames();
  const auto last = [&](const char* op) {
    return std::find(names.rbegin(), names.rend(), op).base() - names.begin();
  };
  EXPECT_GE(last("player_close_audio_capture"), last("player_open_audio_capture"))
      << "the voice capture is still open";
}

struct Baseline {
  std::vector<std::string> calls;
  std::vector<std::size_t> step_of_call;
  Words end;
};

Baseline RunWithEveryCallAccepted(const Scenario& scenario) {
  qxtest::ResetLibrary();
  ClearHeard();
  Holder holder;
  Baseline baseline;
  for (std::size_t s = 0; s < scenario.steps.size(); ++s) {
    RunSteps(scenario, holder, s, s + 1);
    baseline.step_of_call.resize(fake::Calls().size(), s);
  }
  baseline.calls = fake::CallNames();
  baseline.end = ReadWords();
  Cleanup(holder);
  ExpectNothingLeft();
  return baseline;
}

class BackendFaults : public qxtest::LibraryTest,
                      public ::testing::WithParamInterface<std::size_t> {};

TEST_P(BackendFaults, EveryRefusalIsReportedAndLeavesNothingBehind) {
  const Scenario& scenario = Scenarios()[GetParam()];
  const Baseline baseline = RunWithEveryCallAccepted(scenario);
  ASSERT_FALSE(baseline.calls.empty());

  for (std::size_t call = 0; call < baseline.calls.size(); ++call) {
    const std::string& op = baseline.calls[call];
    const std::size_t s = baseline.step_of_call[call];
    const Step& step = scenario.steps[s];
    ASSERT_NE(step.exported, nullptr) << op << " made by a step without an export";
    const Convention convention = ConventionOf(step.exported, op);
    for (const int64_t answer : convention.refusals) {
      SCOPED_TRACE(::testing::Message() << "call " << call << " " << op << " answering " << answer
                                        << ", made by step " << s << " " << step.exported);
      qxtest::ResetLibrary();
      ClearHeard();
      fake::AnswerCallAt(call, answer);
      Holder holder;
      RunSteps(scenario, holder, 0, s);
      Words expected = ReadWords();
      const int32_t result = step.run(holder);
      ASSERT_GT(fake::Calls().size(), call);
      ASSERT_EQ(fake::CallNames()[call], op) << "the session took another path";
      if (convention.code) {
        EXPECT_EQ(result, *convention.code);
        if (step.after_refusal) {
          step.after_refusal(holder, expected);
        }
        EXPECT_EQ(Diff(expected, ReadWords()), "");
      } else {
        EXPECT_EQ(result, step.expected) << "an answer that is not examined";
        RunSteps(scenario, holder, s + 1, scenario.steps.size());
        EXPECT_EQ(fake::CallNames(), baseline.calls);
        EXPECT_EQ(Diff(baseline.end, ReadWords()), "");
      }
      Cleanup(holder);
      ExpectNothingLeft();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, BackendFaults,
                         ::testing::Range<std::size_t>(0, Scenarios().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                           return std::string(Scenarios()[param.param].name);
                         });

}  // namespace
}  // namespace qxrel
