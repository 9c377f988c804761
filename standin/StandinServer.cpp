#include "standin/StandinServer.h"
#include "standin/AccountRoutes.h"
#include "standin/AdvertisingRoutes.h"
#include "standin/HostileRoutes.h"
#include "standin/CollectionRoutes.h"
#include "standin/MultipartParser.h"
#include "standin/PostRoutes.h"
#include "standin/ServiceRoutes.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "standin/TextHelpers.h"

using standin::text;

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kFaultHeader = "X-Standin-Fault";
constexpr const char* kLogPath = "/_standin/log";
constexpr const char* kReleasePath = "/_standin/release";
constexpr const char* kStatePath = "/_standin/state";
// Generated and chunked bodies go out in pieces of this size.
constexpr std::size_t kPieceSize = 64 * 1024;
// Stalled and delayed replies each hold a worker, so keep plenty of them.
constexpr std::size_t kWorkers = 64;
// Connections waiting to be accepted; see start().
constexpr int kListenBacklog = 128;
// Largest body "/_standin/bytes" makes.
constexpr std::size_t kMaxGeneratedBytes = std::size_t{1} << 31;
// Put before a multipart Content-Type value while the body is read, so that the HTTP
// library keeps the raw bytes instead of splitting them into parts (its splitter loses the
// names of parts written `name="x";`); taken off again when the request is recorded.
constexpr std::string_view kHeldContentType = "\x7fstandin-raw\x7f";

bool isContentTypeHeader(const std::string& name) {
  return std::ranges::equal(name, std::string_view("content-type"),
                            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

int portOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return -1;
}

// Shuts down the server's side of connections: those whose local port is `localPort` and,
// unless `remotePort` is -1, whose peer port is `remotePort`. The HTTP library does not hand
// its sockets to handlers, so they are found among the process's descriptors by their
// addresses. The descriptors belong to other threads (the library's workers, clients in the
// same process), so they are only ever inspected through raw system calls: a descriptor
// closed meanwhile just fails the inspection, and the thread sanitizer's descriptor tracking
// does not mistake this read-only probing for a race with the owner's close.
void shutdownConnections(int localPort, int remotePort) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    int fd = -1;
    auto name = entry.path().filename().string();
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), fd);
    if (ec != std::errc() || end != name.data() + name.size()) continue;
    sockaddr_storage local{}, peer{};
    socklen_t localLength = sizeof local, peerLength = sizeof peer;
    if (syscall(SYS_getsockname, fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (portOf(local) != localPort) continue;
    if (syscall(SYS_getpeername, fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;
    if (remotePort != -1 && portOf(peer) != remotePort) continue;
    syscall(SYS_shutdown, fd, SHUT_RDWR);
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Form decoding of one query component: "+" is a space, "%XY" a byte; a malformed escape
// stays as it was.
std::string decodeComponent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The query parameters in the order they were sent, duplicates kept (the library's own
// map sorts them by name).
StandinRequest::Pairs queryOf(std::string_view target) {
  StandinRequest::Pairs query;
  auto mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  if (auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
  while (!rest.empty()) {
    auto amp = rest.find('&');
    std::string_view piece = rest.substr(0, amp);
    if (!piece.empty()) {
      auto eq = piece.find('=');
      query.emplace_back(decodeComponent(piece.substr(0, eq)),
                         eq == std::string_view::npos ? std::string() : decodeComponent(piece.substr(eq + 1)));
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return query;
}

StandinRequest requestFrom(const httplib::Request& req) {
  StandinRequest request;
  request.method = req.method;
  request.path = req.path;
  request.target = req.target;
  request.query = queryOf(req.target);
  for (const auto& [name, value] : req.headers) {
    // The library adds these itself; they were not sent.
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
    request.headers.emplace_back(name, value);
  }
  std::string contentType;
  for (auto& [name, value] : request.headers) {
    if (value.starts_with(kHeldContentType)) value.erase(0, kHeldContentType.size());
    if (contentType.empty() && isContentTypeHeader(name)) contentType = value;
  }
  request.body = req.body;
  request.bodyLength = request.body.size();
  if (MultipartParser::isMultipartFormData(contentType)) {
    // A body that does not parse keeps no parts; the raw bytes stay in the log.
    if (auto boundary = MultipartParser::boundaryOf(contentType)) {
      if (auto parts = MultipartParser::parse(request.body, *boundary)) request.parts = std::move(*parts);
    }
  }
  return request;
}

void deliver(StandinResponse& response, httplib::Response& res) {
  res.status = response.status;
  for (const auto& [name, value] : response.headers) res.set_header(name, value);
  if (response.generator && !response.chunked && response.generatedLength == 0) {
    // The library never finishes a provided body of no bytes; send it plainly.
    response.generator = nullptr;
    response.body.clear();
  }
  if (!response.generator && !response.chunked) {
    res.set_content(std::move(response.body), response.contentType);
    return;
  }
  auto length = response.length();
  StandinResponse::Generator generator = response.generator;
  if (!generator) {
    generator = [body = std::make_shared<std::string>(std::move(response.body))](std::size_t offset,
                                                                                 std::size_t count, std::string& out) {
      out.append(*body, offset, count);
    };
  }
  if (response.chunked) {
    res.set_chunked_content_provider(response.contentType, [generator, length](std::size_t offset, httplib::DataSink& sink) {
      if (offset >= length) {
        sink.done();
        return true;
      }
      std::string piece;
      generator(offset, std::min(kPieceSize, length - offset), piece);
      return sink.write(piece.data(), piece.size());
    });
    return;
  }
  res.set_content_provider(length, response.contentType,
                           [generator](std::size_t offset, std::size_t count, httplib::DataSink& sink) {
                             std::string piece;
                             generator(offset, std::min(kPieceSize, count), piece);
                             return sink.write(piece.data(), piece.size());
                           });
}

// A body of exactly `length` bytes that starts like JSON: {"padding":"xxx...x"} (cut short
// when `length` is too small for the whole shape).
StandinResponse::Generator oversizedBody(std::size_t length) {
  return [length](std::size_t offset, std::size_t count, std::string& out) {
    static constexpr std::string_view head = "{\"padding\":\"";
    static constexpr std::string_view tail = "\"}";
    bool whole = length >= head.size() + tail.size();
    std::size_t fillEnd = whole ? length - tail.size() : length;
    std::size_t end = offset + count;
    for (std::size_t i = offset; i < end;) {
      if (i < head.size()) {
        out.push_back(head[i++]);
      } else if (i < fillEnd) {
        std::size_t run = std::min(end, fillEnd) - i;
        out.append(run, 'x');
        i += run;
      } else {
        out.push_back(tail[i - fillEnd]);
        ++i;
      }
    }
  };
}

// A decimal count no larger than `limit`.
std::optional<std::size_t> countFrom(std::string_view text, std::size_t limit) {
  std::size_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > limit) return std::nullopt;
  return value;
}

std::shared_ptr<NSDictionary> pairsObject(const StandinRequest::Pairs& pairs) {
  // The first value of a repeated name wins, as StandinRequest::queryValue reads it.
  auto object = NSDictionary::make();
  for (const auto& [name, value] : pairs) {
    if (!object->containsKey(name)) object->setObject(text(value), name);
  }
  return object;
}

std::shared_ptr<NSArray> partsArray(const StandinRequest& request) {
  auto parts = NSArray::make();
  for (const auto& part : request.parts) {
    parts->addObject(NSDictionary::make({{"name", text(part.name)},
                                         {"filename", text(part.filename)},
                                         {"contentType", text(part.contentType)},
                                         {"length", NSNumber::numberWithUnsignedInteger(part.content.size())}}));
  }
  return parts;
}

// What "/_standin/echo" answers: the request as the server understood it.
std::shared_ptr<NSDictionary> echoObject(const StandinRequest& request) {
  return NSDictionary::make({{"method", text(request.method)},
                             {"path", text(request.path)},
                             {"query", pairsObject(request.query)},
                             {"headers", pairsObject(request.headers)},
                             {"bodyLength", NSNumber::numberWithUnsignedInteger(request.bodyLength)},
                             {"parts", partsArray(request)}});
}

// One entry of "/_standin/log": the echo plus order, target, every query item and the
// body when it is text (bodies that are not UTF-8 are left out; their length stays).
std::string logEntryJson(const StandinRequest& request) {
  auto entry = echoObject(request);
  entry->setObject(NSNumber::numberWithUnsignedInteger(request.sequence), "sequence");
  entry->setObject(text(request.target), "target");
  auto items = NSArray::make();
  for (const auto& [name, value] : request.query) items->addObject(NSArray::make({text(name), text(value)}));
  entry->setObject(items, "queryItems");
  entry->setObject(text(request.body), "body");
  if (auto json = NSJSONSerialization::stringWithJSONObject(entry)) return *json;
  entry->removeObjectForKey("body");
  return NSJSONSerialization::stringWithJSONObject(entry).value_or("{}");
}

}  // namespace

std::shared_ptr<StandinServer> StandinServer::make(std::uint64_t seed, std::size_t itemCount) {
  auto server = std::shared_ptr<StandinServer>(new StandinServer(seed, itemCount));
  server->addBuiltinRoutes();
  return server;
}

StandinServer::StandinServer(std::uint64_t seed, std::size_t itemCount)
    : seed_(seed), itemCount_(itemCount), catalogue_(Catalogue::make(seed, "http://127.0.0.1", itemCount)) {}

StandinServer::~StandinServer() { stop(); }

std::expected<int, std::string> StandinServer::start(int port) {
  if (running_) return port_;
  if (port < 0 || port > 65535) return std::unexpected("port " + std::to_string(port) + " is out of range");
  auto server = std::make_unique<httplib::Server>();
  server->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  // Small replies on a kept-alive connection would otherwise wait out the delayed-ACK timer.
  server->set_tcp_nodelay(true);
  // Address reuse only: the library's default also shares the port with other listeners,
  // which would let two stand-ins "start" on one port.
  auto listening = std::make_shared<int>(-1);
  server->set_socket_options([listening](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    *listening = sock;
  });
  server->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    // The request is the library's own mutable object, handed over as const; the body has
    // not been read yet.
    for (auto& [name, value] : const_cast<httplib::Request&>(req).headers) {
      if (isContentTypeHeader(name) && MultipartParser::isMultipartFormData(value)) {
        value.insert(0, kHeldContentType);
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); };
  // Every method goes to one dispatcher, which does the routing itself.
  server->Get(".*", handler);
  server->Post(".*", handler);
  server->Put(".*", handler);
  server->Patch(".*", handler);
  server->Delete(".*", handler);
  server->Options(".*", handler);
  int bound = port == 0 ? server->bind_to_any_port(kHost) : (server->bind_to_port(kHost, port) ? port : -1);
  if (bound <= 0) return std::unexpected("cannot listen on " + std::string(kHost) + ":" + std::to_string(port));
  // The library listens with a backlog of 5: a burst of connections (a grid opening twenty
  // downloads at once) overflows it, and the dropped SYNs are only retried a second later.
  if (*listening >= 0) ::listen(*listening, kListenBacklog);
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  port_ = bound;
  catalogue_ = Catalogue::make(seed_, baseURL(), itemCount_);
  server_ = std::move(server);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  listener_ = std::thread([server = server_.get(), finished] {
    server->listen_after_bind();
    *finished = true;
  });
  // The library ignores stop() until its accept loop runs; wait for it so that a stop right
  // after start cannot be lost.
  while (!server_->is_running() && !*finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (*finished) {
    listener_.join();
    server_.reset();
    return std::unexpected("the server on " + std::string(kHost) + ":" + std::to_string(bound) + " stopped at once");
  }
  running_ = true;
  return port_;
}

void StandinServer::stop() {
  if (!running_) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  server_->stop();
  // Idle keep-alive connections and clients that stopped reading would otherwise hold
  // their workers until the library's timeouts run out.
  shutdownConnections(port_, -1);
  if (listener_.joinable()) listener_.join();
  server_.reset();
  running_ = false;
}

bool StandinServer::isRunning() const { return running_; }

int StandinServer::port() const { return port_; }

std::string StandinServer::baseURL() const { return "http://" + std::string(kHost) + ":" + std::to_string(port_); }

void StandinServer::addRoute(std::string method, const std::string& pattern, Handler handler) {
  std::lock_guard lock(routesMutex_);
  routes_.push_back({std::move(method), std::regex(pattern), std::move(handler)});
}

std::size_t StandinServer::routeCount() const {
  std::lock_guard lock(routesMutex_);
  return routes_.size();
}

void StandinServer::removeRoutesAfter(std::size_t count) {
  std::lock_guard lock(routesMutex_);
  if (routes_.size() > count) routes_.resize(count);
}

std::vector<StandinRequest> StandinServer::requests() const {
  std::lock_guard lock(mutex_);
  return {log_.begin(), log_.end()};
}

void StandinServer::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  logBodyBytes_ = 0;
}

std::optional<StandinRequest> StandinServer::waitForRequest(const Predicate& predicate, double timeout) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
  std::uint64_t lastSeen = 0;
  while (true) {
    // Entries not looked at yet are copied out and tested without the lock, so that the
    // predicate may call back into the server.
    std::vector<StandinRequest> fresh;
    bool timedOut = false;
    {
      std::unique_lock lock(mutex_);
      auto unseen = [&] {
        return std::ranges::any_of(log_, [&](const StandinRequest& entry) { return entry.sequence > lastSeen; });
      };
      if (!unseen()) timedOut = !changed_.wait_until(lock, deadline, unseen);
      for (const auto& entry : log_) {
        if (entry.sequence > lastSeen) fresh.push_back(entry);
      }
    }
    for (const auto& entry : fresh) {
      lastSeen = std::max(lastSeen, entry.sequence);
      if (predicate(entry)) return entry;
    }
    if (timedOut || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
  }
}

void StandinServer::injectFault(std::string pathPrefix, Fault fault, std::size_t count) {
  if (count == 0) return;
  std::lock_guard lock(mutex_);
  faultRules_.push_back({std::move(pathPrefix), fault, count});
}

void StandinServer::clearFaults() {
  std::lock_guard lock(mutex_);
  faultRules_.clear();
}

void StandinServer::releaseStalls() {
  {
    std::lock_guard lock(mutex_);
    ++stallGeneration_;
  }
  changed_.notify_all();
}

std::size_t StandinServer::stalledCount() const {
  std::lock_guard lock(mutex_);
  return stalled_;
}

namespace {

// What a logged body costs the log: its bytes and the parts' contents read from it.
std::size_t keptBodyBytes(const StandinRequest& request) {
  std::size_t bytes = request.body.size();
  for (const auto& part : request.parts) bytes += part.content.size();
  return bytes;
}

// The request without its body and the parts' contents; names and length stay.
StandinRequest withoutBody(const StandinRequest& request) {
  StandinRequest copy;
  copy.sequence = request.sequence;
  copy.method = request.method;
  copy.path = request.path;
  copy.target = request.target;
  copy.query = request.query;
  copy.headers = request.headers;
  copy.bodyLength = request.bodyLength;
  copy.matches = request.matches;
  for (const auto& part : request.parts) copy.parts.push_back({part.name, part.filename, part.contentType, {}});
  return copy;
}

}  // namespace

void StandinServer::record(StandinRequest& request) {
  {
    std::lock_guard lock(mutex_);
    request.sequence = nextSequence_++;
    if (request.path == kLogPath || request.path == kStatePath) return;
    // The route still sees the whole body; only the log's copy is limited.
    if (request.bodyLength > logBodyLimit) {
      log_.push_back(withoutBody(request));
    } else {
      log_.push_back(request);
      logBodyBytes_ += keptBodyBytes(request);
    }
    while (log_.size() > logCapacity) {
      logBodyBytes_ -= keptBodyBytes(log_.front());
      log_.pop_front();
    }
    for (auto entry = log_.begin(); logBodyBytes_ > logBodyBudget && entry != log_.end(); ++entry) {
      logBodyBytes_ -= keptBodyBytes(*entry);
      *entry = withoutBody(*entry);
    }
  }
  changed_.notify_all();
}

std::vector<Fault> StandinServer::faultsFor(const std::string& path) {
  std::vector<Fault> faults;
  std::lock_guard lock(mutex_);
  for (auto& rule : faultRules_) {
    if (rule.remaining == 0 || !path.starts_with(rule.pathPrefix)) continue;
    faults.push_back(rule.fault);
    if (rule.remaining != unlimited) --rule.remaining;
  }
  std::erase_if(faultRules_, [](const FaultRule& rule) { return rule.remaining == 0; });
  return faults;
}

bool StandinServer::pause(double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  std::unique_lock lock(mutex_);
  return !changed_.wait_until(lock, deadline, [this] { return stopping_; });
}

bool StandinServer::holdUntilReleased() {
  std::unique_lock lock(mutex_);
  auto generation = stallGeneration_;
  ++stalled_;
  changed_.wait(lock, [&] { return stopping_ || stallGeneration_ != generation; });
  --stalled_;
  return !stopping_;
}

void StandinServer::dropConnection(int remotePort) { shutdownConnections(port_, remotePort); }

void StandinServer::handle(const httplib::Request& req, httplib::Response& res) {
  StandinRequest request = requestFrom(req);
  record(request);

  StandinResponse response;
  // The controls of the stand-in itself stay reachable whatever rules are set.
  bool control = request.path == kLogPath || request.path == kStatePath || request.path == kReleasePath;
  std::vector<Fault> faults = control ? std::vector<Fault>() : faultsFor(request.path);
  if (auto header = request.header(kFaultHeader)) {
    auto parsed = Fault::parseList(*header);
    if (!parsed) {
      response.setError(400, parsed.error());
      deliver(response, res);
      return;
    }
    faults.insert(faults.end(), parsed->begin(), parsed->end());
  }
  auto has = [&](Fault::Kind kind) {
    return std::ranges::any_of(faults, [kind](const Fault& f) { return f.kind == kind; });
  };

  for (const auto& fault : faults) {
    if (fault.kind == Fault::Kind::delay && !pause(fault.seconds)) {
      dropConnection(req.remote_port);
      return;
    }
  }
  if (has(Fault::Kind::stall) && !holdUntilReleased()) {
    dropConnection(req.remote_port);
    return;
  }
  if (has(Fault::Kind::drop)) {
    dropConnection(req.remote_port);
    return;
  }

  if (has(Fault::Kind::status500)) {
    response.setError(500, "Internal Server Error");
  } else if (has(Fault::Kind::notJson)) {
    response.setText("<html><head><title>Bad Gateway</title></head><body>upstream unavailable</body></html>\n",
                     "text/html; charset=utf-8");
  } else {
    route(request, response);
  }
  for (const auto& fault : faults) {
    if (fault.kind == Fault::Kind::oversized) response.setGenerated(fault.bytes, oversizedBody(fault.bytes), "application/json");
  }
  if (has(Fault::Kind::chunked)) response.chunked = true;
  deliver(response, res);
}

void StandinServer::route(StandinRequest& request, StandinResponse& response) {
  Handler handler;
  {
    std::lock_guard lock(routesMutex_);
    for (auto it = routes_.rbegin(); it != routes_.rend(); ++it) {
      bool methodMatches = it->method == "*" || it->method == request.method ||
                           (it->method == "GET" && request.method == "HEAD");
      if (!methodMatches) continue;
      std::smatch match;
      if (!std::regex_match(request.path, match, it->pattern)) continue;
      for (std::size_t i = 1; i < match.size(); ++i) request.matches.push_back(match[i].str());
      handler = it->handler;
      break;
    }
  }
  if (!handler) {
    response.setError(404, "Not Found");
    return;
  }
  try {
    handler(request, response, *catalogue_);
  } catch (const std::exception& error) {
    response = StandinResponse();
    response.setError(500, error.what());
  }
}

void StandinServer::addBuiltinRoutes() {
  // The service calls first, so that the built-in routes below win over them.
  ServiceRoutes::addTo(*this);
  AdvertisingRoutes::addTo(*this);
  PostRoutes::addTo(*this);
  HostileRoutes::addTo(*this);
  CollectionRoutes::addTo(*this);
  AccountRoutes::addTo(*this);
  addRoute("GET", "/media/.*", [](const StandinRequest& request, StandinResponse& response, const Catalogue& catalogue) {
    catalogue.serveMedia(request, response);
  });
  addRoute("*", "/_standin/echo", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    response.setJson(NSJSONSerialization::stringWithJSONObject(echoObject(request)).value_or("{}"));
  });
  std::weak_ptr<StandinServer> weakSelf = sharedAs<StandinServer>();
  addRoute("GET", kLogPath, [weakSelf](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    auto self = weakSelf.lock();
    if (!self) return;
    std::string json = "{\"requests\":[";
    bool first = true;
    for (const auto& entry : self->requests()) {
      if (!first) json += ",";
      first = false;
      json += logEntryJson(entry);
    }
    response.setJson(json + "]}");
  });
  addRoute("DELETE", kLogPath, [weakSelf](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    if (auto self = weakSelf.lock()) self->clearLog();
    response.setJson("{}");
  });
  addRoute("GET", kStatePath, [weakSelf](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    auto self = weakSelf.lock();
    if (!self) return;
    response.setJson(NSJSONSerialization::stringWithJSONObject(self->state().stateObject()).value_or("{}"));
  });
  addRoute("POST", kReleasePath, [weakSelf](const StandinRequest&, StandinResponse& response, const Catalogue&) {
    if (auto self = weakSelf.lock()) self->releaseStalls();
    response.setJson("{}");
  });
  addRoute("GET", "/_standin/bytes", [](const StandinRequest& request, StandinResponse& response, const Catalogue&) {
    auto count = countFrom(request.queryValue("n").value_or("0"), kMaxGeneratedBytes);
    if (!count) {
      response.setError(400, "n must be a byte count");
      return;
    }
    response.setGenerated(
        *count,
        [](std::size_t offset, std::size_t length, std::string& out) {
          static constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz";
          for (std::size_t i = offset, end = offset + length; i < end;) {
            std::size_t run = std::min(alphabet.size() - i % 26, end - i);
            out.append(alphabet.substr(i % 26, run));
            i += run;
          }
        },
        "application/octet-stream");
    response.chunked = request.queryValue("chunked") == "1";
  });
}
