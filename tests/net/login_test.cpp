// Logins against the test recorder, through the library's exports.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "include/qxplaysdk.h"
#include "tests/net/net_test_support.h"
#include "tests/net/recorder_process.h"

namespace qx::net::test {
namespace {

// A loopback TCP socket; `listening` makes it accept connections (into the
// backlog) that nobody ever answers. Closed with the object.
struct LoopbackSocket {
  explicit LoopbackSocket(bool listening) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    if (listening) listen(fd, 4);
  }
  ~LoopbackSocket() { close(fd); }
  int fd = -1;
  uint16_t port = 0;
};

std::vector<std::string> RecorderArguments(const char* auth) {
  return {
      "--user", kUser, "--password",  kPassword,
      "--auth", auth,  "--recording", "clip,1," + std::to_string(kRecordingStart) + "," + Clip()};
}

TEST(Login, RightCredentialsGiveAHandleWithBasicAndDigest) {
  for (const char* auth : {"basic", "digest", "both"}) {
    RecorderProcess recorder(RecorderArguments(auth));
    ASSERT_NE(recorder.port(), 0) << auth;
    int32_t login = 0;
    EXPECT_EQ(Ovra_DVR_Login(&login, "127.0.0.1", recorder.port(), kUser, kPassword), 0) << auth;
    EXPECT_GT(login, 0);
    int32_t second = 0;
    EXPECT_EQ(Ovra_DVR_Login(&second, "localhost", recorder.port(), kUser, kPassword), 0) << auth;
    EXPECT_GT(second, login) << "handles are never reused";
    EXPECT_EQ(Ovra_DVR_Logout(login), 0);
    EXPECT_EQ(Ovra_DVR_Logout(second), 0);
  }
}

TEST(Login, EveryKindOfFailureGivesMinus9) {
  RecorderProcess recorder(RecorderArguments("both"));
  ASSERT_NE(recorder.port(), 0);
  LoopbackSocket closed(false);  // bound, not listening: connections are refused
  LoopbackSocket silent(true);   // accepts, never answers
  setenv("QXPLAYSDK_NET_TIMEOUT_MS", "1000", 1);
  struct Case {
    const char* what;
    const char* host;
    uint16_t port;
    const char* user;
    const char* password;
  };
  const Case cases[] = {
      {"wrong password", "127.0.0.1", recorder.port(), kUser, "wrong"},
      {"unknown user", "127.0.0.1", recorder.port(), "intruder", kPassword},
      {"no credentials", "127.0.0.1", recorder.port(), nullptr, nullptr},
      {"unknown host", "no-such-recorder.invalid", recorder.port(), kUser, kPassword},
      {"nothing listens", "127.0.0.1", closed.port, kUser, kPassword},
      {"never answers", "127.0.0.1", silent.port, kUser, kPassword},
      {"empty address", "", recorder.port(), kUser, kPassword},
  };
  for (const Case& c : cases) {
    int32_t login = 12345;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Ovra_DVR_Login(&login, c.host, c.port, c.user, c.password), -9) << c.what;
    EXPECT_EQ(login, 0) << c.what;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << c.what;
  }
  unsetenv("QXPLAYSDK_NET_TIMEOUT_MS");
  EXPECT_EQ(Ovra_DVR_Logout(987654), 0) << "an unknown login is harmless";
}

}  // namespace
}  // namespace qx::net::test
