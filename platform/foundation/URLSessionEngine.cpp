#include "platform/foundation/URLSessionEngine.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <expected>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Compression.h"
#include "platform/foundation/CurlLoader.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ProcessShutdown.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/TemporaryFiles.h"

using namespace std::string_view_literals;

namespace {

// Requests to one host at a time across all sessions; more wait for a free connection.
constexpr int kMaxConnectionsPerHost = 6;
constexpr long kMaxRedirects = 16;
// A transfer slower than this, averaged over the request's time-out, has stalled. A GIF of
// the grid at this rate would take minutes; a trickle of a few bytes a second is a server
// holding the connection, not a slow line.
constexpr long kMinimumBytesPerSecond = 1024;
// What a reply's header may hold, across its redirects and interim answers. Far above any
// real server's, and low enough that a hostile one cannot hold the network thread.
constexpr std::size_t kMaxHeaderFields = 256;
// Room left after a gathered body for a parser that reads past its end.
constexpr std::size_t kReadPadding = JSONReader::padding;
// The most a stated Content-Length reserves ahead of the bytes arriving.
constexpr std::int64_t kReserveLimit = std::int64_t{16} << 20;
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;
// Easy handles kept for the next transfers: making one costs more than resetting it.
constexpr std::size_t kSpareHandles = 16;
// How long a task started while the last loop's thread delivers a reply waits for that thread
// before the loop starts on another. What remains of a delivery after the completion has
// woken its caller (letting a page's items go) takes tens of microseconds; a completion that
// is still busy (a download's store into the cache), or waits for the very task, holds the
// task no longer than this. Two milliseconds held a burst of downloads back by a fifth.
constexpr auto kHandOffWait = std::chrono::microseconds(250);

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point after(double seconds) {
  return SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

std::string lowercased(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::shared_ptr<NSError> errorForCurlResult(CURLcode result, const std::shared_ptr<NSURL>& url) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return makeURLError(NSURLError::cannotFindHost, "A server with the specified hostname could not be found.", url);
    case CURLE_COULDNT_CONNECT:
      return makeURLError(NSURLError::cannotConnectToHost, "Could not connect to the server.", url);
    case CURLE_OPERATION_TIMEDOUT:
      return makeURLError(NSURLError::timedOut, "The request timed out.", url);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return makeURLError(NSURLError::networkConnectionLost, "The network connection was lost.", url);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return makeURLError(NSURLError::secureConnectionFailed, "A TLS error caused the secure connection to fail.", url);
    case CURLE_UNSUPPORTED_PROTOCOL:
      return makeURLError(NSURLError::unsupportedURL, "unsupported URL", url);
    case CURLE_URL_MALFORMAT:
      return makeURLError(NSURLError::badURL, "bad URL", url);
    case CURLE_BAD_CONTENT_ENCODING:
      return makeURLError(NSURLError::cannotDecodeContentData, "cannot decode raw data", url);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_RANGE_ERROR:
      return makeURLError(NSURLError::badServerResponse, "bad server response", url);
    default:
      return makeURLError(NSURLError::unknown, std::string("unknown error: ") + curl_easy_strerror(result), url);
  }
}

std::shared_ptr<NSError> cancelledError(const std::shared_ptr<NSURL>& url) {
  return makeURLError(NSURLError::cancelled, "cancelled", url);
}

std::shared_ptr<NSError> timedOutError(const std::shared_ptr<NSURL>& url) {
  return makeURLError(NSURLError::timedOut, "The request timed out.", url);
}

std::shared_ptr<NSError> tooLargeError(const std::shared_ptr<NSURL>& url, std::int64_t cap) {
  return makeURLError(NSURLError::dataLengthExceedsMaximum,
                      "The server's reply is larger than the " + std::to_string(cap) + " bytes this request accepts.",
                      url);
}

// Whatever proxy the environment names, loopback is never sent through it; the
// environment's own exceptions still hold. Never destroyed: libcurl reads it on the network
// thread.
const std::string& noProxyList() {
  static const std::string* const list = new std::string([] {
    std::string hosts = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
      if (const char* value = std::getenv(name); value && *value) return hosts + "," + value;
    }
    return hosts;
  }());
  return *list;
}

// Connections are shared per scheme, host and port.
std::string hostKeyOf(const NSURL& url) {
  return lowercased(url.scheme()) + "://" + lowercased(url.host()) + ":" +
         (url.port() ? std::to_string(*url.port()) : std::string());
}

}  // namespace

std::shared_ptr<NSError> makeURLError(std::int64_t code, std::string description, const std::shared_ptr<NSURL>& url) {
  auto info = NSDictionary::make();
  info->setObject(NSString::make(std::move(description)), NSError::NSLocalizedDescriptionKey);
  if (url) info->setObject(NSString::make(url->absoluteString()), "NSErrorFailingURLStringKey");
  return NSError::make(std::string(NSError::NSURLErrorDomain), code, info);
}

// One running transfer; touched by the engine's loop only.
struct URLSessionTransfer {
  std::shared_ptr<NSURLSessionTask> task;
  std::shared_ptr<NSURLSession> session;
  std::shared_ptr<NSURL> url;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  std::shared_ptr<NSData> body;  // keeps the request bytes alive while curl reads them

  // A data task with a completion handler gathers the body as it came (compressed or not)
  // and expands it whole at the end, into one buffer of the expanded size.
  bool collect = false;
  bool stream = false;   // data task without one: hand each piece to the delegate
  std::vector<std::uint8_t> received;
  int fd = -1;
  std::string filePath;

  std::int64_t cap = 0;
  std::int64_t bytesReceived = 0;
  std::int64_t expected = -1;
  std::int64_t bodySize = 0;
  std::int64_t bytesSent = 0;
  std::int64_t progressReported = 0;  // bytes received at the last progress report
  SteadyClock::time_point progressReportedAt = SteadyClock::now();  // or the transfer's start

  std::string hostKey;
  bool added = false;  // handed to libcurl; otherwise waiting for a connection to its host
  std::optional<SteadyClock::time_point> queueDeadline;     // waiting longer fails it
  std::optional<SteadyClock::time_point> resourceDeadline;  // running longer fails it

  int status = 0;
  std::size_t headerBytes = 0;
  HTTPHeaderFields headers;
  std::shared_ptr<NSURLResponse> response;
  std::shared_ptr<NSError> failure;  // why a callback stopped the transfer

  ~URLSessionTransfer() {
    if (easy) curl_easy_cleanup(easy);
    if (headerList) curl_slist_free_all(headerList);
    discardFile();
  }

  void discardFile() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    TemporaryFiles::remove(filePath);
    filePath.clear();
  }

  void makeResponse() {
    if (response) return;
    std::shared_ptr<NSURL> responseURL = url;
    char* effective = nullptr;
    // Only a redirect makes the reply's address another than the request's.
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective &&
        url->absoluteString() != effective) {
      if (auto parsed = NSURL::URLWithString(effective)) responseURL = parsed;
    }
    // The fields go to the response; later reads (the content coding) take them from there.
    response = NSHTTPURLResponse::make(responseURL, status, std::move(headers));
    headers = HTTPHeaderFields();
    expected = response->expectedContentLength();
    // A body gathered whole goes into one buffer sized by its stated length (of the bytes as
    // sent, compressed or not), with room after it for the JSON parser's padding, so that an
    // uncompressed one is neither regrown nor copied to be read. A stated length is only a
    // hint: a hostile one reserves no more than kReserveLimit.
    if (collect && expected > 0 && received.empty()) {
      const auto ahead = std::max<std::int64_t>(0, std::min<std::int64_t>({expected, cap, kReserveLimit}));
      received.reserve(static_cast<std::size_t>(ahead) + kReadPadding);
    }
    task->bytesExpectedToReceive_.store(expected);
    std::lock_guard lock(task->mutex_);
    task->response_ = response;
  }

  // Header lines arrive one by one; a blank line ends a block (there may be several:
  // interim 1xx answers and redirects come before the final one).
  bool onHeaderLine(std::string_view line) {
    headerBytes += line.size();
    if (headerBytes > kMaxHeaderBytes) {
      failure = makeURLError(NSURLError::badServerResponse, "The server's reply header is too large.", url);
      return false;
    }
    if (line.starts_with("HTTP/")) {
      headers = HTTPHeaderFields();
      const auto space = line.find(' ');
      status = space == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(space + 1, 3)).c_str());
      return true;
    }
    if (line == "\r\n" || line == "\n") {
      if (status >= 100 && status < 200) return true;
      const auto location = headers.valueForHTTPHeaderField("Location");
      const bool redirect = (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                            location;
      if (redirect) {
        char* current = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &current);
        if (current && !URLSessionEngine::mayFollowRedirect(current, *location)) {
          failure = makeURLError(NSURLError::appTransportSecurityRequiresSecureConnection,
                                 "A secure connection was redirected to an insecure one.", url);
          return false;
        }
        return true;
      }
      makeResponse();
      if (expected > cap) {
        failure = tooLargeError(url, cap);
        return false;
      }
      return true;
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && line[0] != ' ' && line[0] != '\t') {
      const std::string_view name = HTTPHeaderFields::trimmedView(line.substr(0, colon));
      if (headers.count() >= kMaxHeaderFields && !headers.valueForHTTPHeaderField(name)) {
        failure = makeURLError(NSURLError::badServerResponse, "The server's reply has too many header fields.", url);
        return false;
      }
      headers.addValue(HTTPHeaderFields::trimmedView(line.substr(colon + 1)), name);
    }
    return true;
  }

  // The gathered body as its server meant it, made when the task's outcome is delivered:
  // its content codings undone, no longer than the cap, with room after it for the JSON
  // parser's padding.
  std::function<std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>>()> expansion() {
    auto gathered = NSData::make(std::move(received));
    // A reply without a body (HEAD, 204, 304) has nothing to expand whatever it names.
    std::string codings;
    if (auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response); http && gathered->length() > 0) {
      codings = http->allHeaderFields().valueForHTTPHeaderField("Content-Encoding").value_or("");
    }
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(cap, 0));
    return [gathered = std::move(gathered), codings = std::move(codings), limit, cap = cap, url = url,
            task = task]() -> std::expected<std::shared_ptr<NSData>, std::shared_ptr<NSError>> {
      auto expanded = Compression::decodeContent(codings, gathered, limit, kReadPadding);
      if (!expanded) {
        if (expanded.error() == Compression::Failure::tooLarge) return std::unexpected(tooLargeError(url, cap));
        return std::unexpected(makeURLError(NSURLError::cannotDecodeContentData, "cannot decode raw data", url));
      }
      task->bytesReceived_.store(static_cast<std::int64_t>((*expanded)->length()));
      return std::move(*expanded);
    };
  }

  bool onBody(const char* bytes, std::size_t length) {
    makeResponse();
    bytesReceived += static_cast<std::int64_t>(length);
    task->bytesReceived_.store(bytesReceived);
    if (bytesReceived > cap) {
      failure = tooLargeError(url, cap);
      return false;
    }
    if (collect) {
      // As bytes of the buffer's own type, so that the piece is copied whole, not byte by byte.
      const auto* piece = reinterpret_cast<const std::uint8_t*>(bytes);
      received.insert(received.end(), piece, piece + length);
    } else if (stream) {
      auto piece = NSData::make(std::vector<std::uint8_t>(bytes, bytes + length));
      auto dataTask = std::static_pointer_cast<NSURLSessionDataTask>(task);
      session->withDelegate([dataTask, piece](NSURLSessionDelegate& delegate, const std::shared_ptr<NSURLSession>& s) {
        if (!dataTask->wasCancelled()) delegate.URLSession(s, dataTask, piece);
      });
    } else if (fd >= 0) {
      std::size_t done = 0;
      while (done < length) {
        const ssize_t written = ::write(fd, bytes + done, length - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
          failure = makeURLError(NSURLError::cannotWriteToFile, "The downloaded file could not be written.", url);
          return false;
        }
        done += static_cast<std::size_t>(written);
      }
      reportDownloadProgress();
    }
    return true;
  }

  // A download's progress goes to the delegate at most once per 50 ms of the transfer, and
  // always at the end: a post per 16 kB piece (each waking the delegate's queue) cost more than
  // the transfer, and a small file arrives within the first interval, so it reports once.
  // The bytes written since the last report are reported together. The report at the end is
  // handed back, to go with the end's delivery rather than wake the queue on its own.
  std::function<void()> reportDownloadProgress(bool ending = false) {
    if (bytesReceived == progressReported) return nullptr;
    const auto now = SteadyClock::now();
    if (!ending && now - progressReportedAt < std::chrono::milliseconds(50)) return nullptr;
    auto downloadTask = std::static_pointer_cast<NSURLSessionDownloadTask>(task);
    const std::int64_t written = bytesReceived - progressReported, total = bytesReceived, expectedTotal = expected;
    progressReported = bytesReceived;
    progressReportedAt = now;
    auto report = session->delegateCall([=](NSURLSessionDelegate& delegate, const std::shared_ptr<NSURLSession>& s) {
      if (!downloadTask->wasCancelled()) delegate.URLSession(s, downloadTask, written, total, expectedTotal);
    });
    if (ending || !report) return report;
    session->delegateQueue_->async(std::move(report));
    return nullptr;
  }

  void onProgress(curl_off_t uploaded) {
    if (uploaded <= bytesSent) return;
    const std::int64_t sent = uploaded - bytesSent, total = uploaded, size = bodySize;
    bytesSent = uploaded;
    task->bytesSent_.store(uploaded);
    auto sending = task;
    session->withDelegate([=](NSURLSessionDelegate& delegate, const std::shared_ptr<NSURLSession>& s) {
      if (!sending->wasCancelled()) delegate.URLSession(s, sending, sent, total, size);
    });
  }
};

namespace {

std::size_t headerCallback(char* buffer, std::size_t size, std::size_t count, void* context) {
  auto* transfer = static_cast<URLSessionTransfer*>(context);
  return transfer->onHeaderLine(std::string_view(buffer, size * count)) ? size * count : 0;
}

std::size_t writeCallback(char* buffer, std::size_t size, std::size_t count, void* context) {
  auto* transfer = static_cast<URLSessionTransfer*>(context);
  return transfer->onBody(buffer, size * count) ? size * count : 0;
}

int progressCallback(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  static_cast<URLSessionTransfer*>(context)->onProgress(uploaded);
  return 0;
}

}  // namespace

struct URLSessionEngineState {
  // Made by the loop's first turn, which opens libcurl (CurlLoader.cpp); read by others
  // with the mutex held, and stays empty when libcurl cannot be opened.
  CURLM* multi = nullptr;
  std::mutex mutex;  // guards the commands and the loop's life
  std::condition_variable loopEnded;
  std::vector<std::function<void()>> commands;  // run by the loop
  // The loop runs on a thread of the queues' pool while there are transfers or commands, and
  // gives the thread back when there are none.
  std::shared_ptr<DispatchQueue> loopQueue = DispatchQueue::makeConcurrent("URLSessionEngine");
  bool looping = false;   // the loop is queued or running
  std::thread::id loopThread;  // the thread running it, while it runs
  bool quit = false;      // the loop should cancel everything and leave
  bool stopping = false;  // a stop waits for the loop to leave
  bool wakeRequested = false;  // the loop has been woken for commands it has not yet taken
  bool closed = false;  // the process is leaving: no loop starts again
  // The thread that left the loop to deliver its last outcome itself, while it does. A task
  // started from another thread meanwhile is left to it (`handedOn`): it goes on as the loop
  // when the delivery is over, with its caches and its parser warm, instead of another thread
  // being woken while it is still busy, only for it to go idle a moment later. A timer
  // (`handOffTimer`, read by a thread of its own) starts the loop elsewhere should the
  // delivery take longer than kHandOffWait.
  std::thread::id deliverer;
  bool handedOn = false;
  SteadyClock::time_point handOffDeadline;
  int handOffTimer = -1;  // made with the first hand-off; -1 when it could not be made
  bool timerTried = false;

  // Touched by the loop only.
  bool libraryTried = false;
  std::unordered_map<NSURLSessionTask*, std::unique_ptr<URLSessionTransfer>> transfers;
  std::unordered_map<std::string, int> connectionsInUse;  // by host key
  std::unordered_map<std::string, std::deque<URLSessionTransfer*>> waiting;  // by host key, oldest first
  std::vector<CURL*> spareHandles;
  // The delivery of the last transfer to end, held back while no other transfer runs: when
  // the loop then has nothing left to do, its thread delivers it itself instead of waking
  // another to do so.
  struct Delivery {
    std::shared_ptr<DispatchQueue> queue;
    std::function<void()> block;
  };
  std::optional<Delivery> heldDelivery;
  // Deliveries of transfers that ended in this turn of the loop, queued together at its end:
  // one block to each queue for all of them, so that a burst of replies wakes it once.
  std::vector<Delivery> endedThisTurn;

  void post(std::function<void()> command) {
    std::unique_lock lock(mutex);
    if (closed) {
      lock.unlock();
      return;  // the process is leaving; nothing will hear of the task again
    }
    commands.push_back(std::move(command));
    const auto self = std::this_thread::get_id();
    if (handedOn && self == deliverer) {
      // The delivery itself starts a task (and may wait for it): the loop starts now.
      handedOn = false;
      return launchLoop(lock);
    }
    // While a stop waits for the loop to leave, the command waits for the next loop.
    if (!looping && !stopping) {
      if (deliverer == std::thread::id() || self == deliverer) return startLoop(lock);
      return handOn(lock);
    }
    // The thread it is handed to takes every command when it goes on as the loop.
    if (handedOn) return;
    // One wake-up serves every command posted before the loop takes them (a grid starts its
    // downloads in a burst).
    if (wakeRequested) return;
    wakeRequested = true;
    wake(lock);
  }

  // Wakes the loop from its wait. Before its first turn has made the multi handle there is
  // none to wake it through, nor any need: the turn takes the commands after making it.
  void wake(std::unique_lock<std::mutex>& lock) {
    CURLM* handle = multi;
    lock.unlock();
    if (handle) curl_multi_wakeup(handle);
  }

  // Called with the mutex held, which it lets go before it queues the loop: the thread that
  // takes the loop locks the mutex first, and would otherwise wake only to wait for it.
  void startLoop(std::unique_lock<std::mutex>& lock) {
    quit = false;
    looping = true;
    launchLoop(lock);
  }

  // Queues the loop on the pool; `looping` is already set.
  void launchLoop(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    loopQueue->async([this] { run(); });
    ProcessShutdown::armAtExit();
  }

  // Leaves the loop to the thread delivering the last outcome (with the mutex held, which it
  // lets go), or starts it as usual when no timer can bound the wait for that thread.
  void handOn(std::unique_lock<std::mutex>& lock) {
    if (!std::exchange(timerTried, true)) makeHandOffTimer();
    if (handOffTimer < 0) return startLoop(lock);
    quit = false;
    looping = true;
    handedOn = true;
    handOffDeadline = SteadyClock::now() + kHandOffWait;
    const int timer = handOffTimer;
    lock.unlock();
    itimerspec due{};
    due.it_value.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(kHandOffWait).count();
    ::timerfd_settime(timer, 0, &due, nullptr);
  }

  // With the mutex held. The timer's thread waits in a read for the timer to expire: setting
  // or clearing the timer does not wake it, so a hand-off taken in time costs two calls to set it.
  void makeHandOffTimer() {
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (timer < 0) return;
    try {
      std::thread([this, timer] { watchHandOffs(timer); }).detach();
    } catch (const std::system_error&) {
      ::close(timer);
      return;
    }
    handOffTimer = timer;
  }

  // The timer's thread, for the life of the process (it touches only this never-destroyed
  // state and the pool): a hand-off not taken by its deadline starts the loop on the pool.
  void watchHandOffs(int timer) {
    for (;;) {
      std::uint64_t expirations = 0;
      const ssize_t got = ::read(timer, &expirations, sizeof expirations);
      if (got < 0 && errno != EINTR && errno != EAGAIN) return;
      std::unique_lock lock(mutex);
      // An expiry set for a hand-off taken since (and not cleared in time) is let pass.
      if (!handedOn || SteadyClock::now() < handOffDeadline) continue;
      handedOn = false;
      launchLoop(lock);
    }
  }

  // After the delivery this thread made when it left the loop: whether the loop was handed to
  // it meanwhile, in which case it is the loop again.
  bool takeHandOff() {
    std::unique_lock lock(mutex);
    deliverer = {};
    if (!handedOn) return false;
    handedOn = false;
    loopThread = std::this_thread::get_id();
    const int timer = handOffTimer;
    lock.unlock();
    const itimerspec clear{};
    ::timerfd_settime(timer, 0, &clear, nullptr);
    return true;
  }

  // Every transfer ends as cancelled and the loop leaves; with `final` none starts again.
  void stop(bool final) {
    std::unique_lock lock(mutex);
    if (final) closed = true;
    if (!looping || std::this_thread::get_id() == loopThread) return;
    quit = true;
    stopping = true;
    if (handedOn) {
      // The delivering thread may be the one stopping, or be waiting for it: the loop that
      // cancels the transfers runs on the pool.
      handedOn = false;
      launchLoop(lock);
      lock.lock();
    }
    wake(lock);
    lock.lock();
    loopEnded.wait(lock, [this] { return !looping; });
    stopping = false;
    if (!closed && !commands.empty()) startLoop(lock);
  }

  // Opens libcurl on the loop's first turn, so that neither the launch nor the thread that
  // starts the first task waits for it to load.
  void openLibrary() {
    if (std::exchange(libraryTried, true)) return;
    CURLM* handle = nullptr;
    if (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) handle = curl_multi_init();
    // Opening libcurl brought its TLS library, whose initialisation registers an exit handler
    // that frees what transfers use: the stop goes ahead of it now, not at the loop's next start.
    ProcessShutdown::armAtExit();
    // The engine queues requests per host itself (so that a queued one can time out); this
    // only keeps redirected transfers from opening more.
    if (handle) curl_multi_setopt(handle, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kMaxConnectionsPerHost));
    std::lock_guard lock(mutex);
    multi = handle;
  }

  void run() {
    openLibrary();
    {
      std::lock_guard lock(mutex);
      loopThread = std::this_thread::get_id();
    }
    for (;;) {
      std::vector<std::function<void()>> pending;
      bool leave = false;
      {
        std::lock_guard lock(mutex);
        pending.swap(commands);
        wakeRequested = false;
        leave = quit;
      }
      for (auto& command : pending) command();
      pending.clear();
      if (leave) {
        cancelAll();
        queueEndedThisTurn();
        releaseHeldDelivery();
        return leaveLoop();
      }

      int running = 0;
      // Without libcurl no transfer was started, so the loop leaves below.
      if (multi) curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* message = multi ? curl_multi_info_read(multi, &left) : nullptr) {
        if (message->msg != CURLMSG_DONE) continue;
        URLSessionTransfer* transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        const CURLcode result = message->data.result;
        if (transfer) finish(transfer, result);
      }
      const auto wake = enforceDeadlines();
      queueEndedThisTurn();
      if (transfers.empty()) {
        std::unique_lock lock(mutex);
        if (commands.empty() && !quit) {
          auto delivery = std::exchange(heldDelivery, std::nullopt);
          // Left in the same hold of the mutex that found nothing to do: a command posted
          // after it starts a new loop (or is handed to this thread, below) rather than wake
          // this one, which would never look.
          leaveLoopLocked();
          if (!delivery) return;
          deliverer = std::this_thread::get_id();
          lock.unlock();
          // No longer the loop: from here on this is one of the pool's threads, which would
          // otherwise wake another only to go idle itself.
          delivery->queue->runHereOrAsync(std::move(delivery->block));
          delivery.reset();
          if (!takeHandOff()) return;
          continue;
        }
      }
      releaseHeldDelivery();
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - SteadyClock::now()).count();
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::clamp<long long>(wait, 0, 1000)), nullptr);
    }
  }

  void leaveLoop() {
    std::lock_guard lock(mutex);
    leaveLoopLocked();
  }
  // With the mutex held.
  void leaveLoopLocked() {
    looping = false;
    loopThread = {};
    loopEnded.notify_all();
  }

  void queueEndedThisTurn() {
    if (endedThisTurn.empty()) return;
    // The deliveries to each queue, in the order their transfers ended.
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, std::vector<std::function<void()>>>> byQueue;
    for (auto& delivery : endedThisTurn) {
      auto group = std::find_if(byQueue.begin(), byQueue.end(), [&](const auto& g) { return g.first == delivery.queue; });
      if (group == byQueue.end()) group = byQueue.emplace(byQueue.end(), delivery.queue, std::vector<std::function<void()>>{});
      group->second.push_back(std::move(delivery.block));
    }
    endedThisTurn.clear();
    for (auto& [queue, blocks] : byQueue) {
      if (blocks.size() == 1) {
        queue->async(std::move(blocks.front()));
        continue;
      }
      queue->async([blocks = std::move(blocks)] {
        for (const auto& block : blocks) block();
      });
    }
  }

  // Queues the held delivery as any other: the loop goes on with other work.
  void releaseHeldDelivery() {
    if (!heldDelivery) return;
    auto delivery = std::exchange(heldDelivery, std::nullopt);
    delivery->queue->async(std::move(delivery->block));
  }

  // Fails the transfers that waited or ran too long; answers when the next one is due.
  SteadyClock::time_point enforceDeadlines() {
    const auto now = SteadyClock::now();
    auto next = now + std::chrono::seconds(1);
    std::vector<URLSessionTransfer*> late;
    for (const auto& [task, transfer] : transfers) {
      for (const auto& deadline : {transfer->added ? std::nullopt : transfer->queueDeadline, transfer->resourceDeadline}) {
        if (!deadline) continue;
        if (*deadline <= now) {
          late.push_back(transfer.get());
          break;
        }
        next = std::min(next, *deadline);
      }
    }
    for (auto* transfer : late) {
      NSURLSession::Outcome outcome;
      outcome.response = transfer->response;
      outcome.error = timedOutError(transfer->url);
      end(transfer, std::move(outcome));
    }
    return next;
  }

  // Hands the transfer to libcurl when its host has a connection to spare, else queues it.
  void admit(URLSessionTransfer* transfer) {
    int& inUse = connectionsInUse[transfer->hostKey];
    if (inUse >= kMaxConnectionsPerHost) {
      waiting[transfer->hostKey].push_back(transfer);
      return;
    }
    if (curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
      NSURLSession::Outcome outcome;
      outcome.error = makeURLError(NSURLError::unknown, "The transfer could not be started.", transfer->url);
      end(transfer, std::move(outcome));
      return;
    }
    transfer->added = true;
    ++inUse;
  }

  // Takes the transfer out of libcurl or out of its queue, and lets the next one in.
  void release(URLSessionTransfer* transfer) {
    const std::string key = transfer->hostKey;
    if (!transfer->added) {
      auto found = waiting.find(key);
      if (found != waiting.end()) {
        std::erase(found->second, transfer);
        if (found->second.empty()) waiting.erase(found);
      }
      return;
    }
    curl_multi_remove_handle(multi, transfer->easy);
    transfer->added = false;
    auto inUse = connectionsInUse.find(key);
    if (inUse != connectionsInUse.end() && --inUse->second <= 0) connectionsInUse.erase(inUse);
    for (;;) {
      auto queue = waiting.find(key);
      if (queue == waiting.end() || connectionsInUse[key] >= kMaxConnectionsPerHost) break;
      URLSessionTransfer* next = queue->second.front();
      queue->second.pop_front();
      if (queue->second.empty()) waiting.erase(queue);
      admit(next);
    }
  }

  CURL* takeHandle() {
    if (spareHandles.empty()) return curl_easy_init();
    CURL* easy = spareHandles.back();
    spareHandles.pop_back();
    return easy;
  }

  // Keeps the handle of a transfer that is over for a later one, reset to the defaults.
  void keepHandle(URLSessionTransfer& transfer) {
    if (!transfer.easy || spareHandles.size() >= kSpareHandles) return;
    curl_easy_reset(transfer.easy);
    spareHandles.push_back(std::exchange(transfer.easy, nullptr));
  }

  // Ends the transfer with the outcome and hands it to its session.
  void end(URLSessionTransfer* transfer, NSURLSession::Outcome outcome) {
    release(transfer);
    keepHandle(*transfer);
    auto found = transfers.find(transfer->task.get());
    std::unique_ptr<URLSessionTransfer> owned = std::move(found->second);
    transfers.erase(found);
    auto task = owned->task;
    auto session = owned->session;
    owned.reset();
    auto delivery = session->completeLater(task, std::move(outcome));
    if (!delivery) return;
    // Deliveries to one queue keep their order: an earlier held one goes first.
    releaseHeldDelivery();
    if (transfers.empty() && endedThisTurn.empty()) {
      heldDelivery = Delivery{session->delegateQueue_, std::move(delivery)};
    } else {
      endedThisTurn.push_back({session->delegateQueue_, std::move(delivery)});
    }
  }

  void finish(URLSessionTransfer* transfer, CURLcode result) {
    NSURLSession::Outcome outcome;
    if (transfer->failure) {
      outcome.error = transfer->failure;
    } else if (result != CURLE_OK) {
      outcome.error = errorForCurlResult(result, transfer->url);
    } else {
      transfer->makeResponse();
    }
    outcome.response = transfer->response;
    if (!outcome.error && transfer->collect) outcome.expandData = transfer->expansion();
    if (!outcome.error) {
      if (transfer->fd >= 0) {
        // What the last pieces wrote is reported before the file is handed over.
        outcome.before = transfer->reportDownloadProgress(true);
        ::close(transfer->fd);
        transfer->fd = -1;
        // The session removes the file once the delegate or completion has seen it.
        outcome.downloadedFile = std::make_shared<NSURLSession::TemporaryFile>(std::move(transfer->filePath));
        transfer->filePath.clear();
      }
    }
    end(transfer, std::move(outcome));
  }

  void fail(const std::shared_ptr<NSURLSessionTask>& task, std::shared_ptr<NSError> error) {
    NSURLSession::Outcome outcome;
    outcome.error = std::move(error);
    task->session_->complete(task, std::move(outcome));
  }

  void cancelAll() {
    std::vector<URLSessionTransfer*> all;
    for (const auto& [task, transfer] : transfers) all.push_back(transfer.get());
    for (auto* transfer : all) cancelTransfer(transfer);
  }

  void cancelTransfer(URLSessionTransfer* transfer) {
    NSURLSession::Outcome outcome;
    outcome.response = transfer->response;
    outcome.error = cancelledError(transfer->url);
    end(transfer, std::move(outcome));
  }

  void start(const std::shared_ptr<NSURLSessionTask>& task) {
    const auto& request = task->request_;
    const auto& url = request->URL();
    if (auto refused = refusalOf(url)) return fail(task, std::move(refused));
    if (!multi) {
      return fail(task, makeURLError(NSURLError::unknown, "The network library could not be opened: " + CurlLoader::failure(), url));
    }
    // Cancelled after its resume posted the start but before the start ran.
    if (task->wasCancelled()) return fail(task, cancelledError(url));
    auto transfer = makeTransfer(task);
    const auto& configuration = *task->session_->configuration_;
    if (task->kind_ == NSURLSessionTask::Kind::download) {
      if (auto error = openDownloadFile(*transfer, configuration)) return fail(task, std::move(error));
    }
    CURL* easy = takeHandle();
    if (!easy) return fail(task, makeURLError(NSURLError::unknown, "The transfer could not be set up.", url));
    transfer->easy = easy;
    setUpConnection(*transfer);
    setUpTimeouts(*transfer, *request, configuration);
    setUpCallbacks(*transfer);
    setUpMethodAndBody(*transfer, *task);
    setUpHeaders(*transfer, *request, configuration);

    transfer->hostKey = hostKeyOf(*url);
    URLSessionTransfer* admitted = transfer.get();
    transfers[task.get()] = std::move(transfer);
    admit(admitted);
  }

  // The steps of starting a task, in order.

  static std::string lowercaseScheme(const NSURL& url) {
    std::string scheme = url.scheme();
    for (auto& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
  }

  // Why a URL cannot be fetched at all, or none.
  static std::shared_ptr<NSError> refusalOf(const std::shared_ptr<NSURL>& url) {
    if (!url) return makeURLError(NSURLError::badURL, "bad URL", url);
    std::string scheme = lowercaseScheme(*url);
    if (scheme != "http" && scheme != "https") return makeURLError(NSURLError::unsupportedURL, "unsupported URL", url);
    if (url->host().empty()) return makeURLError(NSURLError::badURL, "bad URL", url);
    return nullptr;
  }

  static std::unique_ptr<URLSessionTransfer> makeTransfer(const std::shared_ptr<NSURLSessionTask>& task) {
    auto transfer = std::make_unique<URLSessionTransfer>();
    transfer->task = task;
    transfer->session = task->session_;
    transfer->url = task->request_->URL();
    transfer->cap = task->session_->configuration_->maximumBodySize;
    if (auto own = task->request_->maximumBodySize()) transfer->cap = std::min(transfer->cap, std::max<std::int64_t>(*own, 0));
    {
      std::lock_guard lock(task->mutex_);
      transfer->collect = task->kind_ != NSURLSessionTask::Kind::download && task->dataCompletion_;
    }
    transfer->stream = task->kind_ != NSURLSessionTask::Kind::download && !transfer->collect &&
                       task->session_->hasDelegate_;
    return transfer;
  }

  static std::shared_ptr<NSError> openDownloadFile(URLSessionTransfer& transfer,
                                                  const NSURLSessionConfiguration& configuration) {
    const std::filesystem::path folder = configuration.downloadDirectory.empty()
                                             ? Paths::temporary()
                                             : std::filesystem::path(configuration.downloadDirectory);
    std::string pattern = (folder / (URLSessionEngine::downloadFilePrefix() + "XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
      return makeURLError(NSURLError::cannotCreateFile, "The download's temporary file could not be created.",
                          transfer.url);
    }
    TemporaryFiles::track(pattern);
    transfer.fd = fd;
    transfer.filePath = pattern;
    return nullptr;
  }

  static void setUpConnection(URLSessionTransfer& transfer) {
    CURL* easy = transfer.easy;
    curl_easy_setopt(easy, CURLOPT_URL, transfer.url->absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects may go to other hosts (media often lives elsewhere) but never from https
    // down to http; the header callback holds the same line for chains that begin in http.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     lowercaseScheme(*transfer.url) == "https" ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // gzip and deflate only: brotli at its default quality costs a server far more than it saves.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    // A gathered body is expanded at its end in one pass (expandedBody); streamed and
    // downloaded ones piece by piece as they arrive, by libcurl.
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, transfer.collect ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxyList().c_str());
  }

  // The request's time-out bounds the wait for a connection, the connect itself, and the
  // window over which the transfer must keep up the minimum rate (waiting for the first
  // byte included); the resource time-out bounds the whole task from its start.
  static void setUpTimeouts(URLSessionTransfer& transfer, const NSURLRequest& request,
                            const NSURLSessionConfiguration& configuration) {
    CURL* easy = transfer.easy;
    const double idle = std::min(request.timeoutInterval(), configuration.timeoutIntervalForRequest);
    if (idle > 0) {
      transfer.queueDeadline = after(idle);
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idle * 1000));
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kMinimumBytesPerSecond);
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(std::ceil(idle))));
    }
    if (configuration.timeoutIntervalForResource > 0) {
      transfer.resourceDeadline = after(configuration.timeoutIntervalForResource);
    }
  }

  static void setUpCallbacks(URLSessionTransfer& transfer) {
    CURL* easy = transfer.easy;
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, headerCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  }

  static void setUpMethodAndBody(URLSessionTransfer& transfer, NSURLSessionTask& task) {
    CURL* easy = transfer.easy;
    const auto& request = *task.request_;
    const std::string& method = request.HTTPMethod();
    transfer.body = request.HTTPBody();
    const bool sendsBody = transfer.body && method != "GET" && method != "HEAD";
    if (method == "GET") {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method == "POST") {
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
    } else {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (sendsBody || method == "POST") {
      // Only a body sent is reported as it goes; libcurl calls the progress function at
      // every turn of its loop, which a transfer that sends nothing need not pay for.
      curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, progressCallback);
      curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
      curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
      static const char kEmpty[] = "";
      transfer.bodySize = transfer.body ? static_cast<std::int64_t>(transfer.body->length()) : 0;
      task.bytesExpectedToSend_.store(transfer.bodySize);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer.bodySize));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                       transfer.bodySize > 0 ? reinterpret_cast<const char*>(transfer.body->bytes().data()) : kEmpty);
    }
  }

  static void setUpHeaders(URLSessionTransfer& transfer, const NSURLRequest& request,
                           const NSURLSessionConfiguration& configuration) {
    HTTPHeaderFields headers = configuration.HTTPAdditionalHeaders;
    for (const auto& [name, value] : request.allHTTPHeaderFields()) headers.setValue(value, name);
    // No "Expect: 100-continue" round trip before a body.
    if (!headers.valueForHTTPHeaderField("Expect")) headers.setValue("", "Expect");
    for (const auto& [name, value] : headers) {
      // A line break or NUL would let a value smuggle in headers of its own; such a header,
      // and a name that is not a token, is left out.
      if (name.empty() || name.find_first_of(":\r\n\0 \t"sv) != std::string::npos ||
          value.find_first_of("\r\n\0"sv) != std::string::npos) {
        continue;
      }
      // "Name;" is libcurl's way of sending a header with an empty value.
      const std::string line = value.empty() && !HTTPHeaderFields::namesEqual(name, "Expect")
                                   ? name + ";"
                                   : name + ": " + value;
      transfer.headerList = curl_slist_append(transfer.headerList, line.c_str());
    }
    curl_easy_setopt(transfer.easy, CURLOPT_HTTPHEADER, transfer.headerList);
  }

  void cancel(const std::shared_ptr<NSURLSessionTask>& task) {
    auto found = transfers.find(task.get());
    if (found != transfers.end()) cancelTransfer(found->second.get());
  }
};

URLSessionEngine& URLSessionEngine::shared() {
  // Never destroyed (see ProcessShutdown.h); its thread is stopped by the shutdown instead.
  static URLSessionEngine* const engine = new URLSessionEngine();
  return *engine;
}

URLSessionEngine::URLSessionEngine() : state_(new URLSessionEngineState()) {
  ProcessShutdown::registerStopper(ProcessShutdown::Stage::network,
                                   [state = state_](bool final) { state->stop(final); });
  // Once no transfer writes any more, no download file is needed.
  ProcessShutdown::atShutdown([] { TemporaryFiles::removeAll(); });
}

const std::string& URLSessionEngine::downloadFilePrefix() {
  // Never destroyed: the network thread names files with it (ProcessShutdown.h).
  static const std::string* const prefix = new std::string(lowercased(Paths::applicationName()) + "-download-");
  return *prefix;
}

bool URLSessionEngine::mayFollowRedirect(std::string_view fromURL, std::string_view location) {
  const std::string from = lowercased(std::string(fromURL.substr(0, fromURL.find(':'))));
  if (from != "https") return true;
  const std::string target = lowercased(HTTPHeaderFields::trimmed(location));
  // A relative or scheme-relative location keeps the scheme; only an explicit one changes it.
  const auto colon = target.find(':');
  if (colon == std::string::npos || target.find_first_of("/?#") < colon) return true;
  return target.substr(0, colon) == "https";
}

void URLSessionEngine::start(std::shared_ptr<NSURLSessionTask> task) {
  state_->post([state = state_, task = std::move(task)] { state->start(task); });
}

void URLSessionEngine::cancel(std::shared_ptr<NSURLSessionTask> task) {
  state_->post([state = state_, task = std::move(task)] { state->cancel(task); });
}
