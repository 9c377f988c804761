#pragma once
// A colour as an object: the form colours take among key-path and animated values. The
// interface kit's colours are such objects, so they can be handed to layers directly.

#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/quartz/CGColor.h"

class CGColorValue : public NSObject {
 public:
  static std::shared_ptr<CGColorValue> valueWithColor(const ::CGColor& color);

  ::CGColor CGColor() const { return color_; }

  std::string className() const override { return "CGColor"; }
  // Equal to any colour object with the same components.
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;

 protected:
  explicit CGColorValue(::CGColor color) : color_(color) {}
  ::CGColor color_;
};
