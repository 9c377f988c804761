#include "app/NSApplicationExtensions.h"

#include "app/AppDelegate.h"

std::shared_ptr<AppDelegate> getAppDelegate() {
  return std::dynamic_pointer_cast<AppDelegate>(NSApp()->delegate());
}
