#pragma once
// Fetches the preview media (GIF, PNG or MP4 files) that the cells of a GIF grid show, with
// progress, and puts every finished file into the media cache. Media already cached, or a
// local file, is answered at once on the caller's thread without a download. Downloads are
// capped: one that passes the size limit stops and is reported as too large, and its URL is
// answered as too large at once for the rest of the process.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/appkit/NSImage.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/NSURLSessionDelegate.h"
#include "platform/foundation/NSURLSessionTask.h"

// The kind of media requested; its raw value travels in the task's description.
enum class DownloadFileType { gif, png, mp4 };
// "gif", "png" or "mp4".
std::string_view rawValue(DownloadFileType type);
// The type of exactly "gif", "png" or "mp4"; anything else gives none.
std::optional<DownloadFileType> downloadFileTypeFromRawValue(std::string_view raw);

enum class DownloadCompleteStatus : std::int32_t {
  completed = 0,          // the media is in the cache under the given key
  localFileDetected = 1,  // the URL names a local file: read it directly; no key
  fileTooLarge = 2,       // the media is larger than the limit (cached, or refused mid-download)
  failedToDownload = 3,   // the download failed or gave no usable file
};

class CollectionViewGifDownloaderDelegate {
 public:
  virtual ~CollectionViewGifDownloaderDelegate() = default;
  // Bytes written divided by bytes expected; -1 when the server did not say how many.
  virtual void didProgress(const std::shared_ptr<NSURL>& url, double percentage) = 0;
  virtual void downloadCompletedWithUrl(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& cacheKey,
                                        std::optional<DownloadFileType> fileType, DownloadCompleteStatus status) = 0;
};

class CollectionViewGifDownloader : public NSObject, public NSURLSessionDelegate {
 public:
  using Tasks = std::unordered_map<std::string, std::shared_ptr<NSURLSessionTask>>;

  struct Constants {
    // Decimal on purpose: not 10 MiB.
    static constexpr std::uint64_t maximumFileSize = 10'000'000;
  };

  static std::shared_ptr<CollectionViewGifDownloader> make();

  // Held weakly: the grid that owns the downloader is its delegate.
  std::shared_ptr<CollectionViewGifDownloaderDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<CollectionViewGifDownloaderDelegate>& delegate);

  // Running download tasks by the absolute text of the requested URL.
  Tasks activeDownloadTasks() const;
  void setActiveDownloadTasks(Tasks tasks);
  // The download session, made by the first download.
  std::shared_ptr<NSURLSession> downloadSession() const;
  void setDownloadSession(std::shared_ptr<NSURLSession> session);

  // What the media a report named is read from: the local file's bytes, or the cached file
  // itself (a large GIF's frames are read from it as they are decoded, not all its bytes at
  // once); none when there is none or it cannot be read. It reads the disk: for threads other
  // than the main one.
  static NSImage::Input sourceOfMedia(const std::string& url, const std::optional<std::string>& cacheKey,
                                      DownloadCompleteStatus status);

  // Answers cached and local media at once, otherwise starts a download.
  void downloadMedia(const std::shared_ptr<NSURL>& url, DownloadFileType type);
  // Cancels and forgets the URL's running task; a cancelled task reports nothing.
  void cancel(const std::shared_ptr<NSURL>& url);
  void cancelAll();

  GLIMDECK_OBJECT(CollectionViewGifDownloader)

  // The session's reports, on its delegate queue.
  void URLSession(const std::shared_ptr<NSURLSession>& session, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                  std::int64_t didWriteData, std::int64_t totalBytesWritten,
                  std::int64_t totalBytesExpectedToWrite) override;
  void URLSession(const std::shared_ptr<NSURLSession>& session, const std::shared_ptr<NSURLSessionDownloadTask>& task,
                  const std::shared_ptr<NSURL>& didFinishDownloadingToURL) override;
  void URLSession(const std::shared_ptr<NSURLSession>& session, const std::shared_ptr<NSURLSessionTask>& task,
                  const std::shared_ptr<NSError>& didCompleteWithError) override;
  using NSURLSessionDelegate::URLSession;

 private:
  CollectionViewGifDownloader() = default;
 public:
  ~CollectionViewGifDownloader() override;

 private:
  void report(const std::shared_ptr<NSURL>& url, const std::optional<std::string>& key,
              std::optional<DownloadFileType> type, DownloadCompleteStatus status);
  // Forgets the URL's task when it is still this one (a later request may have replaced it,
  // or a cancel forgotten it); false when it was not.
  bool forget(const std::string& key, const std::shared_ptr<NSURLSessionTask>& task);
  // Holds the cache's archive writes while any download is under way, so that a page of
  // GIFs rewrites them once when the last one ends rather than during the transfers.
  void holdArchivesWhileBusy();
  struct ArchiveRelease;

  mutable std::mutex mutex_;  // guards what follows: the main thread and the session's queue meet here
  std::weak_ptr<CollectionViewGifDownloaderDelegate> delegate_;
  Tasks activeDownloadTasks_;
  std::shared_ptr<NSURLSession> downloadSession_;
  // Tasks whose finish has been answered, so that their end is not answered again.
  std::unordered_set<std::uint64_t> answered_;
  bool holdingArchives_ = false;
};
