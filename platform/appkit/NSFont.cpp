#include "platform/appkit/NSFont.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "platform/render/TextLayout.h"

namespace {

constexpr const char* kStandIn = "Lato";

struct Face {
  std::string family;  // the family the platform would report
  std::string renderFamily;
  int weight;
};

std::string folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// Names compared without case, spaces or hyphens: "AvenirNext-DemiBold" is
// "Avenir Next Demi Bold".
std::optional<Face> knownFace(std::string_view name) {
  static const std::map<std::string, Face> faces = {
      {"avenirnext", {"Avenir Next", kStandIn, 400}},
      {"avenirnextregular", {"Avenir Next", kStandIn, 400}},
      {"avenirnextmedium", {"Avenir Next", kStandIn, 500}},
      {"avenirnextdemibold", {"Avenir Next", kStandIn, 600}},
      {"avenirnextbold", {"Avenir Next", kStandIn, 700}},
      {"avenirnextheavy", {"Avenir Next", kStandIn, 800}},
      {"avenirnextultralight", {"Avenir Next", kStandIn, 200}},
      {"avenir", {"Avenir", kStandIn, 400}},
      {"helvetica", {"Helvetica", kStandIn, 400}},
      {"helveticabold", {"Helvetica", kStandIn, 700}},
      {"helveticaneue", {"Helvetica Neue", kStandIn, 400}},
      {"helveticaneuebold", {"Helvetica Neue", kStandIn, 700}},
      {"sfprotext", {"SF Pro Text", kStandIn, 400}},
      {"menlo", {"Menlo", "DejaVu Sans Mono", 400}},
      {"monaco", {"Monaco", "DejaVu Sans Mono", 400}},
  };
  auto it = faces.find(folded(name));
  if (it == faces.end()) return std::nullopt;
  return it->second;
}

// An installed family whose name is exactly the one asked for (fontconfig would otherwise
// substitute any face, and the platform answers none for an unknown name).
std::optional<Face> installedFace(std::string_view name) {
  std::string wanted(name);
  std::optional<Face> found;
  auto lock = TextLayout::lock();
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(wanted.c_str()));
  if (!pattern) return std::nullopt;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match) {
    FcChar8* family = nullptr;
    FcChar8* requested = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
        FcPatternGetString(pattern, FC_FAMILY, 0, &requested) == FcResultMatch &&
        folded(reinterpret_cast<const char*>(family)) == folded(reinterpret_cast<const char*>(requested))) {
      int weight = 400;
      int fcWeight = 0;
      if (FcPatternGetInteger(pattern, FC_WEIGHT, 0, &fcWeight) == FcResultMatch) {
        weight = fcWeight >= FC_WEIGHT_BOLD ? 700 : fcWeight >= FC_WEIGHT_DEMIBOLD ? 600 : 400;
      }
      std::string familyName = reinterpret_cast<const char*>(family);
      found = Face{familyName, familyName, weight};
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pattern);
  return found;
}

double sanitisedSize(double size) {
  // Zero or less means the standard size, as the platform does.
  if (!(size > 0) || !std::isfinite(size)) return NSFont::systemFontSize();
  return std::min(size, 4096.0);
}

}  // namespace

std::shared_ptr<NSFont> NSFont::make(std::string name, std::string family, std::string renderFamily, int weight,
                                     double size) {
  // A font never changes: one description is measured once and shared, as the platform
  // shares its font objects (drawing asks for the system font at every label it draws).
  using Key = std::tuple<std::string, std::string, std::string, int, double>;
  static std::mutex madeMutex;
  static std::map<Key, std::shared_ptr<NSFont>> made;
  Key key{name, family, renderFamily, weight, sanitisedSize(size)};
  {
    std::lock_guard lock(madeMutex);
    if (auto found = made.find(key); found != made.end()) return found->second;
  }
  std::shared_ptr<NSFont> font(new NSFont());
  font->fontName_ = std::move(name);
  font->familyName_ = std::move(family);
  font->renderFamily_ = std::move(renderFamily);
  font->weight_ = weight;
  font->pointSize_ = sanitisedSize(size);

  auto lock = TextLayout::lock();
  PangoContext* context = TextLayout::measuringContext();
  PangoFontDescription* description = TextLayout::describe(font->fontForDrawing());
  if (PangoFont* loaded = pango_context_load_font(context, description)) {
    PangoFontMetrics* metrics = pango_font_get_metrics(loaded, nullptr);
    double ascent = pango_font_metrics_get_ascent(metrics) / double(PANGO_SCALE);
    double descent = pango_font_metrics_get_descent(metrics) / double(PANGO_SCALE);
    double height = pango_font_metrics_get_height(metrics) / double(PANGO_SCALE);
    font->ascender_ = ascent;
    font->descender_ = -descent;
    font->leading_ = std::max(0.0, height - ascent - descent);
    pango_font_metrics_unref(metrics);
    g_object_unref(loaded);
  }
  // Cap and x heights from the ink of "H" and "x" above the baseline.
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, description);
  for (auto [sample, target] : {std::pair{"H", &font->capHeight_}, std::pair{"x", &font->xHeight_}}) {
    pango_layout_set_text(layout, sample, -1);
    PangoRectangle ink;
    pango_layout_get_extents(layout, &ink, nullptr);
    double baseline = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
    *target = baseline - ink.y / double(PANGO_SCALE);
  }
  g_object_unref(layout);
  pango_font_description_free(description);
  std::lock_guard remember(madeMutex);
  // Sizes that animate could make fonts without end: past a bound the set starts over.
  if (made.size() >= 512) made.clear();
  made.emplace(key, font);
  return font;
}

std::shared_ptr<NSFont> NSFont::fontWithName(std::string_view name, double size) {
  if (name.empty()) return nullptr;
  if (auto face = knownFace(name)) return make(std::string(name), face->family, face->renderFamily, face->weight, size);
  if (auto face = installedFace(name)) return make(std::string(name), face->family, face->renderFamily, face->weight, size);
  return nullptr;
}

std::shared_ptr<NSFont> NSFont::systemFontOfSize(double size) { return systemFontOfSize(size, 400); }

std::shared_ptr<NSFont> NSFont::boldSystemFontOfSize(double size) {
  return make(".SFNS-Bold", "System Font", kStandIn, 700, size);
}

std::shared_ptr<NSFont> NSFont::systemFontOfSize(double size, int weight) {
  return make(weight >= 600 ? ".SFNS-Bold" : ".SFNS-Regular", "System Font", kStandIn,
              std::clamp(weight, 100, 900), size);
}

NSSize NSFont::sizeOfString(std::string_view text) const { return TextLayout::measureLine(fontForDrawing(), text); }

std::shared_ptr<NSFont> NSFont::fontWithSize(double size) const {
  return make(fontName_, familyName_, renderFamily_, weight_, size);
}

bool NSFont::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto font = asA<NSFont>(other);
  return font && font->fontName_ == fontName_ && font->pointSize_ == pointSize_;
}

std::size_t NSFont::hash() const { return std::hash<std::string>()(fontName_) ^ std::hash<double>()(pointSize_); }

std::string NSFont::description() const {
  char size[32];
  std::snprintf(size, sizeof size, "%g", pointSize_);
  return "\"" + fontName_ + "\" " + size + "pt";
}
