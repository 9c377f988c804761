#pragma once
// One request of a URL session. Tasks start suspended; resume() starts them. Each task
// ends exactly once: with its completion handler, or else with the delegate's
// didCompleteWithError, on the session's delegate queue.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURLRequest.h"
#include "platform/foundation/NSURLResponse.h"

class NSURLSession;

using NSURLSessionDataCompletion =
    std::function<void(std::shared_ptr<NSData>, std::shared_ptr<NSURLResponse>, std::shared_ptr<NSError>)>;
using NSURLSessionDownloadCompletion =
    std::function<void(std::shared_ptr<NSURL>, std::shared_ptr<NSURLResponse>, std::shared_ptr<NSError>)>;

class NSURLSessionTask : public NSObject {
 public:
  enum class State { running, suspended, canceling, completed };
  enum class Kind { data, upload, download };

  // Starts a suspended task; does nothing otherwise.
  void resume();
  // Stops the task; its completion (or didCompleteWithError) gets NSURLErrorDomain /
  // NSURLError::cancelled, unless it had already ended.
  void cancel();
  // Only a task that has not started can wait; a running task goes on.
  void suspend() {}

  std::uint64_t taskIdentifier() const { return identifier_; }
  Kind kind() const { return kind_; }
  State state() const;
  // The request as it was when the task was made.
  const std::shared_ptr<NSURLRequest>& originalRequest() const { return request_; }
  const std::shared_ptr<NSURLRequest>& currentRequest() const { return request_; }
  // The server's answer once its header has arrived, else empty.
  std::shared_ptr<NSURLResponse> response() const;
  // Why the task failed, once it has ended.
  std::shared_ptr<NSError> error() const;
  std::string taskDescription() const;
  void setTaskDescription(std::string description);
  std::shared_ptr<NSURLSession> session() const { return session_; }

  std::int64_t countOfBytesReceived() const { return bytesReceived_.load(); }
  std::int64_t countOfBytesExpectedToReceive() const { return bytesExpectedToReceive_.load(); }
  std::int64_t countOfBytesSent() const { return bytesSent_.load(); }
  std::int64_t countOfBytesExpectedToSend() const { return bytesExpectedToSend_.load(); }

  std::string className() const override;

 protected:
  // True once cancel() has taken effect (the task may not have ended yet).
  bool wasCancelled() const;

  NSURLSessionTask(Kind kind, std::shared_ptr<NSURLSession> session, std::uint64_t identifier,
                   std::shared_ptr<NSURLRequest> request);

 private:
  friend class NSURLSession;
  friend class URLSessionEngine;
  friend struct URLSessionEngineState;
  friend struct URLSessionTransfer;

  const Kind kind_;
  const std::shared_ptr<NSURLSession> session_;
  const std::uint64_t identifier_;
  const std::shared_ptr<NSURLRequest> request_;

  mutable std::mutex mutex_;
  State state_ = State::suspended;
  // Set when the task's outcome is decided; its state turns completed only when the outcome
  // is delivered, so a task still counts among the session's until its completion has run.
  bool ended_ = false;
  std::shared_ptr<NSURLResponse> response_;
  std::shared_ptr<NSError> error_;
  std::string description_;
  // At most one is set; cleared once called so that captures are let go.
  NSURLSessionDataCompletion dataCompletion_;
  NSURLSessionDownloadCompletion downloadCompletion_;

  std::atomic<std::int64_t> bytesReceived_{0};
  std::atomic<std::int64_t> bytesExpectedToReceive_{-1};
  std::atomic<std::int64_t> bytesSent_{0};
  std::atomic<std::int64_t> bytesExpectedToSend_{0};
};

class NSURLSessionDataTask : public NSURLSessionTask {
 protected:
  friend class NSURLSession;
  using NSURLSessionTask::NSURLSessionTask;
};

// A data task whose request body is given apart from the request.
class NSURLSessionUploadTask : public NSURLSessionDataTask {
 protected:
  friend class NSURLSession;
  using NSURLSessionDataTask::NSURLSessionDataTask;
};

class NSURLSessionDownloadTask : public NSURLSessionTask {
 protected:
  friend class NSURLSession;
  using NSURLSessionTask::NSURLSessionTask;
};
