// A host that exits while the library still plays: a file with its sound
// on, the voice channel playing far-end audio and capturing. The process
// must end cleanly (exit status 0, nothing reported by the sanitizers);
// the test that runs this program checks that.
//
// Usage: exit_with_ports_open CLIP
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "qxplaysdk.h"

namespace {

void OVRA_CALLBACK OnVoice(int32_t, const uint8_t*, int32_t, uintptr_t) {}

bool Check(const char* what, int32_t result) {
  if (result != OVRA_OK) {
    std::fprintf(stderr, "%s: %d %s\n", what, result, Ovra_GetErrorMessage(result));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CLIP\n", argv[0]);
    return 2;
  }
  int32_t file = -1;
  if (!Check("open", Ovra_OpenFile(&file, argv[1])) || !Check("play", Ovra_Play(file, nullptr)) ||
      !Check("sound", Ovra_PlaySound(file))) {
    return 1;
  }
  int32_t voice = -1;
  if (!Check("voice", Ovra_InitAudio(&voice)) ||
      !Check("voice callback", Ovra_SetAudioInCallback(voice, OnVoice, 0))) {
    return 1;
  }
  const std::vector<uint8_t> far_end(800, 0x55);  // 100 ms of mu-law
  for (int i = 0; i < 5; ++i) {
    if (!Check("far end", Ovra_InputAudioData(voice, far_end.data(), 800))) return 1;
  }
  // Long enough for the sound device to be mixing and the capture running.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return 0;  // everything still open
}
