// The byte-range arithmetic of the engine's loading requests: the Range
// header that asks the server for a range, and which part of an answer's body
// serves the range that was asked for. The server may answer the range (206
// with a Content-Range) or ignore it and send the whole resource (200).
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plexora {

// "bytes=FIRST-LAST", or "bytes=FIRST-" up to the end (length 0 or less).
// None for the whole resource (offset 0, no length) and for a negative
// offset or a range that does not fit in 64 bits.
std::optional<std::string> OVAdRangeHeaderValue(std::int64_t requestedOffset, std::int64_t requestedLength);

// A Content-Range value "bytes FIRST-LAST/TOTAL" (TOTAL may be "*").
struct OVAdContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::optional<std::int64_t> total;
};
// None unless the value is well formed with FIRST <= LAST < TOTAL.
std::optional<OVAdContentRange> OVAdParseContentRange(std::string_view value);

// The part of a 2xx answer's body that serves the request.
struct OVAdServedRange {
  // Size of the whole resource.
  std::int64_t contentLength = 0;
  std::size_t bodyStart = 0;
  // Never 0.
  std::size_t bodyLength = 0;
  bool byteRangeAccessSupported = false;
};
// None when the answer cannot serve the request: a 206 without a valid
// Content-Range, one whose range does not match the body or starts after the
// requested offset, or an answer that holds no byte of the range.
std::optional<OVAdServedRange> OVAdServedRangeForAnswer(long statusCode, const std::optional<std::string>& contentRange,
                                                        const std::optional<std::string>& acceptRanges,
                                                        std::size_t bodySize, std::int64_t requestedOffset,
                                                        std::int64_t requestedLength);

}  // namespace plexora
