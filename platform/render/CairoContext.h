#pragma once
// The graphics context that draws pixels: Cairo onto an image surface, text with Pango,
// shadows by blurring the drawn shape's alpha. The canvas can be written as a PNG file or
// read back as pixels.
//
// Work follows what is drawn, not the canvas: drawing that cannot reach the clip is left
// out, a transparency layer and a shadow cover only the pixels their contents reach (a
// layer that receives nothing costs nothing), a shadow's blurred mask is kept while its
// shape stays the same, and a picture drawn again at the same size is copied from what
// the last drawing made of it (see CGImageDrawingCache).

#include <cairo.h>

#include <expected>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/quartz/GraphicsContext.h"
#include "platform/render/KeptPictures.h"
#include "platform/render/PixelBox.h"
#include "platform/render/RecentlyUsed.h"
#include "platform/render/TextPictureCache.h"

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
  void clipToRect(NSRect rect) override;
  void clipToPath(const CGPath& path, CGFillRule rule) override;
  void fillRect(NSRect rect) override;
  void fillPath(const CGPath& path, CGFillRule rule) override;
  void castShadowOfPath(const CGPath& path, CGFillRule rule, NSRect covered, NSRect alsoCovered = NSZeroRect) override;
  void strokePath(const CGPath& path) override;
  void drawLinearGradient(const std::vector<CGColor>& colors, const std::vector<double>& locations, NSPoint start,
                          NSPoint end) override;
  void drawImage(const std::shared_ptr<const CGImageSource>& image, NSRect rect, double fraction = 1.0) override;
  std::optional<NSRect> clipBoundingBox() const override;
  NSSize deviceSizeOf(NSRect rect) const override;
  void drawText(const std::shared_ptr<const CGTextSource>& text, NSRect rect) override;
  void beginTransparencyLayer(double alpha) override;
  void beginTransparencyLayerWithRect(NSRect rect, double alpha) override;
  void endTransparencyLayer(const std::function<void(GraphicsContext&)>& mask = nullptr) override;
  void endTransparencyLayerMaskedToRoundedRect(NSRect rect, double radius) override;

  bool coversWholly(NSRect cover, NSRect beneath) const override;

  // Pixels of shadow masks blurred since the context was made (the rest came from the cache).
  std::size_t shadowPixelsBlurred() const { return shadowPixelsBlurred_; }
  // Pixels of gradients worked out since the context was made (the rest were copied).
  std::size_t gradientPixelsMade() const { return gradientPixelsMade_; }

  // Kept pictures (a rasterizing layer's tree): made on a canvas of their own at the
  // device pixels they cover here, then laid on through the clip. See GraphicsContext.
  bool drawKeptPicture(const std::shared_ptr<const void>& owner, std::uint64_t change, NSRect area, double alpha,
                       const std::function<bool(GraphicsContext&)>& draw) override;
  // Kept pictures made since the context was made (each one's drawing run once).
  std::size_t keptPicturesMade() const { return keptPicturesMade_; }
  const KeptPictures& keptPictures() const { return keptPictures_; }

 private:
  // A clip in canvas pixels, its edges anywhere within pixels.
  struct ClipRect {
    double x0, y0, x1, y1;
    bool whole() const;  // whether its edges run between pixels
  };
  struct State {
    CGColor fill{0, 0, 0, 1};
    CGColor stroke{0, 0, 0, 1};
    double lineWidth = 1;
    double alpha = 1;
    std::optional<CGShadow> shadow;
    // The clip while it is exactly this rectangle; none once it may be of another shape.
    std::optional<ClipRect> clip;
    // For a saved state: whether Cairo's state was saved with it (see saveGState).
    bool savedInCairo = false;
  };
  struct Group {
    State before;
    double alpha;
    std::size_t savedDepth;
    // A layer the clip misses (or one of alpha 0) is not made: what is drawn into it is dropped.
    bool skipped = false;
    PixelBox ink;  // the canvas pixels its contents reached
    // The pixels it holds: where it shows, and a little around (and with a shadow, what
    // casts the shadow into the clip).
    PixelBox region;
    // An opaque fill over all it holds, drawn first and not yet laid on (see holdBack).
    std::optional<CGColor> heldFill;
    // Whether every pixel it holds is opaque (an opaque fill over all of it came first, and
    // what is drawn over an opaque pixel leaves it opaque).
    bool opaqueWithin = false;
  };
  // Where a shadow goes relative to its shape, in canvas pixels.
  struct ShadowReach {
    int spread = 0;   // how far the blur carries the shape's alpha
    int radius = 0;   // of each box blur pass
    double dx = 0, dy = 0;
  };
  CairoContext() = default;
  // Saves Cairo's state for the innermost saved state, unless done: before a change of
  // Cairo's matrix or clip that a restore must undo.
  void willChangeCairoState();
  // Restores the innermost saved state.
  void restoreSaved();
  void beginGroup(std::optional<NSRect> rect, double alpha);
  void appendPath(cairo_t* cr, const CGPath& path) const;
  // Fills the path opaquely: a shape's alpha, for a mask.
  void fillShape(cairo_t* cr, const CGPath& path, CGFillRule rule) const;
  PixelBox clipBox() const;
  PixelBox deviceBoxOf(NSRect rect) const;
  ShadowReach reachOf(const CGShadow& shadow) const;
  PixelBox shadowBoxOf(const PixelBox& shape, const ShadowReach& reach) const;
  void noteInk(const PixelBox& box);
  // A fresh layer's first drawing, an opaque fill of all it holds (a rounded face's
  // background), is held back: an opaque picture drawn next over all of it (the face's
  // playing GIF) replaces it. True when the fill of the rectangle was held back.
  bool holdBack(NSRect rect);
  // Lays on the fill held back in the innermost layer, before anything else is drawn there
  // (over the boxes given, in canvas pixels, when the rest needs none).
  void layHeldFill();
  void layHeldFill(std::span<const PixelBox> parts);
  // Lays on the held fill where the picture, about to be laid on, does not replace it:
  // nowhere when it is opaque and covers all the layer holds inside whole pixels of the clip.
  void layHeldFillUnder(const CGImageSource& source, const CGImage& frame, NSRect rect, double fraction);
  // Draws one step that covers `box` (canvas pixels) with the state's alpha and shadow.
  template <typename Step>
  void perform(const PixelBox& box, Step step, const std::optional<CGShadow>& shadow);
  // The blurred shadow of what `render` draws (onto a mask surface set up like the canvas).
  template <typename Render>
  void drawShadow(const PixelBox& shape, const PixelBox& clip, const CGShadow& shadow, double alpha, Render render);
  void composite(cairo_pattern_t* pattern, double alpha, const std::optional<CGShadow>& shadow, const PixelBox& ink);
  // Runs `paint` (which lays a whole layer on) over the box of canvas pixels, within the clip.
  template <typename Paint>
  void layOn(const PixelBox& box, Paint paint);
  // Whether the clip is one rectangle with edges inside pixels that covers the box wholly.
  bool insideClip(const PixelBox& box) const;
  // Moves to a space where the rectangle's top-left corner is the origin and y grows
  // downwards on screen, whichever way user space points.
  void uprightIn(cairo_t* cr, NSRect rect) const;
  // Draws a picture's pixels made once for the size they cover on the canvas; false when
  // the picture or the placement does not allow it.
  // False when the picture can neither be laid on from a kept copy nor (while a worker
  // makes that copy) scaled onto the pixels the copy will take.
  bool drawCachedImage(const CGImageSource& source, const CGImage& frame, NSRect rect, double fraction);
  void drawTextLaidOut(const CGText& text, NSRect rect, const std::optional<CGShadow>& shadow);
  // The picture of laid-out text, made now unless an equal one was made before.
  std::shared_ptr<const TextPictureCache::Picture> textPicture(const TextPictureCache::Key& key);

  struct DrawingKeyHash {
    std::size_t operator()(const std::vector<double>& key) const;
  };
  // Masks kept by what they were made of: for a shape's whole shadow, blurred once, the shape
  // (its path in user space, placed on the canvas up to whole pixels) and the blur, the mask
  // over the shape's pixels grown by the blur's spread.
  using KeptMasks = RecentlyUsed<std::vector<double>, KeptSurface, DrawingKeyHash>;
  // The blurred mask of the shadow the path casts, its pixels from the shape's box grown by
  // the spread; owned by the context.
  cairo_surface_t* shapeShadow(const CGPath& path, CGFillRule rule, const PixelBox& box, const ShadowReach& reach);
  // Sets shadowKey_ to what a shape's blurred mask is kept by.
  void makeShadowKey(const CGPath& path, CGFillRule rule, const PixelBox& box, const ShadowReach& reach);
  // The shape's shadow in the colour at the alpha, as the canvas takes it laid through the
  // blurred mask, over the same pixels as the mask; owned by the context. Null when it is
  // too large to keep.
  cairo_surface_t* shadowPicture(const CGPath& path, CGFillRule rule, const PixelBox& box, const ShadowReach& reach,
                                 const CGColor& colour, double alpha);
  // Whether the clip is one rectangle whose whole pixels hold the box.
  bool wholePixelsOfClipHold(const PixelBox& box) const;
  // Lays the source that `setSource` sets (in canvas pixels) on over the boxes, which whole
  // pixels of the clip hold.
  template <typename SetSource>
  void layOnParts(std::span<const PixelBox> parts, SetSource setSource);

  // Ends the innermost layer, through the mask that the drawer draws or, when it is given
  // instead, the kept mask of the rounded rectangle.
  void endGroup(const std::function<void(GraphicsContext&)>& mask, const std::pair<NSRect, double>* rounded);
  // A new mask of the path filled opaquely, over the area's canvas pixels: placed as on the
  // canvas but moved by (dx, dy) from the mask's corner.
  cairo_surface_t* filledMask(const CGPath& path, CGFillRule rule, const PixelBox& area, double dx, double dy) const;
  // Keeps a mask among the most recently used of its kind, the oldest beyond a few dozen dropped.
  static cairo_surface_t* keepMask(KeptMasks& kept, std::vector<double> key, cairo_surface_t* mask);
  // The opaque fill of a rounded rectangle (user space) as a mask over its pixels, kept for
  // the same shape at the same place within a pixel (a tile's rounded face at every frame);
  // owned by the context. Null when it is too large to keep.
  struct RoundedMask {
    KeptSurface surface;
    // Boxes of the mask's pixels that are wholly opaque: the rows between the corners and
    // the columns between them (in the mask's pixels).
    PixelBox across, down;
  };
  const RoundedMask* roundedMask(NSRect rect, double radius, const PixelBox& box);
  // The alpha that the drawer draws over the region (canvas pixels), as a pattern.
  cairo_pattern_t* drawnMask(const std::function<void(GraphicsContext&)>& mask, const PixelBox& region);

  // A gradient's pixels over a part of the canvas, kept while it is drawn again at the same
  // place, by its ends on the canvas, colours and locations.
  struct GradientPicture {
    PixelBox box;  // the part made
    KeptSurface surface;
  };
  // The gradient's pixels over (at least) the box, made now unless kept; the most recently
  // used of gradients_ then. Null when the box is too large to keep.
  cairo_surface_t* gradientPicture(const std::vector<CGColor>& colors, const std::vector<double>& locations,
                                   NSPoint start, NSPoint end, const PixelBox& box);

  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int width_ = 0, height_ = 0;
  double scale_ = 1;
  State state_;
  std::vector<State> saved_;
  std::vector<Group> groups_;
  int skipping_ = 0;  // open layers that are not made
  std::size_t shadowPixelsBlurred_ = 0;
  std::size_t gradientPixelsMade_ = 0;
  KeptMasks shapeShadows_;
  std::vector<double> shadowKey_;  // what shapeShadow looks its masks up by
  // Shadows in their colours, kept by the mask's key and the colour (see shadowPicture).
  KeptMasks shadowPictures_;
  std::vector<double> pictureKey_;
  long shadowPicturePixels_ = 0;
  RecentlyUsed<std::vector<double>, RoundedMask, DrawingKeyHash> roundedMasks_;
  RecentlyUsed<std::vector<double>, GradientPicture, DrawingKeyHash> gradients_;

  // A picture of what `draw` draws over the box of canvas pixels, placed as the canvas is
  // now, on a canvas of its own; null when none can be made. `keep` tells what draw answered.
  cairo_surface_t* pictureOver(const PixelBox& box, const std::function<bool(GraphicsContext&)>& draw, bool& keep);
  KeptPictures keptPictures_;
  std::size_t keptPicturesMade_ = 0;
};
