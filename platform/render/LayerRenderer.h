#pragma once
// Draws a layer tree into a graphics context: shadow, background with its corners,
// contents by gravity, custom drawing, sublayers by z order (clipped when the layer masks
// to its bounds), border, opacity and mask, with the animated values of the current clock
// time. The context is in the superlayer's coordinates of the layer drawn.

#include <memory>

#include "platform/foundation/NSGeometry.h"

class CALayer;
class GraphicsContext;

namespace LayerRenderer {

void render(const std::shared_ptr<CALayer>& layer, GraphicsContext& context);

// The rectangle, in the superlayer's coordinates, that render() may paint: the bounds, the
// sublayers' extents unless the layer masks to its bounds, and (unless left out) the reach
// of the shadows. A hidden or transparent layer paints nothing.
NSRect extent(const std::shared_ptr<CALayer>& layer, bool withShadows = true);
// How far beyond the shape that casts it a shadow of this blur radius and offset may reach.
double shadowReach(double blurRadius, NSSize offset);
// Whether the layer or one of its sublayers casts a shadow: its blur is worked out from the
// whole shape, so a painting that clips the shape must not cut through it.
bool castsShadow(const std::shared_ptr<CALayer>& layer);

}  // namespace LayerRenderer
