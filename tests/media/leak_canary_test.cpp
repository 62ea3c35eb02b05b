// A leak planted in the engine on purpose, run only by the `asan` preset's
// canary test (see CMakeLists.txt): it proves that the leak checker still
// reports the engine's own leaks after the render test has run, whatever
// the suppressions for the graphics and sound stacks let through.
#include <gtest/gtest.h>

#include "backends/media/media_input.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

TEST(LeakCanary, DISABLED_AnInputTheEngineOpensAndNobodyClosesIsReported) {
  std::unique_ptr<qx::media::MediaInput> input = qx::media::MediaInput::OpenFile(Clip("mp4"));
  ASSERT_NE(input, nullptr);
  input.release();  // planted leak: the input and everything it holds
}

}  // namespace
}  // namespace qxmedia_test
