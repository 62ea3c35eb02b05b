// Opening recordings of growing length: from the open to the first decoded
// picture of 1, 10 and 120-minute files (MP4 with and without B-frames and
// MPEG-TS of 128x72 H.264, MPEG-PS of MPEG-2 video with B-frames; 25 fps, a
// key frame every 2 s), next to ffprobe reading the same file's duration
// (its process start included), the time until the frame index is whole,
// its size and the resident memory the open added. The files are read from
// the page cache: each is made, or was probed, just before it is opened.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "backends/media/media_port.h"
#include "bench/media/bench_clips.h"

namespace {

using namespace qx_bench;
using qx::media::MediaPort;
using qx::media::PortOptions;
using Clock = std::chrono::steady_clock;

enum Container { kMp4 = 0, kMpegTs = 1, kMp4WithBFrames = 2, kMpegPs = 3 };

std::string Recording(int minutes, Container container) {
  const std::string name = "recording-" + std::to_string(minutes) + "min";
  const std::string source = "-f lavfi -i testsrc2=size=128x72:rate=25 -t " +
                             std::to_string(minutes * 60) +
                             " -c:v libx264 -preset ultrafast -g 50 -pix_fmt yuv420p -f mp4";
  if (container == kMp4WithBFrames) return Clip(name + "-b.mp4", source + " -bf 2");
  const std::string mp4 = Clip(name + ".mp4", source);
  if (container == kMp4) return mp4;
  // The MPEG-PS demuxer takes H.264 for MP3 (nothing in the stream says
  // otherwise): the usual MPEG-2 video, with B-frames.
  if (container == kMpegPs) {
    return Clip(name + ".mpg", "-f lavfi -i testsrc2=size=128x72:rate=25 -t " +
                                   std::to_string(minutes * 60) +
                                   " -c:v mpeg2video -g 50 -bf 2 -f vob");
  }
  return Clip(name + ".ts", "-i '" + mp4 + "' -c copy -f mpegts");
}

struct FirstPicture {
  std::mutex mutex;
  std::condition_variable came;
  bool done = false;
  Clock::time_point when;
};

void QX_BACKEND_CALL OnPicture(int32_t /*port*/, uintptr_t /*picture*/, uintptr_t /*size*/,
                               const PlayerFrameInfo* /*info*/, uintptr_t user,
                               uintptr_t /*number*/) {
  auto* first = reinterpret_cast<FirstPicture*>(user);
  std::lock_guard<std::mutex> guard(first->mutex);
  if (first->done) return;
  first->done = true;
  first->when = Clock::now();
  first->came.notify_all();
}

double MillisecondsSince(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// range(0): minutes; range(1): a Container.
void OpenToFirstPicture(benchmark::State& state) {
  // A recording that could not be made fails the open below.
  const std::string file =
      Recording(static_cast<int>(state.range(0)), static_cast<Container>(state.range(1)));
  for (auto _ : state) {
    const auto probe_start = Clock::now();
    Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "'");
    const double ffprobe_ms = MillisecondsSince(probe_start, Clock::now());

    const long before = ResidentKiB();
    const auto start = Clock::now();
    std::shared_ptr<MediaPort> port = MediaPort::OpenFile(41, file, PortOptions{});
    const auto opened = Clock::now();
    if (!port) {
      state.SkipWithError("cannot open the recording");
      return;
    }
    const long after_open = ResidentKiB();
    FirstPicture first;
    port->SetDecodeCallback(&OnPicture, reinterpret_cast<uintptr_t>(&first));
    port->Play(nullptr);
    bool came = false;
    {
      std::unique_lock<std::mutex> lock(first.mutex);
      came = first.came.wait_for(lock, std::chrono::minutes(5), [&] { return first.done; });
    }
    // The index of a file read packet by packet is built in the background:
    // the frame count waits for it.
    const uint32_t frames = port->TotalFrames();
    const auto index_whole = Clock::now();
    const size_t index_bytes = port->IndexBytes();
    port->Close();
    if (!came) {
      state.SkipWithError("no picture came");
      return;
    }
    state.SetIterationTime(MillisecondsSince(start, first.when) / 1000.0);
    state.counters["open_ms"] = MillisecondsSince(start, opened);
    state.counters["first_picture_ms"] = MillisecondsSince(start, first.when);
    state.counters["index_whole_ms"] = MillisecondsSince(start, index_whole);
    state.counters["ffprobe_ms"] = ffprobe_ms;
    state.counters["open_added_MiB"] = static_cast<double>(after_open - before) / 1024.0;
    state.counters["frames"] = frames;
    state.counters["index_MiB"] = static_cast<double>(index_bytes) / (1024.0 * 1024.0);
  }
}
BENCHMARK(OpenToFirstPicture)
    ->ArgsProduct({{1, 10, 120}, {kMp4, kMpegTs, kMp4WithBFrames, kMpegPs}})
    ->ArgNames({"minutes", "container"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
