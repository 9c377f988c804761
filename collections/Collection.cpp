#include "collections/Collection.h"

#include <algorithm>

#include "account/QuorbUser.h"
#include "collections/CollectionManager.h"
#include "collections/CoreDataContext.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"

std::int64_t Collection::integerFor(std::string_view key) {
  auto number = asA<NSNumber>(valueForKey(key));
  return number ? number->integerValue() : 0;
}
void Collection::setInteger(std::int64_t value, std::string_view key) { setValueForKey(NSNumber::numberWithInteger(value), key); }
std::optional<std::string> Collection::textFor(std::string_view key) {
  auto text = asA<NSString>(valueForKey(key));
  return text ? std::optional<std::string>(text->string()) : std::nullopt;
}

std::int64_t Collection::autoPublish() { return integerFor("autoPublish"); }
void Collection::setAutoPublish(std::int64_t value) { setInteger(value, "autoPublish"); }
std::shared_ptr<NSDate> Collection::dateCreated() { return asA<NSDate>(valueForKey("dateCreated")); }
void Collection::setDateCreated(const std::shared_ptr<NSDate>& value) { setValueForKey(value, "dateCreated"); }
std::int64_t Collection::identifier() { return integerFor("identifier"); }
void Collection::setIdentifier(std::int64_t value) { setInteger(value, "identifier"); }
std::string Collection::name() { return textFor("name").value_or(""); }
void Collection::setName(const std::string& value) { setValueForKey(NSString::make(value), "name"); }
std::int64_t Collection::permissions() { return integerFor("permissions"); }
void Collection::setPermissions(std::int64_t value) { setInteger(value, "permissions"); }
std::shared_ptr<NSURL> Collection::previewURL() { return asA<NSURL>(valueForKey("previewURL")); }
void Collection::setPreviewURL(const std::shared_ptr<NSURL>& value) { setValueForKey(value, "previewURL"); }
std::int64_t Collection::specialCollectionType() { return integerFor("specialCollectionType"); }
void Collection::setSpecialCollectionType(std::int64_t value) { setInteger(value, "specialCollectionType"); }
std::shared_ptr<NSURL> Collection::url() { return asA<NSURL>(valueForKey("url")); }
void Collection::setUrl(const std::shared_ptr<NSURL>& value) { setValueForKey(value, "url"); }
bool Collection::isSubscription() { return integerFor("isSubscription") != 0; }
void Collection::setIsSubscription(bool value) { setValueForKey(NSNumber::numberWithBool(value), "isSubscription"); }
std::shared_ptr<PlovexUser> Collection::creator() { return asA<PlovexUser>(valueForKey("creator")); }
void Collection::setCreator(const std::shared_ptr<PlovexUser>& value) { setValueForKey(value, "creator"); }
std::optional<std::string> Collection::anonymousToken() { return textFor("anonymousToken"); }
void Collection::setAnonymousToken(const std::optional<std::string>& value) {
  setValueForKey(value ? NSString::make(*value) : nullptr, "anonymousToken");
}
std::shared_ptr<NSDate> Collection::dateModified() { return asA<NSDate>(valueForKey("dateModified")); }
void Collection::setDateModified(const std::shared_ptr<NSDate>& value) { setValueForKey(value, "dateModified"); }

std::vector<std::shared_ptr<VornObject>> Collection::vorns() {
  std::vector<std::shared_ptr<VornObject>> out;
  if (auto list = asA<NSArray>(valueForKey("vorns"))) {
    out.reserve(list->count());
    for (const auto& element : *list) {
      if (auto vorn = asA<VornObject>(element)) out.push_back(vorn);
    }
  }
  return out;
}

void Collection::setVorns(const std::vector<std::shared_ptr<VornObject>>& value) {
  std::vector<id> objects(value.begin(), value.end());
  setValueForKey(NSArray::make(std::move(objects)), "vorns");
}

std::optional<std::set<std::string>> Collection::idSetFor(std::string_view key) {
  auto list = asA<NSArray>(valueForKey(key));
  if (!list) return std::nullopt;
  std::set<std::string> ids;
  for (const auto& element : *list) {
    if (auto text = asA<NSString>(element)) ids.insert(text->string());
  }
  return ids;
}

void Collection::setIdSet(const std::optional<std::set<std::string>>& value, std::string_view key) {
  if (!value) {
    setValueForKey(nullptr, key);
    return;
  }
  auto list = NSArray::make();
  for (const auto& vid : *value) list->addObject(NSString::make(vid));
  setValueForKey(list, key);
}

std::optional<std::set<std::string>> Collection::interruptedUploadContent() { return idSetFor("interruptedUploadContent"); }
void Collection::setInterruptedUploadContent(const std::optional<std::set<std::string>>& value) {
  setIdSet(value, "interruptedUploadContent");
}
std::set<std::string> Collection::pendingRemovals() { return idSetFor("pendingRemovals").value_or(std::set<std::string>{}); }
void Collection::setPendingRemovals(const std::set<std::string>& value) {
  setIdSet(value.empty() ? std::nullopt : std::optional(value), "pendingRemovals");
}
std::set<std::string> Collection::anonymousVorns() { return idSetFor("anonymousVorns").value_or(std::set<std::string>{}); }
void Collection::setAnonymousVorns(const std::set<std::string>& value) {
  setIdSet(value.empty() ? std::nullopt : std::optional(value), "anonymousVorns");
}
bool Collection::awaitingHandOver() { return integerFor("awaitingHandOver") != 0; }
void Collection::setAwaitingHandOver(bool value) {
  setValueForKey(value ? NSNumber::numberWithBool(true) : nullptr, "awaitingHandOver");
}

void Collection::awakeFromInsert() {
  NSManagedObject::awakeFromInsert();
  setAutoPublish(0);
  setDateCreated(NSDate::date());
  setIdentifier(0);
  setName("");
  setPermissions(0);
  setVorns({});
  setSpecialCollectionType(0);
  setIsSubscription(false);
  setDateModified(NSDate::date());
}

void Collection::append(const std::shared_ptr<VornObject>& vorn, TakenHandler taken) {
  if (!vorn) {
    if (taken) taken(false);
    return;
  }
  vorn->dateAddedToParentPack = NSDate::date();
  auto list = vorns();
  list.insert(list.begin(), vorn);
  setVorns(list);
  updatePreviewUrl();
  setDateModified(NSDate::date());
  const auto type = specialCollectionType();
  const bool signedIn = QuorbUser::authToken().has_value();
  // Favorites and Saved are the collections whose unsent GIFs are sent again later: note the
  // GIF before it goes out, so that a send cut short is not forgotten. One added while
  // nobody is signed in is no account's yet.
  const bool resendable = type == 2 || type == 3;
  if (resendable) {
    auto interrupted = interruptedUploadContent().value_or(std::set<std::string>{});
    interrupted.insert(vorn->vid);
    setInterruptedUploadContent(interrupted);
    if (!signedIn) {
      auto anonymous = anonymousVorns();
      anonymous.insert(vorn->vid);
      setAnonymousVorns(anonymous);
    }
  }
  save();
  auto manager = CollectionManager::sharedInstance();
  if (type != 1) {
    manager->addToLookupHash(vorn->vid, name(), previewURL());
    if (type == 2) manager->addToFavoritesList(vorn);
    else manager->addToCollectedList(vorn);
  }
  if (!canSynchronize()) {
    if (taken) taken(false);
    return;
  }
  CollectionManager::Completion completion;
  if (resendable || taken) {
    std::weak_ptr<NSManagedObjectID> identity = objectID();
    const std::string sent = vorn->vid;
    if (resendable) manager->beginSending(sent);
    std::weak_ptr<CollectionManager> weakManager = manager;
    completion = [identity, sent, weakManager, resendable, taken](std::optional<std::string> result) {
      auto settle = [identity, sent, weakManager, resendable, taken, ok = result.has_value()] {
        if (auto manager = weakManager.lock(); manager && resendable) {
          manager->endSending(sent);
          auto collection = ok ? manager->collectionWithID(identity.lock()) : nullptr;
          if (collection && collection->markSent(sent)) manager->save();
          // Sent again later, at a growing interval, while someone is signed in.
          if (!ok) manager->scheduleResend();
        }
        if (taken) taken(ok);
      };
      // Nothing sent is known at once, on the main thread; replies come from elsewhere.
      if (NSRunLoop::isMainThread()) settle();
      else NSRunLoop::main()->perform(settle);
    };
  }
  manager->synchronizeVornAddition(vorn, identifier(), uploadID(), streamKey(), type, vorn->tags, anonymousToken(),
                                   channelID(), std::move(completion), objectID());
}

void Collection::remove(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return;
  auto list = vorns();
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& v) { return v->isEqual(vorn); });
  if (at != list.end()) list.erase(at);
  setVorns(list);
  auto manager = CollectionManager::sharedInstance();
  // Recents never enters the lookups, so leaving it takes nothing out of them either.
  if (specialCollectionType() != 1) {
    manager->removeFromLookupHash(vorn->vid);
    if (specialCollectionType() == 2) manager->deleteFromFavoritesList(vorn);
    else manager->deleteFromCollectedList(vorn);
  }
  updatePreviewUrl();
  const std::string vid = vorn->vid;
  // A GIF that never reached the service (and is not on its way) has nothing to remove there.
  auto interrupted = interruptedUploadContent();
  const bool neverSent = interrupted && interrupted->contains(vid) && !manager->isSending(vid);
  if (interrupted && interrupted->erase(vid)) setInterruptedUploadContent(interrupted->empty() ? std::nullopt : interrupted);
  if (auto anonymous = anonymousVorns(); anonymous.erase(vid)) setAnonymousVorns(anonymous);
  manager->noteRemoval(objectID(), vid);
  // Only collections whose additions reach the service have removals to tell it; the removal
  // waits in the store until the service has confirmed it.
  if (QuorbUser::authToken() && canSynchronize() && !neverSent) {
    auto pending = pendingRemovals();
    pending.insert(vid);
    setPendingRemovals(pending);
    save();
    manager->synchronizeVornDeletion(vid, specialCollectionType(), objectID());
  } else {
    save();
  }
  manager->deleteLocalFileIfUnused(vorn);
}

void Collection::updatePreviewUrl() {
  auto list = asA<NSArray>(valueForKey("vorns"));
  auto first = list ? asA<VornObject>(list->firstObject()) : nullptr;
  setPreviewURL(first ? NSURL::URLWithString(first->tinyGifUrl) : nullptr);
}

void Collection::save() {
  auto context = managedObjectContext();
  // A store left alone at opening was said to be so then; no save reaches it.
  if (!context || !CoreDataContext::storeIsAvailable()) return;
  if (auto saved = CoreDataContext::saveContext(context); !saved) {
    OutputSink::print(std::string(Constants::couldNotSave) + saved.error()->description());
  }
}

void Collection::synchronizeVorns(const std::vector<std::shared_ptr<VornObject>>& fetched) {
  auto list = vorns();
  for (const auto& item : fetched) {
    auto copy = VornObject::initWithCopyValuesFromVorn(item);
    copy->isProcessing = false;
    auto at = std::find_if(list.begin(), list.end(), [&](const auto& v) { return v->vid == item->vid; });
    if (at != list.end()) *at = copy;
    else list.push_back(copy);
  }
  setVorns(list);
  updatePreviewUrl();
  save();
}

void Collection::synchronizeWithApiResponse(const std::shared_ptr<NSDictionary>& response) {
  if (!response) return;
  if (auto text = response->objectForKeyAs<NSString>("name")) setName(text->string());
  if (auto number = response->objectForKeyAs<NSNumber>("id"); number && number->isWholeNumber()) setIdentifier(number->integerValue());
  if (auto text = response->objectForKeyAs<NSString>("url")) setUrl(NSURL::URLWithString(text->string()));
  if (auto text = response->objectForKeyAs<NSString>("imageurl")) setPreviewURL(NSURL::URLWithString(text->string()));
  if (auto number = response->objectForKeyAs<NSNumber>("permissions")) setPermissions(number->integerValue());
  if (auto number = response->objectForKeyAs<NSNumber>("subscribed")) setIsSubscription(number->boolValue());
  if (auto user = response->objectForKeyAs<NSDictionary>("user")) {
    if (auto creator = PlovexUser::initWithNewApiData(user)) setCreator(*creator);
  }
  CoreDataContext::save();
}

bool Collection::canSynchronize() {
  const auto type = specialCollectionType();
  return type != 1 && type != 4 && type != 5;
}

std::string Collection::streamPath() {
  switch (specialCollectionType()) {
    case 2: return std::string(Constants::favoritesStream);
    case 3: return std::string(Constants::savedStream);
    default: return std::string(Constants::collectionStream);
  }
}

VNRequester::Parameters Collection::requesterParameters() {
  VNRequester::Parameters parameters;
  if (auto token = QuorbUser::authToken()) parameters[std::string(Constants::accessToken)] = *token;
  if (specialCollectionType() == 0) parameters[std::string(Constants::id)] = std::to_string(identifier());
  return parameters;
}

std::shared_ptr<VNStreamRequester> Collection::constructStreamRequester() {
  auto requester = VNStreamRequester::initWithStreamID(Webapp::zoltoNewApiURLWithEndpoint(streamPath()), std::nullopt);
  requester->addGenericParametersWithGenerics(requesterParameters());
  return requester;
}

std::vector<std::shared_ptr<VornObject>> Collection::getUploadInterruptedVorns() {
  std::vector<std::shared_ptr<VornObject>> out;
  auto interrupted = interruptedUploadContent();
  if (!interrupted) return out;
  for (const auto& vorn : vorns()) {
    if (interrupted->contains(vorn->vid)) out.push_back(vorn);
  }
  return out;
}

bool Collection::markSent(const std::string& vid) {
  // Taken by the service for the account signed in: no longer anyone else's to take.
  if (auto anonymous = anonymousVorns(); anonymous.erase(vid)) setAnonymousVorns(anonymous);
  auto interrupted = interruptedUploadContent();
  if (!interrupted || !interrupted->erase(vid)) return false;
  setInterruptedUploadContent(interrupted->empty() ? std::nullopt : interrupted);
  return true;
}

std::string Collection::streamKey() {
  switch (specialCollectionType()) {
    case 2: return std::string(Constants::favoritevorns);
    case 3: return std::string(Constants::savedvorns);
    default: return std::string(Constants::vorns);
  }
}

std::string Collection::uploadID() {
  if (identifier() != 0) return std::string(Constants::collectionPrefix) + std::to_string(identifier());
  auto user = CollectionManager::storedUserRecord();
  return std::string(Constants::quorbuserPrefix) + (user ? user->userIdentifier : std::string("0"));
}

std::string Collection::channelID() { return std::string(Constants::packPrefix) + std::to_string(identifier()); }
