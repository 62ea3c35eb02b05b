#include "backends/media/mp4_sample_table.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qx::media {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct Box {
  std::array<char, 4> type{};
  int64_t body = 0;  // where its children or fields begin
  int64_t end = 0;
};

uint64_t BigEndian(const unsigned char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// The box at `at`, which must end by `limit`.
std::optional<Box> ReadBox(std::FILE* file, int64_t at, int64_t limit) {
  unsigned char header[16];
  if (at + 8 > limit || fseeko(file, at, SEEK_SET) != 0 || std::fread(header, 1, 8, file) != 8) {
    return std::nullopt;
  }
  Box box;
  std::memcpy(box.type.data(), header + 4, 4);
  uint64_t size = BigEndian(header, 4);
  box.body = at + 8;
  if (size == 1) {
    if (std::fread(header + 8, 1, 8, file) != 8) return std::nullopt;
    size = BigEndian(header + 8, 8);
    box.body = at + 16;
  } else if (size == 0) {
    size = static_cast<uint64_t>(limit - at);  // to the end of its parent
  }
  if (size < static_cast<uint64_t>(box.body - at) || size > static_cast<uint64_t>(limit - at)) {
    return std::nullopt;
  }
  box.end = at + static_cast<int64_t>(size);
  return box;
}

bool Is(const Box& box, const char* type) { return std::memcmp(box.type.data(), type, 4) == 0; }

// Whether `parent` has a child of `type` (the first one goes to `found`);
// nullopt when its children cannot be read.
std::optional<bool> FindChild(std::FILE* file, const Box& parent, const char* type,
                              Box* found = nullptr) {
  for (int64_t at = parent.body; at < parent.end;) {
    const std::optional<Box> child = ReadBox(file, at, parent.end);
    if (!child) return std::nullopt;
    if (Is(*child, type)) {
      if (found != nullptr) *found = *child;
      return true;
    }
    at = child->end;
  }
  return false;
}

std::optional<Box> Child(std::FILE* file, const Box& parent, const char* type) {
  Box child;
  if (FindChild(file, parent, type, &child) != std::optional<bool>(true)) return std::nullopt;
  return child;
}

std::optional<uint32_t> TrackId(std::FILE* file, const Box& track) {
  const std::optional<Box> header = Child(file, track, "tkhd");
  unsigned char fields[24];
  if (!header || fseeko(file, header->body, SEEK_SET) != 0 ||
      std::fread(fields, 1, sizeof fields, file) != sizeof fields) {
    return std::nullopt;
  }
  // Version 1 keeps its times in 64 bits.
  const size_t id_at = fields[0] == 1 ? 20 : 12;
  return static_cast<uint32_t>(BigEndian(fields + id_at, 4));
}

// The runs of a ctts box: version and flags, the number of runs, then each
// run's sample count and offset. Offsets are read as signed whatever the
// version, as FFmpeg reads them.
std::optional<std::vector<CompositionRun>> ReadCompositionRuns(std::FILE* file, const Box& box) {
  unsigned char header[8];
  if (box.end - box.body < 8 || fseeko(file, box.body, SEEK_SET) != 0 ||
      std::fread(header, 1, 8, file) != 8) {
    return std::nullopt;
  }
  // The runs must lie within the box: a count no box holds is refused
  // before anything is allocated for it.
  const uint64_t count = BigEndian(header + 4, 4);
  if (count > static_cast<uint64_t>(box.end - box.body - 8) / 8) return std::nullopt;
  std::vector<CompositionRun> runs(count);
  for (CompositionRun& run : runs) {
    unsigned char fields[8];
    if (std::fread(fields, 1, 8, file) != 8) return std::nullopt;
    run.count = static_cast<uint32_t>(BigEndian(fields, 4));
    run.offset = static_cast<int32_t>(static_cast<uint32_t>(BigEndian(fields + 4, 4)));
  }
  return runs;
}

}  // namespace

std::optional<std::vector<CompositionRun>> TrackCompositionOffsets(const std::string& path,
                                                                   uint32_t track_id) {
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file || fseeko(file.get(), 0, SEEK_END) != 0) return std::nullopt;
  const int64_t length = ftello(file.get());
  std::optional<Box> movie;
  for (int64_t at = 0; at < length && !movie;) {
    const std::optional<Box> box = ReadBox(file.get(), at, length);
    if (!box) return std::nullopt;
    if (Is(*box, "moof")) return std::nullopt;
    if (Is(*box, "moov")) movie = box;
    at = box->end;
  }
  if (!movie || FindChild(file.get(), *movie, "mvex") != std::optional<bool>(false)) {
    return std::nullopt;
  }
  for (int64_t at = movie->body; at < movie->end;) {
    const std::optional<Box> track = ReadBox(file.get(), at, movie->end);
    if (!track) return std::nullopt;
    at = track->end;
    if (!Is(*track, "trak") || TrackId(file.get(), *track) != track_id) continue;
    std::optional<Box> table = Child(file.get(), *track, "mdia");
    if (table) table = Child(file.get(), *table, "minf");
    if (table) table = Child(file.get(), *table, "stbl");
    if (!table) return std::nullopt;
    Box offsets;
    const std::optional<bool> found = FindChild(file.get(), *table, "ctts", &offsets);
    if (!found) return std::nullopt;
    if (!*found) return std::vector<CompositionRun>{};
    return ReadCompositionRuns(file.get(), offsets);
  }
  return std::nullopt;
}

}  // namespace qx::media
