#include "platform/render/LayerRenderer.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/quartz/CALayer.h"
#include "platform/quartz/GraphicsContext.h"

namespace LayerRenderer {

namespace {
// Masks may hold masks; a mask that (by mistake) holds its own layer again stops here.
constexpr int kMaxDepth = 64;

// The context moved from the superlayer's coordinates into the layer's bounds.
void placeLayer(const CALayer& shown, GraphicsContext& context) {
  NSRect frame = shown.frame();
  NSRect b = shown.bounds();
  context.translate(frame.origin.x, frame.origin.y);
  if (shown.isGeometryFlipped()) {
    context.translate(0, b.height());
    context.scale(1, -1);
  }
  context.translate(-b.origin.x, -b.origin.y);
}

CGShadow shadowOf(const CALayer& shown) {
  CGColor color = shown.shadowColor()->withAlpha(shown.shadowColor()->alpha * std::min(1.0, shown.shadowOpacity()));
  return CGShadow{shown.shadowOffset(), shown.shadowRadius(), color};
}

// The rectangle grown to the whole device pixels it touches (and a little beyond).
NSRect toWholePixels(const GraphicsContext& context, NSRect rect) {
  const NSSize pixels = context.deviceSizeOf(rect);
  if (!(rect.width() > 0) || !(rect.height() > 0) || !(pixels.width > 0) || !(pixels.height > 0)) return rect;
  return NSInsetRect(rect, -rect.width() / pixels.width, -rect.height() / pixels.height);
}

// Whether drawInContext may draw: a plain layer draws only through its delegate.
bool drawsContent(const CALayer& layer) {
  return typeid(layer) != typeid(CALayer) || !layer.delegate.expired();
}

bool drawKept(const std::shared_ptr<CALayer>& layer, const CALayer& shown, GraphicsContext& context, int depth,
              const Hosted* hosted);

// Layers met that change with the clock or ask for display: a kept picture holding one of
// them is not kept (what it shows would change behind its numbers' back). Each thread
// draws trees of its own.
thread_local int unsettledMet = 0;

// `asPicture`: the layer drawn into its own kept picture, at full opacity (the picture is
// laid on with the layer's).
void renderLayer(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, int depth, const Hosted* hosted,
                 bool asPicture = false) {
  if (!layer || depth > kMaxDepth || layer->isHidden()) return;
  std::shared_ptr<CALayer> shown = layer->hasAnimations() ? layer->presentationLayer() : layer;
  if (shown->isHidden() || !(shown->opacity() > 0)) return;
  if (!asPicture) {
    if (layer->hasAnimations() || layer->needsDisplay()) ++unsettledMet;
    if (layer->shouldRasterize() && drawKept(layer, *shown, context, depth, hosted)) return;
  }
  const double opacity = asPicture ? 1.0 : std::min(1.0, shown->opacity());

  NSRect b = shown->bounds();
  context.saveGState();
  placeLayer(*shown, context);

  double radius = std::max(0.0, shown->cornerRadius());
  // Masking to the bounds clips the layer's own shadow too, as on the platform (which is
  // why rounded, clipped tiles carry their shadow on a view around them).
  const bool castAhead = hosted && hosted->castShadow;
  bool hasShadow = shown->shadowOpacity() > 0 && shown->shadowColor() && !shown->masksToBounds() && !castAhead;
  bool group = opacity < 1 || hasShadow || shown->mask();
  if (castAhead) {
    context.saveGState();
    hosted->castShadow(context);
    context.restoreGState();
  }
  if (hasShadow) context.setShadow(shadowOf(*shown));
  if (group) {
    // A layer whose drawing stays inside its bounds lets the context size its layer to them.
    bool bounded = shown->masksToBounds() || layer->sublayers().empty();
    NSRect reach = hosted && !shown->masksToBounds() ? NSUnionRect(b, hosted->bounds) : b;
    if (bounded) context.beginTransparencyLayerWithRect(reach, opacity);
    else context.beginTransparencyLayer(opacity);
  }

  // Rounded corners that mask mask the background and everything drawn over it at once,
  // with a filled shape rather than a clip: the edge's partly covered pixels then keep one
  // alpha whatever is drawn inside (so does the shadow cast around them), and Cairo
  // rasterises a fill's edge alike under any rectangular clip, so a repaint of part of the
  // layer gives the pixels of a full one.
  const bool rounded = shown->masksToBounds() && radius > 0;
  context.saveGState();
  if (rounded) context.beginTransparencyLayerWithRect(b, 1.0);
  else if (shown->masksToBounds()) context.clipToRect(b);

  if (shown->backgroundColor() && !shown->backgroundColor()->isClear()) {
    context.setFillColor(*shown->backgroundColor());
    // Under the rounded mask the background covers whole pixels: the mask alone shapes the
    // edge, so an opaque layer's edge keeps one alpha whether or not what is drawn over the
    // background reaches into its partly covered pixels (and so does the shadow it casts).
    if (rounded) context.fillRect(toWholePixels(context, b));
    else if (radius > 0) context.fillRoundedRect(b, radius);
    else context.fillRect(b);
  }

  if (const auto& contents = shown->contents()) {
    // Contents that have nothing to draw yet ask for display once they have (noting the
    // change): a kept picture of the tree (a rasterizing layer's) is then made again instead
    // of staying without them, and the window paints the layer again.
    if (!contents->imageForDrawing()) {
      contents->whenDrawable([weak = std::weak_ptr<CALayer>(layer)] {
        if (auto waiting = weak.lock()) waiting->setNeedsDisplay();
      });
    }
    context.drawImage(contents, shown->contentsRect(), 1.0);
  }
  // While an animation changes a key that redraws the content, the animated copy draws.
  CALayer& drawer = shown != layer && layer->animationsNeedDisplay() ? *shown : *layer;
  if (drawsContent(drawer)) {
    context.saveGState();
    // Custom drawing fills the layer's backing store, which is as large as its bounds.
    context.clipToRect(b);
    drawer.drawInContext(context);
    context.restoreGState();
  }
  const auto& sublayers = layer->sublayers();
  const auto byDepth = [](const auto& a, const auto& c) { return a->zPosition() < c->zPosition(); };
  if (std::is_sorted(sublayers.begin(), sublayers.end(), byDepth)) {
    // Each sublayer is held while it draws: drawing that changes the list leaves none dangling.
    for (std::size_t i = 0; i < layer->sublayers().size(); ++i) {
      std::shared_ptr<CALayer> sub = layer->sublayers()[i];
      renderLayer(sub, context, depth + 1, nullptr);
    }
  } else {
    std::vector<std::shared_ptr<CALayer>> order = sublayers;
    std::stable_sort(order.begin(), order.end(), byDepth);
    for (const auto& sub : order) renderLayer(sub, context, depth + 1, nullptr);
  }
  if (hosted && hosted->draw) {
    context.saveGState();
    hosted->draw(context);
    context.restoreGState();
  }
  if (rounded) context.endTransparencyLayerMaskedToRoundedRect(b, radius);
  context.restoreGState();

  if (shown->borderWidth() > 0 && shown->borderColor() && !shown->borderColor()->isClear()) {
    double w = shown->borderWidth();
    context.setStrokeColor(*shown->borderColor());
    context.setLineWidth(w);
    // The border lies inside the bounds.
    NSRect inner = NSInsetRect(b, w / 2, w / 2);
    if (radius > 0) context.strokeRoundedRect(inner, std::max(0.0, radius - w / 2));
    else context.strokeRect(inner);
  }

  if (group) {
    if (auto mask = shown->mask()) {
      context.endTransparencyLayer([&](GraphicsContext& g) { renderLayer(mask, g, depth + 1, nullptr); });
    } else {
      context.endTransparencyLayer();
    }
  }
  context.restoreGState();
}

}  // namespace

const CALayer& shownLayer(const std::shared_ptr<CALayer>& layer, std::shared_ptr<CALayer>& held) {
  if (!layer->hasAnimations()) return *layer;
  held = layer->presentationLayer();
  return *held;
}

namespace {

bool ownShadowShows(const CALayer& shown) {
  return shown.shadowOpacity() > 0 && shown.shadowColor() && shown.shadowColor()->alpha > 0 && !shown.masksToBounds();
}

// A rectangle of the layer's bounds coordinates in its superlayer's, as placeLayer moves
// the context, grown by the reach of the layer's own shadow when asked and it casts one.
NSRect inSuperlayer(const CALayer& shown, NSRect inner, bool withShadow) {
  NSRect frame = shown.frame();
  NSRect b = shown.bounds();
  double x = frame.minX() + inner.minX() - b.minX();
  double y = shown.isGeometryFlipped() ? frame.minY() + b.height() - (inner.maxY() - b.minY())
                                       : frame.minY() + inner.minY() - b.minY();
  NSRect out = NSMakeRect(x, y, inner.width(), inner.height());
  if (withShadow && ownShadowShows(shown)) {
    double reach = shadowReach(shown.shadowRadius(), shown.shadowOffset());
    out = NSInsetRect(out, -reach, -reach);
  }
  return out;
}

// The layer's bounds and its sublayers' extents, in its bounds coordinates.
NSRect innerExtent(const std::shared_ptr<CALayer>& layer, const CALayer& shown, bool withShadows, int depth);

NSRect layerExtent(const std::shared_ptr<CALayer>& layer, bool withShadows, int depth) {
  if (!layer || depth > kMaxDepth || layer->isHidden()) return NSZeroRect;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  if (shown->isHidden() || !(shown->opacity() > 0)) return NSZeroRect;
  return inSuperlayer(*shown, innerExtent(layer, *shown, withShadows, depth), withShadows);
}

NSRect innerExtent(const std::shared_ptr<CALayer>& layer, const CALayer& shown, bool withShadows, int depth) {
  NSRect inner = shown.bounds();
  if (!shown.masksToBounds()) {
    for (const auto& sub : layer->sublayers()) {
      NSRect reach = layerExtent(sub, withShadows, depth + 1);
      if (!reach.isEmpty()) inner = NSUnionRect(inner, reach);
    }
  }
  return inner;
}

// Whether the layer's own animations change only its opacity, which its kept picture is
// laid on with: they leave the picture as it is.
bool onlyFades(const CALayer& layer) {
  std::vector<std::string> keyPaths;
  for (const auto& key : layer.animationKeys()) {
    if (auto animation = layer.animationForKey(key)) animation->collectKeyPaths(keyPaths);
  }
  return std::ranges::all_of(keyPaths, [](const std::string& path) { return path == "opacity"; });
}

bool drawKept(const std::shared_ptr<CALayer>& layer, const CALayer& shown, GraphicsContext& context, int depth,
              const Hosted* hosted) {
  // A shadow cast ahead of the layer from what it hosts is no part of its picture; a
  // drawing whose changes go untold cannot be kept.
  if (hosted && (hosted->castShadow || (hosted->draw && hosted->change == 0))) return false;
  // Everything renderLayer draws: contents placed by their gravity may reach beyond the
  // bounds too, and what is hosted is drawn within its own.
  NSRect inner = innerExtent(layer, shown, true, depth);
  if (!shown.masksToBounds()) {
    if (shown.contents()) inner = NSUnionRect(inner, shown.contentsRect());
    if (hosted && hosted->draw) inner = NSUnionRect(inner, hosted->bounds);
  }
  const NSRect area = inSuperlayer(shown, inner, true);
  const std::uint64_t change = hosted && hosted->draw ? hosted->change : layer->treeChange();
  const bool settled = !layer->needsDisplay() && onlyFades(*layer);
  return context.drawKeptPicture(layer, change, area, std::min(1.0, shown.opacity()), [&](GraphicsContext& picture) {
    const int before = unsettledMet;
    renderLayer(layer, picture, depth, hosted, true);
    return settled && unsettledMet == before;
  });
}

bool layerCastsShadow(const std::shared_ptr<CALayer>& layer, int depth) {
  if (!layer || depth > kMaxDepth || layer->isHidden()) return false;
  if (ownShadowShows(*layer)) return true;
  return std::ranges::any_of(layer->sublayers(), [&](const auto& sub) { return layerCastsShadow(sub, depth + 1); });
}

}  // namespace

void render(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, const Hosted& hosted) {
  renderLayer(layer, context, 0, &hosted);
}

std::optional<double> ownShadowReach(const std::shared_ptr<CALayer>& layer) {
  if (!layer || layer->isHidden()) return std::nullopt;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  if (shown->isHidden() || !(shown->opacity() > 0) || !ownShadowShows(*shown)) return std::nullopt;
  return shadowReach(shown->shadowRadius(), shown->shadowOffset());
}

bool isOpaqueWithin(const std::shared_ptr<CALayer>& layer) {
  if (!layer || layer->isHidden()) return false;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  const auto background = shown->backgroundColor();
  return shown->masksToBounds() && !shown->mask() && !shown->isHidden() && shown->opacity() >= 1 && background &&
         background->alpha >= 1;
}

bool showsPlainly(const std::shared_ptr<CALayer>& layer) {
  if (!layer || layer->isHidden()) return false;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  return !shown->isHidden() && shown->opacity() >= 1 && !shown->mask() && !ownShadowShows(*shown) &&
         !(shown->masksToBounds() && shown->cornerRadius() > 0);
}

bool showsSublayers(const std::shared_ptr<CALayer>& layer) {
  if (!layer || layer->isHidden()) return false;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  return !shown->isHidden() && shown->opacity() > 0;
}

std::optional<CGShadow> hostedShadow(const std::shared_ptr<CALayer>& layer) {
  // A layer of a kind of its own may draw in drawInContext; a plain one draws through its delegate only.
  static const std::type_info& plain = typeid(*CALayer::layer());
  if (!layer || layer->isHidden() || typeid(*layer) != plain || !layer->delegate.expired()) return std::nullopt;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  const auto background = shown->backgroundColor();
  const auto border = shown->borderColor();
  const bool drawsItself = (background && !background->isClear()) || shown->contents() || !layer->sublayers().empty() ||
                           (shown->borderWidth() > 0 && border && !border->isClear());
  if (drawsItself || shown->isHidden() || shown->opacity() < 1 || shown->mask() || !ownShadowShows(*shown)) {
    return std::nullopt;
  }
  return shadowOf(*shown);
}

bool hasOpaqueRoundedShape(const std::shared_ptr<CALayer>& layer) {
  if (!isOpaqueWithin(layer)) return false;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  const auto border = shown->borderColor();
  return shown->cornerRadius() > 0 && !(shown->borderWidth() > 0 && border && !border->isClear());
}

void castShadowOfShape(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, const CGShadow& shadow) {
  if (!hasOpaqueRoundedShape(layer)) return;
  std::shared_ptr<CALayer> held;
  const CALayer* shown = &shownLayer(layer, held);
  context.saveGState();
  placeLayer(*shown, context);
  context.setShadow(shadow);
  // The very shape that masks the layer's picture (see renderLayer), whose opaque
  // background will cover the shadow inside the corners' reach.
  const NSRect b = shown->bounds();
  const double radius = std::max(0.0, shown->cornerRadius());
  const double corner = std::min(radius, std::min(b.width(), b.height()) / 2);
  // Between the corners the shape runs straight across: it covers the bounds but for the
  // four corner squares.
  context.castShadowOfPath(CGPath::roundedRect(b, radius), CGFillRule::nonZero, NSInsetRect(b, corner, 0),
                           NSInsetRect(b, 0, corner));
  context.restoreGState();
}

NSRect extent(const std::shared_ptr<CALayer>& layer, bool withShadows) { return layerExtent(layer, withShadows, 0); }

double shadowReach(double blurRadius, NSSize offset) {
  // A blur spreads a shape by about one and a half radii (three box passes or three
  // deviations of a Gaussian); the rest is room for rounding to whole pixels.
  double blur = std::isfinite(blurRadius) ? std::max(0.0, blurRadius) : 0.0;
  double shift = std::max(std::abs(offset.width), std::abs(offset.height));
  return 2 * blur + 2 + (std::isfinite(shift) ? shift : 0.0);
}

bool castsShadow(const std::shared_ptr<CALayer>& layer) { return layerCastsShadow(layer, 0); }

}  // namespace LayerRenderer
