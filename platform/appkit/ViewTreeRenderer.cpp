#include "platform/appkit/ViewTreeRenderer.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/GraphicsContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/Snapshot.h"

namespace ViewTreeRenderer {

namespace {
constexpr int kMaxDepth = 256;

void drawViewAt(const std::shared_ptr<NSView>& view, GraphicsContext& context, bool parentFlipped, int depth) {
  if (!view || view->isHidden() || depth > kMaxDepth) return;
  NSRect frame = view->frame();
  NSRect bounds = view->bounds();
  if (!(frame.width() > 0) || !(frame.height() > 0)) return;
  context.saveGState();
  context.translate(frame.minX(), frame.minY());
  if (view->isFlipped() != parentFlipped) {
    context.translate(0, frame.height());
    context.scale(1, -1);
  }
  if (bounds.width() > 0 && bounds.height() > 0) context.scale(frame.width() / bounds.width(), frame.height() / bounds.height());
  context.translate(-bounds.minX(), -bounds.minY());
  bool faded = view->alphaValue() < 1.0;
  if (faded) context.beginTransparencyLayer(view->alphaValue());
  context.clipToRect(bounds);
  if (auto layer = view->layer(); layer && view->wantsLayer()) LayerRenderer::render(layer, context);
  {
    // drawRect code draws through the current graphics context.
    auto current = NSGraphicsContext::currentContext();
    auto port = current ? current->graphicsPort() : nullptr;
    if (port.get() == &context) {
      view->drawRect(bounds);
    } else {
      // A context not owned by a shared_ptr (a caller's stack object) is borrowed for the call.
      std::shared_ptr<GraphicsContext> borrowed(std::shared_ptr<GraphicsContext>{}, &context);
      NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(borrowed, view->isFlipped()));
      view->drawRect(bounds);
    }
  }
  auto children = view->subviews();
  for (auto& sub : children) drawViewAt(sub, context, view->isFlipped(), depth + 1);
  if (faded) context.endTransparencyLayer();
  context.restoreGState();
}
}  // namespace

void drawView(const std::shared_ptr<NSView>& view, GraphicsContext& context) {
  auto parent = view ? view->superview() : nullptr;
  drawViewAt(view, context, parent && parent->isFlipped(), 0);
}

namespace {
Snapshot::Draw windowDrawing(const std::shared_ptr<NSWindow>& window) {
  return [window](GraphicsContext& context) {
    NSRect frame = window->frame();
    auto background = asA<NSColor>(window->backgroundColor);
    context.setFillColor((background ? background : NSColor::windowBackgroundColor())->CGColor());
    context.fillRect(NSMakeRect(0, 0, frame.width(), frame.height()));
    drawView(window->frameView(), context);
  };
}

Snapshot::Draw viewDrawing(const std::shared_ptr<NSView>& view) {
  return [view](GraphicsContext& context) {
    // The view alone, with its frame's origin at the canvas's origin.
    NSRect frame = view->frame();
    context.translate(-frame.minX(), -frame.minY());
    drawViewAt(view, context, false, 0);
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
