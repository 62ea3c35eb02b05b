#include "core/kept_text.h"

#include <cstring>

namespace qx {

void CopyKeptText(char* field, std::size_t size, const char* text) {
  // memchr stops at the first match, so nothing past the terminator or the
  // last kept character is read.
  const void* terminator = std::memchr(text, '\0', size - 1);
  const std::size_t length =
      terminator != nullptr ? static_cast<std::size_t>(static_cast<const char*>(terminator) - text)
                            : size - 1;
  // Moved, not copied: the text may overlap the field.
  std::memmove(field, text, length);
  std::memset(field + length, 0, size - length);
}

}  // namespace qx
