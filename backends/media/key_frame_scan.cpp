#include "backends/media/key_frame_scan.h"

namespace qx::media {

namespace {

// An IDR slice, or a recovery point (an SEI whose first message is one),
// from which the pictures are whole again.
bool KeyUnitH264(const uint8_t* unit, size_t left) {
  const int type = unit[0] & 0x1F;
  return type == 5 || (type == 6 && left >= 2 && unit[1] == 6);
}

bool KeyUnitHevc(const uint8_t* unit, size_t /*left*/) {
  const int type = (unit[0] >> 1) & 0x3F;
  return type >= 16 && type <= 21;  // BLA, IDR, CRA
}

bool KeyUnitMpeg2(const uint8_t* unit, size_t left) {
  if (unit[0] == 0xB3) return true;  // sequence header
  // Picture header: temporal reference (10 bits), then the coding type.
  return unit[0] == 0x00 && left >= 3 && ((unit[2] >> 3) & 0x07) == 1;
}

bool KeyUnitMpeg4(const uint8_t* unit, size_t left) {
  if (unit[0] >= 0x20 && unit[0] <= 0x2F) return true;         // video object layer
  return unit[0] == 0xB6 && left >= 2 && (unit[1] >> 6) == 0;  // I-VOP
}

}  // namespace

bool HoldsKeyFrame(AVCodecID codec, const uint8_t* data, size_t size) {
  bool (*is_key)(const uint8_t*, size_t) = nullptr;
  switch (codec) {
    case AV_CODEC_ID_H264:
      is_key = &KeyUnitH264;
      break;
    case AV_CODEC_ID_HEVC:
      is_key = &KeyUnitHevc;
      break;
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MPEG1VIDEO:
      is_key = &KeyUnitMpeg2;
      break;
    case AV_CODEC_ID_MPEG4:
      is_key = &KeyUnitMpeg4;
      break;
    default:
      return false;
  }
  // Each start code 00 00 01 introduces a unit; its first bytes decide.
  for (size_t at = 0; at + 3 < size; ++at) {
    if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1 &&
        is_key(data + at + 3, size - at - 3)) {
      return true;
    }
  }
  return false;
}

}  // namespace qx::media
