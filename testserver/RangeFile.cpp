#include "testserver/RangeFile.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string_view>

namespace plexora::testserver {

namespace {

constexpr std::string_view kBytesPrefix = "bytes=";
constexpr const char* kRangeField = "Range";
constexpr const char* kContentRangeField = "Content-Range";
constexpr const char* kAcceptRangesField = "Accept-Ranges";
constexpr const char* kContentTypeField = "Content-Type";
constexpr const char* kBytesUnit = "bytes";
constexpr const char* kMediaType = "video/mp4";
constexpr int kOK = 200;
constexpr int kPartialContent = 206;
constexpr int kNotFound = 404;
constexpr int kRangeNotSatisfiable = 416;
constexpr int kServerError = 500;
// The throttle sends this many pieces a second.
constexpr std::size_t kPiecesPerSecond = 20;
// Longer than any test runs; the server cuts it short when it stops.
constexpr auto kNever = std::chrono::hours(1);

std::optional<std::size_t> number(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ByteRange> parseByteRange(const std::string& header) {
  std::string_view text = header;
  if (!text.starts_with(kBytesPrefix)) return std::nullopt;
  text.remove_prefix(kBytesPrefix.size());
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos || text.find(',') != std::string_view::npos) return std::nullopt;
  const auto first = number(text.substr(0, dash));
  if (!first) return std::nullopt;
  ByteRange range{*first, std::nullopt};
  if (dash + 1 < text.size()) {
    range.last = number(text.substr(dash + 1));
    if (!range.last || *range.last < *first) return std::nullopt;
  }
  return range;
}

Response rangeFileAnswer(const std::string& file, const RecordedRequest& request, const RangeFileOptions& options) {
  const auto header = request.header(kRangeField);
  const auto asked = header ? parseByteRange(*header) : std::nullopt;
  RangeFault fault = options.fault;
  if (asked && asked->first < options.faultFromOffset) fault = RangeFault::kNone;

  Response answer;
  answer.headers.emplace_back(kAcceptRangesField, kBytesUnit);
  answer.headers.emplace_back(kContentTypeField, kMediaType);
  if (fault == RangeFault::kNeverAnswers) {
    answer.delay = kNever;
    answer.dropConnection = true;
    return answer;
  }
  if (fault == RangeFault::kNotFound || fault == RangeFault::kServerError) {
    answer.status = fault == RangeFault::kNotFound ? kNotFound : kServerError;
    return answer;
  }
  const std::string total = std::to_string(file.size());
  const auto range = fault != RangeFault::kIgnoreRange ? asked : std::nullopt;
  if (range && (range->first >= file.size() || fault == RangeFault::kUnsatisfiable)) {
    answer.status = kRangeNotSatisfiable;
    answer.headers.emplace_back(kContentRangeField, "bytes */" + total);
    return answer;
  }
  if (range) {
    const std::size_t last = std::min(range->last.value_or(file.size() - 1), file.size() - 1);
    answer.status = kPartialContent;
    answer.body = file.substr(range->first, last - range->first + 1);
    answer.headers.emplace_back(kContentRangeField,
                                "bytes " + std::to_string(range->first) + "-" + std::to_string(last) + "/" + total);
  } else {
    answer.status = kOK;
    answer.body = file;
  }
  if (fault == RangeFault::kTruncated) answer.body.resize(answer.body.size() / 2);
  const std::size_t bytesPerSecond =
      options.sharedBytesPerSecond ? options.sharedBytesPerSecond->load() : options.bytesPerSecond;
  if (bytesPerSecond > 0) {
    answer.chunkBytes = std::max<std::size_t>(1, bytesPerSecond / kPiecesPerSecond);
    answer.chunkDelay = std::chrono::milliseconds(1000 / kPiecesPerSecond);
  }
  if (options.releasedUpTo) {
    const std::size_t first = range ? range->first : 0;
    answer.sendableBytes = [released = options.releasedUpTo, first] {
      const std::size_t upTo = released->load();
      return upTo > first ? upTo - first : 0;
    };
  }
  if (fault == RangeFault::kDropMidBody) answer.dropAfterBytes = answer.body.size() / 2;
  if (fault == RangeFault::kWrongLength) answer.declaredLength = answer.body.size() + 1;
  return answer;
}

AnswerFunction serveRangeFile(std::shared_ptr<const std::string> file, RangeFileOptions options) {
  return [file = std::move(file), options](const RecordedRequest& request) {
    return rangeFileAnswer(*file, request, options);
  };
}

}  // namespace plexora::testserver
