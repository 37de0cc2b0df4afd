#include "platform/ui/TextEngine.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace plexora::platform::text {
namespace {

constexpr const char* kFontFamily = "DejaVu Sans";
constexpr const char* kRegularFontFile = PLEXORA_REGULAR_FONT_FILE;
constexpr const char* kBoldFontFile = PLEXORA_BOLD_FONT_FILE;
// Line breaking and shaping rules must not follow the host's locale.
constexpr const char* kLanguage = "en";

std::mutex& engineMutex() {
  static std::mutex mutex;
  return mutex;
}

// A font map whose fontconfig knows the packaged faces and nothing else:
// no system configuration, no system fonts, no substitution rules.
PangoFontMap* makeFontMap() {
  FcConfig* config = FcConfigCreate();
  if (config == nullptr) throw std::runtime_error("fontconfig could not make a configuration");
  for (const char* file : {kRegularFontFile, kBoldFontFile}) {
    if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file))) {
      FcConfigDestroy(config);
      throw std::runtime_error(std::string("the packaged font is missing: ") + file);
    }
  }
  PangoFontMap* map = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), config);
  FcConfigDestroy(config);  // The font map holds its own reference.
  return map;
}

PangoContext* makeContext() {
  PangoFontMap* map = makeFontMap();
  PangoContext* context = pango_font_map_create_context(map);
  g_object_unref(map);  // The context holds its own reference.
  // Unhinted outlines at fractional positions: glyph advances then scale
  // linearly, so a layout measured in points draws identically at any
  // screen scale.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  pango_context_set_language(context, pango_language_from_string(kLanguage));
  return context;
}

// Made once, on first use, and kept for the life of the process.
PangoContext* sharedContext() {
  static PangoContext* const context = makeContext();
  return context;
}

}  // namespace

int units(double points) {
  const double scaled = points * PANGO_SCALE;
  if (!(scaled > 0.0)) return 0;
  return scaled < static_cast<double>(G_MAXINT) ? static_cast<int>(scaled) : G_MAXINT;
}

std::unique_lock<std::mutex> lockTextEngine() { return std::unique_lock<std::mutex>(engineMutex()); }

bool isDrawableFont(const Font& font) { return std::isfinite(font.pointSize) && font.pointSize > 0.0; }

std::string layoutText(std::string_view text, const Font& font) {
  const auto limit = static_cast<std::size_t>(kMaxTextExtent / std::min(font.pointSize, kMaxFontPointSize));
  // The longest UTF-8 sequence past the limit may still end inside it.
  const std::string_view head = text.substr(0, limit + 4);
  gchar* valid = g_utf8_make_valid(head.data(), static_cast<gssize>(head.size()));
  std::string result(valid);
  g_free(valid);
  if (result.size() > limit) {
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80) --cut;
    result.resize(cut);
  }
  std::size_t tabs = 0;
  for (char& c : result) {
    if (c == '\t' && ++tabs > kMaxTabs) c = ' ';
  }
  return result;
}

LayoutPtr makeLayout(const std::string& text, const Font& font, double maxWidth, bool wrapBetweenCharacters) {
  LayoutPtr layout(pango_layout_new(sharedContext()));
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family_static(description, kFontFamily);
  pango_font_description_set_weight(description, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  // Absolute: the font's points are the UI model's points, whatever the
  // resolution.
  pango_font_description_set_absolute_size(description, std::min(font.pointSize, kMaxFontPointSize) * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), description);
  pango_font_description_free(description);
  pango_layout_set_wrap(layout.get(), wrapBetweenCharacters ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
  if (maxWidth > 0.0 && maxWidth * PANGO_SCALE < static_cast<double>(G_MAXINT)) {
    pango_layout_set_width(layout.get(), std::max(1, units(maxWidth)));
  }
  pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
  return layout;
}

}  // namespace plexora::platform::text
