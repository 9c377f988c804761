#include "standin/HostileRoutes.h"

#include <charconv>
#include <chrono>
#include <functional>
#include <string_view>
#include <thread>

#include "standin/GifMaker.h"
#include "standin/StandinServer.h"

namespace {

// Bounds that keep one request from holding a worker of the stand-in for long.
constexpr long kMaxWaitMilliseconds = 10'000;
constexpr long kMaxTrickleLength = 1'000'000;
constexpr long kMaxHeaderCount = 100'000;
constexpr long kMaxHeaderSize = 8'192;

std::optional<long> numberFrom(const StandinRequest& request, std::string_view name, long fallback, long limit) {
  auto text = request.queryValue(name);
  if (!text) return fallback;
  long value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (text->empty() || ec != std::errc() || end != text->data() + text->size() || value < 0 || value > limit) {
    return std::nullopt;
  }
  return value;
}

void waitMilliseconds(long milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void slow(const StandinRequest& request, StandinResponse& response, const Catalogue&) {
  const long fixed = 50 + static_cast<long>(std::hash<std::string>()(request.path) % 551);
  auto delay = numberFrom(request, "ms", fixed, kMaxWaitMilliseconds);
  if (!delay) return response.setError(400, "ms must be a number of milliseconds up to 10000");
  waitMilliseconds(*delay);
  response.setText(GifMaker::animated(GifMaker::Look{}), "image/gif");
  response.headers.emplace_back("X-Standin-Slow", std::to_string(*delay));
}

void trickle(const StandinRequest& request, StandinResponse& response, const Catalogue&) {
  auto length = numberFrom(request, "length", 1000, kMaxTrickleLength);
  auto bytes = numberFrom(request, "bytes", 1, kMaxTrickleLength);
  auto every = numberFrom(request, "every", 500, kMaxWaitMilliseconds);
  if (!length || !bytes || !every || *bytes == 0) return response.setError(400, "length, bytes and every must be counts");
  response.setGenerated(
      static_cast<std::size_t>(*length),
      [piece = static_cast<std::size_t>(*bytes), every = *every](std::size_t, std::size_t count, std::string& out) {
        waitMilliseconds(every);
        out.append(std::min(piece, count), 'x');
      },
      "application/octet-stream");
}

void headers(const StandinRequest& request, StandinResponse& response, const Catalogue&) {
  auto count = numberFrom(request, "count", 1000, kMaxHeaderCount);
  auto size = numberFrom(request, "size", 16, kMaxHeaderSize);
  if (!count || !size) return response.setError(400, "count and size must be counts");
  for (long i = 0; i < *count; ++i) {
    response.headers.emplace_back("X-Filler-" + std::to_string(i), std::string(static_cast<std::size_t>(*size), 'h'));
  }
  response.setJson(R"({"status":"ok"})");
}

void redirect(const StandinRequest& request, StandinResponse& response, const Catalogue&) {
  auto target = request.queryValue("to");
  auto status = numberFrom(request, "status", 302, 399);
  if (!target || !status || *status < 300) return response.setError(400, "to must be a URL and status a 3xx code");
  response.setText("", "text/plain", static_cast<int>(*status));
  response.headers.emplace_back("Location", *target);
}

}  // namespace

namespace HostileRoutes {

void addTo(StandinServer& server) {
  server.addRoute("GET", "/_standin/slow/.+", slow);
  server.addRoute("GET", "/_standin/trickle", trickle);
  server.addRoute("GET", "/_standin/headers", headers);
  server.addRoute("GET", "/_standin/redirect", redirect);
}

}  // namespace HostileRoutes
