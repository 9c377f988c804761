#include "platform/render/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/foundation/NSNumber.h"

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

PangoFontDescription* describe(const NSFont& font) {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, font.renderFamily().c_str());
  pango_font_description_set_weight(description, static_cast<PangoWeight>(font.weight()));
  pango_font_description_set_absolute_size(description, font.pointSize() * PANGO_SCALE);
  return description;
}

const NSFont& defaultFont() {
  static const std::shared_ptr<NSFont> font = NSFont::fontWithName("Helvetica", 12.0);
  return *font;
}

namespace {

guint16 channel(double value) { return static_cast<guint16>(std::lround(std::clamp(value, 0.0, 1.0) * 65535)); }

void addColour(PangoAttrList* list, const CGColor& color, guint start, guint end, bool background) {
  PangoAttribute* attr = background
                             ? pango_attr_background_new(channel(color.red), channel(color.green), channel(color.blue))
                             : pango_attr_foreground_new(channel(color.red), channel(color.green), channel(color.blue));
  attr->start_index = start;
  attr->end_index = end;
  pango_attr_list_insert(list, attr);
  PangoAttribute* alpha = background ? pango_attr_background_alpha_new(channel(color.alpha))
                                     : pango_attr_foreground_alpha_new(channel(color.alpha));
  alpha->start_index = start;
  alpha->end_index = end;
  pango_attr_list_insert(list, alpha);
}

}  // namespace

PangoLayout* makeLayout(PangoContext* context, const NSAttributedString& text, double width) {
  const std::u16string& units = text.utf16();
  // Byte offset in the UTF-8 text of every UTF-16 index (and of the end).
  std::vector<guint> offsets(units.size() + 1, 0);
  std::string utf8;
  for (std::size_t i = 0; i < units.size();) {
    std::size_t step = (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                        units[i + 1] <= 0xDFFF)
                           ? 2
                           : 1;
    for (std::size_t k = 0; k < step; ++k) offsets[i + k] = static_cast<guint>(utf8.size());
    utf8 += utf8FromUtf16(std::u16string_view(units).substr(i, step));
    i += step;
  }
  offsets[units.size()] = static_cast<guint>(utf8.size());

  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  PangoFontDescription* base = describe(defaultFont());
  pango_layout_set_font_description(layout, base);
  pango_font_description_free(base);

  PangoAttrList* list = pango_attr_list_new();
  std::shared_ptr<NSParagraphStyle> paragraph;
  for (const auto& [range, attributes] : text.runs()) {
    guint start = offsets[range.location], end = offsets[range.end()];
    auto get = [&](const std::string& name) -> id {
      auto it = attributes.find(name);
      return it == attributes.end() ? nullptr : it->second;
    };
    if (auto font = asA<NSFont>(get(NSFontAttributeName))) {
      PangoFontDescription* description = describe(*font);
      PangoAttribute* attr = pango_attr_font_desc_new(description);
      pango_font_description_free(description);
      attr->start_index = start;
      attr->end_index = end;
      pango_attr_list_insert(list, attr);
    }
    bool isLink = static_cast<bool>(get(NSLinkAttributeName));
    if (auto color = asA<NSColor>(get(NSForegroundColorAttributeName))) {
      addColour(list, color->CGColor(), start, end, false);
    } else if (isLink) {
      addColour(list, NSColor::linkColor()->CGColor(), start, end, false);
    }
    if (auto color = asA<NSColor>(get(NSBackgroundColorAttributeName)); color && color->alphaComponent() > 0) {
      addColour(list, color->CGColor(), start, end, true);
    }
    auto underline = asA<NSNumber>(get(NSUnderlineStyleAttributeName));
    if (isLink || (underline && underline->integerValue() != 0)) {
      PangoAttribute* attr = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
      attr->start_index = start;
      attr->end_index = end;
      pango_attr_list_insert(list, attr);
    }
    if (auto kern = asA<NSNumber>(get(NSKernAttributeName))) {
      double points = std::clamp(kern->doubleValue(), -1000.0, 1000.0);
      PangoAttribute* attr = pango_attr_letter_spacing_new(static_cast<int>(std::lround(points * PANGO_SCALE)));
      attr->start_index = start;
      attr->end_index = end;
      pango_attr_list_insert(list, attr);
    }
    if (!paragraph) paragraph = asA<NSParagraphStyle>(get(NSParagraphStyleAttributeName));
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);

  if (width > 0 && std::isfinite(width)) pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  NSTextAlignment alignment = paragraph ? paragraph->alignment() : NSTextAlignment::natural;
  switch (alignment) {
    case NSTextAlignment::center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case NSTextAlignment::right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case NSTextAlignment::justified: pango_layout_set_justify(layout, TRUE); break;
    default: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
  }
  NSLineBreakMode mode = paragraph ? paragraph->lineBreakMode() : NSLineBreakMode::byWordWrapping;
  switch (mode) {
    case NSLineBreakMode::byCharWrapping: pango_layout_set_wrap(layout, PANGO_WRAP_CHAR); break;
    case NSLineBreakMode::byTruncatingHead: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_START); break;
    case NSLineBreakMode::byTruncatingMiddle: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_MIDDLE); break;
    case NSLineBreakMode::byTruncatingTail: pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END); break;
    default: pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR); break;
  }
  if (paragraph && paragraph->lineSpacing() > 0) {
    pango_layout_set_spacing(layout, static_cast<int>(paragraph->lineSpacing() * PANGO_SCALE));
  }
  return layout;
}

NSSize measure(const NSAttributedString& text, double width) {
  if (text.length() == 0) return {0, 0};
  auto held = lock();
  PangoLayout* layout = makeLayout(measuringContext(), text, width);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return {logical.width / double(PANGO_SCALE), logical.height / double(PANGO_SCALE)};
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
