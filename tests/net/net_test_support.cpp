#include "tests/net/net_test_support.h"

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace qx::net::test {
namespace {

std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), got);
  if (pclose(pipe) != 0) return "";
  return output;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

int CountEntries(const char* folder) {
  int count = 0;
  DIR* dir = opendir(folder);
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  closedir(dir);
  return count;
}

}  // namespace

std::string Clip(const std::string& sound, bool b_frames) {
  static std::mutex mutex;
  static std::map<std::string, std::string> made;
  std::lock_guard<std::mutex> lock(mutex);
  const std::string kind = (b_frames ? "-bframes" : "") + (sound.empty() ? "" : "-" + sound);
  if (auto found = made.find(kind); found != made.end()) return found->second;
  std::filesystem::create_directories(QX_NET_CLIP_DIR);
  const std::string file =
      std::string(QX_NET_CLIP_DIR) + "/recording" + kind + (sound.empty() ? ".mp4" : ".mov");
  if (!std::filesystem::exists(file)) {
    const std::string temporary = file + ".part";
    std::ostringstream command;
    command << "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=" << kClipFps;
    if (!sound.empty()) {
      const bool aac = sound == "aac";
      command << " -f lavfi -i sine=frequency=" << kToneHz
              << ":sample_rate=" << (aac ? 16000 : 8000) << " -ac 1 -c:a "
              << (aac               ? "aac"
                  : sound == "pcmu" ? "pcm_mulaw"
                                    : "pcm_alaw");
    }
    command << " -t " << kClipSeconds
            << " -c:v libx264 -preset ultrafast -g 25 -keyint_min 25 -sc_threshold 0 -bf "
            << (b_frames ? 2 : 0) << " -pix_fmt yuv420p -f " << (sound.empty() ? "mp4" : "mov")
            << " '" << temporary << "' && mv '" << temporary << "' '" << file << "'";
    if (std::system(command.str().c_str()) != 0) return "";
  }
  made[kind] = file;
  return file;
}

std::string ProbeContainer(const std::string& file) {
  return FirstLine(Run("ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 '" +
                       file + "'"));
}

ProbedSound ProbeSound(const std::string& file) {
  ProbedSound sound;
  // MPEG-TS lists its streams twice (in the program and alone).
  sound.codec =
      FirstLine(Run("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of "
                    "default=nw=1:nk=1 '" +
                    file + "'"));
  if (sound.codec.empty()) return sound;
  std::istringstream lines(
      Run("ffprobe -v error -select_streams a:0 -show_entries "
          "packet=pts_time,duration_time -of csv=p=0 '" +
          file + "'"));
  double first = -1.0, end = 0.0;
  std::string line;
  while (std::getline(lines, line)) {
    double pts = 0.0, duration = 0.0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &duration) != 2) continue;
    if (first < 0.0 || pts < first) first = pts;
    end = std::max(end, pts + duration);
  }
  sound.seconds = first < 0.0 ? 0.0 : end - first;
  return sound;
}

// One per test process: tests run side by side must not play into the same
// file.
std::string PlayedSoundFile() {
  return std::string(QX_NET_CLIP_DIR) + "/played-" + std::to_string(getpid()) + ".raw";
}

PlayedTone AnalysePlayedSound() {
  std::ifstream in(PlayedSoundFile(), std::ios::binary);
  std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> left;  // 48 kHz stereo: the left channel
  for (size_t i = 0; i + 3 < raw.size(); i += 4)
    left.push_back(static_cast<int16_t>((static_cast<uint8_t>(raw[i + 1]) << 8) |
                                        static_cast<uint8_t>(raw[i])));
  constexpr size_t kWindow = 480;  // 10 ms
  int loud = 0, crossings = 0;
  for (size_t at = 0; at + kWindow <= left.size(); at += kWindow) {
    double energy = 0.0;
    int here = 0;
    for (size_t i = at; i < at + kWindow; ++i) {
      energy += static_cast<double>(left[i]) * left[i];
      if (i > 0 && (left[i - 1] < 0) != (left[i] < 0)) ++here;
    }
    if (std::sqrt(energy / kWindow) <= 500.0) continue;
    ++loud;
    crossings += here;
  }
  PlayedTone tone;
  tone.loud_seconds = loud / 100.0;
  tone.frequency = loud == 0 ? 0.0 : crossings / 2.0 / tone.loud_seconds;
  return tone;
}

int ProbeFrameCount(const std::string& file) {
  std::string out = Run(
      "ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets "
      "-of csv=p=0 '" +
      file + "'");
  if (out.empty()) return -1;
  return std::atoi(out.c_str());
}

int DecodedFrameCount(const std::string& file) {
  std::string out =
      Run("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
          "-of csv=p=0 '" +
          file + "'");
  if (out.empty()) return -1;
  return std::atoi(out.c_str());
}

std::vector<PacketTimes> ProbeVideoPacketTimes(const std::string& file) {
  std::vector<PacketTimes> packets;
  std::istringstream lines(
      Run("ffprobe -v error -select_streams v:0 -show_entries "
          "packet=pts_time,dts_time -of csv=p=0 '" +
          file + "'"));
  const auto time = [](const std::string& text) {
    return text.rfind("N/A", 0) == 0 ? std::nan("") : std::atof(text.c_str());
  };
  std::string line;
  while (std::getline(lines, line)) {
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    packets.push_back({time(line.substr(0, comma)), time(line.substr(comma + 1))});
  }
  return packets;
}

std::vector<double> ProbeVideoTimestamps(const std::string& file) {
  std::vector<double> times;
  for (const PacketTimes& packet : ProbeVideoPacketTimes(file)) times.push_back(packet.pts);
  return times;
}

int ProbeFramesBetween(const std::string& file, double from, double to) {
  const std::vector<double> times = ProbeVideoTimestamps(file);
  if (times.empty()) return -1;
  int count = 0;
  for (double time : times)
    if (time >= from - 1e-6 && time < to - 1e-6) ++count;
  return count;
}

NetDateTime RecordAt(int64_t offset) {
  // kRecordingStart is 2011-05-06 08:30:00; offsets stay within that hour.
  int64_t seconds = 30 * 60 + offset;
  return NetDateTime{2011,
                     5,
                     6,
                     static_cast<int32_t>(8 + seconds / 3600),
                     static_cast<int32_t>(seconds / 60 % 60),
                     static_cast<int32_t>(seconds % 60)};
}

std::string ScratchFolder() {
  std::string pattern = std::filesystem::temp_directory_path() / "qx-net-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return "/tmp";
  return pattern;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pollfd none{-1, 0, 0};
    poll(&none, 0, 10);
  }
  return true;
}

int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
int Threads() { return CountEntries("/proc/self/task"); }

}  // namespace qx::net::test

namespace qx::net::test {

std::string DescribeDescriptors() {
  std::string text;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    text += entry.path().filename().string() + " -> " +
            std::filesystem::read_symlink(entry.path(), error).string() + "\n";
  }
  return text;
}

}  // namespace qx::net::test
