#include "account/QuorbUserManager.h"

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSUserDefaults.h"

std::shared_ptr<QuorbUserManager> QuorbUserManager::init() {
  std::shared_ptr<QuorbUserManager> manager(new QuorbUserManager());
  manager->quorbUser = loadStoredUser();
  return manager;
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
