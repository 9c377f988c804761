// The lookups of the collection manager, Recents and Favorites.
#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "collections/CollectionManager.h"
#include "model/AppConstants.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Unicode.h"

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) { return Unicode::caseInsensitiveEqual(a, b); }

// One line for one change: the whole table would make each addition cost as much as the
// table is long.
std::string changeLine(std::string_view prefix, const std::string& vid, const std::string* name, std::size_t entries) {
  return std::string(prefix) + vid + (name ? " = " + *name : std::string()) + " (" + std::to_string(entries) +
         (entries == 1 ? " entry)" : " entries)");
}

void eraseFirst(std::vector<std::shared_ptr<VornObject>>& list, const std::shared_ptr<VornObject>& vorn) {
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& v) { return v->isEqual(vorn); });
  if (at != list.end()) list.erase(at);
}

}  // namespace

void CollectionManager::createConvenienceLookups() {
  auto collections = getCollections({1}, false);
  if (!collections) return;
  for (const auto& collection : *collections) {
    const auto name = collection->name();
    const auto preview = collection->previewURL();
    const bool favorites = collection->specialCollectionType() == 2;
    for (const auto& vorn : collection->vorns()) {
      vornIDHashLookup[vorn->vid] = {name, preview};
      (favorites ? favoritedVornObjectList : collectedVornObjectList).push_back(vorn);
    }
  }
}

void CollectionManager::rebuildConvenienceLookups() {
  vornIDHashLookup.clear();
  favoritedVornObjectList.clear();
  collectedVornObjectList.clear();
  createConvenienceLookups();
}

void CollectionManager::addToLookupHash(const std::string& vid, const std::string& name, const std::shared_ptr<NSURL>& previewURL) {
  vornIDHashLookup[vid] = {name, previewURL};
  OutputSink::print(changeLine(Constants::additionPrefix, vid, &name, vornIDHashLookup.size()));
}

void CollectionManager::removeFromLookupHash(const std::string& vid) {
  vornIDHashLookup.erase(vid);
  OutputSink::print(changeLine(Constants::deletePrefix, vid, nullptr, vornIDHashLookup.size()));
}

std::optional<std::string> CollectionManager::collectionNameForVorn(const std::string& vid) {
  auto found = vornIDHashLookup.find(vid);
  if (found == vornIDHashLookup.end()) return std::nullopt;
  return found->second.name;
}

bool CollectionManager::isVornInFavoritesWithVorn(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return false;
  auto name = collectionNameForVorn(vorn->vid);
  return name && sameIgnoringCase(*name, std::string(Constants::favorites));
}

void CollectionManager::addToCollectedList(const std::shared_ptr<VornObject>& vorn) { collectedVornObjectList.push_back(vorn); }
void CollectionManager::addToFavoritesList(const std::shared_ptr<VornObject>& vorn) { favoritedVornObjectList.push_back(vorn); }
void CollectionManager::deleteFromCollectedList(const std::shared_ptr<VornObject>& vorn) { eraseFirst(collectedVornObjectList, vorn); }
void CollectionManager::deleteFromFavoritesList(const std::shared_ptr<VornObject>& vorn) { eraseFirst(favoritedVornObjectList, vorn); }

void CollectionManager::addVornToRecents(const std::shared_ptr<VornObject>& vorn) {
  if (!vorn) return;
  auto recents = getRecentsCollection();
  if (!recents) return;
  auto list = recents->vorns();
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& v) { return v->isEqual(vorn); });
  if (at == list.end()) {
    recents->append(vorn);
    trimRecents(recents);
    return;
  }
  list.erase(at);
  list.insert(list.begin(), vorn);
  recents->setVorns(list);
  recents->updatePreviewUrl();
  recents->save();
}

void CollectionManager::trimRecents(const std::shared_ptr<Collection>& recents) {
  auto list = recents->vorns();
  if (list.size() <= Constants::recentsLimit) return;
  std::vector<std::shared_ptr<VornObject>> dropped(list.begin() + Constants::recentsLimit, list.end());
  list.resize(Constants::recentsLimit);
  recents->setVorns(list);
  recents->save();
  for (const auto& vorn : dropped) deleteLocalFileIfUnused(vorn);
}

namespace {

std::optional<std::filesystem::path> gifFolder() {
  std::error_code error;
  auto folder = std::filesystem::weakly_canonical(gifDataDirectoryURL()->path(), error);
  if (error) return std::nullopt;
  return folder;
}

std::optional<std::string> fileIn(const VornObject& vorn, const std::filesystem::path& folder) {
  for (const auto* address : {&vorn.vid, &vorn.gifUrl, &vorn.tinyGifUrl}) {
    if (!address->starts_with("file:")) continue;
    auto url = NSURL::URLWithString(*address);
    if (!url || !url->isFileURL()) continue;
    std::error_code error;
    auto path = std::filesystem::weakly_canonical(url->path(), error);
    if (!error && path.parent_path() == folder) return path.string();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> CollectionManager::ownedGifFile(const VornObject& vorn) {
  // Only a file in the application's own GIF folder is ever the application's to delete;
  // after an upload the id is the service's, and the file is still named by the media.
  auto folder = gifFolder();
  return folder ? fileIn(vorn, *folder) : std::nullopt;
}

void CollectionManager::deleteLocalFileIfUnused(const std::shared_ptr<VornObject>& vorn) {
  auto folder = gifFolder();
  auto file = vorn && folder ? fileIn(*vorn, *folder) : std::nullopt;
  if (!file) return;
  for (const auto& collection : getAllCollections(false)) {
    for (const auto& held : collection->vorns()) {
      if (fileIn(*held, *folder) == file) return;  // still some collection's GIF
    }
  }
  std::error_code ignored;
  std::filesystem::remove(*file, ignored);
}
void CollectionManager::removeVornFromRecents(const std::shared_ptr<VornObject>& vorn) {
  if (auto recents = getRecentsCollection()) recents->remove(vorn);
}

bool CollectionManager::favoriteVornWithVorn(const std::shared_ptr<VornObject>& vorn) {
  auto favorites = getFavoritesCollection();
  if (!favorites || !vorn) return false;
  for (const auto& held : favorites->vorns()) {
    if (held->isEqual(vorn)) {
      favorites->remove(vorn);
      return false;
    }
  }
  favorites->append(vorn);
  return true;
}

std::vector<std::shared_ptr<VornObject>> CollectionManager::getAllCollectedVorns(const std::string& tag, bool sortByDate) {
  auto select = [&](const std::vector<std::shared_ptr<VornObject>>& list) {
    std::vector<std::shared_ptr<VornObject>> out;
    for (const auto& vorn : list) {
      if (std::any_of(vorn->tags.begin(), vorn->tags.end(), [&](const auto& t) { return sameIgnoringCase(t, tag); })) {
        out.push_back(vorn);
      }
    }
    if (sortByDate) {
      std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a->dateAddedToParentPack->timeIntervalSince1970() > b->dateAddedToParentPack->timeIntervalSince1970();
      });
    }
    return out;
  };
  // One of each id, favourites first, in the order selected.
  std::vector<std::shared_ptr<VornObject>> result;
  std::unordered_set<std::string> seen;
  for (const auto& list : {select(favoritedVornObjectList), select(collectedVornObjectList)}) {
    for (const auto& vorn : list) {
      if (seen.insert(vorn->vid).second) result.push_back(vorn);
    }
  }
  return result;
}

std::vector<std::shared_ptr<VornObject>> CollectionManager::getAllCollectedVornsFromUser(const std::string& username) {
  std::vector<std::shared_ptr<VornObject>> result;
  auto collections = getCollections({1}, false);
  if (!collections) return result;
  for (const auto& collection : *collections) {
    for (const auto& vorn : collection->vorns()) {
      if (vorn->poster && sameIgnoringCase(vorn->poster->username, username)) result.push_back(vorn);
    }
  }
  return result;
}
