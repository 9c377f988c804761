#pragma once
// What a URL session tells its delegate. Every operation is optional: override those you
// need (and say `using NSURLSessionDelegate::URLSession;` so the others stay visible). They
// run on the session's delegate queue. The session holds its delegate weakly: the owner of
// a session is often its delegate, and a released delegate simply hears nothing. Progress
// queued before a task was cancelled is not delivered after the cancellation.

#include <cstdint>
#include <memory>

class NSData;
class NSError;
class NSURL;
class NSURLSession;
class NSURLSessionTask;
class NSURLSessionDataTask;
class NSURLSessionDownloadTask;

class NSURLSessionDelegate {
 public:
  virtual ~NSURLSessionDelegate() = default;

  // The session has finished invalidating (no error after finishTasksAndInvalidate or
  // invalidateAndCancel).
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSError>& /*didBecomeInvalidWithError*/) {}

  // A piece of the body of a data task without a completion handler.
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSURLSessionDataTask>& /*dataTask*/,
                          const std::shared_ptr<NSData>& /*didReceiveData*/) {}

  // Progress of a download: the bytes just written, all so far, and the expected total
  // (-1 when the server did not say).
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSURLSessionDownloadTask>& /*downloadTask*/,
                          std::int64_t /*didWriteData*/, std::int64_t /*totalBytesWritten*/,
                          std::int64_t /*totalBytesExpectedToWrite*/) {}

  // A download without a completion handler has finished into a temporary file. The file
  // is removed when this returns: move or read it here.
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSURLSessionDownloadTask>& /*downloadTask*/,
                          const std::shared_ptr<NSURL>& /*didFinishDownloadingToURL*/) {}

  // Progress of a request body: the bytes just sent, all so far, and the body's size.
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSURLSessionTask>& /*task*/, std::int64_t /*didSendBodyData*/,
                          std::int64_t /*totalBytesSent*/, std::int64_t /*totalBytesExpectedToSend*/) {}

  // The end of a task without a completion handler: no error, or why it failed.
  virtual void URLSession(const std::shared_ptr<NSURLSession>& /*session*/,
                          const std::shared_ptr<NSURLSessionTask>& /*task*/,
                          const std::shared_ptr<NSError>& /*didCompleteWithError*/) {}
};
