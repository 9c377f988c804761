#pragma once
// Reaching the application's own delegate from anywhere in the interface.

#include <memory>

class AppDelegate;

// The shared application's delegate when it is the application's AppDelegate; none otherwise.
std::shared_ptr<AppDelegate> getAppDelegate();
