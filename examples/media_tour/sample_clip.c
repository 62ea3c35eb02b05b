#include "sample_clip.h"

#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <stdio.h>

enum { kWidth = 320, kHeight = 240, kRate = 25 };

/* A diagonal gradient with a bright bar that moves one step per frame, so
 * that every frame differs from its neighbours. */
static void Paint(AVFrame* frame, int index) {
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (int x = 0; x < kWidth; ++x) {
      int bar = ((x + index * 4) % kWidth) < 24;
      row[x] = (uint8_t)(bar ? 235 : 32 + ((x + y) * 160) / (kWidth + kHeight));
    }
  }
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = (uint8_t)(64 + (index * 3) % 128);
      frame->data[2][y * frame->linesize[2] + x] = (uint8_t)(192 - (x * 128) / kWidth);
    }
  }
}

static int Drain(AVCodecContext* codec, AVFormatContext* muxer, AVStream* stream,
                 AVPacket* packet) {
  int result;
  while ((result = avcodec_receive_packet(codec, packet)) == 0) {
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (av_interleaved_write_frame(muxer, packet) < 0) return -1;
  }
  return result == AVERROR(EAGAIN) || result == AVERROR_EOF ? 0 : -1;
}

static int EncodeSampleClip(const char* path, int seconds);

int MakeSampleClip(const char* path, int seconds) {
  /* The encoder's statistics would bury the tour's own output. */
  const int log_level = av_log_get_level();
  av_log_set_level(AV_LOG_ERROR);
  const int made = EncodeSampleClip(path, seconds);
  av_log_set_level(log_level);
  return made;
}

static int EncodeSampleClip(const char* path, int seconds) {
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  if (encoder == NULL) encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  if (encoder == NULL) return -1;

  AVFormatContext* muxer = NULL;
  if (avformat_alloc_output_context2(&muxer, NULL, "mpegts", path) < 0) return -1;
  AVCodecContext* codec = avcodec_alloc_context3(encoder);
  AVStream* stream = avformat_new_stream(muxer, NULL);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  int result = -1;
  if (codec == NULL || stream == NULL || frame == NULL || packet == NULL) goto done;

  codec->width = kWidth;
  codec->height = kHeight;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = (AVRational){1, kRate};
  codec->framerate = (AVRational){kRate, 1};
  codec->gop_size = kRate;
  codec->max_b_frames = 2;
  av_opt_set(codec->priv_data, "preset", "veryfast", 0);
  if (avcodec_open2(codec, encoder, NULL) < 0) goto done;
  if (avcodec_parameters_from_context(stream->codecpar, codec) < 0) goto done;
  stream->time_base = codec->time_base;
  if (avio_open(&muxer->pb, path, AVIO_FLAG_WRITE) < 0) goto done;
  if (avformat_write_header(muxer, NULL) < 0) goto done;

  frame->format = codec->pix_fmt;
  frame->width = kWidth;
  frame->height = kHeight;
  if (av_frame_get_buffer(frame, 0) < 0) goto done;
  for (int index = 0; index < seconds * kRate; ++index) {
    if (av_frame_make_writable(frame) < 0) goto done;
    Paint(frame, index);
    frame->pts = index;
    if (avcodec_send_frame(codec, frame) < 0 || Drain(codec, muxer, stream, packet) < 0) goto done;
  }
  if (avcodec_send_frame(codec, NULL) < 0 || Drain(codec, muxer, stream, packet) < 0) goto done;
  if (av_write_trailer(muxer) < 0) goto done;
  result = 0;

done:
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&codec);
  if (muxer != NULL && muxer->pb != NULL) avio_closep(&muxer->pb);
  avformat_free_context(muxer);
  if (result != 0) remove(path);
  return result;
}
