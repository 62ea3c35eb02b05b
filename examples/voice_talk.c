/*
 * A voice talk on the voice port 99: audio from the far end goes in, the
 * local capture comes out as voice frames.
 *
 *   voice_talk [SECONDS] [CAPTURE_FILE]
 *
 * Plays SECONDS (default 2) of a 440 Hz tone as the far end's 8 kHz G.711
 * mu-law audio, in 20 ms blocks as a network client would receive them,
 * while capturing from the default input; every captured voice frame is
 * checked for its header and its audio appended to CAPTURE_FILE (default
 * voice-captured.ulaw). Headless machines use SDL's dummy or disk driver:
 *
 *   SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=played.raw \
 *     SDL_DISKAUDIOFILEIN=spoken.raw voice_talk
 *
 * plays into played.raw and captures from spoken.raw (16-bit 8 kHz mono).
 * Exit status 0 when frames were captured and every one was well formed.
 */
#define _POSIX_C_SOURCE 200809L

#include <math.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "qxplaysdk.h"

static const uint8_t kVoiceHeader[8] = {0x00, 0x00, 0x01, 0xF0, 0x0C, 0x02, 0x00, 0x04};

static FILE* captured;
static atomic_uint frames_captured;
static atomic_uint frames_malformed;

static int32_t Report(const char* call, int32_t result) {
  const char* text = Ovra_GetErrorMessage(result);
  printf("%-24s -> %3d  %s\n", call, (int)result, text != NULL ? text : "(no text)");
  fflush(stdout);
  return result;
}

/* G.711 mu-law of one 16-bit sample. */
static uint8_t MuLaw(int16_t sample) {
  const int kBias = 0x84;
  int sign = sample < 0 ? 0x80 : 0;
  int magnitude = sample < 0 ? -(int)sample : sample;
  if (magnitude > 32635) magnitude = 32635;
  magnitude += kBias;
  int exponent = 7;
  for (int mask = 0x4000; (magnitude & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (magnitude >> (exponent + 3)) & 0x0F;
  return (uint8_t) ~(sign | (exponent << 4) | mantissa);
}

/* On the capture thread: one voice frame, valid during the call. */
static void OVRA_CALLBACK OnVoiceFrame(int32_t port, const uint8_t* frame, int32_t length,
                                       uintptr_t user) {
  (void)user;
  if (port != OVRA_VOICE_PORT || length < 8 || memcmp(frame, kVoiceHeader, 8) != 0) {
    atomic_fetch_add(&frames_malformed, 1);
    return;
  }
  fwrite(frame + 8, 1, (size_t)length - 8, captured);
  atomic_fetch_add(&frames_captured, 1);
}

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 2;
  const char* capture_path = argc > 2 ? argv[2] : "voice-captured.ulaw";
  int32_t voice_port = -1;
  enum { kRate = 8000, kBlock = kRate / 50 }; /* 20 ms */
  uint8_t block[kBlock];

  captured = fopen(capture_path, "wb");
  if (captured == NULL) {
    printf("cannot write %s\n", capture_path);
    return 2;
  }
  if (Report("Ovra_InitAudio", Ovra_InitAudio(&voice_port)) != OVRA_OK) return 1;
  printf("voice port %d\n", (int)voice_port);
  Report("Ovra_SetAudioInCallback", Ovra_SetAudioInCallback(voice_port, OnVoiceFrame, 0));

  unsigned sample = 0;
  for (int sent = 0; sent < seconds * 50; ++sent) {
    for (int i = 0; i < kBlock; ++i, ++sample) {
      block[i] = MuLaw((int16_t)(8000.0 * sin(2.0 * 3.14159265358979 * 440.0 * sample / kRate)));
    }
    /* The block is the library's only for the duration of the call. */
    if (Ovra_InputAudioData(voice_port, block, sizeof block) != OVRA_OK) {
      Report("Ovra_InputAudioData", Ovra_InputAudioData(voice_port, block, sizeof block));
    }
    const struct timespec pause = {0, 20 * 1000 * 1000};
    nanosleep(&pause, NULL);
  }
  Report("Ovra_CloseAudio", Ovra_CloseAudio(voice_port));
  /* Closed: the channel refuses far-end audio now (-4, without a text). */
  Report("Ovra_InputAudioData (closed)", Ovra_InputAudioData(voice_port, block, sizeof block));
  fclose(captured);
  printf("captured %u voice frames into %s, %u malformed\n", atomic_load(&frames_captured),
         capture_path, atomic_load(&frames_malformed));
  return atomic_load(&frames_captured) > 0 && atomic_load(&frames_malformed) == 0 ? 0 : 1;
}
