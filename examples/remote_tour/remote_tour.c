/*
 * A tour of the remote-recorder side of the interface, against a recorder
 * on this machine.
 *
 *   remote_tour                   makes an 8-second clip with the ffmpeg
 *                                 program (or uses the one made before)
 *   remote_tour --clip FILE.mp4   serves FILE instead (H.264 video, at
 *                                 least 8 s long)
 *   remote_tour --recorder PROG   the test recorder program to start
 *                                 (default: qx_test_recorder beside this
 *                                 program, as the build puts it)
 *
 * The test recorder is started on a loopback port with the clip as one
 * recording, by name and on a channel with a wall-clock start. The tour logs
 * in, downloads part of the channel by time and the whole recording by name
 * while printing each download's position, plays a span of the channel and
 * then the named recording in remote slots (into an X window when DISPLAY is
 * set, decoded without drawing otherwise), stops and closes them, and logs
 * out. Every call's result code is printed with its message. The downloaded
 * files stay in the current folder.
 *
 * Exit status 0 when every call answered 0 and both downloads ended whole.
 */
#define _DEFAULT_SOURCE /* timegm */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "../media_tour/tour_window.h"
#include "qxplaysdk.h"
#include "recorder_child.h"

static const char* const kClip = "qxplaysdk-remote-clip.mp4";
static const int kClipSeconds = 8;

/* What the recorder holds: one camera's recording, reachable by its name
 * and, on its channel, by time. A login asks the recorder to describe
 * channel 1 (the network library's default login URL, which
 * QXPLAYSDK_NET_URL_LOGIN changes), so the recording sits on channel 1. */
static const char* const kUser = "viewer";
static const char* const kPassword = "tour pass 1";
static const char* const kRecordingName = "lobby";
static const int32_t kChannel = 1;

/* Spans, in seconds after the recording's start. Downloads take a few
 * seconds from the middle; each span starts on a key frame (one a second). */
static const int kDownloadFrom = 2;
static const int kDownloadTo = 6;
static const int kPlayFrom = 1;
static const int kPlayTo = 7;
/* How long each remote playback runs before it is stopped (real time). */
static const long kPlayMs = 3000;
/* Downloads run as fast as the recorder sends: a few seconds of a small
 * clip take well under a second. A position that has not moved for this
 * long means the download has stalled. */
static const long kStallMs = 15000;

static const char* const kByTimeTarget = "remote-by-time.ts";
static const char* const kByNameTarget = "remote-by-name.ts";

static int failures;

/* Prints a call's result code with its message; any code but 0 counts as
 * a failed step. */
static int32_t Report(const char* call, int32_t result) {
  const char* message = Ovra_GetErrorMessage(result);
  printf("%-52s -> %3d  %s\n", call, (int)result, message != NULL ? message : "(no text)");
  fflush(stdout);
  if (result != OVRA_OK) ++failures;
  return result;
}

static void SleepMs(long ms) {
  struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}

/* The time string of `seconds` since 1970 (UTC), as the remote exports read
 * it: "YYYY-MM-DD hh-mm-ss", a dash between the numbers of both parts. */
static void TimeString(time_t seconds, char* text, size_t size) {
  struct tm parts;
  gmtime_r(&seconds, &parts);
  strftime(text, size, "%Y-%m-%d %H-%M-%S", &parts);
}

/* Follows a download until it ends (position 100), fails (-1) or stalls,
 * printing the position on one line each time it changes. Returns 1 when
 * the download ended whole. The caller stops it in every case. */
static int FollowDownload(int32_t download, TourWindow* window) {
  int32_t position = 0;
  int32_t shown = -2;
  int32_t result = OVRA_OK;
  int first = 1;
  long unchanged_ms = 0;
  printf("  position:");
  for (;;) {
    result = Ovra_DVR_GetDownloadPos(download, &position);
    if (result != OVRA_OK) break;
    if (position != shown) {
      printf(" %d", (int)position);
      fflush(stdout);
      shown = position;
      unchanged_ms = 0;
    }
    if (position == 100 || position == -1 || unchanged_ms >= kStallMs) break;
    first = 0;
    TourWindowPump(window);
    SleepMs(50);
    unchanged_ms += 50;
  }
  printf("\n");
  /* The first and the last call stand for all of them. */
  Report(first ? "Ovra_DVR_GetDownloadPos" : "Ovra_DVR_GetDownloadPos (first and last)", result);
  if (result != OVRA_OK) return 0;
  if (position == 100) return 1;
  ++failures;
  if (position == -1) {
    printf("  the download failed (position -1)\n");
  } else {
    /* A recorder that stops sending mid-way without closing the session
     * leaves the position where it was. */
    printf("  the download stalled at position %d: no change for %ld s\n", (int)position,
           kStallMs / 1000);
  }
  return 0;
}

/* Follows a started download to its end, then stops it: stopping ends a
 * download that stalled and releases one that ended by itself. Returns 1
 * when the whole span or recording arrived. */
static int FollowAndStop(int32_t download, TourWindow* window) {
  printf("  download handle %d\n", (int)download);
  int whole = FollowDownload(download, window);
  Report("Ovra_DVR_StopGetFile", Ovra_DVR_StopGetFile(download));
  return whole;
}

static int DownloadByTime(int32_t login, const char* from, const char* to, TourWindow* window) {
  int32_t download = 0;
  char call[160];
  printf("\n== Download channel %d from %s to %s into %s\n", (int)kChannel, from, to,
         kByTimeTarget);
  unlink(kByTimeTarget);
  snprintf(call, sizeof call, "Ovra_DVR_GetFileByTime(channel %d)", (int)kChannel);
  if (Report(call, Ovra_DVR_GetFileByTime(login, &download, kChannel, from, to, kByTimeTarget)) !=
      OVRA_OK)
    return 0;
  return FollowAndStop(download, window);
}

static int DownloadByName(int32_t login, TourWindow* window) {
  int32_t download = 0;
  char call[160];
  printf("\n== Download the recording \"%s\" into %s\n", kRecordingName, kByNameTarget);
  unlink(kByNameTarget);
  snprintf(call, sizeof call, "Ovra_DVR_GetFileByName(\"%s\")", kRecordingName);
  if (Report(call, Ovra_DVR_GetFileByName(login, &download, kRecordingName, kByNameTarget)) !=
      OVRA_OK)
    return 0;
  return FollowAndStop(download, window);
}

/* Plays an open remote slot for kPlayMs, then stops it and closes it. */
static void PlaySlot(int32_t slot, TourWindow* window, const char* what) {
  char call[96];
  printf("  slot %d\n", (int)slot);
  snprintf(call, sizeof call, "Ovra_Play(slot %d, window)", (int)slot);
  if (Report(call, Ovra_Play(slot, TourWindowHandle(window))) == OVRA_OK) {
    printf("  playing %s for %ld s\n", what, kPlayMs / 1000);
    fflush(stdout);
    for (long waited = 0; waited < kPlayMs; waited += 20) {
      TourWindowPump(window);
      SleepMs(20);
    }
    snprintf(call, sizeof call, "Ovra_Stop(slot %d)", (int)slot);
    Report(call, Ovra_Stop(slot));
  }
  /* The slot is taken whether or not it played. */
  snprintf(call, sizeof call, "Ovra_DVR_CloseFile(slot %d)", (int)slot);
  Report(call, Ovra_DVR_CloseFile(slot));
}

static void PlayByTime(int32_t login, const char* from, const char* to, TourWindow* window) {
  int32_t slot = -1;
  char call[160];
  printf("\n== Play channel %d from %s to %s\n", (int)kChannel, from, to);
  snprintf(call, sizeof call, "Ovra_DVR_OpenFileByTime(channel %d)", (int)kChannel);
  if (Report(call, Ovra_DVR_OpenFileByTime(login, &slot, kChannel, from, to)) != OVRA_OK) return;
  PlaySlot(slot, window, "by time");
}

static void PlayByName(int32_t login, TourWindow* window) {
  int32_t slot = -1;
  char call[160];
  printf("\n== Play the recording \"%s\"\n", kRecordingName);
  snprintf(call, sizeof call, "Ovra_DVR_OpenFileByName(\"%s\")", kRecordingName);
  if (Report(call, Ovra_DVR_OpenFileByName(login, &slot, kRecordingName)) != OVRA_OK) return;
  PlaySlot(slot, window, "by name");
}

/* The tour proper, against a recorder listening on 127.0.0.1:port. */
static void Tour(uint16_t port, time_t recording_start, const char* clip) {
  char download_from[32], download_to[32], play_from[32], play_to[32];
  char call[160];
  TimeString(recording_start + kDownloadFrom, download_from, sizeof download_from);
  TimeString(recording_start + kDownloadTo, download_to, sizeof download_to);
  TimeString(recording_start + kPlayFrom, play_from, sizeof play_from);
  TimeString(recording_start + kPlayTo, play_to, sizeof play_to);

  TourWindow* window = TourWindowOpen("qxplaysdk remote tour", 320, 240);
  printf("Pictures go %s\n", window != NULL ? "into an X window" : "nowhere (no display)");
  printf("\nThe tour will:\n");
  printf("  1. log in to the recorder as %s\n", kUser);
  printf("  2. download seconds %d to %d of channel %d by time into %s\n", kDownloadFrom,
         kDownloadTo, (int)kChannel, kByTimeTarget);
  printf("  3. download the recording \"%s\" by name into %s\n", kRecordingName, kByNameTarget);
  printf("  4. play seconds %d to %d of channel %d in a remote slot, stop after %ld s\n", kPlayFrom,
         kPlayTo, (int)kChannel, kPlayMs / 1000);
  printf("  5. play the recording \"%s\" in a remote slot, stop after %ld s\n", kRecordingName,
         kPlayMs / 1000);
  printf("  6. log out\n");

  int32_t login = 0;
  printf("\n== Log in\n");
  snprintf(call, sizeof call, "Ovra_DVR_Login(127.0.0.1, %u, %s)", (unsigned)port, kUser);
  if (Report(call, Ovra_DVR_Login(&login, "127.0.0.1", port, kUser, kPassword)) != OVRA_OK) {
    TourWindowClose(window);
    return;
  }
  printf("  login handle %d\n", (int)login);

  int by_time_whole = DownloadByTime(login, download_from, download_to, window);
  int by_name_whole = DownloadByName(login, window);
  PlayByTime(login, play_from, play_to, window);
  PlayByName(login, window);

  printf("\n== Log out\n");
  Report("Ovra_DVR_Logout", Ovra_DVR_Logout(login));
  TourWindowClose(window);

  /* What each downloaded file should hold, for a check with ffprobe. */
  printf("\nDownloaded files\n");
  if (by_time_whole)
    printf("  %s  seconds %d to %d of %s\n", kByTimeTarget, kDownloadFrom, kDownloadTo, clip);
  if (by_name_whole) printf("  %s  the whole of %s\n", kByNameTarget, clip);
  if (!by_time_whole && !by_name_whole) printf("  none whole\n");
}

int main(int argc, char** argv) {
  const char* clip = kClip;
  int own_clip = 1;
  const char* recorder_program = NULL;
  char beside[4096];
  /* Line by line also into a pipe or a file, in order with the recorder's
   * messages on standard error. */
  setvbuf(stdout, NULL, _IOLBF, 0);
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--clip") == 0 && i + 1 < argc) {
      clip = argv[++i];
      own_clip = 0;
    } else if (strcmp(argv[i], "--recorder") == 0 && i + 1 < argc) {
      recorder_program = argv[++i];
    } else {
      fprintf(stderr, "usage: %s [--clip FILE.mp4] [--recorder PROGRAM]\n", argv[0]);
      return 2;
    }
  }
  if (recorder_program == NULL) {
    if (ProgramFolder(beside, sizeof beside) != 0 ||
        strlen(beside) + sizeof "/qx_test_recorder" > sizeof beside) {
      fprintf(stderr, "cannot tell where this program is; name the recorder with --recorder\n");
      return 1;
    }
    strcat(beside, "/qx_test_recorder");
    recorder_program = beside;
  }
  if (access(recorder_program, X_OK) != 0) {
    fprintf(stderr, "no test recorder program at %s (build the target qx_test_recorder)\n",
            recorder_program);
    return 1;
  }

  if (own_clip && access(kClip, R_OK) != 0) {
    printf("Making the recorder's clip %s (%d s) with the ffmpeg program\n", kClip, kClipSeconds);
    if (MakeRecorderClip(kClip, kClipSeconds) != 0) {
      printf("Cannot make the clip\n");
      return 1;
    }
  } else {
    printf("Using the clip %s\n", clip);
  }

  /* The recording's wall-clock start; the recorder places the clip there
   * and by-time requests name seconds of that day. */
  struct tm start_parts = {.tm_year = 2024 - 1900, .tm_mon = 2, .tm_mday = 1, .tm_hour = 12};
  const time_t recording_start = timegm(&start_parts);
  char recording_arg[4200];
  char start_text[32], end_text[32];
  if (snprintf(recording_arg, sizeof recording_arg, "%s,%d,%lld,%s", kRecordingName, (int)kChannel,
               (long long)recording_start, clip) >= (int)sizeof recording_arg) {
    fprintf(stderr, "the clip's name is too long: %s\n", clip);
    return 1;
  }
  TimeString(recording_start, start_text, sizeof start_text);
  TimeString(recording_start + kClipSeconds, end_text, sizeof end_text);

  char* recorder_argv[] = {"qx_test_recorder", "--user",      (char*)kUser,  "--password",
                           (char*)kPassword,   "--recording", recording_arg, NULL};
  RecorderChild recorder;
  if (StartRecorder(recorder_program, recorder_argv, &recorder) != 0) {
    printf("Cannot start the test recorder %s\n", recorder_program);
    return 1;
  }
  printf("Test recorder on 127.0.0.1:%u, user %s\n", (unsigned)recorder.port, kUser);
  printf("  recording \"%s\" on channel %d, %s to %s (UTC)\n", kRecordingName, (int)kChannel,
         start_text, end_text);

  Tour(recorder.port, recording_start, clip);

  int recorder_status = StopRecorder(&recorder);
  if (recorder_status != 0) {
    printf("The test recorder ended with status %d\n", recorder_status);
    ++failures;
  }
  if (failures == 0) {
    printf("\nremote tour: every step succeeded\n");
    return 0;
  }
  printf("\nremote tour: %d step%s failed\n", failures, failures == 1 ? "" : "s");
  return 1;
}
