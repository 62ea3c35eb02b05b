#include "backends/net/rtsp_url.h"

#include <cstdlib>

namespace qx::net {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

}  // namespace

std::string UrlTemplate(UrlKind kind) {
  const char* variable = nullptr;
  const char* fallback = nullptr;
  switch (kind) {
    case UrlKind::kByName:
      variable = "QXPLAYSDK_NET_URL_BY_NAME";
      fallback = "rtsp://{host}:{port}/{name}";
      break;
    case UrlKind::kByTime:
      variable = "QXPLAYSDK_NET_URL_BY_TIME";
      fallback = "rtsp://{host}:{port}/recording/{channel}";
      break;
    case UrlKind::kLogin:
      variable = "QXPLAYSDK_NET_URL_LOGIN";
      fallback = "rtsp://{host}:{port}/recording/1";
      break;
  }
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string ExpandUrl(std::string_view url_template, const UrlFields& fields) {
  std::string url;
  size_t i = 0;
  while (i < url_template.size()) {
    size_t close = url_template[i] == '{' ? url_template.find('}', i) : std::string_view::npos;
    if (close == std::string_view::npos) {
      url += url_template[i++];
      continue;
    }
    std::string_view field = url_template.substr(i + 1, close - i - 1);
    if (field == "host") {
      url += UrlHost(fields.host);
    } else if (field == "port") {
      url += std::to_string(fields.port);
    } else if (field == "channel") {
      url += std::to_string(fields.channel);
    } else if (field == "name") {
      url += fields.name;
    } else if (field == "start") {
      url += fields.start;
    } else if (field == "end") {
      url += fields.end;
    } else {
      url += url_template.substr(i, close - i + 1);
    }
    i = close + 1;
  }
  return url;
}

std::optional<std::string> EncodeRecordingName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return std::nullopt;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  size_t segment_start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/') {
      std::string_view segment = name.substr(segment_start, i - segment_start);
      if (segment.empty() || segment == "." || segment == "..") return std::nullopt;
      if (i < name.size()) encoded += '/';
      segment_start = i + 1;
      continue;
    }
    auto c = static_cast<unsigned char>(name[i]);
    if (IsUnreserved(c)) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

std::string UrlHost(std::string_view host) {
  if (host.find(':') != std::string_view::npos && host.front() != '[')
    return "[" + std::string(host) + "]";
  return std::string(host);
}

}  // namespace qx::net
