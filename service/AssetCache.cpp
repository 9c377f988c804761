#include "service/AssetCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "model/AppConstants.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ProcessShutdown.h"
#include "platform/foundation/TemporaryFiles.h"
#include "platform/foundation/NSURLResponse.h"
#include "service/AssetCacheArchives.h"
#include "service/Webapp.h"

namespace {

// The folder as the user's folders name it.
std::filesystem::path namedCacheFolder() {
  return Paths::caches() / std::string(AssetCache::Constants::folderName);
}

// Where the named folder is a link to a folder (the user moved the cache elsewhere), the
// folder it leads to; otherwise the named folder itself. None when the name holds neither a
// folder nor a link to one (nor nothing).
std::optional<std::filesystem::path> resolvedCacheFolder(const std::filesystem::path& named) {
  struct stat info {};
  if (::lstat(named.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return named;
  std::error_code error;
  if (S_ISLNK(info.st_mode)) {
    auto target = std::filesystem::canonical(named, error);
    if (!error && std::filesystem::is_directory(target, error)) return target;
  }
  return std::nullopt;
}

// The folder the cache works in: a link in the folder's place is followed once, and the cache
// names its files by the folder they really are in, so that they are plain files of a real
// folder there, read and trimmed as any other. Remembered per named folder (the user's
// folders may change, as tests change HOME), once there is a folder to remember.
std::mutex cacheFolderLock;
std::filesystem::path cacheFolder() {
  static auto& remembered = *new std::pair<std::filesystem::path, std::filesystem::path>();  // never destroyed
  auto named = namedCacheFolder();
  std::lock_guard guard(cacheFolderLock);
  if (remembered.first.native() == named.native()) return remembered.second;
  auto resolved = resolvedCacheFolder(named);
  if (!resolved) return named;
  std::error_code error;
  if (std::filesystem::is_directory(*resolved, error)) remembered = {named, *resolved};
  return *resolved;
}

// A suffix becomes a file extension: only a short run of letters and digits may, so that
// no caller can steer the file out of the folder or hide it behind a dot.
bool isSafeSuffix(const std::string& suffix) {
  return !suffix.empty() && suffix.size() <= 16 &&
         std::all_of(suffix.begin(), suffix.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

// "zolto-" followed by a decimal number (maybe negative), and an optional safe extension.
bool isOwnFileName(const std::string& name) {
  const std::string_view prefix = AssetCache::Constants::filePrefix;
  if (!name.starts_with(prefix)) return false;
  std::string_view rest(name);
  rest.remove_prefix(prefix.size());
  std::string_view number = rest;
  std::string extension;
  if (auto dot = rest.find('.'); dot != std::string_view::npos) {
    number = rest.substr(0, dot);
    extension = std::string(rest.substr(dot + 1));
    if (!isSafeSuffix(extension)) return false;
  }
  if (number.starts_with('-')) number.remove_prefix(1);
  return !number.empty() && number.size() <= 20 &&
         std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Whether an entry's file is a plain file in the cache's folder as it really is: a link put
// in the file's place or in the folder's would lead outside, and a folder under a file's
// name is somebody else's. The name has been checked already (isOwnFile).
bool isRealFolderOf(const std::string& path) {
  struct stat folder {};
  return ::lstat(std::filesystem::path(path).parent_path().c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
}

bool isPlainFile(const std::string& path) {
  struct stat file {};
  return ::lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && isRealFolderOf(path);
}

// A plain file under a name of the cache's own that the cache would never have stored there
// is set aside: one larger than any reply, or one with another name besides (a hard link,
// whose other name a drag, the clipboard or a player would hand on, and a trim would leave).
// True when it was (or went meanwhile).
bool setAsideUnfitMedia(const std::string& path) {
  if (!isPlainFile(path) || !OwnFiles::describeUnfitFile(path, OwnFiles::cachedMedia)) return false;
  OwnFiles::setAside(path, OwnFiles::cachedMedia);
  return true;
}

// Why a path that is no plain file of the cache's is not used: it is gone, or it is
// something else (a link, a folder), which is not the cache's to touch.
NSFileManager::Error refusal(const std::string& path, bool writing) {
  struct stat file {};
  return NSFileManager::errorForPath(path, ::lstat(path.c_str(), &file) == 0 ? EPERM : errno, writing);
}

// Deletes a file of the cache's own: a plain file only, never what a link leads to nor a
// folder's contents. Says why when it cannot.
void removePlainFile(const std::string& path) {
  NSFileManager::Error error;
  if (!isPlainFile(path)) error = refusal(path, true);
  else if (::unlink(path.c_str()) != 0) error = NSFileManager::errorForPath(path, errno, true);
  if (error) OutputSink::print(std::string(AssetCache::Constants::removalErrorPrefix) + error->localizedDescription());
}

// Writes the bytes beside the target and renames them over it, so a reader sees the old or
// the new file whole. Not flushed to the disk: the archives are rewritten after every burst
// of changes and a damaged one is only ignored at the next start, so a flush per write is
// not worth its cost. The file's blocks are allocated before it is written: ext4 otherwise
// writes a file's unallocated pages out, and waits, when it is renamed over another (the
// archives are, after every page of downloads).
bool writeReplacing(const std::filesystem::path& path, std::string_view bytes) {
  auto temporary = path;
  temporary += ".writing-" + std::to_string(static_cast<std::int64_t>(NSUUID::UUID()->hash()));
  // A new file of its own: never one already under the name, nor what a link there leads to.
  auto opened = OwnFiles::openPlainFile(temporary, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (!opened) return false;
  const int fd = *opened;
  if (!bytes.empty()) (void)::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size()));
  bool written = true;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(wrote);
  }
  written = ::close(fd) == 0 && written;
  if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  ::unlink(temporary.c_str());
  return false;
}

// Writes an archive in one step for its readers, like writeReplacing, but without making or
// deleting a file each time: the bytes go over the spare copy kept beside the archive (its
// version before the last, under a name of this cache), which is then exchanged with the
// archive. On a file system that has recycled many files (the cache's folder has), making a
// file costs more than writing it. Where an exchange is not to be had (no archive yet, or a
// file system without it) the spare is renamed over the archive instead.
std::filesystem::path spareOf(const std::filesystem::path& path, std::string_view spareSuffix) {
  auto spare = path;
  spare += spareSuffix;
  return spare;
}

// The spare copy, opened for a rewrite: the one the last write left when it is still a plain
// file of the cache's own, else a new one, made where nothing lies under its name (whatever
// else is found there is set aside first). A link is never followed, nor a file written that
// has another name elsewhere (a hard link): the archive's name may have held anything when
// it was exchanged into the spare's.
int openSpare(const std::filesystem::path& spare) {
  auto opened = OwnFiles::openPlainFile(spare, O_WRONLY, 0, nullptr, OwnFiles::cacheIndex);
  if (opened) return *opened;
  if (opened.error().notPlainFile ? !OwnFiles::clearForPlainFile(spare, OwnFiles::cacheIndex)
                                  : opened.error().error != ENOENT) {
    return -1;
  }
  auto made = OwnFiles::openPlainFile(spare, O_WRONLY | O_CREAT | O_EXCL, 0644);
  return made ? *made : -1;
}

bool replaceArchive(const std::filesystem::path& path, std::string_view spareSuffix, std::string_view bytes) {
  const auto spare = spareOf(path, spareSuffix);
  const int fd = openSpare(spare);
  if (fd < 0) return false;
  // Allocated before it is written (see writeReplacing); shortened after, never emptied first.
  if (!bytes.empty()) (void)::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size()));
  bool written = true;
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(wrote);
  }
  written = written && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  written = ::close(fd) == 0 && written;
  if (!written) {
    ::unlink(spare.c_str());
    return false;
  }
  // Only a plain archive of the cache's own is exchanged with the spare: anything else under
  // its name is set aside rather than moved under the spare's (where the next write would
  // meet it).
  if (!OwnFiles::clearForPlainFile(path, OwnFiles::cacheIndex)) {
    ::unlink(spare.c_str());
    return false;
  }
  if (::renameat2(AT_FDCWD, spare.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) return true;
  if (::rename(spare.c_str(), path.c_str()) == 0) return true;
  ::unlink(spare.c_str());
  return false;
}

// The caches alive in the process: a new cache flushes their waiting archives before it
// reads the folder, and the shutdown flushes them before the process ends.
std::mutex liveCachesLock;
std::vector<std::weak_ptr<AssetCache>>& liveCaches() {
  static auto& caches = *new std::vector<std::weak_ptr<AssetCache>>();  // never destroyed
  return caches;
}

std::vector<std::shared_ptr<AssetCache>> liveCachesNow() {
  std::lock_guard guard(liveCachesLock);
  auto& caches = liveCaches();
  std::erase_if(caches, [](const auto& weak) { return weak.expired(); });
  std::vector<std::shared_ptr<AssetCache>> alive;
  for (const auto& weak : caches) {
    if (auto cache = weak.lock()) alive.push_back(std::move(cache));
  }
  return alive;
}

void flushLiveCaches() {
  for (const auto& cache : liveCachesNow()) cache->flushArchives();
}

// At a shutdown the spare copies go too: the next start has no use for them.
void flushAndTidyLiveCaches() {
  for (const auto& cache : liveCachesNow()) {
    cache->flushArchives();
    cache->discardSpareArchives();
  }
}

}  // namespace

std::shared_ptr<AssetCache> AssetCache::shared() {
  static const std::shared_ptr<AssetCache>& cache = *new std::shared_ptr<AssetCache>(make());  // never destroyed
  return cache;
}

std::shared_ptr<AssetCache> AssetCache::make() {
  return makeWithMutex(PThreadMutex::make(PThreadMutex::PThreadMutexType::recursive));
}

std::shared_ptr<AssetCache> AssetCache::makeWithMutex(
    std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> mutex) {
  static std::once_flag shutdownHook;
  std::call_once(shutdownHook, [] { ProcessShutdown::atShutdown(flushAndTidyLiveCaches); });
  flushLiveCaches();
  auto cache = std::shared_ptr<AssetCache>(new AssetCache());
  if (mutex) cache->mutex_ = std::move(*mutex);
  cache->archiveQueue_ = DispatchQueue::makeSerial("media cache archives");
  cache->loadMapping();
  {
    std::lock_guard guard(liveCachesLock);
    liveCaches().push_back(cache);
  }
  return cache;
}

AssetCache::AssetCache()
    : spareSuffix_(".writing-" + std::to_string(static_cast<std::uint64_t>(NSUUID::UUID()->hash()))) {}

AssetCache::~AssetCache() {
  flushArchives();
  discardSpareArchives();
}

void AssetCache::discardSpareArchives() {
  std::lock_guard ordered(writeLock_);
  removeSpares();
}

// Under writeLock_.
void AssetCache::removeSpares() {
  if (spareFolder_.empty()) return;
  for (std::string_view name : {Constants::mappingFileName, Constants::orderFileName}) {
    ::unlink(spareOf(spareFolder_ / name, spareSuffix_).c_str());
  }
  spareFolder_.clear();
}

void AssetCache::lock() {
  if (mutex_) {
    mutex_->lock();
  } else {
    fallbackLock_.lock();
  }
}

void AssetCache::unlock() {
  if (mutex_) {
    mutex_->unlock();
  } else {
    fallbackLock_.unlock();
  }
}

void AssetCache::withLock(const std::function<void()>& work) {
  struct Guard {
    AssetCache& cache;
    ~Guard() {
      // The archives are written once, after the outermost operation ends, however many
      // entries it changed (a trim removes fifty).
      if (--cache.depth_ == 0 && cache.dirty_ && cache.archiveHolds_ <= 0) cache.scheduleArchives();
      cache.unlock();
    }
  };
  lock();
  ++depth_;
  Guard guard{*this};
  if (work) work();
}

AssetCache::Mapping AssetCache::mapping() {
  Mapping copy;
  withLock([&] { copy = mapping_; });
  return copy;
}

void AssetCache::setMapping(Mapping mapping) {
  withLock([&] { mapping_ = std::move(mapping); });
}

std::vector<std::string> AssetCache::order() {
  std::vector<std::string> copy;
  withLock([&] { copy = order_; });
  return copy;
}

void AssetCache::setOrder(std::vector<std::string> order) {
  withLock([&] { order_ = std::move(order); });
}

std::shared_ptr<NSURL> AssetCache::systemCachePath() const {
  // A name that holds neither a folder nor a link to one (a file, a pipe, a link leading
  // nowhere) is set aside for a folder of the cache's own.
  if (!resolvedCacheFolder(namedCacheFolder())) OwnFiles::setAside(namedCacheFolder(), "a folder");
  auto folder = cacheFolder();
  // A folder that cannot be made shows itself when a file is written into it.
  (void)NSFileManager::defaultManager()->createPrivateDirectoryAtPath(folder);
  return NSURL::fileURLWithPath(folder.string(), true);
}

std::shared_ptr<NSURL> AssetCache::locateCacheFile(std::string_view fileName, std::string_view messagePrefix) const {
  auto url = systemCachePath()->URLByAppendingPathComponent(fileName, false);
  const std::filesystem::path path = url->path();
  // Only a plain file of the cache's own is the archive: anything else (also one larger than
  // an archive ever is, or with another name elsewhere) is set aside and the archive made
  // anew, as if it had been missing.
  OwnFiles::clearForPlainFile(path, OwnFiles::cacheIndex);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    bool created = NSFileManager::defaultManager()->createFileAtPath(path, nullptr);
    OutputSink::print(std::string(messagePrefix) + (created ? "true" : "false"));
  }
  return url;
}

std::shared_ptr<NSURL> AssetCache::fileSaveLocation() const {
  return locateCacheFile(Constants::mappingFileName, Constants::mappingCreationPrefix);
}

std::shared_ptr<NSURL> AssetCache::orderSaveLocation() const {
  return locateCacheFile(Constants::orderFileName, Constants::orderCreationPrefix);
}

bool AssetCache::isOwnFile(const std::shared_ptr<NSURL>& url) const {
  // The folder as it is named, not made: a test, not a write.
  return isOwnFile(url, cacheFolder().lexically_normal());
}

bool AssetCache::isOwnFile(const std::shared_ptr<NSURL>& url, const std::filesystem::path& folder) const {
  if (!url || !url->isFileURL()) return false;
  std::filesystem::path path(url->path());
  if (!path.is_absolute()) return false;
  auto normal = path.lexically_normal();
  return normal.parent_path() == folder && normal.filename() == path.filename() &&
         isOwnFileName(path.filename().string());
}

void AssetCache::loadMapping() {
  withLock([&] {
    auto files = NSFileManager::defaultManager();
    auto read = [&](const std::shared_ptr<NSURL>& location) -> std::shared_ptr<NSData> {
      auto bytes = files->readContentsOfOwnFileAtPath(location->path(), OwnFiles::cacheIndex);
      if (!bytes) {
        OutputSink::print(bytes.error()->description());
        return nullptr;
      }
      return *bytes;
    };

    if (auto bytes = read(fileSaveLocation()); bytes && bytes->length() > 0) {
      if (auto dictionary = NSKeyedUnarchiver::unarchivedObjectOfClass<NSDictionary>(bytes)) {
        // Only files the cache named itself, inside its own folder, are taken: a damaged or
        // planted map must not make the cache read or delete anything else.
        Mapping loaded;
        bool wellFormed = true;
        // Files named by the folder's link are the same files, named by the folder they are in.
        const auto folder = cacheFolder().lexically_normal();
        const auto named = namedCacheFolder().lexically_normal();
        for (const auto& [key, value] : **dictionary) {
          auto url = asA<NSURL>(value);
          if (!url) {
            wellFormed = false;
            break;
          }
          if (isOwnFile(url, folder)) {
            loaded[key] = url;
          } else if (named != folder && isOwnFile(url, named)) {
            loaded[key] = NSURL::fileURLWithPath((folder / std::filesystem::path(url->path()).filename()).string(), false);
          }
        }
        if (wellFormed) mapping_ = std::move(loaded);
      }
    }

    if (auto bytes = read(orderSaveLocation()); bytes && bytes->length() > 0) {
      if (auto array = NSKeyedUnarchiver::unarchivedObjectOfClass<NSArray>(bytes)) {
        std::vector<std::string> loaded;
        bool wellFormed = true;
        for (const auto& value : **array) {
          auto text = asA<NSString>(value);
          if (!text) {
            wellFormed = false;
            break;
          }
          loaded.push_back(text->string());
        }
        if (wellFormed) order_ = std::move(loaded);
      }
    }

    // Keep the two in step: each mapped key once in the order, and no key without a file.
    std::vector<std::string> order;
    std::unordered_map<std::string, bool> seen;
    for (auto& key : order_) {
      if (mapping_.contains(key) && !seen[key]) {
        seen[key] = true;
        order.push_back(std::move(key));
      }
    }
    for (const auto& [key, url] : mapping_) {
      if (!seen[key]) order.insert(order.begin(), key);
    }
    order_ = std::move(order);
  });
}

void AssetCache::saveMapping() {
  withLock([&] { dirty_ = true; });
}

void AssetCache::scheduleArchives() {
  if (writeQueued_) return;
  writeQueued_ = true;
  pendingFolder_ = systemCachePath()->path();
  std::weak_ptr<AssetCache> weakSelf = sharedAs<AssetCache>();
  archiveQueue_->async([weakSelf] {
    if (auto self = weakSelf.lock()) self->flushArchives();
  });
}

void AssetCache::holdArchives() {
  withLock([&] { ++archiveHolds_; });
}

void AssetCache::releaseArchives() {
  withLock([&] { --archiveHolds_; });
}

void AssetCache::flushArchives() {
  std::lock_guard ordered(writeLock_);
  // A copy under the lock, archived and written outside it: stores go on meanwhile.
  // The archives are made under the lock (straight into bytes, in well under a millisecond)
  // and written outside it: stores go on meanwhile.
  std::optional<std::string> mappingBytes, orderBytes;
  std::shared_ptr<NSDictionary> dictionary;
  std::shared_ptr<NSArray> array;
  bool changed = false;
  std::filesystem::path folder;
  std::vector<std::string> trimmed;
  {
    lock();
    writeQueued_ = false;
    // The files of keys trimmed before this copy go once archives without them are written,
    // so that no archive on disk ever names a file that is gone.
    trimmed.swap(trimmedFiles_);
    if (dirty_) {
      dirty_ = false;
      changed = true;
      folder = pendingFolder_.empty() ? systemCachePath()->path() : pendingFolder_;
      // Written also when empty: an emptied cache must stay empty at the next start.
      mappingBytes = AssetCacheArchives::archivedMapping(mapping_);
      orderBytes = AssetCacheArchives::archivedOrder(order_);
      // What the straight writer does not handle, the general archiver writes, from copies.
      if (!mappingBytes) {
        dictionary = NSDictionary::make();
        for (const auto& [key, url] : mapping_) dictionary->setObject(url, key);
      }
      if (!orderBytes) {
        array = NSArray::make();
        for (const auto& key : order_) array->addObject(NSString::make(key));
      }
    }
    unlock();
  }
  auto archived = [](const id& root) -> std::optional<std::string> {
    auto data = NSKeyedArchiver::archivedDataWithRootObject(root);
    return data ? std::optional((*data)->string()) : std::nullopt;
  };
  if (changed) {
    if (dictionary) mappingBytes = archived(dictionary);
    if (array) orderBytes = archived(array);
    // Spares left in a folder the cache no longer writes to (the user's folders moved) go.
    if (spareFolder_ != folder) removeSpares();
    spareFolder_ = folder;
    if (!mappingBytes || !replaceArchive(folder / Constants::mappingFileName, spareSuffix_, *mappingBytes)) {
      OutputSink::print(Constants::saveFailure);
    }
    if (!orderBytes || !replaceArchive(folder / Constants::orderFileName, spareSuffix_, *orderBytes)) {
      OutputSink::print(Constants::saveFailure);
    }
  }
  removeFiles(trimmed);
}

void AssetCache::cacheAssetWithData(const std::shared_ptr<NSData>& data, std::string_view forKey,
                                    const std::optional<std::string>& appendSuffixToFile) {
  withLock([&] { storeAsset(data, forKey, appendSuffixToFile); });
}

void AssetCache::storeAsset(const std::shared_ptr<NSData>& data, std::string_view key,
                            const std::optional<std::string>& suffix) {
  std::string_view bytes = data ? data->view() : std::string_view();
  storeFile(key, suffix, [&](const std::string& path) { return writeReplacing(path, bytes); });
}

bool AssetCache::cacheAssetWithFile(const std::string& path, std::string_view forKey,
                                    const std::optional<std::string>& appendSuffixToFile) {
  return moveFileIn(path, forKey, appendSuffixToFile);
}

bool AssetCache::moveFileIn(const std::string& path, std::string_view forKey,
                            const std::optional<std::string>& appendSuffixToFile) {
  return storeFile(forKey, appendSuffixToFile, [&](const std::string& target) {
    std::error_code error;
    if (::rename(path.c_str(), target.c_str()) != 0) {
      error = std::error_code(errno, std::generic_category());
    } else {
      // A download's temporary file is the cache's now: its session need not delete it.
      TemporaryFiles::untrack(path);
    }
    if (error == std::errc::cross_device_link) {
      error.clear();
      std::filesystem::copy_file(path, target, std::filesystem::copy_options::overwrite_existing, error);
      if (error) std::filesystem::remove(target, error);
    }
    return !error;
  });
}

bool AssetCache::storeFile(std::string_view key, const std::optional<std::string>& suffix,
                           const std::function<bool(const std::string& path)>& place) {
  bool stored = false;
  withLock([&] {
    if (mapping_.contains(std::string(key))) removeLocked(key);

    std::string name = std::string(Constants::filePrefix) +
                       std::to_string(static_cast<std::int64_t>(NSUUID::UUID()->hash()));
    if (suffix && isSafeSuffix(*suffix)) name += "." + *suffix;
    // The folder is made only when a file cannot be placed in it (it is there nearly always).
    auto url = NSURL::fileURLWithPath(cacheFolder().string(), true)->URLByAppendingPathComponent(name, false);
    bool placed = place(url->path());
    if (!placed && !std::filesystem::is_directory(cacheFolder())) {
      url = systemCachePath()->URLByAppendingPathComponent(name, false);
      placed = place(url->path());
    }

    if (placed) {
      mapping_[std::string(key)] = url;
      order_.emplace_back(key);
      saveMapping();
      stored = true;
    }
    trimToLimit();
  });
  return stored;
}

void AssetCache::trimToLimit() {
  withLock([&] {
    if (order_.size() <= Constants::keyLimit) return;
    std::vector<std::string> oldest(order_.begin(), order_.begin() + Constants::trimCount);
    // Their files go with the archive write that the trim's change queues.
    const auto folder = cacheFolder().lexically_normal();
    for (const auto& key : oldest) removeLocked(key, true, &folder);
  });
}

void AssetCache::removeFiles(const std::vector<std::string>& paths) {
  for (const auto& path : paths) removePlainFile(path);
}

void AssetCache::purge() {
  trimToLimit();
}

void AssetCache::removeItemForKey(std::string_view key) {
  withLock([&] { removeLocked(key); });
}

void AssetCache::removeLocked(std::string_view key, bool later, const std::filesystem::path* folder) {
  auto entry = mapping_.find(std::string(key));
  if (entry == mapping_.end()) return;
  // Only the cache's own files are ever deleted, whatever a caller put into the mapping.
  const bool own = folder ? isOwnFile(entry->second, *folder) : isOwnFile(entry->second);
  if (own && later) {
    trimmedFiles_.push_back(entry->second->path());
  } else if (own) {
    removePlainFile(entry->second->path());
  }
  forgetLocked(key);
}

void AssetCache::forgetLocked(std::string_view forgotten) {
  const std::string key(forgotten);
  // A key mapped but missing from the order is forgotten too: kept, it would answer
  // "cached" for ever with a file that is gone.
  mapping_.erase(key);
  if (auto position = std::find(order_.begin(), order_.end(), key); position != order_.end()) order_.erase(position);
  saveMapping();
}

bool AssetCache::containsValueForKey(std::string_view key) {
  bool contains = false;
  withLock([&] { contains = mapping_.contains(std::string(key)); });
  return contains;
}

std::shared_ptr<NSURL> AssetCache::storagePathForKey(std::string_view key) {
  std::shared_ptr<NSURL> url;
  withLock([&] {
    auto entry = mapping_.find(std::string(key));
    if (entry == mapping_.end()) return;
    // Drags, players and the clipboard open what is handed out: a plain file of the cache's
    // own only. Anything else (gone, or put in its place) is no entry any more.
    const bool own = isOwnFile(entry->second);
    if (own && setAsideUnfitMedia(entry->second->path())) forgetLocked(key);
    else if (own && isPlainFile(entry->second->path())) url = entry->second;
    else removeLocked(key);
  });
  return url;
}

std::shared_ptr<NSData> AssetCache::cachedAssetWithKey(std::string_view key) {
  std::shared_ptr<NSData> data;
  withLock([&] {
    auto entry = mapping_.find(std::string(key));
    if (entry == mapping_.end() || !entry->second) {
      removeLocked(key);
      return;
    }
    const auto path = entry->second->path();
    const bool own = isOwnFile(entry->second);
    if (own && setAsideUnfitMedia(path)) {
      forgetLocked(key);
      return;
    }
    // Only a plain file of the cache's own is read: not what a link in its place leads to.
    // The read itself refuses a link or anything but a plain file in the folder's place, and
    // reads no more than a cached file may hold.
    NSFileManager::Result<std::shared_ptr<NSData>> bytes = std::unexpected(refusal(path, false));
    if (own && isRealFolderOf(path)) {
      bytes = NSFileManager::defaultManager()->readContentsOfRegularFileAtPath(path, OwnFiles::cachedMedia);
    }
    if (!bytes) {
      OutputSink::print(std::string(Constants::readErrorPrefix) + bytes.error()->localizedDescription());
      removeLocked(key);
      return;
    }
    data = *bytes;
  });
  return data;
}

std::shared_ptr<NSURLSessionDataTask> AssetCache::requestWithUrl(std::string_view url,
                                                                 const std::optional<std::string>& appendSuffixToFile,
                                                                 Callback callback,
                                                                 std::optional<std::int64_t> replyLimit) {
  auto answer = [&](std::shared_ptr<NSData> data) {
    if (callback) callback(std::move(data));
  };
  auto parsed = NSURL::URLWithString(url);
  if (!parsed) {
    answer(nullptr);
    return nullptr;
  }
  if (parsed->isFileURL()) {
    // A local file is read directly and never cached.
    answer(contentsOfLocalGifFile(parsed->path()));
    return nullptr;
  }
  if (containsValueForKey(url)) {
    if (callback) callback(cachedAssetWithKey(url));
    return nullptr;
  }
  std::weak_ptr<AssetCache> weakSelf = sharedAs<AssetCache>();
  return Webapp::requestURLWithUrl(
      parsed, std::nullopt,
      [weakSelf, key = std::string(url), appendSuffixToFile, callback](
          std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse> response, std::shared_ptr<NSError> error) {
        if (auto self = weakSelf.lock()) {
          self->handleRequestedData(key, appendSuffixToFile, callback, data, response, error);
        } else if (callback) {
          bool usable = data && !error;
          callback(usable ? data : nullptr);
        }
      },
      replyLimit);
}

void AssetCache::handleRequestedData(const std::string& url, const std::optional<std::string>& suffix,
                                     const Callback& callback, const std::shared_ptr<NSData>& data,
                                     const std::shared_ptr<NSURLResponse>& response,
                                     const std::shared_ptr<NSError>& error) {
  // Only a successful reply is media: an error page must never be cached (or shown) as a GIF.
  auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
  bool successful = data && !error && (!http || (http->statusCode() >= 200 && http->statusCode() < 300));
  if (!successful) {
    if (callback) callback(nullptr);
    return;
  }
  cacheAssetWithData(data, url, suffix);
  if (callback) callback(data);
}
