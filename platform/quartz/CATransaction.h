#pragma once
// Groups layer changes: the duration and pacing given to animations added without their
// own, whether
// implicit actions are off, and a completion block that runs on the main run loop once
// the duration has passed on the clock and every animation added inside has ended.
// Transactions nest; changes outside any explicit one take the defaults.
//
// Layers here make no implicit animations: a property set takes effect at once, so the
// disabled-actions flag is kept for callers to read and changes nothing else.

#include <functional>
#include <memory>

#include "platform/quartz/CAMediaTimingFunction.h"

class CATransaction {
 public:
  static void begin();
  // Ends the innermost transaction and schedules its completion. Without a matching
  // begin nothing happens.
  static void commit();
  static void flush() {}

  static double animationDuration();
  static void setAnimationDuration(double seconds);
  static bool disableActions();
  static void setDisableActions(bool disable);
  static std::shared_ptr<CAMediaTimingFunction> animationTimingFunction();
  static void setAnimationTimingFunction(std::shared_ptr<CAMediaTimingFunction> function);
  static std::function<void()> completionBlock();
  static void setCompletionBlock(std::function<void()> block);

  // How many explicit transactions are open.
  static int depth();
  // Layers report each animation they take, with the clock time it ends, so that the
  // open transactions wait for it.
  static void noteAnimationEnding(double endTime);
  // Forgets every open transaction (between tests).
  static void reset();
};
