#pragma once
// The one drawing interface of the platform. Views, cells and layers draw through it; a
// recording backend keeps every call for tests and a Cairo backend turns them into pixels.
//
// Coordinates are the caller's user space as moved by translate/scale; text and images are
// always drawn upright whichever way the y axis points. Shadow offsets are in the base
// space: a negative height puts the shadow below the shape on screen.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGColor.h"
#include "platform/quartz/CGImage.h"
#include "platform/quartz/CGPath.h"
#include "platform/quartz/CGText.h"

class GraphicsContext {
 public:
  virtual ~GraphicsContext() = default;

  // The state (colours, line width, alpha, shadow, transform, clip) is a stack.
  virtual void saveGState() = 0;
  virtual void restoreGState() = 0;
  virtual void translate(double dx, double dy) = 0;
  virtual void scale(double sx, double sy) = 0;

  virtual void setFillColor(const CGColor& color) = 0;
  virtual void setStrokeColor(const CGColor& color) = 0;
  virtual void setLineWidth(double width) = 0;
  // Multiplies the alpha of everything drawn after it.
  virtual void setAlpha(double alpha) = 0;
  // A shadow under everything drawn after it; none removes it.
  virtual void setShadow(const std::optional<CGShadow>& shadow) = 0;

  virtual void clipToRect(NSRect rect) { clipToPath(CGPath::rect(rect), CGFillRule::nonZero); }
  virtual void clipToPath(const CGPath& path, CGFillRule rule) = 0;

  virtual void fillRect(NSRect rect) { fillPath(CGPath::rect(rect), CGFillRule::nonZero); }
  virtual void strokeRect(NSRect rect) { strokePath(CGPath::rect(rect)); }
  virtual void fillRoundedRect(NSRect rect, double radius) {
    fillPath(CGPath::roundedRect(rect, radius), CGFillRule::nonZero);
  }
  virtual void strokeRoundedRect(NSRect rect, double radius) { strokePath(CGPath::roundedRect(rect, radius)); }
  virtual void fillEllipse(NSRect rect) { fillPath(CGPath::ellipse(rect), CGFillRule::nonZero); }
  virtual void strokeEllipse(NSRect rect) { strokePath(CGPath::ellipse(rect)); }
  virtual void fillPath(const CGPath& path, CGFillRule rule) = 0;
  // Draws only the shadow (the state's) that filling the path would cast, not the fill:
  // drawing that will cover the shape exactly, whatever it shows, casts its shadow up
  // front and is then drawn as it is, without a layer to work the shadow out from. Inside
  // `covered` and `alsoCovered` (user space; either may be empty) the caller is about to
  // draw opaquely, so the shadow need not be drawn there.
  virtual void castShadowOfPath(const CGPath& path, CGFillRule rule, NSRect covered, NSRect alsoCovered = NSZeroRect) = 0;
  virtual void strokePath(const CGPath& path) = 0;

  // The current path, built piece by piece and used up by fill, stroke or clip.
  virtual void beginPath() { path_.clear(); }
  virtual void moveTo(NSPoint point) { path_.moveTo(point); }
  virtual void lineTo(NSPoint point) { path_.lineTo(point); }
  virtual void curveTo(NSPoint control1, NSPoint control2, NSPoint point) {
    path_.curveTo(control1, control2, point);
  }
  virtual void addArc(NSPoint centre, double radius, double startAngle, double endAngle, bool clockwise) {
    path_.addArc(centre, radius, startAngle, endAngle, clockwise);
  }
  virtual void addRect(NSRect rect) { path_.addRect(rect); }
  virtual void addPath(const CGPath& path) { path_.addPath(path); }
  virtual void closePath() { path_.closePath(); }
  void fillCurrentPath(CGFillRule rule = CGFillRule::nonZero) { fillPath(takePath(), rule); }
  void strokeCurrentPath() { strokePath(takePath()); }
  void clipToCurrentPath(CGFillRule rule = CGFillRule::nonZero) { clipToPath(takePath(), rule); }
  const CGPath& currentPath() const { return path_; }

  // Colours spread between start and end at the given locations (0...1; empty spreads
  // them evenly), filling the clip area and extending the end colours beyond the ends.
  virtual void drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                  NSPoint start, NSPoint end) = 0;
  // Draws the image scaled into the rectangle with the given opacity.
  virtual void drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction = 1.0) = 0;
  // How many device pixels a rectangle of user space spans across and down (a picture made
  // at that size is shown without scaling).
  virtual NSSize deviceSizeOf(NSRect rect) const { return rect.size; }
  // The bounding box of the clip area in user space, when the context knows it: drawing
  // that lies wholly outside it can be skipped (and with it the work of making it).
  virtual std::optional<NSRect> clipBoundingBox() const { return std::nullopt; }
  // Lays the text out in the rectangle's width, wrapping at words, from its top edge.
  virtual void drawText(const std::shared_ptr<const CGTextSource>& text, NSRect rect) = 0;

  // Draws what follows into a separate layer that is composited as one when it ends,
  // with the alpha given here and the shadow in effect at its beginning. A mask drawer, if
  // given to the end, draws a shape whose alpha the layer is multiplied with.
  virtual void beginTransparencyLayer(double alpha) = 0;
  // The same, when everything the layer will hold lies within the rectangle (user space):
  // a backend may then make the layer no larger, and leave out a layer the clip misses.
  virtual void beginTransparencyLayerWithRect(NSRect /*rect*/, double alpha) { beginTransparencyLayer(alpha); }
  virtual void endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask = nullptr) = 0;
  // Ends the layer with the mask of a rounded rectangle (user space) filled opaquely: a
  // backend may keep that mask for a layer ended so again at the same place.
  virtual void endTransparencyLayerMaskedToRoundedRect(NSRect rect, double radius) {
    endTransparencyLayer([&](GraphicsContext& mask) {
      mask.setFillColor(CGColor{0, 0, 0, 1});
      mask.fillRoundedRect(rect, radius);
    });
  }

  // Whether an opaque picture drawn now into `cover` (user space) would replace every pixel
  // that drawing inside `beneath` could change, so that the drawing beneath may be left out.
  // A context that does not follow its clip in pixels cannot tell, and answers false.
  virtual bool coversWholly(NSRect /*cover*/, NSRect /*beneath*/) const { return false; }

  // A picture kept between drawings: lays on, with the alpha, what `draw` draws (in user
  // space, all of it within `area`, as onto a clear canvas), made over the device pixels
  // the area covers and kept for the owner. It is made again when `change` differs from the
  // number it was made with, when the area covers another number of pixels or lies
  // otherwise within them, or the space is scaled or turned otherwise; a move by whole
  // pixels keeps it. `draw` answers whether its picture may be kept (not when it moves with
  // the clock). Answers false, having drawn nothing, when the context keeps no pictures or
  // cannot keep this one: the caller then draws as it would without.
  virtual bool drawKeptPicture(const std::shared_ptr<const void>& /*owner*/, std::uint64_t /*change*/,
                               NSRect /*area*/, double /*alpha*/,
                               const std::function<bool(GraphicsContext&)>& /*draw*/) {
    return false;
  }

 protected:
  CGPath takePath() {
    CGPath taken = std::move(path_);
    path_.clear();
    return taken;
  }

 private:
  CGPath path_;
};
