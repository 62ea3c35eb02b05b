#include "backends/media/stream_remuxer.h"

#include "backends/media/media_input.h"
#include "core/log.h"

namespace qx::media {

std::unique_ptr<StreamRemuxer> StreamRemuxer::Start(int32_t port, const std::string& path,
                                                    RecordContainer container) {
  std::unique_ptr<StreamRemuxer> converter(new StreamRemuxer());
  converter->container_ = container;
  converter->port_ = port;
  converter->recorder_ = StreamRecorder::Create(port, path, container);
  if (!converter->recorder_) return nullptr;
  converter->buffer_ = std::make_shared<StreamBuffer>(kBufferSize);
  converter->thread_ = std::thread([raw = converter.get()] { raw->Run(); });
  return converter;
}

StreamRemuxer::~StreamRemuxer() { Stop(); }

void StreamRemuxer::FinishCurrent(bool handing_over) {
  if (!recorder_) return;
  if (handing_over && !recorder_->started()) {
    // Switched away before any picture came: the caller's new file takes
    // the stream from its first key frame; the empty one is no write error.
    qx::log::Warning("record", port_, "a file switched away from before any picture came");
  }
  const bool whole = recorder_->Finish();
  if (!whole && !(handing_over && !recorder_->started())) all_ok_ = false;
  recorder_.reset();
}

void StreamRemuxer::Run() {
  std::unique_ptr<MediaInput> input = MediaInput::OpenStream(buffer_);
  if (!input) {
    // Not a stream the recorder reads: refuse further blocks, and let a
    // stop waiting for the reader go on.
    qx::log::Error("record", port_, "the pushed bytes are no stream the recorder can read");
    buffer_->Abort();
    return;
  }
  PacketPtr packet = MakePacket();
  while (input->Read(packet.get()) >= 0) {
    {
      std::lock_guard<std::mutex> guard(recorder_mutex_);
      const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      if (next_ && key && packet->stream_index == input->video_stream()) {
        FinishCurrent(true);
        recorder_ = std::move(next_);
      }
      if (recorder_) {
        recorder_->Write(*input->context(), input->video_stream(), input->audio_stream(), *packet);
      }
    }
    av_packet_unref(packet.get());
  }
  buffer_->Abort();
}

bool StreamRemuxer::SwitchFile(const std::string& path) {
  std::unique_ptr<StreamRecorder> next = StreamRecorder::Create(port_, path, container_);
  if (!next) return false;
  // The pictures pushed before the switch belong to the current file: the
  // handover waits for the first key frame after them.
  buffer_->WaitUntilConsumed();
  std::lock_guard<std::mutex> guard(recorder_mutex_);
  if (next_) {
    // Switched again before a key frame came: the file never begun holds
    // nothing and is dropped.
    next_->Finish();
  }
  next_ = std::move(next);
  return true;
}

bool StreamRemuxer::Stop() {
  std::lock_guard<std::mutex> stop_guard(stop_mutex_);
  if (stopped_) return stop_result_;
  stopped_ = true;
  if (buffer_) buffer_->EndInput();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> guard(recorder_mutex_);
  FinishCurrent(false);
  if (next_) {
    // No key frame came after the last switch: every picture is in the
    // earlier file, and the last one holds nothing.
    qx::log::Warning("record", port_, "no key frame came after the last switch");
    recorder_ = std::move(next_);
    FinishCurrent(false);
  }
  stop_result_ = all_ok_;
  return stop_result_;
}

}  // namespace qx::media
