// A port's play state as its callers set it and its thread follows it: play,
// pause and speed, the clock that paces pictures (the sound's while it
// plays), the window and colour pictures go to, the notifications, and the
// commands a file port's thread runs for its callers (jumps and steps).
//
// Callers' threads change the state; the port's thread waits on it, paces
// each picture and presents it. Notifications run on the port's thread,
// never with the lock held: each one begins only while the port plays, and
// Stop waits for one already under way (except from inside a notification,
// whose caller the port's thread may be waiting for).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PRESENTER_H
#define QXPLAYSDK_BACKENDS_MEDIA_PRESENTER_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/media/audio_output.h"
#include "backends/media/mutex.h"
#include "backends/media/picture.h"
#include "backends/media/render_service.h"
#include "backends/player.h"

namespace qx::media {

// Speed levels: 0 is normal speed, each level doubles or halves it, from
// -4 (1/16) to 4 (16 times).
// Steps beyond them are counted (up to kMaxSpeedSteps either way) but play
// at the nearest level.
inline constexpr int kSlowestLevel = -4;
inline constexpr int kFastestLevel = 4;
inline constexpr int kMaxSpeedSteps = 16;

// A picture ready to be presented.
struct DecodedFrame {
  FramePtr picture;  // 4:2:0 planar
  uint32_t number = 0;
  int64_t timestamp_ms = 0;
  bool key = false;
};

// What a file port's thread is asked to do for a caller.
enum class CommandKind { kStart, kSeek, kStep };
struct Command {
  CommandKind kind = CommandKind::kStart;
  int64_t value = 0;
  // Null when the caller does not wait for the answer.
  std::shared_ptr<std::promise<bool>> done;
};

class Presenter {
 public:
  // `paced`: pictures are presented at their time (scaled by the speed);
  // false presents them as fast as they come.
  Presenter(int32_t port, bool paced, std::shared_ptr<AudioSource> audio);
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  // Caller's threads.
  // `file`: a file port, whose thread is told to start (from the beginning
  // after a stop) and whose position a stop forgets.
  bool Play(void* window, bool file) QX_EXCLUDES(mutex_);
  bool Stop(bool file) QX_EXCLUDES(mutex_);
  bool Pause(bool pause) QX_EXCLUDES(mutex_);
  bool Faster() QX_EXCLUDES(mutex_);
  bool Slower() QX_EXCLUDES(mutex_);
  int speed_level() const QX_EXCLUDES(mutex_);
  // Before a step: false when the port does not play; pauses it otherwise.
  bool PauseForStep() QX_EXCLUDES(mutex_);
  // Queues a command for the port's thread; false once the port has quit.
  bool Submit(Command command) QX_EXCLUDES(mutex_);
  // No notification begins from now on and the port's thread is told to
  // end; true when a notification is under way on it.
  bool Quit() QX_EXCLUDES(mutex_);
  // The port's thread failed: nothing more is delivered, and callers
  // waiting for a command learn that it failed.
  void Fail() QX_EXCLUDES(mutex_);
  bool quitting() const QX_EXCLUDES(mutex_);
  bool playing() const QX_EXCLUDES(mutex_);

  // The frame shown last (-1 before the first) and whether the file's end
  // has been reached since; read together.
  struct Shown {
    int64_t number = -1;
    bool ended = false;
  };
  Shown shown() const QX_EXCLUDES(mutex_);
  // Pictures handed over since the port opened.
  uint32_t presented_count() const QX_EXCLUDES(mutex_);
  FramePtr CurrentPicture() const QX_EXCLUDES(mutex_);
  bool SetColour(const ColourSettings& colour) QX_EXCLUDES(mutex_);
  ColourSettings Colour() const QX_EXCLUDES(mutex_);
  void SetDrawCallback(PlayerDrawCallback callback, uintptr_t user) QX_EXCLUDES(mutex_);
  void SetFileEndCallback(PlayerFileEndCallback callback, uintptr_t user) QX_EXCLUDES(mutex_);
  void SetDecodeCallback(PlayerDecodeCallback callback, uintptr_t user) QX_EXCLUDES(mutex_);
  // While a live stream is drained its pictures are presented unpaced.
  void SetUnpaced(bool unpaced) QX_EXCLUDES(mutex_);
  // Lets go of the window.
  void ReleaseWindow();

  // The port's thread.
  // Waits for something to do: a command (returned), playing on (nullopt
  // with `*quit` false) or the end (`*quit` true).
  std::optional<Command> WaitForWork(bool* quit) QX_EXCLUDES(mutex_);
  // Commands still queued when the thread ends fail.
  void FailCommands() QX_EXCLUDES(mutex_);
  // What a command runs against: whether the port plays, the frame shown,
  // and whether a start must go back to the beginning (a stopped file);
  // a jump cancels that.
  struct CommandContext {
    bool playing = false;
    int64_t current = -1;
    bool rewind = false;
  };
  CommandContext BeginCommand(CommandKind kind) QX_EXCLUDES(mutex_);
  // Plays at normal speed, unpaused: the sound is played (and read ahead).
  bool PlaysAtNormalSpeed() const QX_EXCLUDES(mutex_);
  // A jump: the end is no longer reached.
  void ClearEnd() QX_EXCLUDES(mutex_);
  // A jump landed without presenting: `frame` becomes the one shown, and the
  // clock starts again from the next picture presented.
  void ShowWithoutNotifying(const DecodedFrame& frame) QX_EXCLUDES(mutex_);
  // A jump presents its frame: the clock starts again from it.
  void RestartClock() QX_EXCLUDES(mutex_);
  // Waits until the picture of `timestamp_ms` is due; false when it must
  // not be presented now (stopped, paused, a command or the end came).
  bool WaitUntilDue(int64_t timestamp_ms) QX_EXCLUDES(mutex_);
  // Shows the picture and makes the decode and draw notifications.
  void Present(DecodedFrame frame, double frame_rate) QX_EXCLUDES(mutex_);
  // A file's end: the file end notification, once each time it is reached.
  void ReachEnd() QX_EXCLUDES(mutex_);
  // Waits until the port quits.
  void WaitForQuit() QX_EXCLUDES(mutex_);

 private:
  struct Callbacks {
    PlayerDrawCallback draw = nullptr;
    uintptr_t draw_user = 0;
    PlayerFileEndCallback file_end = nullptr;
    uintptr_t file_end_user = 0;
    PlayerDecodeCallback decode = nullptr;
    uintptr_t decode_user = 0;
  };

  int EffectiveSpeedLevel() const QX_REQUIRES(mutex_);
  // Whether a notification may begin now (the port plays and is open); if
  // so, EndNotification() must follow the caller's function. A notification
  // that hands over a picture (`counts_picture`) counts it as played as it
  // begins.
  bool BeginNotification(bool counts_picture) QX_EXCLUDES(mutex_);
  void EndNotification() QX_EXCLUDES(mutex_);

  const int32_t port_;
  const bool paced_;
  const RenderTargetId target_;
  const std::shared_ptr<AudioSource> audio_;

  mutable Mutex mutex_;
  CondVar wake_;
  std::deque<Command> commands_ QX_GUARDED_BY(mutex_);
  bool quit_ QX_GUARDED_BY(mutex_) = false;
  bool playing_ QX_GUARDED_BY(mutex_) = false;
  bool paused_ QX_GUARDED_BY(mutex_) = false;
  bool ended_ QX_GUARDED_BY(mutex_) = false;
  bool rewind_on_start_ QX_GUARDED_BY(mutex_) = false;
  bool unpaced_ QX_GUARDED_BY(mutex_) = false;
  int speed_level_ QX_GUARDED_BY(mutex_) = 0;
  void* window_ QX_GUARDED_BY(mutex_) = nullptr;
  ColourSettings colour_ QX_GUARDED_BY(mutex_);
  Callbacks callbacks_ QX_GUARDED_BY(mutex_);
  FramePtr current_picture_ QX_GUARDED_BY(mutex_);
  int64_t current_number_ QX_GUARDED_BY(mutex_) = -1;
  uint32_t presented_count_ QX_GUARDED_BY(mutex_) = 0;
  bool clock_valid_ QX_GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::time_point anchor_wall_ QX_GUARDED_BY(mutex_);
  int64_t anchor_ms_ QX_GUARDED_BY(mutex_) = 0;
  // Notifications begun and ended; Stop waits until those begun before it
  // have ended.
  uint64_t notifications_begun_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t notifications_ended_ QX_GUARDED_BY(mutex_) = 0;
  CondVar notification_ended_;

  // Port thread only: the picture packed for the decode notification.
  std::vector<uint8_t> packed_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PRESENTER_H
