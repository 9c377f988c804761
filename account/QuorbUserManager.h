#pragma once
// Keeps the signed-in user, archived in the user defaults under "userKey". Every caller
// makes its own manager; managers share their state only through the stored archive.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "account/QuorbUser.h"
#include "platform/foundation/NSObject.h"

class QuorbUserManager : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view userKey = "userKey";
  };

  // A new manager holding the stored user (none when absent or unreadable). Making one also
  // lets analytics events name the signed-in user.
  static std::shared_ptr<QuorbUserManager> init();
  static std::shared_ptr<QuorbUserManager> quorbUserManager() { return init(); }

  // This manager's copy of the signed-in user.
  std::shared_ptr<QuorbUser> quorbUser;
  // The cached user, restored from the store first while there is none.
  std::shared_ptr<QuorbUser> currentUser();
  // The stored user's identifier while a valid token is kept; none otherwise.
  static std::optional<std::string> signedInUserIdentifier();

  std::string className() const override { return "QuorbUserManager"; }

 protected:
  QuorbUserManager() = default;
  // The user archived under "userKey", or none.
  static std::shared_ptr<QuorbUser> loadStoredUser();
};
