#include "tests/media/media_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "backends/media/ffmpeg.h"

namespace qxmedia_test {

namespace {

struct WorkFolder {
  std::string path;
  WorkFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qxmedia-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~WorkFolder() {
    if (std::getenv("QX_KEEP_TEST_FILES") != nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

const char* kQuiet = "ffmpeg -nostdin -hide_banner -loglevel error -y ";
const char* kSource = "-f lavfi -i testsrc2=size=160x120:rate=25 ";
const char* kFifty = "-frames:v 50 ";
const char* kTone = "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 ";
const char* kH264 = "-c:v libx264 -preset veryfast -g 12 -bf 2 -pix_fmt yuv420p ";

std::string ClipCommand(const std::string& name, const std::string& path) {
  const std::string out = " '" + path + "'";
  if (name == "mp4" || name == "mkv") return kQuiet + std::string(kSource) + kFifty + kH264 + out;
  if (name == "ts") {
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 + "-c:a aac -b:a 64k -f mpegts" +
           out;
  }
  if (name == "cut") {
    // Cut out of a longer MP4 without re-encoding, as users cut recordings:
    // its first 20 pictures are decoded only to reach the cut (an edit
    // list), and 50 are shown.
    const std::string whole = " '" + path + ".whole.mp4'";
    return kQuiet + std::string(kSource) +
           "-frames:v 70 -c:v libx264 -preset veryfast -g 50 -bf 2 -pix_fmt yuv420p -f mp4" +
           whole + " && " + kQuiet + "-ss 0.8 -i" + whole + " -c copy -f mp4" + out + " && rm" +
           whole;
  }
  if (name == "cut-ts" || name == "cut-mpeg2" || name == "cut-h265") {
    // A recording cut out of a stream in the middle of a group of pictures:
    // its first pictures refer to pictures it does not hold. x265's groups
    // are open: the leading pictures of its first key frame refer to the
    // group before, and decoders skip them.
    const std::string whole = "'" + path + ".whole.ts'";
    const std::string video = name == "cut-ts" ? kH264
                              : name == "cut-h265"
                                  ? "-c:v libx265 -preset ultrafast -x265-params "
                                    "log-level=error:keyint=12:open-gop=1 -pix_fmt yuv420p "
                                  : "-c:v mpeg2video -g 12 -bf 2 -sc_threshold 1000000000 ";
    return kQuiet + std::string(kSource) + "-frames:v 100 " + video + "-f mpegts " + whole +
           " && dd status=none bs=188 if=" + whole + " of=" + out.substr(1) +
           " skip=$(( $(stat -c %s " + whole + ") / 188 / 4 )) && rm " + whole;
  }
  if (name == "cut-h264") {
    // The same cut out of a raw H.264 stream, whose pictures carry no times.
    const std::string whole = "'" + path + ".whole.h264'";
    return kQuiet + std::string(kSource) + "-frames:v 100 " + kH264 + "-f h264 " + whole +
           " && tail -c +$(( $(stat -c %s " + whole + ") / 4 )) " + whole + " >" + out + " && rm " +
           whole;
  }
  if (name == "clock-back") {
    // A recorder whose clock was set back 6 s while it recorded: the second
    // part's times lie among the first part's (its pictures differ).
    const std::string first = "'" + path + ".1.ts'";
    const std::string second = "'" + path + ".2.ts'";
    return kQuiet + std::string(kSource) + "-frames:v 100 " + kH264 +
           "-output_ts_offset 10 -f mpegts " + first + " && " + kQuiet +
           "-f lavfi -i testsrc2=size=160x120:rate=25,negate -frames:v 100 " + kH264 +
           "-output_ts_offset 8 -f mpegts " + second + " && cat " + first + " " + second + " >" +
           out + " && rm " + first + " " + second;
  }
  if (name == "two-sounds") {
    // A recorder's two microphones.
    return kQuiet + std::string(kSource) +
           "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2 "
           "-f lavfi -i sine=frequency=600:sample_rate=48000:duration=2 -map 0 -map 1 -map 2 " +
           kFifty + kH264 + "-c:a aac -b:a 64k -f mpegts" + out;
  }
  if (name == "long") {
    return kQuiet + std::string(kSource) + "-frames:v 250 " + kH264 + "-f mpegts" + out;
  }
  if (name == "streamed") {
    // An MP4 as it is streamed: its index first, with sound.
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 +
           "-c:a aac -b:a 64k -movflags +faststart -f mp4" + out;
  }
  if (name == "mulaw") {
    // Streamed with the sound recorders send, which MPEG-TS cannot carry.
    return kQuiet + std::string(kSource) +
           "-f lavfi -i sine=frequency=1000:sample_rate=8000:duration=2 " + kFifty + kH264 +
           "-c:a pcm_mulaw -movflags +faststart -f mov" + out;
  }
  if (name == "fragmented") {
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 +
           "-c:a aac -b:a 64k -movflags +frag_keyframe+empty_moov -f mp4" + out;
  }
  if (name == "ps-lpcm") {
    // A recorder's MPEG-PS with uncompressed sound (DVD LPCM), which MPEG-TS
    // cannot carry; every picture large enough to begin a PES packet of its
    // own, with its time.
    return kQuiet + std::string(kSource) + kTone + kFifty +
           "-c:v libx264 -preset veryfast -g 12 -bf 2 -crf 1 -pix_fmt yuv420p -c:a pcm_s16be "
           "-f vob" +
           out;
  }
  if (name == "ps-h264") {
    // H.264 in MPEG-PS with pictures smaller than a PES packet: a picture
    // that begins inside another's packet has no time of its own, key
    // pictures included.
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 + "-c:a mp2 -f vob" + out;
  }
  if (name == "flv") {
    // FLV carries its codec setup once, in tags of its own at the start.
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 + "-c:a aac -b:a 64k -f flv" +
           out;
  }
  if (name == "ps-few-packs") {
    // As GStreamer's muxer writes MPEG-PS: a pack header at the start and
    // few after it, so a reader joining the stream needs much of it before
    // its guess of the format is sure.
    const std::string whole = "'" + path + ".whole.mpg'";
    return kQuiet + std::string(kSource) + kTone + kFifty + kH264 + "-c:a mp2 -f vob " + whole +
           " && python3 -c \"import re,sys,itertools;c=itertools.count();"
           "d=open(sys.argv[1],'rb').read();"
           "o=re.sub(rb'\\x00\\x00\\x01\\xba.{10}',"
           "lambda m:m.group(0) if next(c)==0 else b'',d,flags=re.S);"
           "open(sys.argv[2],'wb').write(o)\" " +
           whole + out + " && rm " + whole;
  }
  if (name == "ps")
    return kQuiet + std::string(kSource) + kFifty +
           "-c:v mpeg2video -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000 -f vob" + out;
  if (name == "h264") return kQuiet + std::string(kSource) + kFifty + kH264 + "-f h264" + out;
  if (name == "h265") {
    return kQuiet + std::string(kSource) + kFifty +
           "-c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=12 "
           "-pix_fmt yuv420p -f hevc" +
           out;
  }
  if (name == "mkv-h265") {
    // Matroska gives presentation times only; FFmpeg's H.265 parser does
    // not tell its reader the reorder delay.
    return kQuiet + std::string(kSource) + kFifty +
           "-c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=12:open-gop=0 "
           "-pix_fmt yuv420p -f matroska" +
           out;
  }
  if (name == "h265-sets-once") {
    // Raw H.265 whose parameter sets come once, before the first picture,
    // as x265 sends them by default (groups closed, so that a file begun at
    // any key frame holds every picture).
    const std::string whole = "'" + path + ".whole.h265'";
    const std::string sets = "'" + path + ".sets.h265'";
    const std::string body = "'" + path + ".body.h265'";
    return kQuiet + std::string(kSource) + kFifty +
           "-c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=12:open-gop=0 "
           "-pix_fmt yuv420p -f hevc " +
           whole + " && " + kQuiet + "-i " + whole +
           " -c copy -bsf:v filter_units=pass_types=32-34 -frames:v 1 -f hevc " + sets + " && " +
           kQuiet + "-i " + whole + " -c copy -bsf:v filter_units=remove_types=32-34 -f hevc " +
           body + " && cat " + sets + " " + body + " >" + out + " && rm " + whole + " " + sets +
           " " + body;
  }
  if (name == "avi") {
    return kQuiet + std::string(kSource) + kFifty + "-c:v mpeg4 -bf 2 -g 12 -f avi" + out;
  }
  if (name == "3gp") {
    return kQuiet + std::string(kSource) +
           "-f lavfi -i sine=frequency=500:sample_rate=16000:duration=2 " + kFifty +
           "-c:v libx264 -profile:v baseline -g 12 -pix_fmt yuv420p -c:a aac -b:a 32k "
           "-ar 16000 -ac 1 -movflags +faststart -f 3gp" +
           out;
  }
  if (name == "red") {
    return kQuiet + std::string("-f lavfi -i color=c=red:size=320x240:rate=25 -frames:v 75 ") +
           kH264 + "-f mpegts" + out;
  }
  ADD_FAILURE() << "unknown clip " << name;
  return "false";
}

std::string Extension(const std::string& name) {
  if (name == "long" || name == "red" || name == "cut-ts" || name == "cut-mpeg2" ||
      name == "cut-h265" || name == "two-sounds" || name == "clock-back") {
    return "ts";
  }
  if (name == "streamed" || name == "fragmented" || name == "cut") return "mp4";
  if (name == "mulaw") return "mov";
  if (name == "ps" || name == "ps-lpcm" || name == "ps-h264" || name == "ps-few-packs") {
    return "mpg";
  }
  if (name == "cut-h264") return "h264";
  if (name == "h265-sets-once") return "h265";
  if (name == "mkv-h265") return "mkv";
  return name;
}

}  // namespace

const std::string& WorkDir() {
  static WorkFolder folder;
  return folder.path;
}

std::string TempPath(const std::string& name) { return WorkDir() + "/" + name; }

namespace {

bool TryRun(const std::string& command, std::string& output) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char chunk[4096];
  size_t got = 0;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char* kCountFrames =
    "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
    "-of csv=p=0 '";

// The first line with text.
std::string FirstLine(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == ',' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) return line;
  }
  return {};
}

}  // namespace

std::string RunCommand(const std::string& command) {
  std::string output;
  EXPECT_TRUE(TryRun(command, output)) << "failed: " << command;
  return output;
}

int ProbeFrameCountIfReadable(const std::string& path) {
  std::string output;
  if (!TryRun(std::string(kCountFrames) + path + "' 2>/dev/null", output)) return 0;
  const std::string count = FirstLine(output);
  return count.empty() || count == "N/A" ? 0 : std::stoi(count);
}

std::string Clip(const std::string& name) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> guard(mutex);
  // Clips are kept in the build folder and shared by the test processes; a
  // clip is made under a name of this process's and renamed when complete.
  // The name holds a hash of the command, so a changed command makes a new
  // clip rather than reusing the old one.
  const std::string folder = QX_TEST_CLIP_DIR;
  std::filesystem::create_directories(folder);
  const size_t command_hash = std::hash<std::string>{}(ClipCommand(name, ""));
  const std::string path = folder + "/" + name + "-" + std::to_string(command_hash % 1000000007U) +
                           "." + Extension(name);
  if (!std::filesystem::exists(path)) {
    const std::string part =
        folder + "/part-" + std::to_string(getpid()) + "-" + name + "." + Extension(name);
    RunCommand(ClipCommand(name, part));
    std::filesystem::rename(part, path);
  }
  return path;
}

std::vector<ProbedFrame> ProbeFrames(const std::string& path) {
  const std::string output = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "frame=best_effort_timestamp_time,key_frame -of csv=p=0 '" +
      path + "'");
  std::vector<ProbedFrame> frames;
  std::istringstream lines(output);
  std::string line;
  double first = NAN;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    // "key_frame,best_effort_timestamp_time"
    const size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    ProbedFrame frame;
    frame.key = line.substr(0, comma) == "1";
    // A frame with side data (an H.264/H.265 SEI) has more fields after it.
    std::string time = line.substr(comma + 1);
    time = time.substr(0, time.find(','));
    const double seconds = time == "N/A" ? NAN : std::stod(time);
    if (std::isnan(first)) first = seconds;
    frame.pts_ms = std::isnan(seconds) ? -1 : std::llround((seconds - first) * 1000.0);
    frames.push_back(frame);
  }
  return frames;
}

int ProbeFrameCount(const std::string& path) {
  const std::string count = FirstLine(RunCommand(std::string(kCountFrames) + path + "'"));
  return count.empty() ? -1 : std::stoi(count);
}

std::string ProbeVideoEntry(const std::string& path, const std::string& entry) {
  return FirstLine(RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=" + entry +
                              " -of csv=p=0 '" + path + "'"));
}

double ProbeDuration(const std::string& path) {
  const std::string output =
      RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
  if (output.empty() || output.rfind("N/A", 0) == 0) return -1.0;
  return std::stod(output);
}

RgbPicture ReferenceFrame(const std::string& clip, int n) {
  const std::string out = TempPath("reference-" + std::to_string(n) + ".bmp");
  RunCommand(std::string(kQuiet) + "-i '" + clip + "' -vf 'select=eq(n\\," + std::to_string(n) +
             ")' -frames:v 1 '" + out + "'");
  return DecodeImage(out);
}

RgbPicture DecodeImage(const std::string& path) {
  using namespace qx::media;
  RgbPicture picture;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return picture;
  InputContextPtr context(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0 || raw->nb_streams == 0) return picture;
  const AVCodec* codec = avcodec_find_decoder(raw->streams[0]->codecpar->codec_id);
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), raw->streams[0]->codecpar);
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return picture;
  PacketPtr packet = MakePacket();
  FramePtr frame = MakeFrame();
  bool got = false;
  while (!got && av_read_frame(raw, packet.get()) >= 0) {
    avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    got = avcodec_receive_frame(decoder.get(), frame.get()) == 0;
  }
  if (!got) {
    avcodec_send_packet(decoder.get(), nullptr);
    got = avcodec_receive_frame(decoder.get(), frame.get()) == 0;
  }
  if (!got) return picture;
  picture.width = frame->width;
  picture.height = frame->height;
  picture.pixels.resize(static_cast<size_t>(frame->width) * frame->height * 3);
  ScaleContextPtr scaler(sws_getContext(
      frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
      frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
  uint8_t* planes[1] = {picture.pixels.data()};
  int strides[1] = {frame->width * 3};
  sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
  return picture;
}

double Psnr(const RgbPicture& a, const RgbPicture& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 0.0;
  double total = 0.0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const double difference = a.pixels[i] - b.pixels[i];
    total += difference * difference;
  }
  const double mse = total / static_cast<double>(a.pixels.size());
  return mse == 0.0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

double ToneShare(const std::vector<int16_t>& samples, double rate, double frequency) {
  if (samples.empty()) return 0.0;
  const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / rate);
  double previous = 0.0;
  double before = 0.0;
  double energy = 0.0;
  for (int16_t sample : samples) {
    const double current = sample + coefficient * previous - before;
    before = previous;
    previous = current;
    energy += static_cast<double>(sample) * sample;
  }
  const double power = previous * previous + before * before - coefficient * previous * before;
  if (energy <= 0.0) return 0.0;
  return 2.0 * power / (static_cast<double>(samples.size()) * energy);
}

}  // namespace qxmedia_test
