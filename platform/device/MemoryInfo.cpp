#include "platform/device/MemoryInfo.h"

#include <array>
#include <charconv>

namespace plexora::platform {
namespace {

constexpr std::string_view kTotalKey = "MemTotal";
constexpr std::string_view kAvailableKey = "MemAvailable";
constexpr std::string_view kKilobyteUnit = "kB";
constexpr std::uint64_t kBytesPerKilobyte = 1024;
constexpr std::size_t kStatmFieldCount = 7;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void skipBlanks(std::string_view& text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
}

// Reads a run of decimal digits off the front of `text`.
std::optional<std::uint64_t> takeNumber(std::string_view& text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

std::optional<std::uint64_t> multiplied(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

// The byte count of a meminfo line's value part (": <digits> kB"), or none.
std::optional<std::uint64_t> kilobyteFigure(std::string_view rest) {
  if (rest.empty() || rest.front() != ':') return std::nullopt;
  rest.remove_prefix(1);
  skipBlanks(rest);
  auto kilobytes = takeNumber(rest);
  if (!kilobytes) return std::nullopt;
  skipBlanks(rest);
  if (rest.substr(0, kKilobyteUnit.size()) != kKilobyteUnit) return std::nullopt;
  rest.remove_prefix(kKilobyteUnit.size());
  skipBlanks(rest);
  if (!rest.empty()) return std::nullopt;
  return multiplied(*kilobytes, kBytesPerKilobyte);
}

}  // namespace

SystemMemory parseMemInfo(std::string_view text) {
  SystemMemory memory;
  bool totalSeen = false;
  bool availableSeen = false;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);

    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    const std::string_view rest = line.substr(colon);
    if (key == kTotalKey) {
      memory.totalBytes = totalSeen ? std::nullopt : kilobyteFigure(rest);
      totalSeen = true;
    } else if (key == kAvailableKey) {
      memory.availableBytes = availableSeen ? std::nullopt : kilobyteFigure(rest);
      availableSeen = true;
    }
  }
  return memory;
}

std::optional<ProcessMemory> parseProcessStatm(std::string_view text, std::uint64_t pageSize) {
  std::array<std::uint64_t, kStatmFieldCount> pages{};
  for (std::size_t i = 0; i < kStatmFieldCount; ++i) {
    if (i > 0) {
      if (text.empty() || !isBlank(text.front())) return std::nullopt;
      skipBlanks(text);
    }
    auto count = takeNumber(text);
    if (!count) return std::nullopt;
    pages[i] = *count;
  }
  if (!text.empty() && text != "\n") return std::nullopt;

  auto virtualBytes = multiplied(pages[0], pageSize);
  auto residentBytes = multiplied(pages[1], pageSize);
  if (!virtualBytes || !residentBytes) return std::nullopt;
  return ProcessMemory{*residentBytes, *virtualBytes};
}

}  // namespace plexora::platform
