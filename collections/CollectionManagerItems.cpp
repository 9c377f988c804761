// Sending GIFs to the service, removing them there, re-sending the unsent ones and putting
// the service's ids in place of temporary ones.
#include <algorithm>

#include "account/QuorbUser.h"
#include "collections/CollectionManager.h"
#include "collections/OnceOnly.h"
#include "collections/VornSynchronizer.h"
#include "model/AppConstants.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/OutputSink.h"
#include "service/AssetCache.h"
#include "service/PlovexAnalytics.h"

struct CollectionManager::Destination {
  std::int64_t collectionIdentifier = 0;
  std::string collectionApiID;
  std::string apiStreamID;
  std::int64_t type = 0;
  std::vector<std::string> tags;
  std::optional<std::string> packToken;
  std::optional<std::string> channelID;
  std::shared_ptr<NSManagedObjectID> collection;
};

namespace {

using Keys = CollectionManager::Constants;

std::string spaceForm(const std::vector<std::string>& tags) {
  std::string out;
  for (const auto& tag : tags) out += (out.empty() ? "" : " ") + tag;
  return out;
}

std::string commaForm(const std::vector<std::string>& tags) {
  std::string out;
  for (const auto& tag : tags) out += "," + tag;
  return out;
}

std::string key(std::string_view name) { return std::string(name); }

// A whole number given as a number (not as text, not a truth value).
std::optional<std::int64_t> wholeNumberFor(const std::shared_ptr<NSDictionary>& body, std::string_view name) {
  auto value = body ? body->objectForKeyAs<NSNumber>(name) : nullptr;
  if (!value || value->isBool() || !value->isWholeNumber()) return std::nullopt;
  return value->integerValue();
}

bool isGif(const std::shared_ptr<NSData>& data) {
  return data && (data->view().starts_with("GIF89a") || data->view().starts_with("GIF87a"));
}

// The GIF's bytes: the cached rendition, or the file its id names; none when neither reads.
std::shared_ptr<NSData> bytesOf(const std::string& tinyGifUrl, const std::string& vid) {
  auto cache = AssetCache::shared();
  if (cache && cache->containsValueForKey(tinyGifUrl)) {
    if (auto data = cache->cachedAssetWithKey(tinyGifUrl); data && data->length() > 0) return data;
  }
  auto url = NSURL::URLWithString(vid);
  if (!url || !url->isFileURL()) return nullptr;
  return contentsOfLocalGifFile(url->path());
}

bool accepted(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSError>& error) {
  auto http = asA<NSHTTPURLResponse>(response);
  return !error && http && http->statusCode() / 100 == 2;
}

}  // namespace

void CollectionManager::synchronizeVornAddition(const std::shared_ptr<VornObject>& vorn, std::int64_t collectionIdentifier,
                                                const std::string& collectionApiID, const std::string& apiStreamID,
                                                std::int64_t specialCollectionType, const std::vector<std::string>& tags,
                                                const std::optional<std::string>& packToken,
                                                const std::optional<std::string>& channelID, Completion completion,
                                                std::shared_ptr<NSManagedObjectID> collection) {
  // Exactly once, whatever path the send takes: an item operation waits for it.
  completion = onceOnly(std::move(completion));
  if (!vorn) return completion(std::nullopt);
  Destination destination{collectionIdentifier, collectionApiID, apiStreamID, specialCollectionType, tags,
                          packToken,            channelID,       std::move(collection)};
  switch (vorn->source()) {
    case VornObjectSource::plovex: return synchronizePlovexGIF(vorn, destination, std::move(completion));
    case VornObjectSource::otherWebsite: return synchronizeWebGIF(vorn, destination, std::move(completion));
    case VornObjectSource::noWebsite: return synchronizeLocalGif(vorn, destination, std::move(completion));
  }
}

void CollectionManager::synchronizePlovexGIF(const std::shared_ptr<VornObject>& vorn, const Destination& destination,
                                             Completion completion) {
  const std::string vid = vorn->vid;
  // Told only when the service took it, so that an unsent GIF stays marked for sending again.
  auto told = [vid, completion](bool ok, std::shared_ptr<NSDictionary>) { completion(ok ? std::optional(vid) : std::nullopt); };
  if (auto token = QuorbUser::authToken()) {
    if (destination.type == 2) {
      send(Keys::likePath, {{key(Keys::token), *token}, {key(Keys::pid), vid}, {key(Keys::remove), "false"}}, told);
    } else {
      send(Keys::makeVornPostPath, {{key(Keys::token), *token},
                                    {key(Keys::collectionid), destination.collectionApiID},
                                    {key(Keys::stream), destination.apiStreamID},
                                    {key(Keys::postid), vid},
                                    {key(Keys::tags), spaceForm(destination.tags)}},
           told);
    }
    return;
  }
  if (destination.type != 0 || !destination.packToken || !destination.channelID) return completion(std::nullopt);
  send(Webapp::newApiURLBase() + std::string(Keys::collectPath),
       {{key(Keys::id), vid}, {key(Keys::channelid), *destination.channelID}, {key(Keys::pack_token), *destination.packToken}},
       told);
}

void CollectionManager::synchronizeWebGIF(const std::shared_ptr<VornObject>& vorn, const Destination& destination,
                                          Completion completion) {
  const std::string vid = vorn->vid;
  if (auto token = QuorbUser::authToken()) {
    auto self = sharedAs<CollectionManager>();
    send(Keys::makeVornPostPath,
         {{key(Keys::token), *token},
          {key(Keys::collectionid), destination.collectionApiID},
          {key(Keys::stream), destination.apiStreamID},
          {key(Keys::url), vid},
          {key(Keys::tags), spaceForm(destination.tags)}},
         [self, vid, destination, completion](bool ok, std::shared_ptr<NSDictionary> body) {
           if (!ok) return completion(std::nullopt);
           auto postid = wholeNumberFor(body, Keys::postid);
           if (!postid) return completion(vid);
           // The new id goes through the replacement like every other, so the store keeps it.
           self->synchronizeNewVornID(std::to_string(*postid), vid, destination.collection);
           completion(std::to_string(*postid));
         });
    return;
  }
  if (destination.type != 0) return completion(std::nullopt);
  Webapp::StringMap fields{{key(Keys::tags), commaForm(destination.tags)}, {key(Keys::url), vid}};
  if (destination.channelID) fields[key(Keys::channelid)] = *destination.channelID;
  if (destination.packToken) fields[key(Keys::pack_token)] = *destination.packToken;
  auto self = sharedAs<CollectionManager>();
  auto task = Webapp::uploadWithEndpoint(Webapp::zoltoNewApiURLWithEndpoint(Keys::uploadPath), nullptr, std::nullopt, fields,
                                         nullptr, [self, vid, destination, completion](auto data, auto response, auto error) {
                                           self->handleUploadReply(vid, destination, data, response, error, Keys::itemid,
                                                                   false, completion);
                                         });
  if (!task) completion(std::nullopt);
}

void CollectionManager::synchronizeLocalGif(const std::shared_ptr<VornObject>& vorn, const Destination& destination,
                                            Completion completion) {
  const std::string vid = vorn->vid;
  auto token = QuorbUser::authToken();
  if (!token && destination.type != 0) return completion(std::nullopt);
  Webapp::StringMap fields;
  std::string endpoint;
  if (token) {
    endpoint = std::string(vorn->isSticker ? Keys::uploadStickerPath : Keys::uploadGifPath);
    auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
    fields = {{key(Keys::token), *token},
              {key(Keys::collectionid), destination.collectionApiID},
              {key(Keys::stream), destination.apiStreamID},
              {key(Keys::tags), spaceForm(destination.tags)},
              {key(Keys::quorbid), (analytics ? analytics->quorbID() : std::nullopt).value_or("")}};
  } else {
    endpoint = Webapp::zoltoNewApiURLWithEndpoint(Keys::uploadPath);
    fields = {{key(Keys::tags), commaForm(destination.tags)}};
    if (destination.channelID) fields[key(Keys::channelid)] = *destination.channelID;
    if (destination.packToken) fields[key(Keys::pack_token)] = *destination.packToken;
  }
  if (vorn->isSticker) fields[key(Keys::stickersource)] = vorn->stickerSourceVid;
  auto self = sharedAs<CollectionManager>();
  const bool signedIn = token.has_value();
  // The file is read away from the main thread: a large GIF or a slow disk must not hold up
  // the interface while it is added.
  DispatchQueue::global()->async([self, vid, tiny = vorn->tinyGifUrl, endpoint, fields, destination, completion, signedIn] {
    // Bytes that cannot be read are not sent as an empty GIF.
    auto data = bytesOf(tiny, vid);
    if (!isGif(data)) {
      OutputSink::print("not uploading " + vid + ": its GIF cannot be read");
      return completion(std::nullopt);
    }
    auto task = Webapp::uploadWithEndpoint(endpoint, data, std::nullopt, fields, nullptr,
                                           [self, vid, destination, completion, signedIn](auto body, auto response, auto error) {
                                             self->handleUploadReply(vid, destination, body, response, error,
                                                                     signedIn ? Keys::postid : Keys::itemid, signedIn,
                                                                     completion);
                                           });
    if (!task) completion(std::nullopt);
  });
}

void CollectionManager::handleUploadReply(const std::string& vid, const Destination& destination,
                                          const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>& response,
                                          const std::shared_ptr<NSError>& error, std::string_view idKey, bool signedIn,
                                          const Completion& completion) {
  std::optional<std::int64_t> newId;
  if (accepted(response, error) && data && data->length() > 0) {
    auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
    if (!parsed) OutputSink::print(parsed.error()->description());
    else newId = wholeNumberFor(asA<NSDictionary>(*parsed), idKey);
  }
  // The link keys are the upload screen's, on the main thread.
  auto self = sharedAs<CollectionManager>();
  NSRunLoop::main()->perform([self, vid, destination, newId, signedIn, completion] {
    if (newId) {
      const std::string text = std::to_string(*newId);
      if (auto link = self->uploadKeyMap.find(vid); signedIn && link != self->uploadKeyMap.end()) {
        if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
          analytics->logEventWithEvent(Keys::uploadCompletedEvent, PlovexAnalytics::EventData{{key(Keys::embedid), link->second},
                                                                                                 {key(Keys::vid), text}});
        }
      }
      self->synchronizeNewVornID(text, vid, destination.collection);
    }
    if (signedIn) self->uploadKeyMap.erase(vid);
    completion(newId ? std::optional(std::to_string(*newId)) : std::nullopt);
  });
}

void CollectionManager::synchronizeVornDeletion(const std::string& vid, std::int64_t specialCollectionType,
                                                std::shared_ptr<NSManagedObjectID> collection) {
  auto token = QuorbUser::authToken();
  if (!token) return;
  std::function<void(bool, std::shared_ptr<NSDictionary>)> reply;
  if (collection) {
    const auto flight = std::make_pair(static_cast<const NSManagedObjectID*>(collection.get()), vid);
    if (!removalsInFlight_.insert(flight).second) return;  // already on its way
    std::weak_ptr<CollectionManager> weak = sharedAs<CollectionManager>();
    reply = [weak, collection, vid, flight](bool accepted, std::shared_ptr<NSDictionary>) {
      NSRunLoop::main()->perform([weak, collection, vid, flight, accepted] {
        auto self = weak.lock();
        if (!self) return;
        self->removalsInFlight_.erase(flight);
        if (!accepted) return self->scheduleResend();
        auto target = self->collectionWithID(collection);
        if (!target) return;
        auto pending = target->pendingRemovals();
        if (!pending.erase(vid)) return;
        target->setPendingRemovals(pending);
        self->save();
      });
    };
  }
  if (specialCollectionType == 2) {
    send(Keys::likePath, {{key(Keys::token), *token}, {key(Keys::pid), vid}, {key(Keys::remove), "true"}}, reply);
  } else {
    send(Keys::removePostPath, {{key(Keys::token), *token}, {key(Keys::pid), vid}}, reply);
  }
}

void CollectionManager::noteRemoval(const std::shared_ptr<NSManagedObjectID>& collection, const std::string& vid) {
  if (collection) removals_[{collection.get(), vid}] = ++removalSerial_;
}

bool CollectionManager::removedSince(const std::shared_ptr<NSManagedObjectID>& collection, const std::string& vid,
                                     std::uint64_t serial) const {
  auto found = removals_.find({collection.get(), vid});
  return found != removals_.end() && found->second > serial;
}

bool CollectionManager::hasUnsentChanges() {
  if (!QuorbUser::authToken()) return false;
  for (const auto& collection : {getFavoritesCollection(), getSavedCollection()}) {
    if (collection && !collection->getUploadInterruptedVorns().empty()) return true;
  }
  auto user = storedUserRecord();
  for (const auto& collection : getAllCollections(false)) {
    if (!collection->pendingRemovals().empty()) return true;
    if (collection->awaitingHandOver() && collection->identifier() > 0 &&
        !(user && collection->creator() && collection->creator()->isEqual(user))) {
      return true;
    }
  }
  return false;
}

void CollectionManager::resendUnsentChanges() {
  if (!QuorbUser::authToken()) return;
  queueItemsForSynchronization(true);
  bool subscriptions = false;
  for (const auto& collection : getAllCollections(false)) {
    subscriptions = subscriptions || collection->awaitingHandOver();
    for (const auto& vid : collection->pendingRemovals()) {
      synchronizeVornDeletion(vid, collection->specialCollectionType(), collection->objectID());
    }
  }
  if (subscriptions) synchronizeAllSubscriptions();
  scheduleResend();
}

void CollectionManager::scheduleResend() {
  if (resendScheduled_ || !hasUnsentChanges()) return;
  resendScheduled_ = true;
  std::weak_ptr<CollectionManager> weak = sharedAs<CollectionManager>();
  DispatchQueue::main()->asyncAfter(resendDelay_, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->resendScheduled_ = false;
    if (!self->hasUnsentChanges()) {
      self->resendDelay_ = Constants::resendFirstDelay;
      return;
    }
    self->resendDelay_ = std::min(self->resendDelay_ * 2, Constants::resendLongestDelay);
    self->resendUnsentChanges();
  });
}

void CollectionManager::queueItemsForSynchronization(bool interruptedOnly) {
  auto queue = vornUploadQueue();
  auto enqueue = [&](const std::shared_ptr<Collection>& collection, const std::vector<std::shared_ptr<VornObject>>& list) {
    for (const auto& vorn : list) {
      if (!beginSending(vorn->vid)) continue;
      queue->addOperation(VornSynchronizer::make(vorn, collection, list.back()->isEqual(vorn)));
    }
  };
  auto favorites = getFavoritesCollection();
  if (interruptedOnly) {
    for (const auto& collection : {favorites, getSavedCollection()}) {
      if (!collection || !collection->interruptedUploadContent()) continue;
      auto list = collection->getUploadInterruptedVorns();
      if (!list.empty()) enqueue(collection, list);
    }
    return;
  }
  auto saved = getSavedCollection();
  for (const auto& collection : {favorites, saved}) {
    if (!collection) continue;
    auto list = collection->vorns();
    if (list.empty()) continue;
    // Each GIF counts as unsent until its operation has sent it.
    std::set<std::string> pending;
    for (const auto& vorn : list) pending.insert(vorn->vid);
    collection->setInterruptedUploadContent(pending);
    enqueue(collection, list);
  }
  save();
}

void CollectionManager::synchronizeNewVornID(const std::string& newVornID, const std::string& originalVornID,
                                             const std::shared_ptr<NSManagedObjectID>& collection) {
  if (!context() || !collection) return;
  auto self = sharedAs<CollectionManager>();
  context()->performBlock([self, newVornID, originalVornID, collection] {
    auto target = self->collectionWithID(collection);
    if (!target) return;
    auto list = target->vorns();
    auto at = std::find_if(list.begin(), list.end(), [&](const auto& v) { return v->vid == originalVornID; });
    if (at == list.end()) return;
    auto copy = VornObject::initWithCopyValuesFromVorn(*at);
    copy->vid = newVornID;
    copy->isProcessing = true;
    *at = copy;
    target->setVorns(list);
    // Sent: the temporary id is not waiting for anything any more.
    target->markSent(originalVornID);
    self->save();
    self->rebuildConvenienceLookups();
  });
}
