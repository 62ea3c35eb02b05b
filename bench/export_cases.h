// The exports whose cost is measured, each next to the backend operations it
// reaches when everything succeeds, called directly.
//
// Both sides cross the same shared-library boundary into the same no-op
// backend libraries: an export costs the call into the library, its argument
// and port checks, its lock round trips and the backend call; the direct side
// is the backend call alone. Every operation answers whether it succeeded,
// so that a measurement can refuse to time a failure path.
//
// QX_EXPORT_CASES(X) lists the rows as X(row, exports, lock round trips,
// through the export, direct). The lock round trips are those one pass of
// the row makes on the success path: table-lock round trips (each read or
// write of a guarded per-port word) plus port-lock round trips.
#ifndef QXPLAYSDK_BENCH_EXPORT_CASES_H
#define QXPLAYSDK_BENCH_EXPORT_CASES_H

#include <cstdint>

#include "backends/gpp_player.h"
#include "backends/network.h"
#include "backends/player.h"
#include "qxplaysdk.h"

namespace qxbench {

// The ports every row works on, opened once on first use.
struct BenchPorts {
  int32_t player_stream = -1;  // a live stream served by the player library
  int32_t gpp_stream = -1;     // a live stream served by the 3GPP play library
  int32_t voice = -1;          // the voice channel, opened
  bool ready = false;          // false when any of them could not be opened
};

inline BenchPorts OpenBenchPorts() {
  BenchPorts ports;
  constexpr uint32_t kStreamBuffer = 1U << 20;
  ports.ready =
      Ovra_OpenStream(&ports.player_stream, nullptr, 0, kStreamBuffer, OVRA_MEDIA_PLAYER) ==
          OVRA_OK &&
      Ovra_OpenStream(&ports.gpp_stream, nullptr, 0, kStreamBuffer, OVRA_MEDIA_3GPP) == OVRA_OK &&
      Ovra_InitAudio(&ports.voice) == OVRA_OK;
  return ports;
}

inline const BenchPorts& Ports() {
  static const BenchPorts ports = OpenBenchPorts();
  return ports;
}

// One block of stream or voice data, as a caller feeds it.
inline constexpr uint32_t kBlockLength = 1024;
inline const uint8_t* Block() {
  static const uint8_t block[kBlockLength] = {};
  return block;
}

inline constexpr const char* kRecordFileName = "bench-record.dat";
inline constexpr int32_t kDownloadHandle = 1;

// Media sources.
inline bool ExportInputDataPlayer(const BenchPorts& p) {
  return Ovra_InputData(p.player_stream, Block(), kBlockLength) == OVRA_OK;
}
inline bool DirectInputDataPlayer(const BenchPorts& p) {
  return player_input_data(p.player_stream, Block(), kBlockLength) == 1;
}
inline bool ExportInputData3gpp(const BenchPorts& p) {
  return Ovra_InputData(p.gpp_stream, Block(), kBlockLength) == OVRA_OK;
}
inline bool DirectInputData3gpp(const BenchPorts& p) {
  return gpp_input_data(p.gpp_stream, Block(), kBlockLength) == 0;
}

// Play control.
inline bool ExportPlay(const BenchPorts& p) {
  return Ovra_Play(p.player_stream, nullptr) == OVRA_OK;
}
inline bool DirectPlay(const BenchPorts& p) {
  player_set_draw_callback(p.player_stream, nullptr, 0);
  return player_play(p.player_stream, nullptr) == 1;
}
inline bool ExportPause(const BenchPorts& p) { return Ovra_Pause(p.player_stream, 1) == OVRA_OK; }
inline bool DirectPause(const BenchPorts& p) { return player_pause(p.player_stream, 1) == 1; }
inline bool ExportStop(const BenchPorts& p) { return Ovra_Stop(p.player_stream) == OVRA_OK; }
inline bool DirectStop(const BenchPorts& p) { return player_stop(p.player_stream) == 1; }
inline bool ExportGetPlayPos(const BenchPorts& p) {
  int32_t position = -1;
  return Ovra_GetPlayPos(p.player_stream, &position) == OVRA_OK && position == 0;
}
inline bool DirectGetPlayPos(const BenchPorts& p) {
  return player_get_position(p.player_stream) == 0.0F;
}

// Picture and sound.
inline bool ExportSetColor(const BenchPorts& p) {
  return Ovra_SetColor(p.player_stream, 64, 64, 64, 64) == OVRA_OK;
}
inline bool DirectSetColor(const BenchPorts& p) {
  return player_set_colour(p.player_stream, 0, 64, 64, 64, 64) == 1;
}
inline bool ExportGetVolume(const BenchPorts& p) {
  uint32_t volume = 1;
  return Ovra_GetVolume(p.player_stream, &volume) == OVRA_OK && volume == 0;
}
inline bool DirectGetVolume(const BenchPorts& p) { return player_get_volume(p.player_stream) == 0; }

// Recording. A start on a port that records already restarts it, so the
// start alone can be repeated.
inline bool ExportRecordStart(const BenchPorts& p) {
  return Ovra_RecordStart(p.player_stream, kRecordFileName, OVRA_MEDIA_PLAYER) == OVRA_OK;
}
inline bool DirectRecordStart(const BenchPorts& p) {
  return player_start_record(p.player_stream, kRecordFileName, 0) == 1;
}
inline bool ExportRecordStartStop(const BenchPorts& p) {
  return ExportRecordStart(p) && Ovra_RecordStop(p.player_stream) == OVRA_OK;
}
inline bool DirectRecordStartStop(const BenchPorts& p) {
  return DirectRecordStart(p) && player_stop_record(p.player_stream) == 1;
}

// Voice input.
inline bool ExportInputAudioData(const BenchPorts& p) {
  return Ovra_InputAudioData(p.voice, Block(), kBlockLength) == OVRA_OK;
}
inline bool DirectInputAudioData(const BenchPorts& p) {
  return player_input_audio(p.voice, Block(), kBlockLength) != 0;
}

// Remote download position.
inline bool ExportGetDownloadPos(const BenchPorts&) {
  int32_t position = -1;
  return Ovra_DVR_GetDownloadPos(kDownloadHandle, &position) == OVRA_OK && position == 0;
}
inline bool DirectGetDownloadPos(const BenchPorts&) {
  return net_get_download_pos(kDownloadHandle) == 0;
}

// Error message. It reaches no backend: its direct side is a call of a
// no-op operation without arguments in a backend library, the bare cost of
// a call across the boundary.
inline bool ExportGetErrorMessage(const BenchPorts&) {
  return Ovra_GetErrorMessage(OVRA_PLAYSDK_ERROR) != nullptr;
}
inline bool DirectBareLibraryCall(const BenchPorts&) { return player_stop_sound() == 1; }

// Lock round trips, export by export on these paths:
//   Ovra_InputData, player stream: slot state, media type                = 2
//   Ovra_InputData, 3GPP stream: slot state, media type, recording flag  = 3
//   Ovra_Play, local port: media type                                    = 1
//   Ovra_Pause, Ovra_GetPlayPos, Ovra_GetVolume: slot state              = 1
//   Ovra_Stop: slot state, port lock, media type (under the port lock)   = 3
//   Ovra_SetColor: slot state, media type                                = 2
//   Ovra_RecordStart: slot state, recording flag, media type (written)   = 3
//   Ovra_RecordStop: slot state, recording flag, media type, flag again  = 4
//   Ovra_InputAudioData, Ovra_DVR_GetDownloadPos, Ovra_GetErrorMessage   = 0
#define QX_EXPORT_CASES(X)                                                                       \
  X("Ovra_InputData.player", "Ovra_InputData", 2, ExportInputDataPlayer, DirectInputDataPlayer)  \
  X("Ovra_InputData.3gpp", "Ovra_InputData", 3, ExportInputData3gpp, DirectInputData3gpp)        \
  X("Ovra_Play", "Ovra_Play", 1, ExportPlay, DirectPlay)                                         \
  X("Ovra_Pause", "Ovra_Pause", 1, ExportPause, DirectPause)                                     \
  X("Ovra_Stop", "Ovra_Stop", 3, ExportStop, DirectStop)                                         \
  X("Ovra_GetPlayPos", "Ovra_GetPlayPos", 1, ExportGetPlayPos, DirectGetPlayPos)                 \
  X("Ovra_SetColor", "Ovra_SetColor", 2, ExportSetColor, DirectSetColor)                         \
  X("Ovra_GetVolume", "Ovra_GetVolume", 1, ExportGetVolume, DirectGetVolume)                     \
  X("Ovra_RecordStart", "Ovra_RecordStart", 3, ExportRecordStart, DirectRecordStart)             \
  X("Ovra_RecordStart+Stop", "Ovra_RecordStart Ovra_RecordStop", 7, ExportRecordStartStop,       \
    DirectRecordStartStop)                                                                       \
  X("Ovra_InputAudioData", "Ovra_InputAudioData", 0, ExportInputAudioData, DirectInputAudioData) \
  X("Ovra_DVR_GetDownloadPos", "Ovra_DVR_GetDownloadPos", 0, ExportGetDownloadPos,               \
    DirectGetDownloadPos)                                                                        \
  X("Ovra_GetErrorMessage", "Ovra_GetErrorMessage", 0, ExportGetErrorMessage, DirectBareLibraryCall)

}  // namespace qxbench

#endif  // QXPLAYSDK_BENCH_EXPORT_CASES_H
