#include "platform/media/AssetWriter.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "platform/media/AvcConfigurationRecord.h"

namespace plexora::platform {

namespace {

constexpr const char* kMp4FormatName = "mp4";
constexpr uint8_t kIdrNalUnitType = 5;
// The timescale of a track that got no sample.
constexpr int kDefaultTimescale = 90000;

// Whether length-prefixed H.264 data holds an IDR slice.
bool holdsIdrPicture(const uint8_t* data, size_t size, int32_t lengthSize) {
  size_t offset = 0;
  const auto lengthBytes = static_cast<size_t>(lengthSize);
  while (size - offset > lengthBytes) {
    uint64_t length = 0;
    for (size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | data[offset + i];
    offset += lengthBytes;
    if (length == 0 || length > size - offset) return false;
    if ((data[offset] & 0x1f) == kIdrNalUnitType) return true;
    offset += static_cast<size_t>(length);
  }
  return false;
}

int64_t rescaled(const MediaTime& time, AVRational timeBase) {
  return av_rescale_q_rnd(time.value, AVRational{1, time.timescale}, timeBase,
                          static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

}  // namespace

struct AssetWriter::Impl {
  AVFormatContext* context = nullptr;
  AVStream* stream = nullptr;
  // The appended samples, in the first sample's timescale, until the file
  // is finished.
  std::vector<AVPacket*> packets;
  int32_t timescale = 0;

  ~Impl() {
    if (context != nullptr && context->pb != nullptr) avio_closep(&context->pb);
    avformat_free_context(context);
    for (AVPacket* packet : packets) av_packet_free(&packet);
  }
};

std::shared_ptr<AssetWriterInput> AssetWriterInput::create(VideoFormatDescription sourceFormatHint) {
  return std::shared_ptr<AssetWriterInput>(new AssetWriterInput(std::move(sourceFormatHint)));
}

bool AssetWriterInput::isReadyForMoreMediaData() const {
  const auto writer = writer_.lock();
  return !finished_ && writer && writer->status() == AssetWriterStatus::kWriting;
}

bool AssetWriterInput::appendSampleBuffer(const SampleBuffer& sample) {
  const auto writer = writer_.lock();
  if (!writer) return false;
  if (finished_) {
    writer->fail(kAssetWriterErrorInvalidState, "append after markAsFinished");
    return false;
  }
  return writer->append(sample);
}

void AssetWriterInput::requestMediaDataWhenReadyOnQueue(DispatchQueuePtr queue, std::function<void()> block) {
  auto shared = std::make_shared<std::function<void()>>(std::move(block));
  queue->async([self = shared_from_this(), queue, shared] { self->runRequest(queue, shared); });
}

void AssetWriterInput::runRequest(const DispatchQueuePtr& queue, const std::shared_ptr<std::function<void()>>& block) {
  if (!isReadyForMoreMediaData()) return;
  (*block)();
  // Asked again from the queue rather than in a loop here, so that other
  // work on the queue is not held up behind a block that appends a little
  // at a time.
  if (isReadyForMoreMediaData()) {
    queue->async([self = shared_from_this(), queue, block] { self->runRequest(queue, block); });
  }
}

std::shared_ptr<AssetWriter> AssetWriter::create(std::string path) {
  return std::shared_ptr<AssetWriter>(new AssetWriter(std::move(path)));
}

AssetWriter::AssetWriter(std::string path) : path_(std::move(path)), impl_(std::make_unique<Impl>()) {}

AssetWriter::~AssetWriter() = default;

bool AssetWriter::canAddInput(const std::shared_ptr<AssetWriterInput>& input) const {
  return input && !input_ && status_ == AssetWriterStatus::kUnknown;
}

void AssetWriter::addInput(std::shared_ptr<AssetWriterInput> input) {
  if (!canAddInput(input)) {
    fail(kAssetWriterErrorInvalidState, "addInput");
    return;
  }
  input->writer_ = weak_from_this();
  input_ = std::move(input);
}

void AssetWriter::fail(int64_t code, const std::string& what) {
  if (status_ == AssetWriterStatus::kFailed) return;
  status_ = AssetWriterStatus::kFailed;
  Dictionary details;
  details.set("operation", Value(what));
  details.set("path", Value(path_));
  error_ = Error(kAssetWriterErrorDomain, code, std::move(details));
}

bool AssetWriter::startWriting() {
  if (status_ != AssetWriterStatus::kUnknown || !input_) {
    fail(kAssetWriterErrorInvalidState, "startWriting");
    return false;
  }
  std::vector<uint8_t> record;
  const VideoFormatDescription& format = input_->sourceFormatHint();
  if (format.codecType() != kVideoCodecH264 || !makeAvcConfigurationRecord(format, record)) {
    fail(kAssetWriterErrorInvalidFormat, "startWriting");
    return false;
  }
  int status = avformat_alloc_output_context2(&impl_->context, nullptr, kMp4FormatName, path_.c_str());
  if (status < 0) {
    fail(status, "startWriting");
    return false;
  }
  impl_->stream = avformat_new_stream(impl_->context, nullptr);
  if (impl_->stream == nullptr) {
    fail(AVERROR(ENOMEM), "startWriting");
    return false;
  }
  AVCodecParameters* parameters = impl_->stream->codecpar;
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_H264;
  const VideoDimensions size = format.dimensions();
  parameters->width = size.width;
  parameters->height = size.height;
  parameters->extradata = static_cast<uint8_t*>(av_mallocz(record.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (parameters->extradata == nullptr) {
    fail(AVERROR(ENOMEM), "startWriting");
    return false;
  }
  std::memcpy(parameters->extradata, record.data(), record.size());
  parameters->extradata_size = static_cast<int>(record.size());
  status = avio_open(&impl_->context->pb, path_.c_str(), AVIO_FLAG_WRITE);
  if (status < 0) {
    fail(status, "startWriting");
    return false;
  }
  status_ = AssetWriterStatus::kWriting;
  return true;
}

bool AssetWriter::append(const SampleBuffer& sample) {
  if (status_ != AssetWriterStatus::kWriting) {
    fail(kAssetWriterErrorInvalidState, "appendSampleBuffer");
    return false;
  }
  const SampleTimingInfo timing = sample.timingInfo(0);
  const size_t size = sample.dataBuffer().dataLength();
  if (sample.numSamples() != 1 || size == 0 || size > INT32_MAX || !timing.presentationTimeStamp.isNumeric() ||
      compare(timing.presentationTimeStamp, sessionStart_) < 0) {
    fail(kAssetWriterErrorInvalidSample, "appendSampleBuffer");
    return false;
  }
  if (impl_->timescale == 0) impl_->timescale = timing.presentationTimeStamp.timescale;
  const AVRational timeBase{1, impl_->timescale};
  AVPacket* packet = av_packet_alloc();
  const int status = packet == nullptr ? AVERROR(ENOMEM) : av_new_packet(packet, static_cast<int>(size));
  if (status < 0) {
    av_packet_free(&packet);
    fail(status, "appendSampleBuffer");
    return false;
  }
  sample.dataBuffer().copyDataBytes(0, size, packet->data);
  packet->pts = rescaled(timing.presentationTimeStamp, timeBase);
  packet->dts = timing.decodeTimeStamp.isNumeric() ? rescaled(timing.decodeTimeStamp, timeBase) : packet->pts;
  packet->duration = timing.duration.isNumeric() ? rescaled(timing.duration, timeBase) : 0;
  if (!impl_->packets.empty() && packet->dts <= impl_->packets.back()->dts) {
    av_packet_free(&packet);
    fail(kAssetWriterErrorInvalidSample, "appendSampleBuffer");
    return false;
  }
  if (holdsIdrPicture(packet->data, size, input_->sourceFormatHint().nalUnitHeaderLength())) {
    packet->flags |= AV_PKT_FLAG_KEY;
  }
  impl_->packets.push_back(packet);
  return true;
}

bool AssetWriter::writePackets() {
  AVStream* stream = impl_->stream;
  stream->time_base = AVRational{1, impl_->timescale > 0 ? impl_->timescale : kDefaultTimescale};
  const AVRational sampleTimeBase = stream->time_base;
  int status = avformat_write_header(impl_->context, nullptr);
  if (status < 0) {
    fail(status, "finishWriting");
    return false;
  }
  // A file stores no picture before its decode time, but samples cut from a
  // stream may carry decode times that do (reordered pictures after an edit
  // list shifted only their presentation): decode times move back by the
  // largest such lead, which keeps their order and every presentation time.
  int64_t lead = 0;
  for (const AVPacket* packet : impl_->packets) lead = std::max(lead, packet->dts - packet->pts);
  for (AVPacket* packet : impl_->packets) {
    packet->dts -= lead;
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, sampleTimeBase, stream->time_base);
    status = av_write_frame(impl_->context, packet);
    if (status < 0) {
      fail(status, "finishWriting");
      return false;
    }
  }
  return true;
}

void AssetWriter::finishWriting(const std::function<void()>& completionHandler) {
  if (status_ != AssetWriterStatus::kWriting) {
    fail(kAssetWriterErrorInvalidState, "finishWriting");
  } else if (writePackets()) {
    int status = av_write_trailer(impl_->context);
    const int closeStatus = avio_closep(&impl_->context->pb);
    if (status >= 0) status = closeStatus;
    if (status < 0) {
      fail(status, "finishWriting");
    } else {
      status_ = AssetWriterStatus::kCompleted;
    }
  }
  if (completionHandler) completionHandler();
}

}  // namespace plexora::platform
