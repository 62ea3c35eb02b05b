#include "tests/talk/audio_in_recorder.h"

#include <mutex>

namespace talktest {
namespace {

std::mutex received_mutex;
std::vector<ReceivedFrame> received;

void Receive(char receiver, int32_t port, const uint8_t* frame, int32_t length, uintptr_t user) {
  ReceivedFrame copy{receiver, port, length, {}, user};
  if (frame != nullptr && length > 0) {
    copy.bytes.assign(frame, frame + length);
  }
  std::lock_guard<std::mutex> lock(received_mutex);
  received.push_back(std::move(copy));
}

}  // namespace

void OVRA_CALLBACK ReceiveA(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user) {
  Receive('A', port, frame, length, user);
}
void OVRA_CALLBACK ReceiveB(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user) {
  Receive('B', port, frame, length, user);
}

std::vector<ReceivedFrame> ReceivedFrames() {
  std::lock_guard<std::mutex> lock(received_mutex);
  return received;
}

void ClearReceivedFrames() {
  std::lock_guard<std::mutex> lock(received_mutex);
  received.clear();
}

}  // namespace talktest
