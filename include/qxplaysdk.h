/**
 * \file qxplaysdk.h
 * \brief qxplaysdk: one flat, handle-based C interface for showing video
 * from digital video recorders.
 *
 * A caller opens a local file or a live stream on a *port*, plays it into a
 * window and controls it, receives draw, end-of-file and decoded-frame
 * notifications, takes snapshots, sets colour and sound, records live
 * streams to files, carries a two-way voice talk on the voice port 99, and
 * logs in to a remote recorder to download and play back its recordings.
 *
 * Port numbers:
 * | Ports  | What                                                        |
 * |--------|-------------------------------------------------------------|
 * | 0..32  | remote slots (Ovra_DVR_OpenFileByName / Ovra_DVR_OpenFileByTime) |
 * | 33..97 | local ports (Ovra_OpenFile / Ovra_OpenStream)               |
 * | 98     | never valid                                                 |
 * | 99     | the voice port (Ovra_InitAudio)                             |
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
 * export says otherwise (Ovra_Stop and Ovra_SetDecodeCallback wait for the
 * port's running decode callback).
 *
 * This header is valid C99 and C++.
 *
 * \par Linking
 * On Linux, link with `pkg-config --cflags --libs qxplaysdk` or CMake's
 * `find_package(qxplaysdk)` and the target `qxplaysdk::qxplaysdk`. The
 * library (soname `libqxplaysdk.so.1`) loads its backend libraries
 * `libqxplay.so` (player), `libQx3GppPlaysdk.so` (3GPP play),
 * `libQX_3gpFileConv.so` (3GP converter) and `libqxnetsdk_sub.so` (network),
 * and the media engine `libqxmedia.so` that the first three share, first
 * from `LD_LIBRARY_PATH`, then from its private folder
 * (`<libdir>/qxplaysdk/`, through its RUNPATH). A library of the same name
 * placed earlier on `LD_LIBRARY_PATH` replaces a backend without
 * rebuilding. On Windows the DLLs sit beside `qxplaysdk.dll`.
 *
 * \par Window handles
 * A `window` is an opaque pointer-sized value that the library hands to the
 * backend unchanged. On Linux it is an X11 window id (`Window`, cast to
 * `void*`) of the display named by `DISPLAY`. On Windows it is an `HWND`. NULL
 * decodes without drawing, and every notification still fires. The caller
 * keeps the window alive until Ovra_Stop of the port has returned.
 *
 * \par Data passed in
 * The library keeps no pointer the caller passes, except where an export
 * says so: texts are copied before the export returns, and a block given to
 * Ovra_InputData or Ovra_InputAudioData may be reused or freed as soon as
 * the call returns (the bundled backends copy it into the port's buffer).
 * Pointers the library passes to callbacks are valid only during the call.
 *
 * \par The bundled Linux backends
 * The player, 3GPP play and converter libraries built with the library on
 * Linux decode with FFmpeg and draw and play sound with SDL2. With them:
 * - Every file name (to play, record into or take a snapshot to) is a local
 *   path, never a URL: `cam1:0930.ts` is a file in the working folder.
 * - Local files of any container and codec FFmpeg reads play; frame
 *   numbers count from 0 in presentation order and a file's total is
 *   exact. Live streams (MPEG-TS,
 *   MPEG-PS, raw H.264/H.265, MP4/3GP with its index first) are recognised
 *   from their bytes; bytes that are not are skipped. A live picture is
 *   decoded as soon as the stream's framing shows it complete; closing a
 *   playing stream first delivers every complete picture pushed.
 * - Decoded frames reach the decode callback as DecodeFrameInfo records
 *   whose fields are described with the record.
 * - Colour: brightness, contrast, saturation and hue each 0..128, default 64
 *   (no change), applied to what is drawn, not to decoded frames or
 *   snapshots. Volume 0..65535, default 65535. Sound plays for one port at a
 *   time and at normal speed only.
 * - Speeds: 1/16 to 16 in steps of two (see Ovra_SetPlaySpeed).
 * - Snapshots: `.bmp` or `.jpg`/`.jpeg`, complete on disk when
 *   Ovra_CapPic returns 0, also for 255-character names and two snapshots
 *   to one name at once.
 * - Recordings (record type 0): MPEG-TS written packet by packet, each file
 *   starting at a key frame; 3GP files through the converter (type 1).
 * - Voice: far-end audio is 8 kHz G.711 mu-law; captured audio arrives as
 *   1024-byte mu-law blocks from the default input device.
 *
 * \par Threads of the bundled backends
 * - one thread per open local port, from its open to its close: it reads,
 *   decodes and paces the port and makes the port's draw, end-of-file and
 *   decode notifications;
 * - one process-wide render thread, started when a port first plays into a
 *   window, that owns SDL's video and draws into every window;
 * - SDL's sound thread while the sound device is open (a port's sound or
 *   the voice channel);
 * - one capture thread while the voice capture is open; the audio-in
 *   callback runs there;
 * - one thread per running 3GP converter recording.
 *
 * A callback must not block for long: its port (or the capture) waits for
 * it.
 *
 * \par Environment variables
 * - `QXPLAYSDK_LOG`: `error`, `warning`, `info` or `debug` turns the
 *   library's log on at that level (with the bundled backends, FFmpeg's and
 *   SDL's own messages too); unset, the library writes nothing.
 * - `QXPLAYSDK_LOG_FILE`: the log goes to this file (appended) instead of
 *   standard error; set alone, it logs warnings and errors.
 * - `LD_LIBRARY_PATH`: searched for the backend libraries before the
 *   library's private folder.
 * - `DISPLAY`: the X display whose windows are drawn into.
 * - `SDL_AUDIODRIVER` and SDL's other variables: read by SDL. Without a
 *   sound device SDL's dummy driver is used; `SDL_AUDIODRIVER=disk` with
 *   `SDL_DISKAUDIOFILE` and `SDL_DISKAUDIOFILEIN` plays into and captures
 *   from files.
 * Each is read once, the first time it is needed.
 */
#ifndef QXPLAYSDK_H
#define QXPLAYSDK_H

#include <stddef.h>
#include <stdint.h>

/* ------------------------------------------------------------------------ */
/* Version                                                                  */
/* ------------------------------------------------------------------------ */

/** \brief Major version; the soname's number (`libqxplaysdk.so.1`). */
#define OVRA_VERSION_MAJOR 1
/** \brief Minor version: grows with additions that keep the ABI. */
#define OVRA_VERSION_MINOR 0
/** \brief Patch version: fixes only. */
#define OVRA_VERSION_PATCH 0
/** \brief The version as text, "MAJOR.MINOR.PATCH". */
#define OVRA_VERSION_STRING "1.0.0"

/* ------------------------------------------------------------------------ */
/* Linkage and calling conventions                                          */
/* ------------------------------------------------------------------------ */

/**
 * \def OVRA_API
 * \brief Marks the 45 exports: dllexport while the library itself is
 * built, dllimport for its callers on Windows, default visibility elsewhere
 * (the library is built with every other symbol hidden).
 *
 * A Windows program that links the library statically defines
 * `OVRA_STATIC`.
 */
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

/**
 * \def OVRA_CALL
 * \brief The exports' calling convention (the caller removes the
 * arguments); means nothing outside 32-bit Windows.
 *
 * \def OVRA_CALLBACK
 * \brief The convention of every function the library calls back (the
 * called function removes the arguments); means nothing outside 32-bit
 * Windows. Written inside the pointer's parentheses:
 * `typedef void (OVRA_CALLBACK *Name)(...)`.
 */
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

/** \brief The one list of result codes: name, value and the text that
 * Ovra_GetErrorMessage returns (NULL where a code has no text).
 *
 * The named constants of ::OvraResult and the library's message table are
 * both made from it. `X` is called once per code as `X(name, value, text)`.
 */
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

/** \brief Makes one enumerator of ::OvraResult from an entry of
 * OVRA_RESULT_CODES. */
#define OVRA_RESULT_CODE_ENUMERATOR(name, value, text) name = (value),
/** \brief Result codes. 0 is success; every failure is negative.
 *
 * | Code | Name | Meaning |
 * |-----:|------|---------|
 * | 0 | OVRA_OK | success |
 * | -1 | OVRA_NO_UNUSED_PORT | no free local port or remote slot |
 * | -2 | OVRA_PARAM_ERROR | a bad argument, port or port state |
 * | -3 | OVRA_PLAYSDK_ERROR | the player library refused |
 * | -4 | OVRA_AUDIO_NOT_INITIALISED | the voice channel is not open |
 * | -5 | OVRA_3GPPSDK_ERROR | the 3GPP play library or 3GP converter refused |
 * | -6 | OVRA_PARAM_OVER | a value out of its range |
 * | -7 | OVRA_NEED_FILE_MODE | the port does not play a file |
 * | -8 | OVRA_NEED_STREAM_MODE | the port does not play a live stream |
 * | -9 | OVRA_NETSDK_ERROR | the network library refused |
 * | -10 | OVRA_MEDIA_TYPE_NOT_RIGHT | the port's media type does not fit |
 * | -11 | OVRA_PARSE_TIME_ERROR | a time string cannot be read |
 * | -12 | OVRA_RECYCLE_PORT_ERROR | the remote slot cannot be given back |
 */
enum OvraResult { OVRA_RESULT_CODES(OVRA_RESULT_CODE_ENUMERATOR) };
#undef OVRA_RESULT_CODE_ENUMERATOR

/** \brief Fixed port numbers and ranges. */
enum OvraPorts {
  OVRA_FIRST_REMOTE_SLOT = 0, /**< first remote slot */
  OVRA_LAST_REMOTE_SLOT = 32, /**< last remote slot */
  OVRA_FIRST_LOCAL_PORT = 33, /**< first local port */
  OVRA_LAST_LOCAL_PORT = 97,  /**< last local port */
  OVRA_VOICE_PORT = 99        /**< the voice port */
};

/** \brief Media types of Ovra_OpenStream and record types of
 * Ovra_RecordStart. */
enum OvraMediaType {
  OVRA_MEDIA_PLAYER = 0, /**< served by the player library */
  OVRA_MEDIA_3GPP = 1    /**< served by the 3GPP play library / 3GP converter */
};

/* ------------------------------------------------------------------------ */
/* Records and callbacks                                                    */
/* ------------------------------------------------------------------------ */

/** \brief The record handed to a decode callback for each decoded frame.
 *
 * On 32-bit builds it is 32 bytes, eight little-endian 32-bit fields without
 * padding; on 64-bit builds extra_a and extra_b are pointer-sized (40
 * bytes). Each field says what it holds with the bundled Linux backends;
 * another player library may fill the `info_*` words differently. The
 * player's key-frame flag (its word at offset 12) is not part of the
 * record. The picture is planar YUV 4:2:0 (I420) without row padding: the Y
 * plane of width × height bytes, then the U and the V plane of
 * ((width + 1) / 2) × ((height + 1) / 2) bytes each. With the bundled
 * backends the picture is upright: a file or stream whose display matrix
 * says to turn it by a quarter or half turn is turned before it is shown,
 * snapshotted or handed here, so a quarter turn swaps width and height
 * against the stored size. The record and the picture are valid only until
 * the callback returns; copy what is kept.
 */
typedef struct DecodeFrameInfo {
  uint32_t marker;   /**< always 1 */
  uint32_t info_c;   /**< the player's frame information, word at offset 8;
                          bundled backends: the frame's time in milliseconds
                          from the first frame */
  uint32_t info_e;   /**< the player's frame information, word at offset 16;
                          bundled backends: frames per second, rounded */
  uint32_t sequence; /**< frames handed to this port's decode callback before
                        this one since the port's last Ovra_Stop */
  uint32_t info_a;   /**< the player's frame information, word at offset 0;
                          bundled backends: the picture's width in pixels */
  uint32_t info_b;   /**< the player's frame information, word at offset 4;
                          bundled backends: the picture's height in pixels */
  uintptr_t extra_a; /**< the decode notification's second value, unchanged;
                          bundled backends: the address of the I420 picture */
  uintptr_t extra_b; /**< the decode notification's third value, unchanged;
                          bundled backends: the picture's size in bytes */
} DecodeFrameInfo;

/** \brief Draw notification of a local port: the three values of the player
 * library's notification, unchanged, the port first.
 *
 * Runs on a thread of the player library (with the bundled backends: the
 * port's own thread, after each picture went to the window).
 * \param port the local port
 * \param value2 bundled backends: the window handle given to Ovra_Play
 * \param value3 the `user` given to Ovra_RegisterDrawFun, until Ovra_Play of
 *        the port registers the draw notification again, with 0: find the
 *        port's own data by its number
 */
typedef void(OVRA_CALLBACK* OvraDrawFun)(int32_t port, uintptr_t value2, uintptr_t value3);

/** \brief End of a file port's file: the two values of the player library's
 * notification, unchanged, the port first.
 *
 * Runs on a thread of the player library (with the bundled backends: the
 * port's own thread, each time playback reaches the end).
 * \param port the local port
 * \param value2 the `user` given to Ovra_SetFileEndCallback
 */
typedef void(OVRA_CALLBACK* OvraFileEndCallback)(int32_t port, uintptr_t value2);

/** \brief One decoded frame of a local port.
 *
 * Runs on a thread of the player library with no lock of the library held,
 * so it may call any export for any port. Calls of one port's callback never
 * overlap. Ovra_Stop and Ovra_SetDecodeCallback of the same port wait for a
 * running call of the old callback, also when called from another port's
 * callback, with one exception: when the thread running that call is itself
 * waiting, directly or through other ports' callbacks, for the calling
 * thread (two ports' callbacks stopping each other, or three in a ring),
 * waiting would never end, so they return without waiting; the running
 * call goes on to its end and no further call of the old callback begins.
 * A callback may call both for its own port without blocking. A C++
 * exception thrown out of a draw, end-of-file or decode callback ends
 * inside the library, which carries on as if the callback had returned (the
 * frame still counts).
 * \param port the local port
 * \param info the frame; valid only until the callback returns
 * \param user the value the player library hands back with the frame (the
 *        user data given to Ovra_SetDecodeCallback)
 */
typedef void(OVRA_CALLBACK* OvraDecodeCallback)(int32_t port, const DecodeFrameInfo* info,
                                                uintptr_t user);

/** \brief A recording file is finished.
 *
 * Runs on the caller's own thread, inside Ovra_RecordStop or
 * Ovra_RecordSwitchFile, with no lock held: it may call the recording
 * exports again.
 * \param port the local port
 * \param file_name its name as the library keeps it (at most 259
 *        characters, always terminated), valid for the duration of the call
 * \param user the value given to Ovra_SetRecordFileReadyCallback
 */
typedef void(OVRA_CALLBACK* OvraRecordFileReadyCallback)(int32_t port, const char* file_name,
                                                         uintptr_t user);

/** \brief One captured voice frame.
 *
 * A frame is the 8-byte header 00 00 01 F0 0C 02 00 04 followed by at most
 * 4096 bytes of captured audio. A captured block longer than 4096 bytes
 * arrives whole as consecutive frames, in order, each with the header; an
 * empty block (or one the player library delivers without data) as the
 * header alone. Runs on the player library's capture thread.
 * \param port always 99
 * \param frame the frame; valid only for the duration of the call
 * \param length header and audio together (8..4104)
 * \param user the value given to Ovra_SetAudioInCallback
 */
typedef void(OVRA_CALLBACK* OvraAudioInCallback)(int32_t port, const uint8_t* frame, int32_t length,
                                                 uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Result texts                                                             */
/* ------------------------------------------------------------------------ */

/** \brief Returns the constant text of a result code.
 *
 * The same pointer for the same code on every call. Never fails; reads only
 * constant data.
 * \param code any integer
 * \return the text, which the caller neither frees nor modifies; NULL for
 *         -4, -9 and any code outside 0..-12
 * \threadsafety any thread, at any time, also from a callback
 */
OVRA_API const char* OVRA_CALL Ovra_GetErrorMessage(int32_t code);

/* ------------------------------------------------------------------------ */
/* Media sources                                                            */
/* ------------------------------------------------------------------------ */

/** \brief Opens a file on the lowest free local port.
 *
 * The port number is written to *port before the player library opens the
 * file; if it refuses the port stays taken and is given back with
 * Ovra_CloseFile. On success the port is in file mode.
 * \param port receives the port; written even when the open then fails
 * \param file_name the file; copied by the backend before the call returns
 * \retval OVRA_OK the file is open on *port
 * \retval OVRA_PARAM_ERROR file_name or port NULL (no port taken)
 * \retval OVRA_NO_UNUSED_PORT no free local port
 * \retval OVRA_PLAYSDK_ERROR the player library refused the file (the port
 *         stays taken)
 * \threadsafety any thread; opens of several threads take different ports
 */
OVRA_API int32_t OVRA_CALL Ovra_OpenFile(int32_t* port, const char* file_name);

/** \brief Closes the file of a local port and always gives the port back.
 *
 * With the bundled backends no notification of the port begins once it has
 * returned. Called from inside a callback (of any port) it does not wait
 * for a callback of the closed port that is running meanwhile, which may be
 * waiting for this one (two ports' callbacks closing each other): that
 * callback runs to its end.
 * \param port a local port
 * \retval OVRA_OK closed
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused the close; the port
 *         is free all the same
 * \threadsafety any thread; not while another call acts on the same port
 */
OVRA_API int32_t OVRA_CALL Ovra_CloseFile(int32_t port);

/** \brief Opens a live stream on the lowest free local port.
 *
 * The port number is written to *port before anything else; after a
 * failure other than the first two the port stays taken. A refused open is
 * given back with Ovra_CloseStream; after an unknown media type the port
 * keeps whatever media type it had, so Ovra_CloseFile is the close that
 * always gives it back.
 * \param port receives the port; written even when the open then fails
 * \param initial_block the stream's first bytes, or NULL; handed to the
 *        backend with `initial_length` and `buffer_size`, not kept
 * \param initial_length bytes at initial_block
 * \param buffer_size bytes of pushed stream the port buffers (bundled
 *        backends: at most 256 MiB, memory taken as bytes arrive; a block
 *        that does not fit is refused)
 * \param media_type ::OVRA_MEDIA_PLAYER (0) selects the player library,
 *        ::OVRA_MEDIA_3GPP (1) the 3GPP play library
 * \retval OVRA_OK the stream is open on *port
 * \retval OVRA_PARAM_ERROR port NULL (no port taken); a media type other
 *         than 0 or 1 (port taken); a buffer size (or initial block) the
 *         backend can never take, for the bundled backends above 256 MiB
 *         (port taken)
 * \retval OVRA_NO_UNUSED_PORT no free local port
 * \retval OVRA_PLAYSDK_ERROR the player library refused (port taken)
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused (port taken)
 * \threadsafety any thread; opens of several threads take different ports
 */
OVRA_API int32_t OVRA_CALL Ovra_OpenStream(int32_t* port, const void* initial_block,
                                           uint32_t initial_length, uint32_t buffer_size,
                                           int32_t media_type);

/** \brief Closes the stream of a local port and gives the port back.
 *
 * With the bundled backends a playing stream first delivers every complete
 * picture pushed, and no notification of the port begins once the close
 * has returned. Called from inside a callback (of any port) it delivers no
 * more pictures and does not wait for a callback of the closed port that is
 * running meanwhile (see Ovra_CloseFile).
 * \param port a local port
 * \retval OVRA_OK closed
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; the port's media
 *         type neither 0 nor 1 (the port is not released)
 * \retval OVRA_PLAYSDK_ERROR the player library refused the close; the port
 *         is free all the same
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused the close; the
 *         port is free all the same
 * \threadsafety any thread; not while another call acts on the same port
 */
OVRA_API int32_t OVRA_CALL Ovra_CloseStream(int32_t port);

/** \brief Feeds one block of a live stream to the port's backend.
 *
 * While a 3GPP recording runs on the port, the block goes to the 3GP
 * converter as well. The library neither checks nor copies the block; the
 * bundled backends copy it, so it may be reused as soon as the call
 * returns. The bundled backends never block here: a block that does not fit
 * into the port's buffer now is refused (-3 / -5) and can be offered again;
 * a block larger than the whole buffer can never fit and is an argument
 * error (-2): do not offer it again.
 * \param port a stream port
 * \param data the block; not kept after the call returns
 * \param length bytes at data
 * \retval OVRA_OK the backend took the block
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; media type neither
 *         0 nor 1; the block is larger than the whole stream buffer
 * \retval OVRA_PLAYSDK_ERROR the player library refused the block (its
 *         buffer is full now)
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused the block
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_InputData(int32_t port, const void* data, uint32_t length);

/* ------------------------------------------------------------------------ */
/* Caller callbacks                                                         */
/* ------------------------------------------------------------------------ */

/** \brief Registers the draw function that serves every port from now on
 * and registers the port with the player library.
 * \param port a local port
 * \param draw_fun the function, kept until replaced; NULL turns draw
 *        notifications off
 * \param user handed back as the callback's third value
 * \retval OVRA_OK registered, whatever the player library answers
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \threadsafety any thread; a notification running meanwhile calls the old
 *               or the new function, never a NULL one
 */
OVRA_API int32_t OVRA_CALL Ovra_RegisterDrawFun(int32_t port, OvraDrawFun draw_fun, uintptr_t user);

/** \brief Registers the end-of-file callback that serves every file port
 * from now on and registers the port with the player library.
 * \param port a file port
 * \param callback the function, kept until replaced; NULL turns
 *        notifications off
 * \param user handed back as the callback's second value
 * \retval OVRA_OK registered
 * \retval OVRA_PARAM_ERROR port outside 33..97; port free (checked after
 *         the file mode)
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused the registration;
 *         the new callback is in place all the same
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_SetFileEndCallback(int32_t port, OvraFileEndCallback callback,
                                                   uintptr_t user);

/** \brief Sets the port's decode callback and asks the player library for
 * decoded frames.
 *
 * Waits for a call of the port's old decode callback that is running on
 * another thread, unless that thread waits for this one (see
 * ::OvraDecodeCallback). The frame
 * numbering (`sequence`) continues; Ovra_Stop restarts it.
 * \param port a local port
 * \param callback the function, kept until Ovra_Stop or the next call
 * \param user handed back with every frame
 * \retval OVRA_OK set
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; callback NULL
 * \retval OVRA_PLAYSDK_ERROR the player library refused the registration
 *         (the callback is then cleared) or the stream selection (the
 *         callback stays and frames keep arriving)
 * \threadsafety any thread, also from the port's own decode callback
 */
OVRA_API int32_t OVRA_CALL Ovra_SetDecodeCallback(int32_t port, OvraDecodeCallback callback,
                                                  uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Play control                                                             */
/* ------------------------------------------------------------------------ */

/** \brief Plays a local port into a window, or starts the playback of a
 * remote slot into it.
 *
 * Local port (33..97): a stream port of media type 1 plays through the 3GPP
 * play library; a file port, and a port of any other media type, registers
 * the draw notifications and plays through the player library at normal
 * speed. The slot state is not tested.
 * With the bundled backends, Ovra_Play on a playing port returns to normal
 * speed and resumes.
 * \param port a local port or a remote slot (0..32)
 * \param window the window handle (X11 window id on Linux, HWND on
 *        Windows), or NULL to decode without drawing; kept by the backend
 *        until Ovra_Stop
 * \retval OVRA_OK playing
 * \retval OVRA_PARAM_ERROR a port outside 0..97; remote slot by time: a
 *         time text cannot be read or the network library refuses
 * \retval OVRA_PLAYSDK_ERROR the player library refused; with the bundled
 *         backends also a window handle that names no window of the
 *         display (no X server, a destroyed window, a pixmap, a value
 *         wider than an X id's 29 bits)
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused
 * \retval OVRA_NETSDK_ERROR remote slot by name: the network library
 *         refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_Play(int32_t port, void* window);

/** \brief Stops a local port or a remote slot's playback.
 *
 * A file port stops through the player library, a stream port through the
 * backend of its media type.
 * Clears the port's decode callback and restarts its frame numbering
 * whatever the backend then says; once it has returned, the old decode
 * callback is never called again (with the bundled backends, no
 * notification of the port begins after it has returned). Waits for a
 * decode callback of the port that is running on another thread, unless
 * that thread waits for this one (see ::OvraDecodeCallback): two ports'
 * callbacks may stop each other.
 * \param port a local port or a remote slot
 * \retval OVRA_OK stopped
 * \retval OVRA_PARAM_ERROR port outside 0..97; port free
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused the stop
 * \retval OVRA_PLAYSDK_ERROR the player library refused the stop
 * \retval OVRA_NETSDK_ERROR the network library refused to stop a remote
 *         playback
 * \threadsafety any thread; may be called from the decode callback for its
 *               own port
 */
OVRA_API int32_t OVRA_CALL Ovra_Stop(int32_t port);

/** \brief Pauses or resumes.
 * \param port a local port
 * \param pause handed to the player library unchanged (nonzero pauses, 0
 *        resumes)
 * \retval OVRA_OK done
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_Pause(int32_t port, uint32_t pause);

/** \brief Moves to a position given in hundredths of the file.
 *
 * With the bundled backends the jump lands on a frame exactly (decoding
 * from the key frame before it) and returns once it is decoded.
 * \param port a local port
 * \param position hundredths of the file (50 is the middle), handed on
 *        without a range test
 * \retval OVRA_OK moved
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_SetPlayPos(int32_t port, int32_t position);

/** \brief Writes the position in hundredths (truncated toward zero).
 *
 * An answer that no 32-bit position can hold is written as the nearest
 * limit (not a number: 0). With the bundled backends the position is the
 * shown frame's number over the total, 100 at the end.
 * \param port a local port
 * \param position receives the position
 * \retval OVRA_OK written, whatever the player library answers
 * \retval OVRA_PARAM_ERROR position NULL; port outside 33..97 or free
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetPlayPos(int32_t port, int32_t* position);

/** \brief Changes the play speed in the player library's faster and slower
 * steps and keeps `speed` as the port's play speed.
 *
 * 16: 4 faster steps, 8: 3, 4: 2, 2: 1; 1: normal; 1/2: 1 slower step, ...,
 * 1/16: 4. The speed is absolute: only the steps between those already
 * issued since the port last played at normal speed (opened, Ovra_Play,
 * Ovra_Stop, speed 1) and those of `speed` are issued, so 2 after 16 makes
 * 3 slower steps. With the bundled backends sound plays at normal speed
 * only.
 * \param port a local port
 * \param speed 1/16 .. 16
 * \retval OVRA_OK set, whatever the player library answers
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PARAM_OVER speed above 16, below 1/16 or not a number
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_SetPlaySpeed(int32_t port, float speed);

/** \brief Writes the port's play speed.
 *
 * 4.0 until Ovra_SetPlaySpeed first stores one. A free port answers too.
 * \param port a local port
 * \param speed receives the speed
 * \retval OVRA_OK written
 * \retval OVRA_PARAM_ERROR speed NULL; port outside 33..97
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetPlaySpeed(int32_t port, float* speed);

/** \brief Steps one frame forward.
 * \param port a file port
 * \retval OVRA_OK stepped
 * \retval OVRA_PARAM_ERROR port outside 33..97; port free (checked after
 *         the file mode)
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_NextFrame(int32_t port);

/** \brief Steps one frame back.
 *
 * Checks as Ovra_NextFrame. With the bundled backends the step lands on the
 * frame before exactly.
 * \param port a file port
 * \retval OVRA_OK stepped
 * \retval OVRA_PARAM_ERROR port outside 33..97; port free (checked after
 *         the file mode)
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_PreviousFrame(int32_t port);

/** \brief Writes the file's total frame count.
 *
 * With the bundled backends the count is exact (from an index of the
 * file's packets built when it is opened).
 * \param port a file port
 * \param frames receives the count
 * \retval OVRA_OK written, whatever the player library answers
 * \retval OVRA_PARAM_ERROR frames NULL; port outside 33..97 or free
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetFileTotalFrames(int32_t port, uint32_t* frames);

/** \brief Writes the number of frames played.
 *
 * Checks as Ovra_GetFileTotalFrames. With the bundled backends: the shown
 * frame's number + 1.
 * \param port a file port
 * \param frames receives the count
 * \retval OVRA_OK written, whatever the player library answers
 * \retval OVRA_PARAM_ERROR frames NULL; port outside 33..97 or free
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetPlayedFrames(int32_t port, uint32_t* frames);

/** \brief Jumps to a frame.
 *
 * With the bundled backends the jump lands on the frame exactly and
 * returns once it is decoded. Called from inside a notification (of any
 * port) it does not wait: the jump is queued, runs once that port's thread
 * is free, and OVRA_OK means it was accepted.
 * \param port a file port
 * \param frame the frame number, from 0
 * \retval OVRA_OK jumped
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_NEED_FILE_MODE port not in file mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_SetCurrentFrameNum(int32_t port, uint32_t frame);

/* ------------------------------------------------------------------------ */
/* Picture, colour and sound                                                */
/* ------------------------------------------------------------------------ */

/** \brief Saves the current picture to a file (always through the player
 * library).
 *
 * With the bundled backends: `.bmp` or `.jpg`/`.jpeg`, without the colour
 * settings, written under a temporary name and renamed, so the file is
 * complete when the call returns 0.
 * \param port a local port
 * \param file_name the picture's file; not kept
 * \retval OVRA_OK saved
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; file_name NULL
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_CapPic(int32_t port, const char* file_name);

/** \brief Sets the four colour values, in this order, through the backend
 * that serves the port: the player library for a file port, else the
 * backend of the port's media type.
 *
 * With the bundled backends each value is 0..128, 64 (the default) leaving
 * the picture unchanged; they apply to what is drawn.
 * \param port a local port
 * \param brightness brightness
 * \param contrast contrast
 * \param saturation saturation
 * \param hue hue
 * \retval OVRA_OK set
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; a stream port of
 *         media type neither 0 nor 1
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_SetColor(int32_t port, int32_t brightness, int32_t contrast,
                                         int32_t saturation, int32_t hue);

/** \brief Reads the four colour values through the backend that serves the
 * port (as Ovra_SetColor), which writes them through the four pointers.
 * \param port a local port
 * \param brightness receives the brightness
 * \param contrast receives the contrast
 * \param saturation receives the saturation
 * \param hue receives the hue
 * \retval OVRA_OK read
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; a stream port of
 *         media type neither 0 nor 1 (nothing is written)
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \retval OVRA_3GPPSDK_ERROR the 3GPP play library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetColor(int32_t port, int32_t* brightness, int32_t* contrast,
                                         int32_t* saturation, int32_t* hue);

/** \brief Switches the port's sound on.
 *
 * With the bundled backends sound is on for one port at a time: this port's
 * sound replaces another's.
 * \param port a local port
 * \retval OVRA_OK on
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_PlaySound(int32_t port);

/** \brief Switches sound off.
 *
 * The player library's sound is not per port; the port is only checked.
 * \param port a local port
 * \retval OVRA_OK off
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_StopSound(int32_t port);

/** \brief Sets the volume.
 * \param port a local port
 * \param volume 0..65535 (bundled backends: default 65535); only the low 16
 *        bits are used (65536 sets 0)
 * \retval OVRA_OK set
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_SetVolume(int32_t port, uint32_t volume);

/** \brief Writes the volume, 0..65535.
 * \param port a local port
 * \param volume receives the volume
 * \retval OVRA_OK written, whatever the player library answers
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; volume NULL
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_GetVolume(int32_t port, uint32_t* volume);

/* ------------------------------------------------------------------------ */
/* Recording                                                                */
/* ------------------------------------------------------------------------ */

/** \brief Starts recording the port into a file.
 *
 * Record type 0 records through the player library (any source mode), 1
 * through the 3GP converter (stream ports only), which from then on also
 * receives every block given to Ovra_InputData. On success the port is
 * recording and its media type becomes the record type. A start on a port
 * that already records restarts the backend with the new file without
 * announcing the old one. Closing the port neither stops the recording nor
 * forgets it.
 * \param port a local port
 * \param file_name the file; the library keeps its first 259 characters
 *        (the backend gets the whole string); the caller's string is not
 *        kept
 * \param record_type ::OVRA_MEDIA_PLAYER (0) or ::OVRA_MEDIA_3GPP (1)
 * \retval OVRA_OK recording
 * \retval OVRA_PARAM_ERROR file_name NULL; port outside 33..97 or free;
 *         record type other than 0 or 1
 * \retval OVRA_NEED_STREAM_MODE type 1 on a port not in stream mode
 * \retval OVRA_MEDIA_TYPE_NOT_RIGHT type 1 on a stream port the player
 *         library decodes (opened with media type 0): nothing changes and
 *         the port goes on as before
 * \retval OVRA_PLAYSDK_ERROR the player library refused; nothing changes
 * \retval OVRA_3GPPSDK_ERROR the converter refused; nothing changes
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_RecordStart(int32_t port, const char* file_name,
                                            int32_t record_type);

/** \brief Stops the port's recording and announces the finished file.
 *
 * The record-file-ready callback runs on this thread before the call
 * returns; the name stays with the port. On Linux the files of one
 * recording hold every picture the port received between start and stop,
 * each file from a key frame: MPEG-TS when the codecs fit (H.264, H.265,
 * MPEG-2, MPEG-4 Part 2 video; AAC, MP2, MP3, AC-3, Opus sound), otherwise
 * Matroska under the same name; every sound stream is kept as it is.
 * Converter recordings are 3GP (AAC or AMR sound; other sound is left out).
 * \param port a recording local port
 * \retval OVRA_OK stopped and announced
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free; not recording;
 *         media type neither 0 nor 1
 * \retval OVRA_NEED_STREAM_MODE converter recording on a port not in
 *         stream mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused; nothing is
 *         announced. On Linux it refuses when the file could not be written
 *         whole (a write error such as a full disk, its trailer, or no key
 *         frame arrived): its recording has then ended all the same, the
 *         file keeps what was written, the port still counts as recording,
 *         a repeated stop is refused again and Ovra_RecordStart starts afresh
 * \retval OVRA_3GPPSDK_ERROR the converter refused, as above
 * \threadsafety any thread, also from the record-file-ready callback; the
 *               caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_RecordStop(int32_t port);

/** \brief Finishes the current recording file, announces it, and goes on
 * recording into a new file.
 *
 * The record-file-ready callback runs on this thread. The port's recording
 * state is not consulted: on a port that is not recording the backend
 * starts recording into the new file, the name the port last kept is
 * announced (empty if none) and the port still counts as not recording.
 * The file being left goes on until the next key frame, where the new file
 * begins, so it may still grow by up to one group of pictures after it is
 * announced (Linux: MPEG-TS files stay readable throughout; 3GP files are
 * complete once that key frame came), and then takes the sound of the time
 * before that key frame that the stream carries after it (until every sound
 * stream has reached it, the pictures are 2 s past it, or the recording
 * stops).
 * \param port a local port
 * \param new_file_name the next file; kept as Ovra_RecordStart keeps it
 * \retval OVRA_OK switched
 * \retval OVRA_PARAM_ERROR new_file_name NULL; port outside 33..97 or free;
 *         media type neither 0 nor 1
 * \retval OVRA_NEED_STREAM_MODE converter recording on a port not in
 *         stream mode
 * \retval OVRA_PLAYSDK_ERROR the player library refused (the new file cannot
 *         be created, e.g. its folder does not exist): the old name is
 *         kept; if the old file had been finished it is announced all the
 *         same and the recording has ended, as after Ovra_RecordStop (the
 *         port no longer records, Ovra_RecordStop returns -2, start again
 *         with Ovra_RecordStart)
 * \retval OVRA_3GPPSDK_ERROR the converter refused: nothing announced,
 *         nothing changed, the recording goes on in the old file
 * \threadsafety any thread, also from the record-file-ready callback; the
 *               caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_RecordSwitchFile(int32_t port, const char* new_file_name);

/** \brief Sets the port's record-file-ready callback and the user data
 * handed back with it.
 *
 * Both stay with the port number across close and reopen.
 * \param port a local port
 * \param callback the function; NULL turns announcements off
 * \param user handed back with every announcement
 * \retval OVRA_OK set
 * \retval OVRA_PARAM_ERROR port outside 33..97 or free
 * \threadsafety any thread; the caller serialises the calls of one port
 */
OVRA_API int32_t OVRA_CALL Ovra_SetRecordFileReadyCallback(int32_t port,
                                                           OvraRecordFileReadyCallback callback,
                                                           uintptr_t user);

/* ------------------------------------------------------------------------ */
/* Voice talk (port 99)                                                     */
/* ------------------------------------------------------------------------ */

/** \brief Opens the voice channel and writes the voice port 99.
 *
 * The port is written before any backend call. Calling it on an open
 * channel repeats every step.
 * \param port receives 99
 * \retval OVRA_OK open
 * \retval OVRA_PARAM_ERROR port NULL
 * \retval OVRA_PLAYSDK_ERROR the player library refused one of the three
 *         opening steps (nothing is undone; an open channel stays open, a
 *         closed one closed)
 * \threadsafety any thread; the caller serialises the voice calls
 */
OVRA_API int32_t OVRA_CALL Ovra_InitAudio(int32_t* port);

/** \brief Sets the audio-in callback and opens the local capture.
 *
 * Every captured block then reaches the callback as voice frames, on the
 * capture thread. The callback is stored before the capture is opened and
 * stays set when the player library refuses and after Ovra_CloseAudio;
 * reopening the channel does not reopen the capture.
 * \param port 99
 * \param callback the function, kept until the next call
 * \param user handed back with every frame
 * \retval OVRA_OK capturing
 * \retval OVRA_PARAM_ERROR port other than 99; callback NULL
 * \retval OVRA_AUDIO_NOT_INITIALISED voice channel not open (nothing
 *         stored)
 * \retval OVRA_PLAYSDK_ERROR the player library refused the capture
 * \threadsafety any thread; the caller serialises the voice calls
 */
OVRA_API int32_t OVRA_CALL Ovra_SetAudioInCallback(int32_t port, OvraAudioInCallback callback,
                                                   uintptr_t user);

/** \brief Plays one block of far-end audio.
 *
 * With the bundled backends the audio is 8 kHz G.711 mu-law; the block is
 * copied, so it may be reused as soon as the call returns.
 * \param port 99
 * \param data the block; not kept after the call returns
 * \param length bytes at data
 * \retval OVRA_OK queued for playing
 * \retval OVRA_PARAM_ERROR port other than 99; data NULL
 * \retval OVRA_AUDIO_NOT_INITIALISED voice channel not open
 * \retval OVRA_PLAYSDK_ERROR the player library refused
 * \threadsafety any thread; the caller serialises the voice calls
 */
OVRA_API int32_t OVRA_CALL Ovra_InputAudioData(int32_t port, const void* data, uint32_t length);

/** \brief Closes the voice channel: stops playback, closes the stream and
 * the capture (also one never opened).
 * \param port 99
 * \retval OVRA_OK closed
 * \retval OVRA_PARAM_ERROR port other than 99
 * \retval OVRA_AUDIO_NOT_INITIALISED voice channel not open
 * \retval OVRA_PLAYSDK_ERROR the player library refused a step: the later
 *         steps are not made and the channel stays open
 * \threadsafety any thread, not from the audio-in callback; the caller
 *               serialises the voice calls
 */
OVRA_API int32_t OVRA_CALL Ovra_CloseAudio(int32_t port);

/* ------------------------------------------------------------------------ */
/* Recorder sessions and downloads                                          */
/* ------------------------------------------------------------------------ */

/** \brief Logs in to a recorder.
 *
 * Writes the network library's answer to *login, also when it is a
 * failure.
 * \param login receives the login handle
 * \param address the recorder's address; not kept
 * \param recorder_port the recorder's port; only the low 16 bits are used
 * \param user_name the user name; not kept
 * \param password the password; not kept
 * \retval OVRA_OK logged in: *login is greater than 0
 * \retval OVRA_PARAM_ERROR login NULL; address NULL
 * \retval OVRA_NETSDK_ERROR the answer is not greater than 0
 * \threadsafety any thread; blocks while the network library logs in
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_Login(int32_t* login, const char* address,
                                          uint32_t recorder_port, const char* user_name,
                                          const char* password);

/** \brief Logs out.
 * \param login a login handle of Ovra_DVR_Login
 * \retval OVRA_OK logged out
 * \retval OVRA_NETSDK_ERROR a login handle below 1 (without a call), or the
 *         network library's clean-up failed
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_Logout(int32_t login);

/** \brief Starts downloading a recorded file by name.
 *
 * Writes the download handle to *download, also when the network library
 * refuses.
 * \param login a login handle
 * \param download receives the download handle
 * \param file_name the file on the recorder; not kept
 * \param target the local file; not kept
 * \retval OVRA_OK downloading
 * \retval OVRA_PARAM_ERROR download NULL; file_name NULL; target NULL;
 *         login below 1
 * \retval OVRA_NETSDK_ERROR the network library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByName(int32_t login, int32_t* download,
                                                  const char* file_name, const char* target);

/** \brief Starts downloading a channel's recordings between two time
 * strings.
 *
 * Writes the download handle to *download, also when the network library
 * refuses. `target` and `channel` are handed on unchecked.
 * \param login a login handle
 * \param download receives the download handle
 * \param channel the recorder's channel
 * \param start "YYYY-MM-DD hh-mm-ss"; not kept
 * \param end "YYYY-MM-DD hh-mm-ss"; not kept
 * \param target the local file; not kept
 * \retval OVRA_OK downloading
 * \retval OVRA_PARAM_ERROR download NULL; start NULL; end NULL; login
 *         below 1
 * \retval OVRA_PARSE_TIME_ERROR start, then end, not readable
 * \retval OVRA_NETSDK_ERROR the network library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByTime(int32_t login, int32_t* download, int32_t channel,
                                                  const char* start, const char* end,
                                                  const char* target);

/** \brief Writes the network library's position of a download.
 * \param download a download handle
 * \param position receives the position, as the network library gives it
 * \retval OVRA_OK written
 * \retval OVRA_PARAM_ERROR position NULL
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_GetDownloadPos(int32_t download, int32_t* position);

/** \brief Stops a download.
 * \param download a download handle
 * \retval OVRA_OK stopped
 * \retval OVRA_NETSDK_ERROR the network library refused
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_StopGetFile(int32_t download);

/* ------------------------------------------------------------------------ */
/* Remote files                                                             */
/* ------------------------------------------------------------------------ */

/** \brief Opens a recorded file by name in the lowest free remote slot;
 * Ovra_Play and Ovra_Stop then play it.
 * \param login a login handle
 * \param slot receives the slot
 * \param file_name the file on the recorder; the slot keeps at most its
 *        first 259 characters
 * \retval OVRA_OK open in *slot
 * \retval OVRA_PARAM_ERROR slot NULL; file_name NULL
 * \retval OVRA_NO_UNUSED_PORT no free remote slot
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByName(int32_t login, int32_t* slot,
                                                   const char* file_name);

/** \brief Opens a channel's recordings between two time strings in the
 * lowest free remote slot.
 *
 * The slot reads the texts only when it is played.
 * \param login a login handle
 * \param slot receives the slot
 * \param channel the recorder's channel
 * \param start "YYYY-MM-DD hh-mm-ss"; the slot keeps at most its first 31
 *        characters
 * \param end as start
 * \retval OVRA_OK open in *slot
 * \retval OVRA_PARAM_ERROR slot NULL; start NULL; end NULL
 * \retval OVRA_NO_UNUSED_PORT no free remote slot
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByTime(int32_t login, int32_t* slot, int32_t channel,
                                                   const char* start, const char* end);

/** \brief Frees a remote slot. A running playback is not stopped.
 * \param slot a remote slot
 * \retval OVRA_OK freed
 * \retval OVRA_RECYCLE_PORT_ERROR a number outside 0..32 or a slot that is
 *         not open
 * \threadsafety any thread
 */
OVRA_API int32_t OVRA_CALL Ovra_DVR_CloseFile(int32_t slot);

#ifdef __cplusplus
}
#endif

#endif /* QXPLAYSDK_H */
