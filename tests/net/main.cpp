// The network library's test program. Remote playbacks' sound goes through
// SDL's disk driver into a file the tests read back, on any machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "tests/net/net_test_support.h"

int main(int argc, char** argv) {
  std::filesystem::create_directories(QX_NET_CLIP_DIR);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", qx::net::test::PlayedSoundFile().c_str(), 1);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove(qx::net::test::PlayedSoundFile(), ignored);
  return result;
}
