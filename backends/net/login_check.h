// The check behind a login: an authenticated DESCRIBE of the login URL,
// answered within the timeout. RTSP has no login request of its own, and
// many recorders answer OPTIONS without looking at credentials.
#ifndef QXPLAYSDK_BACKENDS_NET_LOGIN_CHECK_H
#define QXPLAYSDK_BACKENDS_NET_LOGIN_CHECK_H

#include <chrono>
#include <string>

namespace qx::net {

enum class LoginVerdict {
  kAccepted,     // 200
  kRefused,      // 401 after the challenge was answered, or another status
  kUnreachable,  // unknown host, refused connection, a bad URL
  kNoAnswer,     // nothing within the timeout
};

LoginVerdict CheckLogin(const std::string& url, const std::string& user,
                        const std::string& password, std::chrono::milliseconds timeout);

const char* VerdictText(LoginVerdict verdict);

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_LOGIN_CHECK_H
