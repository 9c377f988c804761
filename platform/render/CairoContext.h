#pragma once
// The graphics context that draws pixels: Cairo onto an image surface, text with Pango,
// shadows by blurring the drawn shape's alpha. The canvas can be written as a PNG file or
// read back as pixels.

#include <cairo.h>

#include <expected>
#include <filesystem>

#include "platform/foundation/NSError.h"
#include "platform/quartz/GraphicsContext.h"

class CairoContext : public GraphicsContext {
 public:
  // A transparent canvas of the size in points at a number of pixels per point. Flipped:
  // the origin is the top-left corner and y grows downwards; otherwise the origin is the
  // bottom-left corner and y grows upwards, as in unflipped views and layers.
  static std::shared_ptr<CairoContext> make(NSSize size, double scale = 1.0, bool flipped = false);
  ~CairoContext() override;

  int pixelWidth() const { return width_; }
  int pixelHeight() const { return height_; }
  double pixelsPerPoint() const { return scale_; }
  // The canvas itself, for a host that shows it on screen (owned by the context).
  cairo_surface_t* surface() const { return surface_; }

  // Writes the canvas as PNG, making the folders on the way; failures are NSErrors.
  std::expected<void, std::shared_ptr<NSError>> writePNG(const std::filesystem::path& path) const;
  // The canvas's pixels (straight alpha), one per canvas pixel.
  CGImage pixels() const;

  void saveGState() override;
  void restoreGState() override;
  void translate(double dx, double dy) override;
  void scale(double sx, double sy) override;
  void setFillColor(const CGColor& color) override { state_.fill = color; }
  void setStrokeColor(const CGColor& color) override { state_.stroke = color; }
  void setLineWidth(double width) override { state_.lineWidth = width; }
  void setAlpha(double alpha) override { state_.alpha = alpha; }
  void setShadow(const std::optional<CGShadow>& shadow) override { state_.shadow = shadow; }
  void clipToPath(const CGPath& path, CGFillRule rule) override;
  void fillPath(const CGPath& path, CGFillRule rule) override;
  void strokePath(const CGPath& path) override;
  void drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations, NSPoint start,
                          NSPoint end) override;
  void drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction = 1.0) override;
  std::optional<NSRect> clipBoundingBox() const override;
  void drawText(const std::shared_ptr<const CGTextSource>& text, NSRect rect) override;
  void beginTransparencyLayer(double alpha) override;
  void endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask = nullptr) override;

 private:
  struct State {
    CGColor fill{0, 0, 0, 1};
    CGColor stroke{0, 0, 0, 1};
    double lineWidth = 1;
    double alpha = 1;
    std::optional<CGShadow> shadow;
  };
  struct Group {
    State before;
    double alpha;
    std::size_t savedDepth;
  };
  CairoContext() = default;
  void appendPath(const CGPath& path);
  // Runs a drawing step directly, or into a group composited with the state's alpha and shadow.
  template <typename Step>
  void perform(Step step, const std::optional<CGShadow>& shadow);
  void composite(cairo_pattern_t* pattern, double alpha, const std::optional<CGShadow>& shadow);
  // Moves to a space where the rectangle's top-left corner is the origin and y grows
  // downwards on screen, whichever way user space points.
  void uprightIn(NSRect rect);

  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int width_ = 0, height_ = 0;
  double scale_ = 1;
  State state_;
  std::vector<State> saved_;
  std::vector<Group> groups_;
};
