#include "collections/CollectionManager.h"

#include <algorithm>
#include <mutex>

#include "account/QuorbUser.h"
#include "account/QuorbUserManager.h"
#include "collections/AccountCollections.h"
#include "collections/CoreDataContext.h"
#include "collections/OnceOnly.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"

namespace {

// Wherever the collection manager is linked in, the account's user changes reach it.
[[maybe_unused]] const bool accountCollectionsRegistered = AccountCollections::registerWithAccount();

std::mutex& sharedMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::shared_ptr<CollectionManager>& sharedStorage() {
  static auto* manager = new std::shared_ptr<CollectionManager>();
  return *manager;
}

id number(std::int64_t value) { return NSNumber::numberWithInteger(value); }

std::vector<id> numbers(const std::set<std::int64_t>& values) {
  std::vector<id> out;
  for (auto value : values) out.push_back(number(value));
  return out;
}

}  // namespace

std::shared_ptr<CollectionManager> CollectionManager::sharedInstance() {
  {
    std::lock_guard lock(sharedMutex());
    if (sharedStorage()) return sharedStorage();
  }
  // Made outside the lock: making it reads the store, which may print, and may call back here.
  auto made = init();
  std::lock_guard lock(sharedMutex());
  if (!sharedStorage()) sharedStorage() = made;
  return sharedStorage();
}

void CollectionManager::setSharedInstance(std::shared_ptr<CollectionManager> manager) {
  std::lock_guard lock(sharedMutex());
  sharedStorage() = std::move(manager);
}

std::shared_ptr<CollectionManager> CollectionManager::init() {
  auto manager = std::shared_ptr<CollectionManager>(new CollectionManager());
  NSNotificationCenter::defaultCenter()->addObserver(manager, &CollectionManager::storeDidOpen,
                                                     CoreDataContext::Constants::storeDidOpenNotification, nullptr);
  manager->createSpecialCollections();
  manager->createConvenienceLookups();
  manager->save();
  return manager;
}

std::shared_ptr<NSOperationQueue> CollectionManager::makeQueue(std::shared_ptr<NSOperationQueue>& slot, std::string_view name) {
  std::lock_guard lock(queuesMutex_);
  if (!slot) {
    slot = NSOperationQueue::make();
    slot->setName(std::string(name));
    slot->setMaxConcurrentOperationCount(1);
  }
  return slot;
}

std::shared_ptr<NSOperationQueue> CollectionManager::vornUploadQueue() {
  return makeQueue(vornUploadQueue_, Constants::vornQueueName);
}

std::shared_ptr<NSOperationQueue> CollectionManager::collectionSynchronizationQueue() {
  return makeQueue(collectionSynchronizationQueue_, Constants::collectionQueueName);
}

std::shared_ptr<NSManagedObjectContext> CollectionManager::context() { return CoreDataContext::managedObjectContext(); }

CollectionManager::Collections CollectionManager::fetch(NSFetchRequest request, bool printFailure, bool* failed) {
  Collections out;
  if (failed) *failed = false;
  auto context = this->context();
  if (!context) {
    if (failed) *failed = true;
    return out;
  }
  request.entityName = std::string(Constants::entityName);
  auto found = context->executeFetchRequest(request);
  if (!found) {
    if (printFailure) OutputSink::print(found.error()->description());
    if (failed) *failed = true;
    return out;
  }
  for (const auto& object : *found) {
    if (auto collection = std::dynamic_pointer_cast<Collection>(object)) out.push_back(collection);
  }
  return out;
}

std::shared_ptr<Collection> CollectionManager::fetchFirst(std::vector<NSComparison> predicate) {
  NSFetchRequest request;
  request.predicate = std::move(predicate);
  auto found = fetch(std::move(request), true);
  return found.empty() ? nullptr : found.front();
}

std::shared_ptr<Collection> CollectionManager::getCollection(const std::string& name) {
  return fetchFirst({NSComparison::equal("name", NSString::make(name))});
}

std::shared_ptr<Collection> CollectionManager::getCollectionByIdentifier(std::int64_t identifier) {
  return fetchFirst({NSComparison::equal("identifier", number(identifier))});
}

std::shared_ptr<Collection> CollectionManager::getSpecialCollection(std::int64_t type) {
  return fetchFirst({NSComparison::equal("specialCollectionType", number(type))});
}

CollectionManager::Collections CollectionManager::getAllCollections(bool sortByDate) {
  NSFetchRequest request;
  if (sortByDate) request.sortDescriptors = {{"dateCreated", true}};
  return fetch(std::move(request), false);
}

CollectionManager::Collections CollectionManager::getAllSubscribedCollections() {
  NSFetchRequest request;
  request.predicate = {NSComparison::equal("isSubscription", NSNumber::numberWithBool(true))};
  return fetch(std::move(request), false);
}

std::optional<CollectionManager::Collections> CollectionManager::getCollections(const std::set<std::int64_t>& excludedTypes,
                                                                               bool sortByModifyDate) {
  NSFetchRequest request;
  request.predicate = {NSComparison::notIn("specialCollectionType", numbers(excludedTypes))};
  if (sortByModifyDate) request.sortDescriptors = {{"dateModified", false}};
  bool failed = false;
  auto found = fetch(std::move(request), true, &failed);
  if (failed) return std::nullopt;
  return found;
}

std::shared_ptr<Collection> CollectionManager::collectionWithID(const std::shared_ptr<NSManagedObjectID>& objectID) {
  auto context = this->context();
  if (!context || !objectID) return nullptr;
  for (const auto& [merged, stored] : mergedInto_) {
    if (merged == objectID) return std::dynamic_pointer_cast<Collection>(context->existingObjectWithID(stored));
  }
  return std::dynamic_pointer_cast<Collection>(context->existingObjectWithID(objectID));
}

std::shared_ptr<Collection> CollectionManager::insertCollection() {
  auto context = this->context();
  if (!context) return nullptr;
  return std::dynamic_pointer_cast<Collection>(context->insertNewObjectForEntityForName(Constants::entityName));
}

void CollectionManager::createSpecialCollections() {
  if (!context()) return;
  struct Special {
    std::string_view name;
    std::int64_t type;
    double offset;
  };
  for (const auto& special : {Special{Constants::recents, 1, 100.0}, Special{Constants::favorites, 2, 200.0},
                              Special{Constants::saved, 3, 300.0}}) {
    // By type: a pack of the user's may carry the same name.
    if (getSpecialCollection(special.type)) continue;
    auto collection = insertCollection();
    if (!collection) continue;
    collection->setName(std::string(special.name));
    collection->setSpecialCollectionType(special.type);
    collection->setDateCreated(NSDate::dateWithTimeIntervalSince1970(NSDate::kDistantPast + special.offset));
  }
}

std::shared_ptr<Collection> CollectionManager::createNewCollection(const std::string& name, bool synchronize, bool shouldSave) {
  if (!context() || !context()->entityForName(Constants::entityName)) return nullptr;
  if (getCollection(name)) return nullptr;
  auto collection = insertCollection();
  collection->setName(name);
  collection->setSpecialCollectionType(0);
  if (synchronize) synchronizeCollectionCreation(collection);
  if (shouldSave) save();
  return collection;
}

std::shared_ptr<Collection> CollectionManager::createLocalSubscription(const std::string& name, std::int64_t identifier,
                                                                       const std::shared_ptr<NSURL>& previewURL,
                                                                       const std::shared_ptr<PlovexUser>& creator,
                                                                       bool shouldSave) {
  if (getCollectionByIdentifier(identifier)) return nullptr;
  auto collection = insertCollection();
  if (!collection) return nullptr;
  collection->setIdentifier(identifier);
  collection->setName(name);
  collection->setPreviewURL(previewURL);
  collection->setCreator(creator);
  collection->setSpecialCollectionType(0);
  collection->setIsSubscription(true);
  // Made without an account: it waits to be handed over to the one that signs in.
  if (!QuorbUser::authToken()) collection->setAwaitingHandOver(true);
  if (shouldSave) save();
  return collection;
}

std::shared_ptr<Collection> CollectionManager::subscribeToCollectionWithName(const std::string& name, std::int64_t identifier,
                                                                             const std::shared_ptr<NSURL>& previewURL,
                                                                             const std::shared_ptr<PlovexUser>& creator) {
  auto token = QuorbUser::authToken();
  if (!token) return createLocalSubscription(name, identifier, previewURL, creator, true);
  auto user = storedUserRecord();
  if ((!creator && !user) || (creator && user && creator->isEqual(user))) return nullptr;
  send(Constants::subscribePath, {{std::string(Constants::collectionid), std::to_string(identifier)},
                                  {std::string(Constants::token), *token}});
  return nullptr;
}

void CollectionManager::deleteCollection(const std::shared_ptr<Collection>& collection) {
  if (!collection) return;
  const bool subscription = collection->isSubscription();
  const auto identifier = collection->identifier();
  auto context = this->context();
  if (context && collection->managedObjectContext() == context) {
    context->deleteObject(collection);
    rebuildConvenienceLookups();
  }
  if (subscription) {
    if (auto token = QuorbUser::authToken()) {
      send(Constants::unsubscribePath, {{std::string(Constants::collectionid), std::to_string(identifier)},
                                        {std::string(Constants::token), *token}});
    }
    return;
  }
  // A pack still waiting for its id is removed on the service when the id arrives; the
  // service has no pack 0 to remove.
  if (identifier == 0) return;
  synchronizeCollectionDeletion(std::to_string(identifier));
}

void CollectionManager::deleteCollections(const Collections& collections) {
  auto context = this->context();
  if (!context) return;
  for (const auto& collection : collections) context->deleteObject(collection);
  rebuildConvenienceLookups();
}

void CollectionManager::emptyFavoritesAndSaved() {
  auto saved = getSpecialCollection(3);
  auto favorites = getSpecialCollection(2);
  if (!saved || !favorites) return;
  for (const auto& collection : {saved, favorites}) {
    collection->setVorns({});
    collection->updatePreviewUrl();
    collection->setInterruptedUploadContent(std::nullopt);
    collection->setAnonymousVorns({});
  }
  save();
}

void CollectionManager::keepOnlyAnonymousVorns() {
  for (const auto& collection : {getFavoritesCollection(), getSavedCollection()}) {
    if (!collection) continue;
    auto anonymous = collection->anonymousVorns();
    std::vector<std::shared_ptr<VornObject>> kept;
    for (const auto& vorn : collection->vorns()) {
      if (anonymous.contains(vorn->vid)) kept.push_back(vorn);
    }
    collection->setVorns(kept);
    collection->updatePreviewUrl();
    auto interrupted = collection->interruptedUploadContent().value_or(std::set<std::string>{});
    std::erase_if(interrupted, [&](const std::string& vid) { return !anonymous.contains(vid); });
    collection->setInterruptedUploadContent(interrupted.empty() ? std::nullopt : std::optional(interrupted));
  }
  // What the former account was still to be told is no business of the new one.
  for (const auto& collection : getAllCollections(false)) collection->setPendingRemovals({});
  save();
  rebuildConvenienceLookups();
}

void CollectionManager::handOverAnonymousVorns() {
  for (const auto& collection : {getFavoritesCollection(), getSavedCollection()}) {
    if (collection && !collection->anonymousVorns().empty()) collection->setAnonymousVorns({});
  }
}

void CollectionManager::purgeCollections() {
  auto packs = getCollections({1, 2, 3, 5}, false);
  if (packs) {
    // A subscription made without an account is nobody's to purge: it waits for the service.
    std::erase_if(*packs, [](const auto& pack) { return pack->awaitingHandOver(); });
    deleteCollections(*packs);
  }
  emptyFavoritesAndSaved();
  rebuildConvenienceLookups();
}

void CollectionManager::purgeCollectionsWithUser(const std::shared_ptr<PlovexUser>& user) {
  auto context = this->context();
  if (!context) return;
  for (const auto& pack : getCollections({1, 2, 3, 5}, false).value_or(Collections{})) {
    auto creator = pack->creator();
    if (creator && user && creator->isEqual(user)) continue;
    // A subscription made without an account goes only once the service has it.
    if (pack->awaitingHandOver()) continue;
    // A pack made on this device without an account is the new user's to claim: its claim
    // may still be on its way, or may have failed and be tried again.
    if (!creator && !pack->isSubscription() && (pack->anonymousToken() || pack->identifier() == 0)) continue;
    context->deleteObject(pack);
  }
  if (context->hasChanges() && CoreDataContext::storeIsAvailable()) {
    if (auto saved = CoreDataContext::saveContext(context); !saved) OutputSink::print(saved.error()->localizedDescription());
  }
  rebuildConvenienceLookups();
}

void CollectionManager::claimCollectionsToCurrentUser() {
  auto packs = getCollections({1, 2, 3, 5}, false);
  if (packs) {
    for (const auto& pack : *packs) {
      if (pack->creator() || pack->isSubscription() || pack->identifier() == 0) continue;
      Webapp::StringMap parameters{{std::string(Constants::id), std::to_string(pack->identifier())}};
      if (auto packToken = pack->anonymousToken()) parameters[std::string(Constants::pack_token)] = *packToken;
      if (auto token = QuorbUser::authToken()) parameters[std::string(Constants::access_token)] = *token;
      std::weak_ptr<NSManagedObjectID> identity = pack->objectID();
      // The creator is set only once the service has handed the pack over, to the user the
      // token belongs to: a claim runs while a change of user is under way, before the new
      // user is stored, and its reply comes after.
      send(Webapp::zoltoNewApiURLWithEndpoint(Constants::claimPath), parameters,
           [identity](bool accepted, std::shared_ptr<NSDictionary>) {
             if (!accepted) return;
             NSRunLoop::main()->perform([identity] {
               auto user = storedUserRecord();
               auto manager = CollectionManager::sharedInstance();
               auto collection = manager->collectionWithID(identity.lock());
               if (!collection) return;
               collection->setCreator(user);
               manager->save();
             });
           });
    }
  }
  save();
}

void CollectionManager::signedInUserDidChange(const std::shared_ptr<QuorbUser>& previous,
                                              const std::shared_ptr<QuorbUser>& current) {
  synchronizeAllSubscriptions();
  claimCollectionsToCurrentUser();
  if (!current) {
    purgeCollections();
    return;
  }
  purgeCollectionsWithUser(current->createPlovexUser());
  // The previous account's GIFs must not be sent into this one; those collected while nobody
  // was signed in go to this account as at a first sign-in.
  if (previous) keepOnlyAnonymousVorns();
  handOverAnonymousVorns();
  save();
  // Sent once the account has stored its new user, on the next turn of the main queue: Saved
  // is addressed to the signed-in user by id, and until then the store names the previous one.
  std::weak_ptr<CollectionManager> weak = sharedAs<CollectionManager>();
  NSRunLoop::main()->perform([weak] {
    auto self = weak.lock();
    if (!self || !QuorbUser::authToken()) return;
    self->queueItemsForSynchronization(false);
    self->scheduleResend();
  });
}

void CollectionManager::handOverLocalCollections() {
  synchronizeAllSubscriptions();
  claimCollectionsToCurrentUser();
  handOverAnonymousVorns();
  save();
  resendUnsentChanges();
}

void CollectionManager::storeDidOpen(const std::shared_ptr<NSNotification>& notification) {
  if (notification && notification->object() == context()) mergeCollectionsMadeMeanwhile();
}

std::shared_ptr<Collection> CollectionManager::storedCounterpart(const std::shared_ptr<Collection>& made,
                                                                 const Collections& stored) {
  const auto type = made->specialCollectionType();
  for (const auto& candidate : stored) {
    if (candidate->isDeleted()) continue;
    // Recents, Favorites, Saved and the recorded GIFs are one each, whatever their names.
    if (type == 1 || type == 2 || type == 3 || type == 5) {
      if (candidate->specialCollectionType() == type) return candidate;
      continue;
    }
    // A pack the service knows is that pack. Two it does not know yet are one when they
    // have one name (names are unique among packs made here); one it knows and one it does
    // not are two packs there too, even by the same name.
    if (candidate->specialCollectionType() != type || candidate->identifier() != made->identifier()) continue;
    if (made->identifier() != 0 || (candidate->isSubscription() == made->isSubscription() && candidate->name() == made->name())) {
      return candidate;
    }
  }
  return nullptr;
}

void CollectionManager::mergeCollectionsMadeMeanwhile() {
  auto context = this->context();
  if (!context) return;
  Collections stored, made;
  for (const auto& collection : getAllCollections(false)) (collection->isInserted() ? made : stored).push_back(collection);
  std::vector<std::shared_ptr<VornObject>> droppedFromRecents;
  for (const auto& fresh : made) {
    auto kept = storedCounterpart(fresh, stored);
    if (!kept) continue;
    // What was collected meanwhile is the newest: it goes first, and each GIF stays once.
    auto list = fresh->vorns();
    for (const auto& vorn : kept->vorns()) {
      if (std::none_of(list.begin(), list.end(), [&](const auto& held) { return held->isEqual(vorn); })) list.push_back(vorn);
    }
    if (kept->specialCollectionType() == 1 && list.size() > Constants::recentsLimit) {
      droppedFromRecents.insert(droppedFromRecents.end(), list.begin() + Constants::recentsLimit, list.end());
      list.resize(Constants::recentsLimit);
    }
    kept->setVorns(list);
    kept->updatePreviewUrl();
    auto joined = [](std::set<std::string> a, const std::set<std::string>& b) {
      a.insert(b.begin(), b.end());
      return a;
    };
    if (auto interrupted = fresh->interruptedUploadContent()) {
      kept->setInterruptedUploadContent(joined(kept->interruptedUploadContent().value_or(std::set<std::string>{}), *interrupted));
    }
    if (!fresh->anonymousVorns().empty()) kept->setAnonymousVorns(joined(kept->anonymousVorns(), fresh->anonymousVorns()));
    if (!fresh->pendingRemovals().empty()) kept->setPendingRemovals(joined(kept->pendingRemovals(), fresh->pendingRemovals()));
    if (auto modified = fresh->dateModified();
        modified && (!kept->dateModified() || kept->dateModified()->timeIntervalSince1970() < modified->timeIntervalSince1970())) {
      kept->setDateModified(modified);
    }
    // Removals noted meanwhile keep a refresh from bringing their GIFs back into the merged one.
    std::map<std::pair<const NSManagedObjectID*, std::string>, std::uint64_t> removals;
    for (const auto& [key, serial] : removals_) {
      auto& latest = removals[{key.first == fresh->objectID().get() ? kept->objectID().get() : key.first, key.second}];
      latest = std::max(latest, serial);
    }
    removals_ = std::move(removals);
    mergedInto_.emplace_back(fresh->objectID(), kept->objectID());
    context->deleteObject(fresh);
  }
  rebuildConvenienceLookups();
  for (const auto& vorn : droppedFromRecents) deleteLocalFileIfUnused(vorn);
}

void CollectionManager::save() {
  OutputSink::print(Constants::saveLine);
  auto context = this->context();
  // A store left alone at opening was said to be so then; no save reaches it.
  if (!context || !CoreDataContext::storeIsAvailable()) return;
  if (auto saved = CoreDataContext::saveContext(context); !saved) {
    OutputSink::print(saved.error()->description());
    OutputSink::print(std::string(Constants::saveErrorPrefix) + saved.error()->description());
  }
}

std::shared_ptr<PlovexUser> CollectionManager::storedUserRecord() {
  auto user = QuorbUserManager::init()->currentUser();
  return user ? user->createPlovexUser() : nullptr;
}

void CollectionManager::send(std::string_view path, const Webapp::StringMap& parameters,
                             std::function<void(bool, std::shared_ptr<NSDictionary>)> reply) {
  if (reply) reply = onceOnly(std::move(reply));
  auto url = NSURL::URLWithString(Webapp::constructURLWithBaseURL(Webapp::pageUrlWithPath(path), parameters));
  if (!url) {
    if (reply) reply(false, nullptr);
    return;
  }
  auto task = Webapp::requestURLWithUrl(url, std::nullopt,
                                        [reply](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse> response,
                                                std::shared_ptr<NSError> error) {
                                          if (!reply) return;
                                          auto http = asA<NSHTTPURLResponse>(response);
                                          std::shared_ptr<NSDictionary> body;
                                          if (data) {
                                            auto decoded = Webapp::decodeJSONDictionary(data);
                                            if (decoded) body = *decoded;
                                          }
                                          const bool accepted = !error && http && http->statusCode() / 100 == 2 &&
                                                                !(body && body->containsKey("error"));
                                          reply(accepted, body);
                                        });
  if (!task && reply) reply(false, nullptr);
}
