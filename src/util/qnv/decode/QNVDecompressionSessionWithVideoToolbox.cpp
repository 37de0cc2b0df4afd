#include "util/qnv/decode/QNVDecompressionSessionWithVideoToolbox.h"

#include <cinttypes>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kCreateFailedFormat = "%s error in decompression session create: err: %d";
constexpr const char* kFirstNotKeyFrameFormat =
    "%s first sample buffer is not a key frame - decompression error will likely follow: framesEnqueued:%" PRIu64
    " errString:%s";
constexpr const char* kDecodeFailedFormat = "%s error in decode frame: err: %d framesEnqueued:%" PRIu64 " errString:%s";
constexpr const char* kCallbackFailedFormat = "%s error in decompression callback: err: %d errString:%s";
constexpr const char* kEnqueueAfterCloseFormat = "%s refusing sample %" PRIu64 " after closeSession";
constexpr const char* kSampleTextFormat = "%sdts:%" PRIu64 " pts:%" PRIu64 " duration:%" PRIu64;
constexpr const char* kFirstFramePrefix = " ";
constexpr const char* kDecodeFailedPrefix = "decode failed. ";
constexpr const char* kCallbackTextFormat = "decode failed. pts:%" PRIu64 " duration:%" PRIu64;

// The raw time values of the sample's first timing entry, or nothing when
// the sample has no timing.
std::string sampleText(const platform::SampleBuffer& sample, const char* prefix) {
  const platform::SampleTimingInfo timing = sample.timingInfo(0);
  if (!timing.presentationTimeStamp.isValid() && !timing.decodeTimeStamp.isValid() && !timing.duration.isValid()) {
    return {};
  }
  char text[160];
  std::snprintf(text, sizeof text, kSampleTextFormat, prefix, static_cast<uint64_t>(timing.decodeTimeStamp.value),
                static_cast<uint64_t>(timing.presentationTimeStamp.value),
                static_cast<uint64_t>(timing.duration.value));
  return text;
}

platform::Error decompressionError(int32_t status, const char* source, const std::string* text) {
  platform::Dictionary details;
  details.set(kQNVDecompressionErrorSourceKey, platform::Value(source));
  if (text != nullptr) details.set(kQNVDecompressionErrorTextKey, platform::Value(*text));
  return platform::Error(kQNVGLDecompressionErrorDomain, status, std::move(details));
}

}  // namespace

std::shared_ptr<QNVDecompressionSessionWithVideoToolbox> QNVDecompressionSessionWithVideoToolbox::initWithDelegate(
    const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate,
    const platform::VideoFormatDescription& sampleBufferFormatDescription, platform::Size /*videoSize*/,
    bool /*async*/, const std::shared_ptr<QNVTimerManager>& /*timerManager*/) {
  std::shared_ptr<QNVDecompressionSessionWithVideoToolbox> session(new QNVDecompressionSessionWithVideoToolbox());
  const platform::VideoDimensions size = sampleBufferFormatDescription.presentationDimensions(true, true);
  session->inputSize_ = {static_cast<double>(size.width), static_cast<double>(size.height)};
  session->delegate_ = delegate;
  std::weak_ptr<QNVDecompressionSessionWithVideoToolbox> weakSession = session;
  const int32_t status = platform::DecompressionSession::create(
      sampleBufferFormatDescription,
      [weakSession](int32_t status, uint64_t iFrame, std::shared_ptr<platform::PixelBuffer> image,
                    platform::MediaTime presentationTime, platform::MediaTime presentationDuration) {
        if (auto self = weakSession.lock()) {
          self->decompressionOutput(status, iFrame, std::move(image), presentationTime, presentationDuration);
        }
      },
      session->decompressionSession_);
  if (status != platform::kDecompressionSessionOK) {
    OV_LOG(kOVAdLogLevelDebug, kCreateFailedFormat, session->description().c_str(), status);
    if (auto strongDelegate = delegate.lock()) {
      strongDelegate->handleDecompressionSessionError(
          decompressionError(status, kQNVDecompressionSourceCreateSession, nullptr));
    }
    return nullptr;
  }
  session->decompressionSessionQueue_ = platform::DispatchQueue::createSerial(kQNVDecompressionSessionQueueLabel);
  return session;
}

void QNVDecompressionSessionWithVideoToolbox::closeSession() {
  if (closed_.exchange(true) || !decompressionSession_) return;
  auto decoder = std::move(decompressionSession_);
  decompressionSessionQueue_->async([self = shared_from_this(), decoder] {
    decoder->waitForAsynchronousFrames();
    decoder->invalidate();
  });
}

void QNVDecompressionSessionWithVideoToolbox::finishDelayedFrames() {
  if (closed_.load() || !decompressionSession_) return;
  decompressionSessionQueue_->async([decoder = decompressionSession_] { decoder->waitForAsynchronousFrames(); });
}

void QNVDecompressionSessionWithVideoToolbox::enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer,
                                                                  uint64_t iFrame) {
  if (closed_.load()) {
    OV_LOG(kOVAdLogLevelDebug, kEnqueueAfterCloseFormat, description().c_str(), iFrame);
    return;
  }
  if (!firstFrameEnqueued_) {
    if (!QNVSampleBufferContainsIDR(sampleBuffer)) {
      OV_LOG(kOVAdLogLevelDebug, kFirstNotKeyFrameFormat, description().c_str(), iFrame,
             sampleText(sampleBuffer, kFirstFramePrefix).c_str());
    }
    firstFrameEnqueued_ = true;
  }
  std::weak_ptr<QNVDecompressionSessionWithVideoToolbox> weakSelf = weak_from_this();
  decompressionSessionQueue_->async([weakSelf, decoder = decompressionSession_, sampleBuffer, iFrame] {
    const int32_t status = decoder->decodeFrame(sampleBuffer, iFrame);
    if (status == platform::kDecompressionSessionOK) return;
    auto self = weakSelf.lock();
    if (!self) return;
    const std::string text = sampleText(sampleBuffer, kDecodeFailedPrefix);
    OV_LOG(kOVAdLogLevelDebug, kDecodeFailedFormat, self->description().c_str(), status, iFrame, text.c_str());
    if (auto delegate = self->delegate()) {
      delegate->handleDecompressionSessionError(decompressionError(status, kQNVDecompressionSourceDecodeFrame, &text));
    }
  });
}

void QNVDecompressionSessionWithVideoToolbox::decompressionOutput(int32_t status, uint64_t iFrame,
                                                                  std::shared_ptr<platform::PixelBuffer> image,
                                                                  platform::MediaTime presentationTime,
                                                                  platform::MediaTime presentationDuration) {
  auto delegate = this->delegate();
  if (status == platform::kDecompressionSessionOK) {
    if (delegate) delegate->yieldDecompressedBuffer(std::move(image), presentationTime, presentationDuration, iFrame);
    return;
  }
  char text[96];
  std::snprintf(text, sizeof text, kCallbackTextFormat, static_cast<uint64_t>(presentationTime.value),
                static_cast<uint64_t>(presentationDuration.value));
  const std::string errorText = text;
  OV_LOG(kOVAdLogLevelDebug, kCallbackFailedFormat, description().c_str(), status, text);
  if (delegate) {
    delegate->handleDecompressionSessionError(
        decompressionError(status, kQNVDecompressionSourceDataCallback, &errorText), iFrame);
  }
}

bool QNVDecompressionSessionWithVideoToolbox::canAcceptFormatDescription(
    const platform::VideoFormatDescription& formatDescription) const {
  return !closed_.load() && decompressionSession_ && decompressionSession_->canAcceptFormatDescription(formatDescription);
}

std::shared_ptr<QNVDecompressionSessionDelegate> QNVDecompressionSessionWithVideoToolbox::delegate() const {
  std::lock_guard lock(delegateMutex_);
  return delegate_.lock();
}

void QNVDecompressionSessionWithVideoToolbox::setDelegate(const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate) {
  std::lock_guard lock(delegateMutex_);
  delegate_ = delegate;
}

std::string QNVDecompressionSessionWithVideoToolbox::description() const {
  char text[96];
  std::snprintf(text, sizeof text, "<QNVDecompressionSessionWithVideoToolbox: %p>", static_cast<const void*>(this));
  return text;
}

}  // namespace plexora
