#include "platform/appkit/Snapshot.h"

#include "platform/appkit/NSImage.h"
#include "platform/render/CairoContext.h"
#include "platform/render/LayerRenderer.h"
#include "platform/render/NSGraphicsContext.h"

namespace Snapshot {

namespace {

std::shared_ptr<CairoContext> drawn(const Draw& draw, NSSize size, double scale, bool flipped) {
  auto canvas = CairoContext::make(size, scale, flipped);
  if (draw) {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(canvas, flipped));
    canvas->saveGState();
    draw(*canvas);
    canvas->restoreGState();
  }
  return canvas;
}

Draw layerDrawing(const std::shared_ptr<CALayer>& root) {
  return [root](GraphicsContext& context) { LayerRenderer::render(root, context); };
}

std::shared_ptr<NSImage> imageOf(const CairoContext& canvas) {
  CGImage pixels = canvas.pixels();
  return NSImage::imageWithPixels(pixels.width, pixels.height, std::move(pixels.rgba),
                                  {pixels.width / canvas.pixelsPerPoint(), pixels.height / canvas.pixelsPerPoint()});
}

}  // namespace

std::shared_ptr<NSImage> image(const std::shared_ptr<CALayer>& root, NSSize size, double scale) {
  return imageOf(*drawn(layerDrawing(root), size, scale, false));
}

Written writePNG(const std::shared_ptr<CALayer>& root, NSSize size, const std::filesystem::path& path, double scale) {
  return drawn(layerDrawing(root), size, scale, false)->writePNG(path);
}

std::shared_ptr<NSImage> image(const Draw& draw, NSSize size, double scale, bool flipped) {
  return imageOf(*drawn(draw, size, scale, flipped));
}

Written writePNG(const Draw& draw, NSSize size, const std::filesystem::path& path, double scale, bool flipped) {
  return drawn(draw, size, scale, flipped)->writePNG(path);
}

}  // namespace Snapshot
