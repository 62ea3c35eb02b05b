// The record of calls and scripts shared by the four fake backends.
#ifndef QXPLAYSDK_TESTS_FAKES_RECORDER_H
#define QXPLAYSDK_TESTS_FAKES_RECORDER_H

#include <array>
#include <cstdint>

#include "tests/fakes/fake_backends.h"

namespace fake {

// Records a call and answers its scripted result (`fallback` when nothing is
// scripted). Runs the operation's hook before returning.
int64_t Record(Call call, int64_t fallback);

float ScriptedPosition();
std::array<int32_t, 4> ScriptedColourValues();

void RegisterDraw(int32_t port, DrawRegistration registration);
void RegisterFileEnd(int32_t port, FileEndRegistration registration);
void RegisterDecode(int32_t port, DecodeRegistration registration);
void RegisterCapture(CaptureRegistration registration);

}  // namespace fake

#endif  // QXPLAYSDK_TESTS_FAKES_RECORDER_H
