// The logger's sinks: spdlog, configured once from the environment.
#include "core/log.h"

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "core/log_testing.h"
#include "core/mutex.h"

namespace qx::log {
namespace {

// Levels above every real one: nothing is written.
constexpr int kSilent = -1;

struct Logger {
  std::once_flag configured;
  std::atomic<int> threshold{kSilent};
  Mutex mutex;
  std::shared_ptr<spdlog::logger> sink QX_GUARDED_BY(mutex);  // replaced whole
};

Logger& TheLogger() {
  // Never destroyed: messages may come from threads still running while
  // the process exits.
  static Logger* logger = new Logger;
  return *logger;
}

int ParseLevel(const char* text) {
  if (text == nullptr) return kSilent;
  const std::string_view name(text);
  if (name == "error") return static_cast<int>(Level::kError);
  if (name == "warning" || name == "warn") return static_cast<int>(Level::kWarning);
  if (name == "info") return static_cast<int>(Level::kInfo);
  if (name == "debug") return static_cast<int>(Level::kDebug);
  return kSilent;
}

std::shared_ptr<spdlog::logger> MakeSink(const std::string& path) {
  try {
    std::shared_ptr<spdlog::sinks::sink> sink;
    if (path.empty()) {
      sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    } else {
      sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(path, /*truncate=*/false);
    }
    auto logger = std::make_shared<spdlog::logger>("qxplaysdk", std::move(sink));
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %l %v");
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    return logger;
  } catch (...) {
    return nullptr;  // a file that cannot be opened: stay silent
  }
}

void Install(Logger& logger, int threshold, const std::string& path) {
  std::shared_ptr<spdlog::logger> sink = threshold == kSilent ? nullptr : MakeSink(path);
  MutexLock guard(&logger.mutex);
  logger.sink = std::move(sink);
  logger.threshold.store(logger.sink ? threshold : kSilent, std::memory_order_release);
}

void ConfigureFromEnvironment(Logger& logger) {
  // Read once, when the logger is first used; the library never changes the
  // environment, so only a host calling setenv at that moment could race.
  const char* file = std::getenv("QXPLAYSDK_LOG_FILE");      // NOLINT(concurrency-mt-unsafe)
  int threshold = ParseLevel(std::getenv("QXPLAYSDK_LOG"));  // NOLINT(concurrency-mt-unsafe)
  if (threshold == kSilent && file != nullptr && *file != '\0') {
    threshold = static_cast<int>(Level::kWarning);
  }
  Install(logger, threshold, file != nullptr ? file : "");
}

Logger& ConfiguredLogger() {
  Logger& logger = TheLogger();
  std::call_once(logger.configured, [&] { ConfigureFromEnvironment(logger); });
  return logger;
}

spdlog::level::level_enum SpdLevel(Level level) {
  switch (level) {
    case Level::kError:
      return spdlog::level::err;
    case Level::kWarning:
      return spdlog::level::warn;
    case Level::kInfo:
      return spdlog::level::info;
    case Level::kDebug:
      break;
  }
  return spdlog::level::debug;
}

}  // namespace

std::string SystemErrorText(int error) { return std::generic_category().message(error); }

bool Enabled(Level level) {
  // The first message sets the logger up; with no memory left for that the
  // message is dropped rather than thrown at a caller that cannot take it.
  try {
    return static_cast<int>(level) <= ConfiguredLogger().threshold.load(std::memory_order_acquire);
  } catch (...) {
    return false;
  }
}

void Write(Level level, std::string_view component, int32_t port, std::string_view text) {
  Logger& logger = ConfiguredLogger();
  if (static_cast<int>(level) > logger.threshold.load(std::memory_order_acquire)) return;
  std::shared_ptr<spdlog::logger> sink;
  {
    MutexLock guard(&logger.mutex);
    sink = logger.sink;
  }
  if (!sink) return;
  try {
    if (port == kNoPort) {
      sink->log(SpdLevel(level), "[{}] {}", component, text);
    } else {
      sink->log(SpdLevel(level), "[{}] port {}: {}", component, port, text);
    }
  } catch (...) {
    // A line that cannot be written is dropped.
  }
}

void ConfigureForTesting(Level level, const std::string& path) {
  Logger& logger = ConfiguredLogger();
  Install(logger, static_cast<int>(level), path);
}

}  // namespace qx::log
