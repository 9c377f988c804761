#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

std::shared_ptr<NSManagedObjectModel> itemModel(int version = 1, std::vector<NSMigrationStep> migrations = {}) {
  std::vector<NSAttributeDescription> attributes{{"count", NSAttributeType::integer64},
                                                 {"flag", NSAttributeType::boolean},
                                                 {"name", NSAttributeType::string},
                                                 {"stamp", NSAttributeType::date},
                                                 {"link", NSAttributeType::URI},
                                                 {"tags", NSAttributeType::transformable},
                                                 {"elements", NSAttributeType::orderedArchives}};
  if (version >= 2) attributes.push_back({"extra", NSAttributeType::string});
  return NSManagedObjectModel::make("Test", version, {NSEntityDescription::make("Item", attributes)}, std::move(migrations));
}

id text(const std::string& value) { return NSString::make(value); }
id number(std::int64_t value) { return NSNumber::numberWithInteger(value); }

std::vector<std::string> texts(const id& list) {
  std::vector<std::string> out;
  if (auto array = asA<NSArray>(list)) {
    for (const auto& element : *array) out.push_back(asA<NSString>(element) ? asA<NSString>(element)->string() : "?");
  }
  return out;
}

// The first column of the first row of a statement run on the file with plain SQLite.
std::string rawQuery(const fs::path& path, const char* sql) {
  sqlite3* db = nullptr;
  std::string out = "<failed>";
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(statement, 0);
      out = text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return out;
}

std::string textOf(const id& value) { return asA<NSString>(value) ? asA<NSString>(value)->string() : "<none>"; }

// A store on a disk that is really full: a small file system of its own (tmpfs, mounted in a
// user and mount namespace of this process, so no privileges are needed) with a file filling
// what is left. A migration then cannot write, nor can a switch to the write-ahead log; each
// leaves the store as it is, and it opens once there is room again. Answers 77 where
// namespaces are not available, 0 when every check held.
int storesOnAFullDisk(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return 2;
  const fs::path folder = arguments[0];
  const auto uid = ::getuid(), gid = ::getgid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 77;
  std::ofstream("/proc/self/setgroups") << "deny";
  std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
  std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
  if (::mount("none", folder.c_str(), "tmpfs", 0, "size=512k") != 0) return 77;
  int failures = 0;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) std::fprintf(stderr, "full disk: %s\n", what.c_str()), ++failures;
  };
  auto model2 = [] { return itemModel(2, {{2, {"ALTER TABLE \"Item\" ADD COLUMN \"extra\" TEXT"}}}); };
  auto add = [](const fs::path& path, std::shared_ptr<NSManagedObjectModel> model) {
    auto coordinator = NSPersistentStoreCoordinator::make(std::move(model));
    auto added = coordinator->addPersistentStoreWithURL(NSURL::fileURLWithPath(path.string(), false));
    return std::make_pair(coordinator, added ? std::string() : added.error()->localizedDescription());
  };
  const fs::path migrating = folder / "migrating.sqlite", rollback = folder / "rollback.sqlite";
  for (const auto& path : {migrating, rollback}) {
    auto [coordinator, error] = add(path, itemModel());
    auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
    context->persistentStoreCoordinator = coordinator;
    context->insertNewObjectForEntityForName("Item")->setValueForKey(text("kept"), "name");
    check(error.empty() && context->save().has_value(), "making " + path.filename().string());
  }
  // A store kept in the rollback journal (as another tool may leave it) must switch to the
  // write-ahead log when it opens.
  check(rawQuery(rollback, "PRAGMA journal_mode=DELETE") == "delete", "leaving the write-ahead log");
  // Another reader keeps the write-ahead log's index in place, so that the migration itself
  // is what meets the full disk.
  sqlite3* reader = nullptr;
  sqlite3_open(migrating.c_str(), &reader);
  sqlite3_exec(reader, "SELECT count(*) FROM \"Item\"", nullptr, nullptr, nullptr);
  {
    std::ofstream filler(folder / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  for (const auto& [path, model] : {std::make_pair(migrating, model2()), std::make_pair(rollback, itemModel())}) {
    const auto size = fs::file_size(path);
    auto [coordinator, error] = add(path, model);
    check(error.find("full") != std::string::npos, path.filename().string() + " failed otherwise: " + error);
    check(coordinator->storeState() == NSPersistentStoreCoordinator::StoreState::unavailable, path.filename().string() + " in use");
    check(!coordinator->movedAsideTo() && fs::exists(path) && fs::file_size(path) == size, path.filename().string() + " moved or changed");
  }
  sqlite3_close(reader);
  fs::remove(folder / "filler");
  for (const auto& [path, model] : {std::make_pair(migrating, model2()), std::make_pair(rollback, itemModel())}) {
    auto [coordinator, error] = add(path, model);
    auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
    context->persistentStoreCoordinator = coordinator;
    auto found = context->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName("Item"));
    check(error.empty() && found && found->size() == 1, path.filename().string() + " did not open with room again: " + error);
  }
  return failures == 0 ? 0 : 1;
}

const bool fullDiskScenario = ChildProcess::add("stores-on-a-full-disk", storesOnAFullDisk);

// Opens the store at the first argument, adds an item named "added" and closes it, writing the
// lines it printed to the file at the second argument. Answers 0 when it saved, 1 when the
// store did not open, 2 when the save failed.
int opensAndSaves(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) return 3;
  std::ofstream lines(arguments[1]);
  OutputSink::setSink([&](std::string_view line) { lines << line << std::endl; });
  auto coordinator = NSPersistentStoreCoordinator::make(itemModel());
  (void)coordinator->addPersistentStoreWithURL(NSURL::fileURLWithPath(arguments[0], false));
  if (coordinator->storeState() != NSPersistentStoreCoordinator::StoreState::open) return 1;
  auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
  context->persistentStoreCoordinator = coordinator;
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("added"), "name");
  const bool saved = context->save().has_value();
  coordinator->removePersistentStore();
  OutputSink::setSink(nullptr);
  return saved ? 0 : 2;
}

const bool opensAndSavesScenario = ChildProcess::add("opens-and-saves", opensAndSaves);

class CoreDataTest : public GlimdeckTest {
 protected:
  fs::path storePath() { return home() / "store" / storeName; }
  std::string storeName = "test.sqlite";

  std::shared_ptr<NSManagedObjectContext> open(std::shared_ptr<NSManagedObjectModel> model = itemModel(),
                                               std::shared_ptr<NSError>* error = nullptr) {
    coordinator = NSPersistentStoreCoordinator::make(std::move(model));
    coordinator->setBusyTimeout(busyTimeout);
    auto added = coordinator->addPersistentStoreWithURL(NSURL::fileURLWithPath(storePath().string(), false));
    if (error) *error = added ? nullptr : added.error();
    auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
    context->persistentStoreCoordinator = coordinator;
    return context;
  }

  std::vector<std::shared_ptr<NSManagedObject>> fetch(NSManagedObjectContext& context, std::vector<NSComparison> predicate = {},
                                                      std::vector<NSSortDescriptor> sort = {}) {
    auto request = NSFetchRequest::fetchRequestWithEntityName("Item");
    request.predicate = std::move(predicate);
    request.sortDescriptors = std::move(sort);
    auto found = context.executeFetchRequest(request);
    EXPECT_TRUE(found.has_value());
    return found ? *found : std::vector<std::shared_ptr<NSManagedObject>>{};
  }

  std::vector<std::string> names(const std::vector<std::shared_ptr<NSManagedObject>>& objects) {
    std::vector<std::string> out;
    for (const auto& object : objects) out.push_back(textOf(object->valueForKey("name")));
    return out;
  }

  std::shared_ptr<NSPersistentStoreCoordinator> coordinator;
  double busyTimeout = 0;
};

TEST_F(CoreDataTest, EveryAttributeTypeRoundTripsThroughAReopenedStore) {
  {
    auto context = open();
    auto item = context->insertNewObjectForEntityForName("Item");
    item->setValueForKey(number(-7), "count");
    item->setValueForKey(NSNumber::numberWithBool(true), "flag");
    item->setValueForKey(text("first"), "name");
    item->setValueForKey(NSDate::dateWithTimeIntervalSince1970(NSDate::kDistantPast + 100), "stamp");
    item->setValueForKey(NSURL::URLWithString("https://example.com/a b"), "link");
    item->setValueForKey(NSArray::make(), "tags");  // an empty list is not "no list"
    item->setValueForKey(NSArray::make({text("a"), text("b")}), "elements");
    auto other = context->insertNewObjectForEntityForName("Item");
    other->setValueForKey(text("second"), "name");
    ASSERT_TRUE(context->save());
    EXPECT_FALSE(item->objectID()->isTemporaryID());
  }
  auto context = open();
  auto items = fetch(*context);
  ASSERT_EQ(names(items), (std::vector<std::string>{"first", "second"}));
  auto& item = items[0];
  EXPECT_EQ(asA<NSNumber>(item->valueForKey("count"))->integerValue(), -7);
  EXPECT_TRUE(asA<NSNumber>(item->valueForKey("flag"))->boolValue());
  EXPECT_EQ(asA<NSDate>(item->valueForKey("stamp"))->timeIntervalSince1970(), NSDate::kDistantPast + 100);
  EXPECT_EQ(item->valueForKey("link"), nullptr);  // not a URL: nothing was stored
  ASSERT_NE(asA<NSArray>(item->valueForKey("tags")), nullptr);
  EXPECT_EQ(asA<NSArray>(item->valueForKey("tags"))->count(), 0u);
  EXPECT_EQ(items[1]->valueForKey("tags"), nullptr);
  EXPECT_EQ(texts(item->valueForKey("elements")), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(texts(items[1]->valueForKey("elements")).empty());
}

TEST_F(CoreDataTest, FetchesSeeUnsavedInsertsAndChangesButNotUnsavedDeletes) {
  auto context = open();
  for (const char* name : {"a", "b", "c", "d"}) {
    auto item = context->insertNewObjectForEntityForName("Item");
    item->setValueForKey(text(name), "name");
    item->setValueForKey(number(name[0] - 'a'), "count");
  }
  ASSERT_TRUE(context->save());
  auto items = fetch(*context);
  context->deleteObject(items[1]);
  EXPECT_EQ(items[1]->managedObjectContext(), nullptr);
  items[2]->setValueForKey(text("renamed"), "name");
  auto added = context->insertNewObjectForEntityForName("Item");
  added->setValueForKey(text("e"), "name");
  added->setValueForKey(number(9), "count");

  struct Case {
    std::vector<NSComparison> predicate;
    std::vector<NSSortDescriptor> sort;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases{
      {{}, {}, {"a", "renamed", "d", "e"}},
      {{NSComparison::equal("name", text("c"))}, {}, {}},
      {{NSComparison::equal("name", text("renamed"))}, {}, {"renamed"}},
      {{NSComparison::equal("name", text("b"))}, {}, {}},
      {{NSComparison::notIn("count", {number(0), number(3)})}, {}, {"renamed", "e"}},
      {{NSComparison::notEqual("count", number(9)), NSComparison::notEqual("name", text("a"))}, {}, {"renamed", "d"}},
      {{}, {{"count", false}}, {"e", "d", "renamed", "a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(names(fetch(*context, c.predicate, c.sort)), c.expected);
  // The same row is the same object.
  EXPECT_EQ(fetch(*context, {NSComparison::equal("name", text("a"))}).front(), items[0]);
  ASSERT_TRUE(context->save());
  EXPECT_EQ(names(open()->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName("Item")).value()),
            (std::vector<std::string>{"a", "renamed", "d", "e"}));
}

TEST_F(CoreDataTest, ListChangesWriteOnlyTheElementsThatChanged) {
  auto context = open();
  auto item = context->insertNewObjectForEntityForName("Item");
  ASSERT_TRUE(context->save());
  // Growing the list at its front costs the same few statements however long it is.
  std::vector<std::uint64_t> costs;
  for (int n = 0; n < 300; ++n) {
    auto list = asA<NSArray>(item->valueForKey("elements"))->copy();
    list->insertObject(text(std::to_string(n)), 0);
    item->setValueForKey(list, "elements");
    const auto before = coordinator->stepCount();
    ASSERT_TRUE(context->save());
    if (n == 10 || n == 299) costs.push_back(coordinator->stepCount() - before);
  }
  EXPECT_EQ(costs[0], costs[1]);
  // Moves, removals and insertions in the middle keep the order through a reopen.
  auto list = asA<NSArray>(item->valueForKey("elements"))->copy();
  auto moved = list->objectAtIndex(250);
  list->removeObjectAtIndex(250);
  list->insertObject(moved, 0);
  list->removeObjectAtIndex(5);
  list->insertObject(text("middle"), 100);
  for (int i = 0; i < 60; ++i) list->insertObject(text("squeeze" + std::to_string(i)), 101);  // exhausts the gap
  item->setValueForKey(list, "elements");
  ASSERT_TRUE(context->save());
  auto expected = texts(list);
  auto reopened = open();
  EXPECT_EQ(texts(fetch(*reopened).front()->valueForKey("elements")), expected);
}

TEST_F(CoreDataTest, AFailingStepLeavesEveryChangePendingAndALaterSaveWritesThem) {
  // Fail each statement of one mixed save in turn (insert, update, list change, delete), each
  // time on a store of its own.
  for (int n = 1;; ++n) {
    storeName = "failing-" + std::to_string(n) + ".sqlite";
    auto context = open();
    auto kept = context->insertNewObjectForEntityForName("Item");
    kept->setValueForKey(text("kept"), "name");
    kept->setValueForKey(NSArray::make({text("k0")}), "elements");
    auto doomed = context->insertNewObjectForEntityForName("Item");
    doomed->setValueForKey(text("doomed"), "name");
    ASSERT_TRUE(context->save());

    auto fresh = context->insertNewObjectForEntityForName("Item");
    fresh->setValueForKey(text("fresh"), "name");
    fresh->setValueForKey(NSArray::make({text("x"), text("y")}), "elements");
    kept->setValueForKey(NSArray::make({text("k1"), asA<NSArray>(kept->valueForKey("elements"))->firstObject()}), "elements");
    kept->setValueForKey(number(n), "count");
    context->deleteObject(doomed);
    coordinator->failStepAfter(n);
    const bool failed = !context->save();
    coordinator->failStepAfter(std::nullopt);
    if (failed) {
      EXPECT_TRUE(context->hasChanges());
      EXPECT_TRUE(fresh->isInserted());
      auto other = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
      other->persistentStoreCoordinator = coordinator;
      EXPECT_EQ(names(fetch(*other)), (std::vector<std::string>{"kept", "doomed"})) << "step " << n;
      ASSERT_TRUE(context->save()) << "step " << n;
    }
    auto reopened = open();
    auto items = fetch(*reopened);
    EXPECT_EQ(names(items), (std::vector<std::string>{"kept", "fresh"})) << "step " << n;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(texts(items[0]->valueForKey("elements")), (std::vector<std::string>{"k1", "k0"}));
    EXPECT_EQ(texts(items[1]->valueForKey("elements")), (std::vector<std::string>{"x", "y"}));
    if (!failed) {
      EXPECT_GT(n, 5);
      break;
    }
  }
}

TEST_F(CoreDataTest, TheStoreGetsAPrivateFolderAndFileInWriteAheadLogModeWithFullSync) {
  auto context = open();
  struct stat folder{}, file{};
  ASSERT_EQ(stat(storePath().parent_path().c_str(), &folder), 0);
  ASSERT_EQ(stat(storePath().c_str(), &file), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(rawQuery(storePath(), "PRAGMA journal_mode"), "wal");
}

TEST_F(CoreDataTest, MigrationsRunStepByStepAndAFailedOneLeavesTheStoreAsItIs) {
  {
    auto context = open();
    context->insertNewObjectForEntityForName("Item")->setValueForKey(text("old"), "name");
    ASSERT_TRUE(context->save());
  }
  auto migrated = open(itemModel(2, {{2, {"ALTER TABLE \"Item\" ADD COLUMN \"extra\" TEXT"}}}));
  auto items = fetch(*migrated);
  ASSERT_EQ(names(items), std::vector<std::string>{"old"});
  items[0]->setValueForKey(text("more"), "extra");
  ASSERT_TRUE(migrated->save());
  EXPECT_EQ(textOf(fetch(*open(itemModel(2))).front()->valueForKey("extra")), "more");

  std::shared_ptr<NSError> error;
  auto broken = open(itemModel(3, {{3, {"ALTER TABLE \"Nothing\" ADD COLUMN x"}}}), &error);
  ASSERT_NE(error, nullptr);
  EXPECT_FALSE(coordinator->movedAsideTo().has_value());
  EXPECT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::unavailable);
  EXPECT_EQ(rawQuery(storePath(), "PRAGMA user_version"), "2");
  EXPECT_EQ(names(fetch(*open(itemModel(2)))), std::vector<std::string>{"old"});
}

// What SQLite finds damaged is moved aside for a fresh start; a healthy file that cannot be
// used just now is left exactly as it is, and its collections come back once it can be. One
// that another connection holds says so, for the caller to add it again later.
TEST_F(CoreDataTest, OnlyADamagedStoreIsMovedAsideAndOneThatCannotBeUsedNowIsLeftAlone) {
  auto healthy = [&] {
    auto context = open();
    auto item = context->insertNewObjectForEntityForName("Item");
    item->setValueForKey(text("kept"), "name");
    std::vector<id> many;
    for (int n = 0; n < 200; ++n) many.push_back(text(std::string(100, char('a' + n % 26))));
    item->setValueForKey(NSArray::make(std::move(many)), "elements");
    ASSERT_TRUE(context->save());
    coordinator.reset();
  };
  auto scribble = [&](std::uintmax_t offset, std::size_t length) {
    std::fstream file(storePath(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file << std::string(length, '\xff');
  };
  sqlite3* holder = nullptr;
  auto hold = [&](const char* sql) {
    ASSERT_EQ(sqlite3_open(storePath().c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(holder);
  };
  struct Case {
    const char* name;
    std::function<void()> prepare;
    bool damaged;
    std::function<std::shared_ptr<NSManagedObjectModel>()> model = [] { return itemModel(); };
    std::function<void()> after = [] {};
    NSPersistentStoreCoordinator::StoreState state = NSPersistentStoreCoordinator::StoreState::unavailable;
  };
  const auto held = NSPersistentStoreCoordinator::StoreState::busy;
  const Case cases[] = {
      {"not a database", [&] { std::ofstream(storePath()) << std::string(4096, 'x'); }, true},
      {"cut short", [&] { healthy(); fs::resize_file(storePath(), fs::file_size(storePath()) / 2); }, true},
      {"a scribbled page", [&] { healthy(); scribble(4096, 4096); }, true},
      {"read-only", [&] { healthy(); fs::permissions(storePath(), fs::perms::owner_read); }, false, [] { return itemModel(); },
       [&] {
         EXPECT_EQ(fs::status(storePath()).permissions(), fs::perms::owner_read) << "not made writable behind the user's back";
         fs::permissions(storePath(), fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"locked by another process past the busy timeout",
       [&] {
         healthy();
         hold("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; UPDATE \"Item\" SET \"count\" = 1; COMMIT;");
       },
       false, [] { return itemModel(); }, [&] { sqlite3_close(holder); }, held},
      {"written by another process while a newer version migrates",
       [&] {
         healthy();
         hold("BEGIN IMMEDIATE; UPDATE \"Item\" SET \"count\" = 2;");
       },
       false, [] { return itemModel(2, {{2, {"ALTER TABLE \"Item\" ADD COLUMN \"extra\" TEXT"}}}); },
       [&] {
         sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
         sqlite3_close(holder);
       },
       held},
  };
  busyTimeout = 0.2;
  for (const auto& c : cases) {
    storeName = std::string(c.name) + ".sqlite";
    fs::create_directories(storePath().parent_path());
    c.prepare();
    std::ifstream before(storePath(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    std::shared_ptr<NSError> error;
    auto context = open(c.model(), &error);
    ASSERT_NE(error, nullptr) << c.name;
    if (c.damaged) {
      EXPECT_TRUE(coordinator->movedAsideTo().has_value()) << c.name;
      EXPECT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::open) << c.name;
      continue;
    }
    EXPECT_FALSE(coordinator->movedAsideTo().has_value()) << c.name;
    EXPECT_EQ(coordinator->storeState(), c.state) << c.name;
    EXPECT_EQ(error->code() == NSPersistentStoreCoordinator::NSPersistentStoreTimeoutError, c.state == held) << c.name;
    context->insertNewObjectForEntityForName("Item");
    EXPECT_FALSE(context->save()) << c.name;
    std::ifstream after(storePath(), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), bytes) << c.name;
    c.after();
    coordinator.reset();
    EXPECT_EQ(names(fetch(*open(c.model()))), std::vector<std::string>{"kept"}) << c.name;
  }
}

TEST_F(CoreDataTest, ADamagedStoreIsMovedAsideWithItsLogAndAFreshOneStarted) {
  fs::create_directories(storePath().parent_path());
  std::ofstream(storePath()) << std::string(4096, 'x');
  std::shared_ptr<NSError> error;
  auto context = open(itemModel(), &error);
  ASSERT_NE(error, nullptr);
  EXPECT_NE(error->localizedDescription().find("moved aside to test.sqlite.corrupt-"), std::string::npos);
  auto aside = coordinator->movedAsideTo().value();
  EXPECT_TRUE(aside.filename().string().starts_with("test.sqlite.corrupt-"));
  EXPECT_TRUE(fs::exists(aside));
  context->insertNewObjectForEntityForName("Item");
  EXPECT_TRUE(context->save());
}

// A store stopped without being closed (a crash, a kill) keeps its newest changes in its log,
// and a new store keeps even its schema there: its file alone holds no table. When that log
// cannot be read the store is damaged, not new: it is moved aside with its log instead of
// being started afresh over them. A log that can be read gives back what it holds.
TEST_F(CoreDataTest, AStoreWhoseLogCannotBeReadIsMovedAsideNotTakenForANewOne) {
  const auto folder = home() / "store";
  {
    auto context = open();
    context->insertNewObjectForEntityForName("Item")->setValueForKey(text("in the log"), "name");
    ASSERT_TRUE(context->save());
    for (const char* name : {"readable.sqlite", "damaged.sqlite"}) {
      for (const char* suffix : {"", "-wal"}) {
        fs::copy_file(storePath().string() + suffix, folder / (std::string(name) + suffix));
      }
    }
    coordinator.reset();
  }
  {
    std::fstream log(folder / "damaged.sqlite-wal", std::ios::in | std::ios::out | std::ios::binary);
    log << std::string(32, '\x5a');
  }
  storeName = "readable.sqlite";
  EXPECT_EQ(names(fetch(*open())), std::vector<std::string>{"in the log"});
  coordinator.reset();

  storeName = "damaged.sqlite";
  std::shared_ptr<NSError> error;
  auto context = open(itemModel(), &error);
  ASSERT_NE(error, nullptr) << "said once";
  EXPECT_NE(error->localizedDescription().find("moved aside"), std::string::npos) << error->localizedDescription();
  ASSERT_TRUE(coordinator->movedAsideTo().has_value());
  EXPECT_TRUE(fs::exists(coordinator->movedAsideTo()->string() + "-wal")) << "the log goes with it";
  EXPECT_TRUE(fetch(*context).empty());
  context->insertNewObjectForEntityForName("Item");
  EXPECT_TRUE(context->save()) << "a fresh store in its place";
}

// Until the store is closed its newest changes may live only in the log beside its file. A
// checkpoint copies them into the file without waiting for anyone, and closing does too and
// takes the log away: a copy of the file alone then holds everything.
TEST_F(CoreDataTest, ACheckpointAndClosingPutEverythingIntoTheStoresFile) {
  auto context = open();
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("first"), "name");
  ASSERT_TRUE(context->save());
  auto fileAlone = [&](const std::string& copy) {
    fs::copy_file(storePath(), home() / copy);
    return rawQuery(home() / copy, "SELECT group_concat(name) FROM \"Item\"");
  };
  EXPECT_EQ(fileAlone("saved.sqlite"), "<failed>") << "a new store's schema is still in its log";
  EXPECT_TRUE(coordinator->checkpoint());
  EXPECT_EQ(fileAlone("checkpointed.sqlite"), "first");
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("second"), "name");
  ASSERT_TRUE(context->save());
  coordinator->removePersistentStore();
  EXPECT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::none);
  EXPECT_FALSE(fs::exists(storePath().string() + "-wal"));
  EXPECT_EQ(fileAlone("closed.sqlite"), "first,second");
  context->insertNewObjectForEntityForName("Item");
  EXPECT_FALSE(context->save()) << "nothing is written once it is closed";
}

// A write never waits for a lock another program holds: it fails at once as a timeout,
// leaves every change pending and goes through once the lock is gone.
TEST_F(CoreDataTest, AWriteThatFindsTheStoreBusyFailsAsATimeoutAndKeepsItsChanges) {
  auto context = open();
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("kept"), "name");
  ASSERT_TRUE(context->save());
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(storePath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("later"), "name");
  auto saved = context->save();
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error()->code(), NSPersistentStoreCoordinator::NSPersistentStoreTimeoutError);
  EXPECT_TRUE(context->hasChanges());
  EXPECT_EQ(names(fetch(*context)), (std::vector<std::string>{"kept", "later"}));
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(context->save());
  coordinator.reset();
  EXPECT_EQ(names(fetch(*open())), (std::vector<std::string>{"kept", "later"}));
}

// Whatever sits under one of the store's own names without being a regular file (a link to a
// file of the user's, to an empty one or to nothing, a fifo, a folder) is never opened, read,
// written or followed: it is set aside under a name of its own, once and with one line, and
// the store goes on as if it were missing. Each opening runs in a process of its own that
// must end by itself, so that a fifo holding it up fails the case instead of hanging it.
TEST_F(CoreDataTest, WhatIsNotAFileUnderOneOfTheStoresNamesIsSetAsideOnceAndNeverOpened) {
  const fs::path notes = home() / "notes.txt", empty = home() / "empty.txt", nowhere = home() / "nowhere";
  std::ofstream(notes) << PlantedFiles::outsideText;
  std::ofstream{empty};
  for (const auto& outside : {notes, empty}) {
    fs::permissions(outside, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  }
  auto snapshot = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) + "|" +
           std::to_string(static_cast<int>(fs::status(file).permissions()));
  };
  const std::string notesBefore = snapshot(notes), emptyBefore = snapshot(empty);
  struct Kind {
    const char* name;
    std::function<void(const fs::path&)> plant;
    fs::file_type type;
    const char* said;
  };
  const Kind kinds[] = {
      {"a link to a file of the user's", [&](const fs::path& at) { PlantedFiles::plant(at, PlantedFiles::Kind::link, notes); },
       fs::file_type::symlink, "a symbolic link"},
      {"a link to an empty file", [&](const fs::path& at) { fs::create_symlink(empty, at); }, fs::file_type::symlink,
       "a symbolic link"},
      {"a link to nothing", [&](const fs::path& at) { fs::create_symlink(nowhere, at); }, fs::file_type::symlink,
       "a symbolic link"},
      {"a fifo", [](const fs::path& at) { PlantedFiles::plant(at, PlantedFiles::Kind::pipe, {}); }, fs::file_type::fifo,
       "a named pipe"},
      {"a folder", [](const fs::path& at) { PlantedFiles::plant(at, PlantedFiles::Kind::folder, {}); },
       fs::file_type::directory, "a folder"},
  };
  int n = 0;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    for (const auto& kind : kinds) {
      const std::string what = std::string(kind.name) + " as test.sqlite" + suffix;
      storeName = "case-" + std::to_string(++n) + "/test.sqlite";
      fs::create_directories(storePath().parent_path());
      const bool mainFile = std::string_view(suffix).empty();
      if (!mainFile) {
        auto context = open();
        context->insertNewObjectForEntityForName("Item")->setValueForKey(text("kept"), "name");
        ASSERT_TRUE(context->save()) << what;
        coordinator.reset();
      }
      const fs::path planted = storePath().string() + suffix;
      kind.plant(planted);
      const fs::path lines = home() / ("lines-" + std::to_string(n));
      const pid_t child = ChildProcess::start("opens-and-saves", {storePath().string(), lines.string()}, {});
      ASSERT_GT(child, 0);
      int status = 0;
      const bool ended = runUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 20.0);
      if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
      }
      EXPECT_TRUE(ended) << what << ": the opening never ended";
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what << ": status " << status;

      EXPECT_EQ(snapshot(notes), notesBefore) << what;
      EXPECT_EQ(snapshot(empty), emptyBefore) << what;
      EXPECT_FALSE(fs::exists(fs::symlink_status(nowhere))) << what << ": a link was followed";
      fs::remove(nowhere);
      EXPECT_EQ(rawQuery(storePath(), "SELECT group_concat(name) FROM \"Item\""), mainFile ? "added" : "kept,added") << what;
      const auto aside = PlantedFiles::setAsideCopies(planted);
      std::ifstream said(lines);
      std::vector<std::string> printed;
      for (std::string line; std::getline(said, line);) printed.push_back(line);
      if (aside.size() != 1 || printed.size() != 1) {
        ADD_FAILURE() << what << ": set aside as " << ::testing::PrintToString(aside) << ", saying "
                      << ::testing::PrintToString(printed);
        continue;
      }
      EXPECT_EQ(fs::symlink_status(aside[0]).type(), kind.type) << what << ": set aside as it was";
      EXPECT_NE(printed[0].find("test.sqlite" + std::string(suffix) + "\": it was " + kind.said), std::string::npos)
          << printed[0];
      EXPECT_NE(printed[0].find(aside[0].filename().string()), std::string::npos) << printed[0];

      // Set aside once: the next opening finds nothing to say.
      const auto before = printedLines().size();
      auto context = open();
      EXPECT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::open) << what;
      EXPECT_EQ(printedLines().size(), before) << what;
      coordinator.reset();
    }
  }
}

// SQLite, told to follow no link, refuses one anywhere in the store's name: a store whose
// folder is reached through a link (a home folder on another disk) opens all the same.
TEST_F(CoreDataTest, AStoreInAFolderReachedThroughALinkOpens) {
  fs::create_directories(home() / "elsewhere");
  fs::create_symlink(home() / "elsewhere", storePath().parent_path());
  auto context = open();
  ASSERT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::open);
  context->insertNewObjectForEntityForName("Item")->setValueForKey(text("here"), "name");
  ASSERT_TRUE(context->save());
  coordinator.reset();
  EXPECT_EQ(rawQuery(home() / "elsewhere" / "test.sqlite", "SELECT name FROM \"Item\""), "here");
  EXPECT_TRUE(fs::is_symlink(storePath().parent_path()));
}

TEST_F(CoreDataTest, ANewerStoreIsLeftUntouchedAndNothingIsSaved) {
  {
    auto context = open();
    context->insertNewObjectForEntityForName("Item")->setValueForKey(text("future"), "name");
    ASSERT_TRUE(context->save());
    coordinator.reset();
  }
  rawQuery(storePath(), "PRAGMA user_version=9");
  ASSERT_EQ(rawQuery(storePath(), "PRAGMA user_version"), "9");
  auto sizeBefore = fs::file_size(storePath());
  std::shared_ptr<NSError> error;
  auto context = open(itemModel(), &error);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(coordinator->storeState(), NSPersistentStoreCoordinator::StoreState::newerVersion);
  auto item = context->insertNewObjectForEntityForName("Item");
  item->setValueForKey(text("here"), "name");
  EXPECT_EQ(names(fetch(*context)), std::vector<std::string>{"here"});
  EXPECT_FALSE(context->save());
  EXPECT_TRUE(context->hasChanges());
  EXPECT_EQ(fs::file_size(storePath()), sizeBefore);
  EXPECT_FALSE(coordinator->movedAsideTo().has_value());
}

TEST_F(CoreDataTest, AFullDiskLeavesTheStoreAsItIs) {
  const auto folder = home() / "small-disk";
  fs::create_directories(folder);
  auto ending = ChildProcess::wait(ChildProcess::start("stores-on-a-full-disk", {folder.string()}, {}));
  if (ending.exited && ending.code == 77) GTEST_SKIP() << "no user namespace to mount a small file system in";
  EXPECT_TRUE(ending.exited && ending.code == 0) << ending.description();
}

// Run by the test below in a child process: saves forever, one element and one counter per save.
TEST_F(CoreDataTest, SaveLoopChild) {
  const char* path = std::getenv("GLIMDECK_SAVE_LOOP_STORE");
  const char* fd = std::getenv("GLIMDECK_SAVE_LOOP_FD");
  if (!path || !fd) GTEST_SKIP() << "runs only as the child of the kill test";
  auto coordinator = NSPersistentStoreCoordinator::make(itemModel());
  ASSERT_TRUE(coordinator->addPersistentStoreWithURL(NSURL::fileURLWithPath(path, false)));
  auto context = NSManagedObjectContext::make(NSManagedObjectContextConcurrencyType::mainQueue);
  context->persistentStoreCoordinator = coordinator;
  auto item = context->insertNewObjectForEntityForName("Item");
  for (std::int64_t n = 1;; ++n) {
    auto list = asA<NSArray>(item->valueForKey("elements"))->copy();
    list->addObject(text(std::to_string(n)));
    item->setValueForKey(list, "elements");
    item->setValueForKey(number(n), "count");
    if (!context->save()) std::_Exit(3);
    if (n == 50) (void)!write(std::atoi(fd), "x", 1);
  }
}

TEST_F(CoreDataTest, KillingAProcessInTheMiddleOfASaveLoopLeavesACommittedPrefix) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  fs::create_directories(storePath().parent_path());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipeFds[0]);
    setenv("GLIMDECK_SAVE_LOOP_STORE", storePath().c_str(), 1);
    setenv("GLIMDECK_SAVE_LOOP_FD", std::to_string(pipeFds[1]).c_str(), 1);
    execl("/proc/self/exe", "child", "--gtest_filter=CoreDataTest.SaveLoopChild", static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  close(pipeFds[1]);
  char signal = 0;
  ASSERT_EQ(read(pipeFds[0], &signal, 1), 1);
  close(pipeFds[0]);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  EXPECT_EQ(rawQuery(storePath(), "PRAGMA integrity_check"), "ok");

  auto reopened = open();
  auto items = fetch(*reopened);
  ASSERT_EQ(items.size(), 1u);
  const auto count = asA<NSNumber>(items[0]->valueForKey("count"))->integerValue();
  EXPECT_GE(count, 50);
  std::vector<std::string> expected;
  for (std::int64_t n = 1; n <= count; ++n) expected.push_back(std::to_string(n));
  EXPECT_EQ(texts(items[0]->valueForKey("elements")), expected);
}

}  // namespace
