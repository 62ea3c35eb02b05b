/* A C client of qxplaysdk.dll, linked against its import library and run
 * beside the stand-in backends in the build's bin/ folder, as an application
 * ships the DLL: the DLL must load, bind its backends by ordinal and answer
 * through its __cdecl exports. Exits 0 when every answer is as expected. */
#include <stdio.h>
#include <string.h>

#include "qxplaysdk.h"

static int failures = 0;

static void expect_code(const char* what, int32_t actual, int32_t expected) {
  if (actual != expected) {
    printf("%s: got %d, expected %d\n", what, (int)actual, (int)expected);
    ++failures;
  }
}

int main(void) {
  const char* text = Ovra_GetErrorMessage(OVRA_PARAM_ERROR);
  int32_t port = -1;

  if (text == NULL || strcmp(text, "QXPLAYSDK PARAM ERROR") != 0) {
    printf("Ovra_GetErrorMessage(-2): unexpected text\n");
    ++failures;
  }
  expect_code("Ovra_OpenStream", Ovra_OpenStream(&port, NULL, 0, 4096, OVRA_MEDIA_PLAYER), OVRA_OK);
  expect_code("port", port, OVRA_FIRST_LOCAL_PORT);
  expect_code("Ovra_InputData", Ovra_InputData(port, "abcd", 4), OVRA_OK);
  expect_code("Ovra_Play", Ovra_Play(port, NULL), OVRA_OK);
  expect_code("Ovra_Stop", Ovra_Stop(port), OVRA_OK);
  expect_code("Ovra_CloseStream", Ovra_CloseStream(port), OVRA_OK);
  expect_code("Ovra_CloseStream again", Ovra_CloseStream(port), OVRA_PARAM_ERROR);

  printf("%s\n", failures == 0 ? "client check passed" : "client check FAILED");
  return failures == 0 ? 0 : 1;
}
