#include "backends/media/presenter.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "backends/media/notification_scope.h"

namespace qx::media {

namespace {

using Clock = std::chrono::steady_clock;
// How often a picture waiting for the sound clock looks at it again.
constexpr std::chrono::milliseconds kSoundClockRecheck{10};
// The furthest a picture may be ahead of the sound and still wait for it.
constexpr std::chrono::milliseconds kSoundClockMaxLead{1000};
// A live picture later than this is shown at once and the clock restarts
// from it, rather than rushing through the backlog.
constexpr std::chrono::milliseconds kLateLimit{500};

double SpeedFactor(int level) { return std::ldexp(1.0, level); }

// Runs its function when the scope ends, also when a caller's function
// throws.
template <typename Function>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(Function function) : function_(std::move(function)) {}
  ~AtScopeEnd() { function_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  Function function_;
};

}  // namespace

Presenter::Presenter(int32_t port, bool paced, std::shared_ptr<AudioSource> audio)
    : port_(port), paced_(paced), target_(NewRenderTargetId()), audio_(std::move(audio)) {}

// ---------------------------------------------------------------------------
// Caller's threads.

bool Presenter::Play(void* window, bool file) {
  if (window != nullptr && !AttachWindow(target_, window)) return false;
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    if (window != nullptr) window_ = window;
    if (!playing_) {
      playing_ = true;
      if (window == nullptr) window_ = nullptr;
      if (file) commands_.push_back(Command{CommandKind::kStart, 0, nullptr});
    }
    paused_ = false;
    speed_level_ = 0;
    clock_valid_ = false;
  }
  audio_->SetPaused(false);
  wake_.SignalAll();
  return true;
}

bool Presenter::Stop(bool file) {
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    playing_ = false;
    paused_ = false;
    speed_level_ = 0;
    clock_valid_ = false;
    window_ = nullptr;
    if (file) {
      ended_ = false;
      current_number_ = -1;
      rewind_on_start_ = true;
    }
    // A notification under way on the port's thread ends before Stop
    // returns. Not from inside a notification: the port's thread may be
    // waiting for this one (and on its own thread it is this one).
    if (!InsideNotification()) {
      const uint64_t begun = notifications_begun_;
      while (notifications_ended_ < begun) notification_ended_.Wait(&mutex_);
    }
  }
  wake_.SignalAll();
  audio_->Clear();
  audio_->SetPaused(false);
  ReleaseWindow();
  return true;
}

bool Presenter::Pause(bool pause) {
  {
    MutexLock guard(&mutex_);
    if (!playing_) return false;
    paused_ = pause;
    clock_valid_ = false;
  }
  // The sound read ahead of the pictures waits with them.
  audio_->SetPaused(pause);
  wake_.SignalAll();
  return true;
}

// Every step counts, also one beyond the fastest or slowest level, so that
// a caller that issues a speed's steps as a difference to the steps already
// issued (as the library does) lands where it means to; the speed itself
// stays within 1/16 .. 16, and a step that cannot change it answers false.
bool Presenter::Faster() {
  MutexLock guard(&mutex_);
  const bool changes = speed_level_ < kFastestLevel;
  speed_level_ = std::min(speed_level_ + 1, kMaxSpeedSteps);
  clock_valid_ = false;
  wake_.SignalAll();
  return changes;
}

bool Presenter::Slower() {
  MutexLock guard(&mutex_);
  const bool changes = speed_level_ > kSlowestLevel;
  speed_level_ = std::max(speed_level_ - 1, -kMaxSpeedSteps);
  clock_valid_ = false;
  wake_.SignalAll();
  return changes;
}

int Presenter::EffectiveSpeedLevel() const {
  return std::clamp(speed_level_, kSlowestLevel, kFastestLevel);
}

int Presenter::speed_level() const {
  MutexLock guard(&mutex_);
  return EffectiveSpeedLevel();
}

bool Presenter::PauseForStep() {
  MutexLock guard(&mutex_);
  if (!playing_) return false;
  paused_ = true;
  return true;
}

bool Presenter::Submit(Command command) {
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    commands_.push_back(std::move(command));
  }
  wake_.SignalAll();
  return true;
}

bool Presenter::Quit() {
  bool thread_notifying = false;
  {
    MutexLock guard(&mutex_);
    quit_ = true;
    playing_ = false;
    thread_notifying = notifications_ended_ < notifications_begun_;
  }
  wake_.SignalAll();
  return thread_notifying;
}

void Presenter::Fail() {
  {
    MutexLock guard(&mutex_);
    quit_ = true;
    playing_ = false;
  }
  wake_.SignalAll();
  FailCommands();
}

bool Presenter::quitting() const {
  MutexLock guard(&mutex_);
  return quit_;
}

bool Presenter::playing() const {
  MutexLock guard(&mutex_);
  return playing_;
}

Presenter::Shown Presenter::shown() const {
  MutexLock guard(&mutex_);
  return Shown{current_number_, ended_};
}

uint32_t Presenter::presented_count() const {
  MutexLock guard(&mutex_);
  return presented_count_;
}

FramePtr Presenter::CurrentPicture() const {
  MutexLock guard(&mutex_);
  return current_picture_ ? RefFrame(current_picture_.get()) : nullptr;
}

bool Presenter::SetColour(const ColourSettings& colour) {
  if (!colour.Valid()) return false;
  MutexLock guard(&mutex_);
  colour_ = colour;
  return true;
}

ColourSettings Presenter::Colour() const {
  MutexLock guard(&mutex_);
  return colour_;
}

void Presenter::SetDrawCallback(PlayerDrawCallback callback, uintptr_t user) {
  MutexLock guard(&mutex_);
  callbacks_.draw = callback;
  callbacks_.draw_user = user;
}

void Presenter::SetFileEndCallback(PlayerFileEndCallback callback, uintptr_t user) {
  MutexLock guard(&mutex_);
  callbacks_.file_end = callback;
  callbacks_.file_end_user = user;
}

void Presenter::SetDecodeCallback(PlayerDecodeCallback callback, uintptr_t user) {
  MutexLock guard(&mutex_);
  callbacks_.decode = callback;
  callbacks_.decode_user = user;
}

void Presenter::SetUnpaced(bool unpaced) {
  {
    MutexLock guard(&mutex_);
    unpaced_ = unpaced;
  }
  wake_.SignalAll();
}

void Presenter::ReleaseWindow() { DetachWindow(target_); }

// ---------------------------------------------------------------------------
// The port's thread.

std::optional<Command> Presenter::WaitForWork(bool* quit) {
  MutexLock guard(&mutex_);
  while (!(quit_ || !commands_.empty() || (playing_ && !paused_ && !ended_))) wake_.Wait(&mutex_);
  *quit = quit_;
  if (quit_ || commands_.empty()) return std::nullopt;
  Command command = std::move(commands_.front());
  commands_.pop_front();
  return command;
}

void Presenter::FailCommands() {
  MutexLock guard(&mutex_);
  for (Command& command : commands_) {
    if (command.done) command.done->set_value(false);
  }
  commands_.clear();
}

Presenter::CommandContext Presenter::BeginCommand(CommandKind kind) {
  MutexLock guard(&mutex_);
  CommandContext context{playing_, current_number_, false};
  if (kind == CommandKind::kStart) {
    context.rewind = rewind_on_start_;
    rewind_on_start_ = false;
  }
  if (kind == CommandKind::kSeek) rewind_on_start_ = false;
  return context;
}

bool Presenter::PlaysAtNormalSpeed() const {
  MutexLock guard(&mutex_);
  return playing_ && !paused_ && EffectiveSpeedLevel() == 0;
}

void Presenter::ClearEnd() {
  MutexLock guard(&mutex_);
  ended_ = false;
}

void Presenter::ShowWithoutNotifying(const DecodedFrame& frame) {
  MutexLock guard(&mutex_);
  clock_valid_ = false;
  current_number_ = frame.number;
  current_picture_ = RefFrame(frame.picture.get());
}

void Presenter::RestartClock() {
  MutexLock guard(&mutex_);
  clock_valid_ = false;
}

bool Presenter::WaitUntilDue(int64_t timestamp_ms) {
  MutexLock guard(&mutex_);
  while (true) {
    if (quit_ || !commands_.empty() || !playing_ || paused_) return false;
    if (!paced_ || unpaced_) return true;
    const Clock::time_point now = Clock::now();
    // While the port's sound plays (only at normal speed), the sound is the
    // clock: a picture is shown when the sound of its moment is played, so
    // the two cannot drift apart however the device's pace differs from
    // the system clock. A late picture is shown at once (never dropped: the
    // decode notification still gets every picture). Otherwise, and when
    // the sound stops, the port's own clock starts again from the next
    // picture.
    if (EffectiveSpeedLevel() == 0) {
      const std::optional<int64_t> playing = audio_->PlayingMs(now);
      // A picture far ahead of the sound belongs to streams whose times
      // were never in step (a camera's sound stamped on another clock):
      // waiting for the sound would only hold the pictures back.
      if (playing && timestamp_ms - *playing <= kSoundClockMaxLead.count()) {
        clock_valid_ = false;
        const int64_t ahead_ms = timestamp_ms - *playing;
        if (ahead_ms <= 0) return true;
        // The estimate follows the device's requests: look again soon.
        wake_.WaitUntil(&mutex_,
                        now + std::min(std::chrono::milliseconds(ahead_ms), kSoundClockRecheck));
        continue;
      }
    }
    if (!clock_valid_ || timestamp_ms < anchor_ms_) {
      clock_valid_ = true;
      anchor_wall_ = now;
      anchor_ms_ = timestamp_ms;
    }
    const auto offset = std::chrono::microseconds(
        static_cast<int64_t>(static_cast<double>(timestamp_ms - anchor_ms_) * 1000.0 /
                             SpeedFactor(EffectiveSpeedLevel())));
    const Clock::time_point due = anchor_wall_ + offset;
    if (now >= due) {
      if (now - due > kLateLimit) {
        anchor_wall_ = now;
        anchor_ms_ = timestamp_ms;
      }
      return true;
    }
    wake_.WaitUntil(&mutex_, due);
  }
}

void Presenter::Present(DecodedFrame frame, double frame_rate) {
  Callbacks callbacks;
  void* window = nullptr;
  ColourSettings colour;
  {
    MutexLock guard(&mutex_);
    if (!playing_ || quit_) return;
    current_picture_ = RefFrame(frame.picture.get());
    current_number_ = frame.number;
    callbacks = callbacks_;
    window = window_;
    colour = colour_;
    if (callbacks.decode == nullptr) ++presented_count_;
  }
  if (window != nullptr) ShowPicture(target_, RefFrame(frame.picture.get()), colour);
  // Each notification checks again that the port still plays: one before it
  // may have stopped or closed the port. A picture with a decode
  // notification counts as played only when that notification begins, so
  // the count never holds a picture the caller did not receive.
  if (callbacks.decode != nullptr) {
    PackYuv420(*frame.picture, packed_);
    if (!BeginNotification(/*counts_picture=*/true)) return;
    const AtScopeEnd end([this] { EndNotification(); });
    const NotificationScope scope;
    PlayerFrameInfo info{};
    info.info_a = static_cast<uint32_t>(frame.picture->width);
    info.info_b = static_cast<uint32_t>(frame.picture->height);
    info.info_c = static_cast<uint32_t>(frame.timestamp_ms);
    info.info_d = frame.key ? 1U : 0U;
    info.info_e = static_cast<uint32_t>(std::lround(frame_rate));
    callbacks.decode(port_, reinterpret_cast<uintptr_t>(packed_.data()), packed_.size(), &info,
                     callbacks.decode_user, frame.number);
  }
  if (callbacks.draw != nullptr) {
    if (!BeginNotification(/*counts_picture=*/false)) return;
    const AtScopeEnd end([this] { EndNotification(); });
    const NotificationScope scope;
    callbacks.draw(port_, reinterpret_cast<uintptr_t>(window), callbacks.draw_user);
  }
}

bool Presenter::BeginNotification(bool counts_picture) {
  MutexLock guard(&mutex_);
  if (!playing_ || quit_) return false;
  if (counts_picture) ++presented_count_;
  ++notifications_begun_;
  return true;
}

void Presenter::EndNotification() {
  {
    MutexLock guard(&mutex_);
    ++notifications_ended_;
  }
  notification_ended_.SignalAll();
}

void Presenter::ReachEnd() {
  Callbacks callbacks;
  {
    MutexLock guard(&mutex_);
    if (ended_ || !playing_ || quit_) return;
    ended_ = true;
    callbacks = callbacks_;
    if (callbacks.file_end == nullptr) return;
    ++notifications_begun_;
  }
  const AtScopeEnd end([this] { EndNotification(); });
  const NotificationScope scope;
  callbacks.file_end(port_, callbacks.file_end_user);
}

void Presenter::WaitForQuit() {
  MutexLock guard(&mutex_);
  while (!quit_) wake_.Wait(&mutex_);
}

}  // namespace qx::media
