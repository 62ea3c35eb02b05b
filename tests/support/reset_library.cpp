#include "tests/support/reset_library.h"

#include "core/port_table_testing.h"
#include "tests/fakes/fake_backends.h"

namespace qxtest {

void ResetLibrary() {
  fake::Reset();
  qx::ResetPortTableForTesting();
}

}  // namespace qxtest
