#pragma once
// A misbehaviour the stand-in can put on a reply, so that clients can be tested against
// slow, broken and hostile servers. Faults come from rules set in-process or from the
// "X-Standin-Fault" header of a single request ("delay=0.5", "stall", "drop", "chunked",
// "status500", "notjson", "oversized=20000000"; several separated by commas).

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

class Fault {
 public:
  enum class Kind {
    delay,      // answer normally after `seconds` of real time
    stall,      // hold the reply until the stalls are released or the server stops
    drop,       // close the connection without any reply
    chunked,    // send the normal body with chunked transfer encoding, no Content-Length
    status500,  // answer HTTP 500 with a JSON error body
    notJson,    // answer 200 with a body that is not JSON
    oversized,  // answer 200 with a body of `bytes` bytes
  };

  static Fault delay(double seconds) { return Fault(Kind::delay, seconds, 0); }
  static Fault stall() { return Fault(Kind::stall, 0, 0); }
  static Fault drop() { return Fault(Kind::drop, 0, 0); }
  static Fault chunked() { return Fault(Kind::chunked, 0, 0); }
  static Fault status500() { return Fault(Kind::status500, 0, 0); }
  static Fault notJson() { return Fault(Kind::notJson, 0, 0); }
  static Fault oversized(std::size_t bytes) { return Fault(Kind::oversized, 0, bytes); }

  // Reads one fault ("delay=0.5") or a comma-separated list of them.
  static std::expected<Fault, std::string> parse(std::string_view text);
  static std::expected<std::vector<Fault>, std::string> parseList(std::string_view text);

  // The header form of the fault, as parse() reads it.
  std::string description() const;

  Kind kind;
  double seconds;
  std::size_t bytes;

  bool operator==(const Fault&) const = default;

 private:
  Fault(Kind k, double s, std::size_t b) : kind(k), seconds(s), bytes(b) {}
};
