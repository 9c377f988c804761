// Keeping the store's collections in step with the service's: the daily refresh, handing
// local subscriptions to the account, creating and removing packs, and merging the list of
// collections the service sends.
#include "account/QuorbUser.h"
#include "collections/CollectionManager.h"
#include "collections/CollectionSynchronizer.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "service/PlovexAnalytics.h"

namespace {

using Keys = CollectionManager::Constants;
std::string paramKey(std::string_view name) { return std::string(name); }

std::optional<std::int64_t> wholeNumber(const id& value) {
  auto number = asA<NSNumber>(value);
  if (!number || number->isBool() || !number->isWholeNumber()) return std::nullopt;
  return number->integerValue();
}

}  // namespace

void CollectionManager::synchronizeAllCollections() {
  if (!QuorbUser::authToken()) return;
  auto queue = collectionSynchronizationQueue();
  // No refresh runs that began before a removal noted so far: the notes can go.
  if (queue->operationCount() == 0) removals_.clear();
  for (const auto& collection : getAllCollections(false)) {
    const auto type = collection->specialCollectionType();
    if (type == 1 || type == 5 || type == 3) continue;
    // A pack the service has not given an id yet has no stream there to read.
    if ((type == 0 || type == 4) && collection->identifier() == 0) continue;
    queue->addOperation(CollectionSynchronizer::make(collection));
  }
}

void CollectionManager::synchronizeAllSubscriptions() {
  if (!context()) return;
  for (const auto& subscription : getAllSubscribedCollections()) {
    // Only those made without an account are handed over: the others are already some
    // account's on the service, and must not be sent into another.
    if (!subscription->awaitingHandOver() || subscription->identifier() <= 0) continue;
    auto token = QuorbUser::authToken();
    if (!token) continue;
    auto user = storedUserRecord();
    auto creator = subscription->creator();
    if (creator && user && creator->isEqual(user)) continue;
    std::weak_ptr<NSManagedObjectID> identity = subscription->objectID();
    // The local copy goes only once the service has the subscription.
    send(Keys::subscribePath, {{paramKey(Keys::collectionid), std::to_string(subscription->identifier())}, {paramKey(Keys::token), *token}},
         [identity](bool accepted, std::shared_ptr<NSDictionary>) {
           NSRunLoop::main()->perform([identity, accepted] {
             auto manager = CollectionManager::sharedInstance();
             // Refused or not answered: it stays, to be handed over again later.
             if (!accepted) return manager->scheduleResend();
             auto collection = manager->collectionWithID(identity.lock());
             if (!collection) return;
             manager->context()->deleteObject(collection);
             manager->save();
             manager->rebuildConvenienceLookups();
           });
         });
  }
  save();
}

void CollectionManager::synchronizeCollectionCreation(const std::shared_ptr<Collection>& collection) {
  if (!collection) return;
  auto identity = collection->objectID();
  auto self = sharedAs<CollectionManager>();
  // A pack deleted before its id arrives is removed on the service with that id.
  auto removeIfGone = [self, identity](std::int64_t identifier) {
    if (self->collectionWithID(identity)) return false;
    self->synchronizeCollectionDeletion(std::to_string(identifier));
    return true;
  };
  if (auto token = QuorbUser::authToken()) {
    send(Keys::createCollectionPath,
         {{paramKey(Keys::token), *token}, {paramKey(Keys::name), collection->name()}, {paramKey(Keys::isPublic), "false"}},
         [self, identity, removeIfGone](bool accepted, std::shared_ptr<NSDictionary> body) {
           auto inner = accepted && body ? body->objectForKeyAs<NSDictionary>(Keys::collection) : nullptr;
           auto identifier = inner ? wholeNumber(inner->objectForKey(Keys::id)) : std::nullopt;
           if (!identifier) return;
           auto address = inner->objectForKeyAs<NSString>(Keys::url);
           NSRunLoop::main()->perform([self, identity, removeIfGone, identifier, address] {
             if (removeIfGone(*identifier)) return;
             auto target = self->collectionWithID(identity);
             target->setIdentifier(*identifier);
             if (auto url = address ? NSURL::URLWithString(address->string()) : nullptr) target->setUrl(url);
             self->save();
           });
         });
    return;
  }
  Webapp::StringMap parameters{{paramKey(Keys::title), collection->name()}};
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  if (auto installId = analytics ? analytics->quorbID() : std::nullopt) parameters[paramKey(Keys::quorbid)] = *installId;
  send(Webapp::zoltoNewApiURLWithEndpoint(Keys::createPackPath), parameters,
       [self, identity, removeIfGone](bool accepted, std::shared_ptr<NSDictionary> body) {
         auto identifier = accepted && body ? wholeNumber(body->objectForKey(Keys::id)) : std::nullopt;
         auto packToken = body ? body->objectForKeyAs<NSString>(Keys::token) : nullptr;
         if (!identifier || !packToken) return;
         auto address = body->objectForKeyAs<NSString>(Keys::url);
         NSRunLoop::main()->perform([self, identity, removeIfGone, identifier, packToken, address] {
           if (removeIfGone(*identifier)) return;
           auto target = self->collectionWithID(identity);
           target->setIdentifier(*identifier);
           target->setAnonymousToken(packToken->string());
           if (address) target->setUrl(NSURL::URLWithString(address->string()));
           self->save();
           // Someone signed in while the pack was being made: the claim at that sign-in could
           // not name it yet, so it is claimed now.
           if (QuorbUser::authToken() && !target->creator()) self->claimCollectionsToCurrentUser();
         });
       });
}

void CollectionManager::synchronizeCollectionDeletion(const std::string& identifier) {
  auto token = QuorbUser::authToken();
  if (!token || identifier.empty() || identifier == "0") return;
  send(Keys::removeCollectionPath, {{paramKey(Keys::token), *token}, {paramKey(Keys::collectionid), identifier}});
}

void CollectionManager::synchronizeLocalAndServerAPI(const std::shared_ptr<NSArray>& serverCollections,
                                                     bool deleteCollectionNotFound) {
  std::set<std::int64_t> serverIds;
  auto packs = getCollections({1, 2, 3, 5}, false).value_or(Collections{});
  for (const auto& element : serverCollections ? serverCollections->objects() : std::vector<id>{}) {
    auto server = asA<NSDictionary>(element);
    if (!server) continue;
    auto identifier = wholeNumber(server->objectForKey(Keys::id));
    if (identifier) serverIds.insert(*identifier);
    auto name = server->objectForKeyAs<NSString>(Keys::name);
    if (!name) continue;
    // A pack is found by its service id first, then by name among the packs: the special
    // collections are never taken for a pack that carries one of their names.
    std::shared_ptr<Collection> local;
    for (const auto& pack : packs) {
      if (identifier && pack->identifier() == *identifier) local = pack;
    }
    for (const auto& pack : packs) {
      if (!local && pack->name() == name->string() && pack->identifier() == 0) local = pack;
    }
    if (!local) {
      local = insertCollection();
      if (!local) continue;
      local->setName(name->string());
      packs.push_back(local);
    }
    local->synchronizeWithApiResponse(server);
  }
  if (deleteCollectionNotFound && context()) {
    for (const auto& pack : getCollections({1, 2, 3, 5}, false).value_or(Collections{})) {
      // Only packs the service has given an id to can be missing from its list; a pack whose
      // claim has not gone through yet is still this device's.
      if (pack->identifier() == 0 || serverIds.contains(pack->identifier())) continue;
      if (!pack->creator() && pack->anonymousToken() && !pack->isSubscription()) continue;
      if (pack->awaitingHandOver()) continue;  // the service has not taken it yet
      context()->deleteObject(pack);
    }
  }
  save();
  rebuildConvenienceLookups();
}
