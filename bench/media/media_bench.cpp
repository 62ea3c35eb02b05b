// The media engine measured against FFmpeg's command-line decoder:
//  - Decode1080p: a 1080p H.264 file decoded headless through the engine,
//    unpaced, next to `ffmpeg -threads N -i FILE -f null -` with the same
//    thread count;
//  - LiveFirstFrame: from pushing the bytes of a live stream's first key
//    frame (and the start of the next, which tells the demuxer the picture
//    is complete) to its decode notification;
//  - LivePictureLatencyAtCameraPace: every picture of a live stream pushed
//    as a camera sends it, from the push of its last byte to its decode
//    notification, against one frame interval plus the decode floor;
//  - ThirtyTwoLivePorts: resident memory per port for 32 ports playing
//    640x360 live streams;
// (The camera wall is in camera_wall_bench.cpp.)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "backends/media/media_port.h"
#include "backends/player.h"
#include "bench/media/bench_clips.h"

namespace {

using namespace qx_bench;
using qx::media::MediaPort;
using qx::media::PortOptions;
using Clock = std::chrono::steady_clock;

std::string Clip1080p() {
  return Clip("h264-1080p.mp4",
              "-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 250 -c:v libx264 "
              "-preset veryfast -g 50 -pix_fmt yuv420p -f mp4");
}

std::string Clip360pTs() {
  return Clip("h264-360p.ts",
              "-f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 250 -c:v libx264 "
              "-preset veryfast -g 25 -bf 0 -pix_fmt yuv420p -f mpegts");
}

// A one-shot signal from the engine's thread.
struct Signal {
  std::mutex mutex;
  std::condition_variable changed;
  bool raised = false;
  Clock::time_point when;
  int count = 0;

  void Raise() {
    std::lock_guard<std::mutex> guard(mutex);
    if (!raised) when = Clock::now();
    raised = true;
    ++count;
    changed.notify_all();
  }
  bool Wait(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [this] { return raised; });
  }
};

void QX_BACKEND_CALL OnFileEnd(int32_t /*port*/, uintptr_t user) {
  reinterpret_cast<Signal*>(user)->Raise();
}

void QX_BACKEND_CALL OnDecode(int32_t /*port*/, uintptr_t /*picture*/, uintptr_t /*size*/,
                              const PlayerFrameInfo* /*info*/, uintptr_t user,
                              uintptr_t /*number*/) {
  reinterpret_cast<Signal*>(user)->Raise();
}

void QX_BACKEND_CALL OnDecodeCount(int32_t /*port*/, uintptr_t picture, uintptr_t size,
                                   const PlayerFrameInfo* /*info*/, uintptr_t user,
                                   uintptr_t /*number*/) {
  // Touch the picture as a consumer would.
  benchmark::DoNotOptimize(reinterpret_cast<const uint8_t*>(picture)[size - 1]);
  ++*reinterpret_cast<int*>(user);
}

// range(0): decoding threads; range(1): 1 with a decode notification per
// frame (the picture packed for the caller), 0 without.
void EngineDecode1080p(benchmark::State& state) {
  const std::string clip = Clip1080p();
  const int threads = static_cast<int>(state.range(0));
  const bool notify = state.range(1) != 0;
  int frames = 0;
  for (auto _ : state) {
    PortOptions options;
    options.paced = false;
    options.decode_threads = threads;
    // From the open on, as ffmpeg's time includes opening the file (and
    // starting its process).
    const auto start = Clock::now();
    std::shared_ptr<MediaPort> port = MediaPort::OpenFile(40, clip, options);
    if (!port) {
      state.SkipWithError("cannot open the 1080p clip");
      return;
    }
    Signal ended;
    int decoded = 0;
    port->SetFileEndCallback(&OnFileEnd, reinterpret_cast<uintptr_t>(&ended));
    if (notify) port->SetDecodeCallback(&OnDecodeCount, reinterpret_cast<uintptr_t>(&decoded));
    port->Play(nullptr);
    ended.Wait(std::chrono::seconds(300));
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    frames = static_cast<int>(port->PlayedFrames());
    port->Close();
  }
  state.counters["frames"] = frames;
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(frames) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(EngineDecode1080p)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"threads", "notify"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void FfmpegNullDecode1080p(benchmark::State& state) {
  const std::string clip = Clip1080p();
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads " +
                              std::to_string(state.range(0)) + " -i '" + clip + "' -f null -";
  for (auto _ : state) {
    const auto start = Clock::now();
    Shell(command);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["fps"] = benchmark::Counter(250.0 * static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
}
BENCHMARK(FfmpegNullDecode1080p)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// MPEG-TS framing: a picture's PES ends when the next one starts, so the
// first picture can come out once the TS packet that starts the second
// picture is in. The bytes up to the third picture's start are pushed at
// once (as in earlier runs of this benchmark, when the engine still needed
// them); the time to the first decode notification is the engine's own
// work (probing the format, opening the decoder, decoding).
void LiveFirstFrameProcessing(benchmark::State& state) {
  const std::string clip = Clip360pTs();
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  const std::vector<size_t> offsets = VideoPacketOffsets(clip, 3);
  if (offsets.size() < 3) {
    state.SkipWithError("cannot find the first pictures");
    return;
  }
  const size_t first = offsets[2] + 188;
  for (auto _ : state) {
    std::shared_ptr<MediaPort> port = MediaPort::OpenStream(50, nullptr, 0, 4 * 1024 * 1024);
    Signal decoded;
    port->SetDecodeCallback(&OnDecode, reinterpret_cast<uintptr_t>(&decoded));
    port->Play(nullptr);
    const auto start = Clock::now();
    port->InputData(bytes.data(), first);
    if (!decoded.Wait(std::chrono::seconds(10))) {
      state.SkipWithError("no picture");
      port->Close();
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(decoded.when - start).count());
    port->Close();
  }
  state.counters["bytes"] = static_cast<double>(first);
}
BENCHMARK(LiveFirstFrameProcessing)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20);

// As a camera sends it: each picture's bytes pushed 40 ms after the
// previous one's. Measured from the push that completes the first key
// frame to its decode notification, framing wait included.
void LiveFirstFrameAtCameraPace(benchmark::State& state) {
  const std::string clip = Clip360pTs();
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  std::vector<size_t> offsets = VideoPacketOffsets(clip, 12);
  if (offsets.size() < 12) {
    state.SkipWithError("cannot find the first pictures");
    return;
  }
  for (auto _ : state) {
    std::shared_ptr<MediaPort> port = MediaPort::OpenStream(50, nullptr, 0, 4 * 1024 * 1024);
    Signal decoded;
    port->SetDecodeCallback(&OnDecode, reinterpret_cast<uintptr_t>(&decoded));
    port->Play(nullptr);
    Clock::time_point key_frame_in;
    size_t at = 0;
    for (size_t i = 1; i < offsets.size() && !decoded.raised; ++i) {
      port->InputData(bytes.data() + at, offsets[i] - at);
      at = offsets[i];
      if (i == 1) key_frame_in = Clock::now();
      std::unique_lock<std::mutex> lock(decoded.mutex);
      decoded.changed.wait_for(lock, std::chrono::milliseconds(40), [&] { return decoded.raised; });
    }
    if (!decoded.Wait(std::chrono::seconds(10))) {
      state.SkipWithError("no picture");
      port->Close();
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(decoded.when - key_frame_in).count());
    port->Close();
  }
}
BENCHMARK(LiveFirstFrameAtCameraPace)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

// Every picture pushed as a camera sends it: picture i's bytes (its PES
// packet) at i x 40 ms. A picture is complete once the next one starts, so
// the floor is one frame interval plus decoding; the decode floor is
// measured here too, as the unpaced decode time per picture of the same
// clip as a file.
constexpr size_t kLatencyPictures = 101;

// When each picture's decode notification came, by frame number.
struct Arrivals {
  std::mutex mutex;
  std::vector<Clock::time_point> at = std::vector<Clock::time_point>(kLatencyPictures);
  std::vector<bool> seen = std::vector<bool>(kLatencyPictures, false);
};

void QX_BACKEND_CALL OnPictureArrival(int32_t /*port*/, uintptr_t /*picture*/, uintptr_t /*size*/,
                                      const PlayerFrameInfo* /*info*/, uintptr_t user,
                                      uintptr_t number) {
  auto* arrivals = reinterpret_cast<Arrivals*>(user);
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> guard(arrivals->mutex);
  if (number < kLatencyPictures) {
    arrivals->at[number] = now;
    arrivals->seen[number] = true;
  }
}

void LivePictureLatencyAtCameraPace(benchmark::State& state) {
  constexpr size_t kPictures = kLatencyPictures;
  constexpr auto kInterval = std::chrono::milliseconds(40);
  const std::string clip = Clip360pTs();
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  const std::vector<size_t> offsets = VideoPacketOffsets(clip, kPictures + 1);
  if (offsets.size() < kPictures + 1) {
    state.SkipWithError("cannot find the pictures");
    return;
  }
  std::vector<double> latencies_ms;
  for (auto _ : state) {
    Arrivals arrivals;
    std::vector<Clock::time_point> pushed(kPictures);
    std::shared_ptr<MediaPort> port = MediaPort::OpenStream(50, nullptr, 0, 4 * 1024 * 1024);
    port->SetDecodeCallback(&OnPictureArrival, reinterpret_cast<uintptr_t>(&arrivals));
    port->Play(nullptr);
    const Clock::time_point start = Clock::now();
    size_t at = 0;
    for (size_t i = 0; i < kPictures; ++i) {
      std::this_thread::sleep_until(start + kInterval * static_cast<int>(i));
      port->InputData(bytes.data() + at, offsets[i + 1] - at);
      pushed[i] = Clock::now();
      at = offsets[i + 1];
    }
    // The last picture is complete with the first packet of the next.
    std::this_thread::sleep_until(start + kInterval * static_cast<int>(kPictures));
    port->InputData(bytes.data() + at, 188);
    port->Close();
    std::lock_guard<std::mutex> guard(arrivals.mutex);
    for (size_t i = 0; i < kPictures; ++i) {
      if (!arrivals.seen[i]) {
        state.SkipWithError("a picture never came");
        return;
      }
      latencies_ms.push_back(
          std::chrono::duration<double, std::milli>(arrivals.at[i] - pushed[i]).count());
    }
  }
  std::sort(latencies_ms.begin(), latencies_ms.end());
  state.counters["median_ms"] = latencies_ms[latencies_ms.size() / 2];
  state.counters["p90_ms"] = latencies_ms[latencies_ms.size() * 9 / 10];
  state.counters["interval_ms"] = 40.0;

  // The decode floor: the same clip as a file, decoded unpaced.
  PortOptions unpaced;
  unpaced.paced = false;
  unpaced.decode_threads = 1;
  std::shared_ptr<MediaPort> file = MediaPort::OpenFile(51, clip, unpaced);
  if (!file) {
    state.SkipWithError("cannot open the clip as a file");
    return;
  }
  Signal ended;
  file->SetFileEndCallback(&OnFileEnd, reinterpret_cast<uintptr_t>(&ended));
  const Clock::time_point decode_start = Clock::now();
  file->Play(nullptr);
  if (!ended.Wait(std::chrono::seconds(60))) {
    state.SkipWithError("the file never ended");
    return;
  }
  state.counters["decode_floor_ms"] =
      std::chrono::duration<double, std::milli>(ended.when - decode_start).count() /
      file->TotalFrames();
  file->Close();
}
BENCHMARK(LivePictureLatencyAtCameraPace)->Unit(benchmark::kMillisecond)->Iterations(1);

void ThirtyTwoLivePorts(benchmark::State& state) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip360pTs());
  constexpr int kPorts = 32;
  for (auto _ : state) {
    const long before = ResidentKiB();
    std::vector<std::shared_ptr<MediaPort>> ports;
    std::vector<int> decoded(kPorts, 0);
    for (int i = 0; i < kPorts; ++i) {
      ports.push_back(MediaPort::OpenStream(33 + i, nullptr, 0, 1024 * 1024));
      ports.back()->SetDecodeCallback(&OnDecodeCount, reinterpret_cast<uintptr_t>(&decoded[i]));
      ports.back()->Play(nullptr);
    }
    // Two seconds of each stream, pushed as a camera would send them.
    const auto start = Clock::now();
    size_t at = 0;
    const size_t per_tick = bytes.size() / 250 * 2;  // two frames' worth every 80 ms
    while (Clock::now() - start < std::chrono::seconds(2) && at < bytes.size()) {
      const size_t length = std::min(per_tick, bytes.size() - at);
      for (auto& port : ports) port->InputData(bytes.data() + at, length);
      at += length;
      std::this_thread::sleep_for(std::chrono::milliseconds(80));
    }
    const long during = ResidentKiB();
    int pictures = 0;
    for (auto& port : ports) {
      pictures += static_cast<int>(port->PlayedFrames());
      port->Close();
    }
    state.counters["rss_per_port_KiB"] = static_cast<double>(during - before) / kPorts;
    state.counters["rss_total_MiB"] = static_cast<double>(during) / 1024.0;
    state.counters["pictures"] = pictures;
  }
}
BENCHMARK(ThirtyTwoLivePorts)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
