// Which backend serves a local port's play, stop and colour calls.
//
// A file port is always the player library's: only the player library opens
// files. The media type word alone would not say so, because opening a file
// leaves it as the number's previous owner set it (2 on a number never used
// for a stream, the stale 0 or 1 otherwise). Any other port follows its
// media type.
#ifndef QXPLAYSDK_PLAYBACK_SERVED_BY_H
#define QXPLAYSDK_PLAYBACK_SERVED_BY_H

#include <cstdint>

#include "core/port_table.h"

namespace qx {

// The media type that decides the backend of port 33..97: kMediaPlayer for
// a file port, else the port's media type word.
inline int32_t ServingMediaType(int32_t port) {
  if (GetSourceMode(port) == kSourceFile) {
    return kMediaPlayer;
  }
  return GetMediaType(port);
}

inline bool ServedBy3gppLibrary(int32_t port) { return ServingMediaType(port) == kMedia3gpp; }

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_SERVED_BY_H
