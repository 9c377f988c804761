#include "standin/StandinState.h"

#include <algorithm>
#include <functional>
#include <set>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"
#include "standin/Catalogue.h"
#include "standin/TextHelpers.h"

using standin::listsByUser;
using standin::text;
using standin::textList;

namespace {

void putFirst(std::vector<std::string>& items, const std::string& id) {
  std::erase(items, id);
  items.insert(items.begin(), id);
}

id integer(std::int64_t value) { return NSNumber::numberWithInteger(value); }

}  // namespace

std::int64_t StandinState::createCollection(const std::string& name, std::optional<std::int64_t> owner, bool isPublic,
                                            std::optional<std::string> packToken) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  StandinCollection collection{nextCollectionId_++, name, owner, std::move(packToken), isPublic, {}, {}};
  collections_[collection.id] = collection;
  return collection.id;
}

std::optional<StandinCollection> StandinState::collection(std::int64_t id) const {
  std::lock_guard lock(mutex_);
  auto found = collections_.find(id);
  if (found == collections_.end()) return std::nullopt;
  return found->second;
}

std::vector<StandinCollection> StandinState::collections() const {
  std::lock_guard lock(mutex_);
  std::vector<StandinCollection> all;
  for (const auto& [id, collection] : collections_) all.push_back(collection);
  return all;
}

bool StandinState::removeCollection(std::int64_t id, std::int64_t userid) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  auto found = collections_.find(id);
  if (found == collections_.end() || found->second.owner != userid) return false;
  collections_.erase(found);
  return true;
}

bool StandinState::addToCollection(std::int64_t id, const std::string& itemId) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  auto found = collections_.find(id);
  if (found == collections_.end()) return false;
  putFirst(found->second.items, itemId);
  return true;
}

bool StandinState::subscribe(std::int64_t id, std::int64_t userid, bool subscribed) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  auto found = collections_.find(id);
  if (found == collections_.end() || found->second.owner == userid) return false;
  if (subscribed) found->second.subscribers.insert(userid);
  else found->second.subscribers.erase(userid);
  return true;
}

bool StandinState::claim(std::int64_t id, const std::string& packToken, std::int64_t userid) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  auto found = collections_.find(id);
  if (found == collections_.end() || found->second.owner || found->second.packToken != packToken) return false;
  found->second.owner = userid;
  return true;
}

std::shared_ptr<NSArray> StandinState::collectionObjects(std::int64_t userid, const std::string& baseURL) const {
  std::lock_guard lock(mutex_);
  auto list = NSArray::make();
  auto add = [&](const StandinCollection& collection, bool followed) {
    auto object = NSDictionary::make({{"id", integer(collection.id)},
                                      {"name", text(collection.name)},
                                      {"url", text(baseURL + "/pack/" + std::to_string(collection.id))},
                                      {"public", NSNumber::numberWithBool(collection.isPublic)},
                                      {"subscribed", NSNumber::numberWithBool(followed)}});
    if (!collection.items.empty()) {
      object->setObject(text(baseURL + "/media/" + collection.items.front() + "/tinygif.gif"), "imageurl");
    }
    list->addObject(object);
  };
  for (const auto& [id, collection] : collections_) {
    if (collection.owner == userid) add(collection, false);
  }
  for (const auto& [id, collection] : collections_) {
    if (collection.subscribers.contains(userid)) add(collection, true);
  }
  return list;
}

void StandinState::setLiked(std::int64_t userid, const std::string& itemId, bool liked) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  if (liked) putFirst(liked_[userid], itemId);
  else std::erase(liked_[userid], itemId);
}

void StandinState::addSaved(std::int64_t userid, const std::string& itemId) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  putFirst(saved_[userid], itemId);
}

void StandinState::removePost(std::int64_t userid, const std::string& itemId) {
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  std::erase(saved_[userid], itemId);
  for (auto& [id, collection] : collections_) {
    if (collection.owner == userid) std::erase(collection.items, itemId);
  }
}

std::vector<std::string> StandinState::liked(std::int64_t userid) const {
  std::lock_guard lock(mutex_);
  auto found = liked_.find(userid);
  return found == liked_.end() ? std::vector<std::string>{} : found->second;
}

std::vector<std::string> StandinState::saved(std::int64_t userid) const {
  std::lock_guard lock(mutex_);
  auto found = saved_.find(userid);
  return found == saved_.end() ? std::vector<std::string>{} : found->second;
}

std::string StandinState::addUpload(StandinUpload upload) {
  // The logical screen size of a GIF: two little-endian 16-bit numbers after the signature.
  if (upload.bytes.size() >= 10) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(upload.bytes[i]); };
    upload.width = byte(6) | (byte(7) << 8);
    upload.height = byte(8) | (byte(9) << 8);
  }
  const auto notice = changes_.notice();
  std::lock_guard lock(mutex_);
  upload.id = std::to_string(nextUploadId_++);
  uploads_[upload.id] = upload;
  return upload.id;
}

std::optional<StandinUpload> StandinState::upload(const std::string& id) const {
  std::lock_guard lock(mutex_);
  auto found = uploads_.find(id);
  if (found == uploads_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> StandinState::uploadsBy(const std::string& username) const {
  std::set<std::int64_t> uploaders;
  for (const auto& user : accounts_.users()) {
    if (standin::lower(user.username) == standin::lower(username)) uploaders.insert(user.userid);
  }
  std::vector<std::pair<std::int64_t, std::string>> found;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [uploadId, upload] : uploads_) {
      if (upload.uploader && uploaders.contains(*upload.uploader)) found.emplace_back(std::stoll(uploadId), uploadId);
    }
  }
  // Ids are handed out in increasing order: the newest has the largest.
  std::ranges::sort(found, std::greater{});
  std::vector<std::string> ids;
  for (auto& [number, uploadId] : found) ids.push_back(std::move(uploadId));
  return ids;
}

std::shared_ptr<NSDictionary> StandinState::itemObject(const Catalogue& catalogue, const std::string& id) const {
  if (const auto* item = catalogue.item(id)) return catalogue.itemObject(*item);
  auto upload = this->upload(id);
  if (!upload) return nullptr;
  const std::string mediaURL = catalogue.baseURL() + "/uploads/" + upload->id + ".gif";
  auto media = NSDictionary::make();
  for (const char* format : {"gif", "tinygif", "nanogif"}) {
    media->setObject(NSDictionary::make({{"url", text(mediaURL)},
                                         {"dims", NSArray::make({integer(upload->width), integer(upload->height)})},
                                         {"size", integer(static_cast<std::int64_t>(upload->bytes.size()))},
                                         {"preview", text(mediaURL)}}),
                     format);
  }
  auto tags = NSArray::make();
  for (const auto& tag : upload->tags) tags->addObject(text(tag));
  auto object = NSDictionary::make({{"id", text(upload->id)},
                                    {"title", text("")},
                                    {"tags", tags},
                                    {"shares", integer(0)},
                                    {"url", text(catalogue.baseURL() + "/g/" + upload->id)},
                                    {"hasaudio", NSNumber::numberWithBool(false)},
                                    {"sticker", NSNumber::numberWithBool(upload->sticker)},
                                    {"media", NSArray::make({media})}});
  if (upload->uploader) {
    if (auto user = accounts_.user(*upload->uploader)) {
      object->setObject(NSDictionary::make({{"userid", integer(user->userid)}, {"username", text(user->username)}}), "user");
    }
  }
  return object;
}

std::shared_ptr<NSDictionary> StandinState::stateObject() const {
  auto users = NSArray::make();
  for (const auto& user : accounts_.users()) {
    users->addObject(NSDictionary::make({{"userid", integer(user.userid)},
                                         {"username", text(user.username)},
                                         {"email", text(user.email)},
                                         {"needsTermsAcceptance", NSNumber::numberWithBool(user.needsTermsAcceptance)}}));
  }
  std::lock_guard lock(mutex_);
  auto collections = NSArray::make();
  for (const auto& [collectionId, collection] : collections_) {
    auto subscribers = NSArray::make();
    for (auto userid : collection.subscribers) subscribers->addObject(integer(userid));
    auto object = NSDictionary::make({{"id", integer(collection.id)},
                                      {"name", text(collection.name)},
                                      {"public", NSNumber::numberWithBool(collection.isPublic)},
                                      {"items", textList(collection.items)},
                                      {"subscribers", subscribers}});
    if (collection.owner) object->setObject(integer(*collection.owner), "owner");
    collections->addObject(object);
  }
  auto uploads = NSArray::make();
  for (const auto& [uploadId, upload] : uploads_) {
    auto object = NSDictionary::make({{"id", text(upload.id)},
                                      {"length", integer(static_cast<std::int64_t>(upload.bytes.size()))},
                                      {"tags", textList(upload.tags)}});
    if (upload.uploader) object->setObject(integer(*upload.uploader), "uploader");
    uploads->addObject(object);
  }
  return NSDictionary::make({{"users", users},
                             {"collections", collections},
                             {"liked", listsByUser(liked_)},
                             {"saved", listsByUser(saved_)},
                             {"uploads", uploads}});
}

StandinState::Contents StandinState::contents() const {
  Contents contents;
  contents.accounts = accounts_.contents();
  std::lock_guard lock(mutex_);
  for (const auto& [collectionId, collection] : collections_) contents.collections.push_back(collection);
  contents.liked = liked_;
  contents.saved = saved_;
  for (const auto& [uploadId, upload] : uploads_) {
    contents.uploads.push_back({.id = upload.id,
                                .bytes = {},
                                .tags = upload.tags,
                                .uploader = upload.uploader,
                                .sticker = upload.sticker,
                                .stickerSource = upload.stickerSource,
                                .sourceURL = upload.sourceURL,
                                .width = upload.width,
                                .height = upload.height});
  }
  contents.nextCollectionId = nextCollectionId_;
  contents.nextUploadId = nextUploadId_;
  contents.generation = generation_;
  return contents;
}

std::uint64_t StandinState::restore(Contents contents) {
  const auto notice = changes_.notice();
  accounts_.restore(std::move(contents.accounts));
  std::lock_guard lock(mutex_);
  collections_.clear();
  for (auto& collection : contents.collections) collections_[collection.id] = std::move(collection);
  liked_ = std::move(contents.liked);
  saved_ = std::move(contents.saved);
  uploads_.clear();
  for (auto& upload : contents.uploads) uploads_[upload.id] = std::move(upload);
  nextCollectionId_ = contents.nextCollectionId;
  nextUploadId_ = contents.nextUploadId;
  return ++generation_;
}

void StandinState::setChangeObserver(std::function<void()> observer) {
  accounts_.setChangeObserver(observer);
  changes_.setObserver(std::move(observer));
}
