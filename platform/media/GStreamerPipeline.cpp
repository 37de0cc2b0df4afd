#include "platform/media/GStreamerPipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <mutex>
#include <utility>

#include "platform/dispatch/Clock.h"
#include "platform/media/GStreamerClock.h"
#include "platform/thread/HandOver.h"

namespace plexora::platform {

namespace {

// playbin's flags: video, audio, software volume and buffering of network
// sources; no subtitles, deinterlacing or colour balance.
constexpr guint kPlaybinFlags = 0x1 | 0x2 | 0x10 | 0x100;
constexpr const char* kFrameCaps = "video/x-raw,format=RGBA";

MediaTime mediaTimeOf(gint64 nanoseconds) { return MediaTime::make(nanoseconds, 1000000000); }

// A sample whose buffer stays mapped for as long as a frame drawn from it
// lives; the buffer then goes back to its pool.
class MappedSample final {
 public:
  static std::shared_ptr<const MappedSample> map(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return nullptr;
    return std::shared_ptr<const MappedSample>(new MappedSample(gst_sample_ref(sample), map));
  }
  ~MappedSample() {
    gst_buffer_unmap(gst_sample_get_buffer(sample_), &map_);
    gst_sample_unref(sample_);
  }
  MappedSample(const MappedSample&) = delete;
  MappedSample& operator=(const MappedSample&) = delete;

  const GstMapInfo& info() const { return map_; }

 private:
  MappedSample(GstSample* sample, const GstMapInfo& map) : sample_(sample), map_(map) {}

  GstSample* const sample_;
  GstMapInfo map_;
};

// The frame's pixels: borrowed from GStreamer's buffer when its rows are
// packed (as RGBA rows are), copied row by row when they are padded.
std::shared_ptr<Image> frameOf(const std::shared_ptr<const MappedSample>& mapped, const GstVideoInfo& info) {
  const auto width = static_cast<std::uint32_t>(GST_VIDEO_INFO_WIDTH(&info));
  const auto height = static_cast<std::uint32_t>(GST_VIDEO_INFO_HEIGHT(&info));
  const auto stride = static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
  const size_t rowBytes = size_t{width} * Image::kBytesPerPixel;
  const GstMapInfo& map = mapped->info();
  if (!isAllowedImageSize(width, height) || stride < rowBytes || map.size < stride * (height - 1) + rowBytes) {
    return nullptr;
  }
  if (stride == rowBytes) {
    return Image::borrowRGBA(width, height, 1.0, mapped, {map.data, rowBytes * height});
  }
  Bytes rgba;
  rgba.reserve(rowBytes * height);
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::uint8_t* source = map.data + row * stride;
    rgba.insert(rgba.end(), source, source + rowBytes);
  }
  return Image::fromRGBA(width, height, 1.0, std::move(rgba));
}

GstFlowReturn deliver(GstSample* sample, const GStreamerPipeline::FrameHandler& onFrame) {
  if (sample == nullptr) return GST_FLOW_OK;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (buffer != nullptr && gst_video_info_from_caps(&info, gst_sample_get_caps(sample))) {
    // The frame's time on the stream's own timeline, as the item counts.
    const GstSegment* segment = gst_sample_get_segment(sample);
    const GstClockTime streamTime = segment != nullptr
                                        ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer))
                                        : GST_BUFFER_PTS(buffer);
    if (onFrame && GST_CLOCK_TIME_IS_VALID(streamTime)) {
      const auto mapped = MappedSample::map(sample);
      auto frame = mapped ? frameOf(mapped, info) : nullptr;
      if (frame) onFrame(std::move(frame), mediaTimeOf(static_cast<gint64>(streamTime)));
    }
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

GstFlowReturn onPreroll(GstAppSink* sink, gpointer handler) {
  markReceived(handler);
  return deliver(gst_app_sink_pull_preroll(sink), *static_cast<GStreamerPipeline::FrameHandler*>(handler));
}

GstFlowReturn onSample(GstAppSink* sink, gpointer handler) {
  markReceived(handler);
  return deliver(gst_app_sink_pull_sample(sink), *static_cast<GStreamerPipeline::FrameHandler*>(handler));
}

Error errorOf(GError* error, const gchar* debug) {
  Dictionary userInfo{{kLocalizedDescriptionKey, std::string(error != nullptr ? error->message : "")}};
  if (debug != nullptr) userInfo.set(kGStreamerDebugInfoKey, std::string(debug));
  return Error(error != nullptr ? g_quark_to_string(error->domain) : kGStreamerPlayerErrorDomain,
               error != nullptr ? error->code : 0, std::move(userInfo));
}

}  // namespace

bool ensureGStreamer() {
  static const bool usable = [] {
    GError* error = nullptr;
    const bool initialised = gst_init_check(nullptr, nullptr, &error);
    if (error != nullptr) g_error_free(error);
    return initialised;
  }();
  return usable;
}

std::unique_ptr<GStreamerPipeline> GStreamerPipeline::create(const std::string& uri, EventHandler onEvent,
                                                             FrameHandler onFrame) {
  if (!ensureGStreamer()) return nullptr;
  GstElement* playbin = gst_element_factory_make("playbin", nullptr);
  GstElement* videoSink = gst_element_factory_make("appsink", nullptr);
  GstElement* audioSink = gst_element_factory_make("fakesink", nullptr);
  if (playbin == nullptr || videoSink == nullptr || audioSink == nullptr) {
    for (GstElement* element : {playbin, videoSink, audioSink}) {
      if (element != nullptr) gst_object_unref(gst_object_ref_sink(element));
    }
    return nullptr;
  }
  std::unique_ptr<GStreamerPipeline> pipeline(new GStreamerPipeline());
  pipeline->playbin_ = GST_ELEMENT(gst_object_ref_sink(playbin));
  pipeline->onEvent_ = std::move(onEvent);
  pipeline->onFrame_ = std::move(onFrame);

  GstCaps* caps = gst_caps_from_string(kFrameCaps);
  g_object_set(videoSink, "caps", caps, "sync", TRUE, "enable-last-sample", FALSE, "max-buffers", 1u, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_preroll = onPreroll;
  callbacks.new_sample = onSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(videoSink), &callbacks, &pipeline->onFrame_, nullptr);
  g_object_set(audioSink, "sync", TRUE, nullptr);
  g_object_set(playbin, "uri", uri.c_str(), "flags", kPlaybinFlags, "video-sink", videoSink, "audio-sink", audioSink,
               nullptr);

  GstClock* clock = makeGStreamerClock(Clock::current());
  gst_pipeline_use_clock(GST_PIPELINE(playbin), clock);
  gst_object_unref(clock);

  GstBus* bus = gst_element_get_bus(playbin);
  gst_bus_set_sync_handler(
      bus, [](GstBus* b, GstMessage* m, gpointer self) { return static_cast<GstBusSyncReply>(onBusMessage(b, m, self)); },
      pipeline.get(), nullptr);
  gst_object_unref(bus);
  // GStreamer's threads find the handlers through GStreamer alone.
  markHandedOver(pipeline.get());
  markHandedOver(&pipeline->onFrame_);
  gst_element_set_state(playbin, GST_STATE_PAUSED);
  return pipeline;
}

GStreamerPipeline::~GStreamerPipeline() {
  stop();
  GstBus* bus = gst_element_get_bus(playbin_);
  gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
  gst_object_unref(bus);
  gst_object_unref(playbin_);
}

int GStreamerPipeline::onBusMessage(GstBus* /*bus*/, GstMessage* message, void* self) {
  markReceived(self);
  static_cast<GStreamerPipeline*>(self)->handle(message);
  gst_message_unref(message);
  return GST_BUS_DROP;
}

void GStreamerPipeline::handle(GstMessage* message) {
  if (!onEvent_) return;
  GStreamerPipelineEvent event;
  switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
      if (GST_MESSAGE_SRC(message) != GST_OBJECT(playbin_)) return;
      break;
    case GST_MESSAGE_STATE_CHANGED: {
      GstState newState = GST_STATE_NULL;
      gst_message_parse_state_changed(message, nullptr, &newState, nullptr);
      if (GST_MESSAGE_SRC(message) != GST_OBJECT(playbin_) || newState != GST_STATE_PLAYING) return;
      event.kind = GStreamerPipelineEvent::Kind::kPlaying;
      break;
    }
    case GST_MESSAGE_BUFFERING:
      event.kind = GStreamerPipelineEvent::Kind::kBuffering;
      gst_message_parse_buffering(message, &event.bufferingPercent);
      break;
    case GST_MESSAGE_EOS:
      event.kind = GStreamerPipelineEvent::Kind::kEndOfStream;
      break;
    case GST_MESSAGE_DURATION_CHANGED:
      event.kind = GStreamerPipelineEvent::Kind::kDurationChanged;
      break;
    case GST_MESSAGE_ERROR: {
      GError* error = nullptr;
      gchar* debug = nullptr;
      gst_message_parse_error(message, &error, &debug);
      event.kind = GStreamerPipelineEvent::Kind::kError;
      event.error = errorOf(error, debug);
      if (error != nullptr) g_error_free(error);
      g_free(debug);
      break;
    }
    default:
      return;
  }
  onEvent_(event);
}

void GStreamerPipeline::setPlaying(bool playing) {
  gst_element_set_state(playbin_, playing ? GST_STATE_PLAYING : GST_STATE_PAUSED);
}

void GStreamerPipeline::stop() { gst_element_set_state(playbin_, GST_STATE_NULL); }

bool GStreamerPipeline::seek(const MediaTime& time, double rate) {
  const double seconds = time.isNumeric() && time.seconds() > 0 ? time.seconds() : 0.0;
  const auto start = static_cast<gint64>(seconds * GST_SECOND);
  return gst_element_seek(playbin_, rate, GST_FORMAT_TIME,
                          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
                          start, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

void GStreamerPipeline::setVolume(double volume) { g_object_set(playbin_, "volume", volume, nullptr); }

void GStreamerPipeline::setMuted(bool muted) { g_object_set(playbin_, "mute", muted ? TRUE : FALSE, nullptr); }

bool GStreamerPipeline::hasPlayableStreams() const {
  gint videos = 0;
  gint sounds = 0;
  g_object_get(playbin_, "n-video", &videos, "n-audio", &sounds, nullptr);
  return videos > 0 || sounds > 0;
}

std::optional<MediaTime> GStreamerPipeline::position() const {
  gint64 position = 0;
  if (!gst_element_query_position(playbin_, GST_FORMAT_TIME, &position) || position < 0) return std::nullopt;
  return mediaTimeOf(position);
}

std::optional<MediaTime> GStreamerPipeline::duration() const {
  gint64 duration = 0;
  if (!gst_element_query_duration(playbin_, GST_FORMAT_TIME, &duration) || duration <= 0) return std::nullopt;
  return mediaTimeOf(duration);
}

}  // namespace plexora::platform
