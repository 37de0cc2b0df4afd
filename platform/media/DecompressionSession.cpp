#include "platform/media/DecompressionSession.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/pixfmt.h>
}

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/AvcConfigurationRecord.h"

namespace plexora::platform {

namespace {

constexpr const char* kOutputQueueLabel = "decompression_session_output";
constexpr const char* kSkippedPacketLine = "DecompressionSession: skipped a packet the decoder refused as invalid data";

std::atomic<bool> gAvailable{true};

// Pictures handed out are taken back once their last holder lets go, and
// the next picture of the same size is written into one of them: a new
// buffer per picture would have the kernel map and fault in megabytes for
// every frame. One pool serves every session of the process, so a second
// video ad of the same size (or the same ad played again) decodes into the
// pictures of the first. Pictures are never cleared: the decoder writes
// every byte of a picture before handing it out, and writes it in place
// (getPictureBuffer), so no picture is copied after decoding.
class PictureBufferPool {
 public:
  static const std::shared_ptr<PictureBufferPool>& shared() {
    static const auto pool = std::make_shared<PictureBufferPool>();
    return pool;
  }

  static std::shared_ptr<PixelBuffer> take(const std::shared_ptr<PictureBufferPool>& pool, size_t width,
                                           size_t height, size_t codedWidth, size_t codedHeight) {
    std::shared_ptr<PixelBuffer> storage = pool->takeIdle(width, height, codedWidth, codedHeight);
    if (storage) {
      storage->removeAllAttachments();
      // The decoder writes the coded picture from its first sample; the
      // crop is the output's to set again.
      storage->setVisibleRegion(0, 0, width, height);
    } else {
      storage = PixelBuffer::createI420ForWriting(width, height, codedWidth, codedHeight);
      if (!storage) return nullptr;
    }
    PixelBuffer* const picture = storage.get();
    return std::shared_ptr<PixelBuffer>(picture, [weakPool = std::weak_ptr(pool), storage](PixelBuffer*) mutable {
      if (auto owner = weakPool.lock()) owner->giveBack(std::move(storage));
    });
  }

 private:
  // Enough for a 720p player's ring and its decoder's pictures in flight;
  // beyond it the pictures of other sizes go first, then the one given back.
  static constexpr size_t kMaxIdleBytes = size_t{96} << 20;

  static bool sameShape(const PixelBuffer& a, const PixelBuffer& b) {
    return a.width() == b.width() && a.height() == b.height() && a.codedWidth() == b.codedWidth() &&
           a.codedHeight() == b.codedHeight();
  }

  std::shared_ptr<PixelBuffer> takeIdle(size_t width, size_t height, size_t codedWidth, size_t codedHeight) {
    std::lock_guard lock(mutex_);
    // The most recently given back first: its pages are the likeliest to be
    // resident.
    const auto found = std::find_if(idle_.rbegin(), idle_.rend(), [&](const std::shared_ptr<PixelBuffer>& buffer) {
      return buffer->width() == width && buffer->height() == height && buffer->codedWidth() == codedWidth &&
             buffer->codedHeight() == codedHeight;
    });
    if (found == idle_.rend()) return nullptr;
    std::shared_ptr<PixelBuffer> storage = std::move(*found);
    idle_.erase(std::next(found).base());
    idleBytes_ -= storage->byteCount();
    return storage;
  }

  void giveBack(std::shared_ptr<PixelBuffer> storage) {
    if (storage->isLocked()) return;
    std::lock_guard lock(mutex_);
    for (auto other = idle_.begin(); idleBytes_ + storage->byteCount() > kMaxIdleBytes && other != idle_.end();) {
      if (!sameShape(**other, *storage)) {
        idleBytes_ -= (*other)->byteCount();
        other = idle_.erase(other);
      } else {
        ++other;
      }
    }
    if (idleBytes_ + storage->byteCount() > kMaxIdleBytes) return;
    idleBytes_ += storage->byteCount();
    idle_.push_back(std::move(storage));
  }

  std::mutex mutex_;
  std::vector<std::shared_ptr<PixelBuffer>> idle_;  // oldest first
  size_t idleBytes_ = 0;
};

bool isPlanar420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

void releasePicture(void* holder, uint8_t*) { delete static_cast<std::shared_ptr<PixelBuffer>*>(holder); }

// libavcodec's allocator for a picture it is about to decode: a picture of
// the pool, held by the decoder (as output and reference) through the
// AVBufferRef, so the decoder writes the picture the renderer reads. Other
// layouts go to libavcodec's own buffers and are refused at output.
int getPictureBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
  if (!isPlanar420(frame->format)) return avcodec_default_get_buffer2(codec, frame, flags);
  const auto& pool = *static_cast<const std::shared_ptr<PictureBufferPool>*>(codec->opaque);
  // The frame asked for has the coded size; the stream's cropped size is
  // the codec's, which the picture reports.
  int codedWidth = frame->width;
  int codedHeight = frame->height;
  int strideAlignments[AV_NUM_DATA_POINTERS] = {};
  avcodec_align_dimensions2(codec, &codedWidth, &codedHeight, strideAlignments);
  for (const int alignment : strideAlignments) {
    if (alignment > static_cast<int>(PixelBuffer::kRowAlignment)) return AVERROR(EINVAL);
  }
  const int width = codec->width > 0 ? std::min(codec->width, frame->width) : frame->width;
  const int height = codec->height > 0 ? std::min(codec->height, frame->height) : frame->height;
  auto picture = PictureBufferPool::take(pool, static_cast<size_t>(width), static_cast<size_t>(height),
                                         static_cast<size_t>(codedWidth), static_cast<size_t>(codedHeight));
  if (!picture) return AVERROR(ENOMEM);
  picture->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  for (size_t plane = 0; plane < picture->planeCount(); ++plane) {
    frame->data[plane] = picture->baseAddressOfPlane(plane);
    frame->linesize[plane] = static_cast<int>(picture->bytesPerRowOfPlane(plane));
  }
  picture->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  frame->extended_data = frame->data;
  uint8_t* const base = frame->data[0];
  const size_t byteCount = picture->byteCount();
  auto* holder = new std::shared_ptr<PixelBuffer>(std::move(picture));
  frame->buf[0] = av_buffer_create(base, byteCount, releasePicture, holder, 0);
  if (frame->buf[0] == nullptr) {
    delete holder;
    return AVERROR(ENOMEM);
  }
  return 0;
}

// The picture's size once the stream's crop is taken off: the decoder
// leaves its frames whole and the crop to the session (see create).
int croppedWidth(const AVFrame& frame) {
  return frame.width - static_cast<int>(frame.crop_left) - static_cast<int>(frame.crop_right);
}
int croppedHeight(const AVFrame& frame) {
  return frame.height - static_cast<int>(frame.crop_top) - static_cast<int>(frame.crop_bottom);
}

// The decoded picture, kept from reuse until both the decoder (for which it
// may still be a reference) and every holder of the answer let go, showing
// the region the stream crops it to. Null where the frame is not the whole
// picture the pool gave the decoder, or its crop cannot be shown in place.
std::shared_ptr<PixelBuffer> pictureOf(const AVFrame& frame, bool fullRange) {
  PixelBuffer* const picture = static_cast<std::shared_ptr<PixelBuffer>*>(av_buffer_get_opaque(frame.buf[0]))->get();
  if (frame.data[0] != frame.buf[0]->data ||
      !picture->setVisibleRegion(frame.crop_left, frame.crop_top, static_cast<size_t>(croppedWidth(frame)),
                                 static_cast<size_t>(croppedHeight(frame)))) {
    return nullptr;
  }
  AVBufferRef* reference = av_buffer_ref(frame.buf[0]);
  if (reference == nullptr) return nullptr;
  picture->setAttachment(kPixelBufferYCbCrMatrixKey, Value(frame.colorspace == AVCOL_SPC_BT709
                                                               ? kPixelBufferYCbCrMatrixITU_R_709_2
                                                               : kPixelBufferYCbCrMatrixITU_R_601_4));
  picture->setAttachment(kPixelBufferYCbCrFullRangeKey, Value(fullRange));
  return std::shared_ptr<PixelBuffer>(picture, [reference](PixelBuffer*) mutable { av_buffer_unref(&reference); });
}

}  // namespace

struct DecompressionSession::Impl {
  // The sample a decoder token stands for: libavcodec carries the token
  // through its reordering in the packet and picture timestamps.
  struct Pending {
    uint64_t frameNumber;
    MediaTime presentationTime;
    MediaTime presentationDuration;
  };

  std::mutex mutex;  // the codec and everything below
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  std::map<int64_t, Pending> pending;
  int64_t nextToken = 0;
  int refusedInARow = 0;
  VideoFormatDescription format;
  VideoDimensions dimensions;

  // Shared with the blocks on the output queue, which may outlive the
  // session. The lock is held while the callback runs, so once invalidate()
  // has taken it no callback is running or will run; it is recursive so
  // that a callback may invalidate its own session.
  struct Output {
    std::recursive_mutex mutex;
    OutputCallback callback;
  };
  std::shared_ptr<Output> output = std::make_shared<Output>();
  // Reached by libavcodec through the codec's opaque pointer.
  std::shared_ptr<PictureBufferPool> pictures = PictureBufferPool::shared();
  DispatchQueuePtr outputQueue = DispatchQueue::createSerial(kOutputQueueLabel);

  explicit Impl(VideoFormatDescription description) : format(std::move(description)), dimensions(format.dimensions()) {}

  ~Impl() { releaseCodec(); }

  void releaseCodec() {
    avcodec_free_context(&codec);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }

  void post(int32_t status, const Pending& sample, std::shared_ptr<PixelBuffer> image) {
    outputQueue->async([output = output, status, sample, image = std::move(image)]() mutable {
      std::lock_guard lock(output->mutex);
      const OutputCallback callback = output->callback;
      if (callback) callback(status, sample.frameNumber, std::move(image), sample.presentationTime,
                             sample.presentationDuration);
    });
  }

  int32_t statusOfFrame() const {
    if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
      return kDecompressionSessionCorruptFrame;
    }
    if (croppedWidth(*frame) != dimensions.width || croppedHeight(*frame) != dimensions.height) {
      return kDecompressionSessionResolutionChanged;
    }
    if (!isPlanar420(frame->format)) {
      return kDecompressionSessionUnsupportedPixelFormat;
    }
    return kDecompressionSessionOK;
  }

  // Hands every picture the decoder has ready to the output queue.
  void receivePictures() {
    while (avcodec_receive_frame(codec, frame) == 0) {
      const auto found = pending.find(frame->pts);
      if (found != pending.end()) {
        const Pending sample = found->second;
        pending.erase(found);
        int32_t status = statusOfFrame();
        std::shared_ptr<PixelBuffer> image;
        if (status == kDecompressionSessionOK) {
          image = pictureOf(*frame, format.sequenceParameterSet().fullRange);
          if (!image) status = kDecompressionSessionUnsupportedPixelFormat;
        }
        post(status, sample, std::move(image));
      }
      av_frame_unref(frame);
    }
  }
};

bool DecompressionSession::isAvailable() { return gAvailable.load(); }

void DecompressionSession::setAvailable(bool available) { gAvailable.store(available); }

int32_t DecompressionSession::create(const VideoFormatDescription& format, OutputCallback output,
                                     std::shared_ptr<DecompressionSession>& out) {
  std::vector<uint8_t> record;
  if (format.codecType() != kVideoCodecH264 || !makeAvcConfigurationRecord(format, record)) {
    return kDecompressionSessionInvalidFormat;
  }
  // Damaged streams are the host's business, reported through statuses;
  // libavcodec's own diagnostics would only clutter the host's stderr.
  static std::once_flag quietLogs;
  std::call_once(quietLogs, [] { av_log_set_level(AV_LOG_QUIET); });
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (decoder == nullptr) return kDecompressionSessionCannotCreate;
  auto impl = std::make_unique<Impl>(format);
  impl->codec = avcodec_alloc_context3(decoder);
  impl->packet = av_packet_alloc();
  impl->frame = av_frame_alloc();
  if (impl->codec == nullptr || impl->packet == nullptr || impl->frame == nullptr) {
    return kDecompressionSessionCannotCreate;
  }
  impl->codec->extradata = static_cast<uint8_t*>(av_mallocz(record.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (impl->codec->extradata == nullptr) return kDecompressionSessionCannotCreate;
  std::memcpy(impl->codec->extradata, record.data(), record.size());
  impl->codec->extradata_size = static_cast<int>(record.size());
  // One decoding thread: the session is already off the caller's thread, and
  // frame threads would hold pictures back longer.
  impl->codec->thread_count = 1;
  impl->codec->opaque = &impl->pictures;
  impl->codec->get_buffer2 = getPictureBuffer;
  // The crop is shown by offsetting the planes of the whole decoded picture
  // (pictureOf). libavcodec's own cropping would move the planes' starts
  // only to aligned columns, leaving a crop at the left partly shown.
  impl->codec->apply_cropping = 0;
  if (avcodec_open2(impl->codec, decoder, nullptr) < 0) {
    return kDecompressionSessionInvalidFormat;
  }
  impl->output->callback = std::move(output);
  out.reset(new DecompressionSession(std::move(impl)));
  return kDecompressionSessionOK;
}

DecompressionSession::DecompressionSession(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DecompressionSession::~DecompressionSession() { invalidate(); }

int32_t DecompressionSession::decodeFrame(const SampleBuffer& sample, uint64_t frameNumber) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->codec == nullptr) return kDecompressionSessionInvalidated;
  const BlockBuffer& data = sample.dataBuffer();
  const size_t size = data.dataLength();
  if (size == 0 || size > static_cast<size_t>(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
    return kDecompressionSessionBadData;
  }
  AVPacket* packet = impl_->packet;
  if (av_new_packet(packet, static_cast<int>(size)) < 0) return kDecompressionSessionBadData;
  data.copyDataBytes(0, size, packet->data);
  const int64_t token = impl_->nextToken++;
  packet->pts = token;
  packet->dts = AV_NOPTS_VALUE;
  const SampleTimingInfo timing = sample.timingInfo(0);
  impl_->pending[token] = {frameNumber, timing.presentationTimeStamp, timing.duration};
  int result = avcodec_send_packet(impl_->codec, packet);
  if (result == AVERROR(EAGAIN)) {
    impl_->receivePictures();
    result = avcodec_send_packet(impl_->codec, packet);
  }
  av_packet_unref(packet);
  impl_->refusedInARow = result == AVERROR_INVALIDDATA ? impl_->refusedInARow + 1 : 0;
  if (result == AVERROR_INVALIDDATA && impl_->refusedInARow <= kDecompressionSessionMaxRefusedInARow) {
    // One damaged packet leaves the decoder able to go on: its picture is
    // left out, as ffmpeg and the system decoder do, and its number still
    // gets an (empty) answer so the caller's count stays whole.
    logLine(kSkippedPacketLine);
    const Impl::Pending skipped = impl_->pending[token];
    impl_->pending.erase(token);
    impl_->post(kDecompressionSessionOK, skipped, nullptr);
    impl_->receivePictures();
    return kDecompressionSessionOK;
  }
  if (result < 0) {
    impl_->pending.erase(token);
    return kDecompressionSessionBadData;
  }
  impl_->receivePictures();
  return kDecompressionSessionOK;
}

void DecompressionSession::waitForAsynchronousFrames() {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->codec == nullptr) return;
    avcodec_send_packet(impl_->codec, nullptr);
    impl_->receivePictures();
    // Samples the decoder swallowed without a picture come out empty, so
    // every number given in gets an answer.
    for (const auto& [token, sample] : impl_->pending) impl_->post(kDecompressionSessionOK, sample, nullptr);
    impl_->pending.clear();
    avcodec_flush_buffers(impl_->codec);
  }
  impl_->outputQueue->sync([] {});
}

void DecompressionSession::invalidate() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->releaseCodec();
    impl_->pending.clear();
  }
  std::lock_guard lock(impl_->output->mutex);
  impl_->output->callback = nullptr;
}

bool DecompressionSession::canAcceptFormatDescription(const VideoFormatDescription& format) const {
  return format.codecType() == impl_->format.codecType() &&
         format.nalUnitHeaderLength() == impl_->format.nalUnitHeaderLength() &&
         format.parameterSets() == impl_->format.parameterSets();
}

}  // namespace plexora::platform
