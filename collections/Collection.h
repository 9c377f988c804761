#pragma once
// One collection of the store: Recents, Favorites, Saved, a pack of the user's or a pack the
// user follows, with its GIFs newest first. Typed accessors over the managed attributes, the
// collection's own operations (adding and removing GIFs, which keep the manager's lookups and
// tell the service) and the values derived from it for requests.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/PlovexUser.h"
#include "model/VornObject.h"
#include "platform/coredata/NSManagedObject.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSURL.h"
#include "service/VNStreamRequester.h"

class Collection : public NSManagedObject {
 public:
  struct Constants {
    static constexpr std::string_view favoritesStream = "/v1/userliked";
    static constexpr std::string_view savedStream = "/v1/usersaved";
    static constexpr std::string_view collectionStream = "/v1/collection";
    static constexpr std::string_view favoritevorns = "favoritevorns";
    static constexpr std::string_view savedvorns = "savedvorns";
    static constexpr std::string_view vorns = "vorns";
    static constexpr std::string_view collectionPrefix = "collection-";
    static constexpr std::string_view quorbuserPrefix = "quorbuser-";
    static constexpr std::string_view packPrefix = "pack-";
    static constexpr std::string_view accessToken = "access_token";
    static constexpr std::string_view id = "id";
    static constexpr std::string_view couldNotSave = "COULDN'T SAVE CORE DATA: ";
  };
  static std::shared_ptr<Collection> make() { return create(); }

  // --- Stored attributes
  std::int64_t autoPublish();
  void setAutoPublish(std::int64_t value);
  std::shared_ptr<NSDate> dateCreated();
  void setDateCreated(const std::shared_ptr<NSDate>& value);
  std::int64_t identifier();
  void setIdentifier(std::int64_t value);
  std::string name();
  void setName(const std::string& value);
  std::int64_t permissions();
  void setPermissions(std::int64_t value);
  std::shared_ptr<NSURL> previewURL();
  void setPreviewURL(const std::shared_ptr<NSURL>& value);
  // A copy of the list: change it through setVorns (or the operations below).
  std::vector<std::shared_ptr<VornObject>> vorns();
  void setVorns(const std::vector<std::shared_ptr<VornObject>>& value);
  std::int64_t specialCollectionType();
  void setSpecialCollectionType(std::int64_t value);
  std::shared_ptr<NSURL> url();
  void setUrl(const std::shared_ptr<NSURL>& value);
  bool isSubscription();
  void setIsSubscription(bool value);
  std::shared_ptr<PlovexUser> creator();
  void setCreator(const std::shared_ptr<PlovexUser>& value);
  std::optional<std::string> anonymousToken();
  void setAnonymousToken(const std::optional<std::string>& value);
  // No set and an empty set are different things.
  std::optional<std::set<std::string>> interruptedUploadContent();
  void setInterruptedUploadContent(const std::optional<std::set<std::string>>& value);
  std::shared_ptr<NSDate> dateModified();
  void setDateModified(const std::shared_ptr<NSDate>& value);
  // GIFs taken out here whose removal the service has not confirmed yet (signed in only).
  std::set<std::string> pendingRemovals();
  void setPendingRemovals(const std::set<std::string>& value);
  // GIFs added while nobody was signed in: no account's yet, they go to whoever signs in.
  std::set<std::string> anonymousVorns();
  void setAnonymousVorns(const std::set<std::string>& value);
  // A subscription made while nobody was signed in, not yet taken by the service for an
  // account; it stays until the service has it.
  bool awaitingHandOver();
  void setAwaitingHandOver(bool value);

  // Run-time flags, not stored.
  bool dummyCollection = false;
  bool justAdded = false;

  // --- Operations
  void awakeFromInsert() override;
  // Told on the main thread whether the service took a GIF that was added.
  using TakenHandler = std::function<void(bool taken)>;
  // Puts the GIF first, saves, keeps the lookups (not for Recents) and tells the service
  // (not for Recents and the unnamed types); `taken`, when given, hears how that went.
  void append(const std::shared_ptr<VornObject>& vorn, TakenHandler taken = nullptr);
  // Takes the GIF out, keeps the lookups, tells the service (only where additions are sent,
  // keeping the removal pending until the service confirms it), saves, and deletes the GIF's
  // file in the GIF folder when no collection holds it any more.
  void remove(const std::shared_ptr<VornObject>& vorn);
  void updatePreviewUrl();
  void save();
  // Merges fetched GIFs: each replaces the first stored one with its id in place, or is added.
  void synchronizeVorns(const std::vector<std::shared_ptr<VornObject>>& fetched);
  void synchronizeWithApiResponse(const std::shared_ptr<NSDictionary>& response);

  // --- Derived values
  bool canSynchronize();
  std::shared_ptr<VNStreamRequester> constructStreamRequester();
  std::vector<std::shared_ptr<VornObject>> getUploadInterruptedVorns();
  // Takes a GIF off the unsent ones (no set once none is left); false when it was not on it.
  bool markSent(const std::string& vid);
  std::string streamKey();
  std::string uploadID();
  std::string channelID();
  std::string streamPath();
  VNRequester::Parameters requesterParameters();

  GLIMDECK_OBJECT(Collection)

 private:
  Collection() = default;
  std::int64_t integerFor(std::string_view key);
  void setInteger(std::int64_t value, std::string_view key);
  std::optional<std::string> textFor(std::string_view key);
  std::optional<std::set<std::string>> idSetFor(std::string_view key);
  void setIdSet(const std::optional<std::set<std::string>>& value, std::string_view key);
};
