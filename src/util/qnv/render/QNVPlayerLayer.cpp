#include "util/qnv/render/QNVPlayerLayer.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/media/DecompressionSession.h"
#include "platform/ui/Application.h"
#include "util/OVAdLogger.h"
#include "util/qnv/decode/QNVDecompressionSessionForVP9.h"
#include "util/qnv/decode/QNVDecompressionSessionWithVideoToolbox.h"
#include "util/qnv/decode/QNVDecompressionSessionWithoutVideoToolbox.h"
#include "util/qnv/render/QNVDefaultRenderer.h"
#include "util/qnv/render/QNVPlayerLayerPolicies.h"
#include "util/qnv/player/QNVIdleTimeoutManager.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/core/QNVRealTimer.h"

namespace plexora {

namespace {

constexpr const char* kRecreatedSessionFormat = "recreated decompression session %p width %f, height %f";
constexpr const char* kAbrNeedsOffMain =
    "You enabled QNV abr which will *only* work with off main thread rendering!";
constexpr const char* kResumingFormat = "%s resuming display link";
constexpr const char* kStartInBackground = "attempting to start display link while in background";
constexpr const char* kPausingFormat =
    "%s pausing for reason %d -- frames read:%" PRIu64 " frames enqueued:%" PRIu64 " decompressed:%" PRIu64
    " loop:%" PRIu64 " stale:%" PRIu64 " %p shouldRenderWhilePlaybackPaused=%d";
constexpr const char* kPausingDisplayLinkFormat = "%s pausing display link";
constexpr const char* kStartingFlushFormat = "%s starting flush from: %" PRIu64 " to %" PRIu64;
constexpr const char* kClearingErrorFormat = "%s setting layer error to nil prior to flush: %s";
constexpr const char* kSeekWithDisplayLinkFormat = "Frame seek in progress when CA Display link is active %s";
constexpr const char* kCannotSetContext = "Cannot set GLContext";
constexpr const char* kNoTextureCache = "No video texture cache";
constexpr const char* kTextureFailedFormat = "Error at CVOpenGLESTextureCacheCreateTextureFromImage %d";
constexpr const char* kSkippingDrawFormat = "%s skipping draw since we're not in active state";
constexpr const char* kSetupStateFailedFormat = "%s failed to set up GL state in renderer %p";
constexpr const char* kDrawFailedFormat = "%s failed to draw frame using renderer %p";
constexpr const char* kReadyForDisplayFormat = "%s setting ready for display loop:%" PRIu64 " enq:%" PRIu64;
constexpr const char* kGLInitFailed = "Error initializing openGL";
constexpr const char* kSetupFailedFormat = "Fail to setup openGLLayer %s";
constexpr const char* kTextureCacheFailedFormat = "Error at CVOpenGLESTextureCacheCreate %d";
constexpr const char* kIncompleteFramebufferFormat = "Failed to make complete framebuffer object %x";
constexpr const char* kSkippingRemoveFormat = "%s skipping remove image since we're not in active state";
constexpr const char* kNoCallback = "Calling requestLastSampleBuffer without a callback";
constexpr const char* kQueueCannotBeNil = "queue cannot be nil";
constexpr const char* kDeallocFormat = "%s deallocing QNVPlayerLayer";

constexpr const char* kErrorSourceKey = "src";
constexpr const char* kErrorAppStateKey = "appstate";
constexpr int64_t kResumeInBackgroundCode = 666;
constexpr int64_t kSetupGLCode = 5554;
constexpr uint64_t kDataRequestEveryTicks = 16;

platform::Error renderingError(int64_t code, platform::Dictionary details) {
  return platform::Error(kQNVGLRenderingErrorDomain, code, std::move(details));
}

}  // namespace

std::shared_ptr<QNVPlayerLayer> QNVPlayerLayer::initWithConfigs(const QNVPlayerLayerConfigs& configs) {
  QNV_SOFT_ASSERT(platform::DispatchQueue::isMainThread(), "%s", "a player layer is made on the main thread");
  std::shared_ptr<QNVPlayerLayer> layer(new QNVPlayerLayer(configs));
  std::weak_ptr<QNVPlayerLayer> weakLayer = layer;
  layer->setRendererInternal(layer->defaultRenderer_);
  if (configs.offMainThreadRendering) {
    layer->renderingThread_ = QNVRenderingThread::renderingThreadAllowingAppInactivePlayback(configs.allowPlayWhenInactive);
  }
  if (platform::Application::shared()->applicationState() == platform::ApplicationState::Active ||
      configs.allowPlayWhenInactive) {
    if (layer->renderingThread_) {
      layer->renderingThread_->performBlock([weakLayer] {
        if (auto self = weakLayer.lock()) self->setupGL();
      });
    } else {
      layer->setupGL();
    }
  }
  layer->displayLink_ = platform::DisplayLink::create([weakLayer](platform::DisplayLink&) {
    if (auto self = weakLayer.lock()) self->displayLinkCallback();
  });
  if (layer->renderingThread_) {
    layer->renderingThread_->addDisplayLink(layer->displayLink_);
  } else {
    layer->displayLink_->addToRunLoop([](platform::Task task) { platform::DispatchQueue::main()->async(std::move(task)); });
  }
  layer->displayLink_->setFrameInterval(1);
  layer->displayLink_->setPaused(true);
  if (!configs.allowPlayWhenInactive) {
    layer->observers_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        platform::kApplicationDidBecomeActiveNotification, nullptr, nullptr, [weakLayer](const platform::Notification&) {
          if (auto self = weakLayer.lock()) self->applicationDidBecomeActive();
        }));
  }
  return layer;
}

QNVPlayerLayer::QNVPlayerLayer(const QNVPlayerLayerConfigs& configs)
    : configs_(configs),
      bufferCount_(configs.decompressedBufferSize >= 1 &&
                           static_cast<size_t>(configs.decompressedBufferSize) <= kMaxBufferCount
                       ? static_cast<size_t>(configs.decompressedBufferSize)
                       : kMaxBufferCount),
      sampleBufferRequestThreshold_(bufferCount_ / 2),
      buffers_(bufferCount_),
      bufferTimes_(bufferCount_, platform::MediaTime::positiveInfinity()),
      bufferIndexes_(bufferCount_, -1),
      defaultRenderer_(std::make_shared<QNVDefaultRenderer>()) {}

QNVPlayerLayer::~QNVPlayerLayer() {
  OV_LOG(kOVAdLogLevelVerbose, kDeallocFormat, description().c_str());
  for (auto token : observers_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  if (displayLink_) displayLink_->invalidate();
}

std::string QNVPlayerLayer::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<QNVPlayerLayer: %p>", static_cast<const void*>(this));
  return text;
}

bool QNVPlayerLayer::preventPlayback() const {
  if (platform::Application::shared()->applicationState() == platform::ApplicationState::Active) return false;
  return !configs_.allowPlayWhenInactive;
}

void QNVPlayerLayer::onRenderSide(std::function<void()> block) {
  std::weak_ptr<QNVPlayerLayer> weakSelf = weak_from_this();
  auto guarded = [weakSelf, block = std::move(block)] {
    if (auto self = weakSelf.lock()) block();
  };
  if (renderingThread_) {
    renderingThread_->performBlock(std::move(guarded));
  } else {
    platform::DispatchQueue::main()->async(std::move(guarded));
  }
}

// ---- Geometry and presentation ----

void QNVPlayerLayer::setBounds(platform::Rect bounds) {
  {
    std::lock_guard lock(stateMutex_);
    if (bounds_.origin == bounds.origin && bounds_.size == bounds.size) return;
    bounds_ = bounds;
  }
  layoutSublayers();
}

platform::Rect QNVPlayerLayer::bounds() const {
  std::lock_guard lock(stateMutex_);
  return bounds_;
}

void QNVPlayerLayer::setContentsScale(double scale) {
  {
    std::lock_guard lock(stateMutex_);
    contentsScale_ = scale;
  }
  layoutSublayers();
}

void QNVPlayerLayer::layoutSublayers() {
  if (configs_.optimizeMemory) requestResizeDecompressionSession();
  onRenderSide([this] { tryToMoveToNextFrameWithDrawingOn(true); });
}

void QNVPlayerLayer::requestResizeDecompressionSession() { requestedResizeDecompressionSession_ = true; }

void QNVPlayerLayer::setVideoGravity(const std::string& videoGravity) {
  QNV_SOFT_ASSERT(platform::DispatchQueue::isMainThread(), "%s", "the video gravity is set on the main thread");
  std::lock_guard lock(stateMutex_);
  if (videoGravity != videoGravity_) {
    videoGravity_ = videoGravity;
    onRenderSide([this] { layoutChanged_ = true; });
  }
}

std::string QNVPlayerLayer::videoGravity() const {
  std::lock_guard lock(stateMutex_);
  return videoGravity_;
}

void QNVPlayerLayer::setPreferredTransform(const platform::AffineTransform& transform) {
  onRenderSide([this, transform] { setPreferredTransformInternal(transform); });
}

void QNVPlayerLayer::setPreferredTransformInternal(const platform::AffineTransform& transform) {
  {
    std::lock_guard lock(stateMutex_);
    preferredTransform_ = transform;
  }
  layoutChanged_ = true;
  preferredRotation_ = -std::atan2(transform.b, transform.a);
}

platform::AffineTransform QNVPlayerLayer::preferredTransform() const {
  std::lock_guard lock(stateMutex_);
  return preferredTransform_;
}

// ---- Renderers and the rendering thread ----

void QNVPlayerLayer::setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) {
  onRenderSide([this, renderer] { setRendererInternal(renderer); });
}

void QNVPlayerLayer::setRendererInternal(std::shared_ptr<QNVPlayerRenderer> renderer) {
  if (!renderer) renderer = defaultRenderer_;
  if (renderer == renderer_) return;
  shouldRenderWhilePlaybackPaused_ = renderer->shouldRenderWhilePlaybackPaused();
  needsToSetupGLState_ = true;
  layoutChanged_ = true;
  detachedRenderer_ = std::move(renderer_);
  renderer_ = std::move(renderer);
  rendererForLog_ = renderer_.get();
}

void QNVPlayerLayer::invalidateRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) {
  onRenderSide([this, renderer] {
    if (!context_ || !context_->makeCurrent()) return;
    if (renderer) renderer->invalidate();
    platform::GLContext::clearCurrent();
  });
}

void QNVPlayerLayer::setRenderingThreadPriority(double priority) {
  if (renderingThread_) renderingThread_->setPriority(priority);
}

bool QNVPlayerLayer::dispatchSyncOnRenderingThread(std::function<void()> block) {
  QNV_SOFT_ASSERT(renderingThread_ != nullptr, "%s", "the layer renders off the main thread");
  return renderingThread_ ? renderingThread_->dispatchSync(std::move(block)) : false;
}

void QNVPlayerLayer::dispatchAsyncOnRenderingThread(std::function<void()> block) {
  QNV_SOFT_ASSERT(renderingThread_ != nullptr, "%s", "the layer renders off the main thread");
  if (renderingThread_) renderingThread_->performBlock(std::move(block));
}

void QNVPlayerLayer::applicationDidBecomeActive() {
  if (renderingThread_) {
    onRenderSide([this] { tryToMoveToNextFrameWithDrawingOn(true); });
  } else {
    tryToMoveToNextFrameWithDrawingOn(true);
  }
}

// ---- Accessors of the display engine ----

void QNVPlayerLayer::setControlTimebase(std::shared_ptr<platform::Timebase> controlTimebase) {
  std::lock_guard lock(stateMutex_);
  controlTimeBase_ = std::move(controlTimebase);
}

std::shared_ptr<platform::Timebase> QNVPlayerLayer::controlTimebase() const {
  std::lock_guard lock(stateMutex_);
  return controlTimeBase_;
}

void QNVPlayerLayer::setPlayerLayerDelegate(std::weak_ptr<QNVPlayerDisplayEngineDelegate> delegate) {
  std::lock_guard lock(stateMutex_);
  playerLayerDelegate_ = std::move(delegate);
}

int64_t QNVPlayerLayer::status() const {
  std::lock_guard lock(stateMutex_);
  return layerError_ ? kQNVPlayerLayerStatusFailed : kQNVPlayerLayerStatusRendering;
}

std::optional<platform::Error> QNVPlayerLayer::error() const {
  std::lock_guard lock(stateMutex_);
  return layerError_;
}

std::shared_ptr<platform::Image> QNVPlayerLayer::presentedImage() {
  if (readsBackOnDemand() && framePresented_.load()) {
    // The framebuffer still holds the frame: between render-side tasks it
    // is always the one last presented.
    auto readBack = [weakSelf = weak_from_this()] {
      auto self = weakSelf.lock();
      if (!self || !self->context_) return;
      const bool wasCurrent = self->context_->isCurrent();
      if (!wasCurrent && !self->context_->makeCurrent()) return;
      self->readBackPresentedFrame();
      if (!wasCurrent) platform::GLContext::clearCurrent();
    };
    if (renderingThread_->isCurrent()) {
      readBack();
    } else {
      renderingThread_->dispatchSync(std::move(readBack));
    }
  }
  std::lock_guard lock(stateMutex_);
  return presentedImage_;
}

// ---- Play and pause ----

void QNVPlayerLayer::resume() {
  OV_LOG(kOVAdLogLevelDebug, kResumingFormat, description().c_str());
  if (preventPlayback()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kStartInBackground);
    if (configs_.blockPlayWhenNotActive) {
      const auto state = static_cast<int64_t>(platform::Application::shared()->applicationState());
      handleError(renderingError(kResumeInBackgroundCode,
                                 {{kErrorSourceKey, platform::Value("resume")},
                                  {kErrorAppStateKey, platform::Value(std::to_string(state))}}));
      return;
    }
  }
  QNVIdleTimeoutManager::sharedInstance()->addNonIdlingClient(shared_from_this());
  QNV_SOFT_ASSERT(displayLink_ != nullptr, "%s", "a layer has its display link from creation on");
  if (displayLink_) displayLink_->setPaused(false);
}

void QNVPlayerLayer::pause(int32_t reason) {
  OV_LOG(kOVAdLogLevelDebug, kPausingFormat, description().c_str(), reason, framesRead_.load(),
         framesEnqueued_.load(), framesDecompressed_.load(), framesLoop_.load(), framesStale_.load(),
         rendererForLog_.load(), shouldRenderWhilePlaybackPaused_ ? 1 : 0);
  QNVIdleTimeoutManager::sharedInstance()->removeNonIdlingClient(shared_from_this());
  if (displayLink_ && (reason == kQNVPauseReasonApplicationInactive || !shouldRenderWhilePlaybackPaused_)) {
    displayLink_->setPaused(true);
  }
}

void QNVPlayerLayer::pauseDisplayLink() {
  OV_LOG(kOVAdLogLevelVerbose, kPausingDisplayLinkFormat, description().c_str());
  if (displayLink_) displayLink_->setPaused(true);
}

// ---- Compressed frames in ----

void QNVPlayerLayer::enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint32_t attributes) {
  if (preventPlayback()) return;
  const auto& format = sampleBuffer.format().video;
  if (!format) return;
  const platform::VideoDimensions dimensions = format->presentationDimensions(true, true);
  if ((attributes & kQNVFrameFlagFormatMayHaveChanged) != 0) {
    if (requestedResizeDecompressionSession_) {
      QNV_SOFT_ASSERT(configs_.offMainThreadRendering, "%s", kAbrNeedsOffMain);
      closeDecompressionSession();
    } else if (decompressionSession_ &&
               decompressionSession_->inputSize() !=
                   platform::Size{static_cast<double>(dimensions.width), static_cast<double>(dimensions.height)} &&
               !decompressionSession_->canAcceptFormatDescription(*format)) {
      closeDecompressionSession();
    }
  }
  if (!decompressionSession_) {
    platform::Rect layerBounds;
    double scale = 1.0;
    {
      std::lock_guard lock(stateMutex_);
      layerBounds = bounds_;
      scale = contentsScale_;
    }
    const platform::Size size = qnvDecodeSize(
        {static_cast<double>(dimensions.width), static_cast<double>(dimensions.height)}, configs_.optimizeMemory,
        layerBounds, scale);
    decompressionSessionIndexStart_ = framesEnqueued_.load();
    const std::weak_ptr<QNVDecompressionSessionDelegate> delegate = weak_from_this();
    const bool vp9 = (attributes & kQNVFrameFlagVP9) != 0;
    switch (qnvDecoderKindFor(vp9, platform::DecompressionSession::isAvailable())) {
      case QNVDecoderKind::kVP9:
        decompressionSession_ = QNVDecompressionSessionForVP9::initWithDelegate(
            delegate, *format, size, true, std::make_shared<QNVRealTimerManager>());
        break;
      case QNVDecoderKind::kSystem:
        decompressionSession_ =
            QNVDecompressionSessionWithVideoToolbox::initWithDelegate(delegate, *format, size, true, nullptr);
        OV_LOG(kOVAdLogLevelDebug, kRecreatedSessionFormat, static_cast<void*>(decompressionSession_.get()),
               size.width, size.height);
        break;
      case QNVDecoderKind::kSoftware:
        decompressionSession_ = QNVDecompressionSessionWithoutVideoToolbox::initWithDelegate(
            delegate, *format, size, true, std::make_shared<QNVRealTimerManager>());
        OV_LOG(kOVAdLogLevelDebug, kRecreatedSessionFormat, static_cast<void*>(decompressionSession_.get()),
               size.width, size.height);
        break;
    }
  }
  if (!decompressionSession_) return;
  if ((attributes & kQNVFrameFlagDoNotDisplay) != 0) {
    std::lock_guard lock(ringMutex_);
    hiddenFrames_.insert(framesEnqueued_.load());
  }
  decompressionSession_->enqueueSampleBuffer(sampleBuffer, framesEnqueued_.load());
  ++framesEnqueued_;
}

void QNVPlayerLayer::finishDelayedFrames() {
  if (decompressionSession_) decompressionSession_->finishDelayedFrames();
}

void QNVPlayerLayer::closeDecompressionSession() {
  if (decompressionSession_) decompressionSession_->closeSession();
  decompressionSession_.reset();
  requestedResizeDecompressionSession_ = false;
}

bool QNVPlayerLayer::isReadyForMoreMediaData() const {
  return !error().has_value() && !preventPlayback() &&
         framesEnqueued_.load() - framesRead_.load() < sampleBufferRequestThreshold_;
}

void QNVPlayerLayer::requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr queue, std::function<void()> block) {
  {
    std::lock_guard lock(stateMutex_);
    dataQueue_ = std::move(queue);
    dataBlock_ = std::move(block);
  }
  requestingData_ = true;
  requestData();
}

void QNVPlayerLayer::requestData() {
  platform::DispatchQueuePtr queue;
  {
    std::lock_guard lock(stateMutex_);
    queue = dataQueue_;
  }
  if (!queue) return;
  queue->async([weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self || !self->requestingData_) return;
    std::function<void()> block;
    {
      std::lock_guard lock(self->stateMutex_);
      block = self->dataBlock_;
    }
    if (block && self->framesEnqueued_.load() - self->framesRead_.load() < self->sampleBufferRequestThreshold_) {
      block();
    }
  });
}

// ---- Decoded frames in ----

void QNVPlayerLayer::yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                                             platform::MediaTime presentationTimeStamp,
                                             platform::MediaTime presentationDuration, uint64_t iFrame) {
  static_cast<void>(presentationDuration);
  display(std::move(buffer), presentationTimeStamp, iFrame);
}

void QNVPlayerLayer::yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                                             platform::MediaTime presentationTimeStamp,
                                             platform::MediaTime presentationDuration) {
  static_cast<void>(presentationDuration);
  display(std::move(buffer), presentationTimeStamp, framesEnqueued_++);
}

void QNVPlayerLayer::display(std::shared_ptr<platform::PixelBuffer> buffer, platform::MediaTime presentationTimeStamp,
                             uint64_t iFrameEnqueued) {
  if (iFrameEnqueued < decompressionSessionIndexStart_.load() || iFrameEnqueued < framesRead_.load()) return;
  if (renderingThread_) {
    onRenderSide([this, buffer = std::move(buffer), presentationTimeStamp, iFrameEnqueued]() mutable {
      addBuffer(std::move(buffer), presentationTimeStamp, iFrameEnqueued);
    });
  } else {
    addBuffer(std::move(buffer), presentationTimeStamp, iFrameEnqueued);
  }
}

void QNVPlayerLayer::addBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                               platform::MediaTime presentationTimeStamp, uint64_t iFrameEnqueued) {
  std::shared_ptr<platform::PixelBuffer> overwritten;  // released outside the lock
  {
    std::lock_guard lock(ringMutex_);
    const size_t slot = iFrameEnqueued % bufferCount_;
    overwritten = std::move(buffers_[slot]);
    // A hidden frame takes its place in the count, never the screen.
    const bool hidden = hiddenFrames_.erase(iFrameEnqueued) > 0;
    buffers_[slot] = hidden ? nullptr : std::move(buffer);
    bufferTimes_[slot] = hidden ? platform::MediaTime::negativeInfinity() : presentationTimeStamp;
    bufferIndexes_[slot] = static_cast<int64_t>(iFrameEnqueued);
  }
  uint64_t decompressed = framesDecompressed_.load();
  while (decompressed < iFrameEnqueued + 1 &&
         !framesDecompressed_.compare_exchange_weak(decompressed, iFrameEnqueued + 1)) {
  }
}

void QNVPlayerLayer::handleDecompressionSessionError(const platform::Error& error) { handleError(error); }

void QNVPlayerLayer::handleDecompressionSessionError(const platform::Error& error, uint64_t ifIFrameStillValid) {
  // Errors of frames given to an earlier session no longer matter.
  if (ifIFrameStillValid >= decompressionSessionIndexStart_.load()) handleError(error);
}

void QNVPlayerLayer::handleError(const platform::Error& error) {
  std::shared_ptr<QNVPlayerDisplayEngineDelegate> delegate;
  {
    std::lock_guard lock(stateMutex_);
    delegate = playerLayerDelegate_.lock();
  }
  QNVMediaStateQueue()->async([weakSelf = weak_from_this(), error, delegate] {
    auto self = weakSelf.lock();
    if (!self) return;
    {
      std::lock_guard lock(self->stateMutex_);
      self->layerError_ = error;
    }
    self->requestingData_ = false;
    self->pause(kQNVPauseReasonLayerError);
    if (delegate) {
      delegate->queueForLayerUpdates()->async([delegate, error] { delegate->layerUpdatedWithError(error); });
    }
  });
}

// ---- The display step ----

void QNVPlayerLayer::displayLinkCallback() { tryToMoveToNextFrameWithDrawingOn(true); }

void QNVPlayerLayer::tryToMoveToNextFrameWithDrawingOn(bool draw) {
  QNV_SOFT_ASSERT(renderingThread_ ? !platform::DispatchQueue::isMainThread()
                                   : platform::DispatchQueue::isMainThread(),
                  "%s", "the display step runs on the rendering thread, or on the main thread without one");
  if (preventPlayback()) return;
  if (!glInitialized_) setupGL();
  if (!context_) return;
  const platform::Rect layerBounds = bounds();
  const QNVDrawingPath path = drawingPath();
  if (path == QNVDrawingPath::kCPU) {
    if (layerBounds.size != layerSize_) {
      layoutChanged_ = true;
      layerSize_ = layerBounds.size;
    }
  } else if (layerBounds.size != layerSize_ || frameBufferHandle_ == 0 || colorBufferHandle_ == 0) {
    layoutChanged_ = true;
    if (!context_->makeCurrent()) {
      QNV_SOFT_ASSERT(false, "%s", kCannotSetContext);
      return;
    }
    layerSize_ = layerBounds.size;
    destroyBuffers();
    setupBuffers();
    platform::GLContext::clearCurrent();
  }

  const auto timebase = controlTimebase();
  const platform::MediaTime now = timebase ? timebase->time() : platform::MediaTime::zero();
  platform::MediaTime best = platform::MediaTime::negativeInfinity();
  int64_t found = -1;
  std::shared_ptr<platform::PixelBuffer> frame;
  uint64_t newReadPosition = 0;
  {
    std::lock_guard lock(ringMutex_);
    uint64_t pending = framesDecompressed_.load();
    const uint64_t start = framesRead_.load();
    for (uint64_t i = start; i < framesDecompressed_.load(); ++i) {
      const size_t slot = i % bufferCount_;
      if (bufferIndexes_[slot] != static_cast<int64_t>(i)) continue;
      if (bufferTimes_[slot] <= now) {
        if (bufferTimes_[slot] > best) {
          best = bufferTimes_[slot];
          found = static_cast<int64_t>(i);
        }
      } else {
        pending = std::min(pending, i);
      }
    }
    newReadPosition = std::max(start, pending);
    if (found != -1) {
      const size_t slot = static_cast<size_t>(found) % bufferCount_;
      if (draw) frame = std::move(buffers_[slot]);
    }
  }

  if (found != -1 && platform::compare(now, platform::add(best, platform::MediaTime::make(2, 30))) > 0) {
    ++framesStale_;
  }
  if (frame) {
    if (configs_.storeLastDisplayedSampleBuffer) {
      std::lock_guard lock(stateMutex_);
      lastDisplayedSampleBuffer_ = frame;
    }
    displayPixelBuffer(frame);
    frame.reset();
  } else if (path == QNVDrawingPath::kCPU) {
    if ((layoutChanged_ || shouldRenderWhilePlaybackPaused_) && cpuPicture_) drawOnCPU(cpuPicture_);
  } else if ((layoutChanged_ || shouldRenderWhilePlaybackPaused_) && lumaTexture_ && chromaTexture_) {
    if (context_->makeCurrent()) drawFrame(false);
  }

  std::vector<std::shared_ptr<platform::PixelBuffer>> passedOver;  // released outside the lock
  {
    std::lock_guard lock(ringMutex_);
    for (uint64_t i = framesRead_.load(); i < newReadPosition; ++i) {
      const size_t slot = i % bufferCount_;
      if (bufferIndexes_[slot] == static_cast<int64_t>(i) && buffers_[slot]) passedOver.push_back(std::move(buffers_[slot]));
    }
    framesRead_ = newReadPosition;
  }
  if (framesLoop_.load() % kDataRequestEveryTicks == 0 || framesEnqueued_.load() - newReadPosition < 2) requestData();
  ++framesLoop_;
}

bool QNVPlayerLayer::flushDisplayReadySampleBuffers() {
  if (displayLink_ && !displayLink_->isPaused()) {
    QNV_SOFT_ASSERT(false, kSeekWithDisplayLinkFormat, description().c_str());
    return false;
  }
  onRenderSide([this] { tryToMoveToNextFrameWithDrawingOn(false); });
  return true;
}

// ---- Flushing ----

void QNVPlayerLayer::flush() {
  closeDecompressionSession();
  const uint64_t decompressed = framesDecompressed_.load();
  const uint64_t enqueued = framesEnqueued_.load();
  onRenderSide([this, decompressed, enqueued] { flushBuffers(decompressed, enqueued); });
}

void QNVPlayerLayer::flushBuffers(uint64_t framesDecompressed, uint64_t framesEnqueued) {
  OV_LOG(kOVAdLogLevelVerbose, kStartingFlushFormat, description().c_str(), framesRead_.load(), framesDecompressed);
  std::vector<std::shared_ptr<platform::PixelBuffer>> flushed;
  {
    std::lock_guard lock(ringMutex_);
    for (uint64_t i = framesRead_.load(); i < framesDecompressed; ++i) {
      const size_t slot = i % bufferCount_;
      if (buffers_[slot]) flushed.push_back(std::move(buffers_[slot]));
    }
    framesRead_ = std::max(framesRead_.load(), framesEnqueued);
    hiddenFrames_.erase(hiddenFrames_.begin(), hiddenFrames_.lower_bound(framesRead_.load()));
  }
  framesStale_ = 0;
}

bool QNVPlayerLayer::flushIfError() {
  std::optional<platform::Error> cleared;
  {
    std::lock_guard lock(stateMutex_);
    cleared.swap(layerError_);
  }
  if (!cleared) return false;
  OV_LOG(kOVAdLogLevelVerbose, kClearingErrorFormat, description().c_str(), cleared->localizedDescription().c_str());
  flush();
  return true;
}

void QNVPlayerLayer::flushAndRemoveImage() {
  QNV_ASSERT_MEDIA_STATE_QUEUE();
  if (renderingThread_) {
    renderingThread_->dispatchSync([weakSelf = weak_from_this()] {
      if (auto self = weakSelf.lock()) self->resetGLContext();
    });
    flush();
  } else {
    flush();
    platform::DispatchQueue::main()->async([weakSelf = weak_from_this()] {
      if (auto self = weakSelf.lock()) self->resetGLContext();
    });
  }
}

void QNVPlayerLayer::resetGLContext() {
  if (preventPlayback()) {
    OV_LOG(kOVAdLogLevelDebug, kSkippingRemoveFormat, description().c_str());
    return;
  }
  updateReadyForDisplay(false);
  if (drawingPath() == QNVDrawingPath::kCPU) {
    // What a cleared drawable reads back as: transparent pixels.
    cpuPicture_.reset();
    platform::Rect layerBounds;
    double scale = 1.0;
    {
      std::lock_guard lock(stateMutex_);
      layerBounds = bounds_;
      scale = contentsScale_;
    }
    const auto width = static_cast<uint32_t>(std::max(0L, std::lround(layerBounds.size.width * scale)));
    const auto height = static_cast<uint32_t>(std::max(0L, std::lround(layerBounds.size.height * scale)));
    auto cleared = platform::Image::create(width, height, scale, platform::Color::clear());
    std::lock_guard lock(stateMutex_);
    if (cleared) presentedImage_ = std::move(cleared);
    return;
  }
  if (!context_ || !context_->makeCurrent()) {
    QNV_SOFT_ASSERT(false, "%s", kCannotSetContext);
    return;
  }
  cleanUpTextures();
  if (!renderingThread_) {
    if (frameBufferHandle_ != 0) {
      glBindFramebuffer(GL_FRAMEBUFFER, frameBufferHandle_);
      glClearColor(0, 0, 0, 0);
      glClear(GL_COLOR_BUFFER_BIT);
      glBindRenderbuffer(GL_RENDERBUFFER, colorBufferHandle_);
      present();
    }
  } else {
    setupBuffers();
    for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1}) {
      glActiveTexture(unit);
      glBindTexture(GL_TEXTURE_2D, 0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, frameBufferHandle_);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    present();
    destroyBuffers();
  }
  platform::GLContext::clearCurrent();
}

// ---- GL ----

void QNVPlayerLayer::setupGL() {
  context_ = platform::GLContext::create();
  glInitialized_ = true;
  if (!context_ || !context_->makeCurrent()) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kGLInitFailed);
    context_.reset();
    handleError(renderingError(kSetupGLCode, {{kErrorSourceKey, platform::Value("setupGL")}}));
    QNV_SOFT_ASSERT(false, kSetupFailedFormat, description().c_str());
    return;
  }
  if (const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER))) glRenderer_ = renderer;
  if (!videoTextureCache_) {
    const int32_t status = platform::VideoTextureCache::create(context_, videoTextureCache_);
    if (status != platform::kVideoTextureCacheOK) {
      OV_LOG(kOVAdLogLevelDebug, kTextureCacheFailedFormat, status);
      handleError(renderingError(status, {{kErrorSourceKey, platform::Value("texture cache create")}}));
    }
  }
  platform::GLContext::clearCurrent();
}

void QNVPlayerLayer::setupBuffers() {
  platform::Rect layerBounds;
  double scale = 1.0;
  {
    std::lock_guard lock(stateMutex_);
    layerBounds = bounds_;
    scale = contentsScale_;
  }
  // Buffers made before (a reset makes fresh ones) go first, or each reset
  // would leave a framebuffer of the layer's size behind.
  destroyBuffers();
  if (!(layerBounds.size.width > 0) || !(layerBounds.size.height > 0)) {
    return;
  }
  glDisable(GL_DEPTH_TEST);
  glGenFramebuffers(1, &frameBufferHandle_);
  glBindFramebuffer(GL_FRAMEBUFFER, frameBufferHandle_);
  glGenRenderbuffers(1, &colorBufferHandle_);
  glBindRenderbuffer(GL_RENDERBUFFER, colorBufferHandle_);
  // The layer's drawable: storage of the layer's pixel size.
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(std::lround(layerBounds.size.width * scale)),
                        static_cast<GLsizei>(std::lround(layerBounds.size.height * scale)));
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &backingWidth_);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &backingHeight_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBufferHandle_);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    OV_LOG(kOVAdLogLevelDebug, kIncompleteFramebufferFormat, status);
    handleError(renderingError(status, {{kErrorSourceKey, platform::Value("frm buffer status")}}));
  }
}

void QNVPlayerLayer::destroyBuffers() {
  // The last presented frame outlives its framebuffer.
  readBackPresentedFrame();
  if (frameBufferHandle_ != 0) {
    glDeleteFramebuffers(1, &frameBufferHandle_);
    frameBufferHandle_ = 0;
  }
  if (colorBufferHandle_ != 0) {
    glDeleteRenderbuffers(1, &colorBufferHandle_);
    colorBufferHandle_ = 0;
  }
}

void QNVPlayerLayer::cleanUpTextures() {
  lumaTexture_.reset();
  chromaTexture_.reset();
  if (videoTextureCache_) videoTextureCache_->flush();
}

void QNVPlayerLayer::clearBuffers() {
  if (context_ && context_->makeCurrent()) {
    cleanUpTextures();
    videoTextureCache_.reset();
    renderer_.reset();
    detachedRenderer_.reset();
    defaultRenderer_.reset();
    destroyBuffers();
    platform::GLContext::clearCurrent();
  }
  cpuPicture_.reset();
  canvases_.clear();
  {
    std::lock_guard lock(ringMutex_);
    for (auto& buffer : buffers_) buffer.reset();
  }
  context_.reset();
}

void QNVPlayerLayer::releaseTimeBase() {
  QNVIdleTimeoutManager::sharedInstance()->removeNonIdlingClient(shared_from_this());
  std::lock_guard lock(stateMutex_);
  controlTimeBase_.reset();
}

platform::Size QNVPlayerLayer::drawnSize() const {
  platform::Rect layerBounds;
  platform::AffineTransform transform;
  std::string gravity;
  {
    std::lock_guard lock(stateMutex_);
    layerBounds = bounds_;
    transform = preferredTransform_;
    gravity = videoGravity_;
  }
  float sx = 0;
  float sy = 0;
  if (!QNVDefaultRenderer::quadScale(presentationRect_, gravity, layerBounds, transform, sx, sy)) return {};
  return {sx * backingWidth_, sy * backingHeight_};
}

void QNVPlayerLayer::displayPixelBuffer(const std::shared_ptr<platform::PixelBuffer>& pixelBuffer) {
  renderer_->processPixelBuffer(pixelBuffer.get());
  if (pixelBuffer && drawingPath() == QNVDrawingPath::kCPU) {
    drawOnCPU(pixelBuffer);
    return;
  }
  cpuPicture_.reset();
  if (!context_->makeCurrent()) return;
  if (!pixelBuffer) {
    drawFrame(false);
    return;
  }
  const platform::Size size{static_cast<double>(pixelBuffer->width()), static_cast<double>(pixelBuffer->height())};
  const bool sizeChanged = size != presentationRect_;
  presentationRect_ = size;
  if (!videoTextureCache_) {
    OV_LOG(kOVAdLogLevelDebug, "%s", kNoTextureCache);
    return;
  }
  cleanUpTextures();
  if (layoutChanged_) {
    preferredConversion_ = qnvColorConversionOf(*pixelBuffer);
  }
  struct PlaneTexture {
    GLenum unit;
    size_t plane;
    GLint internalFormat;
    GLenum format;
    std::shared_ptr<platform::VideoTexture>* texture;
  };
  const platform::Size drawn = drawnSize();
  const PlaneTexture planes[] = {{GL_TEXTURE0, 0, GL_R8, GL_RED, &lumaTexture_},
                                 {GL_TEXTURE1, 1, GL_RG8, GL_RG, &chromaTexture_}};
  for (const PlaneTexture& plane : planes) {
    glActiveTexture(plane.unit);
    // Each plane at its own size: a chroma plane of an odd-sized picture is
    // rounded up, not down.
    const int32_t status = videoTextureCache_->createTextureFromImage(
        *pixelBuffer, GL_TEXTURE_2D, plane.internalFormat, static_cast<GLsizei>(pixelBuffer->widthOfPlane(plane.plane)),
        static_cast<GLsizei>(pixelBuffer->heightOfPlane(plane.plane)), plane.format, GL_UNSIGNED_BYTE, plane.plane,
        *plane.texture);
    if (status != platform::kVideoTextureCacheOK) {
      OV_LOG(kOVAdLogLevelDebug, kTextureFailedFormat, status);
      return;
    }
    // An ad slot is often much smaller than the video: sampled from the
    // full picture alone, a frame drawn at a fraction of its size skips
    // texels and aliases, and its mipmaps give the sampler a picture
    // averaged down to about the drawn size. Made for every frame they cost
    // more than the draw, so only a plane drawn below half its size gets
    // them.
    const bool mipmaps = qnvNeedsMipmaps({static_cast<double>(pixelBuffer->widthOfPlane(plane.plane)),
                                          static_cast<double>(pixelBuffer->heightOfPlane(plane.plane))},
                                         drawn);
    if (mipmaps) glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  drawFrame(sizeChanged);
}

QNVDrawingPath QNVPlayerLayer::drawingPath() const {
  return qnvDrawingPathFor(configs_.drawing, glRenderer_, renderer_ == defaultRenderer_, preferredRotation_);
}

QNVPlayerLayer::Canvas QNVPlayerLayer::takeCanvas(size_t byteCount) {
  // A canvas only the layer holds is one no presented image reads any more;
  // nothing but the layer hands it out, so it cannot be taken meanwhile.
  for (const Canvas& canvas : canvases_) {
    if (canvas.bytes.use_count() == 1 && canvas.byteCount == byteCount) return canvas;
  }
  Canvas canvas{std::make_shared_for_overwrite<uint8_t[]>(byteCount), byteCount};
  // The presented image, the one a reader may still hold and the next.
  constexpr size_t kKeptCanvases = 3;
  if (canvases_.size() >= kKeptCanvases) {
    const auto idle = std::find_if(canvases_.begin(), canvases_.end(),
                                   [](const Canvas& kept) { return kept.bytes.use_count() == 1; });
    if (idle == canvases_.end()) return canvas;
    canvases_.erase(idle);
  }
  canvases_.push_back(canvas);
  return canvas;
}

void QNVPlayerLayer::drawOnCPU(const std::shared_ptr<platform::PixelBuffer>& picture) {
  if (preventPlayback()) {
    OV_LOG(kOVAdLogLevelDebug, kSkippingDrawFormat, description().c_str());
    return;
  }
  platform::Rect layerBounds;
  platform::AffineTransform transform;
  std::string gravity;
  double scale = 1.0;
  {
    std::lock_guard lock(stateMutex_);
    layerBounds = bounds_;
    transform = preferredTransform_;
    gravity = videoGravity_;
    scale = contentsScale_;
  }
  const long width = std::lround(layerBounds.size.width * scale);
  const long height = std::lround(layerBounds.size.height * scale);
  if (width <= 0 || height <= 0) return;
  const platform::Size size{static_cast<double>(picture->width()), static_cast<double>(picture->height())};
  presentationRect_ = size;
  if (layoutChanged_) preferredConversion_ = qnvColorConversionOf(*picture);

  // The quad the default renderer would draw, in pixels; a quad larger than
  // the layer (aspect fill) shows the middle of the picture.
  float sx = 0;
  float sy = 0;
  const bool hasQuad = QNVDefaultRenderer::quadScale(size, gravity, layerBounds, transform, sx, sy);
  platform::PixelRect source;
  platform::PixelRect destination;
  auto fit = [](double quad, long target, size_t picture, size_t& destinationStart, size_t& destinationLength,
                size_t& sourceStart, size_t& sourceLength) {
    const double drawn = quad * static_cast<double>(target);
    if (drawn <= static_cast<double>(target)) {
      destinationLength = static_cast<size_t>(std::max(1L, std::lround(drawn)));
      destinationStart = (static_cast<size_t>(target) - std::min(destinationLength, static_cast<size_t>(target))) / 2;
      sourceStart = 0;
      sourceLength = picture;
    } else {
      destinationStart = 0;
      destinationLength = static_cast<size_t>(target);
      sourceLength = static_cast<size_t>(
          std::clamp(std::lround(static_cast<double>(picture) * static_cast<double>(target) / drawn), 1L,
                     static_cast<long>(picture)));
      sourceStart = (picture - sourceLength) / 2;
    }
  };
  if (hasQuad) {
    fit(sx, width, picture->width(), destination.x, destination.width, source.x, source.width);
    fit(sy, height, picture->height(), destination.y, destination.height, source.y, source.height);
  }
  const size_t pixelWidth = static_cast<size_t>(width);
  const size_t pixelHeight = static_cast<size_t>(height);
  const Canvas canvas = takeCanvas(pixelWidth * pixelHeight * platform::Image::kBytesPerPixel);
  platform::YCbCrConversion conversion{};
  std::copy(std::begin(preferredConversion_->matrix), std::end(preferredConversion_->matrix), conversion.matrix);
  conversion.lumaOffset = preferredConversion_->lumaOffset;
  if (!cpuScaler_.draw(*picture, source, {canvas.bytes.get(), pixelWidth, pixelHeight}, destination, conversion)) {
    OV_LOG(kOVAdLogLevelDebug, kDrawFailedFormat, description().c_str(), static_cast<void*>(renderer_.get()));
  }
  auto image = platform::Image::borrowRGBA(static_cast<uint32_t>(pixelWidth), static_cast<uint32_t>(pixelHeight),
                                           scale, canvas.bytes, {canvas.bytes.get(), canvas.byteCount});
  {
    std::lock_guard lock(stateMutex_);
    presentedImage_ = std::move(image);
    presentedScale_ = scale;
  }
  // Nothing in GL is newer than this picture.
  framePresented_ = false;
  cpuPicture_ = picture;
  layoutChanged_ = false;
  if (!isReadyForDisplay_) {
    OV_LOG(kOVAdLogLevelDebug, kReadyForDisplayFormat, description().c_str(), framesLoop_.load(),
           framesEnqueued_.load());
    updateReadyForDisplay(true);
  }
}

void QNVPlayerLayer::drawFrame(bool sizeChanged) {
  if (preventPlayback()) {
    OV_LOG(kOVAdLogLevelDebug, kSkippingDrawFormat, description().c_str());
    return;
  }
  if (!context_->makeCurrent()) return;
  glBindFramebuffer(GL_FRAMEBUFFER, frameBufferHandle_);
  if (detachedRenderer_) {
    detachedRenderer_->restoreGLState();
    detachedRenderer_.reset();
  }
  if (needsToSetupGLState_) {
    if (frameBufferHandle_ == 0) return;
    if (!renderer_->setupGLState()) {
      OV_LOG(kOVAdLogLevelDebug, kSetupStateFailedFormat, description().c_str(), static_cast<void*>(renderer_.get()));
      return;
    }
    needsToSetupGLState_ = false;
  }
  platform::Rect layerBounds;
  platform::AffineTransform transform;
  std::string gravity;
  {
    std::lock_guard lock(stateMutex_);
    layerBounds = bounds_;
    transform = preferredTransform_;
    gravity = videoGravity_;
  }
  if (!renderer_->drawFrame(layoutChanged_ || sizeChanged, presentationRect_, backingWidth_, backingHeight_,
                            frameBufferHandle_, gravity, preferredRotation_, layerBounds, transform,
                            preferredConversion_)) {
    OV_LOG(kOVAdLogLevelDebug, kDrawFailedFormat, description().c_str(), static_cast<void*>(renderer_.get()));
  }
  if (colorBufferHandle_ != 0) {
    glBindRenderbuffer(GL_RENDERBUFFER, colorBufferHandle_);
    present();
    layoutChanged_ = false;
  }
  platform::GLContext::clearCurrent();
  if (!isReadyForDisplay_) {
    OV_LOG(kOVAdLogLevelDebug, kReadyForDisplayFormat, description().c_str(), framesLoop_.load(),
           framesEnqueued_.load());
    updateReadyForDisplay(true);
  }
}

void QNVPlayerLayer::present() {
  if (backingWidth_ <= 0 || backingHeight_ <= 0) return;
  {
    std::lock_guard lock(stateMutex_);
    presentedScale_ = contentsScale_;
  }
  framePresented_ = true;
  // Copied out of GL only when someone asks for it (presentedImage): most
  // frames are never looked at, and a read-back costs more than the draw.
  // Only a rendering thread that never stops can always be asked; on any
  // other render side the frame is read back now, so that asking never
  // waits for an inactive application.
  if (!readsBackOnDemand()) readBackPresentedFrame();
}

bool QNVPlayerLayer::readsBackOnDemand() const {
  return renderingThread_ != nullptr && renderingThread_->allowsAppInactivePlayback();
}

void QNVPlayerLayer::readBackPresentedFrame() {
  if (!framePresented_.exchange(false) || frameBufferHandle_ == 0) return;
  const auto width = static_cast<uint32_t>(backingWidth_);
  const auto height = static_cast<uint32_t>(backingHeight_);
  platform::Bytes pixels(static_cast<size_t>(width) * height * platform::Image::kBytesPerPixel);
  glBindFramebuffer(GL_FRAMEBUFFER, frameBufferHandle_);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, backingWidth_, backingHeight_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  // GL rows run bottom-up; an image's top-down.
  const size_t rowBytes = static_cast<size_t>(width) * platform::Image::kBytesPerPixel;
  for (size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(pixels.begin() + static_cast<ptrdiff_t>(top * rowBytes),
                     pixels.begin() + static_cast<ptrdiff_t>((top + 1) * rowBytes),
                     pixels.begin() + static_cast<ptrdiff_t>(bottom * rowBytes));
  }
  std::lock_guard lock(stateMutex_);
  presentedImage_ = platform::Image::fromRGBA(width, height, presentedScale_, std::move(pixels));
}

void QNVPlayerLayer::updateReadyForDisplay(bool ready) { isReadyForDisplay_ = ready; }

void QNVPlayerLayer::requestLastDisplayedSampleBuffer(
    std::function<void(std::shared_ptr<platform::PixelBuffer>)> block, platform::DispatchQueuePtr queue) {
  QNV_SOFT_ASSERT(queue != nullptr, "%s", kQueueCannotBeNil);
  if (!block) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kNoCallback);
    return;
  }
  if (!queue) return;
  auto hand = [weakSelf = weak_from_this(), block = std::move(block), queue] {
    auto self = weakSelf.lock();
    std::shared_ptr<platform::PixelBuffer> last;
    if (self) {
      std::lock_guard lock(self->stateMutex_);
      last = self->lastDisplayedSampleBuffer_;
    }
    queue->async([block, last] { block(last); });
  };
  if (renderingThread_) {
    renderingThread_->performBlock(std::move(hand));
  } else {
    QNV_SOFT_ASSERT(platform::DispatchQueue::isMainThread(), "%s",
                    "a layer without a rendering thread hands frames on the main thread");
    hand();
  }
}

// ---- Teardown ----

void QNVPlayerLayer::invalidate() {
  for (auto token : observers_) platform::NotificationCenter::defaultCenter().removeObserver(token);
  observers_.clear();
  {
    std::lock_guard lock(stateMutex_);
    lastDisplayedSampleBuffer_.reset();
  }
  QNVMediaStateQueue()->async([self = shared_from_this()] { self->flush(); });
  if (displayLink_) {
    displayLink_->setPaused(true);
    displayLink_->invalidate();
    displayLink_.reset();
  }
  releaseTimeBase();
  // The GL objects go on the side that made them, with the context current.
  auto teardown = [self = shared_from_this()] { self->clearBuffers(); };
  if (renderingThread_) {
    renderingThread_->performBlock(std::move(teardown));
  } else {
    platform::DispatchQueue::main()->async(std::move(teardown));
  }
}

}  // namespace plexora
