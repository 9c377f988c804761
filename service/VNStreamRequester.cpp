#include "service/VNStreamRequester.h"

#include "model/VNTag.h"
#include "model/VornObject.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "service/InterfaceFunctions.h"

std::shared_ptr<VNStreamRequester> VNStreamRequester::init() {
  std::shared_ptr<VNStreamRequester> requester(new VNStreamRequester());
  requester->setUpCommonParameters();
  return requester;
}

std::shared_ptr<VNStreamRequester> VNStreamRequester::initWithStreamID(std::string streamID,
                                                                       const std::optional<Parameters>& genericParameters) {
  auto requester = init();
  if (genericParameters) requester->addGenericParametersWithGenerics(*genericParameters);
  requester->streamID = std::move(streamID);
  return requester;
}

std::shared_ptr<VNStreamRequester> VNStreamRequester::getForTermWithTerm(const std::string& term) {
  return initWithStreamID(Webapp::zoltoNewApiURLWithEndpoint(Constants::searchPath),
                          Parameters{{std::string(Constants::tag), term}});
}

std::shared_ptr<VNStreamRequester> VNStreamRequester::getForUserWithUsername(const std::string& username) {
  const std::string tag = username.starts_with("@") ? username : "@" + username;
  return initWithStreamID(Webapp::zoltoNewApiURLWithEndpoint(Constants::searchPath),
                          Parameters{{std::string(Constants::tag), tag}});
}

std::shared_ptr<VNStreamRequester> VNStreamRequester::getForTrendingContent() {
  return initWithStreamID(Webapp::zoltoNewApiURLWithEndpoint(Constants::trendingPath), std::nullopt);
}

std::shared_ptr<VNStreamRequester> VNStreamRequester::getForTagWithTag(const std::shared_ptr<VNTag>& tag) {
  return initWithStreamID(tag ? tag->categoryContentStreamID : std::string(), std::nullopt);
}

std::optional<std::string> VNStreamRequester::streamPosition() const {
  std::lock_guard lock(stateMutex_);
  return streamPosition_;
}

void VNStreamRequester::setStreamPosition(std::optional<std::string> position) {
  std::lock_guard lock(stateMutex_);
  streamPosition_ = std::move(position);
}

bool VNStreamRequester::endOfStream() const {
  std::lock_guard lock(stateMutex_);
  return endOfStream_;
}

void VNStreamRequester::setEndOfStream(bool end) {
  std::lock_guard lock(stateMutex_);
  endOfStream_ = end;
}

VNRequester::Parameters VNStreamRequester::constructParameters() const {
  Parameters parameters;
  if (auto position = streamPosition()) parameters[std::string(Constants::pos)] = *position;
  mergeStringDictionary(parameters, genericParameters);
  return parameters;
}

bool VNStreamRequester::isFetching() const {
  std::lock_guard lock(stateMutex_);
  return fetching_;
}

void VNStreamRequester::reset() {
  std::lock_guard lock(stateMutex_);
  streamPosition_.reset();
  seenPositions_.clear();
}

void VNStreamRequester::fetchWithCallback(Callback callback) {
  std::uint64_t fetch = 0;
  {
    std::lock_guard lock(stateMutex_);
    if (!fetching_) {
      fetching_ = true;
      fetch = ++latestFetch_;
    }
  }
  // Two fetches at once would both ask for the page at the current position.
  if (fetch == 0) {
    if (callback) callback(false, std::nullopt);
    return;
  }
  auto giveUp = [&] {
    {
      std::lock_guard lock(stateMutex_);
      if (latestFetch_ == fetch) fetching_ = false;
    }
    if (callback) callback(false, std::nullopt);
  };
  auto url = pageURL(constructParameters());
  if (!url) return giveUp();
  // The completion keeps the requester until the reply is handled, so that every fetch
  // calls back even when its screen lets the requester go meanwhile.
  auto self = sharedAs<VNStreamRequester>();
  auto asked = streamPosition();
  auto task = Webapp::requestURLWithUrl(url, std::nullopt, [self, callback, asked, fetch](auto data, auto, auto error) {
    self->handleReply(data, error, callback, asked, fetch);
  });
  if (!task) return giveUp();
  setFetchTask(task);
}

void VNStreamRequester::cancelRequest() {
  {
    std::lock_guard lock(stateMutex_);
    // The cancelled fetch is no longer the latest: its reply, whenever it comes, is ignored.
    if (fetching_) ++latestFetch_;
    fetching_ = false;
  }
  if (auto task = fetchTask()) task->cancel();
}

void VNStreamRequester::handleReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                    const Callback& callback, const std::optional<std::string>& askedPosition,
                                    std::uint64_t fetch) {
  // Ends the fetch (with the stream's new state, when it is still the latest) before the
  // callback runs, so that the callback may ask for the next page at once.
  auto conclude = [&](const std::function<void()>& update) {
    std::lock_guard lock(stateMutex_);
    if (fetch != latestFetch_ || !fetching_) return false;
    if (update) update();
    fetching_ = false;
    return true;
  };
  auto finish = [&](bool success, std::optional<Content> content) {
    if (callback) callback(success, std::move(content));
  };
  if (!data || error) {
    conclude(nullptr);
    return finish(false, std::nullopt);
  }

  // Items are read straight from the parser's document, without a tree of value objects.
  Content page;
  std::optional<std::string> next;
  bool emptyReply = false;
  bool unusable = false;
  auto failure = JSONReader::read(data->view(), data->capacity(), [&](const JSONReader::Document& document) {
    simdjson::dom::object reply;
    if (document.root.get(reply) != simdjson::SUCCESS || reply.begin() == reply.end()) {
      emptyReply = true;
      return;
    }
    std::optional<JSONReader::Element> results, nextValue;
    for (auto member : reply) {
      if (member.key == Constants::results) results = member.value;
      if (member.key == Constants::next) nextValue = member.value;
    }
    simdjson::dom::array list;
    bool usable = results && results->get(list) == simdjson::SUCCESS && list.size() > 0;
    if (usable) {
      for (auto element : list) usable = usable && element.is_object();
    }
    if (!usable) {
      unusable = true;
    } else {
      page.reserve(list.size());
      std::size_t index = 0;
      for (auto element : list) {
        auto item = VornObject::initWithNewApiData(element, {data, index++});
        if (!item) continue;  // a malformed item is left out; the rest of the page stands
        (*item)->advertisingDataSingleSaveFlag = true;
        page.push_back(std::move(*item));
      }
    }
    std::string_view text;
    if (nextValue && nextValue->get(text) == simdjson::SUCCESS) next = std::string(text);
  });
  if (failure) {
    conclude(nullptr);
    return finish(false, std::nullopt);
  }
  const bool current = conclude([&] {
    if (emptyReply || unusable) endOfStream_ = true;
    if (emptyReply) return;
    if (askedPosition) seenPositions_.insert(*askedPosition);
    // A missing or empty "next", or one the stream has been at (the position just asked for
    // or an earlier one, as a service that goes round A, B, A... gives), would ask for pages
    // already delivered: the stream ends there.
    if (next) streamPosition_ = *next;
    if (!next || next->empty() || seenPositions_.contains(*next)) endOfStream_ = true;
    if (next) seenPositions_.insert(*next);
  });
  if (!current) return finish(false, std::nullopt);

  // The page is handed over, not copied, unless the collection's delegate reads it after.
  if (!collectionName) return finish(true, std::move(page));
  finish(true, page);
  if (auto delegate = collectionDelegate.lock()) delegate->didFetchWithContent(page, *collectionName);
}
