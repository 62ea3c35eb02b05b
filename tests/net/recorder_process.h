// The test recorder as a child process on a loopback port of its choosing.
#ifndef QXPLAYSDK_TESTS_NET_RECORDER_PROCESS_H
#define QXPLAYSDK_TESTS_NET_RECORDER_PROCESS_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qx::net::test {

class RecorderProcess {
 public:
  // Starts the recorder with these arguments and waits (bounded) for its
  // port; port() is 0 when it did not start.
  explicit RecorderProcess(const std::vector<std::string>& arguments);
  ~RecorderProcess();
  RecorderProcess(const RecorderProcess&) = delete;
  RecorderProcess& operator=(const RecorderProcess&) = delete;

  uint16_t port() const { return port_; }
  // Whether the process has ended (it cut itself off, or was stopped).
  bool Exited();
  void Stop();

 private:
  pid_t pid_ = -1;
  int input_ = -1;  // the recorder's standard input: closing it ends it
  uint16_t port_ = 0;
};

}  // namespace qx::net::test

#endif  // QXPLAYSDK_TESTS_NET_RECORDER_PROCESS_H
