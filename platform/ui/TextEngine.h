// The text engine behind measurement and drawing: one Pango context over a
// fontconfig setup of the platform's own that knows only the packaged font
// (regular and bold), with hinting off, so that text lays out the same on
// every machine and at every scale. Measuring and drawing take their
// layouts from here, so what is measured is what is drawn.
//
// An internal header of platform/ui (it brings Pango in); the engine is set
// up on first use.
//
// Thread safety: Pango's context is not thread-safe; hold the lock from
// lockTextEngine() while making and using layouts.
// Ownership: layouts are owned by their LayoutPtr.
#pragma once

#include <pango/pangocairo.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ui/Font.h"

namespace plexora::platform::text {

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;

// Larger sizes are drawn at this size; it keeps glyph caches bounded.
inline constexpr double kMaxFontPointSize = 1000.0;

std::unique_lock<std::mutex> lockTextEngine();

// Whether the font has a size text can be laid out at (finite, above 0).
bool isDrawableFont(const Font& font);

// Pango keeps positions in ints of 1/1024 point, which a paragraph longer
// than about two million points overflows (and lays out as nothing). A
// layout therefore holds at most kMaxTextExtent / the font size bytes of
// text: no byte is wider than four ems (a tab, the widest, is some 2.5), so
// no paragraph reaches two million points.
inline constexpr double kMaxTextExtent = 500'000.0;

// Pango places each tab by measuring the line so far, so a line of n tabs
// costs n squared; the tabs past this many lay out as spaces.
inline constexpr std::size_t kMaxTabs = 256;

// What a layout of `text` in `font` holds: the text with every invalid
// UTF-8 byte (and NUL) replaced by U+FFFD, cut at a character boundary to
// the bound above, its tabs past kMaxTabs made spaces. Byte offsets into a
// layout are offsets into this.
std::string layoutText(std::string_view text, const Font& font);

// A layout of `text` (from layoutText) in `font`, wrapped within `maxWidth`
// points (none when not above 0) between words, or between characters when
// asked; a word longer than a line is cut between characters either way.
// Needs the lock and a drawable font.
LayoutPtr makeLayout(const std::string& text, const Font& font, double maxWidth, bool wrapBetweenCharacters);

// Points from Pango units.
inline double points(int units) { return static_cast<double>(units) / PANGO_SCALE; }
// Pango units from points, within what an int holds.
int units(double points);

}  // namespace plexora::platform::text
