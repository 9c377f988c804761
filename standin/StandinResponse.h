#pragma once
// What a route handler answers. Small bodies are kept whole; large generated ones
// (big media, oversized faults) are produced piece by piece from a generator, so that
// a reply of tens of megabytes never sits in memory at once.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct StandinResponse {
  // Writes the bytes [offset, offset + length) of a generated body into `out`.
  using Generator = std::function<void(std::size_t offset, std::size_t length, std::string& out)>;

  int status = 200;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Set for generated bodies: `body` is then unused.
  Generator generator;
  std::size_t generatedLength = 0;
  // Send without Content-Length, in chunks.
  bool chunked = false;

  void setJson(std::string json, int code = 200);
  void setText(std::string text, std::string type, int code = 200);
  void setGenerated(std::size_t length, Generator produce, std::string type);
  // An error reply in the service's JSON shape.
  void setError(int code, std::string_view message);
  // The service's answer to a call whose token is not a valid one (none, never issued, ended
  // or expired): {"error": {"login": "requred"}}, misspelt as the service spells it, which
  // asks the client to log in again (it signs the user out).
  void setLoginRequired(int code = 200);

  std::size_t length() const { return generator ? generatedLength : body.size(); }
};
