#pragma once
// The local stand-in of the GIF service: an HTTP server on 127.0.0.1 that answers the
// requests the application sends, serves a generated catalogue and its media, keeps a log
// of what it received and misbehaves on request (see Fault).
//
// Built in: "/media/..." (see Catalogue), "/_standin/echo" (the request as JSON),
// "/_standin/bytes?n=N[&chunked=1]" (N bytes), "/_standin/log" (GET: the log as JSON,
// DELETE: clear it), "/_standin/state" (what the state holds, as JSON: see
// StandinState::stateObject) and POST "/_standin/release" (releases stalled replies).
//
// Routes are matched in the order they were added (later additions first, so a test can
// override a built-in answer); the pattern is a regular expression over the whole path.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "standin/Catalogue.h"
#include "standin/Fault.h"
#include "standin/StandinRequest.h"
#include "standin/StandinResponse.h"
#include "standin/StandinState.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class StandinServer : public NSObject {
 public:
  using Handler = std::function<void(const StandinRequest&, StandinResponse&, const Catalogue&)>;
  using Predicate = std::function<bool(const StandinRequest&)>;
  static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();
  // The log keeps this many requests; older ones fall off.
  static constexpr std::size_t logCapacity = 10'000;
  // The log keeps a body (and its parts' contents) only up to this size, and the bodies it
  // keeps together up to the budget: past it the oldest lose theirs. Their length stays.
  static constexpr std::size_t logBodyLimit = 1 << 20;
  static constexpr std::size_t logBodyBudget = 16 << 20;

  // `itemCount` sizes the catalogue: a benchmark scrolls through more items than tests need.
  static std::shared_ptr<StandinServer> make(std::uint64_t seed = Catalogue::defaultSeed,
                                             std::size_t itemCount = Catalogue::defaultItemCount);
  ~StandinServer() override;
  GLIMDECK_OBJECT(StandinServer)

  // Listens on 127.0.0.1: on a free port when `port` is 0. Answers the port or why not.
  std::expected<int, std::string> start(int port = 0);
  // Stops listening, releases stalled replies and closes open connections. Idempotent.
  void stop();
  bool isRunning() const;
  int port() const;
  // "http://127.0.0.1:N", without a trailing slash.
  std::string baseURL() const;

  // Adds a route; `method` is "GET", "POST", "PUT", "PATCH", "DELETE" or "*" for any.
  // A GET route also answers HEAD.
  void addRoute(std::string method, const std::string& pattern, Handler handler);
  // How many routes there are, and a way back to that count: a test fixture removes the
  // routes a test added so that they do not leak into the next test.
  std::size_t routeCount() const;
  void removeRoutesAfter(std::size_t count);

  // The request log, oldest first. Requests for the log and the state are not recorded.
  std::vector<StandinRequest> requests() const;
  void clearLog();
  // The first logged request (already received or still to come) that matches, or nothing
  // after `timeout` seconds of real time.
  std::optional<StandinRequest> waitForRequest(const Predicate& predicate, double timeout);

  // Applies `fault` to the next `count` requests whose path starts with `pathPrefix` (the
  // log and release controls excepted). Every matching rule applies to a request.
  void injectFault(std::string pathPrefix, Fault fault, std::size_t count = unlimited);
  void clearFaults();
  // Lets every reply held by a "stall" fault go on.
  void releaseStalls();
  // How many replies are held by a stall right now.
  std::size_t stalledCount() const;

  // The catalogue served, with media addresses on baseURL(). start() makes it anew for the
  // address it listens on, so a reference is good until the next start().
  const Catalogue& catalogue() const { return *catalogue_; }
  // Accounts, collections and uploads, kept for the server's life (see StandinState).
  StandinState& state() { return *state_; }
  std::shared_ptr<StandinState> sharedState() { return state_; }

 private:
  StandinServer(std::uint64_t seed, std::size_t itemCount);

  struct Route {
    std::string method;
    std::regex pattern;
    Handler handler;
  };
  struct FaultRule {
    std::string pathPrefix;
    Fault fault;
    std::size_t remaining;
  };

  void addBuiltinRoutes();
  void handle(const httplib::Request& req, httplib::Response& res);
  void record(StandinRequest& request);
  std::vector<Fault> faultsFor(const std::string& path);
  // Waits real time; false when the server began stopping meanwhile.
  bool pause(double seconds);
  bool holdUntilReleased();
  void route(StandinRequest& request, StandinResponse& response);
  void dropConnection(int remotePort);

  std::uint64_t seed_;
  std::size_t itemCount_;
  std::shared_ptr<Catalogue> catalogue_;
  std::shared_ptr<StandinState> state_ = std::make_shared<StandinState>();
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  int port_ = 0;
  bool running_ = false;

  mutable std::mutex routesMutex_;
  std::vector<Route> routes_;

  mutable std::mutex mutex_;  // guards what follows
  std::condition_variable changed_;
  std::deque<StandinRequest> log_;
  std::size_t logBodyBytes_ = 0;  // the bodies the log keeps, together
  std::uint64_t nextSequence_ = 1;
  std::vector<FaultRule> faultRules_;
  std::uint64_t stallGeneration_ = 0;
  std::size_t stalled_ = 0;
  bool stopping_ = false;
};
