#include "tests/support/StandinFixture.h"

#include <algorithm>
#include <cstdlib>

#include "service/Webapp.h"

namespace {

// One server per test program: starting one per test would cost a catalogue and a port
// each time. It lives until the program exits.
std::shared_ptr<StandinServer>& sharedServer() {
  static std::shared_ptr<StandinServer> server;
  return server;
}

}  // namespace

void StandinTest::SetUp() {
  GlimdeckTest::SetUp();
  auto& server = sharedServer();
  if (!server) {
    auto made = StandinServer::make();
    auto started = made->start(0);
    ASSERT_TRUE(started.has_value()) << "the stand-in did not start: " << started.error();
    server = made;
  }
  standin_ = server;
  standin_->clearFaults();
  standin_->releaseStalls();
  standin_->clearLog();
  standin_->state().reset();
  routesAtStart_ = standin_->routeCount();
  setenv("GLIMDECK_SERVICE_URL", standin_->baseURL().c_str(), 1);
}

void StandinTest::TearDown() {
  if (standin_) {
    // Nothing a test set up may reach the next one: held replies go, rules and routes too.
    standin_->clearFaults();
    standin_->releaseStalls();
    standin_->removeRoutesAfter(routesAtStart_);
    // What the test sent without waiting for a reply (analytics events) is let arrive here,
    // not in the next test's log. A task that never ends is not waited for long.
    if (auto session = Webapp::session()) {
      runUntil([&] {
        return std::ranges::none_of(session->allTasks(),
                                    [](const auto& task) { return task->state() == NSURLSessionTask::State::running; });
      }, 5.0);
    }
  }
  unsetenv("GLIMDECK_SERVICE_URL");
  GlimdeckTest::TearDown();
}
