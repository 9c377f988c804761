#include "platform/quartz/CATransaction.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/quartz/CAAnimation.h"

namespace {

struct Frame {
  double duration = CAAnimation::defaultDuration();
  bool disableActions = false;
  std::shared_ptr<CAMediaTimingFunction> timingFunction;
  std::function<void()> completion;
  double latestAnimationEnd = -HUGE_VAL;
};

// Layers belong to the main thread; so do their transactions.
std::vector<Frame>& frames() {
  static std::vector<Frame> stack;
  return stack;
}

// Outside any explicit transaction, settings go to an implicit one that is never committed.
Frame& current() {
  static Frame implicit;
  auto& stack = frames();
  if (stack.empty()) {
    implicit = Frame{};
    return implicit;
  }
  return stack.back();
}

}  // namespace

void CATransaction::begin() {
  Frame frame;
  // A nested transaction starts from the settings of the one around it, as the platform does.
  if (!frames().empty()) {
    frame.duration = frames().back().duration;
    frame.disableActions = frames().back().disableActions;
    frame.timingFunction = frames().back().timingFunction;
  }
  frames().push_back(std::move(frame));
}

void CATransaction::commit() {
  auto& stack = frames();
  if (stack.empty()) return;
  Frame frame = std::move(stack.back());
  stack.pop_back();
  double now = Clock::current().now();
  double end = std::max(now + std::max(0.0, frame.duration), frame.latestAnimationEnd);
  if (!stack.empty()) stack.back().latestAnimationEnd = std::max(stack.back().latestAnimationEnd, end);
  if (frame.completion) {
    if (std::isinf(end)) return;  // an animation that repeats for ever never completes
    NSRunLoop::main()->scheduleAt(end, std::move(frame.completion));
  }
}

double CATransaction::animationDuration() { return current().duration; }

void CATransaction::setAnimationDuration(double seconds) {
  current().duration = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

bool CATransaction::disableActions() { return current().disableActions; }
void CATransaction::setDisableActions(bool disable) { current().disableActions = disable; }

std::shared_ptr<CAMediaTimingFunction> CATransaction::animationTimingFunction() { return current().timingFunction; }

void CATransaction::setAnimationTimingFunction(std::shared_ptr<CAMediaTimingFunction> function) {
  current().timingFunction = std::move(function);
}

std::function<void()> CATransaction::completionBlock() { return current().completion; }
void CATransaction::setCompletionBlock(std::function<void()> block) { current().completion = std::move(block); }

int CATransaction::depth() { return static_cast<int>(frames().size()); }

void CATransaction::noteAnimationEnding(double endTime) {
  if (frames().empty()) return;
  frames().back().latestAnimationEnd = std::max(frames().back().latestAnimationEnd, endTime);
}

void CATransaction::reset() { frames().clear(); }
