#include "backends/media/picture_rotation.h"

#include <cmath>
#include <cstdint>

#include "core/log.h"

extern "C" {
#include <libavutil/display.h>
}

namespace qx::media {

namespace {

const int32_t* DisplayMatrix(const AVStream& stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 31, 102)
  const AVPacketSideData* side =
      av_packet_side_data_get(stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data,
                              AV_PKT_DATA_DISPLAYMATRIX);
  if (side == nullptr || side->size < 9 * sizeof(int32_t)) return nullptr;
  return reinterpret_cast<const int32_t*>(side->data);
#else
  size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (data == nullptr || size < 9 * sizeof(int32_t)) return nullptr;
  return reinterpret_cast<const int32_t*>(data);
#endif
}

// One plane turned clockwise; `width` and `height` are the source's.
void TurnPlane(const uint8_t* source, int source_stride, int width, int height, int degrees,
               uint8_t* out, int out_stride) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = source + static_cast<ptrdiff_t>(y) * source_stride;
    for (int x = 0; x < width; ++x) {
      int out_x = 0;
      int out_y = 0;
      if (degrees == 90) {
        out_x = height - 1 - y;
        out_y = x;
      } else if (degrees == 180) {
        out_x = width - 1 - x;
        out_y = height - 1 - y;
      } else {  // 270
        out_x = y;
        out_y = width - 1 - x;
      }
      out[static_cast<ptrdiff_t>(out_y) * out_stride + out_x] = row[x];
    }
  }
}

}  // namespace

int UprightTurn(const AVStream& stream, int port) {
  const int32_t* matrix = DisplayMatrix(stream);
  if (matrix == nullptr) return 0;
  const double counter_clockwise = av_display_rotation_get(matrix);
  if (std::isnan(counter_clockwise)) {
    log::Warning("media", port,
                 "the display matrix is not a rotation; pictures are shown as stored");
    return 0;
  }
  // A mirrored matrix has a negative determinant: turning alone would not
  // show it as filmed, so it is left as stored rather than shown wrongly.
  const double determinant =
      static_cast<double>(matrix[0]) * matrix[4] - static_cast<double>(matrix[1]) * matrix[3];
  const long clockwise = std::lround(-counter_clockwise);
  const long turn = ((clockwise % 360) + 360) % 360;
  if (determinant < 0 || turn % 90 != 0) {
    log::Warning("media", port,
                 "the display matrix ({} degrees{}) is not a quarter turn; pictures are shown as "
                 "stored",
                 turn, determinant < 0 ? ", mirrored" : "");
    return 0;
  }
  return static_cast<int>(turn);
}

FramePtr TurnYuv420(const AVFrame& yuv420, int degrees) {
  const bool quarter = degrees == 90 || degrees == 270;
  FramePtr turned = MakeFrame();
  turned->format = AV_PIX_FMT_YUV420P;
  turned->width = quarter ? yuv420.height : yuv420.width;
  turned->height = quarter ? yuv420.width : yuv420.height;
  if (av_frame_get_buffer(turned.get(), 0) < 0) return nullptr;
  if (av_frame_copy_props(turned.get(), &yuv420) < 0) return nullptr;
  const int chroma_width = (yuv420.width + 1) / 2;
  const int chroma_height = (yuv420.height + 1) / 2;
  TurnPlane(yuv420.data[0], yuv420.linesize[0], yuv420.width, yuv420.height, degrees,
            turned->data[0], turned->linesize[0]);
  for (int plane = 1; plane <= 2; ++plane) {
    TurnPlane(yuv420.data[plane], yuv420.linesize[plane], chroma_width, chroma_height, degrees,
              turned->data[plane], turned->linesize[plane]);
  }
  return turned;
}

FramePtr UprightYuv420(PictureConverter& converter, const AVFrame& decoded, int turn) {
  FramePtr picture = converter.ToYuv420(decoded);
  if (picture && turn != 0) picture = TurnYuv420(*picture, turn);
  return picture;
}

}  // namespace qx::media
