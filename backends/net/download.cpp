#include "backends/net/download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "core/log.h"

namespace qx::net {
namespace {

// The targets being written: a second download into one of them is refused.
struct ActiveTargets {
  Mutex mutex;
  std::set<std::string> paths QX_GUARDED_BY(mutex);
};
ActiveTargets& Targets() {
  static ActiveTargets targets;
  return targets;
}

bool Claim(const std::string& key) {
  MutexLock lock(Targets().mutex);
  return Targets().paths.insert(key).second;
}
void Release(const std::string& key) {
  MutexLock lock(Targets().mutex);
  Targets().paths.erase(key);
}

// The target's canonical path, when its folder exists and can be written.
std::string TargetKey(const std::string& target, int32_t handle) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    qx::log::Warning("net", handle, "download target \"{}\" names no file", target);
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) == nullptr || access(resolved, W_OK) != 0) {
    qx::log::Warning("net", handle, "download target folder \"{}\": {}", folder,
                     qx::log::SystemErrorText(errno));
    return {};
  }
  struct stat status {};
  std::string key = std::string(resolved) + "/" + name;
  if (stat(key.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    qx::log::Warning("net", handle, "download target \"{}\" is a folder", target);
    return {};
  }
  return key;
}

}  // namespace

Download::Download(const ReceiverOptions& options, std::string target)
    : options_(options), target_(std::move(target)) {}

std::shared_ptr<Download> Download::Start(const ReceiverOptions& options,
                                          const std::string& target) {
  std::string key = TargetKey(target, options.handle);
  if (key.empty()) return nullptr;
  if (!Claim(key)) {
    qx::log::Warning("net", options.handle, "\"{}\" is already being downloaded into", target);
    return nullptr;
  }
  // A file keeps every stream's codec (Matroska when MPEG-TS cannot carry one).
  ReceiverOptions file_options = options;
  file_options.keep_codecs = true;
  std::shared_ptr<Download> download(new Download(file_options, target));
  download->target_key_ = key;
  // Opened now, so that a target nobody may write is refused at once; not
  // truncated before the first bytes arrive.
  struct stat status {};
  download->created_ = stat(target.c_str(), &status) != 0;
  const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    qx::log::Warning("net", options.handle, "cannot create \"{}\": {}", target,
                     qx::log::SystemErrorText(errno));
    Release(key);
    return nullptr;
  }
  {
    MutexLock lock(download->mutex_);
    download->fd_ = fd;
  }
  Download* raw = download.get();
  download->receiver_ = RtspReceiver::Start(
      file_options, [raw](const uint8_t* data, size_t length) { return raw->Write(data, length); },
      [raw](ReceiverEnd end) { raw->Ended(end); });
  if (!download->receiver_) {
    // The session never started: Ended has not run, the claim is still ours.
    {
      MutexLock lock(download->mutex_);
      close(download->fd_);
      download->fd_ = -1;
    }
    if (download->created_) unlink(target.c_str());
    Release(key);
    return nullptr;
  }
  return download;
}

Download::~Download() {
  if (receiver_) receiver_->Stop(true);
}

bool Download::Write(const uint8_t* data, size_t length) {
  MutexLock lock(mutex_);
  if (write_failed_) return false;
  if (fd_ < 0) return false;
  if (bytes_written_ == 0 && ftruncate(fd_, 0) != 0) {
    qx::log::Error("net", options_.handle, "cannot truncate \"{}\": {}", target_,
                   qx::log::SystemErrorText(errno));
    write_failed_ = true;
    return false;
  }
  while (length > 0) {
    ssize_t written = write(fd_, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      qx::log::Error("net", options_.handle, "cannot write \"{}\": {}", target_,
                     qx::log::SystemErrorText(errno));
      write_failed_ = true;
      return false;
    }
    data += written;
    length -= static_cast<size_t>(written);
    bytes_written_ += static_cast<uint64_t>(written);
  }
  return true;
}

void Download::Ended(ReceiverEnd end) {
  {
    MutexLock lock(mutex_);
    if (fd_ >= 0 && close(fd_) != 0) {
      qx::log::Error("net", options_.handle, "cannot finish \"{}\": {}", target_,
                     qx::log::SystemErrorText(errno));
      write_failed_ = true;
    }
    fd_ = -1;
    ended_ = true;
    end_ = end;
    // A session that brought nothing leaves no file it made.
    if (bytes_written_ == 0 && created_) unlink(target_.c_str());
  }
  Release(target_key_);
}

int32_t Download::Progress() const {
  if (!receiver_) return 0;
  const uint64_t total = options_.span
                             ? static_cast<uint64_t>(options_.span->seconds()) * 1000000000ULL
                             : receiver_->announced_length();
  if (total == 0) return 0;
  const uint64_t percent = receiver_->timestamp_span() * 100 / total;
  return static_cast<int32_t>(percent > 99 ? 99 : percent);
}

int32_t Download::Position() const {
  const int32_t progress = Progress();
  MutexLock lock(mutex_);
  if (stopped_) return write_failed_ ? -1 : stopped_position_;
  if (!ended_) return write_failed_ ? -1 : progress;
  const bool complete = end_ == ReceiverEnd::kComplete && !write_failed_ && bytes_written_ > 0 &&
                        receiver_ && receiver_->frames() > 0;
  return complete ? 100 : -1;
}

void Download::Stop() {
  const int32_t progress = Progress();
  {
    MutexLock lock(mutex_);
    if (!ended_ && !stopped_) {
      stopped_ = true;
      stopped_position_ = progress;
    }
  }
  if (receiver_) receiver_->Stop(true);
}

}  // namespace qx::net
