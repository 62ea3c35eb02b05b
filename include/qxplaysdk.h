/*
 * qxplaysdk: one flat, handle-based C interface for showing video from
 * digital video recorders.
 *
 * A caller opens a local file or a live stream on a *port*, plays it into a
 * window and controls it, receives draw, end-of-file and decoded-frame
 * notifications, takes snapshots, sets colour and sound, records live
 * streams to files, carries a two-way voice talk on the voice port 99, and
 * logs in to a remote recorder to download and play back its recordings.
 *
 * Port numbers:
 *   0..32   remote slots (Ovra_DVR_OpenFileByName / Ovra_DVR_OpenFileByTime)
 *   33..97  local ports  (Ovra_OpenFile / Ovra_OpenStream)
 *   98      never valid
 *   99      the voice port (Ovra_InitAudio)
 *
 * Every export except Ovra_GetErrorMessage returns a result code: 0 on
 * success, one of the negative OVRA_* codes below on failure, never a
 * positive value. Each export checks its arguments in a fixed order and
 * returns the code of the first check that fails; the documentation of each
 * export lists the checks in that order.
 *
 * Threads: every export may be called from any thread. The library starts no
 * thread of its own; notifications arrive on the backends' threads. Calls
 * that act on the same port are serialised by the caller, except where an
 * export says otherwise (Ovra_Stop, Ovra_SetDecodeCallback and the decode
 * callback of one port exclude each other).
 *
 * This header is valid C99 and C++.
 */
#ifndef QXPLAYSDK_H
#define QXPLAYSDK_H

#include <stddef.h>
#include <stdint.h>

/* ------------------------------------------------------------------------ */
/* Version                                                                  */
/* ------------------------------------------------------------------------ */

#define OVRA_VERSION_MAJOR 1
#define OVRA_VERSION_MINOR 0
#define OVRA_VERSION_PATCH 0
#define OVRA_VERSION_STRING "1.0.0"

/* ------------------------------------------------------------------------ */
/* Linkage and calling conventions                                          */
/* ------------------------------------------------------------------------ */

/* OVRA_API marks the 45 exports: dllexport while the library itself is
 * built, dllimport for its callers on Windows, default visibility elsewhere
 * (the library is built with every other symbol hidden). */
#if defined(_WIN32)
#if defined(OVRA_BUILDING_LIBRARY)
#define OVRA_API __declspec(dllexport)
#elif defined(OVRA_STATIC)
#define OVRA_API
#else
#define OVRA_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define OVRA_API __attribute__((visibility("default")))
#else
#define OVRA_API
#endif

/* OVRA_CALL is the exports' calling convention (the caller removes the
 * arguments); OVRA_CALLBACK is the convention of every function the library
 * calls back (the called function removes the arguments). Both mean nothing
 * outside 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define OVRA_CALL __cdecl
#define OVRA_CALLBACK __stdcall
#else
#define OVRA_CALL
#define OVRA_CALLBACK
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Result codes                                                             */
/* ------------------------------------------------------------------------ */

/* The one list of result codes: name, value and the text that
 * Ovra_GetErrorMessage returns (NULL where a code has no text). The named
 * constants below and the library's message table are both made from it. */
#define OVRA_RESULT_CODES(X)                                          \
  X(OVRA_OK, 0, "QXPLAYSDK NO ERROR")                                 \
  X(OVRA_NO_UNUSED_PORT, -1, "QXPLAYSDK NO UNUSED PORT")              \
  X(OVRA_PARAM_ERROR, -2, "QXPLAYSDK PARAM ERROR")                    \
  X(OVRA_PLAYSDK_ERROR, -3, "QXPLAYSDK PLAYSDK EXPORT ERROR")         \
  X(OVRA_AUDIO_NOT_INITIALISED, -4, NULL)                             \
  X(OVRA_3GPPSDK_ERROR, -5, "QXPLAYSDK 3GPPSDK EXPORT ERROR")         \
  X(OVRA_PARAM_OVER, -6, "QXPLAYSDK PARAM OVER")                      \
  X(OVRA_NEED_FILE_MODE, -7, "QXPLAYSDK NEED FILE MODE")              \
  X(OVRA_NEED_STREAM_MODE, -8, "QXPLAYSDK NEED STREAM MODE")          \
  X(OVRA_NETSDK_ERROR, -9, NULL)                                      \
  X(OVRA_MEDIA_TYPE_NOT_RIGHT, -10, "QXPLAYSDK MEDIA TYPE NOT RIGHT") \
  X(OVRA_PARSE_TIME_ERROR, -11, "QXPLAYSDK PARSE TIME ERROR")         \
  X(OVRA_RECYCLE_PORT_ERROR, -12, "QXPLAYSDK RECYCLE PORT ERROR")

#define OVRA_RESULT_CODE_ENUMERATOR(name, value, text) name = (value),
/* Result codes. 0 is success; every failure is negative. */
enum OvraResult { OVRA_RESULT_CODES(OVRA_RESULT_CODE_ENUMERATOR) };
#undef OVRA_RESULT_CODE_ENUMERATOR

/* Fixed port numbers and ranges. */
enum OvraPorts {
  OVRA_FIRST_REMOTE_SLOT = 0,
  OVRA_LAST_REMOTE_SLOT = 32,
  OVRA_FIRST_LOCAL_PORT = 33,
  OVRA_LAST_LOCAL_PORT = 97,
  OVRA_VOICE_PORT = 99
};

/* Media types of Ovra_OpenStream and record types of Ovra_RecordStart. */
enum OvraMediaType {
  OVRA_MEDIA_PLAYER = 0, /* served by the player library */
  OVRA_MEDIA_3GPP = 1    /* served by the 3GPP play library / 3GP converter */
};

/* ------------------------------------------------------------------------ */
/* Records and callbacks                                                    */
/* ------------------------------------------------------------------------ */

/* The record handed to a decode callback for each decoded frame. On 32-bit
 * builds it is 32 bytes, eight little-endian 32-bit fields without padding;
 * on 64-bit builds extra_a and extra_b are pointer-sized (40 bytes). */
typedef struct DecodeFrameInfo {
  uint32_t marker;   /* always 1 */
  uint32_t info_c;   /* the player's frame information, word at offset 8 */
  uint32_t info_e;   /* the player's frame information, word at offset 16 */
  uint32_t sequence; /* frames handed to this port's decode callback before
                        this one since the port's last Ovra_Stop */
  uint32_t info_a;   /* the player's frame information, word at offset 0 */
  uint32_t info_b;   /* the player's frame information, word at offset 4 */
  uintptr_t extra_a; /* the decode notification's second value, unchanged */
  uintptr_t extra_b; /* the decode notification's third value, unchanged */
} DecodeFrameInfo;

/* Draw notification of a local port: the three values of the player
 * library's notification, unchanged, the port first. Runs on a thread of
 * the player library. */
typedef void(OVRA_CALLBACK* OvraDrawFun)(int32_t port, uintptr_t value2, uintptr_t value3);

/* End of a file port's file: the two values of the player library's
 * notification, unchanged, the port first. Runs on a thread of the player
 * library. */
typedef void(OVRA_CALLBACK* OvraFileEndCallback)(int32_t port, uintptr_t value2);

/* One decoded frame of a local port. `info` is valid only until the callback
 * returns; `user` is the value the player library hands back with the frame
 * (the user data given to Ovra_SetDecodeCallback). Runs on a thread of the
 * player library while the port's lock is held: Ovra_Stop and
 * Ovra_SetDecodeCallback of the same port wait for it, and it may call both
 * for its own port without blocking. A C++ exception thrown out of a draw,
 * end-of-file or decode callback ends inside the library, which carries on
 * as if the callback had returned (the frame still counts). */
typedef void(OVRA_CALLBACK* OvraDecodeCallback)(int32_t port, const DecodeFrameInfo* info,
                                                uintptr_t user);

/* A recording file is finished: `file_name` is its name as the library keeps
 * it (at most 259 characters, always terminated), valid for the duration of
 * the call; `user` is the value given to Ovra_SetRecordFileReadyCallback.
 * Runs on the caller's own thread, inside Ovra_RecordStop or
 * Ovra_RecordSwitchFile, with no lock held: it may call the recording
 * exports again. */
typedef void(OVRA_CALLBACK* OvraRecordFileReadyCallback)(int32_t port, const char* file_name,
                                                         uintptr_t user);

/* One captured voice frame: the 8-byte header 00 00 01 F0 0C 02 00 04
 * followed by at most 4096 bytes of captured audio; `length` counts both
 * (8..4104). A captured block longer than 4096 bytes arrives whole as
 * consecutive frames, in order, each with the header; an empty block (or one
 * the player library delivers without data) as the header alone. `port` is
 * always 99; `user` is the value given to Ovra_SetAudioInCallback. `frame`
 * is valid only for the duration of the call. Runs on the player library's
 * capture thread. */
typedef void(OVRA_CALLBACK* OvraAudioInCallback)(int32_t port, const uint8_t* frame, int32_t length,
                                                 uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Result texts                                                             */
/* ------------------------------------------------------------------------ */

/* Returns the constant text of a result code, the same pointer for the same
 * code on every call, or NULL for -4, -9 and any code outside 0..-12. Never
 * fails; reads only constant data. The caller neither frees nor modifies the
 * text. */
OVRA_API const char* OVRA_CALL Ovra_GetErrorMessage(int32_t code);

/* ------------------------------------------------------------------------ */
/* Media sources                                                            */
/* ------------------------------------------------------------------------ */

/* Opens a file on the lowest free local port.
 * Checks: file_name or port NULL: -2 (no port taken); no free local port:
 * -1. The port number is written to *port before the player library opens
 * the file; if it refuses (-3) the port stays taken and is given back with
 * Ovra_CloseFile. On success the port is in file mode. */
OVRA_API int32_t OVRA_CALL Ovra_OpenFile(int32_t* port, const char* file_name);

/* Closes the file of a local port and always gives the port back.
 * Checks: port outside 33..97 or free: -2. Returns -3 when the player
 * library refuses the close; the port is free all the same. */
OVRA_API int32_t OVRA_CALL Ovra_CloseFile(int32_t port);

/* Opens a live stream on the lowest free local port.
 * `initial_block` (may be NULL) and `initial_length` go to the backend with
 * `buffer_size`; `media_type` 0 selects the player library, 1 the 3GPP play
 * library. Checks: port NULL: -2 (no port taken); no free local port: -1.
 * The port number is written to *port before anything else; then a media
 * type other than 0 or 1 gives -2, a refusal of the player library -3, of
 * the 3GPP play library -5. After any of these the port stays taken. A
 * refused open is given back with Ovra_CloseStream; after an unknown media
 * type the port keeps whatever media type it had, so Ovra_CloseFile is the
 * close that always gives it back. */
OVRA_API int32_t OVRA_CALL Ovra_OpenStream(int32_t* port, const void* initial_block,
                                           uint32_t initial_length, uint32_t buffer_size,
                                           int32_t media_type);

/* Closes the stream of a local port and gives the port back.
 * Checks: port outside 33..97 or free: -2; the port's media type neither 0
 * nor 1: -2 (the port is not released). Returns -3 or -5 when the backend
 * refuses the close; the port is free all the same. */
OVRA_API int32_t OVRA_CALL Ovra_CloseStream(int32_t port);

/* Feeds one block of a live stream to the port's backend (and, while a 3GPP
 * recording runs on the port, to the 3GP converter as well). The block is
 * neither checked nor copied. Checks: port outside 33..97 or free: -2;
 * media type neither 0 nor 1: -2. Returns -3 / -5 when the player / 3GPP
 * play library refuses the block. */
OVRA_API int32_t OVRA_CALL Ovra_InputData(int32_t port, const void* data, uint32_t length);

/* ------------------------------------------------------------------------ */
/* Caller callbacks                                                         */
/* ------------------------------------------------------------------------ */

/* Registers the draw function that serves every port from now on (NULL turns
 * draw notifications off) and registers the port with the player library,
 * with `user`. Checks: port outside 33..97 or free: -2. Returns 0 whatever
 * the player library answers. */
OVRA_API int32_t OVRA_CALL Ovra_RegisterDrawFun(int32_t port, OvraDrawFun draw_fun, uintptr_t user);

/* Registers the end-of-file callback that serves every file port from now
 * on (NULL turns notifications off) and registers the port with the player
 * library, with `user`. Checks: port outside 33..97: -2; port not in file
 * mode: -7; port free: -2. Returns -3 when the player library refuses the
 * registration; the new callback is in place all the same. */
OVRA_API int32_t OVRA_CALL Ovra_SetFileEndCallback(int32_t port, OvraFileEndCallback callback,
                                                   uintptr_t user);

/* Sets the port's decode callback and asks the player library for decoded
 * frames, with `user`. Checks: port outside 33..97 or free: -2; callback
 * NULL: -2. Returns -3 when the player library refuses the registration (the
 * callback is then cleared) or the stream selection (the callback stays and
 * frames keep arriving). Waits for a decode callback of the port that is
 * running. The frame numbering (`sequence`) continues; Ovra_Stop restarts
 * it. */
OVRA_API int32_t OVRA_CALL Ovra_SetDecodeCallback(int32_t port, OvraDecodeCallback callback,
                                                  uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Play control                                                             */
/* ------------------------------------------------------------------------ */

/* Plays a local port into `window` (may be NULL), or starts the playback of
 * a remote slot (0..32) into it.
 * Local port (33..97): media type 1 plays through the 3GPP play library (-5
 * on refusal); any other media type registers the draw notifications and
 * plays through the player library (-3 on refusal). The slot state and the
 * source mode are not tested.
 * Remote slot: by name, -9 when the network library refuses; by time, -2
 * when a time text cannot be read or the network library refuses.
 * Other ports: -2. */
OVRA_API int32_t OVRA_CALL Ovra_Play(int32_t port, void* window);

/* Stops a local port or a remote slot's playback. Clears the port's decode
 * callback and restarts its frame numbering whatever the backend then says;
 * once it has returned, the old decode callback is never called again.
 * Checks: port outside 0..97: -2; port free: -2. Returns -5 / -3 when the
 * 3GPP play / player library refuses the stop, -9 when the network library
 * refuses to stop a remote playback. Waits for a decode callback of the port
 * that is running; may be called from that callback for its own port. */
OVRA_API int32_t OVRA_CALL Ovra_Stop(int32_t port);

/* Pauses or resumes; `pause` is handed to the player library unchanged.
 * Checks: port outside 33..97 or free: -2. Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_Pause(int32_t port, uint32_t pause);

/* Moves to `position` hundredths of the file (50 is the middle), handed on
 * without a range test. Checks: port outside 33..97 or free: -2. Player
 * library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_SetPlayPos(int32_t port, int32_t position);

/* Writes the position in hundredths (truncated toward zero) to *position.
 * Checks: position NULL: -2; port outside 33..97 or free: -2. Returns 0
 * whatever the player library answers; an answer that no 32-bit position
 * can hold is written as the nearest limit (not a number: 0). */
OVRA_API int32_t OVRA_CALL Ovra_GetPlayPos(int32_t port, int32_t* position);

/* Changes the play speed in the player library's faster and slower steps
 * (16: 4 faster steps, 8: 3, 4: 2, 2: 1; 1: normal; 1/2: 1 slower step, ...,
 * 1/16: 4) and keeps `speed` as the port's play speed.
 * Checks: port outside 33..97 or free: -2; speed above 16, below 1/16 or
 * not a number: -6. Returns 0 whatever the player library answers. */
OVRA_API int32_t OVRA_CALL Ovra_SetPlaySpeed(int32_t port, float speed);

/* Writes the port's play speed (4.0 until Ovra_SetPlaySpeed first stores
 * one) to *speed. Checks: speed NULL: -2; port outside 33..97: -2. A free
 * port answers too. */
OVRA_API int32_t OVRA_CALL Ovra_GetPlaySpeed(int32_t port, float* speed);

/* Steps one frame forward. Checks: port outside 33..97: -2; port not in file
 * mode: -7; port free: -2. Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_NextFrame(int32_t port);

/* Steps one frame back. Checks as Ovra_NextFrame. Player library refusal:
 * -3. */
OVRA_API int32_t OVRA_CALL Ovra_PreviousFrame(int32_t port);

/* Writes the file's total frame count to *frames. Checks: frames NULL: -2;
 * port outside 33..97 or free: -2; port not in file mode: -7. Returns 0
 * whatever the player library answers. */
OVRA_API int32_t OVRA_CALL Ovra_GetFileTotalFrames(int32_t port, uint32_t* frames);

/* Writes the number of frames played to *frames. Checks as
 * Ovra_GetFileTotalFrames. */
OVRA_API int32_t OVRA_CALL Ovra_GetPlayedFrames(int32_t port, uint32_t* frames);

/* Jumps to frame `frame`. Checks: port outside 33..97 or free: -2; port not
 * in file mode: -7. Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_SetCurrentFrameNum(int32_t port, uint32_t frame);

/* ------------------------------------------------------------------------ */
/* Picture, colour and sound                                                */
/* ------------------------------------------------------------------------ */

/* Saves the current picture to `file_name` (always through the player
 * library). Checks: port outside 33..97 or free: -2; file_name NULL: -2.
 * Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_CapPic(int32_t port, const char* file_name);

/* Sets the four colour values, in this order, through the backend of the
 * port's media type. Checks: port outside 33..97 or free: -2; media type
 * neither 0 nor 1: -2. Refusal: -3 (player) or -5 (3GPP). */
OVRA_API int32_t OVRA_CALL Ovra_SetColor(int32_t port, int32_t brightness, int32_t contrast,
                                         int32_t saturation, int32_t hue);

/* Reads the four colour values through the backend of the port's media
 * type, which writes them through the four pointers. Checks: port outside
 * 33..97 or free: -2; media type neither 0 nor 1: -2 (nothing is written).
 * Refusal: -3 (player) or -5 (3GPP). */
OVRA_API int32_t OVRA_CALL Ovra_GetColor(int32_t port, int32_t* brightness, int32_t* contrast,
                                         int32_t* saturation, int32_t* hue);

/* Switches the port's sound on. Checks: port outside 33..97 or free: -2.
 * Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_PlaySound(int32_t port);

/* Switches sound off (the player library's sound is not per port; the port
 * is only checked). Checks: port outside 33..97 or free: -2. Player library
 * refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_StopSound(int32_t port);

/* Sets the volume, 0..65535: only the low 16 bits of `volume` are used
 * (65536 sets 0). Checks: port outside 33..97 or free: -2. Player library
 * refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_SetVolume(int32_t port, uint32_t volume);

/* Writes the volume, 0..65535, to *volume. Checks: port outside 33..97 or
 * free: -2; volume NULL: -2. Returns 0 whatever the player library
 * answers. */
OVRA_API int32_t OVRA_CALL Ovra_GetVolume(int32_t port, uint32_t* volume);

/* ------------------------------------------------------------------------ */
/* Recording                                                                */
/* ------------------------------------------------------------------------ */

/* Starts recording the port into `file_name`: record type 0 through the
 * player library (any source mode), 1 through the 3GP converter (stream
 * ports only), which from then on also receives every block given to
 * Ovra_InputData. On success the port is recording, its media type becomes
 * the record type and the library keeps the name (its first 259 characters;
 * the backend gets the whole string). A start on a port that already records
 * restarts the backend with the new file without announcing the old one.
 * Checks: file_name NULL: -2; port outside 33..97 or free: -2; record type
 * other than 0 or 1: -2; type 1 on a port not in stream mode: -8; type 1 on
 * a stream port the player library decodes (opened with media type 0): -10,
 * nothing changes and the port goes on as before. Refusal: -3 (player) or
 * -5 (converter); nothing changes. Closing the port neither stops the
 * recording nor forgets it. */
OVRA_API int32_t OVRA_CALL Ovra_RecordStart(int32_t port, const char* file_name,
                                            int32_t record_type);

/* Stops the port's recording and announces the finished file to the
 * record-file-ready callback, on this thread, before returning; the name
 * stays with the port.
 * Checks: port outside 33..97 or free: -2; not recording: -2; media type
 * neither 0 nor 1: -2; converter recording on a port not in stream mode:
 * -8. Refusal: -3 / -5 and nothing is announced. The backend refuses when
 * the file could not be written whole (a write error such as a full disk,
 * its trailer, or no key frame arrived); its recording has then ended all
 * the same, the file keeps what was written, and the port still counts as
 * recording: a repeated stop is refused again, a new Ovra_RecordStart
 * starts afresh.
 * On Linux the files hold every picture the port received between start
 * and stop, each file from a key frame: MPEG-TS when the codecs fit (H.264,
 * H.265, MPEG-2, MPEG-4 Part 2 video; AAC, MP2, MP3, AC-3, Opus sound),
 * otherwise Matroska under the same name; every sound stream is kept as it
 * is. Converter recordings are 3GP (AAC or AMR sound; other sound is left
 * out). */
OVRA_API int32_t OVRA_CALL Ovra_RecordStop(int32_t port);

/* Finishes the current recording file, announces it to the record-file-ready
 * callback on this thread, and goes on recording into `new_file_name`. The
 * port's recording state is not consulted: on a port that is not recording
 * the backend starts recording into the new file, the name the port last
 * kept is announced (empty if none) and the port still counts as not
 * recording. Checks: new_file_name NULL: -2; port outside 33..97 or free:
 * -2; media type neither 0 nor 1: -2; converter recording on a port not in
 * stream mode: -8. Refusal through the converter: -5, nothing changed, the
 * recording goes on in the old file. Refusal through the player library
 * (the new file cannot be created, e.g. its folder does not exist): -3; the
 * old name is kept; if the old file had been finished it is announced all
 * the same and the recording has ended, as after Ovra_RecordStop (the port
 * no longer records, a later Ovra_RecordStop returns -2, start again with
 * Ovra_RecordStart). The file being left goes on until the next key frame,
 * where the new file begins, so it may still grow by up to one group of
 * pictures after it is announced (Linux: MPEG-TS files stay readable
 * throughout; 3GP files are complete once the next key frame came). */
OVRA_API int32_t OVRA_CALL Ovra_RecordSwitchFile(int32_t port, const char* new_file_name);

/* Sets the port's record-file-ready callback (NULL turns announcements off)
 * and the user data handed back with it; both stay with the port number
 * across close and reopen. Checks: port outside 33..97 or free: -2. */
OVRA_API int32_t OVRA_CALL Ovra_SetRecordFileReadyCallback(int32_t port,
                                                           OvraRecordFileReadyCallback callback,
                                                           uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Voice talk (port 99)                                                     */
/* ------------------------------------------------------------------------ */

/* Opens the voice channel and writes the voice port 99 to *port (before any
 * backend call). Checks: port NULL: -2. Player library refusal of any of the
 * three opening steps: -3 (nothing is undone; an open channel stays open, a
 * closed one closed). Calling it on an open channel repeats every step. */
OVRA_API int32_t OVRA_CALL Ovra_InitAudio(int32_t* port);

/* Sets the audio-in callback and opens the local capture; every captured
 * block then reaches the callback as voice frames, on the capture thread.
 * Checks: port other than 99 or callback NULL: -2; voice channel not open:
 * -4 (nothing stored). The callback is stored before the capture is opened
 * and stays set when the player library refuses (-3) and after
 * Ovra_CloseAudio; reopening the channel does not reopen the capture. */
OVRA_API int32_t OVRA_CALL Ovra_SetAudioInCallback(int32_t port, OvraAudioInCallback callback,
                                                   uintptr_t user);

/* Plays one block of far-end audio. Checks: port other than 99: -2; voice
 * channel not open: -4; data NULL: -2. Player library refusal: -3. */
OVRA_API int32_t OVRA_CALL Ovra_InputAudioData(int32_t port, const void* data, uint32_t length);

/* Closes the voice channel: stops playback, closes the stream and the
 * capture (also one never opened). Checks: port other than 99: -2; voice
 * channel not open: -4.
 * Player library refusal of a step: -3, the later steps are not made and the
 * channel stays open. */
OVRA_API int32_t OVRA_CALL Ovra_CloseAudio(int32_t port);

/* ------------------------------------------------------------------------ */
/* Recorder sessions and downloads                                          */
/* ------------------------------------------------------------------------ */

/* Logs in to the recorder at `address`:`recorder_port` (only the low 16 bits
 * are used) and writes the network library's answer to *login, also when it
 * is a failure. Checks: login NULL: -2; address NULL: -2. Returns -9 unless
 * the answer is greater than 0. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_Login(int32_t* login, const char* address,
                                          uint32_t recorder_port, const char* user_name,
                                          const char* password);

/* Logs out. Returns -9 for a login handle below 1 (without a call) and when
 * the network library's clean-up fails. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_Logout(int32_t login);

/* Starts downloading the recorded file `file_name` to `target` and writes
 * the download handle to *download, also when the network library refuses.
 * Checks: download NULL: -2; file_name NULL: -2; target NULL: -2; login
 * below 1: -2. Network library refusal: -9. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByName(int32_t login, int32_t* download,
                                                  const char* file_name, const char* target);

/* Starts downloading a channel's recordings between two time strings
 * ("YYYY-MM-DD hh-mm-ss") to `target` and writes the download handle to
 * *download, also when the network library refuses. `target` and `channel`
 * are handed on unchecked. Checks: download NULL: -2; start NULL: -2; end
 * NULL: -2; login below 1: -2; start, then end, not readable: -11. Network
 * library refusal: -9. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByTime(int32_t login, int32_t* download, int32_t channel,
                                                  const char* start, const char* end,
                                                  const char* target);

/* Writes the network library's position of a download to *position.
 * Checks: position NULL: -2. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetDownloadPos(int32_t download, int32_t* position);

/* Stops a download. Returns -9 when the network library refuses. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_StopGetFile(int32_t download);

/* ------------------------------------------------------------------------ */
/* Remote files                                                             */
/* ------------------------------------------------------------------------ */

/* Opens a recorded file by name in the lowest free remote slot and writes
 * the slot to *slot; Ovra_Play and Ovra_Stop then play it. The slot keeps
 * at most the first 259 characters of the name. Checks: slot NULL: -2;
 * file_name NULL: -2; no free remote slot: -1. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByName(int32_t login, int32_t* slot,
                                                   const char* file_name);

/* Opens a channel's recordings between two time strings in the lowest free
 * remote slot and writes the slot to *slot. The slot keeps at most the
 * first 31 characters of each text and reads them only when it is played.
 * Checks: slot NULL: -2; start NULL: -2; end NULL: -2; no free remote
 * slot: -1. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByTime(int32_t login, int32_t* slot, int32_t channel,
                                                   const char* start, const char* end);

/* Frees a remote slot. Returns -12 for a number outside 0..32 or a slot that
 * is not open. A running playback is not stopped. */
OVRA_API int32_t OVRA_CALL Ovra_DVR_CloseFile(int32_t slot);

#ifdef __cplusplus
}
#endif

#endif /* QXPLAYSDK_H */
