#include "tests/support/library_test.h"

#include "core/port_table.h"

namespace qxtest {

void ResetLibrary() {
  fake::Reset();
  qx::ResetPortTableState();
}

}  // namespace qxtest
