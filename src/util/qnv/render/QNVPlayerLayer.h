// The engine player's display engine: takes compressed video frames from
// the synchronous player, decodes them through a decompression session,
// keeps the decoded frames in a ring and, at each display-link tick, draws
// the frame due on the control timebase with OpenGL ES through its renderer
// into an offscreen framebuffer whose presented frames can be read back.
//
// Sides: enqueue, flush, the data request's checks and error reports run on
// the media-state queue; GL work, the display step and (with off-main-thread
// rendering) ring storage run on the render side: the process's rendering
// thread, or the main queue. Decoded frames arrive on decoder threads.
//
// Thread safety: as above; the ring and the counters shared between the
// sides are guarded (a lock for the slots, atomics for the counters).
// Ownership: the layer owns its decompression session, its ring's frames,
// its GL objects and display link; blocks it hands to queues and threads
// hold it weakly. The owner calls invalidate() before releasing it.
#pragma once

#include <GLES3/gl3.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/DisplayLink.h"
#include "platform/media/GLContext.h"
#include "platform/media/PixelBufferScaler.h"
#include "platform/media/VideoTextureCache.h"
#include "platform/ui/Image.h"
#include "util/qnv/decode/QNVDecompressionSession.h"
#include "util/qnv/asset/QNVMediaAsset.h"
#include "util/qnv/render/QNVPlayerDisplayEngine.h"
#include "util/qnv/render/QNVPlayerLayerPolicies.h"
#include "util/qnv/render/QNVPlayerRenderer.h"
#include "util/qnv/render/QNVRenderingThread.h"

namespace plexora {

inline constexpr const char* kQNVGLRenderingErrorDomain = "QNVGLRendering";

struct QNVPlayerLayerConfigs {
  bool offMainThreadRendering = false;
  bool optimizeMemory = false;
  bool blockPlayWhenNotActive = false;
  bool storeLastDisplayedSampleBuffer = false;
  bool allowPlayWhenInactive = false;
  int32_t decompressedBufferSize = 0;
  // Whether frames are drawn with GL or on the CPU; automatic draws on the
  // CPU where GL is a software rasteriser.
  QNVDrawingChoice drawing = QNVDrawingChoice::kAutomatic;
};

class QNVPlayerLayer final : public QNVAVPlayerLayer,
                             public QNVPlayerDisplayEngine,
                             public QNVDecompressionSessionDelegate,
                             public std::enable_shared_from_this<QNVPlayerLayer> {
 public:
  static constexpr size_t kMaxBufferCount = 60;

  // Main thread only.
  static std::shared_ptr<QNVPlayerLayer> initWithConfigs(const QNVPlayerLayerConfigs& configs);
  ~QNVPlayerLayer() override;
  QNVPlayerLayer(const QNVPlayerLayer&) = delete;
  QNVPlayerLayer& operator=(const QNVPlayerLayer&) = delete;

  // The layer's geometry (points) and its pixels per point; a change lays
  // the layer out again. Main thread.
  void setBounds(platform::Rect bounds) override;
  platform::Rect bounds() const override;
  void setContentsScale(double scale);

  // QNVPlayerDisplayEngine (media-state queue).
  void setControlTimebase(std::shared_ptr<platform::Timebase> controlTimebase) override;
  std::shared_ptr<platform::Timebase> controlTimebase() const;
  void setPlayerLayerDelegate(std::weak_ptr<QNVPlayerDisplayEngineDelegate> delegate) override;
  bool flushIfError() override;
  int64_t status() const override;
  std::optional<platform::Error> error() const override;
  void setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer) override;
  void setPreferredTransform(const platform::AffineTransform& transform) override;
  platform::AffineTransform preferredTransform() const;
  void resume() override;
  void pause(int32_t reason) override;
  void pauseDisplayLink() override;
  void flush() override;
  void flushAndRemoveImage() override;
  bool flushDisplayReadySampleBuffers() override;
  bool isReadyForMoreMediaData() const override;
  void requestMediaDataWhenReadyOnQueue(platform::DispatchQueuePtr queue, std::function<void()> block) override;
  // The player stops the pump when its buffer is full or the item has no
  // frame ready; the layer must not call it again until it restarts it.
  void stopRequestingMediaData() override { requestingData_ = false; }
  void finishDelayedFrames() override;
  void enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer, uint32_t attributes) override;
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                               platform::MediaTime presentationTimeStamp,
                               platform::MediaTime presentationDuration) override;

  // QNVDecompressionSessionDelegate (decoder threads).
  void yieldDecompressedBuffer(std::shared_ptr<platform::PixelBuffer> buffer,
                               platform::MediaTime presentationTimeStamp, platform::MediaTime presentationDuration,
                               uint64_t iFrame) override;
  void handleDecompressionSessionError(const platform::Error& error) override;
  void handleDecompressionSessionError(const platform::Error& error, uint64_t ifIFrameStillValid) override;

  // Main thread.
  void setVideoGravity(const std::string& videoGravity);
  std::string videoGravity() const;

  bool isReadyForDisplay() const { return isReadyForDisplay_.load(); }
  bool allowRenderingWhileApplicationInactive() const { return configs_.allowPlayWhenInactive; }
  void setRenderingThreadPriority(double priority);
  // Off-main-thread rendering only; otherwise the block does not run.
  bool dispatchSyncOnRenderingThread(std::function<void()> block);
  void dispatchAsyncOnRenderingThread(std::function<void()> block);
  void invalidateRenderer(std::shared_ptr<QNVPlayerRenderer> renderer);
  void requestLastDisplayedSampleBuffer(std::function<void(std::shared_ptr<platform::PixelBuffer>)> block,
                                        platform::DispatchQueuePtr queue);
  // The frame last presented, read back from the framebuffer (top row
  // first); none before the first present. With a rendering thread that
  // runs while the application is inactive, frames are read back only when
  // asked for, on that thread: the call waits for it.
  std::shared_ptr<platform::Image> presentedImage();
  // Frames displayed later than 2/30 s after their time since the last flush.
  uint64_t staleFrameCount() const { return framesStale_.load(); }
  // One past the highest frame index decoded into the ring.
  uint64_t framesDecompressed() const { return framesDecompressed_.load(); }

  void invalidate();
  std::string description() const;

 private:
  explicit QNVPlayerLayer(const QNVPlayerLayerConfigs& configs);

  bool preventPlayback() const;
  void onRenderSide(std::function<void()> block);
  void requestResizeDecompressionSession();
  void applicationDidBecomeActive();
  void setRendererInternal(std::shared_ptr<QNVPlayerRenderer> renderer);
  void displayLinkCallback();
  void layoutSublayers();
  void tryToMoveToNextFrameWithDrawingOn(bool draw);
  void setupGL();
  void setupBuffers();
  void destroyBuffers();
  void cleanUpTextures();
  void clearBuffers();
  void releaseTimeBase();
  void displayPixelBuffer(const std::shared_ptr<platform::PixelBuffer>& pixelBuffer);
  // The current frame's size in the framebuffer's pixels as the default
  // renderer lays it out; empty when it draws nothing.
  platform::Size drawnSize() const;
  void drawFrame(bool sizeChanged);
  QNVDrawingPath drawingPath() const;
  // The CPU path's draw: the picture converted and scaled into a fresh
  // presented image of the layer's pixel size.
  void drawOnCPU(const std::shared_ptr<platform::PixelBuffer>& picture);
  // RGBA pixels the scaler writes whole, so never cleared first.
  struct Canvas {
    std::shared_ptr<uint8_t[]> bytes;
    size_t byteCount = 0;
  };
  // A canvas of `byteCount` bytes no presented image holds any more.
  Canvas takeCanvas(size_t byteCount);
  void present();
  bool readsBackOnDemand() const;
  void readBackPresentedFrame();
  void resetGLContext();
  void flushBuffers(uint64_t framesDecompressed, uint64_t framesEnqueued);
  void addBuffer(std::shared_ptr<platform::PixelBuffer> buffer, platform::MediaTime presentationTimeStamp,
                 uint64_t iFrameEnqueued);
  void display(std::shared_ptr<platform::PixelBuffer> buffer, platform::MediaTime presentationTimeStamp,
               uint64_t iFrameEnqueued);
  void closeDecompressionSession();
  void requestData();
  void handleError(const platform::Error& error);
  void updateReadyForDisplay(bool ready);
  void setPreferredTransformInternal(const platform::AffineTransform& transform);

  const QNVPlayerLayerConfigs configs_;
  const size_t bufferCount_;
  const uint64_t sampleBufferRequestThreshold_;

  // The ring: frame index i lives in slot i mod bufferCount_.
  mutable std::mutex ringMutex_;
  std::vector<std::shared_ptr<platform::PixelBuffer>> buffers_;
  std::vector<platform::MediaTime> bufferTimes_;
  std::vector<int64_t> bufferIndexes_;
  // Frames enqueued to be decoded but never shown, until their picture
  // comes back.
  std::set<uint64_t> hiddenFrames_;

  std::atomic<uint64_t> framesEnqueued_{0};
  std::atomic<uint64_t> framesDecompressed_{0};
  std::atomic<uint64_t> framesRead_{0};
  std::atomic<uint64_t> decompressionSessionIndexStart_{0};
  std::atomic<uint64_t> framesLoop_{0};
  std::atomic<uint64_t> framesStale_{0};

  // Media-state queue.
  std::shared_ptr<QNVDecompressionSession> decompressionSession_;
  std::atomic<bool> requestedResizeDecompressionSession_{false};
  platform::DispatchQueuePtr dataQueue_;
  std::function<void()> dataBlock_;
  std::atomic<bool> requestingData_{false};

  mutable std::mutex stateMutex_;  // the fields below, read from several sides
  std::optional<platform::Error> layerError_;
  std::shared_ptr<platform::Timebase> controlTimeBase_;
  std::weak_ptr<QNVPlayerDisplayEngineDelegate> playerLayerDelegate_;
  platform::Rect bounds_;
  double contentsScale_ = 1.0;
  std::string videoGravity_ = kQNVVideoGravityResizeAspect;
  platform::AffineTransform preferredTransform_;
  std::shared_ptr<platform::PixelBuffer> lastDisplayedSampleBuffer_;
  std::shared_ptr<platform::Image> presentedImage_;
  double presentedScale_ = 1.0;
  // A frame was presented and not yet read back (set and cleared on the
  // render side; read by presentedImage() on any thread).
  std::atomic<bool> framePresented_{false};
  std::atomic<bool> isReadyForDisplay_{false};

  // Render side.
  std::shared_ptr<platform::GLContext> context_;
  GLuint frameBufferHandle_ = 0;
  GLuint colorBufferHandle_ = 0;
  GLint backingWidth_ = 0;
  GLint backingHeight_ = 0;
  std::shared_ptr<platform::VideoTextureCache> videoTextureCache_;
  std::shared_ptr<platform::VideoTexture> lumaTexture_;
  std::shared_ptr<platform::VideoTexture> chromaTexture_;
  bool glInitialized_ = false;
  platform::Size layerSize_;
  platform::Size presentationRect_;
  std::shared_ptr<QNVPlayerRenderer> renderer_;
  std::shared_ptr<QNVPlayerRenderer> defaultRenderer_;
  std::shared_ptr<QNVPlayerRenderer> detachedRenderer_;
  // Also read by pause() on the media-state queue.
  std::atomic<bool> shouldRenderWhilePlaybackPaused_{false};
  std::atomic<const void*> rendererForLog_{nullptr};
  bool needsToSetupGLState_ = true;
  bool layoutChanged_ = false;
  double preferredRotation_ = 0.0;
  const QNVColorConversion* preferredConversion_ = &kQNVColorConversion709;
  std::string glRenderer_;  // GL_RENDERER of the context
  // The CPU path: its scaler, the picture it drew last (redrawn when the
  // layout changes) and the buffers of the images it presented.
  platform::PixelBufferScaler cpuScaler_;
  std::shared_ptr<platform::PixelBuffer> cpuPicture_;
  std::vector<Canvas> canvases_;

  std::shared_ptr<platform::DisplayLink> displayLink_;
  std::shared_ptr<QNVRenderingThread> renderingThread_;
  std::vector<platform::NotificationCenter::ObserverToken> observers_;
};

}  // namespace plexora
