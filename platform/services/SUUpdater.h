#pragma once
// The software updater. This platform installs the application through its package
// manager, so there is no update feed to read: a check finds nothing, and one the user
// asked for says so in one line. The checks are counted so that callers can be held to
// how often they ask.

#include <memory>
#include <string_view>

#include "platform/foundation/NSObject.h"

class SUUpdater : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view noUpdatesLine =
        "Software updates: Glimdeck is updated with the system's packages; there is nothing to check here.";
  };

  static std::shared_ptr<SUUpdater> make() { return create(); }

  // A quiet check, at the application's own pace.
  void checkForUpdatesInBackground() { ++backgroundChecks_; }
  // A check the user asked for.
  void checkForUpdates(const std::shared_ptr<NSObject>& sender);

  int backgroundChecks() const { return backgroundChecks_; }
  int userChecks() const { return userChecks_; }

  GLIMDECK_OBJECT(SUUpdater)

 private:
  SUUpdater() = default;
  int backgroundChecks_ = 0;
  int userChecks_ = 0;
};
