/* The remote tour's recorder: the test recorder program started as a child
 * process on loopback, serving one clip made with the ffmpeg program. */
#ifndef QXPLAYSDK_EXAMPLES_REMOTE_TOUR_RECORDER_CHILD_H
#define QXPLAYSDK_EXAMPLES_REMOTE_TOUR_RECORDER_CHILD_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

/* Writes `seconds` of a moving test picture with the ffmpeg program into
 * the MP4 file `path`: H.264, 320x240 at 25 frames per second, a key frame
 * every second and no B-frames, so that a span starting on a whole second
 * starts on a key frame. The file appears only when complete. Returns 0 on
 * success. */
int MakeRecorderClip(const char* path, int seconds);

typedef struct RecorderChild {
  pid_t pid;
  int input;     /* the recorder's standard input: closing it ends it */
  uint16_t port; /* the loopback port it listens on */
} RecorderChild;

/* Starts `program` with the arguments `argv` (argv[0] is the program's
 * name, the list ends with NULL) and waits, bounded, for its "port N" line.
 * Returns 0 with *child filled in, or -1 (nothing left running). */
int StartRecorder(const char* program, char* const argv[], RecorderChild* child);

/* Closes the recorder's standard input and waits, bounded, for it to end;
 * a recorder that does not end in time is killed. Returns its exit status,
 * or -1 when it had to be killed or did not exit normally. */
int StopRecorder(RecorderChild* child);

/* The folder of the running program, for finding the test recorder built
 * beside it. Returns 0 with the folder in `folder`, -1 when unknown. */
int ProgramFolder(char* folder, size_t size);

#endif
