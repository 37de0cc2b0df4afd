// Number <-> text conversions shared by form encoding and typed access.
#include <charconv>
#include <cmath>

#include "platform/value/Value.h"

namespace plexora::platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

std::string numberText(int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string numberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // Shortest form that reads back to the same double. Whole numbers are
  // written out in plain digits ("3", "1700000000"): times and counts travel
  // as whole doubles and the server reads them as integers, not "1.7e+09".
  char buffer[400];
  const bool whole = value == std::trunc(value) && std::fabs(value) < 1e21;
  auto result = whole ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                      : std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<Value> parseNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);

  size_t digits = 0;
  size_t points = 0;
  for (char c : text) {
    if (isDigit(c)) {
      ++digits;
    } else if (c == '.') {
      ++points;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1) return std::nullopt;

  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (points == 0) {
    // Parse the magnitude as unsigned so that INT64_MIN still fits.
    uint64_t magnitude = 0;
    auto result = std::from_chars(first, last, magnitude);
    if (result.ec == std::errc() && result.ptr == last) {
      constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
      if (!negative && magnitude <= kMaxPositive) return Value(static_cast<int64_t>(magnitude));
      if (negative && magnitude <= kMaxPositive + 1) return Value(static_cast<int64_t>(0 - magnitude));
    }
  }
  double magnitude = 0;
  auto result = std::from_chars(first, last, magnitude, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
  return Value(negative ? -magnitude : magnitude);
}

bool textBoolValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace plexora::platform
