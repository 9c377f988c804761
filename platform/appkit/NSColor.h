#pragma once
// A colour in the sRGB space with alpha, readable as RGB or as hue, saturation and brightness.
// Colours are immutable and compare by value.

#include <memory>
#include <string>

#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSObject.h"
#include "platform/quartz/CGColorValue.h"

class NSColor : public CGColorValue, public NSCoding {
 public:
  // Components outside 0...1 are clamped.
  static std::shared_ptr<NSColor> colorWithRed(double red, double green, double blue, double alpha);
  static std::shared_ptr<NSColor> colorWithCalibratedRed(double red, double green, double blue, double alpha);
  static std::shared_ptr<NSColor> colorWithSRGBRed(double red, double green, double blue, double alpha);
  static std::shared_ptr<NSColor> colorWithHue(double hue, double saturation, double brightness, double alpha);
  static std::shared_ptr<NSColor> colorWithCalibratedHue(double hue, double saturation, double brightness,
                                                         double alpha);
  static std::shared_ptr<NSColor> colorWithWhite(double white, double alpha);
  static std::shared_ptr<NSColor> colorWithCalibratedWhite(double white, double alpha);
  static std::shared_ptr<NSColor> colorWithCGColor(const ::CGColor& color);

  static std::shared_ptr<NSColor> whiteColor();
  static std::shared_ptr<NSColor> blackColor();
  static std::shared_ptr<NSColor> clearColor();
  static std::shared_ptr<NSColor> redColor();
  static std::shared_ptr<NSColor> greenColor();
  static std::shared_ptr<NSColor> blueColor();
  static std::shared_ptr<NSColor> yellowColor();
  static std::shared_ptr<NSColor> orangeColor();
  static std::shared_ptr<NSColor> grayColor();
  static std::shared_ptr<NSColor> lightGrayColor();
  static std::shared_ptr<NSColor> darkGrayColor();
  // The system's semantic colours, fixed to their light-appearance values.
  static std::shared_ptr<NSColor> labelColor();
  static std::shared_ptr<NSColor> textColor();
  static std::shared_ptr<NSColor> secondaryLabelColor();
  static std::shared_ptr<NSColor> textBackgroundColor();
  static std::shared_ptr<NSColor> controlColor();
  static std::shared_ptr<NSColor> controlTextColor();
  static std::shared_ptr<NSColor> controlBackgroundColor();
  static std::shared_ptr<NSColor> windowBackgroundColor();
  static std::shared_ptr<NSColor> selectedControlColor();
  static std::shared_ptr<NSColor> linkColor();
  static std::shared_ptr<NSColor> keyboardFocusIndicatorColor();
  static std::shared_ptr<NSColor> systemGreenColor();
  static std::shared_ptr<NSColor> systemRedColor();

  double redComponent() const { return color_.red; }
  double greenComponent() const { return color_.green; }
  double blueComponent() const { return color_.blue; }
  double alphaComponent() const { return color_.alpha; }
  double hueComponent() const;
  double saturationComponent() const;
  double brightnessComponent() const;
  void getRed(double* red, double* green, double* blue, double* alpha) const;
  void getHue(double* hue, double* saturation, double* brightness, double* alpha) const;

  std::shared_ptr<NSColor> colorWithAlphaComponent(double alpha) const;

  // Makes this the fill and stroke colour (set), or only one of them, of the current
  // graphics context; without a current context nothing happens.
  void set() const;
  void setFill() const;
  void setStroke() const;

  // Keyed archiving: the colour space (1, RGB) and the components as text under "NSRGB",
  // the way the platform writes colours. Archives without readable components give none.
  void encodeWithCoder(NSCoder& coder) const override;
  static std::shared_ptr<NSColor> initWithCoder(NSCoder& coder);

  GLIMDECK_OBJECT(NSColor)
  // "NSColor(r g b a)" with three decimals.
  std::string description() const override;

 private:
  explicit NSColor(::CGColor color) : CGColorValue(color) {}
};
