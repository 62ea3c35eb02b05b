#include "backends/media/library_logs.h"

#include <SDL.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "backends/media/ffmpeg.h"
#include "core/log.h"

namespace qx::media {

namespace {

std::optional<log::Level> LevelOfFfmpeg(int level) {
  if (level <= AV_LOG_ERROR) return log::Level::kError;
  if (level <= AV_LOG_WARNING) return log::Level::kWarning;
  if (level <= AV_LOG_INFO) return log::Level::kInfo;
  if (level <= AV_LOG_DEBUG) return log::Level::kDebug;
  return std::nullopt;  // trace: every packet, too much even for debugging
}

// FFmpeg hands a line over in pieces (a prefix naming the component, then
// the text, sometimes in several calls); each thread gathers its pieces up
// to the line's end. The pieces go into a plain buffer: a thread-local
// object with a destructor would make glibc register it on the thread's
// first message, and glibc aborts the process when that registration finds
// no memory.
void OnFfmpegMessage(void* component, int level, const char* format, va_list arguments) {
  const std::optional<log::Level> mapped = LevelOfFfmpeg(level);
  if (!mapped || !log::Enabled(*mapped)) return;
  constexpr size_t kLineBytes = 2048;
  thread_local char line[kLineBytes];
  thread_local size_t length = 0;
  thread_local int print_prefix = 1;
  // A line too long for the buffer is cut short.
  av_log_format_line2(component, level, format, arguments, line + length, kLineBytes - length,
                      &print_prefix);
  length += std::strlen(line + length);
  if (length == 0 || (line[length - 1] != '\n' && length < kLineBytes - 1)) return;
  const size_t text = line[length - 1] == '\n' ? length - 1 : length;
  length = 0;
  try {
    log::Write(*mapped, "ffmpeg", log::kNoPort, std::string_view(line, text));
  } catch (...) {
    // out of memory: the message is dropped
  }
}

log::Level LevelOfSdl(SDL_LogPriority priority) {
  switch (priority) {
    case SDL_LOG_PRIORITY_CRITICAL:
    case SDL_LOG_PRIORITY_ERROR:
      return log::Level::kError;
    case SDL_LOG_PRIORITY_WARN:
      return log::Level::kWarning;
    case SDL_LOG_PRIORITY_INFO:
      return log::Level::kInfo;
    default:
      return log::Level::kDebug;
  }
}

void OnSdlMessage(void* /*user*/, int /*category*/, SDL_LogPriority priority, const char* message) {
  const log::Level level = LevelOfSdl(priority);
  if (message == nullptr || !log::Enabled(level)) return;
  log::Write(level, "sdl", log::kNoPort, message);
}

}  // namespace

void ForwardLibraryLogs() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    av_log_set_callback(&OnFfmpegMessage);
    SDL_LogSetOutputFunction(&OnSdlMessage, nullptr);
  });
}

void LogEscapedException(const char* what) noexcept {
  log::Error("media", log::kNoPort, "operation failed: {}", what);
}

}  // namespace qx::media
