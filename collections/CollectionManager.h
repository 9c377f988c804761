#pragma once
// The one owner of the collections: queries over the store, pack and subscription changes,
// the lookups that answer "is this a favourite" without a fetch, Recents and Favorites, and
// the synchronisation with the service (items sent as they are added, uploads re-sent on the
// item queue, each collection refreshed on the collection queue). Everything that touches the
// store runs on the main thread; the queues' operations take what they need on the main
// thread when they are queued and come back to it with performBlock.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "collections/Collection.h"
#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/NSNotification.h"
#include "platform/foundation/NSOperationQueue.h"
#include "service/Webapp.h"

class QuorbUser;

class CollectionManager : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view entityName = "Collection";
    static constexpr std::string_view recents = "Recents";
    static constexpr std::string_view favorites = "Favorites";
    static constexpr std::string_view saved = "Saved";
    static constexpr std::string_view subscribePath = "/quorb.subscribe";
    static constexpr std::string_view unsubscribePath = "/quorb.unsubscribe";
    static constexpr std::string_view claimPath = "/v1/claimpack";
    static constexpr std::string_view collectPath = "/v1/collect";
    static constexpr std::string_view likePath = "/quorb.like";
    static constexpr std::string_view uploadGifPath = "/quorb.uploadgif";
    static constexpr std::string_view uploadPath = "/v1/upload";
    static constexpr std::string_view uploadStickerPath = "/quorb.uploadsticker";
    static constexpr std::string_view makeVornPostPath = "/quorb.makevornpost";
    static constexpr std::string_view createCollectionPath = "/quorb.createcollection";
    static constexpr std::string_view removePostPath = "/quorb.removepost";
    static constexpr std::string_view removeCollectionPath = "/quorb.removecollection";
    static constexpr std::string_view createPackPath = "/v1/createpack";
    static constexpr std::string_view collectionid = "collectionid";
    static constexpr std::string_view token = "token";
    static constexpr std::string_view id = "id";
    static constexpr std::string_view access_token = "access_token";
    static constexpr std::string_view pack_token = "pack_token";
    static constexpr std::string_view isPublic = "public";
    static constexpr std::string_view title = "title";
    static constexpr std::string_view name = "name";
    static constexpr std::string_view quorbid = "quorbid";
    static constexpr std::string_view pid = "pid";
    static constexpr std::string_view remove = "remove";
    static constexpr std::string_view stream = "stream";
    static constexpr std::string_view postid = "postid";
    static constexpr std::string_view tags = "tags";
    static constexpr std::string_view channelid = "channelid";
    static constexpr std::string_view url = "url";
    static constexpr std::string_view itemid = "itemid";
    static constexpr std::string_view collection = "collection";
    static constexpr std::string_view stickersource = "stickersource";
    static constexpr std::string_view embedid = "embedid";
    static constexpr std::string_view vid = "vid";
    static constexpr std::string_view uploadCompletedEvent = "upload_process_completed";
    static constexpr std::string_view vornQueueName = "Vorn Server/Client Synchronization Queue";
    static constexpr std::string_view collectionQueueName = "Local/Server Collection Synchronization Queue";
    static constexpr std::string_view saveLine = "core data save manager";
    static constexpr std::string_view saveErrorPrefix = "core data save manager error: ";
    static constexpr std::string_view additionPrefix = "lookup hash after addition: ";
    static constexpr std::string_view deletePrefix = "lookup hash after delete: ";
    // Recents keeps this many GIFs, the most recently used.
    static constexpr std::size_t recentsLimit = 100;
    // Unsent changes are sent again after this long, then after twice as long each time they
    // are still unsent, up to the longest wait (seconds).
    static constexpr double resendFirstDelay = 60.0;
    static constexpr double resendLongestDelay = 3600.0;
  };
  struct CollectionProxy {
    std::string name;
    std::shared_ptr<NSURL> previewURL;
  };
  using Completion = std::function<void(std::optional<std::string>)>;
  using Collections = std::vector<std::shared_ptr<Collection>>;

  static std::shared_ptr<CollectionManager> sharedInstance();
  // Replaces the shared manager (a relaunch, in tests); empty makes a new one on next use.
  static void setSharedInstance(std::shared_ptr<CollectionManager> manager);
  static std::shared_ptr<CollectionManager> init();

  // --- Lookups (main thread)
  std::unordered_map<std::string, CollectionProxy> vornIDHashLookup;
  std::vector<std::shared_ptr<VornObject>> collectedVornObjectList;
  std::vector<std::shared_ptr<VornObject>> favoritedVornObjectList;
  // GIF id -> the upload link key the upload screen gave it (main thread).
  std::unordered_map<std::string, std::string> uploadKeyMap;

  std::shared_ptr<NSOperationQueue> vornUploadQueue();
  std::shared_ptr<NSOperationQueue> collectionSynchronizationQueue();

  // --- Queries
  std::shared_ptr<Collection> getCollection(const std::string& name);
  std::shared_ptr<Collection> getCollectionByIdentifier(std::int64_t identifier);
  std::shared_ptr<Collection> getSpecialCollection(std::int64_t type);
  std::shared_ptr<Collection> getRecentsCollection() { return getSpecialCollection(1); }
  std::shared_ptr<Collection> getFavoritesCollection() { return getSpecialCollection(2); }
  std::shared_ptr<Collection> getSavedCollection() { return getSpecialCollection(3); }
  std::shared_ptr<Collection> getRecordedCollection() { return getSpecialCollection(5); }
  Collections getAllCollections(bool sortByDate);
  Collections getAllSubscribedCollections();
  std::optional<Collections> getCollections(const std::set<std::int64_t>& excludedTypes, bool sortByModifyDate);
  std::optional<Collections> getUserCreatedCollectionsWithSortByModifyDate(bool sort) {
    return getCollections({1, 2, 3, 5}, sort);
  }
  // The collection with that identity, unless it has been deleted.
  std::shared_ptr<Collection> collectionWithID(const std::shared_ptr<NSManagedObjectID>& objectID);

  // --- Changes
  void createSpecialCollections();
  std::shared_ptr<Collection> createNewCollection(const std::string& name, bool synchronize, bool shouldSave);
  std::shared_ptr<Collection> createLocalSubscription(const std::string& name, std::int64_t identifier,
                                                      const std::shared_ptr<NSURL>& previewURL,
                                                      const std::shared_ptr<PlovexUser>& creator, bool shouldSave);
  std::shared_ptr<Collection> subscribeToCollectionWithName(const std::string& name, std::int64_t identifier,
                                                            const std::shared_ptr<NSURL>& previewURL,
                                                            const std::shared_ptr<PlovexUser>& creator);
  void deleteCollection(const std::shared_ptr<Collection>& collection);
  void deleteCollections(const Collections& collections);
  void purgeCollections();
  void purgeCollectionsWithUser(const std::shared_ptr<PlovexUser>& user);
  void claimCollectionsToCurrentUser();
  // The collection side of a change of signed-in user, in the order the account needs it.
  // From one account to another, Favorites and Saved keep only what was collected while
  // nobody was signed in, which goes to the new account.
  void signedInUserDidChange(const std::shared_ptr<QuorbUser>& previous, const std::shared_ptr<QuorbUser>& current);
  // The same user signed in again: what was made without an account is handed over, and what
  // waits for the service is sent again.
  void handOverLocalCollections();
  void save();
  // The store opened after another program held it since the launch: each collection made in
  // memory meanwhile (Recents, Favorites, Saved, a pack or subscription the store already
  // holds) is merged into the stored one, its GIFs first and each GIF once, Recents kept to
  // its limit; the others stay new. Its identity then leads to the stored one (main thread).
  void mergeCollectionsMadeMeanwhile();

  // --- Lookups, Recents and Favorites
  void createConvenienceLookups();
  // Empties the lookups and fills them again from the store (after every bulk change).
  void rebuildConvenienceLookups();
  void addToLookupHash(const std::string& vid, const std::string& name, const std::shared_ptr<NSURL>& previewURL);
  void removeFromLookupHash(const std::string& vid);
  std::optional<std::string> collectionNameForVorn(const std::string& vid);
  bool isVornInFavoritesWithVorn(const std::shared_ptr<VornObject>& vorn);
  void addToCollectedList(const std::shared_ptr<VornObject>& vorn);
  void addToFavoritesList(const std::shared_ptr<VornObject>& vorn);
  void deleteFromCollectedList(const std::shared_ptr<VornObject>& vorn);
  void deleteFromFavoritesList(const std::shared_ptr<VornObject>& vorn);
  void addVornToRecents(const std::shared_ptr<VornObject>& vorn);
  void removeVornFromRecents(const std::shared_ptr<VornObject>& vorn);
  bool favoriteVornWithVorn(const std::shared_ptr<VornObject>& vorn);
  std::vector<std::shared_ptr<VornObject>> getAllCollectedVorns(const std::string& tag, bool sortByDate);
  std::vector<std::shared_ptr<VornObject>> getAllCollectedVornsFromUser(const std::string& username);

  // --- Items and the service
  // Tells the service about a GIF added to a collection. Safe on any thread: it reads no
  // managed object. `completion` (when given) is called exactly once, with the GIF's id on
  // the service or nothing when the service was not told. `collection` is the collection's
  // identity, through which a new id from the service is put in place.
  void synchronizeVornAddition(const std::shared_ptr<VornObject>& vorn, std::int64_t collectionIdentifier,
                               const std::string& collectionApiID, const std::string& apiStreamID,
                               std::int64_t specialCollectionType, const std::vector<std::string>& tags,
                               const std::optional<std::string>& packToken, const std::optional<std::string>& channelID,
                               Completion completion, std::shared_ptr<NSManagedObjectID> collection = nullptr);
  // Tells the service a GIF was taken out. With the collection's identity, the removal it
  // keeps pending is settled once the service has confirmed it (and sent again otherwise).
  void synchronizeVornDeletion(const std::string& vid, std::int64_t specialCollectionType,
                               std::shared_ptr<NSManagedObjectID> collection = nullptr);
  // Queues the GIFs of Favorites and Saved for sending (all, or only those whose upload was
  // cut off), recording them as interrupted until each one has been sent.
  void queueItemsForSynchronization(bool interruptedOnly);
  // GIFs on their way to the service (main thread): a GIF already being sent is not queued
  // again. beginSending is false when the GIF is already on its way.
  bool beginSending(const std::string& vid) { return sendsInFlight_.insert(vid).second; }
  void endSending(const std::string& vid) { sendsInFlight_.erase(vid); }
  bool isSending(const std::string& vid) const { return sendsInFlight_.contains(vid); }
  // Whether the service is being told of the GIF's removal from some collection right now.
  bool isRemoving(const std::string& vid) const {
    return std::ranges::any_of(removalsInFlight_, [&](const auto& flight) { return flight.second == vid; });
  }
  // Sends again what the service has not taken yet, while a user is signed in: unsent GIFs
  // of Favorites and Saved, removals it has not confirmed and subscriptions made without an
  // account. What is still unsent then is tried again later, at a growing interval (main
  // thread). Run at launch, at sign-in and with the daily refresh.
  void resendUnsentChanges();
  // Plans the next resend when something waits for the service and none is planned.
  void scheduleResend();
  bool hasUnsentChanges();
  // Removals by collection, numbered in the order they were made, so that a refresh that
  // began before a removal does not bring the GIF back (main thread).
  void noteRemoval(const std::shared_ptr<NSManagedObjectID>& collection, const std::string& vid);
  std::uint64_t removalSerial() const { return removalSerial_; }
  bool removedSince(const std::shared_ptr<NSManagedObjectID>& collection, const std::string& vid, std::uint64_t serial) const;
  // The GIF's own file in the application's GIF folder (by its id or its media addresses),
  // if it has one.
  static std::optional<std::string> ownedGifFile(const VornObject& vorn);
  // Deletes the GIF's own file when no collection holds a GIF of that file any more.
  void deleteLocalFileIfUnused(const std::shared_ptr<VornObject>& vorn);
  // Puts the service's id in place of a temporary one, in the collection with that identity.
  void synchronizeNewVornID(const std::string& newVornID, const std::string& originalVornID,
                            const std::shared_ptr<NSManagedObjectID>& collection);

  // --- Collections and the service
  void synchronizeAllCollections();
  void synchronizeAllSubscriptions();
  void synchronizeCollectionCreation(const std::shared_ptr<Collection>& collection);
  void synchronizeCollectionDeletion(const std::string& identifier);
  void synchronizeLocalAndServerAPI(const std::shared_ptr<NSArray>& serverCollections, bool deleteCollectionNotFound);

  // The signed-in user's poster record as stored, or none.
  static std::shared_ptr<PlovexUser> storedUserRecord();
  // A GET on the web base (or a full URL); `reply` gets whether the service accepted it (a 2xx
  // answer without an "error") and the reply's dictionary. Called exactly once, also when no
  // request could be made.
  static void send(std::string_view path, const Webapp::StringMap& parameters,
                   std::function<void(bool accepted, std::shared_ptr<NSDictionary>)> reply = nullptr);

  GLIMDECK_OBJECT(CollectionManager)

 private:
  CollectionManager() = default;
  std::shared_ptr<NSManagedObjectContext> context();
  Collections fetch(NSFetchRequest request, bool printFailure, bool* failed = nullptr);
  std::shared_ptr<Collection> fetchFirst(std::vector<NSComparison> predicate);
  std::shared_ptr<Collection> insertCollection();
  std::shared_ptr<NSOperationQueue> makeQueue(std::shared_ptr<NSOperationQueue>& slot, std::string_view name);
  void emptyFavoritesAndSaved();
  // The senders of one GIF by where it comes from.
  struct Destination;
  void synchronizePlovexGIF(const std::shared_ptr<VornObject>& vorn, const Destination& destination, Completion completion);
  void synchronizeWebGIF(const std::shared_ptr<VornObject>& vorn, const Destination& destination, Completion completion);
  void synchronizeLocalGif(const std::shared_ptr<VornObject>& vorn, const Destination& destination, Completion completion);
  void handleUploadReply(const std::string& vid, const Destination& destination, const std::shared_ptr<NSData>& data,
                         const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSError>& error,
                         std::string_view idKey, bool signedIn, const Completion& completion);

  // Favorites and Saved keep only their GIFs that no account owns (a change of account).
  void keepOnlyAnonymousVorns();
  // The GIFs no account owned become the signed-in account's.
  void handOverAnonymousVorns();
  void trimRecents(const std::shared_ptr<Collection>& recents);
  void storeDidOpen(const std::shared_ptr<NSNotification>& notification);
  // The stored collection a collection made in memory was merged into.
  std::shared_ptr<Collection> storedCounterpart(const std::shared_ptr<Collection>& made, const Collections& stored);

  std::set<std::string> sendsInFlight_;
  std::set<std::pair<const NSManagedObjectID*, std::string>> removalsInFlight_;
  std::map<std::pair<const NSManagedObjectID*, std::string>, std::uint64_t> removals_;
  std::uint64_t removalSerial_ = 0;
  // Identities of collections merged into stored ones, kept so that what is still on its way
  // for them (a reply, an id) finds the collection they became.
  std::vector<std::pair<std::shared_ptr<NSManagedObjectID>, std::shared_ptr<NSManagedObjectID>>> mergedInto_;
  bool resendScheduled_ = false;
  double resendDelay_ = Constants::resendFirstDelay;
  std::mutex queuesMutex_;
  std::shared_ptr<NSOperationQueue> vornUploadQueue_;
  std::shared_ptr<NSOperationQueue> collectionSynchronizationQueue_;
};
