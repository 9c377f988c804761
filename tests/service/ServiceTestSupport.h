#pragma once
// Shared pieces of the service client's suites: a thread-safe box for what a callback
// delivered on the session's queue, and a fixture that starts every test without a shared
// session, with the stand-in's service routes and the bundle's own Info dictionary.

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/Webapp.h"
#include "tests/support/StandinFixture.h"

// What one callback delivered; callbacks run on a background queue, tests read on the main thread.
template <typename Value>
class CallbackBox {
 public:
  void put(Value value) {
    std::lock_guard lock(mutex_);
    values_.push_back(std::move(value));
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return values_.size();
  }
  Value first() const {
    std::lock_guard lock(mutex_);
    return values_.front();
  }
  std::vector<Value> all() const {
    std::lock_guard lock(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Value> values_;
};

class ServiceTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    Webapp::setSession(nullptr);
    NSBundle::mainBundle()->setInfoDictionary(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
  }
  void TearDown() override {
    Webapp::setSession(nullptr);
    NSBundle::mainBundle()->setInfoDictionary(nullptr);
    NSUserDefaults::resetStandardUserDefaults();
    StandinTest::TearDown();
  }

  // Requests whose path is `path`, as logged so far.
  std::vector<StandinRequest> requestsFor(const std::string& path) {
    std::vector<StandinRequest> found;
    for (auto& request : standin().requests()) {
      if (request.path == path) found.push_back(request);
    }
    return found;
  }
  std::optional<StandinRequest> waitFor(const std::string& path, double timeout = 5.0) {
    return standin().waitForRequest([path](const StandinRequest& r) { return r.path == path; }, timeout);
  }
  // Sends a marker request on the shared session and waits for it, so that anything sent
  // before it on that session has had its chance to arrive.
  void flushThroughMarker() {
    Webapp::requestURLWithUrl(NSURL::URLWithString(standinURL("/_standin/echo?marker=1")), std::nullopt, nullptr);
    ASSERT_TRUE(waitFor("/_standin/echo"));
  }
};
