/*
 * Colour and sound of a live stream: feeds FILE as a live stream, then
 * reads and changes the colour values and the volume, switches the sound on
 * and off, and prints what the library reports back.
 *
 *   colour_sound FILE
 *
 * Colour works the same on file ports. With the bundled backends each colour value is
 * 0..128 with 64 meaning no change, and the volume is 0..65535. Exit status
 * 0 when every value read back is the one set.
 */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>

#include "qxplaysdk.h"

static int32_t Report(const char* call, int32_t result) {
  const char* text = Ovra_GetErrorMessage(result);
  printf("%-30s -> %3d  %s\n", call, (int)result, text != NULL ? text : "(no text)");
  return result;
}

int main(int argc, char** argv) {
  int32_t port = -1;
  int32_t b = 0, c = 0, s = 0, h = 0;
  uint32_t volume = 0;
  int mismatches = 0;
  unsigned char block[4096];
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (in == NULL) return 2;
  if (Report("Ovra_OpenStream", Ovra_OpenStream(&port, NULL, 0, 4u << 20, OVRA_MEDIA_PLAYER)) !=
      OVRA_OK) {
    fclose(in);
    return 1;
  }
  Report("Ovra_Play(no window)", Ovra_Play(port, NULL));
  /* The whole clip fits into the buffer given at open. */
  for (size_t length; (length = fread(block, 1, sizeof block, in)) > 0;) {
    if (Ovra_InputData(port, block, (uint32_t)length) != OVRA_OK) break;
  }
  fclose(in);

  Report("Ovra_GetColor", Ovra_GetColor(port, &b, &c, &s, &h));
  printf("  colour at open: brightness %d contrast %d saturation %d hue %d\n", (int)b, (int)c,
         (int)s, (int)h);
  Report("Ovra_SetColor(96, 80, 0, 64)", Ovra_SetColor(port, 96, 80, 0, 64));
  Report("Ovra_GetColor", Ovra_GetColor(port, &b, &c, &s, &h));
  printf("  colour now: %d %d %d %d (grey, brighter)\n", (int)b, (int)c, (int)s, (int)h);
  mismatches += b != 96 || c != 80 || s != 0 || h != 64;

  Report("Ovra_GetVolume", Ovra_GetVolume(port, &volume));
  printf("  volume at open: %u\n", (unsigned)volume);
  Report("Ovra_PlaySound", Ovra_PlaySound(port));
  Report("Ovra_SetVolume(20000)", Ovra_SetVolume(port, 20000));
  Report("Ovra_GetVolume", Ovra_GetVolume(port, &volume));
  printf("  volume now: %u\n", (unsigned)volume);
  mismatches += volume != 20000;
  Report("Ovra_StopSound", Ovra_StopSound(port));

  Report("Ovra_Stop", Ovra_Stop(port));
  Report("Ovra_CloseStream", Ovra_CloseStream(port));
  printf("%d values read back differently\n", mismatches);
  return mismatches == 0 ? 0 : 1;
}
