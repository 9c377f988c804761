#include "platform/appkit/ViewTreeRenderer.h"


#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/GraphicsContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "platform/appkit/Snapshot.h"

namespace ViewTreeRenderer {

namespace {
constexpr int kMaxDepth = 256;

bool superviewFlipped(const NSView& view) {
  auto parent = view.superview();
  return parent && parent->isFlipped();
}

// The walk knows whether each view's superview is flipped: asking the view for its
// superview (a weak reference) at every view of every pass costs more than the drawing of
// most views.
void placeInSuperview(const NSView& view, bool parentFlipped, GraphicsContext& context) {
  NSRect frame = view.frame();
  NSRect bounds = view.bounds();
  context.translate(frame.minX(), frame.minY());
  if (view.isFlipped() != parentFlipped) {
    context.translate(0, frame.height());
    context.scale(1, -1);
  }
  if (bounds.width() > 0 && bounds.height() > 0) {
    context.scale(frame.width() / bounds.width(), frame.height() / bounds.height());
  }
  context.translate(-bounds.minX(), -bounds.minY());
}

// A view's rectangle (in its own coordinates) in its superview's, as applyFrameTransform
// places it.
NSRect rectInSuperview(const NSView& view, bool parentFlipped, NSRect rect) {
  const NSRect frame = view.frame();
  const NSRect bounds = view.bounds();
  const double sx = bounds.width() > 0 ? frame.width() / bounds.width() : 1;
  const double sy = bounds.height() > 0 ? frame.height() / bounds.height() : 1;
  const double x = frame.minX() + (rect.minX() - bounds.minX()) * sx;
  const double y = view.isFlipped() != parentFlipped ? frame.maxY() - (rect.maxY() - bounds.minY()) * sy
                                                               : frame.minY() + (rect.minY() - bounds.minY()) * sy;
  return NSMakeRect(x, y, rect.width() * sx, rect.height() * sy);
}

// What a view may paint (in its own coordinates): its bounds and its layer's extent.
NSRect reachOf(const NSView& view) {
  NSRect reach = view.bounds();
  if (auto layer = view.layer(); layer && view.wantsLayer()) {
    NSRect extent = LayerRenderer::extent(layer);
    if (!extent.isEmpty()) reach = NSUnionRect(reach, extent);
  }
  return reach;
}

// A view draws only inside its bounds (and its subviews inside those) and its layer's
// extent (shadows, sublayers), so one that misses the region can be left out. The
// context's clip holds the region and every enclosing view's bounds: compared with it in
// the superview's coordinates, the reach needs no conversion up to the window.
bool missesRegion(const NSView& view, bool parentFlipped, const GraphicsContext& context,
                  std::span<const NSRect> region) {
  if (region.empty()) return false;
  const auto clip = context.clipBoundingBox();
  // A view whose bounds meet the clip is drawn whatever its layer reaches beyond them.
  if (clip && NSIntersectsRect(*clip, rectInSuperview(view, parentFlipped, view.bounds()))) return false;
  const NSRect reach = reachOf(view);
  if (clip) return !NSIntersectsRect(*clip, rectInSuperview(view, parentFlipped, reach));
  NSRect inBase = view.convertRectToView(reach, nullptr);
  for (auto& r : region) {
    if (NSIntersectsRect(inBase, r)) return false;
  }
  return true;
}

bool drawsNothing(const NSView& view) {
  return view.isHidden() || !(view.alphaValue() > 0) || !(view.frame().width() > 0) || !(view.frame().height() > 0);
}

// The subview whose rounded, opaque shape alone casts the shadow of the view's backing
// layer, when there is one: the layer draws nothing itself, nor does the view, and of its
// subviews only that one shows, unfaded and unscaled. Its picture then has the alpha of
// its shape whatever it shows, so the shadow is cast from the shape, not worked out from
// a transparency layer holding everything drawn (a playing tile's frames leave it alone).
const std::shared_ptr<NSView>* shapeCastingShadow(NSView& view, const std::shared_ptr<CALayer>& layer) {
  if (!LayerRenderer::hostedShadow(layer)) return nullptr;
  const std::shared_ptr<NSView>* caster = nullptr;
  for (const auto& sub : view.subviews()) {
    if (drawsNothing(*sub)) continue;
    if (caster) return nullptr;
    caster = &sub;
  }
  if (!caster || !(*caster)->wantsLayer() || (*caster)->alphaValue() < 1 ||
      (*caster)->frame().size != (*caster)->bounds().size || !LayerRenderer::hasOpaqueRoundedShape((*caster)->layer())) {
    return nullptr;
  }
  // The view's own drawing (rarely any, for such a view) would cast the shadow too.
  auto probe = RecordingContext::make();
  drawOwnContent(view, *probe);
  return probe->calls().empty() ? caster : nullptr;
}


// The topmost subview that is an opaque picture shown plainly, and where it lays its
// picture (in the view's coordinates): the subviews before it that lie wholly under the
// picture need not be drawn (a playing tile's GIF over its progress pie and movie layer).
std::optional<std::pair<std::size_t, NSRect>> opaqueCover(const NSView& view, bool flipped) {
  const auto& subviews = view.subviews();
  for (std::size_t i = subviews.size(); i-- > 1;) {
    const auto* picture = dynamic_cast<const NSImageView*>(subviews[i].get());
    if (!picture) continue;
    if (drawsNothing(*picture) || picture->alphaValue() < 1) return std::nullopt;
    if (picture->wantsLayer() && !LayerRenderer::showsPlainly(picture->layer())) return std::nullopt;
    auto rect = picture->opaqueRect();
    if (!rect) return std::nullopt;
    return std::pair{i, rectInSuperview(*picture, flipped, *rect)};
  }
  return std::nullopt;
}

void drawViewAt(const std::shared_ptr<NSView>& view, bool parentFlipped, GraphicsContext& context, int depth,
                std::span<const NSRect> region = {}) {
  // A hidden view, one without area and one at alpha 0 (with its subviews) show nothing.
  if (!view || view->isHidden() || depth > kMaxDepth || !(view->alphaValue() > 0)) return;
  NSRect frame = view->frame();
  if (!(frame.width() > 0) || !(frame.height() > 0)) return;
  if (missesRegion(*view, parentFlipped, context, region)) return;
  context.saveGState();
  placeInSuperview(*view, parentFlipped, context);
  bool faded = view->alphaValue() < 1.0;
  if (faded) context.beginTransparencyLayer(view->alphaValue());
  // The view's own drawing and its subviews stay inside its bounds. A backing layer hosts
  // them as it hosts its sublayers: over its background, inside its opacity and rounded
  // mask, and casting its shadow, which (with its sublayers) reaches beyond the view.
  const bool flipped = view->isFlipped();
  auto drawInside = [&](GraphicsContext& inside) {
    inside.clipToRect(view->bounds());
    drawOwnContent(*view, inside);
    const auto cover = opaqueCover(*view, flipped);
    // Each subview is held while it draws: drawing that changes the list leaves no dangling view.
    for (std::size_t i = 0; i < view->subviews().size(); ++i) {
      std::shared_ptr<NSView> sub = view->subviews()[i];
      if (cover && i < cover->first && !drawsNothing(*sub) &&
          inside.coversWholly(cover->second, rectInSuperview(*sub, flipped, reachOf(*sub)))) {
        continue;
      }
      drawViewAt(sub, flipped, inside, depth + 1, region);
    }
  };
  if (auto layer = view->layer(); layer && view->wantsLayer()) {
    LayerRenderer::Hosted hosted{drawInside, view->bounds()};
    hosted.change = view->treeChange();
    if (auto held = shapeCastingShadow(*view, layer)) {
      hosted.castShadow = [&, caster = *held](GraphicsContext& ahead) {
        placeInSuperview(*caster, flipped, ahead);
        LayerRenderer::castShadowOfShape(caster->layer(), ahead, *LayerRenderer::hostedShadow(layer));
      };
    }
    LayerRenderer::render(layer, context, hosted);
  } else {
    drawInside(context);
  }
  if (faded) context.endTransparencyLayer();
  context.restoreGState();
}
}  // namespace

void applyFrameTransform(const NSView& view, GraphicsContext& context) {
  placeInSuperview(view, superviewFlipped(view), context);
}

void applyTransformFromBase(const NSView& view, GraphicsContext& context) {
  std::vector<const NSView*> chain;
  for (const NSView* v = &view; v; v = v->superview().get()) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) applyFrameTransform(**it, context);
}

void drawOwnContent(NSView& view, GraphicsContext& context) {
  // drawRect code draws through the current graphics context; the context is borrowed
  // for the call (it may not be owned by a shared_ptr).
  std::shared_ptr<GraphicsContext> borrowed(std::shared_ptr<GraphicsContext>{}, &context);
  NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(borrowed, view.isFlipped()));
  view.drawRect(view.bounds());
}

void drawView(const std::shared_ptr<NSView>& view, GraphicsContext& context) {
  if (view) drawViewAt(view, superviewFlipped(*view), context, 0);
}

void drawWindow(const std::shared_ptr<NSWindow>& window, GraphicsContext& context, std::span<const NSRect> region) {
  NSRect frame = window->frame();
  auto background = asA<NSColor>(window->backgroundColor);
  context.setFillColor((background ? background : NSColor::windowBackgroundColor())->CGColor());
  context.fillRect(NSMakeRect(0, 0, frame.width(), frame.height()));
  if (auto top = window->frameView()) drawViewAt(top, superviewFlipped(*top), context, 0, region);
}

namespace {
Snapshot::Draw windowDrawing(const std::shared_ptr<NSWindow>& window) {
  return [window](GraphicsContext& context) { drawWindow(window, context); };
}

Snapshot::Draw viewDrawing(const std::shared_ptr<NSView>& view) {
  return [view](GraphicsContext& context) {
    // The view alone, with its frame's origin at the canvas's origin.
    NSRect frame = view->frame();
    context.translate(-frame.minX(), -frame.minY());
    drawViewAt(view, superviewFlipped(*view), context, 0);
  };
}
}  // namespace

std::shared_ptr<NSImage> imageOfWindow(const std::shared_ptr<NSWindow>& window, double scale) {
  if (!window) return nullptr;
  window->layoutIfNeeded();
  return Snapshot::image(windowDrawing(window), window->frame().size, scale);
}

Written writeWindowPNG(const std::shared_ptr<NSWindow>& window, const std::filesystem::path& path, double scale) {
  if (!window) return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 4, "There is nothing to draw."));
  window->layoutIfNeeded();
  return Snapshot::writePNG(windowDrawing(window), window->frame().size, path, scale);
}

std::shared_ptr<NSImage> imageOfView(const std::shared_ptr<NSView>& view, double scale) {
  if (!view) return nullptr;
  view->layoutSubtreeIfNeeded();
  return Snapshot::image(viewDrawing(view), view->frame().size, scale);
}

Written writeViewPNG(const std::shared_ptr<NSView>& view, const std::filesystem::path& path, double scale) {
  if (!view) return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 4, "There is nothing to draw."));
  view->layoutSubtreeIfNeeded();
  return Snapshot::writePNG(viewDrawing(view), view->frame().size, path, scale);
}

}  // namespace ViewTreeRenderer
