// The network library against the test recorder on loopback, with a 60 s
// 720p25 H.264 recording:
//  - DownloadByTime: the whole recording downloaded by time (the recorder
//    sends as fast as it can), wall time against the span's real time;
//  - FfmpegCopyByName: `ffmpeg -rtsp_transport tcp -i rtsp://... -c copy` of
//    the same recording by name, which FFmpeg can fetch (at real time: it
//    asks for no faster rate);
//  - RemotePlaybackFirstPicture: from starting a remote playback by time to
//    its first picture presented by the media engine (headless);
//  - RemotePlaybackCpu / LocalPlaybackCpu: CPU time of this process per
//    second of a remote playback of the recording, and of a local playback
//    of the same file through the player library.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "backends/net/gst_runtime.h"
#include "backends/net/remote_playback.h"
#include "backends/network.h"
#include "backends/player.h"

extern "C" {
#include "examples/remote_tour/recorder_child.h"
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 60;
constexpr int64_t kRecordingStart = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-password";

std::string MediaPath(const std::string& name) {
  std::filesystem::create_directories(QX_BENCH_MEDIA_DIR);
  return std::string(QX_BENCH_MEDIA_DIR) + "/" + name;
}

// The 720p25 recording, made once: a key frame every second, no B-frames.
const std::string& Recording() {
  static const std::string path = [] {
    const std::string file = MediaPath("recording-720p-60s.mp4");
    if (std::filesystem::exists(file)) return file;
    const std::string part = file + ".part.mp4";
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25 -t " +
        std::to_string(kSeconds) +
        " -c:v libx264 -preset ultrafast -g 25 -keyint_min 25 -sc_threshold 0 -bf 0"
        " -pix_fmt yuv420p '" +
        part + "' && mv '" + part + "' '" + file + "'";
    return std::system(command.c_str()) == 0 ? file : std::string();
  }();
  return path;
}

// The test recorder serving the recording as "clip" and on channel 1, for
// as long as the benchmark program runs.
class Recorder {
 public:
  Recorder() {
    if (Recording().empty()) return;
    const std::string recording = "clip,1," + std::to_string(kRecordingStart) + "," + Recording();
    const char* argv[] = {"qx_test_recorder", "--user",          kUser,  "--password", kPassword,
                          "--recording",      recording.c_str(), nullptr};
    if (StartRecorder(QX_TEST_RECORDER, const_cast<char* const*>(argv), &child_) == 0)
      port_ = child_.port;
  }
  ~Recorder() {
    if (port_ != 0) StopRecorder(&child_);
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  uint16_t port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "rtsp://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }

 private:
  RecorderChild child_{};
  uint16_t port_ = 0;
};

Recorder& TheRecorder() {
  static Recorder recorder;
  return recorder;
}

NetDateTime At(int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  struct tm utc {};
  gmtime_r(&t, &utc);
  return NetDateTime{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                     utc.tm_hour,        utc.tm_min,     utc.tm_sec};
}

double CpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void DownloadByTime(benchmark::State& state) {
  Recorder& recorder = TheRecorder();
  if (recorder.port() == 0) return state.SkipWithError("no recorder (or no recording)");
  net_init();
  const int32_t login = net_login("127.0.0.1", recorder.port(), kUser, kPassword, nullptr);
  if (login <= 0) return state.SkipWithError("login refused");
  const std::string target = MediaPath("downloaded.ts");
  for (auto _ : state) {
    std::filesystem::remove(target);
    NetDateTime start = At(kRecordingStart), end = At(kRecordingStart + kSeconds);
    const auto began = Clock::now();
    const int32_t download = net_download_by_time(login, 1, &start, &end, target.c_str());
    if (download == 0) return state.SkipWithError("download refused");
    int32_t position = 0;
    while ((position = net_get_download_pos(download)) != 100 && position != -1)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    net_stop_download(download);
    if (position != 100) return state.SkipWithError("download failed");
    state.SetIterationTime(seconds);
    state.counters["of_real_time"] = seconds / kSeconds;
  }
  net_logout(login);
  net_cleanup();
}
BENCHMARK(DownloadByTime)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void FfmpegCopyByName(benchmark::State& state) {
  Recorder& recorder = TheRecorder();
  if (recorder.port() == 0) return state.SkipWithError("no recorder (or no recording)");
  const std::string target = MediaPath("ffmpeg-copy.ts");
  const std::string url = "rtsp://" + std::string(kUser) + ":" + kPassword +
                          "@127.0.0.1:" + std::to_string(recorder.port()) + "/clip";
  const std::string command = "ffmpeg -nostdin -v error -y -rtsp_transport tcp -i '" + url +
                              "' -c copy -f mpegts '" + target + "'";
  for (auto _ : state) {
    const auto began = Clock::now();
    if (std::system(command.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    state.SetIterationTime(seconds);
    state.counters["of_real_time"] = seconds / kSeconds;
  }
}
BENCHMARK(FfmpegCopyByName)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

qx::net::ReceiverOptions PlaybackOptions(const Recorder& recorder, int32_t handle) {
  qx::net::ReceiverOptions options;
  options.url = recorder.Url("recording/1");
  options.user = kUser;
  options.password = kPassword;
  options.span = qx::net::TimeSpan{kRecordingStart + 1, kRecordingStart + kSeconds};
  options.handle = handle;
  return options;
}

void RemotePlaybackFirstPicture(benchmark::State& state) {
  Recorder& recorder = TheRecorder();
  if (recorder.port() == 0 || !qx::net::EnsureGstreamer())
    return state.SkipWithError("no recorder or no GStreamer");
  int32_t handle = 100;
  for (auto _ : state) {
    const auto began = Clock::now();
    auto playback = qx::net::RemotePlayback::Start(PlaybackOptions(recorder, ++handle), nullptr);
    if (!playback) return state.SkipWithError("playback refused");
    const double session_seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const auto limit = began + std::chrono::seconds(10);
    while (playback->PresentedFrames() == 0 && Clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    const bool presented = playback->PresentedFrames() > 0;
    playback->Stop();
    if (!presented) return state.SkipWithError("no picture within 10 s");
    state.SetIterationTime(seconds);
    // The part spent before the recorder's first packets came through.
    state.counters["session_ms"] = session_seconds * 1000.0;
  }
}
BENCHMARK(RemotePlaybackFirstPicture)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

constexpr int kCpuSeconds = 10;

void RemotePlaybackCpu(benchmark::State& state) {
  Recorder& recorder = TheRecorder();
  if (recorder.port() == 0 || !qx::net::EnsureGstreamer())
    return state.SkipWithError("no recorder or no GStreamer");
  for (auto _ : state) {
    auto playback = qx::net::RemotePlayback::Start(PlaybackOptions(recorder, 200), nullptr);
    if (!playback) return state.SkipWithError("playback refused");
    const double cpu = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(kCpuSeconds));
    const double used = CpuSeconds() - cpu;
    const uint32_t presented = playback->PresentedFrames();
    playback->Stop();
    if (presented < 25U * (kCpuSeconds - 1)) return state.SkipWithError("playback fell behind");
    state.SetIterationTime(used);
    state.counters["cpu_ms_per_s"] = used * 1000.0 / kCpuSeconds;
  }
}
BENCHMARK(RemotePlaybackCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void LocalPlaybackCpu(benchmark::State& state) {
  if (Recording().empty()) return state.SkipWithError("no recording");
  constexpr int32_t kPort = 40;
  for (auto _ : state) {
    if (player_open_file(kPort, Recording().c_str()) != 1)
      return state.SkipWithError("cannot open the recording");
    if (player_play(kPort, nullptr) != 1) return state.SkipWithError("cannot play");
    const double cpu = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(kCpuSeconds));
    const double used = CpuSeconds() - cpu;
    const uint32_t played = player_get_played_frames(kPort);
    player_close_file(kPort);
    if (played < 25U * (kCpuSeconds - 1)) return state.SkipWithError("playback fell behind");
    state.SetIterationTime(used);
    state.counters["cpu_ms_per_s"] = used * 1000.0 / kCpuSeconds;
  }
}
BENCHMARK(LocalPlaybackCpu)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
