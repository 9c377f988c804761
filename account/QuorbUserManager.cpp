#include "account/QuorbUserManager.h"

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/PlovexAnalytics.h"

std::shared_ptr<QuorbUserManager> QuorbUserManager::init() {
  // Analytics sits below the account and asks it who is signed in through this answer.
  PlovexAnalytics::setSignedInUserSource(signedInUserIdentifier);
  std::shared_ptr<QuorbUserManager> manager(new QuorbUserManager());
  manager->quorbUser = loadStoredUser();
  return manager;
}

std::optional<std::string> QuorbUserManager::signedInUserIdentifier() {
  if (!QuorbUser::authToken()) return std::nullopt;
  auto user = loadStoredUser();
  if (!user) return std::nullopt;
  return std::to_string(user->userId);
}

std::shared_ptr<QuorbUser> QuorbUserManager::currentUser() {
  if (!quorbUser) quorbUser = loadStoredUser();
  return quorbUser;
}

std::shared_ptr<QuorbUser> QuorbUserManager::loadStoredUser() {
  auto data = asA<NSData>(NSUserDefaults::standardUserDefaults()->objectForKey(Constants::userKey));
  if (!data) return nullptr;
  auto root = NSKeyedUnarchiver::unarchiveObjectWithData(data);
  return root ? asA<QuorbUser>(*root) : nullptr;
}
