// The engine's test program. Sound goes through SDL's disk driver, so that
// the tests hear what was played and speak into the capture, on any machine.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/media/media_test_support.h"

int main(int argc, char** argv) {
  // Windows are drawn by SDL's software renderer: the same pixels on every
  // machine, whatever OpenGL driver it has. Without the second setting SDL
  // still loads the OpenGL driver to decide how to back the window's
  // surface, and a driver unloaded before exit leaves allocations that the
  // leak checker cannot attribute to any library (nor suppress by name).
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", qxmedia_test::TempPath("played.raw").c_str(), 1);
  setenv("SDL_DISKAUDIOFILEIN", qxmedia_test::TempPath("spoken.raw").c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
