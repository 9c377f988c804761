#pragma once
// The collection side of the account's changes. The collections sit above the account, so
// the account cannot call the collection manager itself: the collections register these
// answers at start-up and the account asks them. Every call is made on the main thread,
// where the store lives. Without a registration the calls do nothing.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSDictionary.h"

class QuorbUser;

class UserCollections {
 public:
  virtual ~UserCollections() = default;
  // The signed-in user changed from `previous` to `current` (either may be absent): local
  // subscriptions and packs made without an account are handed over, the collections that
  // are not the new user's are purged, and what waits to be sent is queued again.
  virtual void signedInUserDidChange(const std::shared_ptr<QuorbUser>& previous,
                                     const std::shared_ptr<QuorbUser>& current) = 0;
  // The same user signed in again: local subscriptions, packs and GIFs collected without an
  // account are handed over to the account, and what the service has not taken yet is sent
  // again.
  virtual void handOverLocalCollections() = 0;
  // The account signed out: its collections go.
  virtual void purgeCollections() = 0;
  // The service's list of the user's collections merged into the store; with `deleteNotFound`
  // the packs it no longer lists go.
  virtual void mergeServerCollections(const std::vector<std::shared_ptr<NSDictionary>>& collections,
                                      bool deleteNotFound) = 0;

  static void registerHandler(std::shared_ptr<UserCollections> handler);
  // The registered answers, or none.
  static std::shared_ptr<UserCollections> handler();
  // Runs `block` with the registered answers on the main thread: at once when called there,
  // otherwise queued on the main queue.
  static void onMainThread(std::function<void(UserCollections&)> block);
};
