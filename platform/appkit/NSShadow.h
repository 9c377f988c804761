#pragma once
// A drop shadow: colour, offset and blur, made current in the graphics context with set().

#include <memory>

#include "platform/appkit/NSColor.h"
#include "platform/foundation/NSGeometry.h"

class NSShadow : public NSObject {
 public:
  static std::shared_ptr<NSShadow> make() { return create(); }

  // Black at a third of full opacity unless set, as the platform does.
  std::shared_ptr<NSColor> shadowColor = NSColor::colorWithRed(0, 0, 0, 1.0 / 3.0);
  NSSize shadowOffset{0, 0};
  double shadowBlurRadius = 0;

  // Puts this shadow on everything drawn next in the current graphics context (the state
  // is not saved first; callers save and restore around it). No context, nothing.
  void set() const;

  GLIMDECK_OBJECT(NSShadow)
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::string description() const override;

 private:
  NSShadow() = default;
};
