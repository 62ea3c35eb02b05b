#include "backends/media/parameter_sets.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace qx::media {

namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};

struct NalUnit {
  size_t begin = 0;  // first byte of its header
  size_t end = 0;    // one past its last byte
  int type = -1;
};

bool IsAnnexB(const AVPacket& packet) {
  const uint8_t* data = packet.data;
  if (data == nullptr || packet.size < 4) return false;
  return (data[0] == 0 && data[1] == 0 && data[2] == 1) ||
         (data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1);
}

int NalType(AVCodecID codec, uint8_t header) {
  return codec == AV_CODEC_ID_H264 ? header & 0x1f : (header >> 1) & 0x3f;
}

// The NAL units between the packet's start codes; the zero bytes before a
// start code (a 4-byte code, trailing zeros) belong to no unit.
std::vector<NalUnit> SplitNalUnits(AVCodecID codec, const uint8_t* data, size_t size) {
  std::vector<size_t> starts;  // first byte after each start code
  for (size_t i = 0; i + 2 < size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      starts.push_back(i + 3);
      i += 2;
    }
  }
  std::vector<NalUnit> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    NalUnit unit;
    unit.begin = starts[k];
    unit.end = k + 1 < starts.size() ? starts[k + 1] - 3 : size;
    while (unit.end > unit.begin && data[unit.end - 1] == 0) --unit.end;
    if (unit.end <= unit.begin) continue;
    unit.type = NalType(codec, data[unit.begin]);
    units.push_back(unit);
  }
  return units;
}

bool IsParameterSet(AVCodecID codec, int type) {
  if (codec == AV_CODEC_ID_H264) return type == 7 || type == 8;  // SPS, PPS
  return type >= 32 && type <= 34;                               // VPS, SPS, PPS
}

bool IsDelimiter(AVCodecID codec, int type) {
  return codec == AV_CODEC_ID_H264 ? type == 9 : type == 35;
}

bool Handled(AVCodecID codec, const AVPacket& packet) {
  return (codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC) && IsAnnexB(packet);
}

}  // namespace

void ParameterSetMemory::Observe(AVCodecID codec, const AVPacket& packet) {
  if (!Handled(codec, packet)) return;
  std::map<int, std::vector<std::vector<uint8_t>>> found;
  for (const NalUnit& unit : SplitNalUnits(codec, packet.data, static_cast<size_t>(packet.size))) {
    if (!IsParameterSet(codec, unit.type)) continue;
    std::vector<uint8_t> set(std::begin(kStartCode), std::end(kStartCode));
    set.insert(set.end(), packet.data + unit.begin, packet.data + unit.end);
    found[unit.type].push_back(std::move(set));
  }
  for (auto& [type, sets] : found) sets_[type] = std::move(sets);
}

PacketPtr ParameterSetMemory::Completed(AVCodecID codec, const AVPacket& key) const {
  if (sets_.empty() || !Handled(codec, key)) return nullptr;
  const std::vector<NalUnit> units = SplitNalUnits(codec, key.data, static_cast<size_t>(key.size));
  std::set<int> carried;
  for (const NalUnit& unit : units) carried.insert(unit.type);
  std::vector<uint8_t> missing;
  for (const auto& [type, sets] : sets_) {
    if (carried.count(type) != 0) continue;
    for (const std::vector<uint8_t>& set : sets)
      missing.insert(missing.end(), set.begin(), set.end());
  }
  if (missing.empty()) return nullptr;
  // After a leading delimiter, which ends where the next start code begins.
  size_t at = 0;
  if (!units.empty() && IsDelimiter(codec, units.front().type)) {
    at = units.size() > 1 ? units[1].begin - 3 : static_cast<size_t>(key.size);
    while (at > units.front().end && key.data[at - 1] == 0) --at;
  }
  PacketPtr completed = MakePacket();
  const size_t size = static_cast<size_t>(key.size) + missing.size();
  if (av_new_packet(completed.get(), static_cast<int>(size)) < 0 ||
      av_packet_copy_props(completed.get(), &key) < 0) {
    return nullptr;
  }
  std::memcpy(completed->data, key.data, at);
  std::memcpy(completed->data + at, missing.data(), missing.size());
  std::memcpy(completed->data + at + missing.size(), key.data + at, key.size - at);
  completed->stream_index = key.stream_index;
  return completed;
}

bool ParameterSetMemory::LeadsWithSets(AVCodecID codec, const uint8_t* data, size_t size) {
  // A picture's own sets come before its slices, within its first bytes.
  constexpr size_t kScanned = 1 << 20;
  const int sps = codec == AV_CODEC_ID_H264 ? 7 : 33;
  const int slices_end = codec == AV_CODEC_ID_H264 ? 6 : 32;  // VCL types below
  for (const NalUnit& unit : SplitNalUnits(codec, data, std::min(size, kScanned))) {
    if (unit.type == sps) return true;
    if (unit.type >= (codec == AV_CODEC_ID_H264 ? 1 : 0) && unit.type < slices_end) return false;
  }
  return false;
}

std::vector<uint8_t> ParameterSetMemory::AnnexB() const {
  std::vector<uint8_t> all;
  for (const auto& [type, sets] : sets_) {
    for (const std::vector<uint8_t>& set : sets) all.insert(all.end(), set.begin(), set.end());
  }
  return all;
}

}  // namespace qx::media
