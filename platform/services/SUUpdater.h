#pragma once
// The software updater. This platform installs the application through its package
// manager, so there is no update feed to read: a check finds nothing, and one the user
// asked for says so, in a line and in an alert the user sees. The checks are counted so
// that callers can be held to how often they ask.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class SUUpdater : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view noUpdatesLine =
        "Software updates: Glimdeck is updated with the system's packages; there is nothing to check here.";
    static constexpr std::string_view upToDateMessage = " is up to date";
    static constexpr std::string_view upToDateDetail =
        "New versions come with the system's packages: the package manager installs them.";
  };

  static std::shared_ptr<SUUpdater> make() { return create(); }

  // A quiet check, at the application's own pace.
  void checkForUpdatesInBackground() { ++backgroundChecks_; }
  // A check the user asked for: its answer waits in an alert until the user dismisses it.
  void checkForUpdates(const std::shared_ptr<NSObject>& sender);

  int backgroundChecks() const { return backgroundChecks_; }
  int userChecks() const { return userChecks_; }
  // The alert's message: the application's name and " is up to date".
  static std::string upToDateText();

  GLIMDECK_OBJECT(SUUpdater)

 private:
  SUUpdater() = default;
  int backgroundChecks_ = 0;
  int userChecks_ = 0;
};
