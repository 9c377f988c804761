#pragma once
// A layer whose content is a linear gradient between points given in unit coordinates of
// its bounds (0, 0 is the bounds' origin corner; the default runs from (0.5, 0) to (0.5, 1)).

#include <utility>
#include <vector>

#include "platform/quartz/CALayer.h"

inline constexpr std::string_view kCAGradientLayerAxial = "axial";

class CAGradientLayer : public CALayer {
 public:
  // A value the gradient draws with, set as a plain field is (`colors = {...}`), that tells
  // the layer's tree of each new value as a setter does.
  template <typename T>
  class Drawn {
   public:
    Drawn(CAGradientLayer& owner, T value) : owner_(owner), value_(std::move(value)) {}
    Drawn(const Drawn&) = delete;
    Drawn& operator=(T value) {
      value_ = std::move(value);
      owner_.noteChange();
      return *this;
    }
    Drawn& operator=(const Drawn& other) { return *this = other.value_; }
    operator const T&() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    bool operator==(const T& other) const { return value_ == other; }

   private:
    CAGradientLayer& owner_;
    T value_;
  };

  static std::shared_ptr<CAGradientLayer> layer();

  Drawn<std::vector<CGColor>> colors{*this, {}};
  // One location (0...1) per colour; empty spreads the colours evenly.
  Drawn<std::vector<double>> locations{*this, {}};
  Drawn<NSPoint> startPoint{*this, {0.5, 0.0}};
  Drawn<NSPoint> endPoint{*this, {0.5, 1.0}};
  std::string type{kCAGradientLayerAxial};

  // Draws the gradient over the bounds (within the rounded corners), then the delegate's drawing.
  void drawInContext(GraphicsContext& context) override;

  GLIMDECK_OBJECT(CAGradientLayer)

 protected:
  CAGradientLayer() = default;
  std::shared_ptr<CALayer> makePresentationCopy() const override;
};
