// The camera wall, measured against FFmpeg's command-line decoder:
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
#include "bench/media/bench_clips.h"

namespace {

using namespace qx_bench;
using Clock = std::chrono::steady_clock;
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
