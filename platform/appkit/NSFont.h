#pragma once
// A font: a face at a point size. The application's Avenir Next faces are mapped onto an
// installed family of similar shape (Lato) through fontconfig; metrics are measured with
// Pango on the face actually used, so layout follows what is drawn.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/quartz/CGText.h"

class NSFont : public NSObject {
 public:
  // The font of that PostScript or display name; none when no installed face carries the
  // name (the Avenir Next names, the system faces and installed families are known).
  static std::shared_ptr<NSFont> fontWithName(std::string_view name, double size);
  static std::shared_ptr<NSFont> systemFontOfSize(double size);
  static std::shared_ptr<NSFont> boldSystemFontOfSize(double size);
  static std::shared_ptr<NSFont> systemFontOfSize(double size, int weight);
  static double systemFontSize() { return 13.0; }

  const std::string& fontName() const { return fontName_; }
  // The family the name belongs to ("Avenir Next").
  const std::string& familyName() const { return familyName_; }
  // The installed family that draws it ("Lato") and its weight (CSS scale, 400 regular).
  const std::string& renderFamily() const { return renderFamily_; }
  int weight() const { return weight_; }
  double pointSize() const { return pointSize_; }
  // The installed face that draws this font, as the drawing layer takes it.
  CGFont fontForDrawing() const { return {renderFamily_, weight_, pointSize_}; }

  // Distances from the baseline in points: ascender above (positive), descender below
  // (negative), as the platform reports them.
  double ascender() const { return ascender_; }
  double descender() const { return descender_; }
  double capHeight() const { return capHeight_; }
  double xHeight() const { return xHeight_; }
  double leading() const { return leading_; }
  // ascender - descender + leading: the distance between two baselines.
  double defaultLineHeight() const { return ascender_ - descender_ + leading_; }

  // The size of a single line of text set in this font.
  NSSize sizeOfString(std::string_view text) const;
  std::shared_ptr<NSFont> fontWithSize(double size) const;

  std::string className() const override { return "NSFont"; }
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  // "\"AvenirNext-DemiBold\" 13pt"
  std::string description() const override;

 private:
  NSFont() = default;
  static std::shared_ptr<NSFont> make(std::string name, std::string family, std::string renderFamily, int weight,
                                      double size);
  std::string fontName_, familyName_, renderFamily_;
  int weight_ = 400;
  double pointSize_ = 12;
  double ascender_ = 0, descender_ = 0, capHeight_ = 0, xHeight_ = 0, leading_ = 0;
};
