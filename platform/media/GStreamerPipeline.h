// One playback of a URL through GStreamer's playbin, headless: decoded
// video goes to an app sink as RGBA frames, sound to a clocked fake sink,
// and the pipeline runs on a GStreamerClock over the platform Clock. What
// the bus says (prerolled, buffering, end, error, new duration) is handed
// to the event handler as it is posted; frames to the frame handler as
// their time comes (and the first one while prerolling).
//
// Thread safety: every member may be called from any thread, but not from
// inside a handler. The handlers run on GStreamer's threads, never after
// the destructor has returned.
// Ownership: the pipeline owns its GStreamer elements and clock; the
// handlers are the owner's.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/Image.h"

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace plexora::platform {

// The domain of errors the player makes itself; GStreamer's own errors
// keep their domain's name.
inline constexpr const char* kGStreamerPlayerErrorDomain = "GStreamerPlayer";
inline constexpr std::int64_t kGStreamerPlayerErrorUnavailable = 1;
inline constexpr std::int64_t kGStreamerPlayerErrorNothingToPlay = 2;
inline constexpr const char* kGStreamerUnavailableMessage = "GStreamer could not be started";
inline constexpr const char* kGStreamerNothingToPlayMessage = "The source holds neither pictures nor sound";
// Under this user-information key an error keeps GStreamer's debugging text.
inline constexpr const char* kGStreamerDebugInfoKey = "GStreamerDebugInfo";

struct GStreamerPipelineEvent {
  enum class Kind {
    kPrerolled,  // a state change or seek has completed (ASYNC_DONE)
    kPlaying,    // the pipeline has gone to playing; its time runs from now
    kBuffering,
    kEndOfStream,
    kError,
    kDurationChanged,
  };
  Kind kind = Kind::kPrerolled;
  int bufferingPercent = 0;
  std::optional<Error> error;
};

class GStreamerPipeline final {
 public:
  using EventHandler = std::function<void(const GStreamerPipelineEvent&)>;
  using FrameHandler = std::function<void(std::shared_ptr<Image> frame, MediaTime time)>;

  // Null when GStreamer or its playbin cannot be had. The pipeline starts
  // prerolling (paused) at once.
  static std::unique_ptr<GStreamerPipeline> create(const std::string& uri, EventHandler onEvent,
                                                   FrameHandler onFrame);
  ~GStreamerPipeline();
  GStreamerPipeline(const GStreamerPipeline&) = delete;
  GStreamerPipeline& operator=(const GStreamerPipeline&) = delete;

  // Playing, or paused where it stands.
  void setPlaying(bool playing);
  // Stops everything for good (the handlers are not called again).
  void stop();
  // A flushing, accurate seek that plays on at `rate`; the end of it is a
  // kPrerolled event. Answers whether GStreamer took it.
  bool seek(const MediaTime& time, double rate);
  void setVolume(double volume);
  void setMuted(bool muted);

  // Whether the source holds a video or sound stream; known once
  // prerolled (text alone prerolls too, and plays nothing).
  bool hasPlayableStreams() const;
  std::optional<MediaTime> position() const;
  std::optional<MediaTime> duration() const;

 private:
  GStreamerPipeline() = default;
  static int onBusMessage(GstBus* bus, GstMessage* message, void* self);
  void handle(GstMessage* message);

  GstElement* playbin_ = nullptr;
  EventHandler onEvent_;
  FrameHandler onFrame_;
};

// Initialises GStreamer once for the process; answers whether it is usable.
bool ensureGStreamer();

}  // namespace plexora::platform
