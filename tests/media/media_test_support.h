// Real media for the engine's tests: clips made with FFmpeg's encoders (the
// ffmpeg tool), facts about them read back with ffprobe, pictures decoded
// for comparison, and small waiting helpers.
#ifndef QXPLAYSDK_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H
#define QXPLAYSDK_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qxmedia_test {

// The folder of this test process's files (made once, removed at exit).
const std::string& WorkDir();
// A path in WorkDir.
std::string TempPath(const std::string& name);

// Runs a shell command; its standard output. Fails the test when the
// command exits nonzero.
std::string RunCommand(const std::string& command);

// Sample clips, made on first use (and kept for the process):
//   "mp4"    H.264 with B-frames in MP4, 160x120, 25 fps, 50 frames, key every 12
//   "mkv"    the same in Matroska
//   "ts"     the same in MPEG-TS, with AAC audio
//   "ps"     MPEG-2 video in MPEG-PS
//   "h264"   raw H.264 elementary stream (B-frames)
//   "h265"   raw H.265 elementary stream (B-frames, open groups of pictures)
//   "avi"    MPEG-4 Part 2 with B-frames in AVI (decode times only)
//   "3gp"    H.264 baseline + AAC in 3GP, index first (a streamable 3GPP stream)
//   "red"    MPEG-TS of a solid red picture, 320x240, 25 fps, 3 s
//   "long"   MPEG-TS like "ts" but 10 s
std::string Clip(const std::string& name);

struct ProbedFrame {
  int64_t pts_ms = 0;  // from the first frame
  bool key = false;
};
// The decoded video frames of a file, in presentation order.
std::vector<ProbedFrame> ProbeFrames(const std::string& path);
// The number of decoded video frames.
int ProbeFrameCount(const std::string& path);
// The same, 0 while the file cannot be read yet (no failure).
int ProbeFrameCountIfReadable(const std::string& path);
// A stream entry of ffprobe (e.g. "codec_name", "width") for the first video stream.
std::string ProbeVideoEntry(const std::string& path, const std::string& entry);
// The container's duration in seconds, -1 when unknown.
double ProbeDuration(const std::string& path);

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // RGB24, rows without padding
};
// Frame `n` (presentation order) of a clip, decoded by the ffmpeg tool.
RgbPicture ReferenceFrame(const std::string& clip, int n);
// An image file (BMP, JPEG) decoded.
RgbPicture DecodeImage(const std::string& path);
// Peak signal-to-noise ratio in dB (higher is closer; 0 when sizes differ).
double Psnr(const RgbPicture& a, const RgbPicture& b);

std::vector<uint8_t> ReadBytes(const std::string& path);

// Polls `condition` until it holds or `limit` passes.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(10));

// Strength of a frequency in 16-bit samples (Goertzel), relative to the
// signal's energy: near 1 for a pure tone of that frequency.
double ToneShare(const std::vector<int16_t>& samples, double rate, double frequency);

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_MEDIA_TEST_SUPPORT_H
