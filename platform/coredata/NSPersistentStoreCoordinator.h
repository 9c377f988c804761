#pragma once
// Holds the one SQLite store of a model and does its reading and writing. Opening creates
// the folder (0700) and the file (0600), runs in write-ahead-log mode with full sync, checks
// the file and brings its schema to the model's version, one transaction per step (PRAGMA
// user_version counts the steps). Only a file SQLite finds damaged (corrupt, not a database,
// failing its quick check, or holding tables of no known version) is moved aside as
// "<name>.corrupt-<time>" (with its -wal and -shm) and a fresh store takes its place. A file
// that merely cannot be used now (locked by another process past the busy timeout, a full
// disk, read-only, unopenable) and a file of a newer schema are left untouched: the
// coordinator stays without a store, so that nothing is read from or written to it.
// A file that holds no schema beside a log that holds data is damaged too: its schema and
// everything else live in the log, which SQLite could not read (a new store has no log).
// A file that another connection keeps from being read or written while it opens leaves the
// coordinator `busy`, for the caller to add the store again later.
//
// The store's own files (the file, its log, the log's index and the rollback journal) are
// used only when they are regular files, and none is opened through a link or in a way that
// could block: anything else under one of their names (a link, a fifo, a folder) is set
// aside as "<name>.set-aside-<time>" (OwnFiles.h) with one line saying so, and the store goes
// on as if it were missing.
//
// Nothing waits for another connection's lock: a write that finds the store busy fails at
// once with NSPersistentStoreTimeoutError and changes nothing, for the caller to try again.
// Until the store is closed (or checkpointed) its newest changes may live in the log beside
// the file; closing folds them into the file and removes the log.

#include <sqlite3.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"

class NSPersistentStoreCoordinator : public NSObject {
 public:
  // `unavailable`: the file is there but could not be used this time; it is left as it is.
  // `busy`: another connection held a lock that opening needed; nothing was read or changed.
  enum class StoreState { none, open, newerVersion, unavailable, busy };
  // Error codes of NSCocoaErrorDomain the store reports.
  static constexpr std::int64_t NSPersistentStoreOpenError = 134080;
  static constexpr std::int64_t NSPersistentStoreIncompatibleVersionHashError = 134100;
  static constexpr std::int64_t NSPersistentStoreSaveError = 134030;
  static constexpr std::int64_t NSPersistentStoreNotAvailableError = 134060;
  // Another connection holds the lock a write needs.
  static constexpr std::int64_t NSPersistentStoreTimeoutError = 134090;

  using Result = std::expected<void, std::shared_ptr<NSError>>;
  struct Row {
    std::int64_t rowid = 0;
    std::vector<StoreValue> values;  // one per attribute; ordered attributes hold NULL
  };
  struct ChildRow {
    std::int64_t rowid = 0;
    double position = 0;
    std::vector<std::uint8_t> data;
  };

  static std::shared_ptr<NSPersistentStoreCoordinator> make(std::shared_ptr<NSManagedObjectModel> model);
  ~NSPersistentStoreCoordinator() override;

  // Opens (or creates) the store file. A damaged file is moved aside and a fresh store
  // started; the error then says where it went (the store is open all the same). A newer
  // schema, or a file that cannot be used now, gives an error and leaves the coordinator
  // without a store and the file untouched; a file another connection holds gives an error
  // of code NSPersistentStoreTimeoutError and the state `busy`. Adding it again retries.
  Result addPersistentStoreWithURL(const std::shared_ptr<NSURL>& url);
  // How long opening and each write wait for a lock another connection holds (seconds);
  // none unless set, before or after the store is added.
  void setBusyTimeout(double seconds);
  // Closes the store: SQLite folds the log into the file and removes it (unless another
  // connection still has the store open). The coordinator is then without a store.
  void removePersistentStore();
  // Copies what the log holds into the store's file as far as that can be done without
  // waiting for anyone; the log stays for the next writes. True when the file then holds
  // every committed change.
  bool checkpoint();
  StoreState storeState() const { return state_; }
  // Where a damaged store was moved at opening, if it was.
  const std::optional<std::filesystem::path>& movedAsideTo() const { return movedAside_; }
  const std::shared_ptr<NSManagedObjectModel>& managedObjectModel() const { return model_; }

  // --- Reading
  std::expected<std::vector<Row>, std::shared_ptr<NSError>> fetchRows(const NSEntityDescription& entity,
                                                                      const NSFetchRequest& request);
  std::expected<std::vector<ChildRow>, std::shared_ptr<NSError>> fetchChildren(const NSEntityDescription& entity,
                                                                              const NSAttributeDescription& attribute,
                                                                              std::int64_t owner);

  // --- Writing, inside one transaction
  Result beginTransaction();
  Result commitTransaction();
  void rollbackTransaction();
  std::expected<std::int64_t, std::shared_ptr<NSError>> insertRow(const NSEntityDescription& entity,
                                                                  const std::vector<std::size_t>& attributes,
                                                                  const std::vector<StoreValue>& values);
  Result updateRow(const NSEntityDescription& entity, std::int64_t rowid, const std::vector<std::size_t>& attributes,
                   const std::vector<StoreValue>& values);
  Result deleteRow(const NSEntityDescription& entity, std::int64_t rowid);
  std::expected<std::int64_t, std::shared_ptr<NSError>> insertChild(const NSEntityDescription& entity,
                                                                    const NSAttributeDescription& attribute,
                                                                    std::int64_t owner, double position,
                                                                    const std::vector<std::uint8_t>& data);
  Result moveChild(const NSEntityDescription& entity, const NSAttributeDescription& attribute, std::int64_t rowid,
                   double position);
  Result deleteChild(const NSEntityDescription& entity, const NSAttributeDescription& attribute, std::int64_t rowid);

  // Makes the `n`th SQLite step from now fail as an I/O error (once); nothing stops it.
  // For tests of failure paths against a real store.
  void failStepAfter(std::optional<int> n) { failCountdown_ = n; }
  // How many statements have been stepped since the store opened.
  std::uint64_t stepCount() const { return steps_; }

  GLIMDECK_OBJECT(NSPersistentStoreCoordinator)

 private:
  explicit NSPersistentStoreCoordinator(std::shared_ptr<NSManagedObjectModel> model) : model_(std::move(model)) {}
  // Opens the file at `path_` and brings it to the model's version.
  Result open();
  void close();
  // A damaged store is moved aside with its log: closing must leave the log as it is.
  void keepLogAtClose();
  std::shared_ptr<NSError> error(std::int64_t code, const std::string& what) const;
  // The error of a write that ended with the SQLite result `code`.
  std::shared_ptr<NSError> writeError(int code, const std::string& what) const;
  Result execute(const std::string& sql);
  // A cached prepared statement, reset and with its bindings cleared.
  sqlite3_stmt* statement(const std::string& sql, std::shared_ptr<NSError>& failure);
  void bind(sqlite3_stmt* statement, int index, const StoreValue& value);
  StoreValue column(sqlite3_stmt* statement, int index);
  int step(sqlite3_stmt* statement);
  Result stepToDone(sqlite3_stmt* statement);

  std::shared_ptr<NSManagedObjectModel> model_;
  std::filesystem::path path_;
  double busyTimeout_ = 0;
  sqlite3* db_ = nullptr;
  StoreState state_ = StoreState::none;
  std::optional<std::filesystem::path> movedAside_;
  // Renames whatever under one of the store's own names is not a regular file, saying so in
  // one line; false (with `failure` set) when one of them cannot be renamed.
  bool setAsideWhatIsNotAFile(std::shared_ptr<NSError>& failure);
  // Whether the last failed opening found the file damaged (rather than unusable for now),
  // or held by another connection.
  bool damaged_ = false;
  bool busy_ = false;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  std::optional<int> failCountdown_;
  std::uint64_t steps_ = 0;
};
