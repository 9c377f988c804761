#pragma once
// What the stand-in remembers between requests, for as long as the server runs: accounts,
// collections (packs with their items, owners, pack tokens and followers), each user's liked
// and saved items, and the GIFs uploaded to it, which become items with media of their own.
// Tests seed it and read it back to check what the client's requests did. Every operation
// takes the state's lock, so routes on the server's worker threads and tests may share it.
// A StandinStateFile keeps it in a file from one run of the server to the next.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "standin/StandinAccounts.h"
#include "standin/StandinChanges.h"

class Catalogue;

struct StandinCollection {
  std::int64_t id = 0;
  std::string name;
  std::optional<std::int64_t> owner;      // none for a pack made without an account
  std::optional<std::string> packToken;   // the token of a pack made without an account
  bool isPublic = false;
  std::vector<std::string> items;         // item ids, newest first
  std::set<std::int64_t> subscribers;
};

struct StandinUpload {
  std::string id;
  std::string bytes;  // the GIF as uploaded
  std::vector<std::string> tags;
  std::optional<std::int64_t> uploader;
  bool sticker = false;
  std::string stickerSource = "-1";
  std::optional<std::string> sourceURL;  // for a GIF posted from an address
  int width = 0;
  int height = 0;
};

class StandinState {
 public:
  StandinAccounts& accounts() { return accounts_; }
  // Forgets everything, accounts included.
  void reset() { restore({}); }

  // --- Collections
  std::int64_t createCollection(const std::string& name, std::optional<std::int64_t> owner, bool isPublic = false,
                                std::optional<std::string> packToken = std::nullopt);
  std::optional<StandinCollection> collection(std::int64_t id) const;
  std::vector<StandinCollection> collections() const;
  // Removes a pack that `userid` owns; false when there is none.
  bool removeCollection(std::int64_t id, std::int64_t userid);
  // Puts the item first in the pack (moving it there when it already is in it).
  bool addToCollection(std::int64_t id, const std::string& itemId);
  bool subscribe(std::int64_t id, std::int64_t userid, bool subscribed);
  // Gives an anonymous pack to the user when the pack token is its own; false otherwise.
  bool claim(std::int64_t id, const std::string& packToken, std::int64_t userid);
  // The collection dictionaries the service lists for a user: own packs, then followed ones.
  std::shared_ptr<NSArray> collectionObjects(std::int64_t userid, const std::string& baseURL) const;

  // --- A user's liked and saved items, newest first
  void setLiked(std::int64_t userid, const std::string& itemId, bool liked);
  void addSaved(std::int64_t userid, const std::string& itemId);
  // Takes the item out of the user's saved items and own packs.
  void removePost(std::int64_t userid, const std::string& itemId);
  std::vector<std::string> liked(std::int64_t userid) const;
  std::vector<std::string> saved(std::int64_t userid) const;

  // --- Uploads
  // Keeps the GIF and answers its new item id.
  std::string addUpload(StandinUpload upload);
  std::optional<StandinUpload> upload(const std::string& id) const;
  // The ids of the GIFs the account of that name (in any case) uploaded, newest first.
  std::vector<std::string> uploadsBy(const std::string& username) const;
  // The item object of a catalogue item or an upload, as the service sends it; none for an
  // unknown id.
  std::shared_ptr<NSDictionary> itemObject(const Catalogue& catalogue, const std::string& id) const;

  // Everything held, for a test that reads it from another process ("/_standin/state"):
  // "users" (id, name, email, terms; no passwords or tokens), "collections", "liked" and
  // "saved" (item ids per user id) and "uploads" (without their bytes, only their length).
  std::shared_ptr<NSDictionary> stateObject() const;

  // --- Everything held, as a file keeps it, and the way back to it
  struct Contents {
    StandinAccounts::Contents accounts;
    std::vector<StandinCollection> collections;
    std::map<std::int64_t, std::vector<std::string>> liked;
    std::map<std::int64_t, std::vector<std::string>> saved;
    std::vector<StandinUpload> uploads;
    std::int64_t nextCollectionId = 5000;
    std::int64_t nextUploadId = 9'000'000'000;
    // Grows at each reset and restore: an upload id seen before one may name another GIF
    // after it.
    std::uint64_t generation = 0;
  };
  // The uploads come without their bytes (upload() gives one's); restore() takes them with
  // and answers the generation it begins.
  Contents contents() const;
  std::uint64_t restore(Contents contents);
  // Called after each change, the accounts' included (see StandinChanges).
  void setChangeObserver(std::function<void()> observer);

 private:
  StandinChanges changes_;
  mutable std::mutex mutex_;
  StandinAccounts accounts_;
  std::map<std::int64_t, StandinCollection> collections_;
  std::map<std::int64_t, std::vector<std::string>> liked_;
  std::map<std::int64_t, std::vector<std::string>> saved_;
  std::map<std::string, StandinUpload> uploads_;
  std::int64_t nextCollectionId_ = 5000;
  std::int64_t nextUploadId_ = 9'000'000'000;
  std::uint64_t generation_ = 0;
};
