#pragma once
// Keeps the signed-in user, archived in the user defaults under "userKey". Every caller
// makes its own manager; managers share their state only through the stored archive.
#include <functional>
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
    // The error-map entry whose "requred" forces a log-out, and the acceptance parameter.
    static constexpr std::string_view login = "login";
    static constexpr std::string_view tos = "tos";
  };

  // A new manager holding the stored user (none when absent or unreadable). Making one also
  // lets analytics events name the signed-in user.
  static std::shared_ptr<QuorbUserManager> init();
  static std::shared_ptr<QuorbUserManager> quorbUserManager() { return init(); }

  // This manager's copy of the signed-in user.
  std::shared_ptr<QuorbUser> quorbUser;
  // The cached user, restored from the store first while there is none.
  std::shared_ptr<QuorbUser> currentUser();
  // True exactly while a valid token is stored.
  bool isUserLoggedIn() const { return QuorbUser::authToken().has_value(); }
  // Installs a user (or none) and keeps the local collections in line with the change, then
  // stores the user. Main thread: the collection side works on the store.
  void setUser(const std::shared_ptr<QuorbUser>& user);
  // Refreshes the signed-in user from the service when a token is stored.
  void authenticateUser();
  void handleUserRefreshResponse(const std::shared_ptr<QuorbUser>& user, const std::shared_ptr<NSError>& error,
                                 const std::shared_ptr<NSDictionary>& errorMap);
  void mergeUserCollections(const std::shared_ptr<QuorbUser>& user);

  bool doesCurrentUserRequireTOS();
  void setTOSAcceptedForCurrentUser();
  // Tells the service the terms are accepted; `callback` (on the reply's queue) gets whether
  // the service took it.
  void executeCurrentUserTOSAgreementWithCallback(std::function<void(bool)> callback);

  // The stored user's identifier while a valid token is kept; none otherwise.
  static std::optional<std::string> signedInUserIdentifier();

  std::string className() const override { return "QuorbUserManager"; }

 protected:
  QuorbUserManager() = default;
  // The user archived under "userKey", or none.
  static std::shared_ptr<QuorbUser> loadStoredUser();
  void persistCurrentUser();
};
