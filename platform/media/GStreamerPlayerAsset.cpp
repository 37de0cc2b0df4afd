#include "platform/media/GStreamerPlayerAsset.h"

#include <gst/pbutils/pbutils.h>

#include <utility>

#include "platform/media/GStreamerPipeline.h"

namespace plexora::platform {

namespace {

// Real time the discoverer may take before it gives up on a source.
constexpr GstClockTime kDiscoveryTimeout = 30 * GST_SECOND;
constexpr const char* kDiscoveryFailedMessage = "The video could not be read";

}  // namespace

std::shared_ptr<GStreamerPlayerAsset> GStreamerPlayerAsset::create(URL url) {
  return std::shared_ptr<GStreamerPlayerAsset>(new GStreamerPlayerAsset(std::move(url)));
}

void GStreamerPlayerAsset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& /*keys*/,
                                                           std::function<void()> completionHandler) {
  DispatchQueue::global()->async([self = shared_from_this(), completionHandler = std::move(completionHandler)] {
    self->discover();
    if (completionHandler) completionHandler();
  });
}

void GStreamerPlayerAsset::discover() {
  if (!ensureGStreamer()) {
    std::lock_guard lock(mutex_);
    error_ = Error(kGStreamerPlayerErrorDomain, kGStreamerPlayerErrorUnavailable,
                   {{kLocalizedDescriptionKey, std::string(kGStreamerUnavailableMessage)}});
    return;
  }
  GError* failure = nullptr;
  GstDiscoverer* discoverer = gst_discoverer_new(kDiscoveryTimeout, &failure);
  GstDiscovererInfo* info =
      discoverer != nullptr ? gst_discoverer_discover_uri(discoverer, url_.absoluteString().c_str(), &failure) : nullptr;
  std::lock_guard lock(mutex_);
  if (info != nullptr && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    const GstClockTime duration = gst_discoverer_info_get_duration(info);
    if (GST_CLOCK_TIME_IS_VALID(duration)) duration_ = MediaTime::make(static_cast<int64_t>(duration), GST_SECOND);
    GList* videos = gst_discoverer_info_get_video_streams(info);
    if (videos != nullptr) {
      const auto* video = static_cast<GstDiscovererVideoInfo*>(videos->data);
      naturalSize_ = Size{static_cast<double>(gst_discoverer_video_info_get_width(video)),
                          static_cast<double>(gst_discoverer_video_info_get_height(video))};
    }
    gst_discoverer_stream_info_list_free(videos);
  } else {
    Dictionary userInfo{
        {kLocalizedDescriptionKey, std::string(failure != nullptr ? failure->message : kDiscoveryFailedMessage)}};
    error_ = Error(failure != nullptr ? g_quark_to_string(failure->domain) : kGStreamerPlayerErrorDomain,
                   failure != nullptr ? failure->code : 0, std::move(userInfo));
  }
  if (failure != nullptr) g_error_free(failure);
  if (info != nullptr) g_object_unref(info);
  if (discoverer != nullptr) g_object_unref(discoverer);
}

MediaTime GStreamerPlayerAsset::duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

Size GStreamerPlayerAsset::naturalSize() const {
  std::lock_guard lock(mutex_);
  return naturalSize_;
}

std::optional<Error> GStreamerPlayerAsset::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace plexora::platform
