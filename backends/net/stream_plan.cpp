#include "backends/net/stream_plan.h"

#include <gst/gst.h>

#include <cstring>

#include "core/log.h"

namespace qx::net {
namespace {

// The muxer's factory can take what some depayloader of these RTP caps puts
// out. Decided from the elements' pad templates, so that it follows what the
// installed GStreamer can do rather than a list of codec names.
bool MuxerTakes(const char* muxer, const GstCaps* rtp_caps) {
  GstElementFactory* muxer_factory = gst_element_factory_find(muxer);
  if (muxer_factory == nullptr) return false;
  GList* depayloaders = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DEPAYLOADER,
                                                              GST_RANK_MARGINAL);
  GList* fitting = gst_element_factory_list_filter(depayloaders, rtp_caps, GST_PAD_SINK, FALSE);
  bool takes = false;
  for (GList* item = fitting; item != nullptr && !takes; item = item->next) {
    auto* depayloader = GST_ELEMENT_FACTORY(item->data);
    for (const GList* pad = gst_element_factory_get_static_pad_templates(depayloader);
         pad != nullptr && !takes; pad = pad->next) {
      auto* pad_template = static_cast<GstStaticPadTemplate*>(pad->data);
      if (pad_template->direction != GST_PAD_SRC) continue;
      GstCaps* out = gst_static_caps_get(&pad_template->static_caps);
      takes = gst_element_factory_can_sink_any_caps(muxer_factory, out);
      gst_caps_unref(out);
    }
  }
  gst_plugin_feature_list_free(fitting);
  gst_plugin_feature_list_free(depayloaders);
  gst_object_unref(muxer_factory);
  return takes;
}

}  // namespace

const char* MuxerFactory(Container container) {
  return container == Container::kMatroska ? "matroskamux" : "mpegtsmux";
}

StreamPlan PlanStreams(const GstSDPMessage& sdp, bool keep_codecs, int32_t handle) {
  StreamPlan plan;
  std::vector<bool> fits_ts, fits_mkv;
  for (guint i = 0; i < gst_sdp_message_medias_len(&sdp); ++i) {
    const GstSDPMedia* media = gst_sdp_message_get_media(&sdp, i);
    const char* kind = gst_sdp_media_get_media(media);
    const bool video = kind != nullptr && std::strcmp(kind, "video") == 0;
    const bool sound = kind != nullptr && std::strcmp(kind, "audio") == 0;
    plan.video.push_back(video);
    plan.streams.push_back(Carriage::kDrop);
    fits_ts.push_back(false);
    fits_mkv.push_back(false);
    if ((!video && !sound) || gst_sdp_media_formats_len(media) == 0) continue;
    const gint payload = std::atoi(gst_sdp_media_get_format(media, 0));
    GstCaps* caps = gst_sdp_media_get_caps_from_media(media, payload);
    if (caps == nullptr) {
      qx::log::Warning("net", handle, "stream {} ({}) describes no format it can be read in", i,
                       kind);
      continue;
    }
    // The SDP gives the caps no name of their own; rtspsrc's pads say "application/x-rtp".
    gst_structure_set_name(gst_caps_get_structure(caps, 0), "application/x-rtp");
    fits_ts.back() = MuxerTakes(MuxerFactory(Container::kMpegTs), caps);
    fits_mkv.back() = MuxerTakes(MuxerFactory(Container::kMatroska), caps);
    gchar* text = gst_caps_to_string(caps);
    gst_caps_unref(caps);
    if (fits_ts.back()) {
      plan.streams.back() = Carriage::kCopy;
    } else if (fits_mkv.back()) {
      // Playbacks too: the engine reads a live Matroska stream, so MJPEG
      // and G.711 reach it as they came, with no lossy step on the way.
      plan.streams.back() = Carriage::kCopy;
      plan.container = Container::kMatroska;
    } else if (!keep_codecs && sound) {
      plan.streams.back() = Carriage::kToAac;
    } else {
      qx::log::Warning("net", handle, "no container here carries stream {}: {}", i, text);
    }
    g_free(text);
  }
  // Matroska carries what MPEG-TS carries, but check each stream anyway.
  if (plan.container == Container::kMatroska)
    for (size_t i = 0; i < plan.streams.size(); ++i) {
      if (plan.streams[i] == Carriage::kCopy && !fits_mkv[i]) {
        qx::log::Warning("net", handle, "Matroska cannot carry stream {}: it is left out", i);
        plan.streams[i] = Carriage::kDrop;
      }
    }
  return plan;
}

}  // namespace qx::net
