#include "backends/media/media_port.h"

#include <future>
#include <utility>

#include "backends/media/frame_position.h"
#include "backends/media/guarded_thread.h"
#include "backends/media/library_logs.h"
#include "backends/media/live_streams.h"
#include "backends/media/notification_scope.h"
#include "backends/media/snapshot.h"
#include "core/log.h"

namespace qx::media {

MediaPort::MediaPort(int32_t port, const PortOptions& options)
    : port_(port),
      audio_(std::make_shared<AudioSource>()),
      presenter_(port, options.paced, audio_) {
  ForwardLibraryLogs();
}

MediaPort::~MediaPort() { Close(); }

std::shared_ptr<MediaPort> MediaPort::OpenFile(int32_t port, const std::string& path,
                                               const PortOptions& options) {
  std::shared_ptr<MediaPort> media(new MediaPort(port, options));
  media->file_ = FileSource::Open(port, path, options.decode_threads, options.index_gate,
                                  media->presenter_, media->audio_);
  if (!media->file_) return nullptr;
  media->StartThread(media);
  return media;
}

std::shared_ptr<MediaPort> MediaPort::OpenStream(int32_t port, const uint8_t* initial_block,
                                                 size_t initial_length, size_t buffer_size,
                                                 const PortOptions& options) {
  std::shared_ptr<MediaPort> media(new MediaPort(port, options));
  media->stream_ = StreamSource::Open(port, initial_block, initial_length, buffer_size,
                                      media->presenter_, media->audio_);
  if (!media->stream_) return nullptr;
  media->StartThread(media);
  PublishLiveStream(port, media);
  return media;
}

void MediaPort::StartThread(std::shared_ptr<MediaPort> self) {
  thread_ = std::thread([self = std::move(self)] {
    self->thread_id_.store(std::this_thread::get_id());
    const bool ran = RunGuarded("port thread", self->port_, [&] {
      if (self->file_) {
        self->file_->Run();
      } else {
        self->stream_->Run();
      }
    });
    if (!ran) self->Fail();
  });
}

void MediaPort::Fail() noexcept {
  // The port delivers nothing more and refuses what it is asked, until it
  // is closed; a caller waiting for a command learns of the failure.
  presenter_.Fail();
  if (stream_) stream_->Abort();
}

bool MediaPort::OnPortThread() const { return std::this_thread::get_id() == thread_id_.load(); }

void MediaPort::Close() {
  if (stream_) WithdrawLiveStream(port_, this);
  // Called from inside a notification (of any port), the close must not wait
  // for this port's thread while that thread runs, or may yet run, the
  // caller's code: that code may be waiting for the caller's thread (two
  // ports closing each other from their callbacks).
  const bool inside_notification = InsideNotification();
  // A live stream's last pictures are complete only once no more bytes come:
  // they are shown before the port goes. (Stop does not wait for them: its
  // caller may hold a lock the port's notifications need.) Presenting them
  // means notifications, so not from inside one.
  if (stream_ && !inside_notification && !OnPortThread()) stream_->Drain();
  // From here on no notification of the port begins; one under way now is
  // the only caller code the port's thread can still run.
  const bool thread_notifying = presenter_.Quit();
  if (stream_) stream_->Abort();
  // A jump on the port's thread may be waiting for the frame index.
  if (file_) file_->Abort();
  if (thread_.joinable()) {
    // A thread inside a notification is let go: it ends by itself as soon
    // as the notification returns, and holds the port until then. Otherwise
    // it has no caller code left to run and ends promptly.
    if (OnPortThread() || (inside_notification && thread_notifying)) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  presenter_.ReleaseWindow();
  DetachAudioSource(audio_);
  StopRecord();
}

PushResult MediaPort::InputData(const uint8_t* data, size_t length) {
  if (!stream_) {
    log::Warning("media", port_, "a file port takes no stream data");
    return PushResult::kClosed;
  }
  return stream_->InputData(data, length);
}

void MediaPort::EndStream() {
  if (stream_) stream_->EndStream();
}

bool MediaPort::RunCommand(CommandKind kind, int64_t value) {
  const bool waits = !OnPortThread() && !InsideNotification();
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> result = done->get_future();
  // From inside a notification the command runs once the port's thread is
  // back in its loop; waiting there for this port's thread could wait for a
  // notification that waits for the caller's.
  if (!presenter_.Submit(Command{kind, value, waits ? done : nullptr})) return false;
  if (!waits) return true;
  return result.get();
}

// ---------------------------------------------------------------------------
// Playback control.

bool MediaPort::Play(void* window) { return presenter_.Play(window, is_file()); }

bool MediaPort::Stop() { return presenter_.Stop(is_file()); }

bool MediaPort::Pause(bool pause) { return presenter_.Pause(pause); }

bool MediaPort::Faster() { return presenter_.Faster(); }

bool MediaPort::Slower() { return presenter_.Slower(); }

int MediaPort::speed_level() const { return presenter_.speed_level(); }

bool MediaPort::StepForward() {
  return is_file() && presenter_.PauseForStep() && RunCommand(CommandKind::kStep, 1);
}

bool MediaPort::StepBack() {
  return is_file() && presenter_.PauseForStep() && RunCommand(CommandKind::kStep, -1);
}

// ---------------------------------------------------------------------------
// Position and frames.

bool MediaPort::SetPosition(float position) {
  if (!is_file()) {
    log::Warning("media", port_, "a live stream has no position to set");
    return false;
  }
  if (!(position >= 0.0F && position <= 1.0F)) {
    log::Warning("media", port_, "position {} lies outside 0..1", position);
    return false;
  }
  const FrameIndex* index = file_->index().Wait();
  return index != nullptr && SetCurrentFrame(FrameAtPosition(position, index->frame_count()));
}

float MediaPort::Position() const {
  if (!is_file()) return 0.0F;
  const FrameIndex* index = file_->index().Wait();
  const Presenter::Shown shown = presenter_.shown();
  if (shown.ended) return 1.0F;
  if (shown.number < 0 || index == nullptr) return 0.0F;
  return PositionOfFrame(static_cast<uint32_t>(shown.number), index->frame_count());
}

bool MediaPort::SetCurrentFrame(uint32_t frame) {
  if (!is_file()) return false;
  const FrameIndex* index = file_->index().Wait();
  if (index == nullptr || frame >= index->frame_count()) return false;
  return RunCommand(CommandKind::kSeek, frame);
}

uint32_t MediaPort::TotalFrames() const {
  const FrameIndex* index = is_file() ? file_->index().Wait() : nullptr;
  return index != nullptr ? index->frame_count() : 0;
}

size_t MediaPort::IndexBytes() const {
  const FrameIndex* index = is_file() ? file_->index().Wait() : nullptr;
  return index != nullptr ? index->MemoryBytes() : 0;
}

uint32_t MediaPort::PlayedFrames() const {
  if (is_file()) return static_cast<uint32_t>(presenter_.shown().number + 1);
  return presenter_.presented_count();
}

int64_t MediaPort::CurrentFrame() const { return presenter_.shown().number; }

// ---------------------------------------------------------------------------
// Picture, colour, sound and notifications.

bool MediaPort::CapturePicture(const std::string& file_name) const {
  FramePtr picture = presenter_.CurrentPicture();
  return picture && WriteSnapshot(*picture, file_name);
}

bool MediaPort::SetColour(const ColourSettings& colour) { return presenter_.SetColour(colour); }

ColourSettings MediaPort::Colour() const { return presenter_.Colour(); }

bool MediaPort::SetRegionColour(int32_t region, int32_t brightness, int32_t contrast,
                                int32_t saturation, int32_t hue) {
  return region == 0 && SetColour(ColourSettings{brightness, contrast, saturation, hue});
}

bool MediaPort::GetRegionColour(int32_t region, int32_t* brightness, int32_t* contrast,
                                int32_t* saturation, int32_t* hue) const {
  if (region != 0 || brightness == nullptr || contrast == nullptr || saturation == nullptr ||
      hue == nullptr) {
    return false;
  }
  const ColourSettings colour = Colour();
  *brightness = colour.brightness;
  *contrast = colour.contrast;
  *saturation = colour.saturation;
  *hue = colour.hue;
  return true;
}

bool MediaPort::SetSound(bool on) {
  if (!on) {
    audio_->SetAudible(false);
    DetachAudioSource(audio_);
    audio_->Clear();
    return true;
  }
  if (!AttachAudioSource(audio_)) return false;
  audio_->SetAudible(true);
  return true;
}

bool MediaPort::InputAudio(const uint8_t* data, size_t length) {
  if (data == nullptr) return false;
  // Refused whether or not the sound is on: the caller learns at once that
  // such a block can never be played.
  if (length > kMaxMuLawBlock) return false;
  if (!audio_->audible()) return true;  // sound off: played into silence
  return audio_->PushMuLaw(data, length);
}

void MediaPort::SetDrawCallback(PlayerDrawCallback callback, uintptr_t user) {
  presenter_.SetDrawCallback(callback, user);
}

void MediaPort::SetFileEndCallback(PlayerFileEndCallback callback, uintptr_t user) {
  presenter_.SetFileEndCallback(callback, user);
}

void MediaPort::SetDecodeCallback(PlayerDecodeCallback callback, uintptr_t user) {
  presenter_.SetDecodeCallback(callback, user);
}

// ---------------------------------------------------------------------------
// Recording.

bool MediaPort::StartRecord(const std::string& file_name) {
  if (file_) return file_->StartRecord(file_name);
  return stream_ && stream_->StartRecord(file_name);
}

bool MediaPort::StopRecord() {
  if (file_) return file_->StopRecord();
  return stream_ && stream_->StopRecord();
}

StreamLeadIn MediaPort::LeadInForJoining() {
  return stream_ ? stream_->LeadInForJoining() : StreamLeadIn{};
}

}  // namespace qx::media
