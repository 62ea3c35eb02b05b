// Clips, probes and resource counts for the network library's tests.
#ifndef QXPLAYSDK_TESTS_NET_NET_TEST_SUPPORT_H
#define QXPLAYSDK_TESTS_NET_NET_TEST_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "backends/network.h"

namespace qx::net::test {

inline constexpr const char* kUser = "viewer";
inline constexpr const char* kPassword = "s3cret pass";
// The clips' wall-clock start: 2011-05-06 08:30:00 UTC.
inline constexpr int64_t kRecordingStart = 1304670600;
inline constexpr int kClipSeconds = 8;
inline constexpr int kClipFps = 25;

// An MP4 clip with H.264 video (a key frame every second, no B-frames),
// made once per test run with the ffmpeg program. With `sound` ("aac",
// "pcmu", "pcma"), a MOV clip of the same video with a 1 kHz tone, mono, in
// that codec (AAC at 16 kHz, G.711 at 8 kHz). With `b_frames`, up to two
// B-pictures between the others.
std::string Clip(const std::string& sound = "", bool b_frames = false);
inline constexpr double kToneHz = 1000.0;

// A file's container as ffprobe names it ("mpegts", "matroska,webm").
std::string ProbeContainer(const std::string& file);
struct ProbedSound {
  std::string codec;     // empty: no sound stream
  double seconds = 0.0;  // from the first packet's start to the last one's end
};
ProbedSound ProbeSound(const std::string& file);

// Sound played through SDL's disk driver (the net tests' main sets it up):
// 48 kHz 16-bit stereo in PlayedSoundFile().
std::string PlayedSoundFile();
struct PlayedTone {
  double loud_seconds = 0.0;  // 10 ms windows that are not silence
  double frequency = 0.0;     // from the zero crossings of the loud windows
};
PlayedTone AnalysePlayedSound();

// Frames of a file as ffprobe counts them; -1 when ffprobe cannot read it.
int ProbeFrameCount(const std::string& file);
// Frames that ffprobe decodes from a file; -1 when it cannot read it.
int DecodedFrameCount(const std::string& file);
// Frames of a file whose timestamps lie in [from, to) seconds, as ffprobe
// reports them.
int ProbeFramesBetween(const std::string& file, double from, double to);
// The presentation timestamps (seconds) of a file's video packets in file
// order, as ffprobe reports them; NaN for a packet without one.
std::vector<double> ProbeVideoTimestamps(const std::string& file);
struct PacketTimes {
  double pts = 0.0, dts = 0.0;  // seconds; NaN when the packet has none
};
std::vector<PacketTimes> ProbeVideoPacketTimes(const std::string& file);

// The record of kRecordingStart + `offset` seconds.
NetDateTime RecordAt(int64_t offset);

// A fresh folder for one test's files.
std::string ScratchFolder();

// Waits until `done` holds, checking it again and again, up to `limit`.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

int OpenDescriptors();
// What each open descriptor is, for a failure message.
std::string DescribeDescriptors();
int Threads();

}  // namespace qx::net::test

#endif  // QXPLAYSDK_TESTS_NET_NET_TEST_SUPPORT_H
