#include "standin/StandinStateFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "standin/TextHelpers.h"

namespace fs = std::filesystem;

// Named, not anonymous: the stand-in's sources are compiled in batches, and their anonymous
// helpers would meet these.
namespace statefile {

// The file's layout; a file of another one is not read.
constexpr std::int64_t kFormat = 1;
// How long a failed save waits before it is tried again, when nothing changes meanwhile.
constexpr auto kRetryAfter = std::chrono::seconds(2);
// Upload ids are decimal numbers; they name the GIFs' files.
constexpr std::size_t kLongestUploadId = 18;
// Bounds far above what a development stand-in is told, so that memory never grows with
// whatever file was found under these names: the state itself, and one uploaded GIF.
constexpr OwnFiles::Bounds kStateBounds{std::uint64_t{256} << 20};
constexpr OwnFiles::Bounds kUploadBounds{std::uint64_t{64} << 20};

std::optional<std::int64_t> uploadNumber(std::string_view id) {
  auto number = standin::wholeNumber(id);
  if (!number || *number < 0 || id.size() > kLongestUploadId) return std::nullopt;
  return number;
}

std::string gifName(const std::string& uploadId) { return uploadId + ".gif"; }

bool looksLikeGif(std::string_view bytes) { return bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a"); }

// The name of the file a save cut short was writing when `name` is what it left: every write
// goes first to "." + the name + "." + six letters or digits (mkstemp's) in the same folder.
std::optional<std::string> replacedBy(std::string_view name) {
  constexpr std::size_t kRandomPart = 6;
  if (name.size() < kRandomPart + 3 || !name.starts_with('.') || name[name.size() - kRandomPart - 1] != '.') return std::nullopt;
  for (char c : name.substr(name.size() - kRandomPart)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return std::string(name.substr(1, name.size() - kRandomPart - 2));
}

// Removes the plain files in the folder that a save cut short left while writing a file whose
// name passes `ours`; nothing else in the folder is touched.
void removeLeftOvers(const fs::path& folder, const std::function<bool(const std::string&)>& ours) {
  auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(folder);
  if (!names) return;
  for (const auto& name : *names) {
    auto replaced = replacedBy(name);
    if (!replaced || !ours(*replaced)) continue;
    std::error_code ignored;
    if (fs::is_regular_file(fs::symlink_status(folder / name, ignored))) fs::remove(folder / name, ignored);
  }
}

// ---- Writing

constexpr char kHexDigits[] = "0123456789abcdef";

// A text as JSON keeps it: bytes that are not UTF-8 (a name sent with a stray byte) go as
// {"hex": "..."}, so that one odd request never stops the whole state from being saved.
id keptText(const std::string& value) {
  auto plain = NSString::make(value);
  if (NSJSONSerialization::isValidJSONObject(NSArray::make({plain}))) return plain;
  std::string hex;
  for (unsigned char byte : value) {
    hex.push_back(kHexDigits[byte >> 4]);
    hex.push_back(kHexDigits[byte & 15]);
  }
  return NSDictionary::make({{"hex", NSString::make(std::move(hex))}});
}

id keptInteger(std::int64_t value) { return NSNumber::numberWithInteger(value); }
id keptFlag(bool value) { return NSNumber::numberWithBool(value); }
id keptTexts(const std::vector<std::string>& values) { return standin::textList(values, keptText); }

std::expected<std::string, std::string> stateJson(const StandinState::Contents& contents) {
  auto users = NSArray::make();
  for (const auto& user : contents.accounts.users) {
    users->addObject(NSDictionary::make({{"userid", keptInteger(user.userid)},
                                         {"username", keptText(user.username)},
                                         {"password", keptText(user.password)},
                                         {"email", keptText(user.email)},
                                         {"needsTermsAcceptance", keptFlag(user.needsTermsAcceptance)}}));
  }
  auto tokens = NSArray::make();
  for (const auto& token : contents.accounts.tokens) {
    auto object = NSDictionary::make({{"token", keptText(token.token)}, {"userid", keptInteger(token.userid)}});
    if (token.expires) object->setObject(NSNumber::numberWithDouble(*token.expires), "expires");
    tokens->addObject(object);
  }
  auto collections = NSArray::make();
  for (const auto& collection : contents.collections) {
    auto subscribers = NSArray::make();
    for (auto userid : collection.subscribers) subscribers->addObject(keptInteger(userid));
    auto object = NSDictionary::make({{"id", keptInteger(collection.id)},
                                      {"name", keptText(collection.name)},
                                      {"public", keptFlag(collection.isPublic)},
                                      {"items", keptTexts(collection.items)},
                                      {"subscribers", subscribers}});
    if (collection.owner) object->setObject(keptInteger(*collection.owner), "owner");
    if (collection.packToken) object->setObject(keptText(*collection.packToken), "packToken");
    collections->addObject(object);
  }
  auto uploads = NSArray::make();
  for (const auto& upload : contents.uploads) {
    auto object = NSDictionary::make({{"id", keptText(upload.id)},
                                      {"tags", keptTexts(upload.tags)},
                                      {"sticker", keptFlag(upload.sticker)},
                                      {"stickerSource", keptText(upload.stickerSource)},
                                      {"width", keptInteger(upload.width)},
                                      {"height", keptInteger(upload.height)}});
    if (upload.uploader) object->setObject(keptInteger(*upload.uploader), "uploader");
    if (upload.sourceURL) object->setObject(keptText(*upload.sourceURL), "sourceURL");
    uploads->addObject(object);
  }
  auto file = NSDictionary::make({{"format", keptInteger(kFormat)},
                                  {"users", users},
                                  {"tokens", tokens},
                                  {"nextUserId", keptInteger(contents.accounts.nextUserId)},
                                  {"collections", collections},
                                  {"nextCollectionId", keptInteger(contents.nextCollectionId)},
                                  {"liked", standin::listsByUser(contents.liked, keptText)},
                                  {"saved", standin::listsByUser(contents.saved, keptText)},
                                  {"uploads", uploads},
                                  {"nextUploadId", keptInteger(contents.nextUploadId)}});
  auto json = NSJSONSerialization::stringWithJSONObject(file, NSJSONWritingOptions::prettyPrinted);
  if (!json) return std::unexpected(json.error()->localizedDescription());
  return std::move(*json);
}

// ---- Reading

// Reads the file's values, noting the first thing that is not as written above; what is
// read after that is thrown away.
class Reading {
 public:
  std::string failure;

  std::shared_ptr<NSDictionary> object(const id& value, std::string_view what) {
    auto object = asA<NSDictionary>(value);
    if (!object) fail(std::string(what) + " is not an object");
    return object ? object : NSDictionary::make();
  }
  std::string text(const id& value, std::string_view what) {
    if (auto plain = asA<NSString>(value)) return plain->string();
    if (auto hex = asA<NSDictionary>(value); hex && hex->count() == 1) {
      if (auto digits = hex->objectForKeyAs<NSString>("hex")) {
        if (auto bytes = fromHex(digits->string())) return *bytes;
      }
    }
    fail("\"" + std::string(what) + "\" is not a text");
    return {};
  }
  std::string text(const NSDictionary& object, std::string_view key) { return text(object.objectForKey(key), key); }
  std::optional<std::string> optionalText(const NSDictionary& object, std::string_view key) {
    if (!object.containsKey(key)) return std::nullopt;
    return text(object, key);
  }
  std::int64_t integer(const id& value, std::string_view what) {
    auto number = asA<NSNumber>(value);
    if (!number || number->isBool() || !number->isWholeNumber()) {
      fail("\"" + std::string(what) + "\" is not a whole number");
      return 0;
    }
    return number->integerValue();
  }
  std::int64_t integer(const NSDictionary& object, std::string_view key) { return integer(object.objectForKey(key), key); }
  std::optional<std::int64_t> optionalInteger(const NSDictionary& object, std::string_view key) {
    if (!object.containsKey(key)) return std::nullopt;
    return integer(object, key);
  }
  std::optional<double> optionalReal(const NSDictionary& object, std::string_view key) {
    if (!object.containsKey(key)) return std::nullopt;
    auto number = asA<NSNumber>(object.objectForKey(key));
    if (!number || number->isBool()) fail("\"" + std::string(key) + "\" is not a number");
    return number ? number->doubleValue() : 0.0;
  }
  bool flag(const NSDictionary& object, std::string_view key) {
    auto number = asA<NSNumber>(object.objectForKey(key));
    if (!number || !number->isBool()) fail("\"" + std::string(key) + "\" is not true or false");
    return number && number->boolValue();
  }
  std::vector<id> list(const id& value, std::string_view what) {
    auto list = asA<NSArray>(value);
    if (!list) fail("\"" + std::string(what) + "\" is not a list");
    return list ? list->objects() : std::vector<id>{};
  }
  std::vector<id> list(const NSDictionary& object, std::string_view key) { return list(object.objectForKey(key), key); }
  std::vector<std::string> texts(const id& value, std::string_view what) {
    std::vector<std::string> out;
    for (const auto& item : list(value, what)) out.push_back(text(item, what));
    return out;
  }
  std::vector<std::string> texts(const NSDictionary& object, std::string_view key) { return texts(object.objectForKey(key), key); }
  std::map<std::int64_t, std::vector<std::string>> listsByUser(const NSDictionary& object, std::string_view key) {
    std::map<std::int64_t, std::vector<std::string>> out;
    const auto users = this->object(object.objectForKey(key), key);
    for (const auto& [user, items] : *users) {
      auto userid = standin::wholeNumber(user);
      if (!userid) fail("\"" + std::string(key) + "\" has a user that is not a number");
      out[userid.value_or(0)] = texts(items, key);
    }
    return out;
  }

 private:
  void fail(std::string why) {
    if (failure.empty()) failure = std::move(why);
  }
  static std::optional<std::string> fromHex(std::string_view digits) {
    if (digits.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      unsigned value = 0;
      auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
      if (error != std::errc() || end != digits.data() + i + 2) return std::nullopt;
      bytes.push_back(static_cast<char>(value));
    }
    return bytes;
  }
};

// The state the file's text keeps (the uploads without their bytes), or why it is not one.
std::expected<StandinState::Contents, std::string> contentsFrom(std::string_view json) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(json);
  if (!parsed) return std::unexpected("not JSON: " + parsed.error()->localizedDescription());
  Reading reading;
  auto file = reading.object(*parsed, "the file");
  if (reading.failure.empty() && reading.integer(*file, "format") != kFormat) {
    return std::unexpected("not a state of this stand-in's format " + std::to_string(kFormat));
  }
  StandinState::Contents contents;
  for (const auto& value : reading.list(*file, "users")) {
    auto user = reading.object(value, "a user");
    contents.accounts.users.push_back({reading.integer(*user, "userid"), reading.text(*user, "username"),
                                       reading.text(*user, "password"), reading.text(*user, "email"),
                                       reading.flag(*user, "needsTermsAcceptance")});
  }
  for (const auto& value : reading.list(*file, "tokens")) {
    auto token = reading.object(value, "a token");
    contents.accounts.tokens.push_back(
        {reading.text(*token, "token"), reading.integer(*token, "userid"), reading.optionalReal(*token, "expires")});
  }
  contents.accounts.nextUserId = reading.integer(*file, "nextUserId");
  for (const auto& value : reading.list(*file, "collections")) {
    auto pack = reading.object(value, "a pack");
    StandinCollection collection{reading.integer(*pack, "id"),       reading.text(*pack, "name"),
                                 reading.optionalInteger(*pack, "owner"), reading.optionalText(*pack, "packToken"),
                                 reading.flag(*pack, "public"),      reading.texts(*pack, "items"),
                                 {}};
    for (const auto& follower : reading.list(*pack, "subscribers")) collection.subscribers.insert(reading.integer(follower, "subscribers"));
    contents.collections.push_back(std::move(collection));
  }
  contents.nextCollectionId = reading.integer(*file, "nextCollectionId");
  contents.liked = reading.listsByUser(*file, "liked");
  contents.saved = reading.listsByUser(*file, "saved");
  for (const auto& value : reading.list(*file, "uploads")) {
    auto object = reading.object(value, "an upload");
    StandinUpload upload;
    upload.id = reading.text(*object, "id");
    if (reading.failure.empty() && !uploadNumber(upload.id)) return std::unexpected("an upload's id is not a number");
    upload.tags = reading.texts(*object, "tags");
    upload.uploader = reading.optionalInteger(*object, "uploader");
    upload.sticker = reading.flag(*object, "sticker");
    upload.stickerSource = reading.text(*object, "stickerSource");
    upload.sourceURL = reading.optionalText(*object, "sourceURL");
    upload.width = static_cast<int>(reading.integer(*object, "width"));
    upload.height = static_cast<int>(reading.integer(*object, "height"));
    contents.uploads.push_back(std::move(upload));
  }
  contents.nextUploadId = reading.integer(*file, "nextUploadId");
  if (!reading.failure.empty()) return std::unexpected(reading.failure);
  return contents;
}

}  // namespace statefile

using namespace statefile;

fs::path StandinStateFile::defaultPath() { return Paths::dataHome() / "glimdeck-standin" / "state.json"; }

std::expected<std::shared_ptr<StandinStateFile>, std::string> StandinStateFile::open(const fs::path& path,
                                                                                     std::shared_ptr<StandinState> state,
                                                                                     Start start) {
  const auto folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (auto made = NSFileManager::defaultManager()->createPrivateDirectoryAtPath(folder); !made) {
    return std::unexpected("cannot make the folder \"" + folder.string() + "\": " + made.error()->localizedDescription());
  }
  // Two stand-ins writing one file would each undo the other's changes.
  fs::path lockPath = path;
  lockPath += ".lock";
  auto lock = OwnFiles::openPlainFile(lockPath, O_RDWR | O_CREAT);
  if (!lock) return std::unexpected("cannot open \"" + lockPath.string() + "\": " + std::strerror(lock.error().error));
  if (::flock(*lock, LOCK_EX | LOCK_NB) != 0) {
    ::close(*lock);
    return std::unexpected("another stand-in keeps its state in \"" + path.string() + "\"");
  }
  auto file = std::shared_ptr<StandinStateFile>(new StandinStateFile(path, std::move(state), *lock));
  if (!file->load(start)) return std::unexpected("the unreadable \"" + path.string() + "\" could not be set aside");
  file->state_->setChangeObserver([pending = file->pending_] {
    {
      std::lock_guard lock(pending->mutex);
      ++pending->changes;
    }
    pending->changed.notify_all();
  });
  // A fresh start is saved at once, so that what the file kept is gone even if nothing changes.
  if (start == Start::fresh) {
    std::lock_guard lock(file->pending_->mutex);
    ++file->pending_->changes;
  }
  file->saver_ = std::thread([raw = file.get()] { raw->run(); });
  return file;
}

StandinStateFile::StandinStateFile(fs::path path, std::shared_ptr<StandinState> state, int lock)
    : path_(std::move(path)), state_(std::move(state)), lock_(lock) {}

StandinStateFile::~StandinStateFile() { close(); }

fs::path StandinStateFile::uploadsFolder() const {
  return path_.parent_path() / (path_.stem().string() + "-uploads");
}

bool StandinStateFile::load(Start start) {
  auto files = NSFileManager::defaultManager();
  // A stand-in killed in the middle of a save left its new files half written; the lock held
  // here says that no other stand-in is writing them now.
  const auto folder = path_.has_parent_path() ? path_.parent_path() : fs::path(".");
  removeLeftOvers(folder, [&](const std::string& name) { return name == path_.filename().string(); });
  removeLeftOvers(uploadsFolder(), [](const std::string& name) {
    return name.ends_with(".gif") && uploadNumber(std::string_view(name).substr(0, name.size() - 4));
  });
  StandinState::Contents contents;
  std::optional<std::string> unreadable;
  if (start == Start::fresh) {
    files->removeItemAtPath(uploadsFolder());
  } else if (auto read = files->readContentsOfOwnFileAtPath(path_, kStateBounds)) {
    auto kept = contentsFrom((*read)->view());
    if (kept) contents = std::move(*kept);
    else unreadable = kept.error();
  } else if (read.error()->code() != NSCocoaError::fileReadNoSuchFile) {
    unreadable = read.error()->localizedDescription();
  }
  // The file stays as it was, beside the new one, for whoever wants to look into it.
  if (unreadable && !OwnFiles::setAside(path_, "a state the stand-in can read (" + *unreadable +
                                                   "), so the stand-in starts empty")) {
    return false;
  }
  std::size_t missing = 0;
  std::erase_if(contents.uploads, [&](StandinUpload& upload) {
    auto read = files->readContentsOfOwnFileAtPath(uploadsFolder() / gifName(upload.id), kUploadBounds);
    if (read && looksLikeGif((*read)->view())) {
      upload.bytes = std::string((*read)->view());
      written_.insert(upload.id);
      return false;
    }
    ++missing;
    return true;
  });
  if (missing > 0) {
    OutputSink::print("The GIFs of " + std::to_string(missing) + " uploads are missing from \"" + uploadsFolder().string() +
                      "\"; the stand-in goes on without those uploads.");
  }
  // A GIF left in the folder (by a state set aside, or a save cut short) is never written over.
  if (auto names = files->contentsOfDirectoryAtPath(uploadsFolder())) {
    for (const auto& name : *names) {
      if (!name.ends_with(".gif")) continue;
      if (auto number = uploadNumber(std::string_view(name).substr(0, name.size() - 4))) {
        contents.nextUploadId = std::max(contents.nextUploadId, *number + 1);
      }
    }
  }
  generation_ = state_->restore(std::move(contents));
  return true;
}

bool StandinStateFile::flush(double timeout) {
  std::unique_lock lock(pending_->mutex);
  const auto target = pending_->changes;
  return pending_->changed.wait_for(lock, std::chrono::duration<double>(timeout),
                                    [&] { return pending_->saved >= target; });
}

bool StandinStateFile::close() {
  if (saver_.joinable()) {
    {
      std::lock_guard lock(pending_->mutex);
      pending_->closing = true;
    }
    pending_->changed.notify_all();
    saver_.join();
    state_->setChangeObserver(nullptr);
    {
      std::lock_guard lock(pending_->mutex);
      savedAtClose_ = pending_->saved == pending_->changes;
    }
    // The saver has ended: what it noted of its last failure is ours to read.
    if (!savedAtClose_) {
      const std::string why = lastFailure_.empty() ? "they came after its last save" : lastFailure_;
      OutputSink::print("The stand-in could not save its last changes in \"" + path_.string() + "\": " + why +
                        "; they are lost.");
    }
  }
  if (lock_ >= 0) ::close(lock_);
  lock_ = -1;
  return savedAtClose_;
}

void StandinStateFile::run() {
  bool retrying = false;
  bool triedWhileClosing = false;
  std::uint64_t tried = 0;
  for (;;) {
    {
      std::unique_lock lock(pending_->mutex);
      // After a failure, a new change or the retry delay brings the next try.
      auto due = [&] { return pending_->changes != (retrying ? tried : pending_->saved) || pending_->closing; };
      if (retrying) {
        pending_->changed.wait_for(lock, kRetryAfter, due);
      } else {
        pending_->changed.wait(lock, due);
      }
      // Closing: what is left is saved once more, but a save that keeps failing does not
      // hold the exit.
      if (pending_->closing && (pending_->changes == pending_->saved || triedWhileClosing)) return;
      triedWhileClosing = pending_->closing;
      tried = pending_->changes;
    }
    // The last try, at close, is told of by close() alone, in one line.
    retrying = !save(!triedWhileClosing);
    if (retrying) continue;
    {
      std::lock_guard lock(pending_->mutex);
      pending_->saved = tried;
    }
    pending_->changed.notify_all();
  }
}

bool StandinStateFile::save(bool sayFailure) {
  auto files = NSFileManager::defaultManager();
  auto fail = [&](const std::string& why) {
    lastFailure_ = why;
    if (!failing_ && sayFailure) {
      OutputSink::print("The stand-in could not save its state in \"" + path_.string() + "\": " + why +
                        "; it tries again.");
    }
    failing_ = true;
    return false;
  };
  auto contents = state_->contents();
  if (contents.generation != generation_) {
    // A reset or restore since: the same id may now name another GIF.
    stale_.merge(written_);
    written_.clear();
    generation_ = contents.generation;
  }
  for (const auto& kept : contents.uploads) {
    if (written_.contains(kept.id)) continue;
    auto upload = state_->upload(kept.id);
    if (!upload) continue;
    if (auto made = files->createPrivateDirectoryAtPath(uploadsFolder()); !made) return fail(made.error()->localizedDescription());
    if (auto wrote = files->writeAtomically(uploadsFolder() / gifName(kept.id), upload->bytes, 0600); !wrote) {
      return fail(wrote.error()->localizedDescription());
    }
    written_.insert(kept.id);
  }
  auto json = stateJson(contents);
  if (!json) return fail(json.error());
  if (auto wrote = files->writeAtomically(path_, *json, 0600); !wrote) return fail(wrote.error()->localizedDescription());
  for (const auto& id : stale_) {
    if (!written_.contains(id)) files->removeItemAtPath(uploadsFolder() / gifName(id));
  }
  stale_.clear();
  if (failing_) OutputSink::print("The stand-in saves its state in \"" + path_.string() + "\" again.");
  failing_ = false;
  return true;
}
