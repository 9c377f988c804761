#include "standin/Fault.h"
#include "standin/TextHelpers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

using standin::trimmed;

namespace {

// Longest delay a request may ask for: a hostile header must not park a worker forever.
constexpr double kMaxDelaySeconds = 600.0;
// Largest body a request may ask for.
constexpr std::size_t kMaxOversizedBytes = std::size_t{1} << 31;

}  // namespace

std::expected<Fault, std::string> Fault::parse(std::string_view text) {
  text = trimmed(text);
  std::string_view name = text;
  std::string_view value;
  bool hasValue = false;
  if (auto eq = text.find('='); eq != std::string_view::npos) {
    name = trimmed(text.substr(0, eq));
    value = trimmed(text.substr(eq + 1));
    hasValue = true;
  }
  auto noValue = [&](Fault fault) -> std::expected<Fault, std::string> {
    if (hasValue) return std::unexpected("fault \"" + std::string(name) + "\" takes no value");
    return fault;
  };
  if (name == "delay") {
    double seconds = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (!hasValue || ec != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
        seconds < 0 || seconds > kMaxDelaySeconds) {
      return std::unexpected(std::string("fault \"delay\" needs seconds between 0 and 600"));
    }
    return delay(seconds);
  }
  if (name == "oversized") {
    std::size_t bytes = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), bytes);
    if (!hasValue || ec != std::errc() || end != value.data() + value.size() || bytes > kMaxOversizedBytes) {
      return std::unexpected(std::string("fault \"oversized\" needs a byte count up to 2147483648"));
    }
    return oversized(bytes);
  }
  if (name == "stall") return noValue(stall());
  if (name == "drop") return noValue(drop());
  if (name == "chunked") return noValue(chunked());
  if (name == "status500") return noValue(status500());
  if (name == "notjson") return noValue(notJson());
  return std::unexpected("unknown fault \"" + std::string(name) + "\"");
}

std::expected<std::vector<Fault>, std::string> Fault::parseList(std::string_view text) {
  std::vector<Fault> faults;
  while (!trimmed(text).empty()) {
    auto comma = text.find(',');
    auto one = parse(text.substr(0, comma));
    if (!one) return std::unexpected(one.error());
    faults.push_back(*one);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return faults;
}

std::string Fault::description() const {
  switch (kind) {
    case Kind::delay: {
      char text[48];
      std::snprintf(text, sizeof text, "delay=%g", seconds);
      return text;
    }
    case Kind::stall: return "stall";
    case Kind::drop: return "drop";
    case Kind::chunked: return "chunked";
    case Kind::status500: return "status500";
    case Kind::notJson: return "notjson";
    case Kind::oversized: return "oversized=" + std::to_string(bytes);
  }
  return "";
}
