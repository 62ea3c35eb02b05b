#include "tests/net/recorder_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace qx::net::test {
namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr auto kExitTimeout = std::chrono::seconds(5);

}  // namespace

RecorderProcess::RecorderProcess(const std::vector<std::string>& arguments) {
  int to_child[2], from_child[2];
  if (pipe2(to_child, O_CLOEXEC) != 0) return;
  if (pipe2(from_child, O_CLOEXEC) != 0) {
    close(to_child[0]);
    close(to_child[1]);
    return;
  }
  std::vector<char*> argv;
  std::string program = QX_TEST_RECORDER;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  input_ = to_child[1];
  // Reads "port N".
  std::string line;
  pollfd reader{from_child[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&reader, 1, kStartTimeoutMs) > 0) {
    char buffer[64];
    ssize_t got = read(from_child[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  close(from_child[0]);
  if (line.rfind("port ", 0) == 0) port_ = static_cast<uint16_t>(std::atoi(line.c_str() + 5));
}

RecorderProcess::~RecorderProcess() { Stop(); }

bool RecorderProcess::Exited() {
  if (pid_ <= 0) return true;
  int status;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return true;
  }
  return false;
}

void RecorderProcess::Stop() {
  if (input_ >= 0) {
    close(input_);
    input_ = -1;
  }
  if (pid_ <= 0) return;
  // A stalled recorder may never get round to its exit: it has the bound
  // time to end on its own, then it is killed.
  const auto deadline = std::chrono::steady_clock::now() + kExitTimeout;
  while (!Exited() && std::chrono::steady_clock::now() < deadline) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 20);
  }
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

}  // namespace qx::net::test
