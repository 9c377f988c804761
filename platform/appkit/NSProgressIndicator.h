#pragma once
// A bar or a spinner that shows progress, determinate or not.

#include <memory>

#include "platform/appkit/NSView.h"

class NSRunLoop;
class RunLoopTimerToken;

enum class NSProgressIndicatorStyle { bar = 0, spinning = 1 };
enum class NSControlSize { regular = 0, small = 1, mini = 2, large = 3 };

class NSProgressIndicator : public NSView {
 public:
  static std::shared_ptr<NSProgressIndicator> initWithFrame(NSRect frame);

  NSProgressIndicatorStyle style = NSProgressIndicatorStyle::bar;
  NSControlSize controlSize = NSControlSize::regular;
  bool indeterminate = true;
  bool usesThreadedAnimation = false;
  bool displayedWhenStopped = true;
  double minValue = 0;
  double maxValue = 100;

  double doubleValue() const { return value_; }
  void setDoubleValue(double value);
  void incrementBy(double delta) { setDoubleValue(value_ + delta); }

  virtual void startAnimation(const std::shared_ptr<NSObject>& sender);
  virtual void stopAnimation(const std::shared_ptr<NSObject>& sender);
  bool isAnimating() const { return animating_; }

  void drawRect(NSRect dirtyRect) override;
  GLIMDECK_OBJECT(NSProgressIndicator)

 protected:
  using NSView::NSView;

 private:
  double value_ = 0;
  bool animating_ = false;
};
