/*
 * The smallest program a user of the installed library writes: plays one
 * file without a window as fast as the library allows, counts the decoded
 * frames and checks them against the file's frame count.
 *
 *   consumer FILE
 *
 * Exit status: 0 when every frame of FILE was decoded, 1 when frames are
 * missing or the end never came, 2 when the file could not be opened.
 * Built once with pkg-config and once with CMake's find_package against an
 * installed copy of the library (scripts/test-install.sh,
 * scripts/test-debian-package.sh).
 */
#define _POSIX_C_SOURCE 200809L

#include <qxplaysdk.h>
#include <stdatomic.h>
#include <stdio.h>
#include <time.h>

static atomic_uint frames_decoded;
static atomic_uint last_width;
static atomic_uint last_height;
static atomic_int reached_end;

static void OVRA_CALLBACK OnFrame(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  (void)port;
  (void)user;
  atomic_store(&last_width, info->info_a);
  atomic_store(&last_height, info->info_b);
  atomic_fetch_add(&frames_decoded, 1);
}

static void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t user) {
  (void)port;
  (void)user;
  atomic_store(&reached_end, 1);
}

static int32_t Check(const char* call, int32_t result) {
  const char* text = Ovra_GetErrorMessage(result);
  printf("%-24s %3d %s\n", call, (int)result, text != NULL ? text : "(no text)");
  return result;
}

int main(int argc, char** argv) {
  int32_t port = -1;
  uint32_t total = 0;
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  printf("qxplaysdk %s\n", OVRA_VERSION_STRING);
  if (Check("Ovra_OpenFile", Ovra_OpenFile(&port, argv[1])) != OVRA_OK) {
    if (port >= OVRA_FIRST_LOCAL_PORT) Ovra_CloseFile(port);
    return 2;
  }
  Check("Ovra_GetFileTotalFrames", Ovra_GetFileTotalFrames(port, &total));
  Check("Ovra_SetDecodeCallback", Ovra_SetDecodeCallback(port, OnFrame, 0));
  Check("Ovra_SetFileEndCallback", Ovra_SetFileEndCallback(port, OnFileEnd, 0));
  Check("Ovra_Play", Ovra_Play(port, NULL));
  Check("Ovra_SetPlaySpeed", Ovra_SetPlaySpeed(port, 16.0f));
  /* The end comes after total / (16 * frame rate) seconds; a minute is far
   * more than any test clip needs. */
  for (int waited_ms = 0; waited_ms < 60000 && !atomic_load(&reached_end); waited_ms += 10) {
    const struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, NULL);
  }
  Check("Ovra_Stop", Ovra_Stop(port));
  Check("Ovra_CloseFile", Ovra_CloseFile(port));
  printf("frames: %u of %u decoded, %ux%u, end %s\n", atomic_load(&frames_decoded), (unsigned)total,
         atomic_load(&last_width), atomic_load(&last_height),
         atomic_load(&reached_end) ? "reached" : "not reached");
  return atomic_load(&reached_end) && total > 0 && atomic_load(&frames_decoded) == total ? 0 : 1;
}
