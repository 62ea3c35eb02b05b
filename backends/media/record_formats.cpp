#include "backends/media/record_formats.h"

#include <cstring>
#include <memory>

namespace qx::media {

bool SoundFitsContainer(RecordContainer container, AVCodecID codec) {
  switch (container) {
    case RecordContainer::kMpegTs:
      return codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3 ||
             codec == AV_CODEC_ID_AC3 || codec == AV_CODEC_ID_OPUS;
    case RecordContainer::k3gp:
      return codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_AMR_NB || codec == AV_CODEC_ID_AMR_WB;
    case RecordContainer::kMatroska: {
      // By its own codec name, or else in a WAVE format header (G.711,
      // G.726 and the other telephone codecs).
      static const AVOutputFormat* const matroska = av_guess_format("matroska", nullptr, nullptr);
      if (matroska != nullptr && avformat_query_codec(matroska, codec, FF_COMPLIANCE_NORMAL) == 1) {
        return true;
      }
      const AVCodecTag* const wave_tags[] = {avformat_get_riff_audio_tags(), nullptr};
      return codec != AV_CODEC_ID_NONE && av_codec_get_tag(wave_tags, codec) != 0;
    }
  }
  return false;
}

RecordedSound RecordedSoundOf(const AVCodecParameters& sound) {
  if (sound.codec_id == AV_CODEC_ID_PCM_DVD && sound.bits_per_raw_sample == 16) {
    return RecordedSound{AV_CODEC_ID_PCM_S16BE, 3};
  }
  return RecordedSound{sound.codec_id, 0};
}

bool VideoFitsMpegTs(AVCodecID codec) {
  return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC || codec == AV_CODEC_ID_MPEG4 ||
         codec == AV_CODEC_ID_MPEG2VIDEO || codec == AV_CODEC_ID_MPEG1VIDEO;
}

bool SoundFormatKnown(const AVCodecParameters& audio) {
  return audio.sample_rate > 0 && audio.ch_layout.nb_channels > 0;
}

namespace {

// Decodes one packet of a stream whose parameters are not all known yet:
// the frame tells what the reader could not (null when it cannot be read).
FramePtr DecodeFirstFrame(const AVCodecParameters& parameters, const AVPacket& packet,
                          int* reorder_delay = nullptr) {
  const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
  if (codec == nullptr) return nullptr;
  CodecContextPtr context(avcodec_alloc_context3(codec));
  FramePtr frame = MakeFrame();
  if (!context || !frame || avcodec_parameters_to_context(context.get(), &parameters) < 0 ||
      avcodec_open2(context.get(), codec, nullptr) < 0) {
    return nullptr;
  }
  if (avcodec_send_packet(context.get(), &packet) < 0) return nullptr;
  avcodec_send_packet(context.get(), nullptr);
  if (avcodec_receive_frame(context.get(), frame.get()) < 0) return nullptr;
  if (reorder_delay != nullptr) *reorder_delay = context->has_b_frames;
  return frame;
}

}  // namespace

// Containers read from a live stream without analysing it ahead may leave a
// picture's size unknown (MPEG-4 Part 2 and H.263 in 3GP); muxers need it.
// The first key frame, decoded once, tells it.
bool FillPictureSize(AVCodecParameters* parameters, const AVPacket& key) {
  const FramePtr frame = DecodeFirstFrame(*parameters, key);
  if (!frame) return false;
  parameters->width = frame->width;
  parameters->height = frame->height;
  return parameters->width > 0 && parameters->height > 0;
}

bool FillReorderDelay(AVCodecParameters* parameters, const AVPacket& key) {
  int delay = 0;
  if (!DecodeFirstFrame(*parameters, key, &delay)) return false;
  parameters->video_delay = delay;
  return true;
}

bool FillVideoSetup(AVCodecParameters* parameters, const AVPacket& key) {
  const AVBitStreamFilter* filter = av_bsf_get_by_name("extract_extradata");
  AVBSFContext* context = nullptr;
  if (filter == nullptr || av_bsf_alloc(filter, &context) < 0) return false;
  const std::unique_ptr<AVBSFContext, void (*)(AVBSFContext*)> owned(
      context, [](AVBSFContext* c) { av_bsf_free(&c); });
  PacketPtr packet = MakePacket();
  if (!packet || avcodec_parameters_copy(context->par_in, parameters) < 0 ||
      av_bsf_init(context) < 0 || av_packet_ref(packet.get(), &key) < 0 ||
      av_bsf_send_packet(context, packet.get()) < 0 ||
      av_bsf_receive_packet(context, packet.get()) < 0) {
    return false;
  }
  size_t size = 0;
  const uint8_t* setup = av_packet_get_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, &size);
  if (setup == nullptr || size == 0) return false;
  auto* copy = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (copy == nullptr) return false;
  std::memcpy(copy, setup, size);
  av_freep(&parameters->extradata);
  parameters->extradata = copy;
  parameters->extradata_size = static_cast<int>(size);
  return true;
}

// The same for sound: a live stream's reader does not know the rate and
// channels until a packet has been decoded.
bool FillSoundFormat(AVCodecParameters* parameters, const AVPacket& packet) {
  const FramePtr frame = DecodeFirstFrame(*parameters, packet);
  if (!frame) return false;
  parameters->sample_rate = frame->sample_rate;
  if (parameters->codec_id == AV_CODEC_ID_PCM_DVD && parameters->bits_per_raw_sample == 0 &&
      frame->format == AV_SAMPLE_FMT_S16) {
    parameters->bits_per_raw_sample = 16;
  }
  if (av_channel_layout_copy(&parameters->ch_layout, &frame->ch_layout) < 0) return false;
  if (parameters->frame_size <= 0) parameters->frame_size = frame->nb_samples;
  return SoundFormatKnown(*parameters);
}

}  // namespace qx::media
