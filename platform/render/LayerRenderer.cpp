#include "platform/render/LayerRenderer.h"

#include <algorithm>

#include "platform/quartz/CALayer.h"
#include "platform/quartz/GraphicsContext.h"

namespace LayerRenderer {

namespace {
// Masks may hold masks; a mask that (by mistake) holds its own layer again stops here.
constexpr int kMaxDepth = 64;

void renderLayer(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, int depth) {
  if (!layer || depth > kMaxDepth || layer->isHidden()) return;
  std::shared_ptr<CALayer> shown = layer->hasAnimations() ? layer->presentationLayer() : layer;
  if (shown->isHidden() || !(shown->opacity() > 0)) return;

  NSRect frame = shown->frame();
  NSRect b = shown->bounds();
  context.saveGState();
  context.translate(frame.origin.x, frame.origin.y);
  if (shown->isGeometryFlipped()) {
    context.translate(0, b.height());
    context.scale(1, -1);
  }
  context.translate(-b.origin.x, -b.origin.y);

  double radius = std::max(0.0, shown->cornerRadius());
  // Masking to the bounds clips the layer's own shadow too, as on the platform (which is
  // why rounded, clipped tiles carry their shadow on a view around them).
  bool hasShadow = shown->shadowOpacity() > 0 && shown->shadowColor() && !shown->masksToBounds();
  bool group = shown->opacity() < 1 || hasShadow || shown->mask();
  if (hasShadow) {
    CGColor color = shown->shadowColor()->withAlpha(shown->shadowColor()->alpha * std::min(1.0, shown->shadowOpacity()));
    context.setShadow(CGShadow{shown->shadowOffset(), shown->shadowRadius(), color});
  }
  if (group) {
    // A layer whose drawing stays inside its bounds lets the context size its layer to them.
    bool bounded = shown->masksToBounds() || layer->sublayers().empty();
    if (bounded) context.beginTransparencyLayerWithRect(b, std::min(1.0, shown->opacity()));
    else context.beginTransparencyLayer(std::min(1.0, shown->opacity()));
  }

  if (shown->backgroundColor() && !shown->backgroundColor()->isClear()) {
    context.setFillColor(*shown->backgroundColor());
    if (radius > 0) context.fillRoundedRect(b, radius);
    else context.fillRect(b);
  }

  context.saveGState();
  if (shown->masksToBounds()) context.clipToPath(CGPath::roundedRect(b, radius), CGFillRule::nonZero);
  if (shown->contents()) context.drawImage(shown->contents(), shown->contentsRect(), 1.0);
  context.saveGState();
  // While an animation changes a key that redraws the content, the animated copy draws.
  if (shown != layer && layer->animationsNeedDisplay()) shown->drawInContext(context);
  else layer->drawInContext(context);
  context.restoreGState();
  std::vector<std::shared_ptr<CALayer>> order = layer->sublayers();
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& c) { return a->zPosition() < c->zPosition(); });
  for (const auto& sub : order) renderLayer(sub, context, depth + 1);
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
      context.endTransparencyLayer([&](GraphicsContext& g) { renderLayer(mask, g, depth + 1); });
    } else {
      context.endTransparencyLayer();
    }
  }
  context.restoreGState();
}

}  // namespace

void render(const std::shared_ptr<CALayer>& layer, GraphicsContext& context) { renderLayer(layer, context, 0); }

}  // namespace LayerRenderer
