// Two audio-in callbacks for the voice tests that record, from any thread,
// a copy of every frame they receive.
#ifndef QXPLAYSDK_TESTS_TALK_AUDIO_IN_RECORDER_H
#define QXPLAYSDK_TESTS_TALK_AUDIO_IN_RECORDER_H

#include <cstdint>
#include <vector>

#include "qxplaysdk.h"

namespace talktest {

struct ReceivedFrame {
  char receiver;  // 'A' or 'B': which callback got it
  int32_t port;
  int32_t length;
  std::vector<uint8_t> bytes;  // the first `length` bytes of the frame
  uintptr_t user;
};

void OVRA_CALLBACK ReceiveA(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user);
void OVRA_CALLBACK ReceiveB(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user);

std::vector<ReceivedFrame> ReceivedFrames();
void ClearReceivedFrames();

}  // namespace talktest

#endif  // QXPLAYSDK_TESTS_TALK_AUDIO_IN_RECORDER_H
