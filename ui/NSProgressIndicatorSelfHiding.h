#pragma once
// A spinning indicator that is visible exactly while it animates.

#include <memory>

#include "platform/appkit/NSProgressIndicator.h"

class NSProgressIndicatorSelfHiding : public NSProgressIndicator {
 public:
  static std::shared_ptr<NSProgressIndicatorSelfHiding> initWithFrame(NSRect frame);

  void startAnimation(const std::shared_ptr<NSObject>& sender) override;
  void stopAnimation(const std::shared_ptr<NSObject>& sender) override;

  GLIMDECK_OBJECT(NSProgressIndicatorSelfHiding)

 protected:
  using NSProgressIndicator::NSProgressIndicator;
};
