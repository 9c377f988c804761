#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/Paths.h"
#include "tests/collections/CollectionsFixture.h"

namespace fs = std::filesystem;

namespace {

using Store = CollectionsTest;

std::vector<std::string> names(const CollectionManager::Collections& collections) {
  std::vector<std::string> out;
  for (const auto& collection : collections) out.push_back(collection->name());
  return out;
}

TEST_F(Store, AFreshStoreGetsTheThreeSpecialCollectionsFirstWithTheirStamps) {
  auto all = manager()->getAllCollections(true);
  EXPECT_EQ(names(all), (std::vector<std::string>{"Recents", "Favorites", "Saved"}));
  relaunch();
  all = manager()->getAllCollections(true);
  ASSERT_EQ(all.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(all[i]->specialCollectionType(), static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(all[i]->dateCreated()->timeIntervalSince1970(), NSDate::kDistantPast + 100.0 * static_cast<double>(i + 1));
    EXPECT_EQ(all[i]->identifier(), 0);
    EXPECT_FALSE(all[i]->interruptedUploadContent().has_value());
  }
  struct stat file{};
  ASSERT_EQ(stat((Paths::applicationSupport() / "zg.sqlite").c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
}

TEST_F(Store, SpecialCollectionsAreFoundByTypeNeverByAPacksName) {
  // A pack named like a special collection, made before the special collections exist.
  auto context = CoreDataContext::managedObjectContext();
  auto pack = std::dynamic_pointer_cast<Collection>(context->insertNewObjectForEntityForName("Collection"));
  pack->setName("Saved");
  pack->setIdentifier(77);
  CoreDataContext::save();
  auto saved = manager()->getSavedCollection();
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->specialCollectionType(), 3);
  EXPECT_NE(saved, pack);
  pack->setName("Recents");
  manager()->addVornToRecents(item(1));
  EXPECT_TRUE(pack->vorns().empty());
  EXPECT_EQ(vids(manager()->getRecentsCollection()), std::vector<std::string>{itemId(1)});
  // The service listing a pack called "Favorites" leaves the real Favorites alone.
  manager()->synchronizeLocalAndServerAPI(
      NSArray::make({NSDictionary::make({{"id", NSNumber::numberWithInteger(88)}, {"name", NSString::make("Favorites")}})}), false);
  EXPECT_EQ(manager()->getFavoritesCollection()->identifier(), 0);
  EXPECT_NE(manager()->getCollectionByIdentifier(88), nullptr);
}

TEST_F(Store, NewPacksAndQueriesFollowTheirRules) {
  EXPECT_EQ(manager()->createNewCollection("Favorites", false, true), nullptr);
  ASSERT_NE(manager()->createNewCollection("cats.", false, true), nullptr);
  EXPECT_EQ(manager()->createNewCollection("cats.", false, true), nullptr);
  EXPECT_NE(manager()->createNewCollection("Cats.", false, true), nullptr);
  EXPECT_EQ(manager()->getCollection("catsX"), nullptr);
  advance(10);
  auto later = manager()->createNewCollection("dogs", false, true);
  later->setValueForKey(NSNumber::numberWithInteger(4), "specialCollectionType");
  EXPECT_EQ(names(*manager()->getUserCreatedCollectionsWithSortByModifyDate(true)), (std::vector<std::string>{"dogs", "cats.", "Cats."}));
  auto subscription = manager()->subscribeToCollectionWithName("followed", 9, nullptr, nullptr);
  ASSERT_NE(subscription, nullptr);
  EXPECT_EQ(manager()->subscribeToCollectionWithName("again", 9, nullptr, nullptr), nullptr);
  EXPECT_EQ(names(manager()->getAllSubscribedCollections()), std::vector<std::string>{"followed"});
  relaunch();
  EXPECT_EQ(names(manager()->getAllCollections(true)).size(), 7u);
}

TEST_F(Store, RecentsMovesAGifToTheFrontAndKeepsItOnce) {
  for (std::size_t n : {1, 2, 3, 2}) manager()->addVornToRecents(item(n));
  EXPECT_EQ(vids(manager()->getRecentsCollection()), (std::vector<std::string>{itemId(2), itemId(3), itemId(1)}));
  EXPECT_TRUE(manager()->vornIDHashLookup.empty());
  relaunch();
  auto recents = manager()->getRecentsCollection();
  EXPECT_EQ(vids(recents), (std::vector<std::string>{itemId(2), itemId(3), itemId(1)}));
  EXPECT_EQ(recents->previewURL()->absoluteString(), item(2)->tinyGifUrl);
  for (const auto& request : standin().requests()) EXPECT_FALSE(request.path.starts_with("/quorb.")) << request.path;
}

TEST_F(Store, LookupsFollowAdditionsRemovalsAndBulkChanges) {
  auto pack = manager()->createNewCollection("pack", false, true);
  auto gif = item(4);
  pack->append(gif);
  manager()->getFavoritesCollection()->append(item(4));
  EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(gif));
  pack->remove(gif);
  EXPECT_FALSE(manager()->isVornInFavoritesWithVorn(gif));  // the hash holds one entry per id
  EXPECT_FALSE(manager()->favoriteVornWithVorn(gif));       // it was still a favourite
  EXPECT_TRUE(manager()->favoriteVornWithVorn(gif));
  EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(gif));
  manager()->addVornToRecents(gif);
  manager()->removeVornFromRecents(gif);
  EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(gif));  // leaving Recents leaves Favorites as it was
  // A bulk change rebuilds the lookups from the store.
  manager()->purgeCollections();
  EXPECT_FALSE(manager()->isVornInFavoritesWithVorn(gif));
  EXPECT_TRUE(manager()->favoritedVornObjectList.empty());
  auto tagged = item(5);
  tagged->tags = {"Funny", "cat"};
  manager()->getSavedCollection()->append(tagged);
  EXPECT_EQ(manager()->getAllCollectedVorns("funny", true).size(), 1u);
  EXPECT_TRUE(manager()->getAllCollectedVorns("fun", false).empty());
}

TEST_F(Store, RemovingAGifDeletesOnlyItsOwnFileAndOnlyOnceNoCollectionHoldsIt) {
  auto own = [] { return *VornObject::initWithLocalGifImageData(NSData::fromString("GIF89a\x01\x00\x01\x00;")); };
  auto fileOf = [](const std::shared_ptr<VornObject>& gif) { return NSURL::URLWithString(gif->gifUrl)->path(); };
  // A collection whose GIFs do not go to the service, so that their ids stay as they are.
  auto pack = manager()->createNewCollection("pack", false, true);
  pack->setSpecialCollectionType(4);
  auto recents = manager()->getRecentsCollection();

  auto held = own();
  pack->append(held);
  recents->append(held);
  pack->remove(held);
  EXPECT_TRUE(fs::exists(fileOf(held))) << "Recents still holds it";
  manager()->removeVornFromRecents(held);
  EXPECT_FALSE(fs::exists(fileOf(held)));

  // Uploaded: the id is the service's now; the file is still the GIF's own.
  auto uploaded = VornObject::initWithCopyValuesFromVorn(own());
  uploaded->vid = "987654";
  pack->append(uploaded);
  pack->remove(uploaded);
  EXPECT_FALSE(fs::exists(fileOf(uploaded)));

  // A file id outside the application's GIF folder names the user's own file.
  std::ofstream(home() / "mine.gif") << "GIF89a\x01\x00\x01\x00;";
  auto outside = VornObject::initWithLocalFileUrl(NSURL::fileURLWithPath((home() / "mine.gif").string(), false), std::nullopt,
                                                  nullptr, false);
  pack->append(outside);
  pack->remove(outside);
  EXPECT_TRUE(fs::exists(fileOf(outside)));
}

TEST_F(Store, RecentsKeepsTheMostRecentGifsUpToItsLimit) {
  auto dropped = *VornObject::initWithLocalGifImageData(NSData::fromString("GIF89a\x01\x00\x01\x00;"));
  manager()->addVornToRecents(dropped);
  std::vector<std::string> expected;
  for (std::size_t n = 0; n < CollectionManager::Constants::recentsLimit; ++n) {
    manager()->addVornToRecents(item(n));
    expected.insert(expected.begin(), itemId(n));
  }
  relaunch();
  EXPECT_EQ(vids(manager()->getRecentsCollection()), expected);
  EXPECT_FALSE(fs::exists(NSURL::URLWithString(dropped->gifUrl)->path())) << "the file of a GIF pushed out goes with it";
}

TEST_F(Store, EachLookupChangePrintsOneLineAndDeletingAPackTakesItsGifsOutOfTheLookups) {
  auto pack = manager()->createNewCollection("pack", false, true);
  pack->setSpecialCollectionType(4);
  for (std::size_t n = 0; n < 30; ++n) pack->append(item(n));
  std::string last;
  for (const auto& line : printedLines()) {
    if (line.starts_with(CollectionManager::Constants::additionPrefix)) last = line;
  }
  EXPECT_EQ(last, std::string(CollectionManager::Constants::additionPrefix) + itemId(29) + " = pack (30 entries)");
  manager()->deleteCollection(pack);
  EXPECT_EQ(manager()->collectionNameForVorn(itemId(3)), std::nullopt);
  EXPECT_TRUE(manager()->collectedVornObjectList.empty());
}

TEST_F(Store, ADamagedStoreIsMovedAsideWithOneLineAndAFreshOneStarted) {
  fs::create_directories(Paths::applicationSupport());
  std::ofstream(Paths::applicationSupport() / "zg.sqlite") << std::string(2048, '#');
  EXPECT_EQ(manager()->getAllCollections(false).size(), 3u);
  int lines = 0;
  for (const auto& line : printedLines()) lines += line.starts_with("Unresolved error ") ? 1 : 0;
  EXPECT_EQ(lines, 1);
  bool found = false;
  for (const auto& entry : fs::directory_iterator(Paths::applicationSupport())) {
    found = found || entry.path().filename().string().starts_with("zg.sqlite.corrupt-");
  }
  EXPECT_TRUE(found);
}

TEST_F(Store, ANewerStoreIsLeftAloneAndTheApplicationRunsWithoutSaving) {
  manager()->createNewCollection("kept", false, true);
  relaunch();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((Paths::applicationSupport() / "zg.sqlite").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=9", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  const auto size = fs::file_size(Paths::applicationSupport() / "zg.sqlite");
  // This version meets a store of the next one.
  EXPECT_EQ(names(manager()->getAllCollections(true)), (std::vector<std::string>{"Recents", "Favorites", "Saved"}));
  manager()->addVornToRecents(item(1));
  EXPECT_EQ(vids(manager()->getRecentsCollection()), std::vector<std::string>{itemId(1)});
  EXPECT_TRUE(printed("core data save manager"));
  EXPECT_EQ(fs::file_size(Paths::applicationSupport() / "zg.sqlite"), size);
  EXPECT_EQ(CoreDataContext::persistentStoreCoordinator()->storeState(), NSPersistentStoreCoordinator::StoreState::newerVersion);
}

TEST_F(Store, AStoreThatCannotBeUsedNowIsKeptAsItIsAndTheApplicationRunsWithoutSavingSayingSoOnce) {
  const auto file = Paths::applicationSupport() / "zg.sqlite";
  manager()->createNewCollection("kept", false, true);
  relaunch();
  fs::permissions(file, fs::perms::owner_read);
  EXPECT_EQ(names(manager()->getAllCollections(true)), (std::vector<std::string>{"Recents", "Favorites", "Saved"}));
  manager()->addVornToRecents(item(1));
  manager()->createNewCollection("unsaved", false, true);
  manager()->getSavedCollection()->append(item(2));
  std::vector<std::string> complaints;
  for (const auto& line : printedLines()) {
    if (line.starts_with("Unresolved error ") || line.find("error") != std::string::npos || line.starts_with("COULDN'T")) {
      complaints.push_back(line);
    }
  }
  ASSERT_EQ(complaints.size(), 1u) << ::testing::PrintToString(complaints);
  EXPECT_NE(complaints[0].find("read-only"), std::string::npos) << complaints[0];
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read);
  for (const auto& entry : fs::directory_iterator(Paths::applicationSupport())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("zg.sqlite.corrupt-")) << entry.path();
  }
  relaunch();
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(names(manager()->getAllCollections(true)), (std::vector<std::string>{"Recents", "Favorites", "Saved", "kept"}));
}

// A store written by the first version is brought up to date with its collections; a
// subscription the service never listed (it has no page address) still waits to be handed
// over, one it listed does not.
TEST_F(Store, AStoreOfTheFirstVersionIsBroughtUpToDateWithItsCollections) {
  auto attributes = CoreDataContext::managedObjectModel()->entityNamed("Collection")->attributes();
  attributes.resize(attributes.size() - 3);
  auto first = NSManagedObjectModel::make("FrequencyStoreModel", 1,
                                          {NSEntityDescription::make("Collection", attributes, [] { return Collection::make(); })});
  {
    auto coordinator = NSPersistentStoreCoordinator::make(first);
    ASSERT_TRUE(coordinator->addPersistentStoreWithURL(
        NSURL::fileURLWithPath((Paths::applicationSupport() / "zg.sqlite").string(), false)));
    auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
    context->persistentStoreCoordinator = coordinator;
    for (const auto& [name, url] : {std::pair<std::string, std::string>{"made here", ""}, {"listed", "https://example.com/p/2"}}) {
      auto subscription = std::dynamic_pointer_cast<Collection>(context->insertNewObjectForEntityForName("Collection"));
      subscription->setName(name);
      subscription->setIdentifier(url.empty() ? 1 : 2);
      subscription->setIsSubscription(true);
      if (!url.empty()) subscription->setUrl(NSURL::URLWithString(url));
    }
    ASSERT_TRUE(context->save());
  }
  EXPECT_EQ(names(manager()->getAllSubscribedCollections()), (std::vector<std::string>{"made here", "listed"}));
  auto madeHere = manager()->getCollection("made here");
  auto listed = manager()->getCollection("listed");
  ASSERT_NE(madeHere, nullptr);
  ASSERT_NE(listed, nullptr);
  EXPECT_TRUE(madeHere->awaitingHandOver());
  EXPECT_FALSE(listed->awaitingHandOver());
  EXPECT_TRUE(CoreDataContext::storeIsAvailable());
  listed->setPendingRemovals({"7"});
  manager()->save();
  relaunch();
  listed = manager()->getCollection("listed");
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed->pendingRemovals(), std::set<std::string>{"7"});
}

}  // namespace

namespace {

// Another program with the store open, as the sqlite3 tool or a backup would have it.
class OtherProgram {
 public:
  explicit OtherProgram(const fs::path& file) : file_(file) { sqlite3_open(file.c_str(), &db_); }
  ~OtherProgram() { sqlite3_close(db_); }
  // Holds the store's write lock until release().
  bool beginWriting() { return sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK; }
  // Keeps everyone else from reading the store too, until release(): exclusive locking mode
  // holds the lock past the transaction's end, as long as the connection is open.
  bool holdExclusively() {
    return sqlite3_exec(db_, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT count(*) FROM Collection;", nullptr,
                        nullptr, nullptr) == SQLITE_OK;
  }
  // Reads in a transaction of its own until release(), so that a checkpoint cannot copy what
  // was written since.
  bool beginReading() {
    return sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM Collection;", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  void release() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    sqlite3_open(file_.c_str(), &db_);
  }
  // The first column of the first row, or "<failed>".
  std::string query(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    std::string out = "<failed>";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(statement, 0);
      out = text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(statement);
    return out;
  }

 private:
  fs::path file_;
  sqlite3* db_ = nullptr;
};

fs::path storeFile() { return Paths::applicationSupport() / "zg.sqlite"; }

// What a copy of the store's file alone (a backup of the one file the user knows) answers.
std::string fromTheFileAlone(const fs::path& folder, const std::string& sql) {
  fs::create_directories(folder);
  fs::copy_file(storeFile(), folder / "zg.sqlite", fs::copy_options::overwrite_existing);
  return OtherProgram(folder / "zg.sqlite").query(sql);
}

class BusyStore : public CollectionsTest {
 protected:
  // The longest a step may hold the main thread: far above what a save takes, far below the
  // seconds a save waiting for another program's lock would.
  static constexpr double longestStretch = 2.0;
  // Runs a step on the main thread and fails when it held the thread longer than that.
  void promptly(const std::string& what, const std::function<void()>& step) {
    const auto began = std::chrono::steady_clock::now();
    step();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    EXPECT_LT(took.count(), longestStretch) << what << " held the main thread";
  }
  int linesContaining(const std::string& text) {
    int count = 0;
    for (const auto& line : printedLines()) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
  }
  std::vector<std::string> complaints() {
    std::vector<std::string> found;
    for (const auto& line : printedLines()) {
      if (line.find("rror") != std::string::npos || line.starts_with("COULDN'T")) found.push_back(line);
    }
    return found;
  }
};

// Another program writing the store (the sqlite3 tool in a transaction) holds saves up without
// the panel waiting for it: the changes stay in memory and in the lookups, one line says that
// saving is held up, and they land by themselves once the store is free, with one line more.
TEST_F(BusyStore, SavesWaitForNobodyAndLandOnceTheStoreIsFree) {
  manager()->createNewCollection("before", false, true);
  OtherProgram other(storeFile());
  ASSERT_TRUE(other.beginWriting());
  promptly("a copy", [&] { manager()->addVornToRecents(item(1)); });
  promptly("a new pack", [&] { ASSERT_NE(manager()->createNewCollection("held", false, true), nullptr); });
  promptly("an addition to Saved", [&] { manager()->getSavedCollection()->append(item(2)); });
  EXPECT_EQ(names(*manager()->getUserCreatedCollectionsWithSortByModifyDate(false)), (std::vector<std::string>{"before", "held"}));
  EXPECT_EQ(manager()->collectionNameForVorn(itemId(2)), "Saved");
  EXPECT_EQ(linesContaining("held up"), 1);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
  EXPECT_EQ(other.query("SELECT count(*) FROM Collection WHERE name = 'held'"), "0");

  promptly("the tries meanwhile", [&] { advance(30); });  // still held up, and said only once
  EXPECT_EQ(linesContaining("held up"), 1);
  other.release();
  promptly("the try once it is free", [&] { advance(30); });
  EXPECT_EQ(other.query("SELECT count(*) FROM Collection WHERE name = 'held'"), "1");
  EXPECT_EQ(linesContaining("resumed"), 1);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
  relaunch();
  EXPECT_EQ(vids(manager()->getRecentsCollection()), std::vector<std::string>{itemId(1)});
  EXPECT_EQ(vids(manager()->getSavedCollection()), std::vector<std::string>{itemId(2)});
  EXPECT_NE(manager()->getCollection("held"), nullptr);

  // A launch while the other program writes opens the store all the same.
  relaunch();
  ASSERT_TRUE(other.beginWriting());
  promptly("a launch and a copy", [&] { manager()->addVornToRecents(item(3)); });
  EXPECT_TRUE(CoreDataContext::storeIsAvailable());
  EXPECT_EQ(linesContaining("held up"), 2);
  other.release();
  promptly("the try once it is free", [&] { advance(30); });
  EXPECT_EQ(linesContaining("resumed"), 2);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
}

// The end of the process closes the store: what is pending is saved, the file alone holds
// everything and its log is gone, and nothing opens the store again.
TEST_F(BusyStore, ClosingLeavesTheStoreWholeInItsFile) {
  manager()->addVornToRecents(item(1));
  manager()->createNewCollection("pack", false, false);  // not saved yet
  CoreDataContext::close();
  EXPECT_FALSE(fs::exists(storeFile().string() + "-wal"));
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection_vorns"), "1");
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection WHERE name = 'pack'"), "1");
  EXPECT_FALSE(CoreDataContext::storeIsAvailable());
  manager()->addVornToRecents(item(2));
  manager()->createNewCollection("later", false, true);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(storeFile().string() + "-wal")) << "not opened again";
}

// Another program keeping everyone from the store at launch (exclusive locking mode) holds
// neither the launch nor the panel: the collections start in memory, one line says saving is
// held up, and the store is opened again as held saves are tried again. Once it opens, what
// it held meets what was done meanwhile: one Recents, Favorites and Saved each, the GIFs used
// meanwhile first and each GIF once, a pack made again under its name merged into it, a new
// one kept; then all of it is saved, and one line says so.
TEST_F(BusyStore, ALaunchWhileAnotherProgramHoldsTheStoreMergesWhatWasDoneMeanwhileOnceItOpens) {
  for (std::size_t n : {2, 1}) manager()->addVornToRecents(item(n));
  manager()->favoriteVornWithVorn(item(3));
  manager()->createNewCollection("cats", false, true)->append(item(4));
  relaunch();
  OtherProgram other(storeFile());
  ASSERT_TRUE(other.holdExclusively());

  promptly("the launch", [&] {
    EXPECT_EQ(names(manager()->getAllCollections(true)), (std::vector<std::string>{"Recents", "Favorites", "Saved"}));
  });
  EXPECT_FALSE(CoreDataContext::storeIsAvailable());
  EXPECT_EQ(linesContaining("held up"), 1);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
  promptly("the copies", [&] {
    for (std::size_t n : {5, 1}) manager()->addVornToRecents(item(n));
  });
  promptly("a favourite", [&] { EXPECT_TRUE(manager()->favoriteVornWithVorn(item(6))); });
  promptly("the packs", [&] {
    manager()->createNewCollection("cats", false, true)->append(item(7));
    manager()->createNewCollection("dogs", false, true)->append(item(8));
  });
  EXPECT_EQ(vids(manager()->getRecentsCollection()), (std::vector<std::string>{itemId(1), itemId(5)}));
  promptly("the tries meanwhile", [&] { advance(30); });
  EXPECT_FALSE(CoreDataContext::storeIsAvailable());
  EXPECT_EQ(linesContaining("held up"), 1) << "said once";
  EXPECT_EQ(other.query("SELECT count(*) FROM Collection_vorns"), "4") << "nothing written meanwhile";

  other.release();
  promptly("the try once it is free", [&] { advance(30); });
  EXPECT_TRUE(CoreDataContext::storeIsAvailable());
  EXPECT_EQ(linesContaining("resumed"), 1);
  EXPECT_EQ(complaints(), std::vector<std::string>{});
  auto expectMerged = [&](const std::string& when) {
    ASSERT_EQ(names(manager()->getAllCollections(true)), (std::vector<std::string>{"Recents", "Favorites", "Saved", "cats", "dogs"}))
        << when;
    EXPECT_EQ(vids(manager()->getRecentsCollection()), (std::vector<std::string>{itemId(1), itemId(5), itemId(2)})) << when;
    EXPECT_EQ(vids(manager()->getFavoritesCollection()), (std::vector<std::string>{itemId(6), itemId(3)})) << when;
    EXPECT_EQ(vids(manager()->getCollection("cats")), (std::vector<std::string>{itemId(7), itemId(4)})) << when;
    EXPECT_EQ(vids(manager()->getCollection("dogs")), (std::vector<std::string>{itemId(8)})) << when;
    EXPECT_TRUE(manager()->isVornInFavoritesWithVorn(item(3))) << when;
    EXPECT_EQ(manager()->collectionNameForVorn(itemId(4)), "cats") << when;
  };
  expectMerged("once the store opened");
  EXPECT_EQ(other.query("SELECT count(*) FROM Collection"), "5");
  EXPECT_EQ(other.query("SELECT count(*) FROM Collection_vorns"), "8");
  relaunch();
  expectMerged("after a relaunch");
}

// Recents keeps its limit through the merge: the GIFs used meanwhile push the oldest stored
// ones out, and the file of a GIF of the application's own goes with it.
TEST_F(BusyStore, RecentsKeepsItsLimitWhenWhatWasUsedMeanwhileIsMerged) {
  auto dropped = *VornObject::initWithLocalGifImageData(NSData::fromString("GIF89a\x01\x00\x01\x00;"));
  manager()->addVornToRecents(dropped);
  for (std::size_t n = 0; n + 1 < CollectionManager::Constants::recentsLimit; ++n) manager()->addVornToRecents(item(n));
  relaunch();
  OtherProgram other(storeFile());
  ASSERT_TRUE(other.holdExclusively());
  promptly("the launch and the copies", [&] {
    for (std::size_t n : {5, 0, 150}) manager()->addVornToRecents(item(n));
  });
  other.release();
  promptly("the try once it is free", [&] { advance(30); });
  std::vector<std::string> expected{itemId(150), itemId(0), itemId(5)};
  for (std::size_t n = CollectionManager::Constants::recentsLimit - 1; n-- > 1;) {
    if (n != 5) expected.push_back(itemId(n));
  }
  ASSERT_EQ(expected.size(), CollectionManager::Constants::recentsLimit);
  EXPECT_EQ(vids(manager()->getRecentsCollection()), expected);
  EXPECT_FALSE(fs::exists(NSURL::URLWithString(dropped->gifUrl)->path())) << "the file of a GIF pushed out goes with it";
  relaunch();
  EXPECT_EQ(vids(manager()->getRecentsCollection()), expected);
}

// What is still on its way for a collection made meanwhile (the service's answer to a like)
// finds the collection it was merged into: the GIF is taken off those to send again.
TEST_F(BusyStore, AReplyThatComesAfterTheMergeReachesTheCollectionMergedInto) {
  auto amy = signIn("amy", "tok-amy");
  EXPECT_TRUE(manager()->favoriteVornWithVorn(item(1)));
  ASSERT_TRUE(eventually([&] { return !manager()->getFavoritesCollection()->interruptedUploadContent(); }));
  relaunch();
  OtherProgram other(storeFile());
  ASSERT_TRUE(other.holdExclusively());
  standin().injectFault("/quorb.like", Fault::stall());
  EXPECT_TRUE(manager()->favoriteVornWithVorn(item(2)));
  // This GIF's like, not the first one's still in the log: released before it arrives, it
  // would be held for good.
  ASSERT_TRUE(standin()
                  .waitForRequest([&](const StandinRequest& r) {
                    return r.path == "/quorb.like" && (r.target + r.body).find(itemId(2)) != std::string::npos;
                  }, 20.0)
                  .has_value());
  other.release();
  advance(30);
  ASSERT_TRUE(CoreDataContext::storeIsAvailable());
  EXPECT_EQ(vids(manager()->getFavoritesCollection()), (std::vector<std::string>{itemId(2), itemId(1)}));
  EXPECT_EQ(manager()->getFavoritesCollection()->interruptedUploadContent(), std::set<std::string>{itemId(2)});

  standin().releaseStalls();
  EXPECT_TRUE(eventually([&] { return !manager()->getFavoritesCollection()->interruptedUploadContent(); }));
  EXPECT_EQ(standin().state().liked(amy.userid), (std::vector<std::string>{itemId(2), itemId(1)}));
  relaunch();
  EXPECT_FALSE(manager()->getFavoritesCollection()->interruptedUploadContent().has_value());
}

// The end of the process gives a store held since the launch the same last wait as a held
// save: free by then, it gets what was done meanwhile, merged, and its file alone holds it.
TEST_F(BusyStore, AStoreHeldSinceTheLaunchButFreeAtTheEndGetsWhatWasDoneMeanwhile) {
  manager()->addVornToRecents(item(1));
  relaunch();
  OtherProgram other(storeFile());
  ASSERT_TRUE(other.holdExclusively());
  manager()->addVornToRecents(item(2));
  other.release();
  CoreDataContext::close();
  EXPECT_EQ(linesContaining("could not be saved"), 0);
  EXPECT_FALSE(fs::exists(storeFile().string() + "-wal"));
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection WHERE specialCollectionType = 1"), "1");
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection_vorns"), "2");
}

// A checkpoint that a reader held off (a backup reading the store) is tried again until the
// log is folded in, rather than waiting for the next save; while a reader holds on, the tries
// thin out to one every longest delay rather than waking the application twice a second.
TEST_F(BusyStore, ACheckpointAReaderHeldOffIsTriedAgainOnceItLetsGo) {
  constexpr double step = 0.1;
  int saved = 0;
  // Two saves a reader holds off, the reader letting go that many seconds after them: the
  // seconds from then until the store's file alone holds both, the clock moved on a little at
  // a time.
  auto heldOffFor = [&](double seconds) {
    manager()->addVornToRecents(item(++saved));
    OtherProgram reader(storeFile());
    EXPECT_TRUE(reader.beginReading());
    manager()->addVornToRecents(item(++saved));
    const auto folded = [&] {
      return fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection_vorns") == std::to_string(saved);
    };
    promptly("the checkpoint and its tries", [&] { advance(seconds); });
    EXPECT_FALSE(folded()) << "held off by the reader";
    reader.release();
    double waited = 0;
    for (; !folded() && waited < 2 * CoreDataContext::retryLongestDelay; waited += step) {
      promptly("a try", [&] { advance(step); });
    }
    EXPECT_TRUE(folded()) << "tried again once the reader let go";
    return waited;
  };
  const double first = heldOffFor(60);
  EXPECT_LE(first, CoreDataContext::retryLongestDelay + 2 * step);
  // The same again, let go just after the try that folded the log the first time (held off
  // now): the next try comes the longest delay after it.
  EXPECT_NEAR(heldOffFor(60 + first), CoreDataContext::retryLongestDelay, 2 * step) << "seconds between two tries";
}

// What was saved reaches the store's file itself once saves go quiet, while the application
// goes on running: a copy of zg.sqlite alone holds it.
TEST_F(Store, OnceSavesGoQuietTheStoresFileAloneHoldsThem) {
  manager()->addVornToRecents(item(1));
  manager()->createNewCollection("pack", false, true);
  advance(60);
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection_vorns"), "1");
  EXPECT_EQ(fromTheFileAlone(home() / "backup", "SELECT count(*) FROM Collection WHERE name = 'pack'"), "1");
}

}  // namespace
