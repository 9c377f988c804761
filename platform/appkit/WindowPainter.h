#pragma once
// The pixels of a window on a display, kept between display passes: a canvas at the
// display's scale that each pass paints again only where the picture may have changed.
//
// What changed is worked out from the view tree itself, not only from the views that asked
// for display: a view's extent (its bounds, its layer's sublayers and shadow, clipped by its
// superviews) is remembered from one pass to the next, and a view that needs display, whose
// extent moved, whose alpha or layer changed, or that left the tree since, has its old and
// its new extent painted again; so is every layer that asks for display or is animating,
// and, around a change inside a view whose layer casts a shadow, the reach of that shadow
// (what the view's subviews draw casts it), unless the change lies within an opaque view
// that masks to its bounds, whose shape nothing inside it changes.
// The rectangles are widened to whole device pixels (an edge inside a pixel would be cleared
// and redrawn partly, leaving a seam), joined where they overlap and painted one at a time
// (Cairo rasterises an edge's partly covered pixels alike under any one rectangular clip,
// not under a set); a shadow they cut into is worked out from its whole shape by the
// context. So after any sequence of changes the canvas holds what a full painting of the
// same tree gives.
// The walk keeps the tree it met, and passes by a subtree whose change number (see
// TreeChange: every change of a view, a layer or the subviews below gives one) is the one
// it met, placed and clipped as before, with no layer in it animating: nothing in it can
// have changed, and what it covered is known. So a pass costs about what changed in it,
// not the size of the tree.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/NSGeometry.h"

class NSView;
class NSWindow;
class CairoContext;
class CALayer;
class CAGradientLayer;

class WindowPainter {
 public:
  explicit WindowPainter(const std::shared_ptr<NSWindow>& window);
  ~WindowPainter();
  WindowPainter(const WindowPainter&) = delete;
  WindowPainter& operator=(const WindowPainter&) = delete;

  // Paints a canvas of the size (points) at the scale: what changed since the last pass, or
  // everything when asked, the first time and after a change of size or scale. Answers the
  // rectangles painted (disjoint), in the window's base coordinates, on whole pixels.
  std::vector<NSRect> paint(NSSize size, double scale, bool whole = false);
  // The rectangles the next pass would paint (each view's state is left as it is).
  std::vector<NSRect> damage(double scale);

  const std::shared_ptr<CairoContext>& canvas() const { return canvas_; }
  double scale() const { return scale_; }
  // The views met by the last pass whose layers animate: their pictures change with the
  // clock alone, so they need painting at every frame while the animations run.
  const std::vector<std::weak_ptr<NSView>>& animating() const { return animating_; }

 private:
  // Where a view's own coordinates land in the window's: scaled, moved and perhaps turned
  // upside down, as each frame places its view's bounds in the superview.
  struct Placement {
    double sx = 1, sy = 1, tx = 0, ty = 0;
    NSRect apply(NSRect r) const;
    Placement through(const NSView& view, bool superviewFlipped) const;
    bool operator==(const Placement&) const = default;
  };
  // A view whose layer casts a shadow: its extent and how far the shadow reaches.
  struct Shadowing {
    NSRect extent;
    double reach = 0;
    // Where the shadow may change when what casts it changes within a rectangle.
    NSRect around(NSRect changed) const;
  };
  // Shared by every view within the same casters (one list for a tile's many views).
  using Casters = std::shared_ptr<const std::vector<Shadowing>>;
  // What the walk learned of a view's layer tree, kept while the tree's change number
  // stays the same (a tree that animated, or asked for display, is looked at again).
  struct LayerLook {
    const CALayer* layer = nullptr;
    std::uint64_t change = 0;
    bool again = true;
    std::size_t look = 0;
    NSRect reach;
    std::optional<double> shadowReach;
    bool opaqueWithin = false;
    bool showsSublayers = false;
  };
  // A view the last pass met, as it found it, with the subviews it met: the kept picture
  // of the tree, whose subtrees are passed by while nothing in them changed.
  struct Painted {
    const NSView* view = nullptr;
    // The view's change number when its subtree was last walked, and how the walk came in.
    std::uint64_t change = 0;
    NSRect clip;
    Placement above;
    bool aboveFlipped = false;
    // Whether the subtree may change with nothing to tell (a layer animating, or one that
    // asked for display, which a pass answers behind its back): walked again.
    bool unsettled = true;
    NSRect extent;
    std::size_t look = 0;
    // The enclosing views whose shadows the view's drawing helps cast, outermost first.
    Casters casters;
    // For a view that casts a shadow, the list its subviews get: these and its own.
    Casters within;
    LayerLook layer;
    std::vector<Painted> subviews;
  };
  struct Walk;
  std::vector<NSRect> collect(double scale, NSRect bounds, Walk& walk);

  std::weak_ptr<NSWindow> window_;
  std::shared_ptr<CairoContext> canvas_;
  double scale_ = 0;
  // The window's top view as the last pass met it (none before the first).
  std::vector<Painted> painted_;
  std::vector<std::weak_ptr<NSView>> animating_;
};
