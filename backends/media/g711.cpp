#include "backends/media/g711.h"

namespace qx::media {

namespace {

constexpr int kBias = 0x84;
constexpr int kClip = 32635;

}  // namespace

uint8_t MuLawEncode(int16_t sample) {
  int value = sample;
  int sign = 0;
  if (value < 0) {
    value = -value;
    sign = 0x80;
  }
  if (value > kClip) value = kClip;
  value += kBias;
  // The segment is the position of the highest set bit above bit 7.
  int exponent = 7;
  for (int mask = 0x4000; (value & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  int mantissa = (value >> (exponent + 3)) & 0x0F;
  return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

int16_t MuLawDecode(uint8_t code) {
  int value = static_cast<uint8_t>(~code);
  int sign = value & 0x80;
  int exponent = (value >> 4) & 0x07;
  int mantissa = value & 0x0F;
  int magnitude = (((mantissa << 3) + kBias) << exponent) - kBias;
  return static_cast<int16_t>(sign != 0 ? -magnitude : magnitude);
}

}  // namespace qx::media
