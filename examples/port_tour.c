/*
 * A short tour of the port table through the public interface: opens files
 * and streams on local ports, feeds a block, closes them again, and prints
 * every result code with its message.
 */
#include <stdio.h>

#include "qxplaysdk.h"

static void Report(const char* call, int32_t result) {
  const char* message = Ovra_GetErrorMessage(result);
  printf("%-40s -> %3d  %s\n", call, (int)result, message != NULL ? message : "(no text)");
}

int main(void) {
  int32_t file_port = -1;
  int32_t stream_port = -1;
  int32_t bad_port = -1;
  static const unsigned char block[188] = {0x47};

  Report("Ovra_OpenFile(&port, \"sample.mp4\")", Ovra_OpenFile(&file_port, "sample.mp4"));
  printf("  file port: %d\n", (int)file_port);
  Report("Ovra_OpenStream(&port, NULL, 0, 1 MiB, 0)",
         Ovra_OpenStream(&stream_port, NULL, 0, 1u << 20, 0));
  printf("  stream port: %d\n", (int)stream_port);
  Report("Ovra_InputData(stream, block, 188)", Ovra_InputData(stream_port, block, sizeof block));
  Report("Ovra_OpenStream(&port, NULL, 0, 0, 7)", Ovra_OpenStream(&bad_port, NULL, 0, 0, 7));
  printf("  port taken all the same: %d\n", (int)bad_port);
  Report("Ovra_CloseFile(that port)", Ovra_CloseFile(bad_port));
  Report("Ovra_InputData(98, block, 188)", Ovra_InputData(98, block, sizeof block));
  Report("Ovra_CloseStream(stream)", Ovra_CloseStream(stream_port));
  Report("Ovra_CloseFile(file)", Ovra_CloseFile(file_port));
  Report("Ovra_CloseFile(file) again", Ovra_CloseFile(file_port));

  printf("\nAll result codes:\n");
  for (int32_t code = 0; code >= -12; --code) {
    const char* message = Ovra_GetErrorMessage(code);
    printf("  %3d  %s\n", (int)code, message != NULL ? message : "(no text)");
  }
  return 0;
}
