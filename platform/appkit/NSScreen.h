#pragma once
// The displays, in global screen coordinates (origin at the bottom left of the main one).
// There is no display server here: the application sees one standard display unless a
// test or the start-up describes others.

#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSScreen : public NSObject {
 public:
  struct Constants {
    static constexpr double menuBarHeight = 24.0;
  };

  static std::shared_ptr<NSScreen> make(NSRect frame, double backingScaleFactor = 1.0);

  // The first display is the main one; an empty list means no display at all.
  static std::vector<std::shared_ptr<NSScreen>> screens();
  static std::shared_ptr<NSScreen> mainScreen();
  static void setScreens(std::vector<std::shared_ptr<NSScreen>> screens);
  // Back to the one standard display (1440×900 points, scale 1).
  static void resetScreens();

  NSRect frame() const { return frame_; }
  // The frame without the menu bar along the top.
  NSRect visibleFrame() const;
  double backingScaleFactor() const { return backingScaleFactor_; }

  // The display that shows most of the rectangle; none when no display shows any of it.
  static std::shared_ptr<NSScreen> screenShowingMostOf(NSRect rect);

  GLIMDECK_OBJECT(NSScreen)

 private:
  NSScreen(NSRect frame, double scale) : frame_(frame), backingScaleFactor_(scale) {}
  NSRect frame_;
  double backingScaleFactor_;
};
