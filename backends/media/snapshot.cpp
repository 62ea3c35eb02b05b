#include "backends/media/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/log.h"

namespace qx::media {

namespace {

std::string LowerExtension(const std::string& file_name) {
  std::string extension = std::filesystem::path(file_name).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// Encodes one picture with an image encoder; empty on failure.
std::string EncodePicture(const AVFrame& picture, AVCodecID codec_id, AVPixelFormat format) {
  const AVCodec* codec = avcodec_find_encoder(codec_id);
  if (codec == nullptr) return {};
  CodecContextPtr context(avcodec_alloc_context3(codec));
  if (!context) return {};
  context->width = picture.width;
  context->height = picture.height;
  context->pix_fmt = format;
  context->time_base = AVRational{1, 25};
  if (codec_id == AV_CODEC_ID_MJPEG) {
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * 2;
    context->color_range = AVCOL_RANGE_JPEG;
  }
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};

  FramePtr converted = MakeFrame();
  converted->format = format;
  converted->width = picture.width;
  converted->height = picture.height;
  if (av_frame_get_buffer(converted.get(), 0) < 0) return {};
  ScaleContextPtr scaler(sws_getContext(
      picture.width, picture.height, static_cast<AVPixelFormat>(picture.format), picture.width,
      picture.height, format, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
  if (!scaler) return {};
  sws_scale(scaler.get(), picture.data, picture.linesize, 0, picture.height, converted->data,
            converted->linesize);
  converted->quality = context->global_quality;
  converted->pts = 0;

  if (avcodec_send_frame(context.get(), converted.get()) < 0) return {};
  avcodec_send_frame(context.get(), nullptr);
  std::string encoded;
  PacketPtr packet = MakePacket();
  while (avcodec_receive_packet(context.get(), packet.get()) >= 0) {
    encoded.append(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
    av_packet_unref(packet.get());
  }
  return encoded;
}

// Creates a new, empty file in the folder of `file_name` under a name of its
// own: short (".qxsnap-" and 18 characters at most, so any name the folder
// holds leaves room for it) and unique, so that two snapshots written at
// once, by two ports or two processes, never share one. Answers the open
// descriptor, -1 with errno when none can be made.
int CreateTemporaryBeside(const std::string& file_name, std::string& temporary) {
  static std::atomic<uint32_t> counter{0};
  const std::filesystem::path folder = std::filesystem::path(file_name).parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name =
        fmt::format(".qxsnap-{:x}-{:x}", static_cast<uint32_t>(::getpid()), counter++);
    temporary = (folder / name).string();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

SnapshotFormat SnapshotFormatOf(const std::string& file_name) {
  const std::string extension = LowerExtension(file_name);
  if (extension == ".bmp") return SnapshotFormat::kBmp;
  if (extension == ".jpg" || extension == ".jpeg") return SnapshotFormat::kJpeg;
  return SnapshotFormat::kUnknown;
}

bool WriteSnapshot(const AVFrame& picture, const std::string& file_name) {
  std::string encoded;
  switch (SnapshotFormatOf(file_name)) {
    case SnapshotFormat::kBmp:
      encoded = EncodePicture(picture, AV_CODEC_ID_BMP, AV_PIX_FMT_BGR24);
      break;
    case SnapshotFormat::kJpeg:
      encoded = EncodePicture(picture, AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P);
      break;
    case SnapshotFormat::kUnknown:
      log::Warning("media", log::kNoPort,
                   "snapshot \"{}\": the name ends neither in .bmp nor in .jpg/.jpeg", file_name);
      return false;
  }
  if (encoded.empty()) {
    log::Warning("media", log::kNoPort, "snapshot \"{}\": the picture cannot be encoded",
                 file_name);
    return false;
  }

  std::string temporary;
  const int fd = CreateTemporaryBeside(file_name, temporary);
  if (fd < 0) {
    log::Warning("media", log::kNoPort, "cannot write a snapshot beside \"{}\": {}", file_name,
                 std::error_code(errno, std::generic_category()).message());
    return false;
  }
  const bool written = WriteAll(fd, encoded);
  const int write_error = errno;
  if (::close(fd) != 0 || !written) {
    log::Warning("media", log::kNoPort, "cannot write the snapshot \"{}\": {}", file_name,
                 std::error_code(written ? errno : write_error, std::generic_category()).message());
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), file_name.c_str()) != 0) {
    log::Warning("media", log::kNoPort, "cannot name the snapshot \"{}\": {}", file_name,
                 std::error_code(errno, std::generic_category()).message());
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace qx::media
