#include "platform/foundation/NSURLSessionConfiguration.h"

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::defaultSessionConfiguration() {
  return std::shared_ptr<NSURLSessionConfiguration>(new NSURLSessionConfiguration());
}

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::ephemeralSessionConfiguration() {
  return defaultSessionConfiguration();
}

std::shared_ptr<NSURLSessionConfiguration> NSURLSessionConfiguration::copy() const {
  auto configuration = defaultSessionConfiguration();
  configuration->HTTPAdditionalHeaders = HTTPAdditionalHeaders;
  configuration->timeoutIntervalForRequest = timeoutIntervalForRequest;
  configuration->timeoutIntervalForResource = timeoutIntervalForResource;
  configuration->maximumBodySize = maximumBodySize;
  configuration->downloadDirectory = downloadDirectory;
  return configuration;
}
