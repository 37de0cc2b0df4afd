#include "OVNativeAdBody.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace plexora {

namespace {

// One scalar value of the text and where its bytes begin.
struct Character {
  char32_t value;
  std::size_t offset;
};

// The text's characters; a malformed byte counts as one character of its
// own, so nothing is lost or read past the end.
std::vector<Character> charactersOf(std::string_view text) {
  std::vector<Character> characters;
  std::size_t position = 0;
  while (position < text.size()) {
    const auto lead = static_cast<unsigned char>(text[position]);
    std::size_t length = 1;
    char32_t value = lead;
    if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
      value = lead & 0x07;
    }
    bool wellFormed = length == 1 || position + length <= text.size();
    for (std::size_t i = 1; wellFormed && i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[position + i]);
      wellFormed = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    if (!wellFormed) {
      length = 1;
      value = lead;
    }
    characters.push_back({value, position});
    position += length;
  }
  return characters;
}

bool isSpace(char32_t c) {
  return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r' || c == U'\v' || c == U'\f' || c == 0x85 ||
         c == 0xA0 || c == 0x2028 || c == 0x2029 || c == 0x3000 || (c >= 0x2000 && c <= 0x200A);
}

// The bytes of characters [first, last] of the text.
std::string_view slice(std::string_view text, const std::vector<Character>& characters, std::size_t first,
                       std::size_t last) {
  const std::size_t begin = characters[first].offset;
  const std::size_t end = last + 1 < characters.size() ? characters[last + 1].offset : text.size();
  return text.substr(begin, end - begin);
}

std::string_view trimmed(std::string_view text, const std::vector<Character>& characters, std::size_t last) {
  std::size_t first = 0;
  while (first <= last && isSpace(characters[first].value)) ++first;
  while (last > first && isSpace(characters[last].value)) --last;
  if (first > last || isSpace(characters[last].value)) return {};
  return slice(text, characters, first, last);
}

}  // namespace

std::string OVNativeAdShortenedBody(const std::string& body) {
  const std::vector<Character> characters = charactersOf(body);
  if (characters.size() <= kOVNativeAdBodyLimit) return body;

  // Each word's enclosing range runs from its first character to the first
  // character of the next word, so it includes the spacing after it.
  std::size_t lastIndex = 0;
  std::size_t position = 0;
  while (position < characters.size() && isSpace(characters[position].value)) ++position;
  while (position < characters.size()) {
    const std::size_t wordStart = position;
    while (position < characters.size() && !isSpace(characters[position].value)) ++position;
    while (position < characters.size() && isSpace(characters[position].value)) ++position;
    const std::size_t enclosingLength = position - wordStart;
    if (lastIndex + enclosingLength >= kOVNativeAdBodyLimit) break;
    lastIndex = wordStart + enclosingLength - 1;
  }
  std::string_view kept = lastIndex > 0 ? trimmed(body, characters, lastIndex)
                                        : slice(body, characters, 0, kOVNativeAdBodyLimit - 1);
  return std::string(kept) + kOVNativeAdBodyEllipsis;
}

}  // namespace plexora
