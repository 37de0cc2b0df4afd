#include "platform/device/SystemIdentity.h"

#include <cctype>
#include <cstdio>

#include "platform/foundation/SHA1.h"

namespace plexora::platform {
namespace {

// Salts the machine id so the advertising identifier cannot be matched with
// the id other programs may report.
constexpr std::string_view kAdvertisingIdentifierNamespace = "plexora.advertising-identifier:";

constexpr std::size_t kMachineIdLength = 32;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string systemVersionFromRelease(std::string_view release) {
  std::size_t end = 0;
  while (end < release.size() && (isDigit(release[end]) || release[end] == '.')) ++end;
  std::string_view head = release.substr(0, end);
  while (!head.empty() && head.back() == '.') head.remove_suffix(1);
  if (head.empty() || !isDigit(head.front())) return std::string(release);
  return std::string(head);
}

std::string systemBuildFromVersion(std::string_view version) {
  version = trimmed(version);
  std::size_t end = 0;
  while (end < version.size() && !isSpace(version[end])) ++end;
  return std::string(version.substr(0, end));
}

std::optional<std::string> localeIdentifierFromLocaleName(std::string_view name) {
  const std::size_t end = name.find_first_of(".@");
  const std::string_view identifier = name.substr(0, end);
  if (identifier.empty() || identifier == "C" || identifier == "POSIX") return std::nullopt;
  return std::string(identifier);
}

std::optional<std::string> advertisingIdentifierFromMachineId(std::string_view machineId) {
  machineId = trimmed(machineId);
  if (machineId.size() != kMachineIdLength) return std::nullopt;
  std::string name(kAdvertisingIdentifierNamespace);
  for (char c : machineId) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }

  SHA1Digest digest = sha1(asBytes(name));
  // RFC 4122 name-based (SHA-1) layout: version 5, variant 10.
  digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);
  digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);

  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", digest[i]);
    text.append(hex, 2);
  }
  return text;
}

}  // namespace plexora::platform
