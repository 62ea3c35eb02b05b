/* Opens one file through the shared library and checks the result code
 * against the expected one given as the only argument, so that a test can
 * tell which player library the process loaded. */
#include <stdio.h>
#include <stdlib.h>

#include "qxplaysdk.h"

int main(int argc, char** argv) {
  int32_t port = -1;
  int32_t result = 0;
  long expected = 0;
  if (argc != 2) {
    fprintf(stderr, "usage: open_file_probe EXPECTED_RESULT\n");
    return 2;
  }
  expected = strtol(argv[1], NULL, 10);
  result = Ovra_OpenFile(&port, "probe.mp4");
  printf("Ovra_OpenFile -> %d (expected %ld)\n", (int)result, expected);
  return result == expected ? 0 : 1;
}
