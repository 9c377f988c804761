#pragma once
// Draws a layer tree into a graphics context: shadow, background with its corners,
// contents by gravity, custom drawing, sublayers by z order (clipped when the layer masks
// to its bounds), border, opacity and mask, with the animated values of the current clock
// time. The context is in the superlayer's coordinates of the layer drawn.

#include <memory>

class CALayer;
class GraphicsContext;

namespace LayerRenderer {

void render(const std::shared_ptr<CALayer>& layer, GraphicsContext& context);

}  // namespace LayerRenderer
