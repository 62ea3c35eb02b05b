#include "backends/media/snapshot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

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
      return false;
  }
  if (encoded.empty()) return false;

  const std::string temporary = file_name + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(encoded.data(), static_cast<std::streamsize>(encoded.size()));
    out.flush();
    if (!out) {
      out.close();
      std::remove(temporary.c_str());
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, file_name, error);
  if (error) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace qx::media
