#pragma once
// The settings a URL session is made with. Each session keeps its own copy.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSURLRequest.h"

class NSURLSessionConfiguration : public NSObject {
 public:
  // A fresh configuration with the platform's defaults; every call gives a new one.
  static std::shared_ptr<NSURLSessionConfiguration> defaultSessionConfiguration();
  // The same defaults; this platform keeps no cookies, cache or credentials on disk anyway.
  static std::shared_ptr<NSURLSessionConfiguration> ephemeralSessionConfiguration();
  std::shared_ptr<NSURLSessionConfiguration> copy() const;

  // Sent with every request of the session; a request's own header of the same name wins.
  HTTPHeaderFields HTTPAdditionalHeaders;
  // The request's time-out (the shorter of this and the request's own), in seconds: how long
  // a request may wait for a connection, and the window over which a transfer must keep up
  // at least 1 KB a second (waiting for the reply to begin included).
  double timeoutIntervalForRequest = 60.0;
  // Seconds a whole task may take from its start. A few minutes: a 10 MB GIF on a slow line
  // arrives; a server that holds on to a transfer does not keep it for days.
  double timeoutIntervalForResource = 300.0;
  // The largest response body a task accepts; a longer one fails the task with
  // NSURLError::dataLengthExceedsMaximum and stops the transfer. Media of the grids is
  // cached up to 10,000,000 bytes, so the default leaves room above that.
  std::int64_t maximumBodySize = 16 * 1024 * 1024;
  // The folder download tasks write their files into; empty means the platform's temporary
  // folder. A receiver that keeps the files names a folder on their final file system, so
  // that it can move them there with a rename instead of a copy.
  std::string downloadDirectory;

  std::string className() const override { return "NSURLSessionConfiguration"; }

 private:
  NSURLSessionConfiguration() = default;
};
