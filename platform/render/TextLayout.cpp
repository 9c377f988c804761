#include "platform/render/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <vector>


namespace TextLayout {

std::unique_lock<std::recursive_mutex> lock() {
  static std::recursive_mutex mutex;
  return std::unique_lock(mutex);
}

PangoContext* measuringContext() {
  static PangoContext* context = [] {
    PangoFontMap* map = pango_cairo_font_map_new();
    PangoContext* c = pango_font_map_create_context(map);
    configure(c);
    return c;
  }();
  return context;
}

void configure(PangoContext* context) {
  // Unhinted, unrounded metrics, so that sizes scale with the font and measuring agrees
  // with drawing at any scale.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
}

PangoFontDescription* describe(const CGFont& font) {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, font.family.c_str());
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight));
  pango_font_description_set_absolute_size(description, font.pointSize * PANGO_SCALE);
  return description;
}

namespace {

guint16 channel(double value) { return static_cast<guint16>(std::lround(std::clamp(value, 0.0, 1.0) * 65535)); }

void addAttribute(PangoAttrList* list, PangoAttribute* attr, const CGTextRun& run) {
  attr->start_index = static_cast<guint>(run.start);
  attr->end_index = static_cast<guint>(run.end);
  pango_attr_list_insert(list, attr);
}

void addColour(PangoAttrList* list, const CGColor& color, const CGTextRun& run, bool background) {
  addAttribute(list,
               background ? pango_attr_background_new(channel(color.red), channel(color.green), channel(color.blue))
                          : pango_attr_foreground_new(channel(color.red), channel(color.green), channel(color.blue)),
               run);
  addAttribute(list,
               background ? pango_attr_background_alpha_new(channel(color.alpha))
                          : pango_attr_foreground_alpha_new(channel(color.alpha)),
               run);
}

}  // namespace

namespace {
thread_local std::uint64_t laidOutHere = 0;
}  // namespace

std::uint64_t bytesLaidOutOnThisThread() { return laidOutHere; }

PangoLayout* makeLayout(PangoContext* context, const CGText& text, double width) {
  laidOutHere += text.utf8.size();
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_text(layout, text.utf8.c_str(), static_cast<int>(text.utf8.size()));
  PangoFontDescription* base = describe(text.font);
  pango_layout_set_font_description(layout, base);
  pango_font_description_free(base);

  PangoAttrList* list = pango_attr_list_new();
  for (CGTextRun run : text.runs) {
    run.end = std::min(run.end, text.utf8.size());
    if (run.start >= run.end) continue;
    if (run.font) {
      PangoFontDescription* description = describe(*run.font);
      addAttribute(list, pango_attr_font_desc_new(description), run);
      pango_font_description_free(description);
    }
    if (run.foreground) addColour(list, *run.foreground, run, false);
    if (run.background && run.background->alpha > 0) addColour(list, *run.background, run, true);
    if (run.underline) addAttribute(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), run);
    if (run.kern) {
      double points = std::clamp(*run.kern, -1000.0, 1000.0);
      addAttribute(list, pango_attr_letter_spacing_new(static_cast<int>(std::lround(points * PANGO_SCALE))), run);
    }
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);

  if (width > 0 && std::isfinite(width)) pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  switch (text.alignment) {
    case CGTextAlignment::center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case CGTextAlignment::right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case CGTextAlignment::justified: pango_layout_set_justify(layout, TRUE); break;
    default: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
  }
  switch (text.wrap) {
    case CGTextWrap::character: pango_layout_set_wrap(layout, PANGO_WRAP_CHAR); break;
    case CGTextWrap::truncateHead: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START); break;
    case CGTextWrap::truncateMiddle: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE); break;
    case CGTextWrap::truncateTail: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END); break;
    default: pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR); break;
  }
  if (text.lineSpacing > 0) pango_layout_set_spacing(layout, static_cast<int>(text.lineSpacing * PANGO_SCALE));
  return layout;
}

NSSize measure(const CGText& text, double width) {
  if (text.utf8.empty()) return {0, 0};
  auto held = lock();
  PangoLayout* layout = makeLayout(measuringContext(), text, width);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return {logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE)};
}

namespace {

// The text as one line in the font alone (caller unrefs; holds the lock meanwhile).
PangoLayout* lineLayout(const CGFont& font, std::string_view utf8) {
  // Pango takes no NUL inside a text; what follows one is not shown either.
  utf8 = utf8.substr(0, utf8.find('\0'));
  laidOutHere += utf8.size();
  PangoLayout* layout = pango_layout_new(measuringContext());
  PangoFontDescription* description = describe(font);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  return layout;
}

}  // namespace

NSSize measureLine(const CGFont& font, std::string_view utf8) {
  auto held = lock();
  PangoLayout* layout = lineLayout(font, utf8);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return {logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE)};
}

std::vector<std::size_t> caretStops(std::string_view utf8) {
  std::vector<std::size_t> stops{0};
  if (utf8.empty()) return stops;
  const glong characters = g_utf8_strlen(utf8.data(), static_cast<gssize>(utf8.size()));
  std::vector<PangoLogAttr> attributes(static_cast<std::size_t>(characters) + 1);
  pango_get_log_attrs(utf8.data(), static_cast<int>(utf8.size()), -1, pango_language_get_default(), attributes.data(),
                      static_cast<int>(attributes.size()));
  const char* at = utf8.data();
  const char* end = utf8.data() + utf8.size();
  for (glong i = 1; i <= characters && at < end; ++i) {
    at = std::min<const char*>(g_utf8_next_char(at), end);
    if (attributes[static_cast<std::size_t>(i)].is_cursor_position || at == end) {
      stops.push_back(static_cast<std::size_t>(at - utf8.data()));
    }
  }
  if (stops.back() != utf8.size()) stops.push_back(utf8.size());
  return stops;
}

namespace {

// The byte after the `characters` code points that follow `at` (Pango counts a grapheme's
// trailing edge in code points).
std::size_t afterCharacters(std::string_view utf8, std::size_t at, int characters) {
  const char* p = utf8.data() + std::min(at, utf8.size());
  const char* end = utf8.data() + utf8.size();
  for (; characters > 0 && p < end; --characters) p = std::min<const char*>(g_utf8_next_char(p), end);
  return static_cast<std::size_t>(p - utf8.data());
}

// The grapheme under `x` on the line, as Pango finds it on one layout: its first byte, and
// whether the point lies past its middle (where Pango counts its characters as trailing).
std::size_t caretStopAt(const CGFont& font, std::string_view utf8, double x, bool nearerEdge) {
  if (utf8.empty() || x <= 0) return 0;
  auto held = lock();
  PangoLayout* layout = lineLayout(font, utf8);
  int index = 0, trailing = 0;
  const bool inside =
      pango_layout_xy_to_index(layout, static_cast<int>(std::lround(x * PANGO_SCALE)), 0, &index, &trailing);
  g_object_unref(layout);
  // Past the line's end there is no character under the point: the stop is the end.
  if (!nearerEdge && inside) trailing = 0;
  return afterCharacters(utf8, static_cast<std::size_t>(std::max(index, 0)), trailing);
}

}  // namespace

std::size_t caretStopNearest(const CGFont& font, std::string_view utf8, double x) {
  return caretStopAt(font, utf8, x, true);
}

std::size_t caretStopUnder(const CGFont& font, std::string_view utf8, double x) {
  return caretStopAt(font, utf8, x, false);
}

double caretOffset(const CGFont& font, std::string_view utf8, std::size_t byteOffset) {
  byteOffset = std::min(byteOffset, utf8.size());
  if (byteOffset == 0) return 0;
  auto held = lock();
  PangoLayout* layout = lineLayout(font, utf8);
  PangoRectangle strong;
  pango_layout_get_cursor_pos(layout, static_cast<int>(byteOffset), &strong, nullptr);
  g_object_unref(layout);
  return strong.x / double(PANGO_SCALE);
}

TextHit hitTest(const CGText& text, double width, NSPoint point) {
  TextHit hit;
  if (text.utf8.empty()) return hit;
  auto held = lock();
  PangoLayout* layout = makeLayout(measuringContext(), text, width);
  int index = 0, trailing = 0;
  // Beside a line, or above or below them all, Pango answers the nearest place on the
  // nearest line and says the point was not inside.
  const bool inside = pango_layout_xy_to_index(layout, static_cast<int>(std::lround(point.x * PANGO_SCALE)),
                                               static_cast<int>(std::lround(point.y * PANGO_SCALE)), &index, &trailing);
  g_object_unref(layout);
  hit.character = std::min(static_cast<std::size_t>(std::max(index, 0)), text.utf8.size());
  hit.caret = afterCharacters(text.utf8, hit.character, trailing);
  hit.onCharacter = inside && hit.character < text.utf8.size();
  return hit;
}

std::vector<NSRect> rangeRects(const CGText& text, double width, std::size_t start, std::size_t end) {
  std::vector<NSRect> rects;
  end = std::min(end, text.utf8.size());
  if (start >= end) return rects;
  auto held = lock();
  PangoLayout* layout = makeLayout(measuringContext(), text, width);
  PangoLayoutIter* iter = pango_layout_get_iter(layout);
  do {
    PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
    const auto lineStart = static_cast<std::size_t>(line->start_index);
    const auto lineEnd = lineStart + static_cast<std::size_t>(line->length);
    if (lineEnd <= start || lineStart >= end) continue;
    int top = 0, bottom = 0;
    pango_layout_iter_get_line_yrange(iter, &top, &bottom);
    int* ranges = nullptr;
    int count = 0;
    pango_layout_line_get_x_ranges(line, static_cast<int>(std::max(start, lineStart)),
                                   static_cast<int>(std::min(end, lineEnd)), &ranges, &count);
    for (int i = 0; i < count; ++i) {
      const double x0 = ranges[2 * i] / double(PANGO_SCALE), x1 = ranges[2 * i + 1] / double(PANGO_SCALE);
      rects.push_back(NSMakeRect(x0, top / double(PANGO_SCALE), x1 - x0, (bottom - top) / double(PANGO_SCALE)));
    }
    g_free(ranges);
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  g_object_unref(layout);
  return rects;
}

}  // namespace TextLayout

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, Pango and GLib keep process-wide caches (font lists, type registrations)
// that they never free; the leak checker would report them at every exit. This file is
// linked into every program that sets text, which is when those caches exist.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo\nleak:libpangoft2\n"
         "leak:libharfbuzz.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libcairo.so\n";
}
#endif
