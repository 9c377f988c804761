#pragma once
// The application's colours, each made once on first use and shared, and the tone helpers
// that derive lighter and darker colours from them.

#include <memory>

#include "platform/appkit/NSColor.h"

struct NSColorPalette {
  // A colour from 0-255 channels (alpha included).
  static std::shared_ptr<NSColor> initWithFullChannel(double red, double green, double blue, double alpha);
  // The colour's hue, saturation and alpha with its brightness times the factor.
  static std::shared_ptr<NSColor> colorWithBrightness(const NSColor& color, double factor);
  // colorWithBrightness(1 - amount).
  static std::shared_ptr<NSColor> colorWithDarkerTone(const NSColor& color, double amount);

  static std::shared_ptr<NSColor> standardBlue();
  static std::shared_ptr<NSColor> standardShadowBlack();
  static std::shared_ptr<NSColor> standardBorderGray();
  static std::shared_ptr<NSColor> textFieldTextOffBlack();
  static std::shared_ptr<NSColor> standardOffWhite();
  static std::shared_ptr<NSColor> standardMediumGray();
  static std::shared_ptr<NSColor> cellLoadingGray();
  static std::shared_ptr<NSColor> errorRed();
  static std::shared_ptr<NSColor> placeholderGray();
  static std::shared_ptr<NSColor> autosuggestSelectionOffWhite();
  static std::shared_ptr<NSColor> standardTextOffBlack();
  static std::shared_ptr<NSColor> searchBarGradientColorLeft();
  static std::shared_ptr<NSColor> searchBarGradientColorRight();
};
