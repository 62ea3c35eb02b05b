/*
 * A tour of the media side of the interface on real media.
 *
 *   media_tour                 makes a 4-second sample clip (or uses the one
 *                              made before) and tours it
 *   media_tour FILE            plays FILE as a file port
 *   media_tour --stream FILE   feeds FILE block by block as a live stream
 *
 * Without arguments it plays the sample as a file (decoded frames printed,
 * a jump to a frame and a snapshot of it), then feeds it as a live stream
 * while recording it into two files, switching in the middle. Pictures go
 * into an X window when DISPLAY is set, nowhere otherwise. Every call's
 * result code is printed with its message.
 */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "qxplaysdk.h"
#include "sample_clip.h"
#include "tour_window.h"

static const char* const kSample = "qxplaysdk-sample.ts";
static const char* const kSnapshot = "qxplaysdk-snapshot.bmp";

static atomic_int file_ended;
static atomic_uint frames_seen;

static int32_t Report(const char* call, int32_t result) {
  const char* message = Ovra_GetErrorMessage(result);
  printf("%-46s -> %3d  %s\n", call, (int)result, message != NULL ? message : "(no text)");
  fflush(stdout);
  return result;
}

static void SleepMs(long ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}

static void OVRA_CALLBACK OnFrame(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  (void)user;
  unsigned seen = atomic_fetch_add(&frames_seen, 1);
  if (seen < 5 || info->sequence % 25 == 0) {
    printf("  port %d frame #%u: %ux%u, %u ms, %u fps\n", (int)port, (unsigned)info->sequence,
           (unsigned)info->info_a, (unsigned)info->info_b, (unsigned)info->info_c,
           (unsigned)info->info_e);
    fflush(stdout);
  }
}

static void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t user) {
  (void)user;
  printf("  port %d reached the end of its file\n", (int)port);
  atomic_store(&file_ended, 1);
}

static void OVRA_CALLBACK OnRecordFile(int32_t port, const char* file_name, uintptr_t user) {
  (void)user;
  printf("  port %d finished recording %s\n", (int)port, file_name);
}

/* Waits up to `limit_ms` for the file's end, keeping the window alive. */
static void WaitForEnd(TourWindow* window, long limit_ms) {
  for (long waited = 0; waited < limit_ms && !atomic_load(&file_ended); waited += 20) {
    TourWindowPump(window);
    SleepMs(20);
  }
}

static void PlayFile(const char* path, TourWindow* window) {
  int32_t port = -1;
  uint32_t total = 0;
  uint32_t played = 0;
  printf("\n== File %s\n", path);
  if (Report("Ovra_OpenFile", Ovra_OpenFile(&port, path)) != OVRA_OK) {
    Report("Ovra_CloseFile", Ovra_CloseFile(port));
    return;
  }
  Report("Ovra_GetFileTotalFrames", Ovra_GetFileTotalFrames(port, &total));
  printf("  %u frames\n", (unsigned)total);
  Report("Ovra_SetDecodeCallback", Ovra_SetDecodeCallback(port, OnFrame, 0));
  Report("Ovra_SetFileEndCallback", Ovra_SetFileEndCallback(port, OnFileEnd, 0));
  atomic_store(&file_ended, 0);
  Report("Ovra_Play", Ovra_Play(port, TourWindowHandle(window)));
  Report("Ovra_SetPlaySpeed(2)", Ovra_SetPlaySpeed(port, 2.0f));
  WaitForEnd(window, 60000);
  Report("Ovra_GetPlayedFrames", Ovra_GetPlayedFrames(port, &played));
  printf("  %u frames played\n", (unsigned)played);

  /* Back to a frame in the middle, exactly, and a picture of it. */
  Report("Ovra_Pause", Ovra_Pause(port, 1));
  Report("Ovra_SetCurrentFrameNum(total / 2)", Ovra_SetCurrentFrameNum(port, total / 2));
  Report("Ovra_PreviousFrame", Ovra_PreviousFrame(port));
  Report("Ovra_GetPlayedFrames", Ovra_GetPlayedFrames(port, &played));
  printf("  showing frame %u\n", (unsigned)played - 1);
  if (Report("Ovra_CapPic", Ovra_CapPic(port, kSnapshot)) == OVRA_OK) {
    printf("  snapshot written to %s\n", kSnapshot);
  }
  TourWindowPump(window);
  SleepMs(500);
  Report("Ovra_Stop", Ovra_Stop(port));
  Report("Ovra_CloseFile", Ovra_CloseFile(port));
}

static unsigned char* ReadWhole(const char* path, long* size) {
  FILE* in = fopen(path, "rb");
  unsigned char* bytes = NULL;
  if (in == NULL) return NULL;
  if (fseek(in, 0, SEEK_END) == 0 && (*size = ftell(in)) > 0 && fseek(in, 0, SEEK_SET) == 0) {
    bytes = malloc((size_t)*size);
    if (bytes != NULL && fread(bytes, 1, (size_t)*size, in) != (size_t)*size) {
      free(bytes);
      bytes = NULL;
    }
  }
  fclose(in);
  return bytes;
}

/* Feeds the bytes in blocks as a network client would; a block the port's
 * buffer cannot take now is offered again a little later. */
static void Feed(int32_t port, const unsigned char* bytes, long from, long to, TourWindow* window) {
  const long block = 4096;
  int refusals = 0;
  for (long at = from; at < to;) {
    long length = to - at < block ? to - at : block;
    int32_t result = Ovra_InputData(port, bytes + at, (uint32_t)length);
    if (result == OVRA_OK) {
      at += length;
    } else {
      if (refusals++ == 0) Report("Ovra_InputData (buffer full, offered again)", result);
      TourWindowPump(window);
      SleepMs(10);
    }
  }
}

static void FeedStream(const char* path, TourWindow* window, int record) {
  long size = 0;
  unsigned char* bytes = ReadWhole(path, &size);
  int32_t port = -1;
  printf("\n== Live stream fed block by block from %s\n", path);
  if (bytes == NULL) {
    printf("  cannot read %s\n", path);
    return;
  }
  if (Report("Ovra_OpenStream(1 MiB buffer)", Ovra_OpenStream(&port, NULL, 0, 1u << 20, 0)) !=
      OVRA_OK) {
    Report("Ovra_CloseStream", Ovra_CloseStream(port));
    free(bytes);
    return;
  }
  Report("Ovra_SetDecodeCallback", Ovra_SetDecodeCallback(port, OnFrame, 0));
  Report("Ovra_SetRecordFileReadyCallback", Ovra_SetRecordFileReadyCallback(port, OnRecordFile, 0));
  Report("Ovra_Play", Ovra_Play(port, TourWindowHandle(window)));
  Report("Ovra_SetPlaySpeed(2)", Ovra_SetPlaySpeed(port, 2.0f));
  if (record)
    Report("Ovra_RecordStart(qxplaysdk-record-1.ts)",
           Ovra_RecordStart(port, "qxplaysdk-record-1.ts", 0));
  Feed(port, bytes, 0, size / 2, window);
  if (record)
    Report("Ovra_RecordSwitchFile(qxplaysdk-record-2.ts)",
           Ovra_RecordSwitchFile(port, "qxplaysdk-record-2.ts"));
  Feed(port, bytes, size / 2, size, window);
  /* Let the last pictures play out. */
  for (int i = 0; i < 125; ++i) {
    TourWindowPump(window);
    SleepMs(20);
  }
  if (record) Report("Ovra_RecordStop", Ovra_RecordStop(port));
  Report("Ovra_Stop", Ovra_Stop(port));
  Report("Ovra_CloseStream", Ovra_CloseStream(port));
  free(bytes);
}

int main(int argc, char** argv) {
  const char* path = kSample;
  int stream_only = 0;
  if (argc >= 3 && strcmp(argv[1], "--stream") == 0) {
    stream_only = 1;
    path = argv[2];
  } else if (argc >= 2) {
    path = argv[1];
  } else {
    FILE* existing = fopen(kSample, "rb");
    if (existing != NULL) {
      fclose(existing);
      printf("Using the sample clip %s\n", kSample);
    } else {
      printf("Making the sample clip %s\n", kSample);
      if (MakeSampleClip(kSample, 4) != 0) {
        printf("Cannot make the sample clip\n");
        return 1;
      }
    }
  }

  TourWindow* window = TourWindowOpen("qxplaysdk media tour", 320, 240);
  printf("Pictures go %s\n", window != NULL ? "into an X window" : "nowhere (no display)");
  if (stream_only) {
    FeedStream(path, window, 0);
  } else {
    PlayFile(path, window);
    if (argc < 2) FeedStream(path, window, 1);
  }
  TourWindowClose(window);
  printf("\n%u decoded frames in all\n", atomic_load(&frames_seen));
  return 0;
}
