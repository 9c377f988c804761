#pragma once
// The layer of the pie progress display: a disc sector that sweeps from the top of the
// circle (in unflipped drawing, its bottom) as `value` goes from 0 to 1, painted in the
// layer's border colour. `value` is animatable and redraws the layer as it changes.

#include <memory>
#include <string_view>

#include "platform/quartz/CALayer.h"

class ProgressLayer : public CALayer {
 public:
  static std::shared_ptr<ProgressLayer> layer();

  // The fraction shown; drawing clamps it to 0...1 (0 draws nothing, 1 the full disc).
  double value = 0.0;

  bool needsDisplayForKey(std::string_view key) const override;
  void drawInContext(GraphicsContext& context) override;
  id valueForKeyPath(std::string_view keyPath) const override;
  void setValueForKeyPath(std::string_view keyPath, const id& value) override;

  GLIMDECK_OBJECT(ProgressLayer)

 protected:
  ProgressLayer() = default;
  // The copy carries the layer's properties and its value, which running animations then
  // replace with theirs.
  std::shared_ptr<CALayer> makePresentationCopy() const override;
};
