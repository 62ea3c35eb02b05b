#include "bench/media/bench_clips.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace qx_bench {

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

std::string Clip(const std::string& name, const std::string& arguments) {
  const std::string path = MediaPath(name);
  if (!std::filesystem::exists(path)) {
    Shell("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " '" + path +
          ".tmp' && mv '" + path + ".tmp' '" + path + "'");
  }
  return path;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

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

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

}  // namespace qx_bench
