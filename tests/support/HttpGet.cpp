#include "tests/support/HttpGet.h"

#include <algorithm>
#include <cctype>

namespace {

size_t collectBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
  std::string line(data, size * count);
  auto colon = line.find(':');
  if (colon != std::string::npos) {
    auto value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ')) value.erase(0, 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    static_cast<HttpReply*>(user)->headers.emplace_back(line.substr(0, colon), value);
  }
  return size * count;
}

}  // namespace

std::optional<std::string> HttpReply::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (std::ranges::equal(key, name, [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); }))
      return value;
  }
  return std::nullopt;
}

HttpReply perform(const HttpCall& call) {
  HttpReply reply;
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const auto& h : call.headers) headers = curl_slist_append(headers, h.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, call.url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, call.method.c_str());
  if (call.method == "HEAD") curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(call.timeout * 1000));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_mime* mime = nullptr;
  if (!call.parts.empty()) {
    mime = curl_mime_init(curl);
    for (const auto& p : call.parts) {
      auto* part = curl_mime_addpart(mime);
      curl_mime_name(part, p.name.c_str());
      curl_mime_data(part, p.content.data(), p.content.size());
      if (!p.filename.empty()) curl_mime_filename(part, p.filename.c_str());
      if (!p.type.empty()) curl_mime_type(part, p.type.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
  } else if (call.body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, call.body->data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(call.body->size()));
  }
  reply.result = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  if (mime) curl_mime_free(mime);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return reply;
}
