#pragma once
// A plain libcurl client for tests that talk to the stand-in, independent of the application's
// URL session.

#include <curl/curl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct HttpReply {
  CURLcode result = CURLE_OK;
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  bool ok() const { return result == CURLE_OK; }
  std::optional<std::string> header(const std::string& name) const;
};

struct HttpCall {
  std::string method = "GET";
  std::string url = {};
  std::vector<std::string> headers = {};  // "Name: value"
  std::optional<std::string> body = {};
  double timeout = 20.0;
  // Form parts (name, content, filename, type) sent as multipart/form-data.
  struct Part {
    std::string name, content, filename, type;
  };
  std::vector<Part> parts = {};
};

HttpReply perform(const HttpCall& call);
inline HttpReply httpGet(const std::string& url, std::vector<std::string> headers = {}) {
  return perform({.url = url, .headers = std::move(headers)});
}
