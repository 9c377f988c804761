#pragma once
// Draws a layer tree into a graphics context: shadow, background with its corners,
// contents by gravity, custom drawing, sublayers by z order (clipped when the layer masks
// to its bounds), border, opacity and mask, with the animated values of the current clock
// time. The context is in the superlayer's coordinates of the layer drawn. A layer that
// should rasterize is laid on from a picture the context keeps of its tree, when the context
// keeps pictures (see GraphicsContext::drawKeptPicture), while nothing in it changes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/GraphicsContext.h"

class CALayer;

namespace LayerRenderer {

// What a backing layer hosts besides its own sublayers: its view's drawing and subviews,
// drawn (in the layer's coordinates, inside `bounds`) over the layer's background, contents
// and sublayers, so that they take part in the layer's shadow, opacity and rounded mask.
struct Hosted {
  std::function<void(GraphicsContext&)> draw;
  NSRect bounds;
  // When given, casts the layer's shadow from the shape of what it hosts (see
  // castShadowOfShape), in the layer's coordinates, before anything is drawn: the layer
  // then draws without its shadow, and so without a transparency layer of its own.
  std::function<void(GraphicsContext&)> castShadow;
  // The change number of the tree that hosts (the view's, see TreeChange): a rasterizing
  // layer's kept picture, which holds what it hosts, is made again when it differs. None
  // (0) with a drawing: the layer is then drawn as it is, without a kept picture.
  std::uint64_t change = 0;
};

void render(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, const Hosted& hosted = {});

// The layer as it shows at the clock's time: its presentation copy while it animates (held
// in `held`), the layer itself otherwise (no reference taken: the walks ask this of every
// layer at every pass).
const CALayer& shownLayer(const std::shared_ptr<CALayer>& layer, std::shared_ptr<CALayer>& held);

// The rectangle, in the superlayer's coordinates, that render() may paint: the bounds, the
// sublayers' extents unless the layer masks to its bounds, and (unless left out) the reach
// of the shadows. A hidden or transparent layer paints nothing.
NSRect extent(const std::shared_ptr<CALayer>& layer, bool withShadows = true);
// How far beyond the shape that casts it a shadow of this blur radius and offset may reach.
double shadowReach(double blurRadius, NSSize offset);
// Whether the layer or one of its sublayers casts a shadow: its blur is worked out from the
// whole shape, so a painting that clips the shape must not cut through it.
bool castsShadow(const std::shared_ptr<CALayer>& layer);
// How far the layer's own shadow (cast by everything drawn in it, hosted drawing included)
// reaches beyond what casts it; none when the layer casts none.
std::optional<double> ownShadowReach(const std::shared_ptr<CALayer>& layer);
// Whether the layer masks to its bounds over an opaque background: what is drawn in it
// then never changes the shape of its picture (its alpha), only its colours.
bool isOpaqueWithin(const std::shared_ptr<CALayer>& layer);
// Whether what is drawn in the layer shows as it is drawn: not hidden, faded, masked, cut
// to rounded corners or casting a shadow.
bool showsPlainly(const std::shared_ptr<CALayer>& layer);
// Whether anything drawn in the layer shows: not when it is hidden or fully transparent.
bool showsSublayers(const std::shared_ptr<CALayer>& layer);

// The shadow of a layer that draws nothing itself (no background, contents, drawing,
// sublayers or border, fully opaque, unmasked): only what it hosts casts it. None otherwise.
std::optional<CGShadow> hostedShadow(const std::shared_ptr<CALayer>& layer);
// Whether the layer's picture always has the alpha of its rounded shape, whatever is
// drawn in it: it masks to its rounded bounds over an opaque background, with no border.
bool hasOpaqueRoundedShape(const std::shared_ptr<CALayer>& layer);
// Draws the shadow that such a layer's picture casts (the context is in the superlayer's
// coordinates, as for render): a shadow that depends on the shape alone, cast before the
// layer is drawn, spares the layer that hosts it a transparency layer of its own.
void castShadowOfShape(const std::shared_ptr<CALayer>& layer, GraphicsContext& context, const CGShadow& shadow);

}  // namespace LayerRenderer
