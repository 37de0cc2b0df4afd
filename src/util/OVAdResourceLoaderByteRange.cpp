#include "util/OVAdResourceLoaderByteRange.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace plexora {

namespace {

constexpr std::string_view kRangePrefix = "bytes=";
constexpr std::string_view kContentRangeUnit = "bytes ";
constexpr std::string_view kUnknownTotal = "*";
constexpr std::string_view kByteRangesUnit = "bytes";
constexpr long kPartialContentStatus = 206;

std::optional<std::int64_t> parseNonNegative(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<std::string> OVAdRangeHeaderValue(std::int64_t requestedOffset, std::int64_t requestedLength) {
  if (requestedOffset < 0 || (requestedOffset == 0 && requestedLength <= 0)) {
    return std::nullopt;
  }
  std::string value = std::string(kRangePrefix) + std::to_string(requestedOffset) + "-";
  if (requestedLength > 0) {
    if (requestedLength - 1 > std::numeric_limits<std::int64_t>::max() - requestedOffset) {
      return std::nullopt;
    }
    value += std::to_string(requestedOffset + (requestedLength - 1));
  }
  return value;
}

std::optional<OVAdContentRange> OVAdParseContentRange(std::string_view value) {
  value = trimmed(value);
  if (!value.starts_with(kContentRangeUnit)) {
    return std::nullopt;
  }
  value.remove_prefix(kContentRangeUnit.size());
  const std::size_t dash = value.find('-');
  const std::size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) {
    return std::nullopt;
  }
  const auto first = parseNonNegative(value.substr(0, dash));
  const auto last = parseNonNegative(value.substr(dash + 1, slash - dash - 1));
  const std::string_view totalText = value.substr(slash + 1);
  if (!first || !last || *first > *last) {
    return std::nullopt;
  }
  OVAdContentRange range{*first, *last, std::nullopt};
  if (totalText != kUnknownTotal) {
    range.total = parseNonNegative(totalText);
    if (!range.total || *range.total <= *last) {
      return std::nullopt;
    }
  }
  return range;
}

std::optional<OVAdServedRange> OVAdServedRangeForAnswer(long statusCode, const std::optional<std::string>& contentRange,
                                                        const std::optional<std::string>& acceptRanges,
                                                        std::size_t bodySize, std::int64_t requestedOffset,
                                                        std::int64_t requestedLength) {
  if (requestedOffset < 0) {
    return std::nullopt;
  }
  OVAdServedRange served;
  // Where the body begins within the resource.
  std::int64_t bodyOffset = 0;
  if (statusCode == kPartialContentStatus) {
    const auto range = contentRange ? OVAdParseContentRange(*contentRange) : std::nullopt;
    if (!range || static_cast<std::uint64_t>(range->last - range->first) + 1 != bodySize ||
        range->first > requestedOffset) {
      return std::nullopt;
    }
    bodyOffset = range->first;
    served.contentLength = range->total.value_or(range->last + 1);
    served.byteRangeAccessSupported = true;
  } else {
    served.contentLength = static_cast<std::int64_t>(bodySize);
    served.byteRangeAccessSupported = acceptRanges && trimmed(*acceptRanges) == kByteRangesUnit;
  }
  const auto start = static_cast<std::uint64_t>(requestedOffset - bodyOffset);
  if (start >= bodySize) {
    return std::nullopt;
  }
  std::uint64_t length = bodySize - start;
  if (requestedLength > 0) {
    length = std::min(length, static_cast<std::uint64_t>(requestedLength));
  }
  served.bodyStart = static_cast<std::size_t>(start);
  served.bodyLength = static_cast<std::size_t>(length);
  return served;
}

}  // namespace plexora
