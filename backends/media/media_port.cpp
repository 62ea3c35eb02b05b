#include "backends/media/media_port.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "backends/media/frame_position.h"
#include "backends/media/guarded_thread.h"
#include "backends/media/library_logs.h"
#include "backends/media/live_streams.h"
#include "backends/media/notification_scope.h"
#include "backends/media/picture_rotation.h"
#include "backends/media/snapshot.h"
#include "core/log.h"

namespace qx::media {

namespace {

using Clock = std::chrono::steady_clock;
// How often a picture waiting for the sound clock looks at it again.
constexpr std::chrono::milliseconds kSoundClockRecheck{10};
// The furthest a picture may be ahead of the sound and still wait for it.
constexpr std::chrono::milliseconds kSoundClockMaxLead{1000};
// Sound read ahead of the picture about to wait for it: more than the
// device takes at a time, so it never runs dry between two pictures.
constexpr int64_t kSoundReadAheadMs = 500;
// The most video packets held while reading the sound ahead: a file whose
// sound lies further behind its pictures plays with breaks in its sound
// rather than holding ever more pictures.
constexpr size_t kMaxHeldPackets = 250;

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

MediaPort::MediaPort(int32_t port, const PortOptions& options)
    : port_(port),
      options_(options),
      target_(NewRenderTargetId()),
      audio_(std::make_shared<AudioSource>()),
      decoded_(MakeFrame()) {
  ForwardLibraryLogs();
}

MediaPort::~MediaPort() { Close(); }

std::shared_ptr<MediaPort> MediaPort::OpenFile(int32_t port, const std::string& path,
                                               const PortOptions& options) {
  if (path.empty()) {
    log::Warning("media", port, "cannot open a file without a name");
    return nullptr;
  }
  std::unique_ptr<MediaInput> for_index = MediaInput::OpenFile(path, port);
  if (!for_index) return nullptr;
  std::shared_ptr<MediaPort> media(new MediaPort(port, options));
  media->path_ = path;
  // An MP4/MOV is indexed from its own sample table; anything else by
  // reading its packets, on the index's own thread while the file plays.
  std::optional<FrameIndex> from_container = FrameIndex::FromContainer(*for_index, path);
  if (from_container) {
    if (from_container->frame_count() == 0) {
      log::Warning("media", port, "\"{}\" holds no video frame", path);
      return nullptr;
    }
    media->index_ = std::make_unique<BackgroundIndex>(std::move(*from_container));
  } else {
    if (FrameIndex::HasSampleTable(*for_index)) {
      // Its first packets were read to check the table: read all from the start.
      for_index = MediaInput::OpenFile(path, port);
      if (!for_index) return nullptr;
    }
    media->index_ = BackgroundIndex::Start(std::move(for_index), port, options.index_gate);
    if (!media->index_) return nullptr;
  }
  media->input_ = MediaInput::OpenFile(path, port);
  if (!media->input_) return nullptr;
  const double rate = media->input_->ContainerFrameRate();
  if (rate > 0.0) media->frame_rate_ = rate;
  DecoderOptions decoder_options;
  decoder_options.threads = options.decode_threads;
  const AVStream& video = *media->input_->stream(media->input_->video_stream());
  media->upright_turn_ = UprightTurn(video, port);
  media->video_decoder_ = StreamDecoder::Open(video, decoder_options);
  if (!media->video_decoder_) {
    log::Warning("media", port, "\"{}\": no decoder for its video ({})", path,
                 avcodec_get_name(video.codecpar->codec_id));
    return nullptr;
  }
  media->StartThread(media);
  return media;
}

std::shared_ptr<MediaPort> MediaPort::OpenStream(int32_t port, const uint8_t* initial_block,
                                                 size_t initial_length, size_t buffer_size,
                                                 const PortOptions& options) {
  if (buffer_size == 0 || buffer_size > kMaxStreamBufferBytes) {
    log::Warning("media", port, "a stream buffer of {} bytes lies outside 1..{}", buffer_size,
                 kMaxStreamBufferBytes);
    return nullptr;
  }
  std::shared_ptr<MediaPort> media(new MediaPort(port, options));
  media->buffer_ = std::make_shared<StreamBuffer>(buffer_size);
  if (initial_block != nullptr && initial_length > 0 &&
      !media->buffer_->Push(initial_block, initial_length)) {
    log::Warning("media", port, "the initial block of {} bytes is larger than the buffer ({})",
                 initial_length, buffer_size);
    return nullptr;
  }
  if (initial_block != nullptr && initial_length > 0) {
    MutexLock guard(&media->push_mutex_);
    media->stream_head_.Feed(initial_block, initial_length);
  }
  media->StartThread(media);
  PublishLiveStream(port, media);
  return media;
}

void MediaPort::StartThread(std::shared_ptr<MediaPort> self) {
  thread_ = std::thread([self = std::move(self)] {
    self->thread_id_.store(std::this_thread::get_id());
    const bool ran = RunGuarded("port thread", self->port_, [&] {
      if (self->is_file()) {
        self->RunFile();
      } else {
        self->RunStream();
      }
    });
    if (!ran) self->Fail();
  });
}

void MediaPort::Fail() noexcept {
  // The port delivers nothing more and refuses what it is asked, until it
  // is closed; a caller waiting for a command learns of the failure.
  {
    MutexLock guard(&mutex_);
    quit_ = true;
    playing_ = false;
    for (Command& command : commands_) {
      if (command.done) command.done->set_value(false);
    }
    commands_.clear();
  }
  if (buffer_) buffer_->Abort();
}

bool MediaPort::OnPortThread() const { return std::this_thread::get_id() == thread_id_.load(); }

void MediaPort::Close() {
  if (buffer_) WithdrawLiveStream(port_, this);
  // Called from inside a notification (of any port), the close must not wait
  // for this port's thread while that thread runs, or may yet run, the
  // caller's code: that code may be waiting for the caller's thread (two
  // ports closing each other from their callbacks).
  const bool inside_notification = InsideNotification();
  // A live stream's last pictures are complete only once no more bytes come:
  // they are shown before the port goes. (Stop does not wait for them: its
  // caller may hold a lock the port's notifications need.) Presenting them
  // means notifications, so not from inside one.
  if (!inside_notification) DrainStream();
  bool thread_notifying = false;
  {
    MutexLock guard(&mutex_);
    quit_ = true;
    playing_ = false;
    // From here on no notification of the port begins; one under way now is
    // the only caller code the port's thread can still run.
    thread_notifying = notifications_ended_ < notifications_begun_;
  }
  wake_.SignalAll();
  if (buffer_) buffer_->Abort();
  // A jump on the port's thread may be waiting for the frame index.
  if (index_) index_->Stop();
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
  DetachWindow(target_);
  DetachAudioSource(audio_);
  StopRecord();
}

PushResult MediaPort::InputData(const uint8_t* data, size_t length) {
  if (!buffer_) {
    log::Warning("media", port_, "a file port takes no stream data");
    return PushResult::kClosed;
  }
  if (length > buffer_->Capacity()) {
    log::Warning("media", port_, "a block of {} bytes can never fit the stream buffer of {}",
                 length, buffer_->Capacity());
    return PushResult::kTooLarge;
  }
  MutexLock push_guard(&push_mutex_);
  std::shared_ptr<StreamRemuxer> remuxer;
  std::unique_ptr<RecordResumption> final_stop;
  {
    MutexLock guard(&record_mutex_);
    remuxer = remuxer_;
    // A block after a stop: the stop was no half of a switch.
    final_stop = std::move(resumption_);
  }
  // A block goes to both or to neither, so that offering a refused block
  // again never doubles it in either.
  if (remuxer && !remuxer->Fits(length)) return PushResult::kFull;
  const PushResult result = buffer_->Offer(data, length);
  if (result != PushResult::kTaken) return result;
  stream_head_.Feed(data, length);
  if (remuxer) remuxer->Input(data, length);
  return result;
}

bool MediaPort::RunCommand(CommandKind kind, int64_t value) {
  const bool waits = !OnPortThread() && !InsideNotification();
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> result = done->get_future();
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    commands_.push_back(Command{kind, value, waits ? done : nullptr});
  }
  wake_.SignalAll();
  // From inside a notification the command runs once the port's thread is
  // back in its loop; waiting there for this port's thread could wait for a
  // notification that waits for the caller's.
  if (!waits) return true;
  return result.get();
}

// ---------------------------------------------------------------------------
// Control, on the caller's threads.

bool MediaPort::Play(void* window) {
  if (window != nullptr && !AttachWindow(target_, window)) return false;
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    if (window != nullptr) window_ = window;
    if (!playing_) {
      playing_ = true;
      if (window == nullptr) window_ = nullptr;
      if (is_file()) commands_.push_back(Command{CommandKind::kStart, 0, nullptr});
    }
    paused_ = false;
    speed_level_ = 0;
    clock_valid_ = false;
  }
  audio_->SetPaused(false);
  wake_.SignalAll();
  return true;
}

bool MediaPort::Stop() {
  {
    MutexLock guard(&mutex_);
    if (quit_) return false;
    playing_ = false;
    paused_ = false;
    speed_level_ = 0;
    clock_valid_ = false;
    window_ = nullptr;
    if (is_file()) {
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
  DetachWindow(target_);
  return true;
}

bool MediaPort::Pause(bool pause) {
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
bool MediaPort::Faster() {
  MutexLock guard(&mutex_);
  const bool changes = speed_level_ < kFastestLevel;
  speed_level_ = std::min(speed_level_ + 1, kMaxSpeedSteps);
  clock_valid_ = false;
  wake_.SignalAll();
  return changes;
}

bool MediaPort::Slower() {
  MutexLock guard(&mutex_);
  const bool changes = speed_level_ > kSlowestLevel;
  speed_level_ = std::max(speed_level_ - 1, -kMaxSpeedSteps);
  clock_valid_ = false;
  wake_.SignalAll();
  return changes;
}

int MediaPort::EffectiveSpeedLevel() const {
  return std::clamp(speed_level_, kSlowestLevel, kFastestLevel);
}

int MediaPort::speed_level() const {
  MutexLock guard(&mutex_);
  return EffectiveSpeedLevel();
}

bool MediaPort::StepForward() {
  if (!is_file()) return false;
  {
    MutexLock guard(&mutex_);
    if (!playing_) return false;
    paused_ = true;
  }
  return RunCommand(CommandKind::kStep, 1);
}

bool MediaPort::StepBack() {
  if (!is_file()) return false;
  {
    MutexLock guard(&mutex_);
    if (!playing_) return false;
    paused_ = true;
  }
  return RunCommand(CommandKind::kStep, -1);
}

bool MediaPort::SetPosition(float position) {
  if (!is_file()) {
    log::Warning("media", port_, "a live stream has no position to set");
    return false;
  }
  if (!(position >= 0.0F && position <= 1.0F)) {
    log::Warning("media", port_, "position {} lies outside 0..1", position);
    return false;
  }
  const FrameIndex* index = index_->Wait();
  return index != nullptr && SetCurrentFrame(FrameAtPosition(position, index->frame_count()));
}

float MediaPort::Position() const {
  if (!is_file()) return 0.0F;
  const FrameIndex* index = index_->Wait();
  MutexLock guard(&mutex_);
  if (ended_) return 1.0F;
  if (current_number_ < 0 || index == nullptr) return 0.0F;
  return PositionOfFrame(static_cast<uint32_t>(current_number_), index->frame_count());
}

bool MediaPort::SetCurrentFrame(uint32_t frame) {
  if (!is_file()) return false;
  const FrameIndex* index = index_->Wait();
  if (index == nullptr || frame >= index->frame_count()) return false;
  return RunCommand(CommandKind::kSeek, frame);
}

uint32_t MediaPort::TotalFrames() const {
  const FrameIndex* index = is_file() ? index_->Wait() : nullptr;
  return index != nullptr ? index->frame_count() : 0;
}

size_t MediaPort::IndexBytes() const {
  const FrameIndex* index = is_file() ? index_->Wait() : nullptr;
  return index != nullptr ? index->MemoryBytes() : 0;
}

uint32_t MediaPort::PlayedFrames() const {
  MutexLock guard(&mutex_);
  if (is_file()) return static_cast<uint32_t>(current_number_ + 1);
  return presented_count_;
}

int64_t MediaPort::CurrentFrame() const {
  MutexLock guard(&mutex_);
  return current_number_;
}

bool MediaPort::CapturePicture(const std::string& file_name) const {
  FramePtr picture;
  {
    MutexLock guard(&mutex_);
    if (current_picture_) picture = RefFrame(current_picture_.get());
  }
  return picture && WriteSnapshot(*picture, file_name);
}

bool MediaPort::SetColour(const ColourSettings& colour) {
  if (!colour.Valid()) return false;
  MutexLock guard(&mutex_);
  colour_ = colour;
  return true;
}

ColourSettings MediaPort::Colour() const {
  MutexLock guard(&mutex_);
  return colour_;
}

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
  MutexLock guard(&mutex_);
  callbacks_.draw = callback;
  callbacks_.draw_user = user;
}

void MediaPort::SetFileEndCallback(PlayerFileEndCallback callback, uintptr_t user) {
  MutexLock guard(&mutex_);
  callbacks_.file_end = callback;
  callbacks_.file_end_user = user;
}

void MediaPort::SetDecodeCallback(PlayerDecodeCallback callback, uintptr_t user) {
  MutexLock guard(&mutex_);
  callbacks_.decode = callback;
  callbacks_.decode_user = user;
}

bool MediaPort::StartRecord(const std::string& file_name) {
  if (!is_file()) {
    std::shared_ptr<StreamRemuxer> remuxer;
    {
      MutexLock guard(&record_mutex_);
      remuxer = remuxer_;
    }
    // A start on a recording port hands over to the new file at the next
    // key frame; when the new file cannot be made the old one goes on.
    if (remuxer) return remuxer->SwitchFile(file_name);
    // The recording takes every block pushed after this point.
    MutexLock push_guard(&push_mutex_);
    std::unique_ptr<RecordResumption> resumption;
    {
      MutexLock guard(&record_mutex_);
      resumption = std::move(resumption_);
    }
    // A start right after a stop, with nothing pushed between, is a switch:
    // the stopped file goes on up to the key frame where the new one begins.
    if (resumption) remuxer = ResumeRecordingLocked(std::move(*resumption), file_name);
    // A streamed MP4 joined in its media data is read from its head on.
    if (!remuxer) {
      remuxer = StreamRemuxer::Start(port_, file_name, RecordContainer::kMpegTs,
                                     LeadInForJoiningLocked());
    }
    if (!remuxer) return false;
    MutexLock guard(&record_mutex_);
    remuxer_ = remuxer;
    return true;
  }
  return file_recording_.Start(file_name);
}

std::shared_ptr<StreamRemuxer> MediaPort::ResumeRecordingLocked(RecordResumption resumption,
                                                                const std::string& file_name) {
  if (!resumption.needs_head) return StreamRemuxer::Resume(port_, std::move(resumption), file_name);
  // A streamed MP4 is read again from the kept bytes through the head the
  // port kept, the stream's offsets unchanged.
  const auto base = static_cast<uint64_t>(resumption.base);
  if (base + resumption.bytes.size() != stream_head_.total()) return nullptr;
  std::optional<StreamLeadIn> lead_in =
      base == 0 ? std::optional<StreamLeadIn>(StreamLeadIn{}) : stream_head_.LeadInAt(base);
  if (!lead_in) {
    log::Info("media", port_,
              "the stopped recording cannot be carried on without the stream's head");
    return nullptr;
  }
  return StreamRemuxer::Resume(port_, std::move(resumption), file_name, std::move(*lead_in));
}

StreamLeadIn MediaPort::LeadInForJoining() {
  MutexLock guard(&push_mutex_);
  return LeadInForJoiningLocked();
}

StreamLeadIn MediaPort::LeadInForJoiningLocked() {
  return stream_head_.LeadInAt(stream_head_.total()).value_or(StreamLeadIn{});
}

bool MediaPort::StopRecord() {
  if (!is_file()) {
    std::shared_ptr<StreamRemuxer> remuxer;
    {
      MutexLock guard(&record_mutex_);
      remuxer = std::move(remuxer_);
    }
    // Everything pushed so far goes into the file before the stop returns.
    if (!remuxer) return false;
    const bool whole = remuxer->Stop();
    std::unique_ptr<RecordResumption> resumption = remuxer->TakeResumption();
    MutexLock guard(&record_mutex_);
    resumption_ = std::move(resumption);
    return whole;
  }
  return file_recording_.Stop();
}

// ---------------------------------------------------------------------------
// The port's thread.

void MediaPort::RunFile() {
  while (true) {
    std::optional<Command> command;
    {
      MutexLock guard(&mutex_);
      while (!(quit_ || !commands_.empty() || (playing_ && !paused_ && !ended_)))
        wake_.Wait(&mutex_);
      if (quit_) break;
      if (!commands_.empty()) {
        command = std::move(commands_.front());
        commands_.pop_front();
      }
    }
    if (command) {
      bool ok = false;
      try {
        ok = Execute(*command);
      } catch (...) {
        // The caller waiting for it learns of the failure; the port fails.
        if (command->done) command->done->set_value(false);
        throw;
      }
      if (command->done) command->done->set_value(ok);
      continue;
    }
    Advance();
  }
  MutexLock guard(&mutex_);
  for (Command& command : commands_) {
    if (command.done) command.done->set_value(false);
  }
  commands_.clear();
}

bool MediaPort::Execute(const Command& command) {
  bool playing = false;
  bool rewind = false;
  int64_t current = -1;
  {
    MutexLock guard(&mutex_);
    playing = playing_;
    current = current_number_;
    if (command.kind == CommandKind::kStart) {
      rewind = rewind_on_start_;
      rewind_on_start_ = false;
    }
    if (command.kind == CommandKind::kSeek) rewind_on_start_ = false;
  }
  switch (command.kind) {
    case CommandKind::kStart:
      return !rewind || SeekToFrame(0, false);
    case CommandKind::kSeek:
      return SeekToFrame(static_cast<uint32_t>(command.value), playing);
    case CommandKind::kStep:
      if (!playing) return false;
      if (command.value < 0) {
        return current > 0 && SeekToFrame(static_cast<uint32_t>(current - 1), true);
      }
      if (!pending_) pending_ = DecodeNext(false);
      if (!pending_) {
        ReachEnd();
        return false;
      }
      Present(std::move(*pending_));
      pending_.reset();
      return true;
  }
  return false;
}

void MediaPort::Advance() {
  if (!pending_) {
    pending_ = DecodeNext(false);
    if (!pending_) {
      ReachEnd();
      return;
    }
  }
  ReadSoundAhead();
  if (!WaitUntilDue(pending_->timestamp_ms)) return;
  Present(std::move(*pending_));
  pending_.reset();
}

int MediaPort::ReadPacket(AVPacket* packet, bool* recorded) {
  *recorded = false;
  if (!held_.empty()) {
    av_packet_move_ref(packet, held_.front().packet.get());
    *recorded = held_.front().recorded;
    held_.pop_front();
    return 0;
  }
  if (held_input_ended_) return AVERROR_EOF;
  return input_->Read(packet);
}

void MediaPort::ReadSoundAhead() {
  // While the sound plays it is the clock: a picture waits until the sound
  // of its moment is played. A container may carry the sound well behind
  // its pictures (an MPEG-TS muxer holds up to a second of it back), so
  // the sound of that moment may not have been read yet when the picture
  // starts waiting: the device would run dry and the sound break up.
  if (!is_file() || !audio_->audible() || input_->audio_stream() < 0) return;
  {
    MutexLock guard(&mutex_);
    if (!playing_ || paused_ || EffectiveSpeedLevel() != 0) return;
  }
  PacketPtr packet = MakePacket();
  while (!held_input_ended_ && held_.size() < kMaxHeldPackets &&
         static_cast<int64_t>(audio_->Queued()) * 1000 / kOutputRate < kSoundReadAheadMs) {
    if (input_->Read(packet.get()) < 0) {
      held_input_ended_ = true;
      break;
    }
    if (packet->stream_index == input_->video_stream()) {
      // Recorded as read, so that the recording keeps the file's order.
      Record(*packet);
      held_.push_back({std::move(packet), true});
      packet = MakePacket();
    } else if (packet->stream_index == input_->audio_stream()) {
      Record(*packet);
      PlayAudio(*packet);
      av_packet_unref(packet.get());
    } else {
      av_packet_unref(packet.get());
    }
  }
}

void MediaPort::ForgetHeldPackets() {
  held_.clear();
  held_input_ended_ = false;
}

std::optional<MediaPort::DecodedFrame> MediaPort::DecodeNext(bool seeking) {
  PacketPtr packet = MakePacket();
  while (true) {
    const int received = video_decoder_->Receive(decoded_.get());
    if (received == 0) {
      std::optional<DecodedFrame> frame = Label(*decoded_);
      av_frame_unref(decoded_.get());
      if (frame) return frame;
      continue;
    }
    if (received != AVERROR(EAGAIN)) return std::nullopt;
    if (input_ended_) {
      if (drained_) return std::nullopt;
      drained_ = true;
      video_decoder_->Send(nullptr);
      continue;
    }
    bool recorded = false;
    if (ReadPacket(packet.get(), &recorded) < 0) {
      input_ended_ = true;
      continue;
    }
    if (packet->stream_index == input_->video_stream()) {
      if (!seeking && !recorded) Record(*packet);
      // Pictures come back from the decoder tagged with their packet's
      // decode index: the index maps it to the frame number when the file
      // has no timestamps, and the packet's own time is kept by tag.
      pts_of_tag_[next_decode_index_ % kTagsKept] = packet->pts;
      if (packet->pts == AV_NOPTS_VALUE) untimed_packet_read_ = true;
      if (index_ && index_->Ready() == nullptr) provisional_numbers_.PacketRead(packet->pts);
      packet->pts = next_decode_index_;
      ++next_decode_index_;
      video_decoder_->Send(packet.get());
    } else if (packet->stream_index == input_->audio_stream() && !seeking) {
      Record(*packet);
      PlayAudio(*packet);
    }
    av_packet_unref(packet.get());
  }
}

std::optional<MediaPort::DecodedFrame> MediaPort::Label(const AVFrame& frame) {
  DecodedFrame out;
  out.picture = converter_.ToYuv420(frame);
  if (out.picture && upright_turn_ != 0) out.picture = TurnYuv420(*out.picture, upright_turn_);
  if (!out.picture) return std::nullopt;
  out.key = IsKeyFrame(frame);
  if (is_file()) {
    const int64_t tag = frame.pts;
    const int64_t pts =
        tag != AV_NOPTS_VALUE ? pts_of_tag_[static_cast<uint64_t>(tag) % kTagsKept] : tag;
    if (const FrameIndex* index = index_->Ready()) {
      const std::optional<uint32_t> number = index->numbered_by_picture_headers()
                                                 ? index->FrameNumberOfDecodedPacket(tag)
                                                 : index->FrameNumberOfTimestamp(pts);
      out.number = number.value_or(next_number_);
      out.timestamp_ms = index->TimestampMs(out.number, frame_rate_);
    } else {
      // Only a file played from its start gets here. Without timestamps
      // its pictures are counted: they come in presentation order.
      out.number = provisional_numbers_.NumberOf(pts).value_or(next_number_);
      if (provisional_origin_ == AV_NOPTS_VALUE) provisional_origin_ = pts;
      const AVRational time_base = input_->stream(input_->video_stream())->time_base;
      // As the index will: by timestamp only when every packet has one.
      out.timestamp_ms =
          !untimed_packet_read_ && pts != AV_NOPTS_VALUE && provisional_origin_ != AV_NOPTS_VALUE
              ? ToMilliseconds(pts - provisional_origin_, time_base)
              : std::llround(out.number * 1000.0 / frame_rate_);
    }
  } else {
    out.number = next_number_;
    const int64_t pts = frame.best_effort_timestamp;
    const AVStream* video = input_->stream(input_->video_stream());
    if (pts != AV_NOPTS_VALUE) {
      if (first_stream_pts_ == AV_NOPTS_VALUE) first_stream_pts_ = pts;
      out.timestamp_ms = ToMilliseconds(pts - first_stream_pts_, video->time_base);
    } else {
      out.timestamp_ms = std::llround(out.number * 1000.0 / frame_rate_);
    }
  }
  next_number_ = out.number + 1;
  return out;
}

bool MediaPort::SeekToFrame(uint32_t frame, bool present) {
  // Frame 0 is where the file starts: it needs no index.
  const FrameIndex* index = frame == 0 ? index_->Ready() : index_->Wait();
  if (index != nullptr && frame >= index->frame_count()) return false;
  if (index == nullptr && frame != 0) return false;
  const uint32_t key = index != nullptr ? index->KeyPacketFor(frame) : 0;
  pending_.reset();
  if (!(index != nullptr ? Reposition(*index, key) : Rewind())) return false;
  video_decoder_->Flush();
  if (audio_decoder_) audio_decoder_->Flush();
  audio_->Clear();
  input_ended_ = false;
  drained_ = false;
  next_number_ = index != nullptr ? index->FrameNumberOfPacket(key) : 0;
  next_decode_index_ = key;
  provisional_numbers_.Restart();
  {
    MutexLock guard(&mutex_);
    ended_ = false;
  }
  while (std::optional<DecodedFrame> decoded = DecodeNext(true)) {
    if (decoded->number < frame) continue;
    const bool exact = decoded->number == frame;
    {
      MutexLock guard(&mutex_);
      clock_valid_ = false;
      if (!present) {
        current_number_ = decoded->number;
        current_picture_ = RefFrame(decoded->picture.get());
      }
    }
    if (present) {
      Present(std::move(*decoded));
    } else {
      pending_ = std::move(decoded);
    }
    return exact;
  }
  return false;
}

bool MediaPort::Rewind() {
  ForgetHeldPackets();
  input_ = MediaInput::OpenFile(path_, port_);
  return input_ != nullptr;
}

bool MediaPort::Reposition(const FrameIndex& index, uint32_t key_packet) {
  const IndexedPacket target = index.packet(key_packet);
  ForgetHeldPackets();
  bool sought = false;
  const int64_t seek_position = index.SeekPositionFor(key_packet);
  if (input_->PrefersByteSeek() && seek_position >= 0) {
    sought = input_->SeekToByte(seek_position);
  } else if (target.dts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(target.dts);
  } else if (target.pts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(target.pts);
  }
  if (sought && LandOn(index, key_packet)) return true;

  // The container could not be repositioned exactly: read it again from the
  // start and count packets, which always finds the key frame.
  ForgetHeldPackets();
  input_ = MediaInput::OpenFile(path_);
  if (!input_) return false;
  PacketPtr packet = MakePacket();
  uint32_t count = 0;
  while (input_->Read(packet.get()) >= 0) {
    if (packet->stream_index == input_->video_stream()) {
      if (count == key_packet) {
        held_.push_back({std::move(packet), false});
        return true;
      }
      ++count;
    }
    av_packet_unref(packet.get());
  }
  return false;
}

bool MediaPort::LandOn(const FrameIndex& index, uint32_t key_packet) {
  PacketPtr packet = MakePacket();
  while (input_->Read(packet.get()) >= 0) {
    if (packet->stream_index != input_->video_stream()) {
      av_packet_unref(packet.get());
      continue;
    }
    const std::optional<uint32_t> at = index.DecodeIndexOf(*packet);
    if (!at) {
      // A piece the demuxer cut before it found its way after the seek.
      av_packet_unref(packet.get());
      continue;
    }
    if (*at > key_packet) return false;
    // A piece taken for the key frame by its guessed time is no key frame.
    if (*at == key_packet && (packet->flags & AV_PKT_FLAG_KEY) == 0 &&
        index.packet(key_packet).key) {
      return false;
    }
    if (*at == key_packet) {
      held_.push_back({std::move(packet), false});
      return true;
    }
    av_packet_unref(packet.get());
  }
  return false;
}

bool MediaPort::WaitUntilDue(int64_t timestamp_ms) {
  MutexLock guard(&mutex_);
  while (true) {
    if (quit_ || !commands_.empty() || !playing_ || paused_) return false;
    if (!options_.paced || draining_) return true;
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

void MediaPort::Present(DecodedFrame frame) {
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
    info.info_e = static_cast<uint32_t>(std::lround(frame_rate_));
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

bool MediaPort::BeginNotification(bool counts_picture) {
  MutexLock guard(&mutex_);
  if (!playing_ || quit_) return false;
  if (counts_picture) ++presented_count_;
  ++notifications_begun_;
  return true;
}

void MediaPort::EndNotification() {
  {
    MutexLock guard(&mutex_);
    ++notifications_ended_;
  }
  notification_ended_.SignalAll();
}

void MediaPort::ReachEnd() {
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

void MediaPort::Record(const AVPacket& packet) {
  file_recording_.Write(*input_->context(), input_->video_stream(), input_->audio_stream(), packet);
}

void MediaPort::PlayAudio(const AVPacket& packet) {
  if (!audio_->audible()) return;
  {
    MutexLock guard(&mutex_);
    if (!playing_ || paused_ || EffectiveSpeedLevel() != 0) return;
  }
  if (!audio_decoder_) {
    audio_decoder_ =
        StreamDecoder::Open(*input_->stream(packet.stream_index), DecoderOptions{1, true});
    if (!audio_decoder_) return;
  }
  if (audio_decoder_->Send(&packet) < 0) return;
  FramePtr samples = MakeFrame();
  const AVStream& audio = *input_->stream(packet.stream_index);
  while (audio_decoder_->Receive(samples.get()) == 0) {
    audio_->Push(samples->extended_data, samples->nb_samples,
                 static_cast<AVSampleFormat>(samples->format), samples->ch_layout,
                 samples->sample_rate, SoundTimeUs(*samples, audio));
    av_frame_unref(samples.get());
  }
}

int64_t MediaPort::SoundTimeUs(const AVFrame& samples, const AVStream& audio) const {
  const int64_t pts = samples.best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return AudioSource::kUnknownTime;
  // On the pictures' time line: microseconds from the first picture.
  const AVStream& video = *input_->stream(input_->video_stream());
  int64_t origin = AV_NOPTS_VALUE;
  if (is_file()) {
    const FrameIndex* index = index_->Ready();
    if (index != nullptr) {
      origin = index->numbered_by_timestamp() ? index->FirstTimestamp() : video.start_time;
    } else {
      origin = provisional_origin_ != AV_NOPTS_VALUE ? provisional_origin_ : video.start_time;
    }
    if (origin == AV_NOPTS_VALUE) origin = 0;
  } else {
    origin = first_stream_pts_;
  }
  if (origin == AV_NOPTS_VALUE) return AudioSource::kUnknownTime;
  constexpr AVRational kMicroseconds{1, 1000000};
  return av_rescale_q(pts, audio.time_base, kMicroseconds) -
         av_rescale_q(origin, video.time_base, kMicroseconds);
}

void MediaPort::FlushStreamDecoder() {
  if (!decoding_ || !video_decoder_) return;
  if (video_decoder_->Send(nullptr) < 0) return;
  while (video_decoder_->Receive(decoded_.get()) == 0) {
    std::optional<DecodedFrame> frame = Label(*decoded_);
    av_frame_unref(decoded_.get());
    if (frame && WaitUntilDue(frame->timestamp_ms)) Present(std::move(*frame));
  }
}

void MediaPort::EndStream() {
  if (buffer_) buffer_->EndInput();
}

void MediaPort::DrainStream() {
  if (is_file() || !buffer_ || OnPortThread()) return;
  MutexLock guard(&mutex_);
  if (quit_ || !playing_ || stream_finished_) return;
  draining_ = true;
  const uint64_t drain = ++drains_requested_;
  buffer_->RequestDrain();
  wake_.SignalAll();
  while (!(quit_ || stream_finished_ || drains_done_ >= drain)) wake_.Wait(&mutex_);
  draining_ = false;
}

void MediaPort::CompleteDrains() {
  buffer_->EndDrain();
  {
    MutexLock guard(&mutex_);
    drains_done_ = drains_requested_;
  }
  wake_.SignalAll();
}

void MediaPort::OpenStreamDecoder() {
  DecoderOptions decoder_options;
  // A live port is one of many on a wall: its decoder gets one worker beside
  // the port's own thread, so a port costs two threads however many cores
  // the machine has.
  decoder_options.threads = kLiveDecodeThreads;
  decoder_options.low_latency = true;
  video_decoder_ = StreamDecoder::Open(*input_->stream(input_->video_stream()), decoder_options);
  upright_turn_ = UprightTurn(*input_->stream(input_->video_stream()), port_);
  double rate = input_->ContainerFrameRate();
  if (rate <= 0.0 && video_decoder_) {
    const AVRational decoder_rate = video_decoder_->context().framerate;
    if (decoder_rate.num > 0 && decoder_rate.den > 0) rate = av_q2d(decoder_rate);
  }
  if (rate > 0.0 && rate < 1000.0) frame_rate_ = rate;
}

void MediaPort::RunStream() {
  // Each round opens the input on the bytes that come next: at the start,
  // after bytes that were not recognised (bounded by FFmpeg's 1 MiB probe),
  // and after an access unit too large to hold was dropped.
  while (!buffer_->Exhausted()) {
    input_ = MediaInput::OpenStream(buffer_, port_);
    if (!input_) {
      CompleteDrains();  // nothing was recognised, so nothing to present
      continue;          // probe the next bytes
    }
    const bool again = ReadStream();
    // The new input has streams of its own: decoding restarts at its first
    // key frame.
    video_decoder_.reset();
    audio_decoder_.reset();
    decoding_ = false;
    input_.reset();
    CompleteDrains();
    if (!again) break;
  }
  {
    MutexLock guard(&mutex_);
    stream_finished_ = true;
  }
  wake_.SignalAll();
  // The stream ended or failed: wait to be closed.
  MutexLock guard(&mutex_);
  while (!(quit_)) wake_.Wait(&mutex_);
}

bool MediaPort::ReadStream() {
  PacketPtr packet = MakePacket();
  while (true) {
    const int read = input_->Read(packet.get());
    if (read < 0) {
      // The end of what was pushed (a drain), a unit too large, or bytes the
      // demuxer cannot go on from: what is complete is shown, and the input
      // is opened again on the bytes that follow, unless there are none.
      FlushStreamDecoder();
      return !buffer_->Exhausted();
    }
    bool playing = false;
    {
      MutexLock guard(&mutex_);
      if (quit_) return false;
      playing = playing_;
    }
    if (packet->stream_index == input_->audio_stream()) {
      PlayAudio(*packet);
    } else if (packet->stream_index == input_->video_stream()) {
      if (!playing) {
        decoding_ = false;
      } else if (decoding_ || (packet->flags & AV_PKT_FLAG_KEY) != 0) {
        if (!decoding_) {
          // Decoding (re)starts at a key frame.
          if (video_decoder_) {
            video_decoder_->Flush();
          } else {
            OpenStreamDecoder();
          }
          decoding_ = video_decoder_ != nullptr;
        }
        if (decoding_ && video_decoder_->Send(packet.get()) >= 0) {
          while (video_decoder_->Receive(decoded_.get()) == 0) {
            std::optional<DecodedFrame> frame = Label(*decoded_);
            av_frame_unref(decoded_.get());
            if (frame && WaitUntilDue(frame->timestamp_ms)) Present(std::move(*frame));
          }
        }
      }
    }
    av_packet_unref(packet.get());
  }
}

}  // namespace qx::media
