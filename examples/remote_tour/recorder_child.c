#define _POSIX_C_SOURCE 200809L

#include "recorder_child.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

/* The recorder reads its clip and starts GStreamer's RTSP server before it
 * listens; a loaded machine may need several seconds for that. */
static const int kStartLimitMs = 20000;
/* After its input closes the recorder ends its sessions and exits. */
static const int kStopLimitMs = 5000;

static void SleepMs(long ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}

/* Waits up to `limit_ms` for the child to exit; its wait status in
 * *status. Returns 0 when it exited, -1 when it is still running. */
static int WaitBounded(pid_t pid, int limit_ms, int* status) {
  for (int waited = 0;; waited += 20) {
    pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return 0;
    if (done < 0 && errno != EINTR) return 0;
    if (waited >= limit_ms) return -1;
    SleepMs(20);
  }
}

int MakeRecorderClip(const char* path, int seconds) {
  /* Written under a temporary name and renamed, so that an interrupted run
   * never leaves a partial clip that a later run would take as made. */
  char partial[4096];
  char duration[16];
  if (snprintf(partial, sizeof partial, "%s.part.mp4", path) >= (int)sizeof partial) return -1;
  snprintf(duration, sizeof duration, "%d", seconds);
  char* const argv[] = {"ffmpeg",
                        "-nostdin",
                        "-v",
                        "error",
                        "-y",
                        "-f",
                        "lavfi",
                        "-i",
                        "testsrc2=size=320x240:rate=25",
                        "-t",
                        duration,
                        "-c:v",
                        "libx264",
                        "-preset",
                        "ultrafast",
                        "-g",
                        "25",
                        "-keyint_min",
                        "25",
                        "-sc_threshold",
                        "0",
                        "-bf",
                        "0",
                        "-pix_fmt",
                        "yuv420p",
                        partial,
                        NULL};
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return -1;
  }
  if (pid == 0) {
    execvp(argv[0], argv);
    perror("ffmpeg");
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "ffmpeg could not make %s\n", partial);
    unlink(partial);
    return -1;
  }
  if (rename(partial, path) != 0) {
    perror(path);
    return -1;
  }
  return 0;
}

int StartRecorder(const char* program, char* const argv[], RecorderChild* child) {
  int to_child[2];
  int from_child[2];
  child->pid = -1;
  child->input = -1;
  child->port = 0;
  if (pipe(to_child) != 0) return -1;
  if (pipe(from_child) != 0) {
    close(to_child[0]);
    close(to_child[1]);
    return -1;
  }
  /* The tour keeps only its ends; the child gets neither of them. */
  fcntl(to_child[1], F_SETFD, FD_CLOEXEC);
  fcntl(from_child[0], F_SETFD, FD_CLOEXEC);
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    close(to_child[0]);
    close(to_child[1]);
    close(from_child[0]);
    close(from_child[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(to_child[0], STDIN_FILENO);
    dup2(from_child[1], STDOUT_FILENO);
    close(to_child[0]);
    close(from_child[1]);
    execv(program, argv);
    perror(program);
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  child->pid = pid;
  child->input = to_child[1];

  /* The recorder says "port N" on a line of its own once it listens. */
  char line[64] = {0};
  size_t length = 0;
  struct pollfd reader = {from_child[0], POLLIN, 0};
  while (strchr(line, '\n') == NULL && length + 1 < sizeof line &&
         poll(&reader, 1, kStartLimitMs) > 0) {
    ssize_t got = read(from_child[0], line + length, sizeof line - 1 - length);
    if (got <= 0) break;
    length += (size_t)got;
  }
  close(from_child[0]);
  int port = 0;
  if (sscanf(line, "port %d", &port) == 1 && port > 0 && port <= 65535) {
    child->port = (uint16_t)port;
    return 0;
  }
  fprintf(stderr, "%s did not say which port it listens on\n", program);
  StopRecorder(child);
  return -1;
}

int StopRecorder(RecorderChild* child) {
  if (child->input >= 0) {
    close(child->input);
    child->input = -1;
  }
  if (child->pid <= 0) return -1;
  int status = 0;
  if (WaitBounded(child->pid, kStopLimitMs, &status) != 0) {
    fprintf(stderr, "the recorder did not end within %d ms; killing it\n", kStopLimitMs);
    kill(child->pid, SIGKILL);
    waitpid(child->pid, NULL, 0);
    child->pid = -1;
    return -1;
  }
  child->pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ProgramFolder(char* folder, size_t size) {
  if (size < 2) return -1;
  ssize_t length = readlink("/proc/self/exe", folder, size - 1);
  if (length <= 0) return -1;
  folder[length] = '\0';
  char* slash = strrchr(folder, '/');
  if (slash == NULL) return -1;
  *slash = '\0';
  return 0;
}
