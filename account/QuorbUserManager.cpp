#include "account/QuorbUserManager.h"

#include "account/UserCollections.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Unicode.h"
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

void QuorbUserManager::persistCurrentUser() {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(quorbUser);
  if (!data) return;
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(*data, Constants::userKey);
  defaults->synchronize();
}

void QuorbUserManager::setUser(const std::shared_ptr<QuorbUser>& user) {
  if (!quorbUser) quorbUser = loadStoredUser();
  auto previous = quorbUser;
  quorbUser = user;
  const bool changed = (!previous != !user) || (previous && user && previous->userId != user->userId);
  // The store still holds the previous user here: the collection side reads it as such.
  if (auto collections = UserCollections::handler()) {
    if (changed) {
      collections->signedInUserDidChange(previous, user);
    } else if (user && isUserLoggedIn()) {
      // Signing in again as the same user still hands over what was made without an account
      // meanwhile; left unclaimed, the next merge with the service would delete it.
      collections->handOverLocalCollections();
    }
  }
  persistCurrentUser();
}

void QuorbUserManager::authenticateUser() {
  if (!QuorbUser::authToken()) return;
  auto self = sharedAs<QuorbUserManager>();
  QuorbUser::authenticatedRequestWithHandler(
      QuorbUser::Constants::userPath, {},
      [self](std::shared_ptr<NSDictionary> reply, std::shared_ptr<NSError> error) {
        QuorbUser::handleRetrieveUserResponse(
            reply, error,
            [self](std::shared_ptr<QuorbUser> user, bool, std::shared_ptr<NSError> failure, std::shared_ptr<NSDictionary> map) {
              // The user and the store change together, on the main thread.
              NSRunLoop::main()->perform([self, user, failure, map] { self->handleUserRefreshResponse(user, failure, map); });
            });
      });
}

void QuorbUserManager::handleUserRefreshResponse(const std::shared_ptr<QuorbUser>& user, const std::shared_ptr<NSError>& error,
                                                 const std::shared_ptr<NSDictionary>& errorMap) {
  auto login = errorMap ? asA<NSString>(errorMap->objectForKey(Constants::login)) : nullptr;
  if (login && Unicode::lowercase(login->string()) == "requred") {
    QuorbUser::logout();
    return;
  }
  // A reply without a usable user says nothing about who is signed in: it must not sign the
  // user out or purge the collections.
  if (error || !user) return;
  QuorbUserManager::init()->setUser(user);
  auto self = sharedAs<QuorbUserManager>();
  NSRunLoop::main()->perform([self, user] { self->mergeUserCollections(user); });
}

void QuorbUserManager::mergeUserCollections(const std::shared_ptr<QuorbUser>& user) {
  if (!user) return;
  if (auto collections = UserCollections::handler()) collections->mergeServerCollections(user->rawCollections, true);
}

bool QuorbUserManager::doesCurrentUserRequireTOS() {
  auto user = currentUser();
  return user && !user->hasAcceptedTOS;
}

void QuorbUserManager::setTOSAcceptedForCurrentUser() {
  auto user = currentUser();
  if (!user) return;
  user->hasAcceptedTOS = true;
  persistCurrentUser();
}

void QuorbUserManager::executeCurrentUserTOSAgreementWithCallback(std::function<void(bool)> callback) {
  QuorbUser::authenticatedRequestWithHandler(QuorbUser::Constants::accepttosPath, {{std::string(Constants::tos), "true"}},
                                             [callback](std::shared_ptr<NSDictionary> reply, std::shared_ptr<NSError> error) {
                                               // Accepted only when the service answered and did not complain.
                                               if (callback) callback(!error && reply && !reply->containsKey("error"));
                                             });
}
