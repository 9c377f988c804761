#include "platform/appkit/NSScreen.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex screensMutex;

std::vector<std::shared_ptr<NSScreen>> standardScreens() { return {NSScreen::make(NSMakeRect(0, 0, 1440, 900))}; }

std::vector<std::shared_ptr<NSScreen>>& currentScreens() {
  static std::vector<std::shared_ptr<NSScreen>> screens = standardScreens();
  return screens;
}

}  // namespace

std::shared_ptr<NSScreen> NSScreen::make(NSRect frame, double backingScaleFactor) {
  return create(frame, backingScaleFactor > 0 ? backingScaleFactor : 1.0);
}

std::vector<std::shared_ptr<NSScreen>> NSScreen::screens() {
  std::lock_guard lock(screensMutex);
  return currentScreens();
}

std::shared_ptr<NSScreen> NSScreen::mainScreen() {
  std::lock_guard lock(screensMutex);
  return currentScreens().empty() ? nullptr : currentScreens().front();
}

void NSScreen::setScreens(std::vector<std::shared_ptr<NSScreen>> screens) {
  std::erase(screens, nullptr);
  std::lock_guard lock(screensMutex);
  currentScreens() = std::move(screens);
}

void NSScreen::resetScreens() { setScreens(standardScreens()); }

NSRect NSScreen::visibleFrame() const {
  NSRect visible = frame_;
  visible.size.height = std::max(0.0, visible.size.height - Constants::menuBarHeight);
  return visible;
}

std::shared_ptr<NSScreen> NSScreen::screenShowingMostOf(NSRect rect) {
  if (rect.size.width <= 0 || rect.size.height <= 0) {
    // An empty rectangle is on the display that holds its origin.
    for (const auto& screen : screens())
      if (NSPointInRect(rect.origin, screen->frame())) return screen;
    return nullptr;
  }
  std::shared_ptr<NSScreen> best;
  double bestArea = 0;
  for (const auto& screen : screens()) {
    NSRect shared = NSIntersectionRect(screen->frame(), rect);
    double area = shared.size.width * shared.size.height;
    if (area > bestArea) {
      best = screen;
      bestArea = area;
    }
  }
  return best;
}
