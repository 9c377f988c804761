#include "ui/NSColorPalette.h"

std::shared_ptr<NSColor> NSColorPalette::initWithFullChannel(double red, double green, double blue, double alpha) {
  return NSColor::colorWithRed(red / 255.0, green / 255.0, blue / 255.0, alpha / 255.0);
}

std::shared_ptr<NSColor> NSColorPalette::colorWithBrightness(const NSColor& color, double factor) {
  double hue = 0, saturation = 0, brightness = 0, alpha = 0;
  color.getHue(&hue, &saturation, &brightness, &alpha);
  return NSColor::colorWithHue(hue, saturation, brightness * factor, alpha);
}

std::shared_ptr<NSColor> NSColorPalette::colorWithDarkerTone(const NSColor& color, double amount) {
  return colorWithBrightness(color, 1.0 - amount);
}

// Function-local statics: made once, on first use, safely from any thread.
#define GLIMDECK_PALETTE_COLOUR(name, r, g, b, a)               \
  std::shared_ptr<NSColor> NSColorPalette::name() {             \
    static const auto colour = initWithFullChannel(r, g, b, a); \
    return colour;                                              \
  }

GLIMDECK_PALETTE_COLOUR(standardBlue, 0, 122, 221, 255)
GLIMDECK_PALETTE_COLOUR(standardShadowBlack, 0, 0, 0, 89.25)
GLIMDECK_PALETTE_COLOUR(standardBorderGray, 232, 232, 232, 255)
GLIMDECK_PALETTE_COLOUR(textFieldTextOffBlack, 23, 23, 23, 255)
GLIMDECK_PALETTE_COLOUR(standardOffWhite, 250, 250, 250, 255)
GLIMDECK_PALETTE_COLOUR(standardMediumGray, 199, 199, 199, 255)
GLIMDECK_PALETTE_COLOUR(errorRed, 238, 51, 34, 255)
GLIMDECK_PALETTE_COLOUR(placeholderGray, 199, 199, 199, 255)
GLIMDECK_PALETTE_COLOUR(autosuggestSelectionOffWhite, 247, 247, 247, 255)
GLIMDECK_PALETTE_COLOUR(standardTextOffBlack, 23, 23, 23, 255)
GLIMDECK_PALETTE_COLOUR(searchBarGradientColorLeft, 76, 175, 255, 255)
GLIMDECK_PALETTE_COLOUR(searchBarGradientColorRight, 46, 147, 230, 255)
#undef GLIMDECK_PALETTE_COLOUR

std::shared_ptr<NSColor> NSColorPalette::cellLoadingGray() {
  // The one colour given in 0-1 units.
  static const auto colour = NSColor::colorWithRed(0.16, 0.16, 0.16, 1.0);
  return colour;
}
