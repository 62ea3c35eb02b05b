// Bad input to the exports that register the caller's notification
// functions.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

void OVRA_CALLBACK IgnoreDraw(int32_t, uintptr_t, uintptr_t) {}
void OVRA_CALLBACK IgnoreFileEnd(int32_t, uintptr_t) {}
void OVRA_CALLBACK IgnoreFrame(int32_t, const DecodeFrameInfo*, uintptr_t) {}

TEST_F(MisuseMatrix, Callbacks) {
  const std::vector<Row> rows = {
      {"RegisterDrawFun", kFresh, [](In in) { return Ovra_RegisterDrawFun(in.n, IgnoreDraw, 7); },
       OVRA_PARAM_ERROR, "", kBadPorts},
      {"RegisterDrawFun, null function", kFilePort,
       [](In in) { return Ovra_RegisterDrawFun(in.n, nullptr, 0); }, OVRA_OK,
       "player_set_draw_callback"},

      {"SetFileEndCallback, not a local port", kFresh,
       [](In in) { return Ovra_SetFileEndCallback(in.n, IgnoreFileEnd, 7); }, OVRA_PARAM_ERROR, "",
       kNonLocal},
      {"SetFileEndCallback, free port without a mode", kFresh,
       [](In in) { return Ovra_SetFileEndCallback(in.n, IgnoreFileEnd, 7); }, OVRA_NEED_FILE_MODE,
       "", kFreeLocal},
      {"SetFileEndCallback, free port still in file mode", kClosedFile,
       [](In in) { return Ovra_SetFileEndCallback(in.n, IgnoreFileEnd, 7); }, OVRA_PARAM_ERROR},
      {"SetFileEndCallback, stream port", kPlayerStream,
       [](In in) { return Ovra_SetFileEndCallback(in.n, IgnoreFileEnd, 7); }, OVRA_NEED_FILE_MODE},
      {"SetFileEndCallback, null function", kFilePort,
       [](In in) { return Ovra_SetFileEndCallback(in.n, nullptr, 0); }, OVRA_OK,
       "player_set_file_end_callback"},

      {"SetDecodeCallback", kFresh,
       [](In in) { return Ovra_SetDecodeCallback(in.n, IgnoreFrame, 7); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"SetDecodeCallback, null function", kFilePort,
       [](In in) { return Ovra_SetDecodeCallback(in.n, nullptr, 7); }, OVRA_PARAM_ERROR},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
