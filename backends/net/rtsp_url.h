// The RTSP addresses of a recorder's recordings, made from templates.
//
// A template is a URL with fields in braces: {host}, {port}, {channel},
// {name}, {start} and {end}. The defaults are the ONVIF ones:
//   by name  rtsp://{host}:{port}/{name}
//   by time  rtsp://{host}:{port}/recording/{channel}   (span in the Range header)
//   login    rtsp://{host}:{port}/recording/1           (described to check a login)
// A process may set others through QXPLAYSDK_NET_URL_BY_NAME,
// QXPLAYSDK_NET_URL_BY_TIME and QXPLAYSDK_NET_URL_LOGIN, read at each use.
// {start} and {end} expand to UTC instants as 20110506T083000Z.
#ifndef QXPLAYSDK_BACKENDS_NET_RTSP_URL_H
#define QXPLAYSDK_BACKENDS_NET_RTSP_URL_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qx::net {

struct UrlFields {
  std::string host;
  uint16_t port = 0;
  int32_t channel = 0;
  std::string name;  // already encoded by EncodeRecordingName
  std::string start;
  std::string end;
};

enum class UrlKind { kByName, kByTime, kLogin };

// The template in force for `kind`: the environment's or the default.
std::string UrlTemplate(UrlKind kind);

// Replaces each field of `url_template`; an unknown field stays as it is.
std::string ExpandUrl(std::string_view url_template, const UrlFields& fields);

// A recording's name as a path inside the recorder: every byte other than
// letters, digits, "-", "_", ".", "~" and the "/" between segments is
// percent-encoded. Nothing for an empty name, a name that starts or ends
// with "/", and a name with an empty, "." or ".." segment: such a name could
// leave the recordings' path.
std::optional<std::string> EncodeRecordingName(std::string_view name);

// The host as it stands in a URL: an IPv6 address in brackets.
std::string UrlHost(std::string_view host);

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_RTSP_URL_H
