#pragma once
// The one network loop behind every URL session: a libcurl multi handle that runs all
// transfers at once, at most six to a host (more wait their turn). Sessions and tasks talk
// to it; nothing else should. The loop runs on a thread of the queues' pool while it has
// transfers, and hands the thread back when it has none; the thread that ends the last
// transfer delivers that transfer's outcome itself when the session's queue is free (one
// thread woken less for a lone request), and a task started from another thread meanwhile
// waits for it to be done (up to a quarter of a millisecond) rather than wake another thread
// to be the loop. A process shutdown (ProcessShutdown.h) ends every transfer as cancelled.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class NSError;
class NSURL;
class NSURLSessionTask;
struct URLSessionEngineState;

class URLSessionEngine {
 public:
  static URLSessionEngine& shared();

  // Starts the task's transfer; the engine keeps the task (and so its session) alive
  // until the transfer ends and its outcome is handed to the session.
  void start(std::shared_ptr<NSURLSessionTask> task);
  // Stops the task's transfer, if it still runs, and ends the task as cancelled.
  void cancel(std::shared_ptr<NSURLSessionTask> task);

  // The start of the names of download files in Paths::temporary(): the application's name
  // in lower case, then "-download-".
  static const std::string& downloadFilePrefix();
  // Whether a reply from `fromURL` may send the transfer on to `location`: anywhere, except
  // from https to plain http.
  static bool mayFollowRedirect(std::string_view fromURL, std::string_view location);

  URLSessionEngine(const URLSessionEngine&) = delete;
  URLSessionEngine& operator=(const URLSessionEngine&) = delete;

 private:
  URLSessionEngine();
  URLSessionEngineState* state_;
};

// An error of NSURLErrorDomain naming the URL that failed.
std::shared_ptr<NSError> makeURLError(std::int64_t code, std::string description, const std::shared_ptr<NSURL>& url);
