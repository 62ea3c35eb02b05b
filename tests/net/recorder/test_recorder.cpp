// A recorder to test the network library against: an RTSP server on
// loopback that serves recordings the tests made, by name and by time, to
// one user with a password (Basic and Digest).
//
//   qx_test_recorder --user U --password P
//                    --recording NAME,CHANNEL,START,FILE[,SOUND] [--recording ...]
//                    [--auth basic|digest|both] [--cut-after-frames N]
//                    [--stall-after-frames N] [--frame-delay-ms N]
//                    [--silent-sound 1] [--sound-for-ms N] [--video h264|mjpeg]
//
// FILE is an MP4/MOV file with H.264 video and, when SOUND is given, one
// sound track sent as SOUND: aac (RTP MPEG4-GENERIC), pcmu or pcma (G.711);
// START its wall-clock start in seconds since 1970 (UTC). The recording is served at
// rtsp://127.0.0.1:PORT/NAME (from its start, announcing its length) and, by time, at
// rtsp://127.0.0.1:PORT/recording/CHANNEL, where a clock range selects the
// part of the recording that lies inside it (one recording per channel).
// Both honour ONVIF replay (Require: onvif-replay, Rate-Control: no).
//
// The port is chosen by the system; the program prints "port N" on a line of
// its own once it listens, and runs until its standard input closes.
// --cut-after-frames ends the process without a goodbye once that many
// frames of one session have been sent: a recorder that vanishes mid-way.
// --stall-after-frames keeps the session open but sends nothing more after
// that many frames. --frame-delay-ms sends each frame that much later than
// the one before: a slow recorder. --auth chooses the challenges offered (both by default).
// --silent-sound 1 announces a by-time session's sound and never sends it;
// --sound-for-ms N sends its first N ms and then no more.
// --video mjpeg sends the files' video, MJPEG with the standard Huffman
// tables, as RTP/JPEG (by name only); H.264 by default.
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
// These three headers of gst-rtsp-server 1.22 declare C functions without
// C linkage for C++.
extern "C" {
#include <gst/rtsp-server/rtsp-onvif-media-factory.h>
#include <gst/rtsp-server/rtsp-onvif-media.h>
#include <gst/rtsp-server/rtsp-onvif-server.h>
}
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Seconds from 1900-01-01 (the clock ranges' epoch) to 1970-01-01.
constexpr guint64 kSeconds1900To1970 = 2208988800ULL;

struct Recording {
  std::string name;
  int channel = 0;
  gint64 start_unix = 0;
  std::string file;
  std::string sound;  // empty: the video alone
};

// The elements that send a recording's sound as RTP, as gst-launch text.
// G.711 goes with its static payload types (0, 8), as recorders send it.
const char* SoundPayloader(const std::string& sound) {
  if (sound == "aac") return "aacparse ! rtpmp4gpay pt=97";
  if (sound == "pcmu") return "rtppcmupay";
  if (sound == "pcma") return "rtppcmapay";
  return nullptr;
}

std::atomic<long> g_cut_after_frames{-1};
std::atomic<long> g_stall_after_frames{-1};
std::atomic<long> g_frame_delay_ms{0};
std::atomic<bool> g_silent_sound{false};
std::atomic<long> g_sound_for_ms{-1};
bool g_mjpeg = false;  // set before the server starts
constexpr long kUndelayedFrames = 5;

// The state of one by-time session's pipeline: where its recording sits on
// the wall clock, and the file-time seek that the last clock range became.
struct Replay {
  guint64 recording_start = 0;  // ns since 1900
  GstClockTime file_start = 0;  // the file time the current span starts at
  GstClockTime file_stop = GST_CLOCK_TIME_NONE;
  std::vector<GstElement*> onvif_stamps;  // one per stream
  long frames_sent = 0;
};

GstClockTime FileDuration(GstPad* ghost) {
  GstPad* target = gst_ghost_pad_get_target(GST_GHOST_PAD(ghost));
  if (target == nullptr) return GST_CLOCK_TIME_NONE;
  gint64 duration = -1;
  if (!gst_pad_query_duration(target, GST_FORMAT_TIME, &duration)) duration = -1;
  gst_object_unref(target);
  return duration < 0 ? GST_CLOCK_TIME_NONE : static_cast<GstClockTime>(duration);
}

// A clock range that misses the recording: the session gets an empty
// segment and its end, so the client sees a span with nothing in it.
void PushEmptySpan(GstPad* pad, GstEvent* seek) {
  guint32 seqnum = gst_event_get_seqnum(seek);
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(seek, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  GstEvent* event = gst_event_new_flush_start();
  gst_event_set_seqnum(event, seqnum);
  gst_pad_push_event(pad, event);
  event = gst_event_new_flush_stop(TRUE);
  gst_event_set_seqnum(event, seqnum);
  gst_pad_push_event(pad, event);
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_TIME);
  gboolean update;
  gst_segment_do_seek(&segment, rate, format, flags, start_type, start, stop_type, stop, &update);
  event = gst_event_new_segment(&segment);
  gst_event_set_seqnum(event, seqnum);
  gst_pad_push_event(pad, event);
  event = gst_event_new_eos();
  gst_event_set_seqnum(event, seqnum);
  gst_pad_push_event(pad, event);
}

// Upstream: a seek in ns since 1900 becomes a seek in the file's own time.
GstPadProbeReturn OnUpstreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
  auto* replay = static_cast<Replay*>(data);
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK) return GST_PAD_PROBE_OK;
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  if (format != GST_FORMAT_TIME || rate <= 0) return GST_PAD_PROBE_DROP;
  GstClockTime duration = FileDuration(pad);
  if (!GST_CLOCK_TIME_IS_VALID(duration)) return GST_PAD_PROBE_DROP;
  gint64 recording_start = static_cast<gint64>(replay->recording_start);
  gint64 file_start = std::max<gint64>(0, start - recording_start);
  gint64 file_stop = static_cast<gint64>(duration);
  if (stop_type == GST_SEEK_TYPE_SET && stop >= 0)
    file_stop = std::min(file_stop, stop - recording_start);
  if (start_type != GST_SEEK_TYPE_SET || start < 0) file_start = 0;
  if (file_start >= file_stop) {
    g_printerr("clock range misses the recording\n");
    PushEmptySpan(pad, event);
    return GST_PAD_PROBE_HANDLED;
  }
  replay->file_start = static_cast<GstClockTime>(file_start);
  // A span that reaches past the file's end takes all of it: with B-pictures
  // the last ones are shown after the end of the file's duration.
  const bool whole_tail = file_stop == static_cast<gint64>(duration);
  replay->file_stop = whole_tail ? GST_CLOCK_TIME_NONE : static_cast<GstClockTime>(file_stop);
  for (GstElement* stamp : replay->onvif_stamps)
    g_object_set(stamp, "ntp-offset",
                 static_cast<guint64>(replay->recording_start + static_cast<guint64>(file_start)),
                 nullptr);
  // Accurate: with sound beside the video, a key-unit seek would snap to a
  // sound packet's start before the span and send the video from the key
  // frame before that.
  const auto accurate =
      static_cast<GstSeekFlags>((flags & ~(GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE |
                                           GST_SEEK_FLAG_SNAP_AFTER | GST_SEEK_FLAG_SNAP_NEAREST)) |
                                GST_SEEK_FLAG_ACCURATE);
  GstEvent* translated = gst_event_new_seek(
      rate, GST_FORMAT_TIME, accurate, GST_SEEK_TYPE_SET, file_start,
      whole_tail ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET, whole_tail ? -1 : file_stop);
  gst_event_set_seqnum(translated, gst_event_get_seqnum(event));
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = translated;
  return GST_PAD_PROBE_OK;
}

// Upstream queries: seekable over all of time, no fixed end (a fixed end
// would make clients clamp later clock ranges to it).
GstPadProbeReturn OnUpstreamQuery(GstPad*, GstPadProbeInfo* info, gpointer) {
  GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_SEEKING:
      gst_query_set_seeking(query, GST_FORMAT_TIME, TRUE, 0, -1);
      return GST_PAD_PROBE_HANDLED;
    case GST_QUERY_DURATION: {
      GstFormat format;
      gst_query_parse_duration(query, &format, nullptr);
      if (format != GST_FORMAT_TIME) return GST_PAD_PROBE_DROP;
      gst_query_set_duration(query, GST_FORMAT_TIME, -1);
      return GST_PAD_PROBE_HANDLED;
    }
    default:
      return GST_PAD_PROBE_OK;
  }
}

// The start of a pad's segment in the file's own time.
constexpr const char* kSegmentStart = "qx-segment-start";

// Downstream: segments move onto the wall clock, frames after the span's
// end are dropped.
GstPadProbeReturn OnDownstreamEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
  auto* replay = static_cast<Replay*>(data);
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return GST_PAD_PROBE_OK;
  const GstSegment* incoming;
  gst_event_parse_segment(event, &incoming);
  g_object_set_data_full(G_OBJECT(pad), kSegmentStart, new guint64(incoming->start),
                         [](gpointer start) { delete static_cast<guint64*>(start); });
  GstSegment segment;
  gst_segment_copy_into(incoming, &segment);
  segment.start += replay->recording_start;
  if (GST_CLOCK_TIME_IS_VALID(segment.stop)) segment.stop += replay->recording_start;
  segment.time += replay->recording_start;
  segment.position += replay->recording_start;
  segment.duration = GST_CLOCK_TIME_NONE;
  GstEvent* translated = gst_event_new_segment(&segment);
  gst_event_set_seqnum(translated, gst_event_get_seqnum(event));
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = translated;
  return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* replay = static_cast<Replay*>(data);
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  if (GST_BUFFER_PTS_IS_VALID(buffer) && GST_CLOCK_TIME_IS_VALID(replay->file_stop) &&
      GST_BUFFER_PTS(buffer) >= replay->file_stop)
    return GST_PAD_PROBE_DROP;
  buffer = gst_buffer_make_writable(buffer);
  if (GST_BUFFER_PTS_IS_VALID(buffer)) GST_BUFFER_PTS(buffer) += replay->recording_start;
  if (GST_BUFFER_DTS_IS_VALID(buffer)) GST_BUFFER_DTS(buffer) += replay->recording_start;
  GST_PAD_PROBE_INFO_DATA(info) = buffer;
  return GST_PAD_PROBE_OK;
}

// Sound before its segment's start (an AAC encoder's priming samples, cut
// by the file's edit list) has no place on the wall clock: the ONVIF
// timestamper would fail the session on it. Runs before OnBuffer, on the
// file's own time.
GstPadProbeReturn DropSoundBeforeSegment(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  const auto* start = static_cast<const guint64*>(g_object_get_data(G_OBJECT(pad), kSegmentStart));
  const bool before =
      start != nullptr && GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_PTS(buffer) < *start;
  return before ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

// With --silent-sound 1 the sound is announced and never sent: each of its
// buffers becomes a gap, on which the server's sink still prerolls. Runs
// after OnBuffer, on the wall clock.
GstPadProbeReturn SilenceSound(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  const long sound_ms = g_sound_for_ms.load();
  if (sound_ms >= 0 && GST_BUFFER_PTS_IS_VALID(buffer)) {
    // --sound-for-ms: the session's first sound goes out, the rest is gaps.
    auto* first = static_cast<GstClockTime*>(g_object_get_data(G_OBJECT(pad), "qx-first-sound"));
    if (first == nullptr) {
      first = new GstClockTime(GST_BUFFER_PTS(buffer));
      g_object_set_data_full(G_OBJECT(pad), "qx-first-sound", first,
                             [](gpointer time) { delete static_cast<GstClockTime*>(time); });
    }
    if (GST_BUFFER_PTS(buffer) < *first + static_cast<GstClockTime>(sound_ms) * GST_MSECOND)
      return GST_PAD_PROBE_OK;
  } else if (!g_silent_sound.load()) {
    return GST_PAD_PROBE_OK;
  }
  if (GST_BUFFER_PTS_IS_VALID(buffer))
    gst_pad_push_event(pad, gst_event_new_gap(GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer)));
  return GST_PAD_PROBE_DROP;
}

// Counts the frames a session sends; with --cut-after-frames the recorder
// disappears once enough went out.
GstPadProbeReturn CountFrame(GstPad*, GstPadProbeInfo*, gpointer data) {
  long* frames = static_cast<long*>(data);
  ++*frames;
  long cut = g_cut_after_frames.load();
  if (cut >= 0 && *frames >= cut) {
    g_printerr("cutting off after %ld frames\n", *frames);
    _exit(3);
  }
  // Not the first frames: those are prerolled before the session's seek, and
  // one held back there would go out after it, on the timeline from before.
  if (g_frame_delay_ms.load() > 0 && *frames > kUndelayedFrames)
    g_usleep(static_cast<gulong>(g_frame_delay_ms.load()) * 1000);
  long stall = g_stall_after_frames.load();
  if (stall >= 0 && *frames >= stall) {
    // Keeps the session open and sends nothing more, for good.
    static GMutex mutex;
    static GCond never;
    g_mutex_lock(&mutex);
    for (;;) g_cond_wait(&never, &mutex);
  }
  return GST_PAD_PROBE_OK;
}

// The demuxer's video goes to the source bin's ghost pad "video", its sound
// to "sound" (when the recording sends sound).
void OnDemuxPad(GstElement*, GstPad* pad, gpointer data) {
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
  const gchar* kind = gst_structure_get_name(gst_caps_get_structure(caps, 0));
  const char* ghost_name = g_str_has_prefix(kind, "video/x-h264") ? "video"
                           : g_str_has_prefix(kind, "audio/")     ? "sound"
                                                                  : nullptr;
  gst_caps_unref(caps);
  if (ghost_name == nullptr) return;
  GstPad* ghost = gst_element_get_static_pad(GST_ELEMENT(data), ghost_name);
  if (ghost == nullptr) return;
  gst_ghost_pad_set_target(GST_GHOST_PAD(ghost), pad);
  gst_object_unref(ghost);
}

bool AddAll(GstBin* bin, std::initializer_list<GstElement*> elements) {
  for (GstElement* element : elements) {
    if (element == nullptr) return false;
    gst_bin_add(bin, element);
  }
  return true;
}

// A ghost pad of the source bin: one stream of the file, moved onto the
// wall clock.
void AddReplayPad(GstElement* source_bin, const char* name, Replay* replay) {
  GstPad* ghost = gst_ghost_pad_new_no_target(name, GST_PAD_SRC);
  gst_element_add_pad(source_bin, ghost);
  gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, OnUpstreamEvent, replay, nullptr);
  gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_QUERY_UPSTREAM, OnUpstreamQuery, replay, nullptr);
  gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnDownstreamEvent, replay, nullptr);
  if (std::strcmp(name, "sound") == 0)
    gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_BUFFER, DropSoundBeforeSegment, nullptr, nullptr);
  gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_BUFFER, OnBuffer, replay, nullptr);
  if (std::strcmp(name, "sound") == 0)
    gst_pad_add_probe(ghost, GST_PAD_PROBE_TYPE_BUFFER, SilenceSound, nullptr, nullptr);
}

// The payloading bin "payN" of one stream, with ONVIF timestamps.
GstElement* MakePayBin(int index, const std::string& payloader, Replay* replay) {
  const std::string description = "queue ! " + payloader + " ! rtponviftimestamp name=stamp";
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
  if (bin == nullptr) {
    g_printerr("cannot make \"%s\": %s\n", description.c_str(), error->message);
    g_clear_error(&error);
    return nullptr;
  }
  gst_element_set_name(bin, ("pay" + std::to_string(index)).c_str());
  GstElement* stamp = gst_bin_get_by_name(GST_BIN(bin), "stamp");
  g_object_set(stamp, "set-t-bit", TRUE, "set-e-bit", TRUE, "ntp-offset", G_GUINT64_CONSTANT(0),
               "drop-out-of-segment", FALSE, nullptr);
  replay->onvif_stamps.push_back(stamp);
  gst_object_unref(stamp);
  return bin;
}

// The pipeline of one by-time session: the file, moved onto the wall clock,
// payloaded with ONVIF timestamps.
GstElement* MakeReplayElement(const Recording& recording) {
  GstElement* top = gst_bin_new(nullptr);
  GstElement* source_bin = gst_bin_new("replay");
  GstElement* source = gst_element_factory_make("filesrc", nullptr);
  GstElement* demux = gst_element_factory_make("qtdemux", nullptr);
  auto* replay = new Replay;
  g_object_set_data_full(G_OBJECT(top), "replay", replay,
                         [](gpointer data) { delete static_cast<Replay*>(data); });
  replay->recording_start =
      (static_cast<guint64>(recording.start_unix) + kSeconds1900To1970) * GST_SECOND;
  GstElement* video = MakePayBin(0, "h264parse name=parse ! rtph264pay", replay);
  const char* sound_payloader = SoundPayloader(recording.sound);
  GstElement* sound = sound_payloader != nullptr ? MakePayBin(1, sound_payloader, replay) : nullptr;
  if (!AddAll(GST_BIN(source_bin), {source, demux}) || video == nullptr ||
      (!recording.sound.empty() && sound == nullptr)) {
    g_printerr("missing GStreamer elements\n");
    gst_object_unref(top);
    return nullptr;
  }
  gst_bin_add_many(GST_BIN(top), source_bin, video, nullptr);
  g_object_set(source, "location", recording.file.c_str(), nullptr);
  gst_element_link(source, demux);
  AddReplayPad(source_bin, "video", replay);
  gst_element_link_pads(source_bin, "video", video, "sink");
  if (sound != nullptr) {
    gst_bin_add(GST_BIN(top), sound);
    AddReplayPad(source_bin, "sound", replay);
    gst_element_link_pads(source_bin, "sound", sound, "sink");
  }
  g_signal_connect(demux, "pad-added", G_CALLBACK(OnDemuxPad), source_bin);

  GstElement* parse = gst_bin_get_by_name(GST_BIN(video), "parse");
  GstPad* frames = gst_element_get_static_pad(parse, "src");
  gst_pad_add_probe(frames, GST_PAD_PROBE_TYPE_BUFFER, CountFrame, &replay->frames_sent, nullptr);
  gst_object_unref(frames);
  gst_object_unref(parse);
  return top;
}

// The factory of by-time sessions: each session gets its own pipeline.
struct ReplayFactoryClass {
  GstRTSPOnvifMediaFactoryClass parent;
};
struct ReplayFactory {
  GstRTSPOnvifMediaFactory parent;
};

GstElement* CreateReplayElement(GstRTSPMediaFactory* factory, const GstRTSPUrl*) {
  auto* recording =
      static_cast<const Recording*>(g_object_get_data(G_OBJECT(factory), "recording"));
  return MakeReplayElement(*recording);
}

GType ReplayFactoryType() {
  static GType type = 0;
  if (type == 0) {
    GTypeInfo info{};
    info.class_size = sizeof(ReplayFactoryClass);
    info.class_init = [](gpointer klass, gpointer) {
      GST_RTSP_MEDIA_FACTORY_CLASS(klass)->create_element = CreateReplayElement;
    };
    info.instance_size = sizeof(ReplayFactory);
    type = g_type_register_static(GST_TYPE_RTSP_ONVIF_MEDIA_FACTORY, "QxTestReplayFactory", &info,
                                  static_cast<GTypeFlags>(0));
  }
  return type;
}

void AllowUser(GstRTSPMediaFactory* factory) {
  gst_rtsp_media_factory_add_role(factory, "user", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                  G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                  G_TYPE_BOOLEAN, TRUE, nullptr);
}

// By name: sound before its segment (see DropSoundBeforeSegment).
GstPadProbeReturn DropNamedSoundBeforeSegment(GstPad* pad, GstPadProbeInfo* info, gpointer) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
  if (event == nullptr) return GST_PAD_PROBE_OK;
  const GstSegment* segment;
  gst_event_parse_segment(event, &segment);
  const bool before = GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_PTS(buffer) < segment->start;
  gst_event_unref(event);
  return before ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

// By name: the file from its start, its length announced.
void OnNamedMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer) {
  GstElement* element = gst_rtsp_media_get_element(media);
  if (GstElement* sound = gst_bin_get_by_name(GST_BIN(element), "pay1")) {
    GstPad* pad = gst_element_get_static_pad(sound, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, DropNamedSoundBeforeSegment, nullptr,
                      nullptr);
    gst_object_unref(pad);
    gst_object_unref(sound);
  }
  GstElement* pay = gst_bin_get_by_name(GST_BIN(element), "pay0");
  if (pay != nullptr) {
    GstPad* pad = gst_element_get_static_pad(pay, "sink");
    auto* frames = new long(0);
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountFrame, frames,
                      [](gpointer data) { delete static_cast<long*>(data); });
    gst_object_unref(pad);
    gst_object_unref(pay);
  }
  gst_object_unref(element);
}

GstRTSPMediaFactory* MakeNamedFactory(const Recording& recording) {
  GstRTSPMediaFactory* factory = gst_rtsp_onvif_media_factory_new();
  gchar* location = g_strescape(recording.file.c_str(), nullptr);
  std::string sound;
  if (const char* payloader = SoundPayloader(recording.sound))
    sound = std::string(" demux.audio_0 ! queue ! ") + payloader + " name=pay1";
  gchar* launch = g_strdup_printf(
      "( filesrc location=\"%s\" ! qtdemux name=demux demux.video_0 ! queue ! %s name=pay0 "
      "pt=%d%s )",
      location, g_mjpeg ? "jpegparse ! rtpjpegpay" : "h264parse ! rtph264pay", g_mjpeg ? 26 : 96,
      sound.c_str());
  gst_rtsp_media_factory_set_launch(factory, launch);
  g_free(launch);
  g_free(location);
  gst_rtsp_media_factory_set_media_gtype(factory, GST_TYPE_RTSP_ONVIF_MEDIA);
  gst_rtsp_onvif_media_factory_set_replay_support(GST_RTSP_ONVIF_MEDIA_FACTORY(factory), TRUE);
  g_signal_connect(factory, "media-configure", G_CALLBACK(OnNamedMediaConfigure), nullptr);
  AllowUser(factory);
  return factory;
}

GstRTSPMediaFactory* MakeReplayFactory(const Recording& recording) {
  auto* factory = GST_RTSP_MEDIA_FACTORY(g_object_new(ReplayFactoryType(), nullptr));
  g_object_set_data(G_OBJECT(factory), "recording", const_cast<Recording*>(&recording));
  gst_rtsp_media_factory_set_media_gtype(factory, GST_TYPE_RTSP_ONVIF_MEDIA);
  gst_rtsp_onvif_media_factory_set_replay_support(GST_RTSP_ONVIF_MEDIA_FACTORY(factory), TRUE);
  AllowUser(factory);
  return factory;
}

bool ParseRecording(const char* text, Recording* recording) {
  gchar** parts = g_strsplit(text, ",", 5);
  const guint count = g_strv_length(parts);
  bool ok = count == 4 || (count == 5 && SoundPayloader(parts[4]) != nullptr);
  if (ok) {
    recording->name = parts[0];
    recording->channel = std::atoi(parts[1]);
    recording->start_unix = g_ascii_strtoll(parts[2], nullptr, 10);
    recording->file = parts[3];
    if (count == 5) recording->sound = parts[4];
  }
  g_strfreev(parts);
  return ok;
}

gboolean OnStdinClosed(GIOChannel*, GIOCondition, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  std::string user, password;
  std::vector<Recording> recordings;
  std::string auth_methods = "both";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--user") {
      user = argv[i + 1];
    } else if (option == "--password") {
      password = argv[i + 1];
    } else if (option == "--cut-after-frames") {
      g_cut_after_frames = std::atol(argv[i + 1]);
    } else if (option == "--stall-after-frames") {
      g_stall_after_frames = std::atol(argv[i + 1]);
    } else if (option == "--frame-delay-ms") {
      g_frame_delay_ms = std::atol(argv[i + 1]);
    } else if (option == "--silent-sound") {
      g_silent_sound = std::string(argv[i + 1]) == "1";
    } else if (option == "--sound-for-ms") {
      g_sound_for_ms = std::atol(argv[i + 1]);
    } else if (option == "--video") {
      g_mjpeg = std::string(argv[i + 1]) == "mjpeg";
    } else if (option == "--auth") {
      auth_methods = argv[i + 1];
    } else if (option == "--recording") {
      Recording recording;
      if (!ParseRecording(argv[i + 1], &recording)) {
        g_printerr("bad recording %s\n", argv[i + 1]);
        return 2;
      }
      recordings.push_back(recording);
    } else {
      g_printerr("unknown option %s\n", option.c_str());
      return 2;
    }
  }

  GstRTSPServer* server = gst_rtsp_onvif_server_new();
  gst_rtsp_server_set_address(server, "127.0.0.1");
  gst_rtsp_server_set_service(server, "0");

  GstRTSPAuth* auth = gst_rtsp_auth_new();
  int methods = auth_methods == "basic"    ? GST_RTSP_AUTH_BASIC
                : auth_methods == "digest" ? GST_RTSP_AUTH_DIGEST
                                           : GST_RTSP_AUTH_BASIC | GST_RTSP_AUTH_DIGEST;
  gst_rtsp_auth_set_supported_methods(auth, static_cast<GstRTSPAuthMethod>(methods));
  GstRTSPToken* token =
      gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "user", nullptr);
  gchar* basic = gst_rtsp_auth_make_basic(user.c_str(), password.c_str());
  gst_rtsp_auth_add_basic(auth, basic, token);
  g_free(basic);
  gst_rtsp_auth_add_digest(auth, user.c_str(), password.c_str(), token);
  gst_rtsp_token_unref(token);
  gst_rtsp_server_set_auth(server, auth);
  g_object_unref(auth);

  GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
  for (const Recording& recording : recordings) {
    gst_rtsp_mount_points_add_factory(mounts, ("/" + recording.name).c_str(),
                                      MakeNamedFactory(recording));
    gst_rtsp_mount_points_add_factory(mounts,
                                      ("/recording/" + std::to_string(recording.channel)).c_str(),
                                      MakeReplayFactory(recording));
  }
  g_object_unref(mounts);

  if (gst_rtsp_server_attach(server, nullptr) == 0) {
    g_printerr("cannot listen\n");
    return 1;
  }
  std::printf("port %d\n", gst_rtsp_server_get_bound_port(server));
  std::fflush(stdout);

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
  g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnStdinClosed,
                 loop);
  g_main_loop_run(loop);
  g_io_channel_unref(input);
  g_main_loop_unref(loop);
  g_object_unref(server);
  return 0;
}
