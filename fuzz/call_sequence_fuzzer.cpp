// Drives random sequences of exports and backend notifications against the
// fake backends and checks each step against a model of the library's
// bookkeeping (fuzz/call_sequence/model.h).
//
// Input: a sequence of five-byte steps (operation, port, argument, and two
// bytes that script the backends' answers; see call_sequence/step.h). Every
// input starts from the freshly loaded library. After each step the fuzzer
// checks that
//   - the result code is the model's, and lies in 0..-12;
//   - the library made exactly the backend calls the model expected, in
//     order, and handed on the arguments the model can tell;
//   - out-pointers were written exactly when due, with the model's values;
//   - exactly the expected notifications reached the caller's functions, in
//     order and with the expected values: decode frames of a port numbered
//     0, 1, 2 ... without gaps until the port's next stop, none after a
//     stop, each voice frame with its header and the captured bytes;
//   - every per-port word, remote slot record and the voice flag agree with
//     the model.
// A mismatch prints the steps so far and what differs, then aborts, so that
// libFuzzer keeps the input. With QX_FUZZ_TRACE set in the environment every
// step is printed with its result as it runs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/call_sequence/caller_functions.h"
#include "fuzz/call_sequence/expectation.h"
#include "fuzz/call_sequence/library_words.h"
#include "fuzz/call_sequence/model.h"
#include "fuzz/call_sequence/operations.h"
#include "fuzz/call_sequence/state_features.h"
#include "fuzz/call_sequence/step.h"
#include "tests/fakes/fake_backends.h"
#include "tests/support/reset_library.h"

namespace {

using qxfuzz::Step;

std::size_t OperationIndex(const Step& step) {
  return step.operation % qxfuzz::Operations().size();
}

const qxfuzz::Operation& OperationOf(const Step& step) {
  return qxfuzz::Operations()[OperationIndex(step)];
}

// Names in order, a run of one name written once with its count.
std::string Describe(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size();) {
    std::size_t run = 1;
    while (i + run < names.size() && names[i + run] == names[i]) {
      ++run;
    }
    text += (text.empty() ? "" : ", ") + names[i] + (run > 1 ? " x" + std::to_string(run) : "");
    i += run;
  }
  return "[" + text + "]";
}

std::string Describe(const std::vector<qxfuzz::Event>& events) {
  std::string text;
  for (const qxfuzz::Event& event : events) {
    text += "\n    kind " + std::to_string(event.kind) + " function " +
            std::to_string(event.function) + " port " + std::to_string(event.port) + " values";
    for (uint64_t value : event.values) {
      text += " " + std::to_string(value);
    }
    if (!event.text.empty()) {
      text += " text \"" + event.text.substr(0, 40) + "\"";
    }
  }
  return text.empty() ? " none" : text;
}

[[noreturn]] void Fail(const uint8_t* data, std::size_t steps, const std::string& what) {
  std::fprintf(stderr, "call sequence, step by step (operation port-byte arg script):\n");
  for (std::size_t i = 0; i < steps; ++i) {
    const Step step = Step::Decode(data + i * qxfuzz::kStepBytes, qxfuzz::kStepBytes);
    std::fprintf(stderr, "  %3zu %-32s port %d arg %u script 0x%04x\n", i, OperationOf(step).name,
                 step.Port(), step.arg, step.script);
  }
  std::fprintf(stderr, "model mismatch at the last step: %s\n", what.c_str());
  std::abort();
}

// Runs one step and returns what went wrong, or an empty string.
std::string RunStep(const Step& step, uint32_t previous_operation, qxfuzz::Model& model) {
  const qxfuzz::Operation& operation = OperationOf(step);
  const uint32_t state_before = qxfuzz::PortStateKey(model, step.Port());
  qxfuzz::Expectation expected(step.script);
  const int32_t expected_result = operation.predict(model, step, expected);
  qxfuzz::CountStep(previous_operation, static_cast<uint32_t>(OperationIndex(step)), state_before,
                    expected_result);

  std::vector<std::string> expected_calls;
  for (const qxfuzz::ExpectedCall& call : expected.calls) {
    fake::QueueResults(call.name, {call.answer});
    expected_calls.push_back(call.name);
  }
  const std::size_t first_call = fake::CallTotal();
  qxfuzz::OutValues outs;
  const int32_t result = operation.run(step, outs);
  const std::vector<fake::Call> made = fake::CallsSince(first_call);
  std::vector<std::string> calls;
  for (const fake::Call& call : made) {
    calls.push_back(call.name);
  }
  const std::vector<qxfuzz::Event> events = qxfuzz::TakeObservedEvents();

  static const bool trace = std::getenv("QX_FUZZ_TRACE") != nullptr;
  if (trace) {
    std::fprintf(stderr, "%-32s port %d arg %u script 0x%04x -> %d, calls %s\n", operation.name,
                 step.Port(), step.arg, step.script, result, Describe(calls).c_str());
  }
  if (!operation.notification && (result > 0 || result < -12)) {
    return "result " + std::to_string(result) + " is no result code";
  }
  if (result != expected_result) {
    return "result: expected " + std::to_string(expected_result) + ", library " +
           std::to_string(result);
  }
  if (calls != expected_calls) {
    return "backend calls: expected " + Describe(expected_calls) + ", library " + Describe(calls);
  }
  for (std::size_t i = 0; i < made.size(); ++i) {
    const int32_t port = expected.calls[i].port;
    if (port != qxfuzz::ExpectedCall::kNoPort && made[i].Int(0) != port) {
      return made[i].name + " got port " + std::to_string(made[i].Int(0)) + ", expected " +
             std::to_string(port);
    }
  }
  if (!(outs == expected.outs)) {
    return "out-values: expected port " + std::to_string(expected.outs.port) + " position " +
           std::to_string(expected.outs.position) + " count " +
           std::to_string(expected.outs.count) + " speed " + std::to_string(expected.outs.speed) +
           ", library port " + std::to_string(outs.port) + " position " +
           std::to_string(outs.position) + " count " + std::to_string(outs.count) + " speed " +
           std::to_string(outs.speed) + " (or the colour values)";
  }
  if (events != expected.events) {
    return "notifications: expected" + Describe(expected.events) + "\n  library" + Describe(events);
  }
  if (operation.check_arguments != nullptr) {
    if (const char* wrong = operation.check_arguments(model, step, expected)) {
      return wrong;
    }
  }
  return qxfuzz::DifferencesFromLibrary(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qxtest::ResetLibrary();
  const auto& colour = qxfuzz::kFakeColourValues;
  fake::SetColourValues(colour[0], colour[1], colour[2], colour[3]);
  qxfuzz::TakeObservedEvents();
  qxfuzz::Model model;
  const std::size_t steps = (size + qxfuzz::kStepBytes - 1) / qxfuzz::kStepBytes;
  uint32_t previous_operation = 0xFF;
  for (std::size_t i = 0; i < steps; ++i) {
    const std::size_t at = i * qxfuzz::kStepBytes;
    const Step step = Step::Decode(data + at, size - at);
    const std::string wrong = RunStep(step, previous_operation, model);
    if (!wrong.empty()) {
      Fail(data, i + 1, wrong);
    }
    previous_operation = static_cast<uint32_t>(OperationIndex(step));
  }
  qxtest::ResetLibrary();
  return 0;
}
