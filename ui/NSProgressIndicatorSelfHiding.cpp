#include "ui/NSProgressIndicatorSelfHiding.h"

std::shared_ptr<NSProgressIndicatorSelfHiding> NSProgressIndicatorSelfHiding::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSProgressIndicatorSelfHiding>(new NSProgressIndicatorSelfHiding(frame)));
}

void NSProgressIndicatorSelfHiding::startAnimation(const std::shared_ptr<NSObject>& sender) {
  setHidden(false);
  NSProgressIndicator::startAnimation(sender);
}

void NSProgressIndicatorSelfHiding::stopAnimation(const std::shared_ptr<NSObject>& sender) {
  setHidden(true);
  NSProgressIndicator::stopAnimation(sender);
}
