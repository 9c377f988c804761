#include "platform/appkit/NSColor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSData.h"
#include "platform/render/NSGraphicsContext.h"

namespace {

double unit(double value) {
  if (std::isnan(value)) return 0;
  return std::clamp(value, 0.0, 1.0);
}

struct Hsb {
  double hue, saturation, brightness;
};

Hsb hsbOf(const CGColor& c) {
  double maxC = std::max({c.red, c.green, c.blue});
  double minC = std::min({c.red, c.green, c.blue});
  double delta = maxC - minC;
  Hsb out{0, 0, maxC};
  if (maxC > 0) out.saturation = delta / maxC;
  if (delta > 0) {
    double h;
    if (maxC == c.red) {
      h = (c.green - c.blue) / delta;
      if (h < 0) h += 6;
    } else if (maxC == c.green) {
      h = (c.blue - c.red) / delta + 2;
    } else {
      h = (c.red - c.green) / delta + 4;
    }
    out.hue = h / 6;
  }
  return out;
}

std::shared_ptr<NSColor> shared(double r, double g, double b, double a) {
  return NSColor::colorWithRed(r, g, b, a);
}

}  // namespace

std::shared_ptr<NSColor> NSColor::colorWithRed(double red, double green, double blue, double alpha) {
  return create(::CGColor{unit(red), unit(green), unit(blue), unit(alpha)});
}

std::shared_ptr<NSColor> NSColor::colorWithCalibratedRed(double red, double green, double blue, double alpha) {
  return colorWithRed(red, green, blue, alpha);
}

std::shared_ptr<NSColor> NSColor::colorWithSRGBRed(double red, double green, double blue, double alpha) {
  return colorWithRed(red, green, blue, alpha);
}

std::shared_ptr<NSColor> NSColor::colorWithHue(double hue, double saturation, double brightness, double alpha) {
  double h = std::isnan(hue) ? 0 : hue - std::floor(hue);  // hue wraps around the circle
  double s = unit(saturation), v = unit(brightness);
  double sector = h * 6;
  int i = static_cast<int>(std::floor(sector)) % 6;
  double f = sector - std::floor(sector);
  double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
    case 0: return colorWithRed(v, t, p, alpha);
    case 1: return colorWithRed(q, v, p, alpha);
    case 2: return colorWithRed(p, v, t, alpha);
    case 3: return colorWithRed(p, q, v, alpha);
    case 4: return colorWithRed(t, p, v, alpha);
    default: return colorWithRed(v, p, q, alpha);
  }
}

std::shared_ptr<NSColor> NSColor::colorWithCalibratedHue(double hue, double saturation, double brightness,
                                                         double alpha) {
  return colorWithHue(hue, saturation, brightness, alpha);
}

std::shared_ptr<NSColor> NSColor::colorWithWhite(double white, double alpha) {
  return colorWithRed(white, white, white, alpha);
}

std::shared_ptr<NSColor> NSColor::colorWithCalibratedWhite(double white, double alpha) {
  return colorWithWhite(white, alpha);
}

std::shared_ptr<NSColor> NSColor::colorWithCGColor(const ::CGColor& color) {
  return colorWithRed(color.red, color.green, color.blue, color.alpha);
}

std::shared_ptr<NSColor> NSColor::whiteColor() { return shared(1, 1, 1, 1); }
std::shared_ptr<NSColor> NSColor::blackColor() { return shared(0, 0, 0, 1); }
std::shared_ptr<NSColor> NSColor::clearColor() { return shared(0, 0, 0, 0); }
std::shared_ptr<NSColor> NSColor::redColor() { return shared(1, 0, 0, 1); }
std::shared_ptr<NSColor> NSColor::greenColor() { return shared(0, 1, 0, 1); }
std::shared_ptr<NSColor> NSColor::blueColor() { return shared(0, 0, 1, 1); }
std::shared_ptr<NSColor> NSColor::yellowColor() { return shared(1, 1, 0, 1); }
std::shared_ptr<NSColor> NSColor::orangeColor() { return shared(1, 0.5, 0, 1); }
std::shared_ptr<NSColor> NSColor::grayColor() { return shared(0.5, 0.5, 0.5, 1); }
std::shared_ptr<NSColor> NSColor::lightGrayColor() { return shared(2.0 / 3, 2.0 / 3, 2.0 / 3, 1); }
std::shared_ptr<NSColor> NSColor::darkGrayColor() { return shared(1.0 / 3, 1.0 / 3, 1.0 / 3, 1); }
std::shared_ptr<NSColor> NSColor::labelColor() { return shared(0, 0, 0, 0.85); }
std::shared_ptr<NSColor> NSColor::textColor() { return shared(0, 0, 0, 1); }
std::shared_ptr<NSColor> NSColor::secondaryLabelColor() { return shared(0, 0, 0, 0.5); }
std::shared_ptr<NSColor> NSColor::textBackgroundColor() { return shared(1, 1, 1, 1); }
std::shared_ptr<NSColor> NSColor::controlColor() { return shared(1, 1, 1, 1); }
std::shared_ptr<NSColor> NSColor::controlTextColor() { return shared(0, 0, 0, 0.85); }
std::shared_ptr<NSColor> NSColor::controlBackgroundColor() { return shared(1, 1, 1, 1); }
std::shared_ptr<NSColor> NSColor::windowBackgroundColor() { return shared(236 / 255.0, 236 / 255.0, 236 / 255.0, 1); }
std::shared_ptr<NSColor> NSColor::selectedControlColor() { return shared(179 / 255.0, 215 / 255.0, 1, 1); }
std::shared_ptr<NSColor> NSColor::linkColor() { return shared(0, 104 / 255.0, 218 / 255.0, 1); }
std::shared_ptr<NSColor> NSColor::keyboardFocusIndicatorColor() { return shared(0, 103 / 255.0, 244 / 255.0, 0.5); }
std::shared_ptr<NSColor> NSColor::systemGreenColor() { return shared(52 / 255.0, 199 / 255.0, 89 / 255.0, 1); }
std::shared_ptr<NSColor> NSColor::systemRedColor() { return shared(1, 59 / 255.0, 48 / 255.0, 1); }

double NSColor::hueComponent() const { return hsbOf(color_).hue; }
double NSColor::saturationComponent() const { return hsbOf(color_).saturation; }
double NSColor::brightnessComponent() const { return hsbOf(color_).brightness; }

void NSColor::getRed(double* red, double* green, double* blue, double* alpha) const {
  if (red) *red = color_.red;
  if (green) *green = color_.green;
  if (blue) *blue = color_.blue;
  if (alpha) *alpha = color_.alpha;
}

void NSColor::getHue(double* hue, double* saturation, double* brightness, double* alpha) const {
  Hsb hsb = hsbOf(color_);
  if (hue) *hue = hsb.hue;
  if (saturation) *saturation = hsb.saturation;
  if (brightness) *brightness = hsb.brightness;
  if (alpha) *alpha = color_.alpha;
}

std::shared_ptr<NSColor> NSColor::colorWithAlphaComponent(double alpha) const {
  return colorWithRed(color_.red, color_.green, color_.blue, alpha);
}

void NSColor::set() const {
  if (auto context = NSGraphicsContext::currentContext()) {
    context->CGContext().setFillColor(color_);
    context->CGContext().setStrokeColor(color_);
  }
}

void NSColor::setFill() const {
  if (auto context = NSGraphicsContext::currentContext()) context->CGContext().setFillColor(color_);
}

void NSColor::setStroke() const {
  if (auto context = NSGraphicsContext::currentContext()) context->CGContext().setStrokeColor(color_);
}

std::string NSColor::description() const {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "NSColor(%.3f %.3f %.3f %.3f)", color_.red, color_.green, color_.blue,
                color_.alpha);
  return buffer;
}

namespace {
const NSCodingRegistration colorRegistration{"NSColor", &NSColor::initWithCoder};
constexpr std::int64_t kRGBSpace = 1;
constexpr std::int64_t kWhiteSpace = 3;
}  // namespace

void NSColor::encodeWithCoder(NSCoder& coder) const {
  char text[128];
  int length = std::snprintf(text, sizeof text, "%.17g %.17g %.17g %.17g", color_.red, color_.green, color_.blue,
                             color_.alpha);
  std::string components(text, static_cast<std::size_t>(std::max(0, length)));
  components.push_back('\0');  // the platform ends the text with a zero byte
  coder.encodeInt64(kRGBSpace, "NSColorSpace");
  coder.encodeObject(NSData::fromString(components), "NSRGB");
}

std::shared_ptr<NSColor> NSColor::initWithCoder(NSCoder& coder) {
  std::int64_t space = coder.decodeInt64ForKey("NSColorSpace");
  const char* key = space == kWhiteSpace || space == kWhiteSpace + 1 ? "NSWhite" : "NSRGB";
  auto data = coder.decodeObjectOfClass<NSData>(key);
  if (!data || !*data) return nullptr;
  std::string text = (*data)->string();
  text = text.substr(0, text.find('\0'));
  double c[4] = {0, 0, 0, 1};
  int read = 0;
  const char* at = text.c_str();
  while (read < 4) {
    char* end = nullptr;
    double value = std::strtod(at, &end);
    if (end == at) break;
    c[read++] = value;
    at = end;
  }
  if (key == std::string_view("NSWhite")) {
    if (read < 1) return nullptr;
    return colorWithWhite(c[0], read >= 2 ? c[1] : 1);
  }
  if (read < 3) return nullptr;
  return colorWithRed(c[0], c[1], c[2], read >= 4 ? c[3] : 1);
}
