#pragma once
// A layer whose content is a linear gradient between points given in unit coordinates of
// its bounds (0, 0 is the bounds' origin corner; the default runs from (0.5, 0) to (0.5, 1)).

#include <vector>

#include "platform/quartz/CALayer.h"

inline constexpr std::string_view kCAGradientLayerAxial = "axial";

class CAGradientLayer : public CALayer {
 public:
  static std::shared_ptr<CAGradientLayer> layer();

  std::vector<CGColor> colors;
  // One location (0...1) per colour; empty spreads the colours evenly.
  std::vector<double> locations;
  NSPoint startPoint{0.5, 0.0};
  NSPoint endPoint{0.5, 1.0};
  std::string type{kCAGradientLayerAxial};

  // Draws the gradient over the bounds (within the rounded corners), then the delegate's drawing.
  void drawInContext(GraphicsContext& context) override;

  GLIMDECK_OBJECT(CAGradientLayer)

 protected:
  CAGradientLayer() = default;
  std::shared_ptr<CALayer> makePresentationCopy() const override;
};
