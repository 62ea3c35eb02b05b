#include "backends/net/login_check.h"

#include <gst/rtsp/rtsp.h>

#include <memory>

#include "core/log.h"

namespace qx::net {
namespace {

using Clock = std::chrono::steady_clock;

struct ConnectionDeleter {
  void operator()(GstRTSPConnection* connection) const { gst_rtsp_connection_free(connection); }
};
struct UrlDeleter {
  void operator()(GstRTSPUrl* url) const { gst_rtsp_url_free(url); }
};
struct MessageDeleter {
  void operator()(GstRTSPMessage* message) const { gst_rtsp_message_free(message); }
};
using Message = std::unique_ptr<GstRTSPMessage, MessageDeleter>;

gint64 RemainingUsec(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return left.count() > 0 ? left.count() : 1;
}

LoginVerdict Failure(GstRTSPResult result) {
  return result == GST_RTSP_ETIMEOUT ? LoginVerdict::kNoAnswer : LoginVerdict::kUnreachable;
}

// Sends one DESCRIBE and reads its answer into `answer`.
GstRTSPResult Describe(GstRTSPConnection* connection, const std::string& url, int cseq,
                       Clock::time_point deadline, Message* answer) {
  GstRTSPMessage* request = nullptr;
  GstRTSPResult result = gst_rtsp_message_new_request(&request, GST_RTSP_DESCRIBE, url.c_str());
  if (result != GST_RTSP_OK) return result;
  Message owned_request(request);
  gst_rtsp_message_add_header(request, GST_RTSP_HDR_CSEQ, std::to_string(cseq).c_str());
  gst_rtsp_message_add_header(request, GST_RTSP_HDR_ACCEPT, "application/sdp");
  result = gst_rtsp_connection_send_usec(connection, request, RemainingUsec(deadline));
  if (result != GST_RTSP_OK) return result;
  GstRTSPMessage* response = nullptr;
  gst_rtsp_message_new(&response);
  answer->reset(response);
  // Skip anything that is not the response (a recorder may send data or
  // requests of its own first).
  do {
    gst_rtsp_message_unset(response);
    result = gst_rtsp_connection_receive_usec(connection, response, RemainingUsec(deadline));
    if (result != GST_RTSP_OK) return result;
  } while (response->type != GST_RTSP_MESSAGE_RESPONSE);
  return GST_RTSP_OK;
}

// Takes the challenge of a 401 into the connection: Digest when offered,
// Basic otherwise. False when the answer offers neither.
bool AnswerChallenge(GstRTSPConnection* connection, GstRTSPMessage* response,
                     const std::string& user, const std::string& password) {
  GstRTSPAuthCredential** credentials =
      gst_rtsp_message_parse_auth_credentials(response, GST_RTSP_HDR_WWW_AUTHENTICATE);
  if (credentials == nullptr) return false;
  GstRTSPAuthCredential* basic = nullptr;
  GstRTSPAuthCredential* digest = nullptr;
  for (GstRTSPAuthCredential** each = credentials; *each != nullptr; ++each) {
    if ((*each)->scheme == GST_RTSP_AUTH_DIGEST && digest == nullptr) digest = *each;
    if ((*each)->scheme == GST_RTSP_AUTH_BASIC && basic == nullptr) basic = *each;
  }
  bool answered = false;
  if (digest != nullptr) {
    gst_rtsp_connection_clear_auth_params(connection);
    for (GstRTSPAuthParam** param = digest->params; param != nullptr && *param != nullptr; ++param)
      gst_rtsp_connection_set_auth_param(connection, (*param)->name, (*param)->value);
    answered = gst_rtsp_connection_set_auth(connection, GST_RTSP_AUTH_DIGEST, user.c_str(),
                                            password.c_str()) == GST_RTSP_OK;
  } else if (basic != nullptr) {
    answered = gst_rtsp_connection_set_auth(connection, GST_RTSP_AUTH_BASIC, user.c_str(),
                                            password.c_str()) == GST_RTSP_OK;
  }
  gst_rtsp_auth_credentials_free(credentials);
  return answered;
}

}  // namespace

LoginVerdict CheckLogin(const std::string& url, const std::string& user,
                        const std::string& password, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  GstRTSPUrl* parsed = nullptr;
  if (gst_rtsp_url_parse(url.c_str(), &parsed) != GST_RTSP_OK || parsed == nullptr) {
    qx::log::Warning("net", qx::log::kNoPort, "login: \"{}\" is no RTSP URL", url);
    return LoginVerdict::kUnreachable;
  }
  std::unique_ptr<GstRTSPUrl, UrlDeleter> owned_url(parsed);
  GstRTSPConnection* raw = nullptr;
  if (gst_rtsp_connection_create(parsed, &raw) != GST_RTSP_OK) return LoginVerdict::kUnreachable;
  std::unique_ptr<GstRTSPConnection, ConnectionDeleter> connection(raw);

  GstRTSPResult result = gst_rtsp_connection_connect_usec(raw, RemainingUsec(deadline));
  if (result != GST_RTSP_OK) {
    gchar* text = gst_rtsp_strresult(result);
    qx::log::Warning("net", qx::log::kNoPort, "login: cannot connect to {}: {}", url, text);
    g_free(text);
    return Failure(result);
  }
  Message answer;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    result = Describe(raw, url, attempt, deadline, &answer);
    if (result != GST_RTSP_OK) {
      gchar* text = gst_rtsp_strresult(result);
      qx::log::Warning("net", qx::log::kNoPort, "login: no answer from {}: {}", url, text);
      g_free(text);
      return Failure(result);
    }
    GstRTSPStatusCode code = answer->type_data.response.code;
    if (code == GST_RTSP_STS_OK) return LoginVerdict::kAccepted;
    if (code != GST_RTSP_STS_UNAUTHORIZED || attempt == 2 ||
        !AnswerChallenge(raw, answer.get(), user, password)) {
      qx::log::Warning("net", qx::log::kNoPort, "login: {} answers {} {}", url,
                       static_cast<int>(code), gst_rtsp_status_as_text(code));
      return LoginVerdict::kRefused;
    }
  }
  return LoginVerdict::kRefused;
}

const char* VerdictText(LoginVerdict verdict) {
  switch (verdict) {
    case LoginVerdict::kAccepted:
      return "accepted";
    case LoginVerdict::kRefused:
      return "refused";
    case LoginVerdict::kUnreachable:
      return "unreachable";
    case LoginVerdict::kNoAnswer:
      return "no answer";
  }
  return "unknown";
}

}  // namespace qx::net
