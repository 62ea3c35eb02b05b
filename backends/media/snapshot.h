// Snapshots: a picture written to a BMP or JPEG file, chosen by the file
// name's extension (.bmp; .jpg or .jpeg), case-insensitive.
//
// The file appears whole or not at all: the picture is written under a
// temporary name in the same folder and renamed when complete. The
// temporary name is short (".qxsnap-" and at most 18 more characters, so
// any legal name can be written) and unique to the call, so two snapshots to
// the same name at once each leave a whole picture and the last one wins.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_SNAPSHOT_H
#define QXPLAYSDK_BACKENDS_MEDIA_SNAPSHOT_H

#include <string>

#include "backends/media/ffmpeg.h"

namespace qx::media {

enum class SnapshotFormat { kUnknown, kBmp, kJpeg };

SnapshotFormat SnapshotFormatOf(const std::string& file_name);

// Writes `picture` (any pixel format) to `file_name`. False when the name has
// no known extension or the file cannot be written; no file is left then.
bool WriteSnapshot(const AVFrame& picture, const std::string& file_name);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_SNAPSHOT_H
