#pragma once
// Animates a layer's bounds or opacity to a target inside one transaction of its own, with
// implicit actions off and an ease-in-ease-out pace; the GIF tile moves its layers with it.

#include <functional>
#include <memory>

#include "platform/foundation/NSObject.h"

class CALayer;

enum class LayerAnimationKind { bounds, opacity };

// The target is an NSValue holding a rectangle (bounds) or a real NSNumber (opacity); a
// target of the other kind changes nothing, but the transaction and its completion still run.
void performCATransaction(const std::shared_ptr<CALayer>& layer, LayerAnimationKind kind, const id& target,
                          double duration, std::function<void()> completion = nullptr);
