// Serves a file's bytes with byte ranges, as a media host does, and the
// ways a host can get it wrong: for the tests and benchmarks of downloads
// in ranges.
//
//   server.on("/clip.mp4", serveRangeFile(bytes, {.bytesPerSecond = 200'000}));
//
// A request with "Range: bytes=a-b" or "bytes=a-" gets 206 with its bytes
// and "Content-Range: bytes a-b/size"; one without gets 200 with the whole
// file; a range that starts at or past the end gets 416 with
// "Content-Range: bytes */size". Every answer says "Accept-Ranges: bytes".
//
// Thread safety: the answer function may run on several handler threads at
// once; it only reads the shared bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "testserver/ResponseScript.h"

namespace plexora::testserver {

enum class RangeFault {
  kNone,
  // 200 with the whole file, whatever the Range header asks.
  kIgnoreRange,
  // The connection closes after half of the answer's body.
  kDropMidBody,
  // The Content-Length says one byte more than the body holds.
  kWrongLength,
  // 416 for every range.
  kUnsatisfiable,
  kNotFound,
  kServerError,
  // A complete answer whose body is only the first half of the range, its
  // Content-Length saying so: a host that stored a file cut short.
  kTruncated,
  // No answer at all until the server stops: a segment that never comes.
  kNeverAnswers,
};

struct RangeFileOptions {
  RangeFault fault = RangeFault::kNone;
  // Throttles the body to about this rate; 0 sends it at once.
  std::size_t bytesPerSecond = 0;
  // When set, the rate in its place, read as each request comes in: a
  // network that slows down or speeds up while a stream plays.
  std::shared_ptr<const std::atomic<std::size_t>> sharedBytesPerSecond{};
  // The fault spares requests for ranges that start before this offset (a
  // header that loads, then media that fails).
  std::size_t faultFromOffset = 0;
  // When set, bytes of the file at or past this offset wait until it grows
  // past them: a host a test holds still and lets go.
  std::shared_ptr<const std::atomic<std::size_t>> releasedUpTo{};
};

// The answer to one request for the file.
Response rangeFileAnswer(const std::string& file, const RecordedRequest& request, const RangeFileOptions& options);

AnswerFunction serveRangeFile(std::shared_ptr<const std::string> file, RangeFileOptions options = {});

// The requested range of a "bytes=a-b" or "bytes=a-" header: first byte and
// last byte (none: to the end). None for any other form.
struct ByteRange {
  std::size_t first = 0;
  std::optional<std::size_t> last;
};
std::optional<ByteRange> parseByteRange(const std::string& header);

}  // namespace plexora::testserver
