#include "platform/media/AssetReader.h"

#include <mutex>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace plexora::platform {

namespace {

Error readerError(int64_t code, const std::string& what, const std::string& path) {
  Dictionary details;
  details.set("operation", Value(what));
  details.set("path", Value(path));
  return Error(kAssetReaderErrorDomain, code, std::move(details));
}

}  // namespace

struct AssetReader::Impl {
  std::string path;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* scaler = nullptr;
  int streamIndex = -1;
  bool inputEnded = false;

  ~Impl() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
};

std::unique_ptr<AssetReader> AssetReader::create(const std::string& path, std::optional<Error>* error) {
  // Damaged files are reported through statuses; libav's own diagnostics
  // would only clutter the host's stderr.
  static std::once_flag quietLogs;
  std::call_once(quietLogs, [] { av_log_set_level(AV_LOG_QUIET); });
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  int status = avformat_open_input(&impl->format, path.c_str(), nullptr, nullptr);
  if (status >= 0) status = avformat_find_stream_info(impl->format, nullptr);
  if (status < 0) {
    if (error != nullptr) *error = readerError(status, "open", path);
    return nullptr;
  }
  return std::unique_ptr<AssetReader>(new AssetReader(std::move(impl)));
}

AssetReader::AssetReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

AssetReader::~AssetReader() = default;

size_t AssetReader::videoTrackCount() const {
  size_t count = 0;
  for (unsigned i = 0; i < impl_->format->nb_streams; ++i) {
    if (impl_->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++count;
  }
  return count;
}

void AssetReader::fail(int64_t code, const std::string& what) {
  status_ = AssetReaderStatus::kFailed;
  error_ = readerError(code, what, impl_->path);
}

bool AssetReader::startReading() {
  if (status_ != AssetReaderStatus::kUnknown) {
    fail(kAssetReaderErrorInvalidState, "startReading");
    return false;
  }
  for (unsigned i = 0; i < impl_->format->nb_streams && impl_->streamIndex < 0; ++i) {
    if (impl_->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) impl_->streamIndex = static_cast<int>(i);
  }
  if (impl_->streamIndex < 0) {
    fail(kAssetReaderErrorInvalidState, "startReading");
    return false;
  }
  const AVCodecParameters* parameters = impl_->format->streams[impl_->streamIndex]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (decoder == nullptr) {
    fail(kAssetReaderErrorUnsupportedCodec, "startReading");
    return false;
  }
  impl_->codec = avcodec_alloc_context3(decoder);
  impl_->packet = av_packet_alloc();
  impl_->frame = av_frame_alloc();
  if (impl_->codec == nullptr || impl_->packet == nullptr || impl_->frame == nullptr) {
    fail(AVERROR(ENOMEM), "startReading");
    return false;
  }
  int status = avcodec_parameters_to_context(impl_->codec, parameters);
  impl_->codec->thread_count = 1;
  // The picture the stream crops to, to the column: libavcodec otherwise
  // moves a crop at the left to an aligned column and leaves the columns
  // before it in the picture. The picture is converted anyway, so an
  // unaligned start costs nothing.
  impl_->codec->flags |= AV_CODEC_FLAG_UNALIGNED;
  if (status >= 0) status = avcodec_open2(impl_->codec, decoder, nullptr);
  if (status < 0) {
    fail(status, "startReading");
    return false;
  }
  status_ = AssetReaderStatus::kReading;
  return true;
}

bool AssetReader::decodeNextPicture() {
  for (;;) {
    av_frame_unref(impl_->frame);
    int status = avcodec_receive_frame(impl_->codec, impl_->frame);
    if (status == 0) return true;
    if (status == AVERROR_EOF) {
      status_ = AssetReaderStatus::kCompleted;
      return false;
    }
    if (status != AVERROR(EAGAIN)) {
      fail(status, "decode");
      return false;
    }
    if (impl_->inputEnded) {
      // A drained decoder that still asks for input has nothing more.
      status_ = AssetReaderStatus::kCompleted;
      return false;
    }
    status = av_read_frame(impl_->format, impl_->packet);
    if (status == AVERROR_EOF) {
      impl_->inputEnded = true;
      status = avcodec_send_packet(impl_->codec, nullptr);
    } else if (status >= 0) {
      if (impl_->packet->stream_index == impl_->streamIndex) {
        status = avcodec_send_packet(impl_->codec, impl_->packet);
      }
      av_packet_unref(impl_->packet);
    }
    if (status < 0) {
      fail(status, "read");
      return false;
    }
  }
}

std::optional<DecodedVideoSample> AssetReader::convertPicture() {
  const AVFrame& frame = *impl_->frame;
  auto image = PixelBuffer::createNV12(static_cast<size_t>(frame.width), static_cast<size_t>(frame.height));
  // Same size, so the point sampler only copies luma and interleaves chroma.
  impl_->scaler =
      sws_getCachedContext(impl_->scaler, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                           frame.width, frame.height, AV_PIX_FMT_NV12, SWS_POINT, nullptr, nullptr, nullptr);
  if (!image || impl_->scaler == nullptr) {
    fail(kAssetReaderErrorUnsupportedCodec, "convert");
    return std::nullopt;
  }
  image->lockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  uint8_t* planes[4] = {image->baseAddressOfPlane(0), image->baseAddressOfPlane(1), nullptr, nullptr};
  const int strides[4] = {static_cast<int>(image->bytesPerRowOfPlane(0)),
                          static_cast<int>(image->bytesPerRowOfPlane(1)), 0, 0};
  const int rows = sws_scale(impl_->scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
  image->unlockBaseAddress(PixelBuffer::LockFlags::kReadWrite);
  if (rows != frame.height) {
    fail(kAssetReaderErrorUnsupportedCodec, "convert");
    return std::nullopt;
  }
  image->setAttachment(kPixelBufferYCbCrMatrixKey, Value(frame.colorspace == AVCOL_SPC_BT709
                                                             ? kPixelBufferYCbCrMatrixITU_R_709_2
                                                             : kPixelBufferYCbCrMatrixITU_R_601_4));
  const AVRational timeBase = impl_->format->streams[impl_->streamIndex]->time_base;
  const int64_t timestamp = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  MediaTime presentationTime = MediaTime::invalid();
  if (timestamp != AV_NOPTS_VALUE && timeBase.num > 0 && timeBase.den > 0) {
    presentationTime = MediaTime::make(timestamp * timeBase.num, timeBase.den);
  }
  return DecodedVideoSample{std::move(image), presentationTime};
}

std::optional<DecodedVideoSample> AssetReader::copyNextSampleBuffer() {
  while (status_ == AssetReaderStatus::kReading && decodeNextPicture()) {
    std::optional<DecodedVideoSample> picture = convertPicture();
    if (!picture) return std::nullopt;
    if (timeRange_ && picture->presentationTimeStamp.isNumeric() &&
        (compare(picture->presentationTimeStamp, timeRange_->start) < 0 ||
         compare(picture->presentationTimeStamp, timeRange_->end()) >= 0)) {
      continue;
    }
    return picture;
  }
  return std::nullopt;
}

void AssetReader::cancelReading() {
  if (status_ == AssetReaderStatus::kUnknown || status_ == AssetReaderStatus::kReading) {
    status_ = AssetReaderStatus::kCancelled;
  }
}

}  // namespace plexora::platform
