#include "backends/net/rtsp_receiver.h"

#include <gst/app/gstappsink.h>
#include <gst/rtsp/rtsp.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "core/log.h"

namespace qx::net {
namespace {

// GStreamer's user data of the probes carries the download's handle number
// itself, not a pointer to anything.
gpointer HandleAsUserData(int32_t handle) {
  return reinterpret_cast<gpointer>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<intptr_t>(handle));
}

constexpr const char* kStopMessage = "qx-net-stop";
constexpr const char* kByeMessage = "qx-net-recorder-done";

// After the recorder said goodbye (RTCP BYE), how long the end of its stream
// may take to come through once nothing is left on its way. rtspsrc 1.22 now
// and then loses that end inside its RTP session when the recording is
// short; then the receiver ends the stream into the muxer itself, after
// everything that did come through. The goodbye overtakes the packets sent
// before it (RTCP does not wait in the jitter buffers), and on a loaded
// machine the last of them may leave the RTP session seconds after it: the
// stream is only ended by hand once every packet received has left the
// session, and none for this long, or the end into the muxer would cut them
// off and the file would lack its last frames.
constexpr GstClockTime kByeGrace = 1 * GST_SECOND;

// How often a download looks whether its recorder has gone silent. rtspsrc
// reads an interleaved session without a timeout, so a recorder that keeps
// the connection open and sends nothing would hold a download for ever.
constexpr GstClockTime kSilenceCheck = 200 * GST_MSECOND;

// How long after the first stream of a session arrived the others may take
// before they are left out. A recorder may announce a stream (sound, most
// often) that it never sends; MPEG-TS and Matroska muxers wait for every
// input before they write anything, so that absent stream would hold the
// pictures back until the session ends.
constexpr gint64 kAbsentStreamGraceUs = 2 * G_USEC_PER_SEC;

GstClockTime MonotonicNow() {
  return static_cast<GstClockTime>(g_get_monotonic_time()) * GST_USECOND;
}

std::string ErrorText(GstMessage* message) {
  GError* error = nullptr;
  gchar* debug = nullptr;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
    gst_message_parse_error(message, &error, &debug);
  else
    gst_message_parse_warning(message, &error, &debug);
  std::string text = error != nullptr ? error->message : "unknown";
  g_clear_error(&error);
  g_free(debug);
  return text;
}

GstElement* AddElement(GstElement* pipeline, const char* factory) {
  GstElement* element = gst_element_factory_make(factory, nullptr);
  if (element == nullptr) {
    qx::log::Error("net", qx::log::kNoPort, "GStreamer has no element \"{}\"", factory);
    return nullptr;
  }
  gst_bin_add(GST_BIN(pipeline), element);
  return element;
}

// A stream nobody wants (sound, metadata) still has to go somewhere: an
// unlinked stream would fail the whole session.
void Discard(GstElement* pipeline, GstPad* pad) {
  GstElement* sink = AddElement(pipeline, "fakesink");
  if (sink == nullptr) return;
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  gst_element_sync_state_with_parent(sink);
  GstPad* sink_pad = gst_element_get_static_pad(sink, "sink");
  gst_pad_link(pad, sink_pad);
  gst_object_unref(sink_pad);
}

// A recorder may send its stream's parameter sets (H.264/H.265 SPS and
// PPS) only in the session description; the parsers put them in front of
// every key frame, so that the MPEG-TS stream and files decode from any key
// frame on their own.
void OnParserElement(GstBin*, GstBin*, GstElement* element, gpointer) {
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "config-interval") != nullptr)
    g_object_set(element, "config-interval", -1, nullptr);
}

// Says in the log where the end of a stream passed.
GstPadProbeReturn LogEnd(GstPad* pad, GstPadProbeInfo* info, gpointer handle) {
  if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS)
    qx::log::Debug("net", static_cast<int32_t>(reinterpret_cast<intptr_t>(handle)),
                   "end of stream at {}", GST_OBJECT_NAME(pad));
  return GST_PAD_PROBE_OK;
}

// rtpjitterbuffer 1.22 turns the npt-stop of its input caps into a timer
// that ends the stream at an estimated running time, and holds the stream's
// end until that timer has run. The timer is armed by the thread that pushes
// the last frames out, without waking the timer thread; when the recorder's
// whole span arrives in one burst nothing wakes it again, the end of the
// stream never leaves, and stopping the session then deadlocks inside
// rtpbin. The recorder's end (RTCP BYE, or the end of the connection) is what
// ends a session here, so the jitter buffers are never told the span's end.
GstPadProbeReturn ForgetNptRange(GstPad*, GstPadProbeInfo* info, gpointer) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  if (caps == nullptr || gst_caps_is_empty(caps) ||
      !gst_structure_has_field(gst_caps_get_structure(caps, 0), "npt-stop"))
    return GST_PAD_PROBE_OK;
  GstCaps* without = gst_caps_copy(caps);
  for (guint i = 0; i < gst_caps_get_size(without); ++i)
    gst_structure_remove_fields(gst_caps_get_structure(without, i), "npt-start", "npt-stop",
                                nullptr);
  GstEvent* replacement = gst_event_new_caps(without);
  gst_caps_unref(without);
  gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
  gst_event_unref(event);
  GST_PAD_PROBE_INFO_DATA(info) = replacement;
  return GST_PAD_PROBE_OK;
}

// The RTP packets a probe sees: a buffer, or each buffer of a list.
uint64_t PacketsOf(GstPadProbeInfo* info) {
  if ((GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER_LIST) != 0)
    return gst_buffer_list_length(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
  return 1;
}

// The element factories of a kind (decoders, parsers) whose input takes
// what `pad` gives, best ranked first; the caller frees the list.
GList* FactoriesTaking(GstPad* pad, GstElementFactoryListType kind) {
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
  GList* all = gst_element_factory_list_get_elements(kind, GST_RANK_MARGINAL);
  GList* fitting = gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE);
  gst_caps_unref(caps);
  gst_plugin_feature_list_free(all);
  return fitting;
}

// Sound that neither MPEG-TS nor Matroska carries, for a live stream:
// decoded and encoded as AAC. Returns the encoder's output pad (with a reference), null
// when the chain cannot be made.
GstPad* AddAacEncoder(GstElement* pipeline, GstPad* sound) {
  GList* fitting = FactoriesTaking(sound, GST_ELEMENT_FACTORY_TYPE_DECODER);
  GstElement* decoder =
      fitting != nullptr ? gst_element_factory_create(GST_ELEMENT_FACTORY(fitting->data), nullptr)
                         : nullptr;
  gst_plugin_feature_list_free(fitting);
  GstElement* chain[] = {decoder, gst_element_factory_make("audioconvert", nullptr),
                         gst_element_factory_make("audioresample", nullptr),
                         gst_element_factory_make("voaacenc", nullptr),
                         gst_element_factory_make("aacparse", nullptr)};
  bool made = true;
  for (GstElement* element : chain) made = made && element != nullptr;
  if (!made) {
    qx::log::Error("net", qx::log::kNoPort,
                   "no decoder for the sound, or no AAC encoder (voaacenc) here");
    for (GstElement* element : chain)
      if (element != nullptr) gst_object_unref(element);
    return nullptr;
  }
  for (GstElement* element : chain) gst_bin_add(GST_BIN(pipeline), element);
  bool linked = true;
  for (size_t i = 0; i + 1 < std::size(chain); ++i)
    linked = linked && gst_element_link(chain[i], chain[i + 1]);
  for (GstElement* element : chain) gst_element_sync_state_with_parent(element);
  GstPad* chain_in = gst_element_get_static_pad(decoder, "sink");
  linked = linked && gst_pad_link(sound, chain_in) == GST_PAD_LINK_OK;
  gst_object_unref(chain_in);
  if (!linked) {
    qx::log::Error("net", qx::log::kNoPort, "cannot link the sound to the AAC encoder");
    return nullptr;
  }
  return gst_element_get_static_pad(chain[std::size(chain) - 1], "src");
}

// H.264/H.265 comes out of its depayloader with presentation times only
// (RTP carries no other), and pictures that are shown after later ones
// (B-pictures) then leave the muxer with decode times out of order: MPEG-TS
// readers warn and players drop pictures. A timestamper of its codec gives
// every picture a decode time from the reordering that the stream's
// sequence parameters allow. A parser after it hands the stream to the
// muxer in the form the muxer takes: the timestamper passes on whatever form
// the first parser chose without asking the muxer. Returns that parser's
// output pad (with a reference), null when the stream needs none of this or
// it cannot be made (the stream then goes on as it is).
GstPad* AddDecodeTimes(GstElement* pipeline, GstPad* video, int32_t handle) {
  GstCaps* caps = gst_pad_get_current_caps(video);
  if (caps == nullptr) caps = gst_pad_query_caps(video, nullptr);
  const bool h264 = !gst_caps_is_empty(caps) &&
                    gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-h264");
  const bool h265 = !gst_caps_is_empty(caps) &&
                    gst_structure_has_name(gst_caps_get_structure(caps, 0), "video/x-h265");
  gst_caps_unref(caps);
  if (!h264 && !h265) return nullptr;
  GstElement* chain[] = {
      gst_element_factory_make(h264 ? "h264timestamper" : "h265timestamper", nullptr),
      gst_element_factory_make(h264 ? "h264parse" : "h265parse", nullptr)};
  if (chain[0] == nullptr || chain[1] == nullptr) {
    qx::log::Warning("net", handle,
                     "GStreamer has no {} timestamper: pictures keep no decode times",
                     h264 ? "H.264" : "H.265");
    for (GstElement* element : chain)
      if (element != nullptr) gst_object_unref(element);
    return nullptr;
  }
  g_object_set(chain[1], "config-interval", -1, nullptr);
  for (GstElement* element : chain) gst_bin_add(GST_BIN(pipeline), element);
  GstPad* in = gst_element_get_static_pad(chain[0], "sink");
  const bool linked =
      gst_element_link(chain[0], chain[1]) && gst_pad_link(video, in) == GST_PAD_LINK_OK;
  gst_object_unref(in);
  if (!linked) {
    qx::log::Warning("net", handle, "cannot link the timestamper: pictures keep no decode times");
    for (GstElement* element : chain) gst_bin_remove(GST_BIN(pipeline), element);
    return nullptr;
  }
  for (GstElement* element : chain) gst_element_sync_state_with_parent(element);
  return gst_element_get_static_pad(chain[1], "src");
}

// A parsed stream in a form the muxer does not take (H.264 as a byte stream
// for Matroska, which wants it length-prefixed): a second parser of its kind
// converts it, as parsers do when their output is asked for in another form.
// Returns the parser's output pad (with a reference), null when no parser
// helps.
GstPad* AddConverter(GstElement* pipeline, GstPad* stream, GstPad* muxer_input) {
  GList* fitting = FactoriesTaking(stream, GST_ELEMENT_FACTORY_TYPE_PARSER);
  GstPad* out = nullptr;
  for (GList* item = fitting; item != nullptr && out == nullptr; item = item->next) {
    GstElement* parser = gst_element_factory_create(GST_ELEMENT_FACTORY(item->data), nullptr);
    if (parser == nullptr) continue;
    gst_bin_add(GST_BIN(pipeline), parser);
    GstPad* in = gst_element_get_static_pad(parser, "sink");
    GstPad* parsed = gst_element_get_static_pad(parser, "src");
    if (gst_pad_link(stream, in) == GST_PAD_LINK_OK &&
        gst_pad_link(parsed, muxer_input) == GST_PAD_LINK_OK) {
      gst_pad_unlink(parsed, muxer_input);  // the caller links it
      gst_element_sync_state_with_parent(parser);
      out = GST_PAD(gst_object_ref(parsed));
    } else {
      gst_pad_unlink(stream, in);
      gst_bin_remove(GST_BIN(pipeline), parser);
    }
    gst_object_unref(in);
    gst_object_unref(parsed);
  }
  gst_plugin_feature_list_free(fitting);
  return out;
}

}  // namespace

RtspReceiver::RtspReceiver(const ReceiverOptions& options, Sink sink, EndNotice end_notice)
    : options_(options), sink_(std::move(sink)), end_notice_(std::move(end_notice)) {}

std::unique_ptr<RtspReceiver> RtspReceiver::Start(const ReceiverOptions& options, Sink sink,
                                                  EndNotice end_notice) {
  std::unique_ptr<RtspReceiver> receiver(
      new RtspReceiver(options, std::move(sink), std::move(end_notice)));
  if (!receiver->Build()) return nullptr;
  if (gst_element_set_state(receiver->pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    qx::log::Warning("net", options.handle, "cannot start the session with {}", options.url);
    // The watcher reports the error message and lets go of the pipeline.
  }
  receiver->last_data_us_ = g_get_monotonic_time();
  receiver->watcher_ = std::thread([raw = receiver.get()] { raw->WatchBus(); });
  bool set_up = false;
  {
    MutexLock lock(receiver->mutex_);
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    while (!receiver->set_up_ && !receiver->ended_ &&
           receiver->changed_.wait_until(lock.mutex(), deadline) != std::cv_status::timeout) {
    }
    set_up = receiver->set_up_ && !receiver->ended_;
  }
  if (!set_up) {
    qx::log::Warning("net", options.handle, "{} sent no stream within {} ms", options.url,
                     options.timeout.count());
    receiver->Stop(false);
    return nullptr;
  }
  return receiver;
}

RtspReceiver::~RtspReceiver() {
  Stop(false);
  for (GstPad* input : muxer_inputs_)
    if (input != nullptr) gst_object_unref(input);
  for (GstPad* entry : stream_entries_)
    if (entry != nullptr) gst_object_unref(entry);
  if (bus_ != nullptr) gst_object_unref(bus_);
  if (pipeline_ != nullptr) gst_object_unref(pipeline_);
}

bool RtspReceiver::Build() {
  pipeline_ = gst_pipeline_new(nullptr);
  source_ = AddElement(pipeline_, "rtspsrc");
  app_sink_ = AddElement(pipeline_, "appsink");
  if (source_ == nullptr || app_sink_ == nullptr) return false;
  bus_ = gst_pipeline_get_bus(GST_PIPELINE(pipeline_));

  const guint64 timeout_us = static_cast<guint64>(options_.timeout.count()) * 1000;
  g_object_set(source_, "location", options_.url.c_str(), "user-id", options_.user.c_str(),
               "user-pw", options_.password.c_str(), "onvif-mode", TRUE, "protocols",
               GST_RTSP_LOWER_TRANS_TCP, "tcp-timeout", timeout_us, "timeout", timeout_us, nullptr);
  // No jitter buffer: an interleaved session over TCP arrives whole and in
  // order. rtpbin's buffer drops most of a download's burst (it arrives
  // faster than real time), and in a real-time playback it dropped the key
  // frame that opens the span, so that the first picture waited a whole
  // group of pictures for the next one. Without it the frames keep the
  // recorder's own timestamps, by which the engine paces a playback.
  g_object_set(source_, "buffer-mode", 0, nullptr);
  if (options_.as_fast_as_sent) g_object_set(source_, "onvif-rate-control", FALSE, nullptr);
  g_object_set(app_sink_, "sync", FALSE, "async", FALSE, "emit-signals", TRUE, nullptr);
  g_signal_connect(app_sink_, "new-sample", G_CALLBACK(OnSample), this);
  g_signal_connect(source_, "pad-added", G_CALLBACK(OnSourcePad), this);
  g_signal_connect(source_, "on-sdp", G_CALLBACK(OnSdp), this);
  g_signal_connect(source_, "new-manager", G_CALLBACK(OnManager), this);

  if (options_.span) {
    // The clock range goes into the session's first PLAY. (A seek before
    // the start would make rtspsrc 1.22 play once without a range and then
    // again with it; the recorder would start sending from the beginning.)
    range_header_ =
        "clock=" + ClockText(options_.span->start) + "-" + ClockText(options_.span->end);
    g_signal_connect(source_, "before-send", G_CALLBACK(OnBeforeSend), this);
  }
  return true;
}

void RtspReceiver::OnSourcePad(GstElement*, GstPad* pad, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  // rtspsrc names its pads recv_rtp_src_STREAM_SSRC_PT, STREAM being the
  // media's index in the session description.
  guint index = 0;
  gchar* name = gst_pad_get_name(pad);
  const bool named = std::sscanf(name, "recv_rtp_src_%u_", &index) == 1;
  g_free(name);
  Carriage carriage = Carriage::kDrop;
  GstPad* muxer_input = named ? self->MuxerInput(index, &carriage) : nullptr;
  if (muxer_input == nullptr) {
    Discard(self->pipeline_, pad);
    return;
  }
  gst_object_unref(muxer_input);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, LogEnd,
                    HandleAsUserData(self->options_.handle), nullptr);
  GstElement* parser = AddElement(self->pipeline_, "parsebin");
  if (parser == nullptr) {
    self->GiveUpStream(index);
    Discard(self->pipeline_, pad);
    return;
  }
  g_object_set_data(G_OBJECT(parser), "qx-stream", GUINT_TO_POINTER(index));
  g_signal_connect(parser, "pad-added", G_CALLBACK(OnParsedPad), self);
  g_signal_connect(parser, "deep-element-added", G_CALLBACK(OnParserElement), nullptr);
  gst_element_sync_state_with_parent(parser);
  GstPad* parser_sink = gst_element_get_static_pad(parser, "sink");
  const bool linked = gst_pad_link(pad, parser_sink) == GST_PAD_LINK_OK;
  if (!linked) {
    qx::log::Error("net", self->options_.handle, "cannot link the recorder's stream {}", index);
    self->GiveUpStream(index);
  }
  MutexLock lock(self->mutex_);
  if (linked && index < self->stream_entries_.size() && self->stream_entries_[index] == nullptr)
    self->stream_entries_[index] = GST_PAD(gst_object_ref(parser_sink));
  gst_object_unref(parser_sink);
  self->set_up_ = true;
  self->changed_.notify_all();
}

void RtspReceiver::OnParsedPad(GstElement* parser, GstPad* pad, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  const guint index = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(parser), "qx-stream"));
  Carriage carriage = Carriage::kDrop;
  GstPad* muxer_input = self->MuxerInput(index, &carriage);
  // `output` is the end of what leads to the muxer: the parsed pad, or
  // (with a reference) the last element put after it.
  GstPad* output = pad;
  if (carriage == Carriage::kToAac)
    output = AddAacEncoder(self->pipeline_, pad);
  else if (GstPad* timed = AddDecodeTimes(self->pipeline_, pad, self->options_.handle))
    output = timed;
  bool linked = muxer_input != nullptr && output != nullptr &&
                gst_pad_link(output, muxer_input) == GST_PAD_LINK_OK;
  if (!linked && carriage != Carriage::kToAac && output != nullptr && muxer_input != nullptr) {
    if (GstPad* converted = AddConverter(self->pipeline_, output, muxer_input)) {
      linked = gst_pad_link(converted, muxer_input) == GST_PAD_LINK_OK;
      gst_object_unref(converted);
    }
  }
  if (muxer_input != nullptr) gst_object_unref(muxer_input);
  if (!linked) {
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    gchar* text = gst_caps_to_string(caps);
    qx::log::Error("net", self->options_.handle, "the {} cannot carry the recorder's {}",
                   MuxerFactory(self->Plan().container), text);
    g_free(text);
    gst_caps_unref(caps);
    self->GiveUpStream(index);
    if (output != nullptr && !gst_pad_is_linked(output)) Discard(self->pipeline_, output);
  }
  if (output != nullptr && output != pad) gst_object_unref(output);
  if (!linked) return;
  const bool video = self->Plan().video[index];
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, video ? OnFrame : OnSound, self, nullptr);
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, LogEnd,
                    HandleAsUserData(self->options_.handle), nullptr);
}

void RtspReceiver::PrepareMuxer(const GstSDPMessage& sdp) {
  StreamPlan plan = PlanStreams(sdp, options_.keep_codecs, options_.handle);
  GstElement* muxer = AddElement(pipeline_, MuxerFactory(plan.container));
  if (muxer == nullptr) return;
  // Matroska written as it goes, never sought back into: the file is
  // readable up to its last block even if the process dies.
  if (plan.container == Container::kMatroska) g_object_set(muxer, "streamable", TRUE, nullptr);
  GstPad* muxer_out = gst_element_get_static_pad(muxer, "src");
  gst_pad_add_probe(muxer_out, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, LogEnd,
                    HandleAsUserData(options_.handle), nullptr);
  gst_object_unref(muxer_out);
  if (!gst_element_link(muxer, app_sink_))
    qx::log::Error("net", options_.handle, "cannot link the {}", MuxerFactory(plan.container));
  // Every input is asked for now, before any stream arrives: the muxer
  // waits for all of them before it writes its header.
  std::vector<GstPad*> inputs(plan.streams.size(), nullptr);
  for (size_t i = 0; i < plan.streams.size(); ++i) {
    if (plan.streams[i] == Carriage::kDrop) continue;
    const char* pad_name = plan.container == Container::kMpegTs ? "sink_%d"
                           : plan.video[i]                      ? "video_%u"
                                                                : "audio_%u";
    inputs[i] = gst_element_request_pad_simple(muxer, pad_name);
    if (inputs[i] == nullptr) {
      qx::log::Error("net", options_.handle, "the {} takes no stream {}",
                     MuxerFactory(plan.container), i);
      plan.streams[i] = Carriage::kDrop;
    }
  }
  gst_element_sync_state_with_parent(muxer);
  MutexLock lock(mutex_);
  muxer_ = muxer;
  plan_ = std::move(plan);
  muxer_inputs_ = std::move(inputs);
  stream_entries_.assign(plan_.streams.size(), nullptr);
  said_bye_.assign(plan_.streams.size(), false);
  arrived_.assign(plan_.streams.size(), false);
}

GstPad* RtspReceiver::MuxerInput(guint index, Carriage* carriage) {
  MutexLock lock(mutex_);
  if (index >= muxer_inputs_.size() || muxer_inputs_[index] == nullptr) return nullptr;
  arrived_[index] = true;
  if (first_arrival_us_ == 0) first_arrival_us_ = g_get_monotonic_time();
  *carriage = plan_.streams[index];
  return GST_PAD(gst_object_ref(muxer_inputs_[index]));
}

void RtspReceiver::GiveUpStream(guint index) {
  GstPad* input = nullptr;
  {
    MutexLock lock(mutex_);
    if (index < muxer_inputs_.size() && muxer_inputs_[index] != nullptr)
      input = GST_PAD(gst_object_ref(muxer_inputs_[index]));
  }
  if (input == nullptr) return;
  gst_pad_send_event(input, gst_event_new_eos());
  gst_object_unref(input);
}

bool RtspReceiver::LeaveOutAbsentStreams() {
  std::vector<std::pair<size_t, GstPad*>> absent;
  {
    MutexLock lock(mutex_);
    if (muxer_ == nullptr) return true;  // not described yet
    bool awaited = false;
    for (size_t i = 0; i < muxer_inputs_.size(); ++i)
      awaited = awaited || (muxer_inputs_[i] != nullptr && !arrived_[i]);
    if (!awaited) return false;
    if (first_arrival_us_ == 0 || g_get_monotonic_time() - first_arrival_us_ < kAbsentStreamGraceUs)
      return true;
    for (size_t i = 0; i < muxer_inputs_.size(); ++i) {
      if (muxer_inputs_[i] == nullptr || arrived_[i]) continue;
      // Taken out under the lock: a pad rtspsrc adds for it later finds no
      // input and is discarded, and the goodbye no longer waits for it.
      absent.emplace_back(i, muxer_inputs_[i]);
      muxer_inputs_[i] = nullptr;
      plan_.streams[i] = Carriage::kDrop;
    }
  }
  GstElement* muxer = Muxer();
  for (const auto& [index, input] : absent) {
    qx::log::Warning("net", options_.handle,
                     "{} announced stream {} but sent nothing of it: left out", options_.url,
                     index);
    // Given back rather than ended: an MPEG-TS muxer fails the whole
    // session on an input that ends without ever having said its format.
    gst_element_release_request_pad(muxer, input);
    gst_object_unref(input);
  }
  gst_object_unref(muxer);
  return false;
}

StreamPlan RtspReceiver::Plan() const {
  MutexLock lock(mutex_);
  return plan_;
}

GstElement* RtspReceiver::Muxer() const {
  MutexLock lock(mutex_);
  return muxer_ != nullptr ? GST_ELEMENT(gst_object_ref(muxer_)) : nullptr;
}

gboolean RtspReceiver::OnBeforeSend(GstElement*, GstRTSPMessage* message, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  if (message->type == GST_RTSP_MESSAGE_REQUEST &&
      message->type_data.request.method == GST_RTSP_PLAY) {
    gst_rtsp_message_remove_header(message, GST_RTSP_HDR_RANGE, -1);
    gst_rtsp_message_add_header(message, GST_RTSP_HDR_RANGE, self->range_header_.c_str());
  }
  return TRUE;
}

void RtspReceiver::OnManager(GstElement*, GstElement* manager, gpointer self) {
  g_signal_connect(manager, "on-bye-ssrc", G_CALLBACK(OnBye), self);
  g_signal_connect(manager, "new-jitterbuffer", G_CALLBACK(OnJitterBuffer), self);
}

void RtspReceiver::OnJitterBuffer(GstElement*, GstElement* jitter_buffer, guint, guint,
                                  gpointer self) {
  constexpr auto kPackets =
      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST);
  if (GstPad* sink = gst_element_get_static_pad(jitter_buffer, "sink")) {
    gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, ForgetNptRange, nullptr, nullptr);
    gst_pad_add_probe(sink, kPackets, OnPacketIn, self, nullptr);
    gst_object_unref(sink);
  }
  if (GstPad* src = gst_element_get_static_pad(jitter_buffer, "src")) {
    gst_pad_add_probe(src, kPackets, OnPacketOut, self, nullptr);
    gst_object_unref(src);
  }
}

GstPadProbeReturn RtspReceiver::OnPacketIn(GstPad*, GstPadProbeInfo* info, gpointer data) {
  static_cast<RtspReceiver*>(data)->packets_in_ += PacketsOf(info);
  return GST_PAD_PROBE_OK;
}

GstPadProbeReturn RtspReceiver::OnPacketOut(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  self->packets_out_ += PacketsOf(info);
  self->last_packet_out_us_ = g_get_monotonic_time();
  return GST_PAD_PROBE_OK;
}

bool RtspReceiver::PacketsInFlight() const {
  // Out is read first: a packet counted out after that read was counted in
  // before it, so the difference never goes below what is really held.
  const uint64_t out = packets_out_.load();
  const uint64_t in = packets_in_.load();
  return in > out;
}

void RtspReceiver::OnBye(GstElement*, guint session, guint, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  // rtspsrc gives each stream the RTP session of its index. The recorder
  // says goodbye per stream, and a download's streams do not end together
  // (sound, small, is sent long before the video): the session is done
  // once every carried stream has said it.
  {
    MutexLock lock(self->mutex_);
    if (session < self->said_bye_.size()) self->said_bye_[session] = true;
    for (size_t i = 0; i < self->plan_.streams.size(); ++i)
      if (self->plan_.streams[i] != Carriage::kDrop && !self->said_bye_[i]) return;
  }
  gst_bus_post(self->bus_,
               gst_message_new_application(nullptr, gst_structure_new_empty(kByeMessage)));
}

void RtspReceiver::EndMuxerInputs() {
  std::vector<GstPad*> entries;
  {
    MutexLock lock(mutex_);
    for (GstPad* entry : stream_entries_)
      if (entry != nullptr) entries.push_back(GST_PAD(gst_object_ref(entry)));
  }
  // Serialised with the stream's own pushes (the pad's stream lock): the
  // elements give out what they hold, then pass the end on to the muxer.
  for (GstPad* entry : entries) {
    gst_pad_send_event(entry, gst_event_new_eos());
    gst_object_unref(entry);
  }
  GstElement* muxer = Muxer();
  if (muxer == nullptr) return;  // the recorder never described the session
  GstIterator* pads = gst_element_iterate_sink_pads(muxer);
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
    gst_pad_send_event(GST_PAD(g_value_get_object(&item)), gst_event_new_eos());
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(pads);
  gst_object_unref(muxer);
}

void RtspReceiver::OnSdp(GstElement*, GstSDPMessage* sdp, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  self->PrepareMuxer(*sdp);
  const gchar* range_text = gst_sdp_message_get_attribute_val(sdp, "range");
  for (guint i = 0; range_text == nullptr && i < gst_sdp_message_medias_len(sdp); ++i)
    range_text = gst_sdp_media_get_attribute_val(gst_sdp_message_get_media(sdp, i), "range");
  if (range_text == nullptr) return;
  GstRTSPTimeRange* range = nullptr;
  if (gst_rtsp_range_parse(range_text, &range) != GST_RTSP_OK) return;
  GstClockTime from = GST_CLOCK_TIME_NONE, to = GST_CLOCK_TIME_NONE;
  if (gst_rtsp_range_get_times(range, &from, &to) && GST_CLOCK_TIME_IS_VALID(from) &&
      GST_CLOCK_TIME_IS_VALID(to) && to > from)
    self->announced_length_ = to - from;
  gst_rtsp_range_free(range);
}

GstPadProbeReturn RtspReceiver::OnFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  self->last_data_us_ = g_get_monotonic_time();
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  if (GST_BUFFER_PTS_IS_VALID(buffer)) {
    MutexLock lock(self->mutex_);
    const uint64_t pts = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(self->first_pts_) || pts < self->first_pts_)
      self->first_pts_ = pts;
    if (!GST_CLOCK_TIME_IS_VALID(self->last_pts_) || pts >= self->last_pts_) {
      self->last_pts_ = pts;
      self->last_duration_ = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
    }
  }
  ++self->frames_;
  return GST_PAD_PROBE_OK;
}

GstPadProbeReturn RtspReceiver::OnSound(GstPad*, GstPadProbeInfo*, gpointer data) {
  static_cast<RtspReceiver*>(data)->last_data_us_ = g_get_monotonic_time();
  return GST_PAD_PROBE_OK;
}

GstFlowReturn RtspReceiver::OnSample(GstElement* sink, gpointer data) {
  auto* self = static_cast<RtspReceiver*>(data);
  self->last_data_us_ = g_get_monotonic_time();
  GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
  if (sample == nullptr) return GST_FLOW_EOS;
  GstFlowReturn result = GST_FLOW_OK;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstMapInfo map;
  if (buffer != nullptr && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    if (!self->sink_(map.data, map.size)) result = GST_FLOW_ERROR;
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  return result;
}

uint64_t RtspReceiver::timestamp_span() const {
  MutexLock lock(mutex_);
  if (!GST_CLOCK_TIME_IS_VALID(first_pts_) || !GST_CLOCK_TIME_IS_VALID(last_pts_)) return 0;
  return last_pts_ - first_pts_ + last_duration_;
}

void RtspReceiver::WatchBus() {
  ReceiverEnd end = ReceiverEnd::kFailed;
  bool connection_lost = false;
  GstClockTime bye_deadline = GST_CLOCK_TIME_NONE;
  bool ended_inputs = false;
  const bool watch_silence = options_.as_fast_as_sent;
  const GstClockTime silence_limit =
      static_cast<GstClockTime>(options_.timeout.count()) * GST_MSECOND;
  bool awaiting_streams = true;
  for (;;) {
    GstClockTime wait = watch_silence || awaiting_streams ? kSilenceCheck : GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(bye_deadline)) {
      const GstClockTime now = MonotonicNow();
      wait = std::min(wait, bye_deadline > now ? bye_deadline - now : 0);
    }
    GstMessage* message = gst_bus_timed_pop(bus_, wait);
    if (awaiting_streams) awaiting_streams = LeaveOutAbsentStreams();
    if (message == nullptr) {
      const GstClockTime silent_for =
          MonotonicNow() - static_cast<GstClockTime>(last_data_us_.load()) * GST_USECOND;
      if (watch_silence && !ended_inputs && !stopping_ && silent_for > silence_limit) {
        qx::log::Warning("net", options_.handle, "{} sent nothing for {} ms: giving up",
                         options_.url, silent_for / GST_MSECOND);
        // What did arrive may still wait in the timestamper or the muxer:
        // ending the streams writes it out before the session goes.
        EndMuxerInputs();
        if (GstMessage* last = gst_bus_timed_pop_filtered(
                bus_, silence_limit,
                static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)))
          gst_message_unref(last);
        end = ReceiverEnd::kFailed;
        break;
      }
      if (!GST_CLOCK_TIME_IS_VALID(bye_deadline)) continue;
      if (MonotonicNow() < bye_deadline) continue;
      if (!ended_inputs) {
        // Packets still held in the RTP session, or one that left it only
        // just now, are the recording's last frames on their way, followed
        // by the recorder's own end: look again later. (A download that
        // moves nothing for the timeout has failed above; a playback stops
        // waiting then.)
        const GstClockTime packet_out_at =
            static_cast<GstClockTime>(last_packet_out_us_.load()) * GST_USECOND;
        const bool in_flight = PacketsInFlight();
        if ((in_flight && silent_for <= silence_limit) ||
            MonotonicNow() < packet_out_at + kByeGrace) {
          bye_deadline = std::max(MonotonicNow() + kSilenceCheck, packet_out_at + kByeGrace);
          continue;
        }
        if (in_flight)
          qx::log::Warning("net", options_.handle,
                           "{}: packets stayed inside the RTP session for {} ms after the "
                           "recorder's goodbye; the stream ends without them",
                           options_.url, silent_for / GST_MSECOND);
        // The goodbye came but the end of the stream did not: end it here,
        // and give the muxer the answer time to write out what it holds.
        qx::log::Debug("net", options_.handle,
                       "the recorder's end of stream went missing ({} of {} packets came through)",
                       packets_out_.load(), packets_in_.load());
        ended_inputs = true;
        EndMuxerInputs();
        bye_deadline = MonotonicNow() + silence_limit;
        continue;
      }
      end = ReceiverEnd::kComplete;
      break;
    }
    bool done = false;
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_EOS:
        end = connection_lost ? ReceiverEnd::kFailed : ReceiverEnd::kComplete;
        done = true;
        break;
      case GST_MESSAGE_ERROR:
        if (!stopping_)
          qx::log::Warning("net", options_.handle, "session with {} failed: {}", options_.url,
                           ErrorText(message));
        end = stopping_ ? ReceiverEnd::kComplete : ReceiverEnd::kFailed;
        done = true;
        break;
      case GST_MESSAGE_WARNING:
        // rtspsrc warns, then ends the stream, when the recorder closes the
        // connection: that end is no end of the recording.
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(source_)) {
          qx::log::Warning("net", options_.handle, "{}: {}", options_.url, ErrorText(message));
          connection_lost = true;
        }
        break;
      case GST_MESSAGE_APPLICATION:
        if (gst_structure_has_name(gst_message_get_structure(message), kStopMessage)) {
          end = ReceiverEnd::kComplete;
          done = true;
        } else if (gst_structure_has_name(gst_message_get_structure(message), kByeMessage) &&
                   !GST_CLOCK_TIME_IS_VALID(bye_deadline) && !ended_inputs) {
          bye_deadline = MonotonicNow() + kByeGrace;
        }
        break;
      default:
        break;
    }
    gst_message_unref(message);
    if (done) break;
  }
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  Finish(end);
}

void RtspReceiver::Finish(ReceiverEnd end) {
  end_ = end;
  if (end_notice_) end_notice_(end);
  MutexLock lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

void RtspReceiver::Stop(bool finish) {
  MutexLock stop_lock(stop_mutex_);
  if (!watcher_.joinable()) return;
  bool ended;
  {
    MutexLock lock(mutex_);
    ended = ended_;
  }
  if (!ended) {
    stopping_ = true;
    if (finish) {
      // The end of every stream into the muxer: it writes out what it holds
      // and ends, which the watcher sees as the session's end.
      EndMuxerInputs();
      MutexLock lock(mutex_);
      const auto deadline = std::chrono::steady_clock::now() + options_.timeout;
      while (!ended_ && changed_.wait_until(lock.mutex(), deadline) != std::cv_status::timeout) {
      }
      ended = ended_;
    }
    if (!ended)
      gst_bus_post(bus_,
                   gst_message_new_application(nullptr, gst_structure_new_empty(kStopMessage)));
  }
  watcher_.join();
}

}  // namespace qx::net
