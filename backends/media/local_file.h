// Every name the engine is given for reading or writing media is a local
// file's path. FFmpeg takes names as URLs: "tcp://host:port" would connect
// to the network and "cam1:0930.mp4" would name a protocol "cam1". So each
// path goes to FFmpeg behind the file protocol's own prefix, with the file
// protocol as the only one allowed (also for files a container refers to).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_LOCAL_FILE_H
#define QXPLAYSDK_BACKENDS_MEDIA_LOCAL_FILE_H

#include <string>

#include "backends/media/ffmpeg.h"

namespace qx::media {

// The URL under which FFmpeg's file protocol opens `path` as it stands.
inline std::string LocalFileUrl(const std::string& path) { return "file:" + path; }

// Options for avformat_open_input / avio_open2 that allow no protocol but
// the file protocol. The caller frees them with av_dict_free.
inline AVDictionary* LocalFileOnlyOptions() {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  return options;
}

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_LOCAL_FILE_H
