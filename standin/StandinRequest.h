#pragma once
// One request as the stand-in received it: what the route handlers read and what the
// request log keeps, so that tests can check exactly what a client sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One part of a multipart/form-data body.
struct StandinPart {
  std::string name;
  std::string filename;
  std::string contentType;
  std::string content;
};

struct StandinRequest {
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  std::uint64_t sequence = 0;  // order of arrival, from 1
  std::string method;
  std::string path;      // decoded path, without the query
  std::string target;    // the request target as sent, query included
  Pairs query;           // decoded query parameters in the order they came
  Pairs headers;         // header names as sent
  std::string body;
  std::size_t bodyLength = 0;         // as received, also when the log no longer keeps the body
  std::vector<StandinPart> parts;     // filled for multipart/form-data bodies
  std::vector<std::string> matches;   // the capture groups of the route pattern

  // The first value of a query parameter.
  std::optional<std::string> queryValue(std::string_view name) const;
  // The first value of a header; names compare without regard to case.
  std::optional<std::string> header(std::string_view name) const;
  const StandinPart* part(std::string_view name) const;
};
