#include "backends/media/live_streams.h"

#include <unordered_map>

#include "backends/media/mutex.h"

namespace qx::media {
namespace {

struct Entry {
  std::weak_ptr<MediaPort> stream;
  // Compared without taking a reference: the last reference let go under
  // the lock would close the port, which withdraws it again.
  const MediaPort* address = nullptr;
};

struct Directory {
  Mutex mutex;
  std::unordered_map<int32_t, Entry> streams QX_GUARDED_BY(mutex);
};

Directory& LiveStreams() {
  static Directory* directory = new Directory();  // never destroyed: ports may close at exit
  return *directory;
}

}  // namespace

void PublishLiveStream(int32_t port, const std::shared_ptr<MediaPort>& media) {
  Directory& directory = LiveStreams();
  MutexLock guard(&directory.mutex);
  directory.streams[port] = Entry{media, media.get()};
}

void WithdrawLiveStream(int32_t port, const MediaPort* media) {
  Directory& directory = LiveStreams();
  MutexLock guard(&directory.mutex);
  auto found = directory.streams.find(port);
  if (found != directory.streams.end() && found->second.address == media)
    directory.streams.erase(found);
}

std::shared_ptr<MediaPort> FindLiveStream(int32_t port) {
  Directory& directory = LiveStreams();
  MutexLock guard(&directory.mutex);
  auto found = directory.streams.find(port);
  return found == directory.streams.end() ? nullptr : found->second.stream.lock();
}

}  // namespace qx::media
