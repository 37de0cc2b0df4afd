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

// `text` with every invalid UTF-8 byte (and NUL) replaced by U+FFFD, which
// is what the layouts hold: byte offsets into a layout are offsets into
// this.
std::string validUTF8(std::string_view text);

// A layout of `text` (valid UTF-8) in `font`, wrapped within `maxWidth`
// points (none when not above 0) between words, or between characters when
// asked; a word longer than a line is cut between characters either way.
// Needs the lock and a drawable font.
LayoutPtr makeLayout(const std::string& text, const Font& font, double maxWidth, bool wrapBetweenCharacters);

// Points from Pango units.
inline double points(int units) { return static_cast<double>(units) / PANGO_SCALE; }
// Pango units from points, within what an int holds.
int units(double points);

}  // namespace plexora::platform::text
