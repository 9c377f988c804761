#pragma once
// A requester asks the service for one stream of content, page by page. The base class
// holds what every page of a stream shares: the request URL, the query parameters sent with
// every page (locale, API key and, when known, the install id) and the task in flight.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURLSessionTask.h"
#include "service/Webapp.h"
#include "service/InterfaceFunctions.h"

class VNRequester : public NSObject {
 public:
  using Parameters = StringDictionary;
  using Content = std::vector<std::shared_ptr<NSObject>>;
  // A success flag and the page: (false, nothing) for a failure, (true, a list) for every
  // JSON reply. Called exactly once per fetch.
  using Callback = std::function<void(bool, std::optional<Content>)>;

  struct Constants {
    static constexpr std::string_view localeKey = "locale";
    static constexpr std::string_view apiKey = "key";
    static constexpr std::string_view quorbidKey = "quorbid";
  };

  static std::shared_ptr<VNRequester> init();

  std::string streamID;
  Parameters genericParameters;
  bool hotStreamAvailable = false;
  bool shouldCacheResults = false;
  bool shouldLoadCacheResults = false;
  bool shouldSortStickersToFront = false;

  // The task of the latest fetch (it is replaced on the reply queue's caller side only).
  std::shared_ptr<NSURLSessionDataTask> fetchTask() const;
  void setFetchTask(std::shared_ptr<NSURLSessionDataTask> task);

  virtual bool canFetchMore() const { return false; }
  virtual bool shouldFetchExtra() const { return false; }
  virtual std::string getStreamID() const { return streamID; }
  virtual void addGenericParametersWithGenerics(const Parameters& generics);
  virtual Parameters constructParameters() const { return genericParameters; }
  virtual void fetchWithCallback(Callback callback) { (void)callback; }
  virtual void cancelRequest() {}
  virtual void reset() {}

  std::string className() const override { return "VNRequester"; }

 protected:
  VNRequester() = default;
  // Fills the common parameters; every subclass factory runs it first.
  void setUpCommonParameters();
  // The URL of a page with these parameters, or none when it cannot be formed.
  std::shared_ptr<NSURL> pageURL(const Parameters& parameters) const;

  mutable std::mutex stateMutex_;

 private:
  std::shared_ptr<NSURLSessionDataTask> fetchTask_;
};
