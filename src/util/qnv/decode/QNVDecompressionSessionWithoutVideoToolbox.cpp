#include "util/qnv/decode/QNVDecompressionSessionWithoutVideoToolbox.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/foundation/Paths.h"
#include "platform/foundation/UUID.h"
#include "platform/media/AssetWriter.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/core/QNVRealTimer.h"

namespace plexora {

namespace {

constexpr const char* kSessionUUIDFormat = "QNVDecompressionSession-%s";
constexpr const char* kTemporaryFileFormat = "%s-%s.mp4";
constexpr const char* kEnqueueFormat = "enqueueSampleBuffer\t%10" PRIu64 "\t%10d\t%10zu\t%10zu\t%10f";
constexpr const char* kPollFormat = "poll: %s";
constexpr const char* kPollInProgress = "poll(END) - _pollingInProgress set!";
constexpr const char* kPollStallReset = "_pollingStallCount max - going to reset >>>>>>>>>>>>>>>>>>>>>";
constexpr const char* kPollNoNewFrames = "poll(END) - no new frames";
constexpr const char* kPollNotEnoughNewFrames = "poll(END) - not enough new frames";
constexpr const char* kPollEndFormat = "poll(END): %s";
constexpr const char* kFlushFormat = "_flushSampleBuffersUsingQueue:toIndex:%zu toIndexIsKeyFrame:%d pollID:%" PRIu64;
constexpr const char* kFlushEnd = "_flushSampleBuffersUsingQueue(END)";
constexpr const char* kLoadCompletionFormat =
    "handleAssetLoadCompletion:toIndex:%zu toIndexIsKeyFrame:%d pollID:%" PRIu64;
constexpr const char* kLoadCompletionEndFormat =
    "handleAssetLoadCompletion(END):toIndex:%zu toIndexIsKeyFrame:%d pollID:%" PRIu64;
constexpr const char* kCountsFormat = "\t_frameDequeuedCount %" PRIu64 " _frameFlushedCount %" PRIu64;
constexpr const char* kNoVideoTrack = "handleAssetLoadCompletion(END) - no video track";
constexpr const char* kReaderStatusFormat = "\treader.status %ld, sampleBuffers.size() %lu";
constexpr const char* kCatchUpFormat = "\tcatch-up: from %" PRIu64 " to %zu";
constexpr const char* kRunFailedFormat = "%s run %" PRIu64 " failed: %s";

constexpr uint64_t kStallResetPolls = 10;
constexpr size_t kMinimumNewFrames = 10;
constexpr uint64_t kTemporaryFilesRemovedPerRun = 5;
constexpr int64_t kInitialIFrameUnset = std::numeric_limits<int64_t>::min();

// A sample that must last for the writer to place the next after it.
platform::SampleBuffer withPositiveDuration(const platform::SampleBuffer& sample) {
  const platform::MediaTime duration = sample.duration();
  if (duration.isNumeric() && duration.seconds() > 0) return sample;
  platform::SampleTimingInfo timing = sample.timingInfo(0);
  timing.duration = platform::MediaTime::make(1, 30);
  std::optional<platform::SampleBuffer> copy = sample.copyWithNewTiming({timing});
  return copy ? *copy : sample;
}

platform::Error runError(const platform::Error& cause, const char* source) {
  platform::Dictionary details;
  details.set(kQNVDecompressionErrorSourceKey, platform::Value(source));
  details.set(kQNVDecompressionErrorTextKey, platform::Value(cause.localizedDescription()));
  return platform::Error(kQNVGLDecompressionErrorDomain, cause.code(), std::move(details));
}

void removeFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

}  // namespace

std::shared_ptr<QNVDecompressionSessionWithoutVideoToolbox>
QNVDecompressionSessionWithoutVideoToolbox::initWithDelegate(
    const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate,
    const platform::VideoFormatDescription& sampleBufferFormatDescription, platform::Size /*videoSize*/, bool async,
    std::shared_ptr<QNVTimerManager> timerManager) {
  std::shared_ptr<QNVDecompressionSessionWithoutVideoToolbox> session(new QNVDecompressionSessionWithoutVideoToolbox());
  const platform::VideoDimensions size = sampleBufferFormatDescription.presentationDimensions(true, true);
  session->inputSize_ = {static_cast<double>(size.width), static_cast<double>(size.height)};
  session->delegate_ = delegate;
  session->async_ = async;
  char uuid[96];
  std::snprintf(uuid, sizeof uuid, kSessionUUIDFormat, platform::makeUUIDString().c_str());
  session->decompressionSessionUUID_ = uuid;
  session->decompressionQueue_ = platform::DispatchQueue::createSerial(kQNVDecompressionSessionQueueLabel);
  session->flushQueue_ = platform::DispatchQueue::createSerial(kQNVDecompressionFlushQueueLabel);
  session->timerManager_ = timerManager ? std::move(timerManager) : std::make_shared<QNVRealTimerManager>();
  std::weak_ptr<QNVDecompressionSessionWithoutVideoToolbox> weakSession = session;
  session->pollTimer_ = session->timerManager_->createTimerWithInterval(
      kQNVDecompressionPollIntervalNanoseconds, false, session->decompressionQueue_, [weakSession] {
        if (auto self = weakSession.lock()) self->_poll();
      });
  session->pollTimer_->resume();
  return session;
}

QNVDecompressionSessionWithoutVideoToolbox::~QNVDecompressionSessionWithoutVideoToolbox() = default;

void QNVDecompressionSessionWithoutVideoToolbox::closeSession() {
  if (pollTimer_) {
    pollTimer_->pause();
    pollTimer_.reset();
  }
  _removeTemporaryFilesWithLimit(std::numeric_limits<uint64_t>::max());
}

void QNVDecompressionSessionWithoutVideoToolbox::_removeTemporaryFilesWithLimit(uint64_t limit) {
  const std::filesystem::path directory = platform::temporaryDirectory();
  std::error_code error;
  std::vector<std::filesystem::path> matches;
  for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
       entry.increment(error)) {
    if (entry->path().filename().string().rfind(decompressionSessionUUID_, 0) == 0) matches.push_back(entry->path());
  }
  uint64_t removed = 0;
  for (const auto& path : matches) {
    if (removed >= limit) break;
    removeFile(path.string());
    ++removed;
  }
}

std::string QNVDecompressionSessionWithoutVideoToolbox::description() const {
  char text[512];
  std::snprintf(text, sizeof text,
                "<QNVDecompressionSessionWithoutVideoToolbox: %p, {_pollingInProgress = %d; _pollingStallCount = "
                "%" PRIu64 "; _frameEnqueuedCount = %" PRIu64 "; \"_sampleBuffers.size()\" = %" PRIu64
                "; _prevFrameEnqueuedIndex = %" PRIu64 "; _frameFlushedCount = %" PRIu64
                "; _frameDequeuedCount = %" PRIu64 "}>",
                static_cast<const void*>(this), pollingInProgress_.load() ? 1 : 0, pollingStallCount_.load(),
                frameEnqueuedCount_.load(), sampleBufferCount_.load(), prevFrameEnqueuedIndex_.load(),
                frameFlushedCount_.load(), frameDequeuedCount_.load());
  return text;
}

void QNVDecompressionSessionWithoutVideoToolbox::enqueueSampleBuffer(const platform::SampleBuffer& sampleBuffer,
                                                                     uint64_t iFrame) {
  int64_t unset = kInitialIFrameUnset;
  initialIFrame_.compare_exchange_strong(unset, static_cast<int64_t>(iFrame));
  QNVDispatchAsyncIfNeeded(
      async_, decompressionQueue_,
      [weakSelf = weak_from_this(), sample = withPositiveDuration(sampleBuffer)] {
        auto self = weakSelf.lock();
        if (!self) return;
        OV_LOG(kOVAdLogLevelVerbose, kEnqueueFormat, self->frameEnqueuedCount_.load(),
               QNVSampleBufferContainsIDR(sample) ? 1 : 0, self->sampleBuffers_.size(),
               sample.dataBuffer().dataLength(), sample.presentationTimeStamp().seconds());
        ++self->frameEnqueuedCount_;
        self->sampleBuffers_.push_back(sample);
        self->sampleBufferCount_ = self->sampleBuffers_.size();
      });
}

platform::DispatchQueuePtr QNVDecompressionSessionWithoutVideoToolbox::flushQueue() const {
  std::lock_guard lock(flushQueueMutex_);
  return flushQueue_;
}

void QNVDecompressionSessionWithoutVideoToolbox::_poll() {
  OV_LOG(kOVAdLogLevelVerbose, kPollFormat, description().c_str());
  if (pollingInProgress_) {
    if (++pollingStallCount_ < kStallResetPolls) {
      OV_LOG(kOVAdLogLevelVerbose, kPollInProgress);
      return;
    }
    OV_LOG(kOVAdLogLevelDebug, kPollStallReset);
    {
      // The stuck run goes on, unheard, on the queue it has.
      std::lock_guard lock(flushQueueMutex_);
      flushQueue_ = platform::DispatchQueue::createSerial(kQNVDecompressionFlushQueueLabel);
    }
    pollingInProgress_ = false;
  }
  pollingStallCount_ = 0;
  const size_t count = sampleBuffers_.size();
  const size_t start = prevFrameEnqueuedIndex_;
  if (count <= start) {
    OV_LOG(kOVAdLogLevelVerbose, kPollNoNewFrames);
    return;
  }
  if (count < start + kMinimumNewFrames && pollingNotEnoughNewFramesCount_ == 0) {
    pollingNotEnoughNewFramesCount_ = 1;
    OV_LOG(kOVAdLogLevelDebug, kPollNotEnoughNewFrames);
    return;
  }
  pollingInProgress_ = true;
  pollingNotEnoughNewFramesCount_ = 0;
  auto run = std::make_shared<Run>();
  run->pollID = ++pollID_;
  run->toIndex = count;
  for (size_t i = start; i < count; ++i) {
    if (QNVSampleBufferContainsIDR(sampleBuffers_[i])) {
      run->toIndex = i + 1;
      run->toIndexIsKeyFrame = true;
      break;
    }
  }
  // The run's own copy: appends go on while it is written.
  run->samples.assign(sampleBuffers_.begin(), sampleBuffers_.begin() + static_cast<std::ptrdiff_t>(run->toIndex));
  QNVDispatchAsyncIfNeeded(async_, flushQueue(), [weakSelf = weak_from_this(), run] {
    if (auto self = weakSelf.lock()) self->_flushSampleBuffers(run);
  });
}

void QNVDecompressionSessionWithoutVideoToolbox::_flushSampleBuffers(const std::shared_ptr<Run>& run) {
  OV_LOG(kOVAdLogLevelVerbose, kFlushFormat, run->toIndex, run->toIndexIsKeyFrame ? 1 : 0, run->pollID);
  if (run->samples.empty()) return;
  char name[256];
  std::snprintf(name, sizeof name, kTemporaryFileFormat, decompressionSessionUUID_.c_str(),
                platform::makeUUIDString().c_str());
  const std::string path = (std::filesystem::path(platform::temporaryDirectory()) / name).string();
  const std::shared_ptr<const platform::VideoFormatDescription>& format = run->samples.front().format().video;
  if (!format) {
    _failRun(platform::Error(platform::kAssetWriterErrorDomain, platform::kAssetWriterErrorInvalidFormat),
             kQNVDecompressionSourceWriteFile, run, {});
    return;
  }
  auto writer = platform::AssetWriter::create(path);
  auto input = platform::AssetWriterInput::create(*format);
  writer->addInput(input);
  if (!writer->startWriting()) {
    removeFile(path);
    _failRun(*writer->error(), kQNVDecompressionSourceWriteFile, run, {});
    return;
  }
  writer->startSessionAtSourceTime(platform::MediaTime::zero());
  auto appended = std::make_shared<size_t>(0);
  input->requestMediaDataWhenReadyOnQueue(flushQueue(), [weakSelf = weak_from_this(), writer, input, appended, run,
                                                         path] {
    auto self = weakSelf.lock();
    if (!self) {
      input->markAsFinished();
      writer->finishWriting({});
      removeFile(path);
      return;
    }
    while (input->isReadyForMoreMediaData() && *appended < run->toIndex) {
      if (!input->appendSampleBuffer(run->samples[*appended])) break;
      ++*appended;
    }
    if (*appended < run->toIndex && writer->status() == platform::AssetWriterStatus::kWriting) return;
    input->markAsFinished();
    if (writer->status() == platform::AssetWriterStatus::kWriting) writer->finishWriting({});
    if (writer->status() != platform::AssetWriterStatus::kCompleted) {
      removeFile(path);
      self->_failRun(*writer->error(), kQNVDecompressionSourceWriteFile, run, {});
      return;
    }
    self->_loadSampleBuffersBackFromFile(path, run);
  });
  OV_LOG(kOVAdLogLevelVerbose, kFlushEnd);
}

void QNVDecompressionSessionWithoutVideoToolbox::_loadSampleBuffersBackFromFile(const std::string& path,
                                                                                const std::shared_ptr<Run>& run) {
  std::optional<platform::Error> openError;
  std::unique_ptr<platform::AssetReader> reader = platform::AssetReader::create(path, &openError);
  std::vector<platform::DecodedVideoSample> decoded;
  if (!reader) {
    removeFile(path);
    _failRun(*openError, kQNVDecompressionSourceReadFile, run, {});
    return;
  }
  if (reader->videoTrackCount() == 0) {
    OV_LOG(kOVAdLogLevelError, kNoVideoTrack);
  } else if (reader->startReading()) {
    while (std::optional<platform::DecodedVideoSample> sample = reader->copyNextSampleBuffer()) {
      decoded.push_back(std::move(*sample));
    }
    OV_LOG(kOVAdLogLevelVerbose, kReaderStatusFormat, static_cast<long>(reader->status()),
           static_cast<unsigned long>(decoded.size()));
  }
  const std::optional<platform::Error> readError = reader->error();
  reader.reset();
  removeFile(path);
  if (readError) {
    _failRun(*readError, kQNVDecompressionSourceReadFile, run, std::move(decoded));
    return;
  }
  _handleAssetLoadCompletion(std::move(decoded), *run);
}

void QNVDecompressionSessionWithoutVideoToolbox::_failRun(const platform::Error& cause, const char* source,
                                                          const std::shared_ptr<Run>& run,
                                                          std::vector<platform::DecodedVideoSample> decoded) {
  const platform::Error error = runError(cause, source);
  OV_LOG(kOVAdLogLevelDebug, kRunFailedFormat, description().c_str(), run->pollID,
         cause.localizedDescription().c_str());
  if (auto strongDelegate = delegate()) strongDelegate->handleDecompressionSessionError(error);
  _handleAssetLoadCompletion(std::move(decoded), *run);
}

void QNVDecompressionSessionWithoutVideoToolbox::_handleAssetLoadCompletion(
    std::vector<platform::DecodedVideoSample> decoded, const Run& run) {
  OV_LOG(kOVAdLogLevelVerbose, kLoadCompletionFormat, run.toIndex, run.toIndexIsKeyFrame ? 1 : 0, run.pollID);
  OV_LOG(kOVAdLogLevelVerbose, kCountsFormat, frameDequeuedCount_.load(), frameFlushedCount_.load());
  const auto strongDelegate = delegate();
  {
    std::lock_guard lock(yieldMutex_);
    const size_t limit = run.toIndexIsKeyFrame ? run.toIndex - 1 : run.toIndex;
    // The picture of the sample at position 0 was yielded by the run before,
    // except for the session's very first sample.
    if (!headFrameYielded_ && !decoded.empty()) {
      _yieldDecompressedSampleBuffer(decoded.front(), strongDelegate);
      headFrameYielded_ = true;
    }
    const uint64_t alreadyFlushed = frameFlushedCount_;
    for (size_t i = 1; i < decoded.size() && frameFlushedCount_ < limit; ++i) {
      if (i - 1 < alreadyFlushed) continue;
      _yieldDecompressedSampleBuffer(decoded[i], strongDelegate);
      ++frameFlushedCount_;
    }
    if (run.toIndexIsKeyFrame) {
      const std::optional<platform::DecodedVideoSample> padding =
          decoded.empty() ? mostRecentSampleFrame_ : std::optional(decoded.back());
      if (!headFrameYielded_ || frameFlushedCount_ < limit) {
        OV_LOG(kOVAdLogLevelDebug, kCatchUpFormat, frameDequeuedCount_.load(), limit);
      }
      // Without any picture to repeat the numbers still move on, so later
      // pictures keep the numbers of their samples.
      auto yieldPadding = [&] {
        if (padding) {
          _yieldDecompressedSampleBuffer(*padding, strongDelegate);
        } else {
          ++frameDequeuedCount_;
        }
      };
      if (!headFrameYielded_) {
        yieldPadding();
        headFrameYielded_ = true;
      }
      for (; frameFlushedCount_ < limit; ++frameFlushedCount_) yieldPadding();
      frameFlushedCount_ = 0;
    }
    if (!decoded.empty()) mostRecentSampleFrame_ = decoded.back();
  }
  QNVDispatchAsyncIfNeeded(async_, decompressionQueue_,
                           [weakSelf = weak_from_this(), toIndex = run.toIndex, key = run.toIndexIsKeyFrame,
                            pollID = run.pollID] {
                             if (auto self = weakSelf.lock()) self->_pollCompletedToIndex(toIndex, key, pollID);
                           });
  OV_LOG(kOVAdLogLevelVerbose, kLoadCompletionEndFormat, run.toIndex, run.toIndexIsKeyFrame ? 1 : 0, run.pollID);
  OV_LOG(kOVAdLogLevelVerbose, kCountsFormat, frameDequeuedCount_.load(), frameFlushedCount_.load());
}

void QNVDecompressionSessionWithoutVideoToolbox::_yieldDecompressedSampleBuffer(
    const platform::DecodedVideoSample& sample, const std::shared_ptr<QNVDecompressionSessionDelegate>& delegate) {
  const auto iFrame = static_cast<uint64_t>(initialIFrame_.load()) + frameDequeuedCount_++;
  if (delegate) {
    delegate->yieldDecompressedBuffer(sample.imageBuffer, sample.presentationTimeStamp, platform::MediaTime::zero(),
                                      iFrame);
  }
}

void QNVDecompressionSessionWithoutVideoToolbox::_pollCompletedToIndex(size_t toIndex, bool toIndexIsKeyFrame,
                                                                       uint64_t pollID) {
  if (pollID != pollID_) return;
  if (toIndexIsKeyFrame) {
    sampleBuffers_.erase(sampleBuffers_.begin(), sampleBuffers_.begin() + static_cast<std::ptrdiff_t>(toIndex - 1));
    sampleBufferCount_ = sampleBuffers_.size();
    prevFrameEnqueuedIndex_ = 1;
  } else {
    prevFrameEnqueuedIndex_ = toIndex;
  }
  _removeTemporaryFilesWithLimit(kTemporaryFilesRemovedPerRun);
  pollingInProgress_ = false;
  OV_LOG(kOVAdLogLevelVerbose, kPollEndFormat, description().c_str());
}

std::shared_ptr<QNVDecompressionSessionDelegate> QNVDecompressionSessionWithoutVideoToolbox::delegate() const {
  std::lock_guard lock(delegateMutex_);
  return delegate_.lock();
}

void QNVDecompressionSessionWithoutVideoToolbox::setDelegate(
    const std::weak_ptr<QNVDecompressionSessionDelegate>& delegate) {
  std::lock_guard lock(delegateMutex_);
  delegate_ = delegate;
}

}  // namespace plexora
