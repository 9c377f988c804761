#pragma once
// Pointer shapes. The current one is what the window chose from the cursor rectangles
// under the pointer, or what code set last.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSCursor : public NSObject {
 public:
  static std::shared_ptr<NSCursor> arrowCursor();
  static std::shared_ptr<NSCursor> pointingHandCursor();
  static std::shared_ptr<NSCursor> IBeamCursor();
  static std::shared_ptr<NSCursor> crosshairCursor();
  static std::shared_ptr<NSCursor> openHandCursor();
  static std::shared_ptr<NSCursor> closedHandCursor();
  static std::shared_ptr<NSCursor> operationNotAllowedCursor();

  static std::shared_ptr<NSCursor> currentCursor();
  // Back to the arrow with an empty stack (between tests).
  static void resetCurrent();

  // The shape's name ("arrow", "pointingHand", "IBeam"...).
  const std::string& name() const { return name_; }

  void set();
  void push();
  static void pop();

  GLIMDECK_OBJECT(NSCursor)
  std::string description() const override { return "NSCursor " + name_; }

 private:
  explicit NSCursor(std::string name) : name_(std::move(name)) {}
  static std::shared_ptr<NSCursor> named(const std::string& name);
  std::string name_;
};
