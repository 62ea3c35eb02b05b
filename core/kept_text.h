// The one way the library keeps a caller's text: copied into a fixed field,
// cut so that the field always ends in a NUL.
#ifndef QXPLAYSDK_CORE_KEPT_TEXT_H
#define QXPLAYSDK_CORE_KEPT_TEXT_H

#include <cstddef>

namespace qx {

// Copies the NUL-terminated `text` into `field` of `size` characters,
// keeping at most size - 1 of them; the rest of the field is NUL-filled.
// Reads `text` no further than its terminator or the last character kept.
// `text` may point into `field` itself (a callback handing back the name it
// was given). `size` is at least 1.
void CopyKeptText(char* field, std::size_t size, const char* text);

}  // namespace qx

#endif  // QXPLAYSDK_CORE_KEPT_TEXT_H
