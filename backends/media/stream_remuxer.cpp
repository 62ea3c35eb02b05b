#include "backends/media/stream_remuxer.h"

#include "backends/media/guarded_thread.h"
#include "backends/media/media_input.h"

namespace qx::media {

std::unique_ptr<StreamRemuxer> StreamRemuxer::Start(const std::string& path,
                                                    RecordContainer container) {
  std::unique_ptr<StreamRemuxer> converter(new StreamRemuxer());
  converter->container_ = container;
  converter->recorder_ = StreamRecorder::Create(path, container);
  if (!converter->recorder_) return nullptr;
  converter->buffer_ = std::make_shared<StreamBuffer>(kBufferSize);
  converter->thread_ = std::thread([raw = converter.get()] {
    // A failed converter refuses further blocks, and a switch or stop
    // waiting for it goes on.
    if (!RunGuarded("converter thread", log::kNoPort, [raw] { raw->Run(); })) raw->buffer_->Abort();
  });
  return converter;
}

StreamRemuxer::~StreamRemuxer() { Stop(); }

void StreamRemuxer::Run() {
  std::unique_ptr<MediaInput> input = MediaInput::OpenStream(buffer_);
  if (!input) {
    // Not a stream the converter reads: refuse further blocks, and let a
    // switch or stop waiting for the reader go on.
    buffer_->Abort();
    return;
  }
  PacketPtr packet = MakePacket();
  while (input->Read(packet.get()) >= 0) {
    {
      std::lock_guard<std::mutex> guard(recorder_mutex_);
      if (recorder_) {
        recorder_->Write(*input->context(), input->video_stream(), input->audio_stream(), *packet);
      }
    }
    av_packet_unref(packet.get());
  }
  buffer_->Abort();
}

bool StreamRemuxer::SwitchFile(const std::string& path) {
  // Blocks pushed before the switch belong to the file being finished.
  buffer_->WaitUntilConsumed();
  std::lock_guard<std::mutex> guard(recorder_mutex_);
  if (recorder_) last_finish_ok_ = recorder_->Finish();
  recorder_ = StreamRecorder::Create(path, container_);
  return recorder_ != nullptr;
}

bool StreamRemuxer::FinishFile() {
  buffer_->WaitUntilConsumed();
  std::lock_guard<std::mutex> guard(recorder_mutex_);
  if (!recorder_) return false;
  last_finish_ok_ = recorder_->Finish();
  recorder_.reset();
  return true;
}

bool StreamRemuxer::Stop() {
  if (stopped_) return last_finish_ok_;
  stopped_ = true;
  if (buffer_) buffer_->EndInput();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> guard(recorder_mutex_);
  if (recorder_) last_finish_ok_ = recorder_->Finish();
  recorder_.reset();
  return last_finish_ok_;
}

}  // namespace qx::media
