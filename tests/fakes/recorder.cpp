#include "tests/fakes/recorder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace fake {
namespace {

struct State {
  std::mutex mutex;
  std::vector<Call> calls;
  std::map<std::string, int64_t, std::less<>> results;
  std::map<std::string, std::deque<int64_t>, std::less<>> queued;
  std::map<std::size_t, int64_t> answers_at;
  std::map<std::string, std::function<void(const Call&)>, std::less<>> hooks;
  float position = 0.0F;
  std::array<int32_t, 4> colour{};
  std::map<int32_t, DrawRegistration> draw;
  std::map<int32_t, FileEndRegistration> file_end;
  std::map<int32_t, DecodeRegistration> decode;
  CaptureRegistration capture;
};

State& S() {
  static State state;
  return state;
}

}  // namespace

Arg Int(int64_t value) {
  Arg arg;
  arg.integer = value;
  return arg;
}

Arg Pointer(const void* pointer) {
  Arg arg;
  arg.pointer = pointer;
  arg.integer = static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer));
  return arg;
}

Arg Text(const char* text) {
  Arg arg = Pointer(text);
  if (text != nullptr) {
    arg.text = std::string(text);
  }
  return arg;
}

Arg Real(double value) {
  Arg arg;
  arg.real = value;
  return arg;
}

Arg Record(const void* pointer, std::size_t size) {
  Arg arg = Pointer(pointer);
  if (pointer != nullptr) {
    arg.bytes.resize(size);
    std::memcpy(arg.bytes.data(), pointer, size);
  }
  return arg;
}

void Reset() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.calls.clear();
  s.results.clear();
  s.queued.clear();
  s.answers_at.clear();
  s.hooks.clear();
  s.position = 0.0F;
  s.colour = {};
  s.draw.clear();
  s.file_end.clear();
  s.decode.clear();
  s.capture = {};
}

void SetResult(std::string_view op, int64_t value) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().results[std::string(op)] = value;
}

void QueueResults(std::string_view op, std::vector<int64_t> values) {
  std::lock_guard<std::mutex> lock(S().mutex);
  auto& queue = S().queued[std::string(op)];
  queue.insert(queue.end(), values.begin(), values.end());
}

void AnswerCallAt(std::size_t index, int64_t value) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().answers_at[index] = value;
}

void SetPosition(float position) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().position = position;
}

void SetColourValues(int32_t a, int32_t b, int32_t c, int32_t d) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().colour = {a, b, c, d};
}

void SetHook(std::string_view op, std::function<void(const Call&)> hook) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().hooks[std::string(op)] = std::move(hook);
}

std::vector<Call> Calls() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().calls;
}

std::vector<Call> Calls(std::string_view op) {
  std::lock_guard<std::mutex> lock(S().mutex);
  std::vector<Call> matching;
  for (const Call& call : S().calls) {
    if (call.name == op) {
      matching.push_back(call);
    }
  }
  return matching;
}

std::size_t CallCount(std::string_view op) { return Calls(op).size(); }

std::vector<std::string> CallNames() {
  std::lock_guard<std::mutex> lock(S().mutex);
  std::vector<std::string> names;
  names.reserve(S().calls.size());
  for (const Call& call : S().calls) {
    names.push_back(call.name);
  }
  return names;
}

std::size_t CallTotal() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().calls.size();
}

std::vector<Call> CallsSince(std::size_t first) {
  std::lock_guard<std::mutex> lock(S().mutex);
  const auto& calls = S().calls;
  return {calls.begin() + static_cast<std::ptrdiff_t>(std::min(first, calls.size())), calls.end()};
}

int64_t Record(Call call, int64_t fallback) {
  State& s = S();
  int64_t result = fallback;
  std::function<void(const Call&)> hook;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (auto at = s.answers_at.find(s.calls.size()); at != s.answers_at.end()) {
      result = at->second;
    } else if (auto queued = s.queued.find(call.name);
               queued != s.queued.end() && !queued->second.empty()) {
      result = queued->second.front();
      queued->second.pop_front();
    } else if (auto fixed = s.results.find(call.name); fixed != s.results.end()) {
      result = fixed->second;
    }
    if (auto found = s.hooks.find(call.name); found != s.hooks.end()) {
      hook = found->second;
    }
    s.calls.push_back(call);
  }
  if (hook) {
    hook(call);
  }
  return result;
}

float ScriptedPosition() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().position;
}

std::array<int32_t, 4> ScriptedColourValues() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().colour;
}

void RegisterDraw(int32_t port, DrawRegistration registration) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().draw[port] = registration;
}

void RegisterFileEnd(int32_t port, FileEndRegistration registration) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().file_end[port] = registration;
}

void RegisterDecode(int32_t port, DecodeRegistration registration) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().decode[port] = registration;
}

void RegisterCapture(CaptureRegistration registration) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().capture = registration;
}

DrawRegistration DrawRegistrationOf(int32_t port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  auto found = S().draw.find(port);
  return found == S().draw.end() ? DrawRegistration{} : found->second;
}

FileEndRegistration FileEndRegistrationOf(int32_t port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  auto found = S().file_end.find(port);
  return found == S().file_end.end() ? FileEndRegistration{} : found->second;
}

DecodeRegistration DecodeRegistrationOf(int32_t port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  auto found = S().decode.find(port);
  return found == S().decode.end() ? DecodeRegistration{} : found->second;
}

CaptureRegistration CaptureRegistrationNow() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().capture;
}

bool FireDraw(int32_t port, uintptr_t value2, uintptr_t value3) {
  DrawRegistration registration = DrawRegistrationOf(port);
  if (registration.callback == nullptr) {
    return false;
  }
  registration.callback(port, value2, value3);
  return true;
}

bool FireFileEnd(int32_t port, uintptr_t value2) {
  FileEndRegistration registration = FileEndRegistrationOf(port);
  if (registration.callback == nullptr) {
    return false;
  }
  registration.callback(port, value2);
  return true;
}

bool FireDecode(int32_t port, const PlayerFrameInfo& info, uintptr_t value2, uintptr_t value3,
                uintptr_t value6) {
  DecodeRegistration registration = DecodeRegistrationOf(port);
  if (registration.callback == nullptr) {
    return false;
  }
  registration.callback(port, value2, value3, &info, registration.user, value6);
  return true;
}

bool FireCapture(const void* data, uint32_t length) {
  CaptureRegistration registration = CaptureRegistrationNow();
  if (registration.callback == nullptr) {
    return false;
  }
  registration.callback(data, length, registration.user);
  return true;
}

}  // namespace fake
