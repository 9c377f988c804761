#pragma once
// The application's delegate: it runs the start-up and owns the menu-bar presence.

#include <memory>

#include "platform/appkit/NSApplication.h"

class AppDelegate : public NSObject, public NSApplicationDelegate {
 public:
  static std::shared_ptr<AppDelegate> make() { return create(); }
  GLIMDECK_OBJECT(AppDelegate)

 private:
  AppDelegate() = default;
};
