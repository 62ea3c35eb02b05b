#include "fuzz/call_sequence/step.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace qxfuzz {
namespace {

template <typename T, std::size_t N>
T Pick(const std::array<T, N>& table, unsigned index) {
  return table[index % N];
}

constexpr std::array<int32_t, 16> kEdgePorts = {-1,
                                                0,
                                                32,
                                                33,
                                                97,
                                                98,
                                                99,
                                                100,
                                                std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max(),
                                                41,
                                                64,
                                                1,
                                                2,
                                                65,
                                                -99};

const std::string& LongName() {
  static const std::string name(300, 'n');
  return name;
}

struct TimeText {
  const char* text;
  bool parses;  // after the remote slot has kept at most 31 characters
};

// The last text parses only when kept whole: cut to 31 characters it has no
// space left.
constexpr std::array<TimeText, 8> kTimeTexts = {{
    {"2024-01-02 03-04-05", true},
    {"2024-01-02  03-04-05", false},
    {"", false},
    {"noon", false},
    {" ", true},
    {"2011-5-6 8-30-0", true},
    {"0000000000000000000000000000000000 1", false},
    {nullptr, false},
}};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInfinity = std::numeric_limits<float>::infinity();

const std::array<float, 24> kSpeeds = {1.0F,
                                       2.0F,
                                       16.0F,
                                       0.0625F,
                                       0.5F,
                                       4.0F,
                                       1.5F,
                                       0.2F,
                                       1.0F / 3,
                                       1.0F / 9,
                                       8.0F,
                                       15.99F,
                                       16.5F,
                                       0.06F,
                                       kNaN,
                                       kInfinity,
                                       -kInfinity,
                                       0.0F,
                                       -1.0F,
                                       10.0F,
                                       12.5F,
                                       0.1F,
                                       std::numeric_limits<float>::denorm_min(),
                                       16.000002F};

constexpr std::array<int32_t, 8> kPositions = {
    0,    50, 150, -10, 1, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(),
    33333};

const std::array<float, 16> kPlayerPositions = {
    0.0F,  0.29F,  0.5F, -0.1F,     1.5F,       21474836.0F, 21474838.0F, -21474838.0F,
    1e30F, -1e30F, kNaN, kInfinity, -kInfinity, 0.999999F,   -0.0F,       -21474836.0F};

constexpr std::array<uint32_t, 4> kVolumes = {0, 65535, 65536, 0x12345678};
constexpr std::array<uint32_t, 8> kCaptureLengths = {0, 1, 8, 4095, 4096, 4097, 9000, 12288};

}  // namespace

Step Step::Decode(const uint8_t* bytes, std::size_t available) {
  uint8_t b[kStepBytes] = {};
  for (std::size_t i = 0; i < kStepBytes && i < available; ++i) {
    b[i] = bytes[i];
  }
  return Step{b[0], b[1], b[2], static_cast<uint16_t>(b[3] | (b[4] << 8))};
}

int32_t Step::Port() const {
  if (port_byte < 96) {
    return 33 + port_byte % 3;
  }
  if (port_byte < 128) {
    return 36 + port_byte % 4;
  }
  if (port_byte < 192) {
    return port_byte % 3;
  }
  return Pick(kEdgePorts, port_byte);
}

int32_t Step::Type() const {
  constexpr std::array<int32_t, 8> kTypes = {0, 1, 0, 1, 0, 1, 2, -1};
  return Pick(kTypes, arg >> 1);
}

const char* Step::Name(int shift) const {
  switch ((arg >> shift) % 5) {
    case 0:
      return "a.mp4";
    case 1:
      return "b.3gp";
    case 2:
      return "";
    case 3:
      return LongName().c_str();
    default:
      return nullptr;
  }
}

const char* Step::TimeText(int shift) const { return Pick(kTimeTexts, arg >> shift).text; }
bool Step::TimeTextParses(int shift) const { return Pick(kTimeTexts, arg >> shift).parses; }
float Step::Speed() const { return Pick(kSpeeds, arg); }
int32_t Step::SetPosition() const { return Pick(kPositions, arg); }
float Step::PlayerPosition() const { return Pick(kPlayerPositions, arg >> 1); }
uint32_t Step::Volume() const { return Pick(kVolumes, arg); }
int32_t Step::Login() const { return static_cast<int32_t>(arg) - 2; }
uint32_t Step::CaptureLength() const { return Pick(kCaptureLengths, arg); }

}  // namespace qxfuzz
