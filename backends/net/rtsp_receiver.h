// One RTSP session that receives a recording and turns it into one byte
// stream: GStreamer's rtspsrc (ONVIF replay mode, interleaved over the RTSP
// connection) → parsebin per stream (depayloader and parser) → muxer →
// appsink. Video and sound are carried, in the container and with the
// carriage that StreamPlan decides from the session description: as
// recorded, into MPEG-TS or Matroska. Metadata streams are received and
// dropped.
//
// The bytes go to the sink on GStreamer's streaming thread. A thread of the
// receiver watches the session: the end of the recording, an error or a
// lost connection end it, and the receiver then lets go of everything it
// opened before it reports the end.
#ifndef QXPLAYSDK_BACKENDS_NET_RTSP_RECEIVER_H
#define QXPLAYSDK_BACKENDS_NET_RTSP_RECEIVER_H

#include <gst/gst.h>
#include <gst/rtsp/rtsp.h>
#include <gst/sdp/sdp.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends/net/date_time.h"
#include "backends/net/net_mutex.h"
#include "backends/net/stream_plan.h"

namespace qx::net {

struct ReceiverOptions {
  std::string url;
  std::string user;
  std::string password;
  // By time: the clock range asked for (Range: clock=START-END).
  std::optional<TimeSpan> span;
  // Downloads: the recorder sends as fast as it can (Rate-Control: no) and
  // every packet is kept (no jitter buffer). Playbacks: real time.
  bool as_fast_as_sent = false;
  // Files: a stream that neither MPEG-TS nor Matroska carries is left out.
  // Otherwise (live streams) such sound is encoded as AAC to fit.
  bool keep_codecs = false;
  std::chrono::milliseconds timeout{5000};
  // For the log lines: which download or playback this is.
  int32_t handle = 0;
};

enum class ReceiverEnd { kRunning, kComplete, kFailed };

class RtspReceiver {
 public:
  // Takes the MPEG-TS bytes; false fails the session (a full disk).
  using Sink = std::function<bool(const uint8_t* data, size_t length)>;
  // Told once, on the receiver's thread, after the session has let go of
  // everything; no Sink call follows.
  using EndNotice = std::function<void(ReceiverEnd end)>;

  // Connects and waits, within the timeout, until the recorder has set the
  // session up. Null when it refuses (unknown name, wrong credentials), is
  // unreachable or does not answer.
  static std::unique_ptr<RtspReceiver> Start(const ReceiverOptions& options, Sink sink,
                                             EndNotice end_notice);
  ~RtspReceiver();
  RtspReceiver(const RtspReceiver&) = delete;
  RtspReceiver& operator=(const RtspReceiver&) = delete;

  // Ends the session. `finish` lets what is on its way through go out first
  // (bounded by the timeout), so that the last frames received are kept.
  // Returns once the session has let go of everything. Idempotent.
  void Stop(bool finish);

  ReceiverEnd end() const { return end_.load(); }
  // Video frames handed on, and the span of their timestamps in ns.
  uint64_t frames() const { return frames_.load(); }
  uint64_t timestamp_span() const;
  // By name: the recording's length from the session description, 0 when it
  // gave none.
  uint64_t announced_length() const { return announced_length_.load(); }

 private:
  RtspReceiver(const ReceiverOptions& options, Sink sink, EndNotice end_notice);
  bool Build();
  void WatchBus();
  void Finish(ReceiverEnd end);

  static void OnSourcePad(GstElement* source, GstPad* pad, gpointer self);
  static void OnParsedPad(GstElement* parser, GstPad* pad, gpointer self);
  static gboolean OnBeforeSend(GstElement* source, GstRTSPMessage* message, gpointer self);
  static void OnManager(GstElement* source, GstElement* manager, gpointer self);
  static void OnJitterBuffer(GstElement* manager, GstElement* jitter_buffer, guint session,
                             guint ssrc, gpointer self);
  static GstPadProbeReturn OnPacketIn(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  static GstPadProbeReturn OnPacketOut(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  // Whether RTP packets that came from the recorder are still inside the
  // RTP session (its jitter buffers), on their way to the muxer.
  bool PacketsInFlight() const;
  static void OnBye(GstElement* manager, guint session, guint ssrc, gpointer self);
  // Ends every stream: where it enters the elements before the muxer, then
  // at the muxer's inputs (streams that never came).
  void EndMuxerInputs();
  static void OnSdp(GstElement* source, GstSDPMessage* sdp, gpointer self);
  static GstFlowReturn OnSample(GstElement* sink, gpointer self);
  static GstPadProbeReturn OnFrame(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  static GstPadProbeReturn OnSound(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  // Session description: the muxer and one input of it per carried stream.
  void PrepareMuxer(const GstSDPMessage& sdp);
  // The muxer input of the session's stream `index`, with a reference; null
  // when that stream is not carried.
  GstPad* MuxerInput(guint index, Carriage* carriage);
  // A carried stream that cannot be linked: its muxer input is ended, so
  // that the muxer does not wait for it.
  void GiveUpStream(guint index);
  // Announced streams that have sent nothing by kAbsentStreamGrace after the
  // first one did are left out (their muxer inputs given back), so that the
  // muxer does not hold the others back for them. Whether any announced
  // stream is still awaited.
  bool LeaveOutAbsentStreams();
  GstElement* Muxer() const;
  StreamPlan Plan() const;

  const ReceiverOptions options_;
  const Sink sink_;
  const EndNotice end_notice_;
  GstElement* pipeline_ = nullptr;
  GstElement* source_ = nullptr;
  GstElement* app_sink_ = nullptr;
  GstBus* bus_ = nullptr;
  std::thread watcher_;
  std::string range_header_;  // by time: the Range of every PLAY

  std::atomic<ReceiverEnd> end_{ReceiverEnd::kRunning};
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> announced_length_{0};
  std::atomic<bool> stopping_{false};
  // Monotonic time (g_get_monotonic_time) of the last bytes from the
  // recorder, or of the session's start.
  std::atomic<gint64> last_data_us_{0};
  // RTP packets into and out of the session's jitter buffers: what the
  // recorder sent that has not reached the muxer's side yet.
  std::atomic<uint64_t> packets_in_{0};
  std::atomic<uint64_t> packets_out_{0};
  // Monotonic time (g_get_monotonic_time) the last packet left them.
  std::atomic<gint64> last_packet_out_us_{0};

  Mutex stop_mutex_;  // one Stop at a time
  mutable Mutex mutex_;
  Condition changed_;
  bool set_up_ QX_GUARDED_BY(mutex_) = false;  // the recorder sent a stream
  bool ended_ QX_GUARDED_BY(mutex_) = false;   // the watcher has let go of everything
  uint64_t first_pts_ QX_GUARDED_BY(mutex_) = GST_CLOCK_TIME_NONE;
  uint64_t last_pts_ QX_GUARDED_BY(mutex_) = GST_CLOCK_TIME_NONE;
  uint64_t last_duration_ QX_GUARDED_BY(mutex_) = 0;
  // Made when the recorder describes the session (rtspsrc's thread); read
  // by the streaming threads and by Stop.
  GstElement* muxer_ QX_GUARDED_BY(mutex_) = nullptr;
  StreamPlan plan_ QX_GUARDED_BY(mutex_);
  std::vector<GstPad*> muxer_inputs_ QX_GUARDED_BY(mutex_);  // by stream, owned
  // By stream, owned: where it leaves the RTP session (the input of its
  // depayloader and parser), null until linked. Ending a stream there lets
  // what the elements on its way to the muxer hold (a depayloader's or a
  // parser's last frame, a timestamper's window) reach the muxer first.
  std::vector<GstPad*> stream_entries_ QX_GUARDED_BY(mutex_);
  std::vector<bool> said_bye_ QX_GUARDED_BY(mutex_);  // by stream
  std::vector<bool> arrived_ QX_GUARDED_BY(mutex_);   // by stream: rtspsrc gave its pad
  // Monotonic time (g_get_monotonic_time) the first stream arrived, 0 before.
  gint64 first_arrival_us_ QX_GUARDED_BY(mutex_) = 0;
};

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_RTSP_RECEIVER_H
