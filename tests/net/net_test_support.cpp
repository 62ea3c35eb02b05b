#include "tests/net/net_test_support.h"

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>

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

std::string Clip() {
  static std::once_flag once;
  static std::string path;
  std::call_once(once, [] {
    std::filesystem::create_directories(QX_NET_CLIP_DIR);
    std::string file = std::string(QX_NET_CLIP_DIR) + "/recording.mp4";
    if (!std::filesystem::exists(file)) {
      std::string temporary = file + ".part.mp4";
      std::ostringstream command;
      command << "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=320x240:rate=" << kClipFps
              << " -t " << kClipSeconds
              << " -c:v libx264 -preset ultrafast -g 25 -keyint_min 25 -sc_threshold 0 -bf 0"
                 " -pix_fmt yuv420p '"
              << temporary << "' && mv '" << temporary << "' '" << file << "'";
      if (std::system(command.str().c_str()) != 0) return;
    }
    path = file;
  });
  return path;
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

int ProbeFramesBetween(const std::string& file, double from, double to) {
  std::string out =
      Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
          "-of csv=p=0 '" +
          file + "'");
  if (out.empty()) return -1;
  int count = 0;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    double time = std::atof(line.c_str());
    if (time >= from - 1e-6 && time < to - 1e-6) ++count;
  }
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
