// What both first-ad programs look for in a page's frame: the fixture
// banner's background colour, which only the drawn markup paints.
//
// Thread safety: constants and a pure function.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace plexora::bench {

inline constexpr std::uint8_t kDrawnRed = 0x1f;
inline constexpr std::uint8_t kDrawnGreen = 0x6f;
inline constexpr std::uint8_t kDrawnBlue = 0xeb;
// What the programs print on their standard output once the page is drawn.
inline constexpr const char* kDrawnLine = "drawn\n";

// Rounding in the rasterizer may move a channel by a step or two.
inline bool isDrawnColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  constexpr int kTolerance = 3;
  return std::abs(red - kDrawnRed) <= kTolerance && std::abs(green - kDrawnGreen) <= kTolerance &&
         std::abs(blue - kDrawnBlue) <= kTolerance;
}

}  // namespace plexora::bench
