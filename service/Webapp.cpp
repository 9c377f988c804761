#include "service/Webapp.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURLComponents.h"
#include "platform/foundation/NSURLRequest.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

std::mutex& sessionMutex() {
  // Never destroyed: replies still arriving on worker threads while the process exits
  // must not find it gone.
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::shared_ptr<NSURLSession>& sharedSessionStorage() {
  // Never destroyed: replies still arriving on worker threads while the process exits
  // must not find it gone.
  static auto* session = new std::shared_ptr<NSURLSession>();
  return *session;
}

enum class Base { legacyWeb, legacyApi, message, web, api };

// A stand-in answers on one address; each base gets its own spelling of that address so
// that none is a substring of another, and so that the stand-in can tell the bases apart by
// the Host header. The current API base keeps the text as given, since it carries most of
// the traffic and matches the stand-in's own idea of its URL. Loopback is spelt with names
// under "localhost", which the URL session resolves to loopback and sends as written (the
// numeric spellings "127.1" and the like come out of URL parsing as "127.0.0.1").
std::string hostSpelling(const std::string& host, Base base) {
  if (base == Base::api) return host;
  const std::string suffix = host == "127.0.0.1" ? "localhost" : host;
  switch (base) {
    case Base::legacyWeb: return "legacy-web." + suffix;
    case Base::legacyApi: return "legacy-api." + suffix;
    case Base::message: return "legacy-message." + suffix;
    case Base::web: return "web." + suffix;
    case Base::api: break;
  }
  return host;
}

std::optional<std::string> baseFromServiceVariable(Base base) {
  const char* value = std::getenv(std::string(Webapp::Constants::serviceURLVariable).c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  auto parts = URLParts::parse(value);
  if (!parts || !parts->scheme || !parts->host || parts->host->empty()) return std::nullopt;
  URLParts origin;
  origin.scheme = parts->scheme;
  origin.host = hostSpelling(*parts->host, base);
  origin.port = parts->port;
  // Without its trailing slash, like the production bases.
  std::string path = parts->path;
  while (!path.empty() && path.back() == '/') path.pop_back();
  origin.path = path;
  return origin.string();
}

std::string baseURL(Base base, std::string_view infoKey) {
  if (auto fromVariable = baseFromServiceVariable(base)) return *fromVariable;
  auto value = asA<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(infoKey));
  return value ? value->string() : std::string();
}

std::string infoText(std::string_view key) {
  auto value = asA<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(key));
  return value ? value->string() : std::string();
}

bool containsBase(std::string_view text, const std::string& base) {
  // An unconfigured (empty) base would be found in every text.
  return !base.empty() && text.find(base) != std::string_view::npos;
}

void appendText(std::vector<std::uint8_t>& body, std::string_view text) { body.insert(body.end(), text.begin(), text.end()); }

bool safeInHeader(std::string_view text) { return text.find_first_of("\r\n\"") == std::string_view::npos; }

}  // namespace

std::shared_ptr<NSURLSession> Webapp::session() {
  std::lock_guard lock(sessionMutex());
  return sharedSessionStorage();
}

void Webapp::setSession(std::shared_ptr<NSURLSession> session) {
  std::lock_guard lock(sessionMutex());
  sharedSessionStorage() = std::move(session);
}

std::shared_ptr<NSURLSession> Webapp::sessionCreatingIfNeeded(const std::optional<StringMap>& headers) {
  std::lock_guard lock(sessionMutex());
  auto& session = sharedSessionStorage();
  if (!session) {
    session = NSURLSession::sessionWithConfiguration(sessionConfigurationWithAdditionalHeaders(headers), nullptr, nullptr);
  }
  return session;
}

std::shared_ptr<NSURLSessionDataTask> Webapp::requestWithHandler(std::string_view handler, const StringMap& params,
                                                                 DataCompletion completionHandler) {
  auto url = NSURL::URLWithString(constructURLWithBaseURL(pageUrlWithPath(handler), params));
  if (!url) return nullptr;
  return requestURLWithUrl(url, std::nullopt, std::move(completionHandler));
}

std::shared_ptr<NSURLSessionDataTask> Webapp::requestURLWithUrl(const std::shared_ptr<NSURL>& url,
                                                                const std::optional<StringMap>& additionalHeaders,
                                                                DataCompletion completionHandler,
                                                                std::optional<std::int64_t> replyLimit) {
  if (!url) return nullptr;
  auto shared = sessionCreatingIfNeeded(additionalHeaders);
  if (!shared) return nullptr;
  auto request = limitedRequestWithURL(url);
  if (replyLimit) {
    const auto own = replyLimitForURL(*url);
    request->setMaximumBodySize(own ? std::min(*own, *replyLimit) : *replyLimit);
  }
  auto task = shared->dataTaskWithRequest(request, std::move(completionHandler));
  if (!task) return nullptr;
  task->resume();
  return task;
}

std::optional<std::int64_t> Webapp::replyLimitForURL(const NSURL& url) {
  static constexpr std::array<std::string_view, 6> itemPages = {"/v1/search",     "/v1/trending", "/v1/collection",
                                                                "/v1/userliked", "/v1/usersaved", "/v1/tags"};
  static constexpr std::array<std::string_view, 3> accountRecords = {"/quorb.user", "/quorb.login", "/quorb.signup"};
  std::string path = url.path();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  auto among = [&](const auto& paths) { return std::find(paths.begin(), paths.end(), path) != paths.end(); };
  if (among(itemPages)) return ReplyLimits::itemPage;
  if (among(accountRecords)) return ReplyLimits::account;
  if (path.starts_with("/v1/") || path.starts_with("/quorb.")) return ReplyLimits::record;
  return std::nullopt;
}

std::shared_ptr<NSURLRequest> Webapp::limitedRequestWithURL(const std::shared_ptr<NSURL>& url) {
  auto request = NSURLRequest::requestWithURL(url);
  if (url) request->setMaximumBodySize(replyLimitForURL(*url));
  return request;
}

std::shared_ptr<NSURLSessionDataTask> Webapp::jsonRequestWithEndpoint(std::string_view endpoint,
                                                                      const StringMap& parameters,
                                                                      JSONCompletion completionHandler) {
  auto url = NSURL::URLWithString(constructURLWithBaseURL(pageUrlWithPath(endpoint), parameters));
  if (!url) return nullptr;
  return requestURLWithUrl(url, std::nullopt,
                           [callback = std::move(completionHandler)](std::shared_ptr<NSData> data,
                                                                     std::shared_ptr<NSURLResponse> response,
                                                                     std::shared_ptr<NSError> error) {
                             handleJSONDataTaskCompletion(data, response, error, callback);
                           });
}

std::expected<std::shared_ptr<NSData>, Webapp::UploadError> Webapp::multipartBody(
    const std::shared_ptr<NSData>& data, const std::optional<std::string>& fileParameterName,
    const StringMap& params) {
  const std::string delimiter = "\r\n--" + std::string(Constants::uploadBoundary);
  // The boundary after a line break ends a part; so does one at the very start of a part's
  // content, which follows a line break of ours. Anything else, quotes and line breaks
  // included, is content.
  const std::string_view bare = std::string_view(delimiter).substr(2);
  auto endsPart = [&](std::string_view content) {
    return content.find(delimiter) != std::string_view::npos || content.starts_with(bare);
  };
  std::vector<std::uint8_t> body;
  for (const auto& [key, value] : params) {
    if (!safeInHeader(key)) return std::unexpected(UploadError::unsafeField);
    if (endsPart(value)) return std::unexpected(UploadError::boundaryInContent);
    appendText(body, delimiter);
    appendText(body, "\r\nContent-Disposition: form-data; name=\"");
    appendText(body, key);
    appendText(body, "\";\r\n\r\n");
    appendText(body, value);
  }
  if (data) {
    const std::string field = fileParameterName.value_or(std::string(Constants::defaultFileParameterName));
    if (!safeInHeader(field)) return std::unexpected(UploadError::unsafeField);
    if (endsPart(data->view())) return std::unexpected(UploadError::boundaryInContent);
    appendText(body, delimiter);
    appendText(body, "\r\nContent-Disposition: form-data; name=\"");
    appendText(body, field);
    appendText(body, "\"; filename=\"");
    appendText(body, Constants::uploadFileName);
    appendText(body, "\"\r\nContent-Type: ");
    appendText(body, Constants::uploadFileContentType);
    appendText(body, "\r\n\r\n");
    body.insert(body.end(), data->bytes().begin(), data->bytes().end());
  }
  if (!params.empty() || data) {
    appendText(body, delimiter);
    appendText(body, "--\r\n");
  }
  return NSData::make(std::move(body));
}

std::shared_ptr<NSURLSessionDataTask> Webapp::uploadWithEndpoint(
    std::string_view endpoint, const std::shared_ptr<NSData>& data, const std::optional<std::string>& fileParameterName,
    const StringMap& params, const std::shared_ptr<NSURLSessionDelegate>& taskDelegate, DataCompletion callback) {
  auto url = NSURL::URLWithString(pageUrlWithPath(endpoint));
  if (!url) return nullptr;
  auto body = multipartBody(data, fileParameterName, params);
  if (!body) {
    if (callback) {
      const char* why = body.error() == UploadError::unsafeField
                            ? "A form field's name holds a line break or a quote"
                            : "A form field or the file holds the multipart boundary";
      callback(nullptr, nullptr,
               NSError::make(std::string(Constants::uploadErrorDomain), static_cast<std::int64_t>(body.error()), why));
    }
    return nullptr;
  }

  auto uploadSession =
      NSURLSession::sessionWithConfiguration(NSURLSessionConfiguration::defaultSessionConfiguration(), taskDelegate, nullptr);
  auto request = limitedRequestWithURL(url);
  request->setValue(std::string(Constants::multipartContentType), Constants::contentTypeHeader);
  request->setHTTPMethod(std::string(Constants::uploadMethod));
  request->setHTTPBody(*body);
  // The completion holds the session until its reset is done and the callback has run;
  // then the session is invalidated so that it and its delegate go.
  auto task = uploadSession->dataTaskWithRequest(
      request, [uploadSession, callback = std::move(callback)](std::shared_ptr<NSData> replyData,
                                                               std::shared_ptr<NSURLResponse> response,
                                                               std::shared_ptr<NSError> error) {
        uploadSession->resetWithCompletionHandler([uploadSession, callback, replyData, response, error] {
          if (callback) callback(replyData, response, error);
          uploadSession->finishTasksAndInvalidate();
        });
      });
  if (!task) {
    uploadSession->finishTasksAndInvalidate();
    return nullptr;
  }
  task->resume();
  return task;
}

std::string Webapp::userAgent() {
  return infoText("CFBundleName") + "/" + infoText("CFBundleShortVersionString") + " (" + "; iOS " +
         infoText("DTPlatformVersion") + ")";
}

URLCharacterSet Webapp::allowedQueryCharacters() { return URLQueryAllowedCharacterSet().removing("&=?+"); }

std::shared_ptr<NSURLSessionConfiguration> Webapp::sessionConfigurationWithAdditionalHeaders(
    const std::optional<StringMap>& headers) {
  auto configuration = NSURLSessionConfiguration::defaultSessionConfiguration();
  // The service's JSON replies are small: one that takes a minute is not coming.
  configuration->timeoutIntervalForResource = 60;
  configuration->HTTPAdditionalHeaders.setValue(userAgent(), Constants::userAgentHeader);
  if (headers) {
    for (const auto& [name, value] : *headers) configuration->HTTPAdditionalHeaders.setValue(value, name);
  }
  return configuration;
}

std::string Webapp::constructURLWithBaseURL(std::string_view base, const std::optional<StringMap>& andParameters) {
  static const StringMap none;
  return constructURLWithBaseURL(base, andParameters ? *andParameters : none);
}

std::string Webapp::constructURLWithBaseURL(std::string_view base, const StringMap& parameters) {
  auto url = NSURL::URLWithString(base);
  if (!url) return std::string(base);
  auto components = NSURLComponents::componentsWithURL(url, false);
  if (!components) return std::string(base);
  if (!components->percentEncodedQuery()) components->setQueryItems(std::vector<NSURLQueryItem>{});
  if (!parameters.empty()) {
    auto items = components->queryItems().value_or(std::vector<NSURLQueryItem>{});
    items.reserve(items.size() + parameters.size());
    for (const auto& [key, value] : parameters) items.push_back(NSURLQueryItem::queryItemWithName(key, value));
    components->setQueryItems(items);
  }
  return components->string().value_or(std::string(base));
}

std::string Webapp::scriptURL() { return baseURL(Base::legacyWeb, Constants::scriptURLKey); }
std::string Webapp::newApiURLBase() { return baseURL(Base::legacyApi, Constants::newApiURLBaseKey); }
std::string Webapp::messageURL() { return baseURL(Base::message, Constants::messageURLKey); }
std::string Webapp::zoltoScriptURL() { return baseURL(Base::web, Constants::zoltoScriptURLKey); }
std::string Webapp::zoltoNewApiURLBase() { return baseURL(Base::api, Constants::zoltoNewApiURLBaseKey); }

std::string Webapp::pageUrlWithPath(std::string_view path) {
  const std::string legacyWeb = scriptURL();
  for (const std::string& base : {legacyWeb, newApiURLBase(), zoltoScriptURL(), zoltoNewApiURLBase()}) {
    if (containsBase(path, base)) return std::string(path);
  }
  return legacyWeb + std::string(path);
}

std::string Webapp::zoltoNewApiURLWithEndpoint(std::string_view endpoint) {
  const std::string base = zoltoNewApiURLBase();
  if (containsBase(endpoint, base)) return std::string(endpoint);
  return base + std::string(endpoint);
}

std::string Webapp::newApiURLWithEndpoint(std::string_view endpoint) { return newApiURLBase() + std::string(endpoint); }

std::string Webapp::zoltoScriptURLWithEndpoint(std::string_view endpoint) {
  return zoltoScriptURL() + std::string(endpoint);
}

void Webapp::storePushToken() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  auto installId = asA<NSString>(defaults->objectForKey(Constants::installIdDefaultsKey));
  if (!installId || installId->string().empty()) return;
  auto token = asA<NSString>(defaults->objectForKey(Constants::pushTokenDefaultsKey));
  if (!token) return;
  const StringMap parameters{{std::string(Constants::tokenKey), token->string()},
                             {std::string(Constants::quorbidKey), installId->string()}};
  auto url = NSURL::URLWithString(constructURLWithBaseURL(pageUrlWithPath(Constants::registerTokenPath), parameters));
  if (!url) return;
  requestURLWithUrl(url, std::nullopt,
                    [](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse> response,
                       std::shared_ptr<NSError> error) { handleJSONDataTaskCompletion(data, response, error, nullptr); });
}

void Webapp::handleJSONDataTaskCompletion(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>&,
                                          const std::shared_ptr<NSError>& error, const JSONCompletion& callback) {
  handleJSONResponse(data, error, callback);
}

void Webapp::handleJSONResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                const JSONCompletion& callback) {
  if (!callback) return;
  if (error) {
    callback(nullptr, error);
    return;
  }
  if (!data) {
    callback(nullptr, nullptr);
    return;
  }
  auto decoded = decodeJSONDictionary(data);
  // A parse error is not passed on: the caller only learns that there is no dictionary.
  callback(decoded ? *decoded : nullptr, nullptr);
}

std::expected<std::shared_ptr<NSDictionary>, std::shared_ptr<NSError>> Webapp::decodeJSONDictionary(
    const std::shared_ptr<NSData>& data) {
  auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
  if (!parsed) return std::unexpected(parsed.error());
  return asA<NSDictionary>(*parsed);
}
