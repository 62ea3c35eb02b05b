// An Xvfb server of one test alone: Xvfb picks a free display number, and
// DISPLAY names it while the server runs.
#ifndef QXPLAYSDK_TESTS_MEDIA_VIRTUAL_DISPLAY_H
#define QXPLAYSDK_TESTS_MEDIA_VIRTUAL_DISPLAY_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qxmedia_test {

class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char number[16] = {};
    // The read end stays open while the server runs: Xvfb treats a closed
    // one as fatal.
    display_fd_ = fds[0];
    ssize_t got = read(fds[0], number, sizeof number - 1);
    if (got > 0) {
      name_ = ":" + std::string(number, static_cast<size_t>(got));
      while (!name_.empty() && name_.back() == '\n') name_.pop_back();
      setenv("DISPLAY", name_.c_str(), 1);
    }
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (display_fd_ >= 0) close(display_fd_);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  bool ready() const { return !name_.empty(); }
  // Kills the server as a crash would.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int display_fd_ = -1;
  std::string name_;
};

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_VIRTUAL_DISPLAY_H
