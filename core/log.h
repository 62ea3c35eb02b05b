// The project's logger: one line per event, silent unless the host asks.
//
// Every module of the library (the C interface and the bundled backends)
// says through it why something failed: which file, which codec, which
// system error. Nothing is printed by default. The host chooses with two
// environment variables, read once, on the first message:
//   QXPLAYSDK_LOG=error|warning|info|debug   the least severe level printed
//                                            (to standard error)
//   QXPLAYSDK_LOG_FILE=PATH                  append the lines to PATH instead
//                                            (level: warning unless
//                                            QXPLAYSDK_LOG says otherwise)
// Each line carries the time, the level, the component and the port:
//   2026-12-08 11:40:01.123 warning [media] port 33: cannot open "x.mp4": ...
// Thread-safe; never throws; a failure to write is dropped.
#ifndef QXPLAYSDK_CORE_LOG_H
#define QXPLAYSDK_CORE_LOG_H

#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qx::log {

enum class Level : int { kError = 0, kWarning = 1, kInfo = 2, kDebug = 3 };

// The port of a message that concerns no port.
inline constexpr int32_t kNoPort = -1;

// The text of a system error number (errno), safe from any thread.
std::string SystemErrorText(int error);

// Whether a message of `level` would be written (cheap; use it to skip
// expensive formatting).
bool Enabled(Level level);

// Writes one line. `component` names the part of the library speaking
// ("api", "media", "net", "ffmpeg", "sdl", ...).
void Write(Level level, std::string_view component, int32_t port, std::string_view text);

template <typename... Args>
void Say(Level level, std::string_view component, int32_t port, fmt::format_string<Args...> format,
         Args&&... args) {
  if (!Enabled(level)) return;
  try {
    Write(level, component, port, fmt::format(format, std::forward<Args>(args)...));
  } catch (...) {
    // Out of memory while formatting: the message is dropped, the caller
    // goes on.
  }
}

template <typename... Args>
void Error(std::string_view component, int32_t port, fmt::format_string<Args...> format,
           Args&&... args) {
  Say(Level::kError, component, port, format, std::forward<Args>(args)...);
}
template <typename... Args>
void Warning(std::string_view component, int32_t port, fmt::format_string<Args...> format,
             Args&&... args) {
  Say(Level::kWarning, component, port, format, std::forward<Args>(args)...);
}
template <typename... Args>
void Info(std::string_view component, int32_t port, fmt::format_string<Args...> format,
          Args&&... args) {
  Say(Level::kInfo, component, port, format, std::forward<Args>(args)...);
}
template <typename... Args>
void Debug(std::string_view component, int32_t port, fmt::format_string<Args...> format,
           Args&&... args) {
  Say(Level::kDebug, component, port, format, std::forward<Args>(args)...);
}

}  // namespace qx::log

#endif  // QXPLAYSDK_CORE_LOG_H
