// A host whose address space runs out: the program lowers its own limit
// (RLIMIT_AS) to what it uses now plus HEADROOM megabytes, then opens a file
// and a live stream, plays them, takes a snapshot, turns the sound on,
// opens the voice channel and closes everything, several times, through the
// public interface. Every answer must be one of the documented result codes
// and the process must end normally (status 0); the test that runs this
// program checks that, for a range of headrooms.
//
// Usage: open_under_memory_limit CLIP HEADROOM_MB
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "qxplaysdk.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QX_UNDER_SANITIZER 1
#endif
#endif

namespace {

#if defined(QX_UNDER_SANITIZER)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

int unexpected_answers = 0;
int answers = 0;
int successes = 0;

int32_t Answer(const char* what, int32_t result) {
  if (result > OVRA_OK || result < OVRA_RECYCLE_PORT_ERROR) {
    std::fprintf(stderr, "%s: undocumented answer %d\n", what, result);
    ++unexpected_answers;
  }
  ++answers;
  if (result == OVRA_OK) ++successes;
  return result;
}

long UsedAddressSpaceKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::strtol(line.c_str() + 7, nullptr, 10);
  }
  return -1;
}

void OVRA_CALLBACK OnFrame(int32_t, const DecodeFrameInfo*, uintptr_t) {}

// Waits (bounded) until the port has shown a few pictures, or gives up: under
// the limit a port may well fail to decode anything.
void LetItPlay(int32_t port) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  uint32_t frames = 0;
  while (std::chrono::steady_clock::now() < give_up) {
    if (Ovra_GetPlayedFrames(port, &frames) == OVRA_OK && frames >= 5) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PlayFile(const std::string& clip, const std::string& snapshot) {
  int32_t port = -1;
  if (Answer("open file", Ovra_OpenFile(&port, clip.c_str())) == OVRA_NO_UNUSED_PORT) return;
  Answer("decode callback", Ovra_SetDecodeCallback(port, OnFrame, 0));
  if (Answer("play file", Ovra_Play(port, nullptr)) == OVRA_OK) {
    Answer("sound", Ovra_PlaySound(port));
    LetItPlay(port);
    Answer("snapshot", Ovra_CapPic(port, snapshot.c_str()));
    Answer("jump", Ovra_SetCurrentFrameNum(port, 10));
    Answer("stop sound", Ovra_StopSound(port));
    Answer("stop file", Ovra_Stop(port));
  }
  Answer("close file", Ovra_CloseFile(port));
}

void PlayStream(const std::vector<char>& bytes) {
  int32_t port = -1;
  if (Answer("open stream", Ovra_OpenStream(&port, nullptr, 0, 512 * 1024, OVRA_MEDIA_PLAYER)) ==
      OVRA_NO_UNUSED_PORT) {
    return;
  }
  if (Answer("play stream", Ovra_Play(port, nullptr)) == OVRA_OK) {
    for (size_t at = 0; at < bytes.size(); at += 4096) {
      const auto length = static_cast<uint32_t>(std::min<size_t>(4096, bytes.size() - at));
      Answer("push", Ovra_InputData(port, bytes.data() + at, length));
    }
    LetItPlay(port);
    Answer("stop stream", Ovra_Stop(port));
  }
  Answer("close stream", Ovra_CloseStream(port));
}

void OpenVoice() {
  int32_t voice = -1;
  if (Answer("voice", Ovra_InitAudio(&voice)) != OVRA_OK) return;
  const std::vector<uint8_t> far_end(800, 0x55);  // 100 ms of mu-law
  Answer("far end", Ovra_InputAudioData(voice, far_end.data(), 800));
  Answer("close voice", Ovra_CloseAudio(voice));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CLIP HEADROOM_MB\n", argv[0]);
    return 2;
  }
  if (kUnderSanitizer) {
    std::puts(
        "skipped: the sanitizers reserve terabytes of address space at start, so no "
        "address-space limit can be lowered under them");
    return 77;  // ctest's answer for a skipped test (SKIP_RETURN_CODE)
  }
  const std::string clip = argv[1];
  const long headroom_mb = std::strtol(argv[2], nullptr, 10);
  std::ifstream in(clip, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  const std::string snapshot = clip + "." + argv[2] + ".bmp";

  const long used_kb = UsedAddressSpaceKb();
  if (used_kb <= 0) {
    std::fprintf(stderr, "cannot read the address space in use\n");
    return 2;
  }
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = static_cast<rlim_t>(used_kb + headroom_mb * 1024) * 1024;
  if (setrlimit(RLIMIT_AS, &limit) != 0) {
    std::perror("setrlimit");
    return 2;
  }
  for (int round = 0; round < 3; ++round) {
    PlayFile(clip, snapshot);
    PlayStream(bytes);
    OpenVoice();
  }
  std::remove(snapshot.c_str());
  // Which operations got through under this limit, for whoever reads the log.
  std::printf("headroom %ld MB: %d of %d answers were success\n", headroom_mb, successes, answers);
  return unexpected_answers == 0 ? 0 : 1;
}
