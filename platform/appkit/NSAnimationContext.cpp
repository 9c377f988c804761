#include "platform/appkit/NSAnimationContext.h"

#include <cmath>
#include <vector>

#include "platform/quartz/CATransaction.h"

namespace {
// Groups belong to the main thread, like the views they animate.
std::vector<std::shared_ptr<NSAnimationContext>>& groups() {
  static std::vector<std::shared_ptr<NSAnimationContext>> stack;
  return stack;
}
}  // namespace

void NSAnimationContext::runAnimationGroup(const std::function<void(NSAnimationContext&)>& changes,
                                           std::function<void()> completionHandler) {
  beginGrouping();
  auto context = groups().back();
  context->completionHandler = std::move(completionHandler);
  if (changes) changes(*context);
  endGrouping();
}

std::shared_ptr<NSAnimationContext> NSAnimationContext::currentContext() {
  if (groups().empty()) {
    // Outside a group: a fresh default context; what is set on it lasts for nothing.
    return create();
  }
  return groups().back();
}

void NSAnimationContext::beginGrouping() {
  std::shared_ptr<NSAnimationContext> context(new NSAnimationContext());
  context->open_ = true;
  CATransaction::begin();
  CATransaction::setAnimationDuration(context->duration_);
  groups().push_back(context);
}

void NSAnimationContext::endGrouping() {
  if (groups().empty()) return;
  auto context = groups().back();
  groups().pop_back();
  context->open_ = false;
  CATransaction::setCompletionBlock(std::move(context->completionHandler));
  context->completionHandler = nullptr;
  CATransaction::commit();
}

bool NSAnimationContext::isGrouping() { return !groups().empty(); }

void NSAnimationContext::setDuration(double seconds) {
  duration_ = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
  if (open_) CATransaction::setAnimationDuration(duration_);
}

void NSAnimationContext::setTimingFunction(std::shared_ptr<CAMediaTimingFunction> function) {
  timingFunction_ = std::move(function);
  if (open_) CATransaction::setAnimationTimingFunction(timingFunction_);
}
