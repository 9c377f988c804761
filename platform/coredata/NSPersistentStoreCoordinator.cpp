#include "platform/coredata/NSPersistentStoreCoordinator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OwnFiles.h"

namespace fs = std::filesystem;

namespace {

// A log's header alone (SQLite's write-ahead-log format); anything beyond it is frames.
constexpr std::uintmax_t kLogHeaderSize = 32;

std::string whereClause(const NSEntityDescription& entity, const NSFetchRequest& request,
                        std::vector<StoreValue>& bindings, bool& impossible) {
  std::string where;
  for (const auto& comparison : request.predicate) {
    auto index = entity.indexOfAttribute(comparison.key);
    if (!index || entity.attributes()[*index].isOrdered()) {
      impossible = true;
      return {};
    }
    const auto& attribute = entity.attributes()[*index];
    std::vector<StoreValue> values;
    for (const auto& value : comparison.values) {
      auto stored = attribute.storeValue(value);
      if (!stored) {
        impossible = true;
        return {};
      }
      values.push_back(std::move(*stored));
    }
    std::string column = sqlIdentifier(attribute.name);
    std::string clause;
    switch (comparison.op) {
      case NSComparison::Operator::equal:
      case NSComparison::Operator::notEqual:
        if (values.size() != 1) {
          impossible = true;
          return {};
        }
        clause = column + (comparison.op == NSComparison::Operator::equal ? " IS ?" : " IS NOT ?");
        bindings.push_back(values.front());
        break;
      case NSComparison::Operator::in:
      case NSComparison::Operator::notIn: {
        if (values.empty()) {
          if (comparison.op == NSComparison::Operator::in) impossible = true;
          continue;
        }
        std::string marks;
        for (auto& value : values) {
          marks += marks.empty() ? "?" : ", ?";
          bindings.push_back(std::move(value));
        }
        // A NULL column is outside any list: NOT IN would leave it out.
        clause = comparison.op == NSComparison::Operator::in ? column + " IN (" + marks + ")"
                                                             : "(" + column + " IS NULL OR " + column + " NOT IN (" + marks + "))";
        break;
      }
    }
    where += (where.empty() ? " WHERE " : " AND ") + clause;
  }
  return where;
}

}  // namespace

std::shared_ptr<NSPersistentStoreCoordinator> NSPersistentStoreCoordinator::make(std::shared_ptr<NSManagedObjectModel> model) {
  return create(std::move(model));
}

NSPersistentStoreCoordinator::~NSPersistentStoreCoordinator() { close(); }

std::shared_ptr<NSError> NSPersistentStoreCoordinator::error(std::int64_t code, const std::string& what) const {
  std::string detail = what;
  if (db_ != nullptr && sqlite3_errcode(db_) != SQLITE_OK) detail += ": " + std::string(sqlite3_errmsg(db_));
  auto info = NSDictionary::make({{std::string(NSError::NSLocalizedDescriptionKey), NSString::make(detail)},
                                  {"NSFilePath", NSString::make(path_.string())}});
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), code, info);
}

std::shared_ptr<NSError> NSPersistentStoreCoordinator::writeError(int code, const std::string& what) const {
  const int primary = code & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    return error(NSPersistentStoreTimeoutError, what + ": another connection holds the store");
  }
  return error(NSPersistentStoreSaveError, what + " (" + std::to_string(code) + ")");
}

void NSPersistentStoreCoordinator::setBusyTimeout(double seconds) {
  busyTimeout_ = seconds;
  if (db_ != nullptr) sqlite3_busy_timeout(db_, static_cast<int>(std::max(0.0, seconds) * 1000));
}

void NSPersistentStoreCoordinator::removePersistentStore() { close(); }

void NSPersistentStoreCoordinator::keepLogAtClose() {
  // The last connection to close deletes the log, even one it could not read.
  int persist = 1;
  if (db_ != nullptr) sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
}

bool NSPersistentStoreCoordinator::checkpoint() {
  if (db_ == nullptr) return false;
  int logFrames = 0, copied = 0;
  // Passive: it copies what no reader still needs from the log and never waits (nor calls
  // the busy handler); what is left goes with a later one.
  if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied) != SQLITE_OK) return false;
  return copied == logFrames;
}

void NSPersistentStoreCoordinator::close() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
  state_ = StoreState::none;
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::addPersistentStoreWithURL(const std::shared_ptr<NSURL>& url) {
  close();
  movedAside_.reset();
  if (!url || !url->isFileURL()) return std::unexpected(error(NSPersistentStoreOpenError, "the store URL is not a file URL"));
  path_ = url->path();
  std::error_code ignored;
  // A folder that cannot be made shows itself when the store cannot be opened in it.
  (void)NSFileManager::defaultManager()->createPrivateDirectoryAtPath(path_.parent_path());
  auto opened = open();
  if (opened || state_ == StoreState::newerVersion) return opened;
  if (busy_) {
    state_ = StoreState::busy;
    return std::unexpected(error(NSPersistentStoreTimeoutError, opened.error()->localizedDescription() +
                                                                    ": another connection holds the store"));
  }
  if (!damaged_) {
    // Full, read-only or unopenable: a passing state of a healthy file, which another
    // process may be using. Moving it aside would lose the user's collections.
    state_ = StoreState::unavailable;
    return std::unexpected(error(NSPersistentStoreOpenError, opened.error()->localizedDescription() +
                                                                 "; the store is left as it is and nothing is saved"));
  }
  // Keep the damaged file and its log for whoever wants to look at them, and start afresh.
  fs::path aside = path_;
  aside += ".corrupt-" + OwnFiles::stamp();
  for (int n = 1; fs::exists(aside, ignored); ++n) {
    aside = path_;
    aside += ".corrupt-" + OwnFiles::stamp() + "-" + std::to_string(n);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) {
    fs::path from = path_;
    from += suffix;
    fs::path to = aside;
    to += suffix;
    if (fs::exists(from, ignored)) fs::rename(from, to, ignored);
  }
  auto fresh = open();
  if (!fresh) {
    if (state_ != StoreState::newerVersion) state_ = busy_ ? StoreState::busy : StoreState::unavailable;
    return fresh;
  }
  movedAside_ = aside;
  auto reason = opened.error()->localizedDescription();
  return std::unexpected(error(NSPersistentStoreOpenError, "the store could not be opened (" + reason +
                                                               ") and was moved aside to " + aside.filename().string()));
}

bool NSPersistentStoreCoordinator::setAsideWhatIsNotAFile(std::shared_ptr<NSError>& failure) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    fs::path own = path_;
    own += suffix;
    // Looked at, never opened nor followed; set aside as every other file of the
    // application's own folders is.
    if (!OwnFiles::describeUnfitFile(own)) continue;
    if (!OwnFiles::setAside(own, "a file of the store") && OwnFiles::describeUnfitFile(own)) {
      failure = error(NSPersistentStoreOpenError,
                      own.filename().string() + " is not a file and cannot be set aside; the store is left as it is");
      return false;
    }
  }
  return true;
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::open() {
  close();
  damaged_ = false;
  busy_ = false;
  std::shared_ptr<NSError> planted;
  if (!setAsideWhatIsNotAFile(planted)) return std::unexpected(planted);
  // Made, or found, as a plain file: a link or a fifo someone put there since is refused.
  // Opened to read, so that a file its owner made read-only opens too.
  struct stat file {};
  auto made = OwnFiles::openPlainFile(path_, O_RDONLY | O_CREAT, 0600, &file);
  if (!made) {
    return std::unexpected(error(NSPersistentStoreOpenError, made.error().notPlainFile ? "the store file is not a file"
                                                                                        : "cannot create the store file"));
  }
  // Nobody else reads it; but a file its owner made read-only stays read-only, and is only
  // read (even by a process that could write it anyway).
  const bool readOnly = (file.st_mode & S_IWUSR) == 0;
  if (!readOnly && (file.st_mode & 0177) != 0) ::fchmod(*made, file.st_mode & 0600);
  ::close(*made);
  // What the log beside the file holds, looked at before SQLite reads it (and writes over it).
  fs::path log = path_;
  log += "-wal";
  std::error_code noLog;
  const std::uintmax_t logSize = fs::file_size(log, noLog);
  const bool logHoldsFrames = !noLog && logSize > kLogHeaderSize;
  // SQLite refuses a link anywhere in the name it is given: the folders above are resolved
  // first (a home folder reached through a link is the user's own), the file itself never.
  std::error_code unresolved;
  fs::path resolved = fs::canonical(path_.parent_path(), unresolved) / path_.filename();
  if (unresolved) resolved = path_;
  if (sqlite3_open_v2(resolved.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
    auto failure = error(NSPersistentStoreOpenError, "cannot open the store");
    close();
    return std::unexpected(failure);
  }
  sqlite3_busy_timeout(db_, static_cast<int>(std::max(0.0, busyTimeout_) * 1000));
  // Only SQLite's own verdict on the file counts as damage; a lock, a full disk or a
  // read-only file says nothing about what it holds.
  auto fail = [this](const std::string& what, bool damaged = false) {
    const int code = sqlite3_errcode(db_) & 0xff;
    damaged_ = damaged || code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
    busy_ = !damaged_ && (code == SQLITE_BUSY || code == SQLITE_LOCKED);
    auto failure = error(NSPersistentStoreOpenError, what);
    if (damaged_) keepLogAtClose();
    close();
    return std::unexpected(failure);
  };
  if (readOnly || sqlite3_db_readonly(db_, "main") == 1) return fail("the store is read-only");
  // The version first, before anything writes: a newer store is left as it is.
  std::shared_ptr<NSError> failure;
  auto* versionStatement = statement("PRAGMA user_version", failure);
  if (!versionStatement || step(versionStatement) != SQLITE_ROW) return fail("cannot read the store's version");
  const int version = sqlite3_column_int(versionStatement, 0);
  sqlite3_reset(versionStatement);
  if (version > model_->version()) {
    auto newer = error(NSPersistentStoreIncompatibleVersionHashError,
                       "the store has schema version " + std::to_string(version) + ", newer than this application's " +
                           std::to_string(model_->version()));
    close();
    state_ = StoreState::newerVersion;
    return std::unexpected(newer);
  }
  auto* check = statement("PRAGMA quick_check", failure);
  if (!check || step(check) != SQLITE_ROW) return fail("cannot check the store");
  std::string verdict = reinterpret_cast<const char*>(sqlite3_column_text(check, 0) ? sqlite3_column_text(check, 0) : (const unsigned char*)"");
  sqlite3_reset(check);
  if (verdict != "ok") return fail("the store is damaged: " + verdict, true);
  {
    auto* mode = statement("PRAGMA journal_mode=WAL", failure);
    if (!mode || step(mode) != SQLITE_ROW) return fail("cannot switch to the write-ahead log");
    sqlite3_reset(mode);
  }
  if (!execute("PRAGMA synchronous=FULL")) return fail("cannot set full sync");
  if (version == 0) {
    auto* tables = statement("SELECT count(*) FROM sqlite_master", failure);
    if (!tables || step(tables) != SQLITE_ROW) return fail("cannot read the store's schema");
    const int count = sqlite3_column_int(tables, 0);
    sqlite3_reset(tables);
    if (count != 0) return fail("the store holds tables of no known version", true);
    // Not a new store: its schema and all else were in the log, and SQLite found nothing it
    // could read there. Starting afresh would write over them.
    if (logHoldsFrames) return fail("the store's file holds no schema and its log cannot be read", true);
    if (!execute("BEGIN IMMEDIATE")) return fail("cannot create the schema");
    for (const auto& sql : model_->schemaStatements()) {
      if (!execute(sql)) {
        execute("ROLLBACK");
        return fail("cannot create the schema");
      }
    }
    if (!execute("PRAGMA user_version=" + std::to_string(model_->version())) || !execute("COMMIT")) {
      execute("ROLLBACK");
      return fail("cannot create the schema");
    }
  } else {
    for (int target = version + 1; target <= model_->version(); ++target) {
      const NSMigrationStep* found = nullptr;
      for (const auto& migration : model_->migrations()) {
        if (migration.toVersion == target) found = &migration;
      }
      if (!found) return fail("no migration to version " + std::to_string(target));
      if (!execute("BEGIN IMMEDIATE")) return fail("cannot migrate");
      bool ok = true;
      for (const auto& sql : found->statements) ok = ok && execute(sql).has_value();
      ok = ok && execute("PRAGMA user_version=" + std::to_string(target)).has_value();
      ok = ok && execute("COMMIT").has_value();
      if (!ok) {
        auto migrationFailure = error(NSPersistentStoreOpenError, "the migration to version " + std::to_string(target) + " failed");
        const int code = sqlite3_errcode(db_) & 0xff;
        damaged_ = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
        busy_ = code == SQLITE_BUSY || code == SQLITE_LOCKED;
        execute("ROLLBACK");
        if (damaged_) keepLogAtClose();
        close();
        return std::unexpected(migrationFailure);
      }
    }
  }
  state_ = StoreState::open;
  return {};
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::execute(const std::string& sql) {
  std::shared_ptr<NSError> failure;
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
    return std::unexpected(error(NSPersistentStoreSaveError, "cannot prepare " + sql));
  }
  int code = SQLITE_ROW;
  while (code == SQLITE_ROW) code = step(prepared);
  sqlite3_finalize(prepared);
  if (code != SQLITE_DONE) return std::unexpected(error(NSPersistentStoreSaveError, "cannot run " + sql));
  return {};
}

sqlite3_stmt* NSPersistentStoreCoordinator::statement(const std::string& sql, std::shared_ptr<NSError>& failure) {
  if (db_ == nullptr) {
    failure = error(NSPersistentStoreNotAvailableError, "there is no store");
    return nullptr;
  }
  auto found = statements_.find(sql);
  if (found != statements_.end()) {
    sqlite3_reset(found->second);
    sqlite3_clear_bindings(found->second);
    return found->second;
  }
  sqlite3_stmt* prepared = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &prepared, nullptr) != SQLITE_OK) {
    failure = error(NSPersistentStoreSaveError, "cannot prepare a statement");
    return nullptr;
  }
  statements_.emplace(sql, prepared);
  return prepared;
}

int NSPersistentStoreCoordinator::step(sqlite3_stmt* statement) {
  ++steps_;
  if (failCountdown_ && --*failCountdown_ <= 0) {
    failCountdown_.reset();
    sqlite3_reset(statement);
    return SQLITE_IOERR;
  }
  return sqlite3_step(statement);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::stepToDone(sqlite3_stmt* statement) {
  int code = step(statement);
  sqlite3_reset(statement);
  if (code != SQLITE_DONE) return std::unexpected(writeError(code, "a write failed"));
  return {};
}

void NSPersistentStoreCoordinator::bind(sqlite3_stmt* statement, int index, const StoreValue& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) sqlite3_bind_null(statement, index);
        else if constexpr (std::is_same_v<T, std::int64_t>) sqlite3_bind_int64(statement, index, v);
        else if constexpr (std::is_same_v<T, double>) sqlite3_bind_double(statement, index, v);
        else if constexpr (std::is_same_v<T, std::string>)
          sqlite3_bind_text(statement, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        else sqlite3_bind_blob(statement, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
      },
      value);
}

StoreValue NSPersistentStoreCoordinator::column(sqlite3_stmt* statement, int index) {
  switch (sqlite3_column_type(statement, index)) {
    case SQLITE_INTEGER: return std::int64_t{sqlite3_column_int64(statement, index)};
    case SQLITE_FLOAT: return sqlite3_column_double(statement, index);
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
      return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, index));
      return std::vector<std::uint8_t>(bytes, bytes + sqlite3_column_bytes(statement, index));
    }
    default: return std::monostate{};
  }
}

std::expected<std::vector<NSPersistentStoreCoordinator::Row>, std::shared_ptr<NSError>> NSPersistentStoreCoordinator::fetchRows(
    const NSEntityDescription& entity, const NSFetchRequest& request) {
  std::vector<Row> rows;
  if (db_ == nullptr) return std::unexpected(error(NSPersistentStoreNotAvailableError, "there is no store"));
  std::vector<StoreValue> bindings;
  bool impossible = false;
  std::string where = whereClause(entity, request, bindings, impossible);
  if (impossible) return rows;
  std::string columns = "Z_PK";
  std::vector<std::size_t> scalar;
  for (std::size_t i = 0; i < entity.attributes().size(); ++i) {
    if (entity.attributes()[i].isOrdered()) continue;
    columns += ", " + sqlIdentifier(entity.attributes()[i].name);
    scalar.push_back(i);
  }
  std::shared_ptr<NSError> failure;
  auto* select = statement("SELECT " + columns + " FROM " + sqlIdentifier(entity.tableName()) + where + " ORDER BY Z_PK", failure);
  if (!select) return std::unexpected(failure);
  for (std::size_t i = 0; i < bindings.size(); ++i) bind(select, static_cast<int>(i + 1), bindings[i]);
  int code;
  while ((code = step(select)) == SQLITE_ROW) {
    Row row;
    row.rowid = sqlite3_column_int64(select, 0);
    row.values.resize(entity.attributes().size());
    for (std::size_t c = 0; c < scalar.size(); ++c) row.values[scalar[c]] = column(select, static_cast<int>(c + 1));
    rows.push_back(std::move(row));
  }
  sqlite3_reset(select);
  if (code != SQLITE_DONE) return std::unexpected(error(NSPersistentStoreSaveError, "a fetch failed"));
  return rows;
}

std::expected<std::vector<NSPersistentStoreCoordinator::ChildRow>, std::shared_ptr<NSError>>
NSPersistentStoreCoordinator::fetchChildren(const NSEntityDescription& entity, const NSAttributeDescription& attribute,
                                            std::int64_t owner) {
  std::shared_ptr<NSError> failure;
  auto* select = statement("SELECT Z_PK, position, data FROM " + sqlIdentifier(entity.childTableName(attribute)) +
                               " WHERE owner = ? ORDER BY position, Z_PK",
                           failure);
  if (!select) return std::unexpected(failure);
  sqlite3_bind_int64(select, 1, owner);
  std::vector<ChildRow> rows;
  int code;
  while ((code = step(select)) == SQLITE_ROW) {
    ChildRow row;
    row.rowid = sqlite3_column_int64(select, 0);
    row.position = sqlite3_column_double(select, 1);
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(select, 2));
    row.data.assign(bytes, bytes + sqlite3_column_bytes(select, 2));
    rows.push_back(std::move(row));
  }
  sqlite3_reset(select);
  if (code != SQLITE_DONE) return std::unexpected(error(NSPersistentStoreSaveError, "a fetch failed"));
  return rows;
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::beginTransaction() {
  if (db_ == nullptr) return std::unexpected(error(NSPersistentStoreNotAvailableError, "there is no store to save to"));
  std::shared_ptr<NSError> failure;
  auto* begin = statement("BEGIN IMMEDIATE", failure);
  if (!begin) return std::unexpected(failure);
  return stepToDone(begin);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::commitTransaction() {
  std::shared_ptr<NSError> failure;
  auto* commit = statement("COMMIT", failure);
  if (!commit) return std::unexpected(failure);
  return stepToDone(commit);
}

void NSPersistentStoreCoordinator::rollbackTransaction() {
  if (db_ != nullptr && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::expected<std::int64_t, std::shared_ptr<NSError>> NSPersistentStoreCoordinator::insertRow(
    const NSEntityDescription& entity, const std::vector<std::size_t>& attributes, const std::vector<StoreValue>& values) {
  std::string columns, marks;
  for (auto index : attributes) {
    columns += (columns.empty() ? "" : ", ") + sqlIdentifier(entity.attributes()[index].name);
    marks += marks.empty() ? "?" : ", ?";
  }
  std::string sql = "INSERT INTO " + sqlIdentifier(entity.tableName()) +
                    (columns.empty() ? " DEFAULT VALUES" : " (" + columns + ") VALUES (" + marks + ")");
  std::shared_ptr<NSError> failure;
  auto* insert = statement(sql, failure);
  if (!insert) return std::unexpected(failure);
  for (std::size_t i = 0; i < values.size(); ++i) bind(insert, static_cast<int>(i + 1), values[i]);
  if (auto done = stepToDone(insert); !done) return std::unexpected(done.error());
  return sqlite3_last_insert_rowid(db_);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::updateRow(const NSEntityDescription& entity,
                                                                             std::int64_t rowid,
                                                                             const std::vector<std::size_t>& attributes,
                                                                             const std::vector<StoreValue>& values) {
  if (attributes.empty()) return {};
  std::string sets;
  for (auto index : attributes) sets += (sets.empty() ? "" : ", ") + sqlIdentifier(entity.attributes()[index].name) + " = ?";
  std::shared_ptr<NSError> failure;
  auto* update = statement("UPDATE " + sqlIdentifier(entity.tableName()) + " SET " + sets + " WHERE Z_PK = ?", failure);
  if (!update) return std::unexpected(failure);
  for (std::size_t i = 0; i < values.size(); ++i) bind(update, static_cast<int>(i + 1), values[i]);
  sqlite3_bind_int64(update, static_cast<int>(values.size() + 1), rowid);
  return stepToDone(update);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::deleteRow(const NSEntityDescription& entity,
                                                                             std::int64_t rowid) {
  std::shared_ptr<NSError> failure;
  for (const auto& attribute : entity.attributes()) {
    if (!attribute.isOrdered()) continue;
    auto* children = statement("DELETE FROM " + sqlIdentifier(entity.childTableName(attribute)) + " WHERE owner = ?", failure);
    if (!children) return std::unexpected(failure);
    sqlite3_bind_int64(children, 1, rowid);
    if (auto done = stepToDone(children); !done) return done;
  }
  auto* remove = statement("DELETE FROM " + sqlIdentifier(entity.tableName()) + " WHERE Z_PK = ?", failure);
  if (!remove) return std::unexpected(failure);
  sqlite3_bind_int64(remove, 1, rowid);
  return stepToDone(remove);
}

std::expected<std::int64_t, std::shared_ptr<NSError>> NSPersistentStoreCoordinator::insertChild(
    const NSEntityDescription& entity, const NSAttributeDescription& attribute, std::int64_t owner, double position,
    const std::vector<std::uint8_t>& data) {
  std::shared_ptr<NSError> failure;
  auto* insert = statement("INSERT INTO " + sqlIdentifier(entity.childTableName(attribute)) +
                               " (owner, position, data) VALUES (?, ?, ?)",
                           failure);
  if (!insert) return std::unexpected(failure);
  sqlite3_bind_int64(insert, 1, owner);
  sqlite3_bind_double(insert, 2, position);
  sqlite3_bind_blob(insert, 3, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
  if (auto done = stepToDone(insert); !done) return std::unexpected(done.error());
  return sqlite3_last_insert_rowid(db_);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::moveChild(const NSEntityDescription& entity,
                                                                             const NSAttributeDescription& attribute,
                                                                             std::int64_t rowid, double position) {
  std::shared_ptr<NSError> failure;
  auto* update = statement("UPDATE " + sqlIdentifier(entity.childTableName(attribute)) + " SET position = ? WHERE Z_PK = ?", failure);
  if (!update) return std::unexpected(failure);
  sqlite3_bind_double(update, 1, position);
  sqlite3_bind_int64(update, 2, rowid);
  return stepToDone(update);
}

NSPersistentStoreCoordinator::Result NSPersistentStoreCoordinator::deleteChild(const NSEntityDescription& entity,
                                                                               const NSAttributeDescription& attribute,
                                                                               std::int64_t rowid) {
  std::shared_ptr<NSError> failure;
  auto* remove = statement("DELETE FROM " + sqlIdentifier(entity.childTableName(attribute)) + " WHERE Z_PK = ?", failure);
  if (!remove) return std::unexpected(failure);
  sqlite3_bind_int64(remove, 1, rowid);
  return stepToDone(remove);
}
