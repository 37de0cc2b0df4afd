// The ffmpeg-made DASH test media as bytes, and the small surgery the box
// tests do on them: finding a box by its type and rewriting a field.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace plexora::testing {

inline std::vector<uint8_t> readDashMedia(const std::string& relativePath) {
  std::ifstream file(std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash/" + relativePath, std::ios::binary);
  EXPECT_TRUE(file.good()) << relativePath;
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The offset of the `occurrence`-th box of that type (its size field), or
// the size of the bytes when there is none.
inline size_t findBox(const std::vector<uint8_t>& bytes, const std::string& type, int occurrence = 0) {
  for (size_t at = 4; at + 4 <= bytes.size(); ++at) {
    if (std::equal(type.begin(), type.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)) && occurrence-- == 0) {
      return at - 4;
    }
  }
  return bytes.size();
}

inline void writeU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int shift = 24, i = 0; shift >= 0; shift -= 8, ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> shift);
}

inline std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to)};
}

}  // namespace plexora::testing
