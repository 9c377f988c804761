#include "platform/appkit/WindowPainter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <string>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CAGradientLayer.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/CairoContext.h"
#include "platform/render/LayerRenderer.h"

namespace {

constexpr int kDeepestView = 256;
// Beyond this many rectangles (each a walk through the tree), or this share of the
// window, one painting of the whole is cheaper.
constexpr std::size_t kMostRects = 12;
constexpr double kWholeShare = 0.6;

std::size_t mixIn(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}
std::size_t mixIn(std::size_t seed, double value) { return mixIn(seed, std::bit_cast<std::size_t>(value)); }
std::size_t mixIn(std::size_t seed, bool value) { return mixIn(seed, static_cast<std::size_t>(value)); }
std::size_t mixIn(std::size_t seed, const void* pointer) { return mixIn(seed, reinterpret_cast<std::size_t>(pointer)); }
std::size_t mixIn(std::size_t seed, const CGColor& c) {
  for (double v : {c.red, c.green, c.blue, c.alpha}) seed = mixIn(seed, v);
  return seed;
}
std::size_t mixIn(std::size_t seed, const std::optional<CGColor>& c) { return c ? mixIn(mixIn(seed, true), *c) : mixIn(seed, false); }
std::size_t mixIn(std::size_t seed, NSRect r) {
  for (double v : {r.minX(), r.minY(), r.width(), r.height()}) seed = mixIn(seed, v);
  return seed;
}

// What a look of a layer tree finds besides the number.
struct Finding {
  bool asksForDisplay = false;
  bool animates = false;
};

// Everything of a layer tree that its picture depends on, folded into one number; a layer
// that asks for display, or whose animations move it with the clock, counts as changed (and
// one whose animations ended differs from its last animated look).
std::size_t lookOf(const std::shared_ptr<CALayer>& layer, int depth, Finding& found) {
  if (!layer || depth > kDeepestView) return 0;
  if (layer->needsDisplay()) found.asksForDisplay = true;
  if (layer->hasAnimations()) found.asksForDisplay = found.animates = true;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &LayerRenderer::shownLayer(layer, held);
  std::size_t h = mixIn(std::size_t{0}, static_cast<const void*>(layer.get()));
  h = mixIn(h, layer->hasAnimations());
  h = mixIn(h, shown->isHidden());
  h = mixIn(h, shown->opacity());
  h = mixIn(h, shown->frame());
  h = mixIn(h, shown->bounds());
  h = mixIn(h, shown->isGeometryFlipped());
  h = mixIn(h, shown->backgroundColor());
  h = mixIn(h, shown->cornerRadius());
  h = mixIn(h, shown->borderWidth());
  h = mixIn(h, shown->borderColor());
  h = mixIn(h, shown->masksToBounds());
  h = mixIn(h, shown->shadowColor());
  h = mixIn(h, shown->shadowOpacity());
  h = mixIn(h, shown->shadowRadius());
  h = mixIn(h, shown->shadowOffset().width);
  h = mixIn(h, shown->shadowOffset().height);
  h = mixIn(h, shown->zPosition());
  // How contents are placed matters only when there are contents.
  if (const auto& contents = shown->contents()) {
    h = mixIn(h, static_cast<const void*>(contents.get()));
    h = mixIn(h, std::hash<std::string>{}(shown->contentsGravity()));
    h = mixIn(h, shown->contentsScale());
  }
  if (auto gradient = dynamic_cast<const CAGradientLayer*>(shown)) {
    for (const auto& c : *gradient->colors) h = mixIn(h, c);
    for (double l : *gradient->locations) h = mixIn(h, l);
    for (NSPoint p : {*gradient->startPoint, *gradient->endPoint}) h = mixIn(mixIn(h, p.x), p.y);
  }
  if (shown->mask()) h = mixIn(h, lookOf(shown->mask(), depth + 1, found));
  for (const auto& sub : layer->sublayers()) h = mixIn(h, lookOf(sub, depth + 1, found));
  return h;
}

void markDisplayed(const std::shared_ptr<CALayer>& layer, int depth) {
  if (!layer || depth > kDeepestView) return;
  layer->displayIfNeeded();
  if (layer->mask()) markDisplayed(layer->mask(), depth + 1);
  for (const auto& sub : layer->sublayers()) markDisplayed(sub, depth + 1);
}

// Out to whole device pixels.
NSRect onPixels(NSRect r, double scale) {
  constexpr double slack = 1e-6;  // coordinates a hair off a pixel edge stay on it
  double x0 = std::floor(r.minX() * scale + slack), y0 = std::floor(r.minY() * scale + slack);
  double x1 = std::ceil(r.maxX() * scale - slack), y1 = std::ceil(r.maxY() * scale - slack);
  return NSMakeRect(x0 / scale, y0 / scale, (x1 - x0) / scale, (y1 - y0) / scale);
}

}  // namespace

// Carried down the walk, so that no view's rectangles are converted up through all its ancestors.
NSRect WindowPainter::Placement::apply(NSRect r) const {
  double x0 = sx * r.minX() + tx, x1 = sx * r.maxX() + tx;
  double y0 = sy * r.minY() + ty, y1 = sy * r.maxY() + ty;
  return NSMakeRect(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
}

// The placement of a subview whose superview is placed by this one (and is flipped or
// not, as given: the walk knows it, and asking the view would look its superview up).
WindowPainter::Placement WindowPainter::Placement::through(const NSView& view, bool superviewFlipped) const {
  // As the view converts a point to its superview.
  const NSRect frame = view.frame(), bounds = view.bounds();
  const double kx = bounds.width() != 0 ? frame.width() / bounds.width() : 1.0;
  const double ky = bounds.height() != 0 ? frame.height() / bounds.height() : 1.0;
  const bool upright = view.isFlipped() == superviewFlipped;
  auto toSuperview = [&](double px, double py) {
    double dy = (py - bounds.minY()) * ky;
    return NSPoint{frame.minX() + (px - bounds.minX()) * kx, upright ? frame.minY() + dy : frame.maxY() - dy};
  };
  NSPoint origin = toSuperview(0, 0), unit = toSuperview(1, 1);
  double lx = unit.x - origin.x, ly = unit.y - origin.y;
  return {sx * lx, sy * ly, sx * origin.x + tx, sy * origin.y + ty};
}

// Where a view's shadow may change when what casts it changes within a rectangle.
NSRect WindowPainter::Shadowing::around(NSRect changed) const {
  if (extent.isEmpty() || changed.isEmpty()) return NSZeroRect;
  return NSIntersectionRect(NSInsetRect(changed, -reach, -reach), extent);
}

struct WindowPainter::Walk {
  std::vector<NSRect> damage;
  // Layer trees painted in this pass that ask for display, whose requests it answers.
  std::vector<std::shared_ptr<CALayer>> layers;
  std::vector<std::weak_ptr<NSView>> animating;
  static inline const std::shared_ptr<CALayer> kNoLayer;

  // A rectangle to paint again, with the reach of each shadow that what changed in it helps
  // cast (innermost first, each reaching from the last).
  void note(NSRect changed, const Casters& casters) {
    if (changed.isEmpty()) return;
    damage.push_back(changed);
    if (!casters) return;
    for (auto caster = casters->rbegin(); caster != casters->rend(); ++caster) {
      changed = caster->around(changed);
      if (changed.isEmpty()) return;
      damage.push_back(changed);
    }
  }

  // A view the last pass met that this one does not (it left the tree, or it or an
  // ancestor shows nothing now): what it and its subviews covered, and the shadows they
  // helped cast.
  void gone(const Painted& kept) {
    note(kept.extent, kept.casters);
    for (const auto& sub : kept.subviews) gone(sub);
  }
  void goneAll(std::vector<Painted>& kept) {
    for (const auto& sub : kept) gone(sub);
    kept.clear();
  }

  // The casters within a shadowed view: those around it and its own. The list made at the
  // last pass serves again while none of them moved.
  static Casters within(const Casters& casters, const Shadowing& own, const Casters& before) {
    const std::size_t around = casters ? casters->size() : 0;
    auto same = [](const Shadowing& a, const Shadowing& b) { return a.extent == b.extent && a.reach == b.reach; };
    if (before && before->size() == around + 1 && same(before->back(), own) &&
        (!casters || std::equal(casters->begin(), casters->end(), before->begin(), same))) {
      return before;
    }
    auto list = casters ? *casters : std::vector<Shadowing>{};
    list.push_back(own);
    return std::make_shared<const std::vector<Shadowing>>(std::move(list));
  }

  // Brings what the entry knows of the view's layer tree up to date: kept while the tree's
  // change number stays as it was, looked at afresh otherwise. Answers whether the tree
  // asks for display (or animates).
  bool lookAt(const std::shared_ptr<NSView>& view, const std::shared_ptr<CALayer>& layer, LayerLook& known) {
    if (!known.again && known.layer == layer.get() && known.change == layer->treeChange()) return false;
    Finding found;
    known.layer = layer.get();
    known.change = layer->treeChange();
    known.look = lookOf(layer, 0, found);
    known.again = found.asksForDisplay;
    known.reach = LayerRenderer::extent(layer);
    known.shadowReach = LayerRenderer::ownShadowReach(layer);
    known.opaqueWithin = LayerRenderer::isOpaqueWithin(layer);
    known.showsSublayers = LayerRenderer::showsSublayers(layer);
    if (found.asksForDisplay) layers.push_back(layer);
    if (found.animates) animating.push_back(view);
    return found.asksForDisplay;
  }

  // Brings the subviews' entries up to date: in place while the subviews are those met
  // last time, in their order (what almost every pass finds); matched by view otherwise.
  void visitSubviews(Painted& entry, const std::shared_ptr<NSView>& view, NSRect inner, int depth,
                     const Placement& here, bool flipped, const Casters& casters, bool& unsettled) {
    const auto& subviews = view->subviews();
    auto& kept = entry.subviews;
    const bool inPlace = subviews.size() == kept.size() &&
                         std::equal(subviews.begin(), subviews.end(), kept.begin(),
                                    [](const auto& sub, const Painted& k) { return sub.get() == k.view; });
    if (inPlace) {
      bool allMet = true;
      for (std::size_t i = 0; i < subviews.size(); ++i) {
        if (!visit(kept[i], true, subviews[i], inner, depth + 1, here, flipped, casters, unsettled)) allMet = false;
      }
      if (!allMet) std::erase_if(kept, [](const Painted& k) { return k.view == nullptr; });
      return;
    }
    std::vector<Painted> before = std::move(kept);
    kept.clear();
    std::vector<bool> taken(before.size(), false);
    for (const auto& sub : subviews) {
      Painted next;
      bool known = false;
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (!taken[i] && before[i].view == sub.get()) {
          next = std::move(before[i]);
          taken[i] = known = true;
          break;
        }
      }
      if (visit(next, known, sub, inner, depth + 1, here, flipped, casters, unsettled)) kept.push_back(std::move(next));
    }
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (!taken[i]) gone(before[i]);
    }
  }

  // Brings a view's entry (`known`: the one the last pass made of it) up to date, noting
  // what changed; answers whether the view was met (one that shows nothing is not: its
  // entry is then noted as gone and emptied). `casters` are the enclosing views whose
  // layers cast shadows that this view's drawing helps cast, outermost first.
  bool visit(Painted& entry, bool known, const std::shared_ptr<NSView>& view, NSRect clip, int depth,
             const Placement& above, bool aboveFlipped, const Casters& casters, bool& unsettled) {
    // As the renderer: a hidden view, or one without area, draws nothing, nor do its subviews.
    const NSRect frame = view ? view->frame() : NSZeroRect;
    if (!view || view->isHidden() || depth > kDeepestView || !(frame.width() > 0) || !(frame.height() > 0)) {
      if (known) gone(entry);
      entry.view = nullptr;
      return false;
    }
    // Nothing in the subtree changed, and it is placed and clipped as before: it looks as it did.
    if (known && !entry.unsettled && entry.change == view->treeChange() && entry.clip == clip &&
        entry.above == above && entry.aboveFlipped == aboveFlipped && entry.casters == casters) {
      return true;
    }
    if (!known) entry = Painted{};
    entry.view = view.get();
    entry.change = view->treeChange();
    entry.clip = clip;
    entry.above = above;
    entry.aboveFlipped = aboveFlipped;
    NSRect own = view->bounds();
    const double alpha = view->alphaValue();
    std::size_t look = mixIn(std::size_t{0}, alpha);
    bool asksForDisplay = view->needsDisplay();
    const std::shared_ptr<CALayer>& layer = view->wantsLayer() ? view->layer() : kNoLayer;
    LayerLook& kept = entry.layer;
    if (layer) {
      if (lookAt(view, layer, kept)) asksForDisplay = true;
      if (!kept.reach.isEmpty()) own = NSUnionRect(own, kept.reach);
      look = mixIn(look, kept.look);
    } else {
      kept = LayerLook{};
    }
    const Placement here = above.through(*view, aboveFlipped);
    NSRect extent = NSIntersectionRect(here.apply(own), clip);
    if (extent.isEmpty()) extent = NSZeroRect;
    if (asksForDisplay || !known || entry.look != look || entry.extent != extent) {
      note(extent, casters);
      if (known) note(entry.extent, entry.casters);
    }
    Casters before = std::move(entry.within);
    entry.extent = extent;
    entry.look = look;
    if (entry.casters != casters) entry.casters = casters;
    entry.within = nullptr;
    // A layer tree that animates changes with the clock alone, and one that asked for
    // display is answered after the pass without a change to tell: both are looked at again.
    // (A view's request comes with a change of its number, and is answered by this pass.)
    bool inside = layer && kept.again;
    // An invisible view's subviews show nothing (nor do those of a hidden or transparent
    // backing layer, which hosts them): what they covered is in its extent.
    NSRect inner = NSIntersectionRect(clip, here.apply(view->bounds()));
    if (!(alpha > 0) || (layer && !kept.showsSublayers) || inner.isEmpty()) {
      goneAll(entry.subviews);
    } else {
      const bool flipped = view->isFlipped();
      const auto reach = layer && !extent.isEmpty() ? kept.shadowReach : std::nullopt;
      if (reach) {
        entry.within = within(casters, {extent, *reach}, before);
        const Casters shadowed = entry.within;
        visitSubviews(entry, view, inner, depth, here, flipped, shadowed, inside);
      } else if (layer && kept.opaqueWithin) {
        // Whatever changes inside leaves the shape of this view, so the shadows it casts, alone.
        visitSubviews(entry, view, inner, depth, here, flipped, {}, inside);
      } else {
        visitSubviews(entry, view, inner, depth, here, flipped, casters, inside);
      }
    }
    entry.unsettled = inside;
    if (inside) unsettled = true;
    return true;
  }
};

WindowPainter::WindowPainter(const std::shared_ptr<NSWindow>& window) : window_(window) {}

WindowPainter::~WindowPainter() = default;

std::vector<NSRect> WindowPainter::collect(double scale, NSRect bounds, Walk& walk) {
  auto w = window_.lock();
  if (!w) return {};
  const auto& top = w->frameView();
  const bool known = painted_.size() == 1 && top && painted_.front().view == top.get();
  if (!known) {
    walk.goneAll(painted_);
    painted_.resize(1);
  }
  bool unsettled = false;
  if (!walk.visit(painted_.front(), known, top, bounds, 0, Placement{}, false, {}, unsettled)) painted_.clear();
  std::vector<NSRect> rects;
  for (NSRect r : walk.damage) {
    NSRect snapped = NSIntersectionRect(onPixels(r, scale), bounds);
    if (!snapped.isEmpty()) rects.push_back(snapped);
  }
  if (rects.empty()) return rects;
  // Each rectangle is painted on its own, as a clip of one rectangle: Cairo rasterises the
  // partly covered pixels of an edge alike under one rectangle whatever its size, but not
  // always under a set of them. So overlapping rectangles become the one around them. A
  // shadow a rectangle cuts into needs nothing more: the context works a shadow out from
  // its whole shape whatever the clip.
  for (bool merged = true; merged;) {
    merged = false;
    for (std::size_t a = 0; a < rects.size() && !merged; ++a) {
      for (std::size_t b = a + 1; b < rects.size() && !merged; ++b) {
        if (!NSIntersectsRect(rects[a], rects[b])) continue;
        rects[a] = NSUnionRect(rects[a], rects[b]);
        rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(b));
        merged = true;
      }
    }
  }
  double area = 0;
  for (NSRect r : rects) area += r.width() * r.height();
  if (rects.size() > kMostRects || area > kWholeShare * bounds.width() * bounds.height()) return {bounds};
  return rects;
}

std::vector<NSRect> WindowPainter::damage(double scale) {
  auto w = window_.lock();
  if (!w || !canvas_) return {};
  double k = std::isfinite(scale) && scale > 0 ? scale : 1.0;
  NSRect bounds = NSMakeRect(0, 0, canvas_->pixelWidth() / scale_, canvas_->pixelHeight() / scale_);
  // The walk brings the kept tree up to date: it works on a copy, and the next pass sees
  // the views as this one found them.
  auto kept = painted_;
  Walk walk;
  auto rects = collect(k, bounds, walk);
  painted_ = std::move(kept);
  return rects;
}

std::vector<NSRect> WindowPainter::paint(NSSize size, double scale, bool whole) {
  auto w = window_.lock();
  if (!w || !(size.width > 0) || !(size.height > 0)) {
    animating_.clear();
    return {};
  }
  double k = std::isfinite(scale) && scale > 0 ? scale : 1.0;
  int width = static_cast<int>(std::ceil(size.width * k)), height = static_cast<int>(std::ceil(size.height * k));
  if (!canvas_ || scale_ != k || canvas_->pixelWidth() != width || canvas_->pixelHeight() != height) {
    canvas_ = CairoContext::make(size, k);
    scale_ = k;
    whole = true;
  }
  NSRect bounds = NSMakeRect(0, 0, size.width, size.height);
  Walk walk;
  std::vector<NSRect> rects = collect(k, bounds, walk);
  animating_ = std::move(walk.animating);
  if (whole) rects = {bounds};
  if (rects.empty() || !canvas_->surface()) return {};

  // What was there goes first: a window that is not opaque shows through where nothing draws.
  // An opaque background covers it anyway, whole pixels as the rectangles are.
  auto background = asA<NSColor>(w->backgroundColor);
  const bool opaque = !whole && (!background || background->CGColor().alpha >= 1);
  cairo_t* cr = cairo_create(canvas_->surface());
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  if (whole) {
    cairo_paint(cr);
  } else if (!opaque) {
    double rows = canvas_->pixelHeight();
    for (NSRect r : rects) {
      cairo_rectangle(cr, std::round(r.minX() * k), std::round(rows - r.maxY() * k), std::round(r.width() * k),
                      std::round(r.height() * k));
    }
    cairo_fill(cr);
  }
  cairo_destroy(cr);

  for (NSRect r : rects) {
    canvas_->saveGState();
    if (!whole) canvas_->clipToRect(r);
    std::span<const NSRect> region(&r, whole ? 0 : 1);
    ViewTreeRenderer::drawWindow(w, *canvas_, region);
    canvas_->restoreGState();
  }
  cairo_surface_flush(canvas_->surface());
  for (const auto& layer : walk.layers) markDisplayed(layer, 0);
  return rects;
}
