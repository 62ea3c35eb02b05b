#include "remote/remote_slots.h"

#include <algorithm>
#include <array>

#include "core/port_table.h"

namespace qx {
namespace {

std::array<RemoteSlotRecord, kLastRemoteSlot + 1> remote_slots{};

}  // namespace

RemoteSlotRecord& RemoteSlot(int32_t slot) { return remote_slots[slot]; }

void ClearRemoteSlot(int32_t slot) { remote_slots[slot] = RemoteSlotRecord{}; }

void CopyIntoField(char* field, std::size_t size, const char* text) {
  std::size_t kept = 0;
  while (kept + 1 < size && text[kept] != '\0') {
    field[kept] = text[kept];
    ++kept;
  }
  std::fill(field + kept, field + size, '\0');
}

void ResetRemoteSlotState() { remote_slots.fill(RemoteSlotRecord{}); }

}  // namespace qx
