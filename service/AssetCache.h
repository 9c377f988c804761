#pragma once
// The one shared store of downloaded media on disk. Each entry is a file "zolto-N[.suffix]"
// in the cache's folder, found by its key (the media's URL text). Beside the media files
// the cache keeps two keyed archives: "recentShareMap" (key -> file URL) and "orderList"
// (the keys oldest first, which drives eviction to the newest keys). They are read and
// written only as plain files: anything else under their names is set aside
// (platform/foundation/OwnFiles.h) and the archive made anew.
//
// Every public operation holds the cache's recursive lock, so the cells on the main thread,
// the downloader's session queue and request completions can all call in at once.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSessionTask.h"
#include "service/PThreadMutex.h"

class AssetCache : public NSObject {
 public:
  using Mapping = std::unordered_map<std::string, std::shared_ptr<NSURL>>;
  using Callback = std::function<void(std::shared_ptr<NSData>)>;

  struct Constants {
    static constexpr std::string_view folderName = "media";
    static constexpr std::string_view filePrefix = "zolto-";
    static constexpr std::string_view mappingFileName = "recentShareMap";
    static constexpr std::string_view orderFileName = "orderList";
    static constexpr std::string_view mappingCreationPrefix = "cache mapping creation success: ";
    static constexpr std::string_view orderCreationPrefix = "cache order creation success: ";
    static constexpr std::string_view saveFailure = "recent cache save failure";
    static constexpr std::string_view removalErrorPrefix = "Removal error: ";
    static constexpr std::string_view readErrorPrefix = "Cache returned empty data: ";
    // The trim starts above this many keys and removes the oldest trimCount of them.
    static constexpr std::size_t keyLimit = 500;
    static constexpr std::size_t trimCount = 50;
  };

  // The process's cache, made on first use.
  static std::shared_ptr<AssetCache> shared();
  // A cache over the same folder, loaded from its archives (what a new start sees).
  static std::shared_ptr<AssetCache> make();
  // As make(), with the outcome of the mutex set-up given; without a mutex the cache still
  // locks, with a lock of its own.
  static std::shared_ptr<AssetCache> makeWithMutex(std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> mutex);

  // Copies of the two collections, and whole replacements of them.
  Mapping mapping();
  void setMapping(Mapping mapping);
  std::vector<std::string> order();
  void setOrder(std::vector<std::string> order);
  // The recursive mutex, or none when it could not be made (the cache then uses its own lock).
  std::shared_ptr<PThreadMutex> mutex() const { return mutex_; }
  // Runs the work holding the cache's lock, so that a caller can make several calls as one.
  void withLock(const std::function<void()>& work);

  // Stores the bytes under the key in a new file (the suffix becomes its extension), replacing
  // an entry already under the key, then trims to the newest keys.
  void cacheAssetWithData(const std::shared_ptr<NSData>& data, std::string_view forKey,
                          const std::optional<std::string>& appendSuffixToFile);
  // The same for a file already written (a finished download): moved into the cache by a
  // rename, copied only when it lies on another file system. False when neither worked;
  // the file is left where it was whenever it was not moved.
  bool cacheAssetWithFile(const std::string& path, std::string_view forKey,
                          const std::optional<std::string>& appendSuffixToFile);
  // Writes the archives now when a change is waiting for them, then deletes the files of keys
  // trimmed away before (so that no archive on disk names a file that is gone). Changes are
  // otherwise written on the cache's own queue once the operations queued before the write
  // have run, so that a burst of stores rewrites them once, and a trim's files are deleted
  // with that write, off the store that trimmed; the process's shutdown and a new cache over
  // the same folder flush them too. Not to be called inside withLock.
  void flushArchives();
  // Removes the spare copies the archive writes keep beside the archives (a shutdown does).
  void discardSpareArchives();
  // While held (by a downloader with transfers under way), stores leave the archives waiting
  // rather than queue a write each; the last release queues one write for the whole burst.
  // Flushes still write at once.
  void holdArchives();
  void releaseArchives();
  // The cached bytes, or none (an entry whose file cannot be read is dropped).
  std::shared_ptr<NSData> cachedAssetWithKey(std::string_view key);
  void removeItemForKey(std::string_view key);
  // Answers from the cache on the calling thread (or reads a file URL directly); otherwise
  // sends a GET on the service session, caches a successful (2xx) reply and calls back on
  // the session's queue. Answers the started task, or none. A reply longer than
  // `replyLimit` (when given) is refused unread: answered none and not cached.
  std::shared_ptr<NSURLSessionDataTask> requestWithUrl(std::string_view url,
                                                       const std::optional<std::string>& appendSuffixToFile,
                                                       Callback callback,
                                                       std::optional<std::int64_t> replyLimit = std::nullopt);
  void loadMapping();
  void saveMapping();
  bool containsValueForKey(std::string_view key);
  std::shared_ptr<NSURL> storagePathForKey(std::string_view key);
  // The cache's folder (created when missing). Where "media" is a link to a folder, the
  // folder it leads to, by its own name: the cache's files are named, read and trimmed there.
  // Anything else under the name (a file, a pipe, a link leading nowhere) is set aside.
  std::shared_ptr<NSURL> systemCachePath() const;
  std::shared_ptr<NSURL> fileSaveLocation() const;
  std::shared_ptr<NSURL> orderSaveLocation() const;
  // Trims to the newest keys.
  void purge();

  GLIMDECK_OBJECT(AssetCache)
  ~AssetCache() override;

 private:
  AssetCache();

  void lock();
  void unlock();
  void storeAsset(const std::shared_ptr<NSData>& data, std::string_view key, const std::optional<std::string>& suffix);
  bool moveFileIn(const std::string& path, std::string_view forKey, const std::optional<std::string>& suffix);
  // Replaces the key's entry with a new file that `place` puts at the path it is given.
  bool storeFile(std::string_view key, const std::optional<std::string>& suffix,
                 const std::function<bool(const std::string& path)>& place);
  void trimToLimit();
  // Forgets the key and deletes its file, or (`later`) leaves the file for the queue.
  // `folder`, when given, is the cache's folder as isOwnFile compares it (a trim names it once).
  void removeLocked(std::string_view key, bool later = false, const std::filesystem::path* folder = nullptr);
  // Forgets the key without touching its file.
  void forgetLocked(std::string_view key);
  void removeSpares();
  // Deletes trimmed keys' files, saying so for each that cannot be.
  static void removeFiles(const std::vector<std::string>& paths);
  // Queues the write of the archives unless one is queued already.
  void scheduleArchives();
  std::shared_ptr<NSURL> locateCacheFile(std::string_view fileName, std::string_view messagePrefix) const;
  void handleRequestedData(const std::string& url, const std::optional<std::string>& suffix, const Callback& callback,
                           const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>& response,
                           const std::shared_ptr<NSError>& error);
  // True for a file URL that the cache itself named, directly inside its own folder.
  bool isOwnFile(const std::shared_ptr<NSURL>& url) const;
  bool isOwnFile(const std::shared_ptr<NSURL>& url, const std::filesystem::path& normalFolder) const;

  Mapping mapping_;
  std::vector<std::string> order_;
  std::shared_ptr<PThreadMutex> mutex_;
  // Used only when the mutex could not be made, so that the cache is never unguarded.
  std::recursive_mutex fallbackLock_;
  // How deep the calling thread is in the lock, and whether the archives wait to be written.
  int depth_ = 0;
  bool dirty_ = false;
  bool writeQueued_ = false;
  int archiveHolds_ = 0;
  // Files of trimmed keys that wait for the cache's queue.
  std::vector<std::string> trimmedFiles_;
  // The folder whose archives wait: the home may change before the write runs.
  std::string pendingFolder_;
  std::shared_ptr<DispatchQueue> archiveQueue_;
  // Orders whole writes, so that an older snapshot never lands after a newer one.
  std::mutex writeLock_;
  // The spare copies kept beside the archives for the next write (see flushArchives): their
  // names end in this cache's own suffix; the folder they were last written in. Under writeLock_.
  const std::string spareSuffix_;
  std::filesystem::path spareFolder_;
};
