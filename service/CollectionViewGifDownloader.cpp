#include "service/CollectionViewGifDownloader.h"

#include <vector>

#include "model/AppConstants.h"
#include "platform/foundation/NSURLRequest.h"
#include "platform/foundation/NSURLResponse.h"
#include "platform/foundation/NSURLSessionConfiguration.h"
#include "service/AssetCache.h"

std::string_view rawValue(DownloadFileType type) {
  switch (type) {
    case DownloadFileType::png:
      return "png";
    case DownloadFileType::mp4:
      return "mp4";
    case DownloadFileType::gif:
      break;
  }
  return "gif";
}

std::optional<DownloadFileType> downloadFileTypeFromRawValue(std::string_view raw) {
  for (auto type : {DownloadFileType::gif, DownloadFileType::png, DownloadFileType::mp4}) {
    if (raw == rawValue(type)) return type;
  }
  return std::nullopt;
}

namespace {

std::shared_ptr<NSURL> requestedURL(const std::shared_ptr<NSURLSessionTask>& task) {
  if (!task || !task->originalRequest()) return nullptr;
  return task->originalRequest()->URL();
}

// URLs whose media was refused as too large, for the life of the process: a tile configured
// again must not download up to the limit once more only to be refused again.
struct RefusedURLs {
  std::mutex mutex;
  std::unordered_set<std::string> keys;
};

RefusedURLs& refusedURLs() {
  // Never destroyed: the session's queue may still record a refusal while the process exits.
  static auto* refused = new RefusedURLs();
  return *refused;
}

bool wasRefused(const std::string& key) {
  auto& refused = refusedURLs();
  std::lock_guard lock(refused.mutex);
  return refused.keys.contains(key);
}

void rememberRefusal(const std::string& key) {
  auto& refused = refusedURLs();
  std::lock_guard lock(refused.mutex);
  refused.keys.insert(key);
}

}  // namespace

std::shared_ptr<CollectionViewGifDownloader> CollectionViewGifDownloader::make() {
  return create();
}

CollectionViewGifDownloader::~CollectionViewGifDownloader() {
  if (holdingArchives_) AssetCache::shared()->releaseArchives();
}

// Each change of busy to idle or back is recorded under the lock and answered by exactly one
// call, so the cache's count ends right even when two threads' calls cross.
void CollectionViewGifDownloader::holdArchivesWhileBusy() {
  bool busy = false;
  {
    std::lock_guard lock(mutex_);
    busy = !activeDownloadTasks_.empty();
    if (busy == holdingArchives_) return;
    holdingArchives_ = busy;
  }
  if (busy) {
    AssetCache::shared()->holdArchives();
  } else {
    AssetCache::shared()->releaseArchives();
  }
}

// Answers the end of a download's bookkeeping when the handler that ended it returns.
struct CollectionViewGifDownloader::ArchiveRelease {
  CollectionViewGifDownloader& downloader;
  ~ArchiveRelease() { downloader.holdArchivesWhileBusy(); }
};

std::shared_ptr<CollectionViewGifDownloaderDelegate> CollectionViewGifDownloader::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void CollectionViewGifDownloader::setDelegate(const std::shared_ptr<CollectionViewGifDownloaderDelegate>& delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

CollectionViewGifDownloader::Tasks CollectionViewGifDownloader::activeDownloadTasks() const {
  std::lock_guard lock(mutex_);
  return activeDownloadTasks_;
}

void CollectionViewGifDownloader::setActiveDownloadTasks(Tasks tasks) {
  {
    std::lock_guard lock(mutex_);
    activeDownloadTasks_ = std::move(tasks);
  }
  holdArchivesWhileBusy();
}

std::shared_ptr<NSURLSession> CollectionViewGifDownloader::downloadSession() const {
  std::lock_guard lock(mutex_);
  return downloadSession_;
}

void CollectionViewGifDownloader::setDownloadSession(std::shared_ptr<NSURLSession> session) {
  std::lock_guard lock(mutex_);
  downloadSession_ = std::move(session);
}

void CollectionViewGifDownloader::report(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& key,
                                         std::optional<DownloadFileType> type, DownloadCompleteStatus status) {
  if (auto delegate = this->delegate()) delegate->downloadCompletedWithUrl(url, key, type, status);
}

NSImage::Input CollectionViewGifDownloader::sourceOfMedia(const std::string& url,
                                                         const std::optional<std::string>& cacheKey,
                                                         DownloadCompleteStatus status) {
  if (status == DownloadCompleteStatus::localFileDetected) {
    auto local = NSURL::URLWithString(url);
    return local ? contentsOfLocalGifFile(local->path()) : nullptr;
  }
  // Drops a missing file, or anything but a plain file of the cache's, from the cache.
  if (status == DownloadCompleteStatus::completed && cacheKey) {
    if (auto file = AssetCache::shared()->storagePathForKey(*cacheKey)) return std::filesystem::path(file->path());
  }
  return nullptr;
}

void CollectionViewGifDownloader::downloadMedia(const std::shared_ptr<NSURL>& url, DownloadFileType type) {
  if (!url) return;
  const std::string& key = url->absoluteString();
  auto cache = AssetCache::shared();
  if (auto cached = cache->storagePathForKey(key)) {
    auto status = fileSizeAtURL(cached) > Constants::maximumFileSize ? DownloadCompleteStatus::fileTooLarge
                                                                      : DownloadCompleteStatus::completed;
    report(url, key, type, status);
    return;
  }
  if (url->isFileURL()) {
    report(url, std::nullopt, type, DownloadCompleteStatus::localFileDetected);
    return;
  }
  if (wasRefused(key)) {
    report(url, std::nullopt, type, DownloadCompleteStatus::fileTooLarge);
    return;
  }

  std::shared_ptr<NSURLSession> session;
  {
    std::lock_guard lock(mutex_);
    if (!downloadSession_) {
      auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
      // A body past the limit stops the transfer instead of filling memory and disk.
      configuration->maximumBodySize = static_cast<std::int64_t>(Constants::maximumFileSize);
      // Downloads land beside the cache's files, so that each is moved in by a rename.
      configuration->downloadDirectory = AssetCache::shared()->systemCachePath()->path();
      downloadSession_ = NSURLSession::sessionWithConfiguration(
          configuration, std::shared_ptr<NSURLSessionDelegate>(sharedAs<CollectionViewGifDownloader>()), nullptr);
    }
    session = downloadSession_;
  }
  auto task = session->downloadTaskWithURL(url);
  task->setTaskDescription(std::string(rawValue(type)));
  {
    // Kept before the task starts, so that even a reply faster than this thread finds it.
    std::lock_guard lock(mutex_);
    activeDownloadTasks_[key] = task;
  }
  holdArchivesWhileBusy();
  task->resume();
}

void CollectionViewGifDownloader::cancel(const std::shared_ptr<NSURL>& url) {
  if (!url) return;
  std::shared_ptr<NSURLSessionTask> task;
  {
    std::lock_guard lock(mutex_);
    auto entry = activeDownloadTasks_.find(url->absoluteString());
    if (entry == activeDownloadTasks_.end()) return;
    task = entry->second;
    activeDownloadTasks_.erase(entry);
  }
  holdArchivesWhileBusy();
  if (task) task->cancel();
}

void CollectionViewGifDownloader::cancelAll() {
  std::vector<std::shared_ptr<NSURLSessionTask>> tasks;
  {
    std::lock_guard lock(mutex_);
    for (auto& [key, task] : activeDownloadTasks_) tasks.push_back(std::move(task));
    activeDownloadTasks_.clear();
  }
  holdArchivesWhileBusy();
  for (const auto& task : tasks) {
    if (task) task->cancel();
  }
}

bool CollectionViewGifDownloader::forget(const std::string& key, const std::shared_ptr<NSURLSessionTask>& task) {
  std::lock_guard lock(mutex_);
  auto entry = activeDownloadTasks_.find(key);
  if (entry == activeDownloadTasks_.end() || entry->second != task) return false;
  activeDownloadTasks_.erase(entry);
  return true;
}

void CollectionViewGifDownloader::URLSession(const std::shared_ptr<NSURLSession>&,
                                             const std::shared_ptr<NSURLSessionDownloadTask>& task, std::int64_t,
                                             std::int64_t totalBytesWritten, std::int64_t totalBytesExpectedToWrite) {
  auto url = requestedURL(task);
  auto delegate = this->delegate();
  if (!url || !delegate) return;
  // An unknown length is reported as -1, never divided by.
  double fraction = totalBytesExpectedToWrite > 0
                        ? static_cast<double>(totalBytesWritten) / static_cast<double>(totalBytesExpectedToWrite)
                        : -1.0;
  delegate->didProgress(url, fraction);
}

void CollectionViewGifDownloader::URLSession(const std::shared_ptr<NSURLSession>&,
                                             const std::shared_ptr<NSURLSessionDownloadTask>& task,
                                             const std::shared_ptr<NSURL>& location) {
  auto type = downloadFileTypeFromRawValue(task->taskDescription());
  auto url = requestedURL(task);
  {
    std::lock_guard lock(mutex_);
    answered_.insert(task->taskIdentifier());
  }
  if (!url) {
    report(nullptr, std::nullopt, type, DownloadCompleteStatus::failedToDownload);
    return;
  }
  const std::string key = url->absoluteString();
  // A task cancelled (or replaced by a later request for its URL) while its reply was
  // already arriving is no longer ours: it neither fills the cache nor reports.
  if (!forget(key, task)) return;
  // Released once the file is in the cache, so that the last download's store joins the burst.
  ArchiveRelease release{*this};

  // Only a successful reply is media; an error page must never be cached as a GIF.
  auto response = std::dynamic_pointer_cast<NSHTTPURLResponse>(task->response());
  bool successful = !response || (response->statusCode() >= 200 && response->statusCode() < 300);
  if (!successful || !location) {
    report(url, std::nullopt, type, DownloadCompleteStatus::failedToDownload);
    return;
  }
  std::string suffix(type ? rawValue(*type) : rawValue(DownloadFileType::gif));
  if (!AssetCache::shared()->cacheAssetWithFile(location->path(), key, suffix)) {
    report(url, std::nullopt, type, DownloadCompleteStatus::failedToDownload);
    return;
  }
  report(url, key, type, DownloadCompleteStatus::completed);
}

void CollectionViewGifDownloader::URLSession(const std::shared_ptr<NSURLSession>&,
                                             const std::shared_ptr<NSURLSessionTask>& task,
                                             const std::shared_ptr<NSError>& error) {
  bool answered = false;
  {
    std::lock_guard lock(mutex_);
    answered = answered_.erase(task->taskIdentifier()) != 0;
  }
  if (answered) return;
  auto url = requestedURL(task);
  auto type = downloadFileTypeFromRawValue(task->taskDescription());
  // A cancelled task was forgotten by whoever cancelled it and reports nothing.
  if (url && !forget(url->absoluteString(), task)) return;
  ArchiveRelease release{*this};
  if (error && error->domain() == NSError::NSURLErrorDomain && error->code() == NSURLError::cancelled) return;
  bool tooLarge = error && error->domain() == NSError::NSURLErrorDomain &&
                  error->code() == NSURLError::dataLengthExceedsMaximum;
  if (tooLarge && url) rememberRefusal(url->absoluteString());
  report(url, std::nullopt, type,
         tooLarge ? DownloadCompleteStatus::fileTooLarge : DownloadCompleteStatus::failedToDownload);
}
