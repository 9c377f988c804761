#pragma once
// HTTP(S) transfers. All sessions share one network loop (libcurl's multi interface);
// completions and delegate calls run on each session's serial delegate queue. A running
// task keeps its session alive, so a session may be let go while its tasks run.

#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURLSessionConfiguration.h"
#include "platform/foundation/NSURLSessionDelegate.h"
#include "platform/foundation/NSURLSessionTask.h"

class NSURLSession : public NSObject {
 public:
  // A process-wide session without a delegate; invalidating it does nothing.
  static std::shared_ptr<NSURLSession> sharedSession();
  static std::shared_ptr<NSURLSession> sessionWithConfiguration(
      const std::shared_ptr<NSURLSessionConfiguration>& configuration);
  // Without a queue the session makes a serial queue of its own. The delegate is held weakly.
  static std::shared_ptr<NSURLSession> sessionWithConfiguration(
      const std::shared_ptr<NSURLSessionConfiguration>& configuration,
      const std::shared_ptr<NSURLSessionDelegate>& delegate, std::shared_ptr<DispatchQueue> delegateQueue);

  // A copy: changing it does not change the session.
  std::shared_ptr<NSURLSessionConfiguration> configuration() const { return configuration_->copy(); }
  std::shared_ptr<NSURLSessionDelegate> delegate() const;
  const std::shared_ptr<DispatchQueue>& delegateQueue() const { return delegateQueue_; }

  // Tasks come back suspended. With a completion handler the body (or the downloaded
  // file) goes to the handler and the delegate hears only progress; without one the
  // delegate gets everything.
  std::shared_ptr<NSURLSessionDataTask> dataTaskWithURL(const std::shared_ptr<NSURL>& url,
                                                        NSURLSessionDataCompletion completionHandler = nullptr);
  std::shared_ptr<NSURLSessionDataTask> dataTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            NSURLSessionDataCompletion completionHandler = nullptr);
  // Sends the bytes as the request's body (a POST unless the request names a method).
  std::shared_ptr<NSURLSessionUploadTask> uploadTaskWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                const std::shared_ptr<NSData>& fromData,
                                                                NSURLSessionDataCompletion completionHandler = nullptr);
  // The body goes to a temporary file, handed over as a file URL and removed afterwards.
  std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithURL(
      const std::shared_ptr<NSURL>& url, NSURLSessionDownloadCompletion completionHandler = nullptr);
  std::shared_ptr<NSURLSessionDownloadTask> downloadTaskWithRequest(
      const std::shared_ptr<NSURLRequest>& request, NSURLSessionDownloadCompletion completionHandler = nullptr);

  // No new tasks; running ones finish, then the delegate hears didBecomeInvalidWithError.
  void finishTasksAndInvalidate();
  // As finishTasksAndInvalidate, but every unfinished task is cancelled.
  void invalidateAndCancel();
  // This platform keeps no cookies, cache or credentials per session: the handler runs
  // on the delegate queue once earlier deliveries there are done.
  void resetWithCompletionHandler(std::function<void()> completionHandler);
  // The tasks made here that have not ended.
  std::vector<std::shared_ptr<NSURLSessionTask>> allTasks() const;

  std::string sessionDescription;

  GLIMDECK_OBJECT(NSURLSession)

 private:
  friend class NSURLSessionTask;
  friend class URLSessionEngine;
  friend struct URLSessionEngineState;
  friend struct URLSessionTransfer;

  // A downloaded file, removed from disk when the last holder lets it go.
  struct TemporaryFile {
    explicit TemporaryFile(std::string path) : path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();
    std::string path;
  };
  // What a task ended with.
  struct Outcome {
    std::shared_ptr<NSURLResponse> response;
    std::shared_ptr<NSData> data;        // data tasks with a completion handler
    // A body that arrived compressed is expanded where it is delivered, on the delegate
    // queue: the network thread stays free, and the bytes are made where they are read.
    std::function<std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>>()> expandData;
    std::shared_ptr<TemporaryFile> downloadedFile;  // download tasks that succeeded
    std::shared_ptr<NSError> error;
    // Runs on the delegate queue right before the outcome is delivered, in the same turn
    // (a download's last progress report), so that one wake of the queue does both.
    std::function<void()> before;
  };

  NSURLSession(std::shared_ptr<NSURLSessionConfiguration> configuration,
               std::weak_ptr<NSURLSessionDelegate> delegate, std::shared_ptr<DispatchQueue> delegateQueue,
               bool shared);

  template <typename Task>
  std::shared_ptr<Task> makeTask(NSURLSessionTask::Kind kind, std::shared_ptr<NSURLRequest> request);
  // Counts a task whose end is now on its way (it starts, or is cancelled before it
  // started); false when the session no longer takes tasks.
  bool taskWillEnd();
  // Ends the task once: records the outcome and queues its delivery on the delegate queue.
  void complete(const std::shared_ptr<NSURLSessionTask>& task, Outcome outcome);
  // The same, but the delivery is handed back for the caller to run on the delegate queue
  // (empty when the task had ended already).
  std::function<void()> completeLater(const std::shared_ptr<NSURLSessionTask>& task, Outcome outcome);
  void deliver(const std::shared_ptr<NSURLSessionTask>& task, const Outcome& outcome,
               const NSURLSessionDataCompletion& dataCompletion,
               const NSURLSessionDownloadCompletion& downloadCompletion);
  void taskDidEnd();
  // Tells the delegate the session is invalid, then lets it go. On the delegate queue.
  void reportInvalidation();
  void invalidate(bool cancelTasks);
  // Runs the block on the delegate queue with the delegate, when there still is one.
  void withDelegate(std::function<void(NSURLSessionDelegate&, const std::shared_ptr<NSURLSession>&)> block);
  // The same block made ready to run on the delegate queue, for the caller to queue; empty
  // when the session has no delegate.
  std::function<void()> delegateCall(
      std::function<void(NSURLSessionDelegate&, const std::shared_ptr<NSURLSession>&)> block);

  const std::shared_ptr<NSURLSessionConfiguration> configuration_;
  const std::shared_ptr<DispatchQueue> delegateQueue_;
  const bool shared_;

  mutable std::mutex mutex_;
  std::weak_ptr<NSURLSessionDelegate> delegate_;
  bool hasDelegate_;
  std::vector<std::weak_ptr<NSURLSessionTask>> tasks_;
  std::uint64_t nextIdentifier_ = 1;
  int pending_ = 0;  // counted tasks whose end has not been delivered yet
  bool invalidated_ = false;
  bool invalidationReported_ = false;
};
