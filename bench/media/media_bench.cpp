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
//  - CameraWall64LivePorts: threads of the process and CPU per port with 64
//    live 720p25 ports fed at camera pace through the player library;
//  - CameraWallLargestRealTime / FfmpegReLargestRealTime: the largest number
//    of such ports, and of `ffmpeg -re -i CLIP -f null -` processes side by
//    side, that keep real time on this machine, with the CPU each costs.
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

namespace {

using qx::media::MediaPort;
using qx::media::PortOptions;
using Clock = std::chrono::steady_clock;

std::string MediaPath(const std::string& name) {
  std::filesystem::create_directories(QX_BENCH_MEDIA_DIR);
  return std::string(QX_BENCH_MEDIA_DIR) + "/" + name;
}

std::string Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
  pclose(pipe);
  return output;
}

// Makes a clip with the ffmpeg tool unless it is there already.
std::string Clip(const std::string& name, const std::string& arguments) {
  const std::string path = MediaPath(name);
  if (!std::filesystem::exists(path)) {
    Shell("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " '" + path +
          ".tmp' && mv '" + path + ".tmp' '" + path + "'");
  }
  return path;
}

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

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
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

// Byte offsets where the first video packets of an MPEG-TS clip start.
std::vector<size_t> VideoPacketOffsets(const std::string& clip, int count) {
  std::istringstream lines(
      Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pos "
            "-read_intervals %+#" +
            std::to_string(count) + " -of csv=p=0 '" + clip + "'"));
  std::string line;
  std::vector<size_t> offsets;
  while (std::getline(lines, line)) {
    if (!line.empty()) offsets.push_back(static_cast<size_t>(std::stol(line)));
  }
  return offsets;
}

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

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

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

// ---------------------------------------------------------------------------
// The camera wall: live ports of 720p25 H.264 in MPEG-TS, each fed one
// picture every 40 ms as a camera sends it (ports staggered over the
// interval, as cameras are not in step), headless, every picture handed to
// a decode notification as a client's analytics or recorder would take it.

constexpr int kWallFps = 25;
constexpr std::chrono::milliseconds kWallInterval{1000 / kWallFps};
constexpr uint32_t kWallBufferBytes = 1024 * 1024;
constexpr int32_t kWallFirstPort = 100;
constexpr int kWallMaxPorts = 64;
// A port keeps real time when, over the measured window, it presents at
// least this share of the pictures a 25 fps camera sends in that time (98
// of the 100 of a 4 s window), and its buffer refused no block during the
// whole run.
constexpr double kRealTimeShare = 0.98;
constexpr std::chrono::seconds kWallWindow{4};
// After every port has shown its first picture: the burst of opening N
// decoders at once settles before the window starts.
constexpr std::chrono::seconds kWallSettle{1};

// 20 s of 720p25 H.264 (a key frame every 2 s, no B-frames, as cameras
// send), about 2.8 Mbit/s.
std::string Clip720pTs() {
  return Clip("h264-720p25-20s.ts",
              "-f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 500 -c:v libx264 "
              "-preset veryfast -g 50 -bf 0 -pix_fmt yuv420p -f mpegts");
}

// The clip's bytes cut at its pictures' starts: picture i is
// [starts[i], starts[i + 1]), the first one from the clip's start (tables
// included), the last one to its end.
struct CameraClip {
  std::vector<uint8_t> bytes;
  std::vector<size_t> starts;

  size_t pictures() const { return starts.size() - 1; }
};

std::optional<CameraClip> LoadCameraClip() {
  CameraClip clip;
  const std::string path = Clip720pTs();
  clip.bytes = ReadBytes(path);
  clip.starts = VideoPacketOffsets(path, 500);
  if (clip.bytes.empty() || clip.starts.size() < 500) return std::nullopt;
  clip.starts.front() = 0;
  clip.starts.push_back(clip.bytes.size());
  return clip;
}

size_t ProcessThreads() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                           std::filesystem::directory_iterator()));
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time all processes of the machine spent running, in seconds: other
// work on a shared machine shows as the part that is not the benchmark's.
double MachineBusySeconds() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
  return (user + nice + system + irq + softirq + steal) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double LoadAverage() {
  double load = 0.0;
  return getloadavg(&load, 1) == 1 ? load : -1.0;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

struct WallPort {
  std::atomic<uint32_t> presented{0};
  std::atomic<uint32_t> refused{0};
  size_t next = 0;  // the next picture to push (feeder thread)
};

void QX_BACKEND_CALL OnWallPicture(int32_t /*port*/, uintptr_t picture, uintptr_t size,
                                   const PlayerFrameInfo* /*info*/, uintptr_t user,
                                   uintptr_t /*number*/) {
  benchmark::DoNotOptimize(reinterpret_cast<const uint8_t*>(picture)[size - 1]);
  reinterpret_cast<WallPort*>(user)->presented.fetch_add(1, std::memory_order_relaxed);
}

struct WallResult {
  bool opened = false;   // false: a port could not be opened or played
  bool started = false;  // every port showed a picture within the limit
  int ports = 0;
  double window_s = 0.0;
  uint32_t min_presented = 0;  // in the window, of the slowest port
  double mean_presented = 0.0;
  uint32_t refused = 0;       // blocks refused by full buffers, all ports, whole run
  uint32_t max_lag = 0;       // pictures pushed but not yet shown at the window's end
  size_t threads_before = 0;  // of the process before the ports opened
  size_t threads = 0;         // of the process, in the middle of the window
  double cpu_s = 0.0;         // of the process over the window
  double others_cpu_s = 0.0;  // of the rest of the machine over the window

  uint32_t needed() const {
    const double sent = std::round(kWallFps * window_s);
    return static_cast<uint32_t>(std::ceil(kRealTimeShare * sent - 1e-9));
  }
  bool KeepsRealTime() const { return started && refused == 0 && min_presented >= needed(); }
};

// Opens `count` live ports through the player library, feeds them at
// camera pace and measures them over kWallWindow once each has shown its
// first picture (waiting at most `start_limit`) and kWallSettle more.
WallResult RunWall(const CameraClip& clip, int count, std::chrono::seconds start_limit) {
  WallResult result;
  result.ports = count;
  result.threads_before = ProcessThreads();
  std::vector<WallPort> ports(static_cast<size_t>(count));
  int opened = 0;
  for (; opened < count; ++opened) {
    const int32_t number = kWallFirstPort + opened;
    if (player_open_stream(number, nullptr, 0, kWallBufferBytes) != 1) break;
    if (player_set_decode_callback(
            number, &OnWallPicture,
            reinterpret_cast<uintptr_t>(&ports[static_cast<size_t>(opened)])) != 1 ||
        player_play(number, nullptr) != 1) {
      player_close_stream(number);
      break;
    }
  }
  auto close_all = [&] {
    // Stopped first: a closing port that still plays would present what
    // its buffer holds, which takes long on an overloaded wall.
    for (int i = 0; i < opened; ++i) player_stop(kWallFirstPort + i);
    for (int i = 0; i < opened; ++i) player_close_stream(kWallFirstPort + i);
  };
  if (opened < count) {
    close_all();
    return result;
  }
  result.opened = true;

  // One feeder thread: port p's picture k is due at start + (k + p / N) x
  // 40 ms. A refused block is offered again at the port's next turn.
  const Clock::time_point start = Clock::now() + std::chrono::milliseconds(10);
  std::atomic<bool> stop{false};
  std::thread feeder([&] {
    for (int64_t slot = 0; !stop.load(std::memory_order_relaxed); ++slot) {
      std::this_thread::sleep_until(start +
                                    std::chrono::microseconds(kWallInterval) * slot / count);
      const auto index = static_cast<size_t>(slot % count);
      WallPort& port = ports[index];
      if (port.next >= clip.pictures()) continue;
      const size_t from = clip.starts[port.next];
      const size_t length = clip.starts[port.next + 1] - from;
      if (player_input_data(kWallFirstPort + static_cast<int32_t>(index), clip.bytes.data() + from,
                            static_cast<uint32_t>(length)) == 1) {
        ++port.next;
      } else {
        port.refused.fetch_add(1, std::memory_order_relaxed);
      }
    }
  });

  const Clock::time_point start_limit_at = start + start_limit;
  auto all_started = [&] {
    return std::all_of(ports.begin(), ports.end(), [](const WallPort& port) {
      return port.presented.load(std::memory_order_relaxed) > 0;
    });
  };
  while (!all_started() && Clock::now() < start_limit_at) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.started = all_started();
  std::this_thread::sleep_for(kWallSettle);

  std::vector<uint32_t> at_start(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) at_start[i] = ports[i].presented.load();
  const double cpu_start = ProcessCpuSeconds();
  const double busy_start = MachineBusySeconds();
  const Clock::time_point window_start = Clock::now();
  std::this_thread::sleep_for(kWallWindow / 2);
  result.threads = ProcessThreads();
  std::this_thread::sleep_until(window_start + kWallWindow);
  const Clock::time_point window_end = Clock::now();
  result.cpu_s = ProcessCpuSeconds() - cpu_start;
  result.others_cpu_s = MachineBusySeconds() - busy_start - result.cpu_s;
  result.window_s = Seconds(window_end - window_start);
  std::vector<uint32_t> at_end(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) at_end[i] = ports[i].presented.load();
  stop = true;
  feeder.join();

  result.min_presented = UINT32_MAX;
  double sum = 0.0;
  for (size_t i = 0; i < ports.size(); ++i) {
    const uint32_t presented = at_end[i] - at_start[i];
    result.min_presented = std::min(result.min_presented, presented);
    sum += presented;
    result.refused += ports[i].refused.load();
    // Pictures due by the window's end (those of the port's turns so far).
    const double phase = static_cast<double>(i) / count;
    const auto due = static_cast<uint32_t>(
        std::min<double>(static_cast<double>(clip.pictures()),
                         std::floor(Seconds(window_end - start) * kWallFps - phase) + 1));
    result.max_lag = std::max(result.max_lag, due > at_end[i] ? due - at_end[i] : 0U);
  }
  result.mean_presented = sum / count;
  close_all();
  return result;
}

// The largest count for which `keeps(count)` holds, up to `limit`: doubling
// from 16 (a wall rarely has fewer tiles), then halving the interval
// between the largest count that kept real time and the smallest that did
// not, until it is within an eighth of the former (or 1). No trial starts
// once `budget` is spent, so that a slow or busy machine does not stretch
// the run; the interval found so far is then the answer, and `complete`
// says so.
struct SearchResult {
  int largest = 0;    // that kept real time
  int failed_at = 0;  // the smallest that did not; 0 when none did
  bool complete = false;
  int trials = 0;
};

template <typename Trial>
SearchResult SearchLargest(int limit, std::chrono::seconds budget, Trial&& keeps) {
  const Clock::time_point give_up = Clock::now() + budget;
  SearchResult search;
  int count = std::min(16, limit);
  while (Clock::now() < give_up) {
    ++search.trials;
    if (keeps(count)) {
      search.largest = count;
    } else {
      search.failed_at = count;
    }
    if (search.failed_at == 0) {  // still doubling
      search.complete = count == limit;
      if (search.complete) break;
      count = std::min(2 * count, limit);
      continue;
    }
    search.complete = search.failed_at - search.largest <= std::max(1, search.largest / 8);
    if (search.complete) break;
    count = (search.largest + search.failed_at) / 2;
  }
  return search;
}

void ReportWall(benchmark::State& state, const WallResult& wall) {
  state.counters["ports"] = wall.ports;
  state.counters["threads"] = static_cast<double>(wall.threads);
  state.counters["threads_before"] = static_cast<double>(wall.threads_before);
  state.counters["others_cores"] = wall.others_cpu_s / wall.window_s;
  state.counters["cpu_ms_per_port_s"] = 1000.0 * wall.cpu_s / wall.window_s / wall.ports;
  state.counters["fps_min"] = wall.min_presented / wall.window_s;
  state.counters["fps_mean"] = wall.mean_presented / wall.window_s;
  state.counters["refused_blocks"] = wall.refused;
  state.counters["max_lag_pictures"] = wall.max_lag;
}

// 64 ports at once: the process's threads while all run (goal: under 150)
// and the CPU each costs. On a machine that cannot decode 64 streams in
// real time the ports fall behind (fps_min below 25, refused blocks): the
// figures are still those of a full wall.
void CameraWall64LivePorts(benchmark::State& state) {
  const std::optional<CameraClip> clip = LoadCameraClip();
  if (!clip) {
    state.SkipWithError("cannot make or probe the 720p clip");
    return;
  }
  for (auto _ : state) {
    state.counters["load_before"] = LoadAverage();
    const WallResult wall = RunWall(*clip, kWallMaxPorts, std::chrono::seconds(10));
    if (!wall.opened) {
      state.SkipWithError("cannot open 64 live ports");
      return;
    }
    ReportWall(state, wall);
    state.counters["keeps_real_time"] = wall.KeepsRealTime() ? 1 : 0;
    state.counters["load_after"] = LoadAverage();
  }
}
BENCHMARK(CameraWall64LivePorts)->Unit(benchmark::kSecond)->Iterations(1);

// Each search stops after this (its last trial then ends up to about 10 s
// later): CI runs these benchmarks on every change.
constexpr std::chrono::seconds kSearchBudget{35};

// The largest number of ports that keep real time (see kRealTimeShare),
// with the figures of that run.
void CameraWallLargestRealTime(benchmark::State& state) {
  const std::optional<CameraClip> clip = LoadCameraClip();
  if (!clip) {
    state.SkipWithError("cannot make or probe the 720p clip");
    return;
  }
  for (auto _ : state) {
    state.counters["load_before"] = LoadAverage();
    bool opened = true;
    std::optional<WallResult> best;
    const SearchResult search = SearchLargest(kWallMaxPorts, kSearchBudget, [&](int count) {
      if (!opened) return false;
      const WallResult wall = RunWall(*clip, count, std::chrono::seconds(5));
      opened = wall.opened;
      std::fprintf(stderr,
                   "camera wall: %2d ports: slowest %u of %u pictures needed, %u refused, "
                   "%.1f ms CPU per port per s, %zu threads, other work %.2f cores -> %s\n",
                   count, wall.min_presented, wall.needed(), wall.refused,
                   1000.0 * wall.cpu_s / std::max(wall.window_s, 1e-9) / count, wall.threads,
                   wall.others_cpu_s / std::max(wall.window_s, 1e-9),
                   wall.KeepsRealTime() ? "real time" : "behind");
      if (wall.KeepsRealTime()) best = wall;
      return wall.KeepsRealTime();
    });
    if (!opened) {
      state.SkipWithError("cannot open the live ports");
      return;
    }
    state.counters["largest_real_time"] = search.largest;
    state.counters["first_behind"] = search.failed_at;
    state.counters["trials"] = search.trials;
    state.counters["search_complete"] = search.complete ? 1 : 0;
    if (best) ReportWall(state, *best);
    state.counters["load_after"] = LoadAverage();
  }
}
BENCHMARK(CameraWallLargestRealTime)->Unit(benchmark::kSecond)->Iterations(1);

// `ffmpeg -re -i CLIP -f null -` processes side by side, the same measure:
// a process keeps real time when, over the window, its output advances by
// at least kRealTimeShare of the wall-clock time (its speed, from its
// progress reports every 0.25 s). CPU per process from /proc/PID/stat over
// the window.
struct FfmpegProcess {
  pid_t pid = -1;
  int output = -1;             // read end of its progress pipe
  std::string pending;         // a progress line not yet complete
  int64_t out_time_us = -1;    // the latest report
  Clock::time_point reported;  // when it came
  // Reports at the window's start and end.
  int64_t start_us = -1;
  Clock::time_point start_at;
  int64_t end_us = -1;
  Clock::time_point end_at;
  double cpu_start = 0.0;
};

double ChildCpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  // Fields after the command name in parentheses: state is field 3, utime
  // and stime fields 14 and 15.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0.0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0.0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool SpawnFfmpeg(const std::string& clip, FfmpegProcess& process) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> arguments = {"ffmpeg",    "-nostdin", "-hide_banner",  "-loglevel",
                                        "error",     "-nostats", "-re",           "-i",
                                        clip,        "-f",       "null",          "-",
                                        "-progress", "pipe:1",   "-stats_period", "0.25"};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawnp(&process.pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (spawned != 0) {
    close(pipe_ends[0]);
    return false;
  }
  process.output = pipe_ends[0];
  fcntl(process.output, F_SETFL, O_NONBLOCK);
  return true;
}

// Reads what the processes reported until `until`.
void ReadProgress(std::vector<FfmpegProcess>& processes, Clock::time_point until) {
  std::vector<pollfd> fds;
  for (const FfmpegProcess& process : processes) fds.push_back({process.output, POLLIN, 0});
  while (Clock::now() < until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(left.count(), 1))) <= 0) {
      continue;
    }
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char chunk[4096];
      const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
      if (got <= 0) {
        fds[i].fd = -1;  // ended: poll leaves it alone
        continue;
      }
      FfmpegProcess& process = processes[i];
      process.pending.append(chunk, static_cast<size_t>(got));
      size_t line_end = 0;
      while ((line_end = process.pending.find('\n')) != std::string::npos) {
        const std::string line = process.pending.substr(0, line_end);
        process.pending.erase(0, line_end + 1);
        constexpr std::string_view kKey = "out_time_us=";
        if (line.rfind(kKey, 0) == 0 && line.size() > kKey.size() && line[kKey.size()] != 'N') {
          process.out_time_us = std::stoll(line.substr(kKey.size()));
          process.reported = now;
        }
      }
    }
  }
}

struct FfmpegResult {
  bool spawned = false;
  bool started = false;  // every process reported progress within the limit
  int processes = 0;
  double min_speed = 0.0;     // of the slowest process over the window
  double cpu_s = 0.0;         // of all processes over the window
  double others_cpu_s = 0.0;  // of the rest of the machine over the window
  double window_s = 0.0;

  bool KeepsRealTime() const { return started && min_speed >= kRealTimeShare; }
};

FfmpegResult RunFfmpegWall(const std::string& clip, int count) {
  FfmpegResult result;
  result.processes = count;
  std::vector<FfmpegProcess> processes(static_cast<size_t>(count));
  int spawned = 0;
  while (spawned < count && SpawnFfmpeg(clip, processes[static_cast<size_t>(spawned)])) ++spawned;
  processes.resize(static_cast<size_t>(spawned));
  result.spawned = spawned == count;
  if (result.spawned) {
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(5);
    auto all_started = [&] {
      return std::all_of(processes.begin(), processes.end(),
                         [](const FfmpegProcess& process) { return process.out_time_us > 0; });
    };
    while (!all_started() && Clock::now() < limit) {
      ReadProgress(processes, Clock::now() + std::chrono::milliseconds(50));
    }
    result.started = all_started();
    ReadProgress(processes, Clock::now() + kWallSettle);
    const Clock::time_point window_start = Clock::now();
    const double busy_start = MachineBusySeconds();
    const double own_start = ProcessCpuSeconds();
    for (FfmpegProcess& process : processes) {
      process.start_us = process.out_time_us;
      process.start_at = process.reported;
      process.cpu_start = ChildCpuSeconds(process.pid);
    }
    ReadProgress(processes, window_start + kWallWindow);
    result.window_s = Seconds(Clock::now() - window_start);
    const double busy = MachineBusySeconds() - busy_start;
    const double own = ProcessCpuSeconds() - own_start;
    result.min_speed = processes.empty() ? 0.0 : 1e9;
    for (FfmpegProcess& process : processes) {
      result.cpu_s += ChildCpuSeconds(process.pid) - process.cpu_start;
      const double span = Seconds(process.reported - process.start_at);
      const double speed =
          span > 0.0 ? static_cast<double>(process.out_time_us - process.start_us) / 1e6 / span
                     : 0.0;
      result.min_speed = std::min(result.min_speed, speed);
    }
    result.others_cpu_s = busy - own - result.cpu_s;
  }
  for (FfmpegProcess& process : processes) {
    kill(process.pid, SIGKILL);
    waitpid(process.pid, nullptr, 0);
    close(process.output);
  }
  return result;
}

void FfmpegReLargestRealTime(benchmark::State& state) {
  const std::string clip = Clip720pTs();
  if (!std::filesystem::exists(clip)) {
    state.SkipWithError("cannot make the 720p clip");
    return;
  }
  for (auto _ : state) {
    state.counters["load_before"] = LoadAverage();
    bool spawned = true;
    std::optional<FfmpegResult> best;
    const SearchResult search = SearchLargest(kWallMaxPorts, kSearchBudget, [&](int count) {
      if (!spawned) return false;
      const FfmpegResult run = RunFfmpegWall(clip, count);
      spawned = run.spawned;
      std::fprintf(stderr,
                   "ffmpeg -re: %2d processes: slowest at %.3fx, %.1f ms CPU per process per s, "
                   "other work %.2f cores -> %s\n",
                   count, run.min_speed, 1000.0 * run.cpu_s / std::max(run.window_s, 1e-9) / count,
                   run.others_cpu_s / std::max(run.window_s, 1e-9),
                   run.KeepsRealTime() ? "real time" : "behind");
      if (run.KeepsRealTime()) best = run;
      return run.KeepsRealTime();
    });
    if (!spawned) {
      state.SkipWithError("cannot start ffmpeg");
      return;
    }
    state.counters["largest_real_time"] = search.largest;
    state.counters["first_behind"] = search.failed_at;
    state.counters["trials"] = search.trials;
    state.counters["search_complete"] = search.complete ? 1 : 0;
    if (best) {
      state.counters["processes"] = best->processes;
      state.counters["cpu_ms_per_process_s"] =
          1000.0 * best->cpu_s / best->window_s / best->processes;
      state.counters["speed_min"] = best->min_speed;
      state.counters["others_cores"] = best->others_cpu_s / best->window_s;
    }
    state.counters["load_after"] = LoadAverage();
  }
}
BENCHMARK(FfmpegReLargestRealTime)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
