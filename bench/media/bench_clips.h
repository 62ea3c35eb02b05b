// Sample media for the media benchmarks, made with the ffmpeg tool on first
// use and kept in the build folder, and the small shell and file helpers
// the benchmarks share.
#ifndef QXPLAYSDK_BENCH_MEDIA_BENCH_CLIPS_H
#define QXPLAYSDK_BENCH_MEDIA_BENCH_CLIPS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx_bench {

// A path in the benchmarks' media folder (made if missing).
std::string MediaPath(const std::string& name);
// Runs a shell command; its standard output.
std::string Shell(const std::string& command);
// Makes a clip with the ffmpeg tool unless it is there already.
std::string Clip(const std::string& name, const std::string& arguments);
std::vector<uint8_t> ReadBytes(const std::string& path);
// This process's resident memory (VmRSS).
long ResidentKiB();
// Byte offsets where the first video packets of an MPEG-TS clip start.
std::vector<size_t> VideoPacketOffsets(const std::string& clip, int count);

}  // namespace qx_bench

#endif  // QXPLAYSDK_BENCH_MEDIA_BENCH_CLIPS_H
