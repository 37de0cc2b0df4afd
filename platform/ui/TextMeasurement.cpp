#include "platform/ui/TextMeasurement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace plexora::platform {

namespace {

// Text as its code points, each kept as the UTF-8 bytes it was written
// with; a stray continuation or invalid byte counts as one character.
std::vector<std::string_view> characters(std::string_view text) {
  std::vector<std::string_view> result;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = lead < 0xF0 ? 3 : 1;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    std::size_t end = at + 1;
    while (end < text.size() && end < at + length && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
      ++end;
    }
    result.push_back(text.substr(at, end - at));
    at = end;
  }
  return result;
}

std::string join(const std::vector<std::string_view>& chars, std::size_t from, std::size_t to) {
  std::string joined;
  for (std::size_t i = from; i < to; ++i) {
    joined += chars[i];
  }
  return joined;
}

std::size_t characterCount(std::string_view text) { return characters(text).size(); }

// Greedy word wrap of one paragraph (no "\n") into lines of at most
// `perLine` characters.
void wrapParagraph(std::string_view paragraph, std::size_t perLine, std::vector<std::string>& lines) {
  const auto chars = characters(paragraph);
  std::vector<std::string_view> line;
  std::size_t i = 0;
  auto flush = [&] {
    lines.push_back(join(line, 0, line.size()));
    line.clear();
  };
  while (i < chars.size()) {
    // The next word, without its leading space.
    std::size_t wordEnd = i;
    while (wordEnd < chars.size() && chars[wordEnd] != " ") {
      ++wordEnd;
    }
    const std::size_t wordLength = wordEnd - i;
    const std::size_t needed = line.empty() ? wordLength : line.size() + 1 + wordLength;
    if (needed <= perLine) {
      if (!line.empty()) {
        line.push_back(" ");
      }
      line.insert(line.end(), chars.begin() + static_cast<std::ptrdiff_t>(i),
                  chars.begin() + static_cast<std::ptrdiff_t>(wordEnd));
    } else {
      if (!line.empty()) {
        flush();
      }
      std::size_t from = i;
      while (wordEnd - from > perLine) {
        lines.push_back(join(chars, from, from + perLine));
        from += perLine;
      }
      line.assign(chars.begin() + static_cast<std::ptrdiff_t>(from), chars.begin() + static_cast<std::ptrdiff_t>(wordEnd));
    }
    i = wordEnd < chars.size() ? wordEnd + 1 : wordEnd;
  }
  flush();
}

}  // namespace

std::vector<std::string> wrapText(std::string_view text, const Font& font, double maxWidth) {
  std::vector<std::string> lines;
  if (text.empty()) {
    return lines;
  }
  const double characterWidth = font.pointSize * kCharacterWidthPerPoint;
  std::size_t perLine = std::numeric_limits<std::size_t>::max();
  if (maxWidth > 0.0 && characterWidth > 0.0) {
    perLine = std::max<std::size_t>(1, static_cast<std::size_t>(std::floor(maxWidth / characterWidth)));
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t newline = text.find('\n', start);
    const std::string_view paragraph = text.substr(start, newline == std::string_view::npos ? text.size() - start
                                                                                            : newline - start);
    wrapParagraph(paragraph, perLine, lines);
    if (newline == std::string_view::npos) {
      break;
    }
    start = newline + 1;
  }
  return lines;
}

Size measureText(std::string_view text, const Font& font, double maxWidth, int maxLines) {
  std::vector<std::string> lines = wrapText(text, font, maxWidth);
  const bool cut = maxLines > 0 && lines.size() > static_cast<std::size_t>(maxLines);
  if (cut) {
    lines.resize(static_cast<std::size_t>(maxLines));
  }
  const double characterWidth = font.pointSize * kCharacterWidthPerPoint;
  double width = 0.0;
  for (const auto& line : lines) {
    width = std::max(width, static_cast<double>(characterCount(line)) * characterWidth);
  }
  if (maxWidth > 0.0 && (cut || width > maxWidth)) {
    width = maxWidth;
  }
  return Size{width, static_cast<double>(lines.size()) * font.pointSize * kLineHeightPerPoint};
}

}  // namespace plexora::platform
