#include "platform/foundation/Base64.h"

#include <array>

namespace plexora::platform {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> makeDecodeTable() {
  std::array<int, 256> table{};
  table.fill(kNotInAlphabet);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  }
  return table;
}

constexpr std::array<int, 256> kDecodeTable = makeDecodeTable();

}  // namespace

std::string base64Encode(ByteView bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t group = bytes[i] << 16;
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += '=';
  }
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool lastGroup = i + 4 == text.size();
    std::size_t padding = 0;
    if (lastGroup) {
      padding = text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
    }
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4 - padding; ++j) {
      const int sextet = kDecodeTable[static_cast<unsigned char>(text[i + j])];
      if (sextet == kNotInAlphabet) {
        return std::nullopt;
      }
      group |= static_cast<std::uint32_t>(sextet) << (18 - 6 * j);
    }
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) {
      out.push_back(static_cast<std::uint8_t>(group >> 8));
    }
    if (padding < 1) {
      out.push_back(static_cast<std::uint8_t>(group));
    }
  }
  return out;
}

}  // namespace plexora::platform
