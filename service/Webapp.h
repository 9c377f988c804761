#pragma once
// The static request helper through which the application talks to the GIF service: the
// service's base URLs, request URLs built from a path and a parameter map, the one shared
// URL session that carries the application's User-Agent, GET requests on it, JSON replies
// turned into dictionaries, the push-token registration and the multipart upload.
//
// Base URLs come from the Info dictionary. When GLIMDECK_SERVICE_URL is set (a stand-in,
// "http://127.0.0.1:8765"), all five point at that server under five different spellings of
// its host, so that no base ever contains another: pageUrlWithPath tells a full URL from a
// path by containment.

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLResponse.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/NSURLSessionConfiguration.h"
#include "platform/foundation/NSURLSessionDelegate.h"
#include "platform/foundation/NSURLSessionTask.h"

class Webapp : public NSObject {
 public:
  // Request parameters, additional headers and multipart text fields. The map is unordered
  // on purpose: query items and text parts come in its own iteration order.
  using StringMap = std::unordered_map<std::string, std::string>;
  using DataCompletion = NSURLSessionDataCompletion;
  using JSONCompletion = std::function<void(std::shared_ptr<NSDictionary>, std::shared_ptr<NSError>)>;

  struct Constants {
    static constexpr std::string_view userAgentHeader = "User-Agent";
    static constexpr std::string_view pushTokenDefaultsKey = "zerpa-push-token-remote";
    static constexpr std::string_view registerTokenPath = "/quorb.registertoken";
    static constexpr std::string_view tokenKey = "token";
    static constexpr std::string_view quorbidKey = "quorbid";
    // Written by the analytics sender; the push-token registration reads it.
    static constexpr std::string_view installIdDefaultsKey = "analytics-key";

    // Info dictionary keys of the five bases.
    static constexpr std::string_view scriptURLKey = "ZoltoLegacyWebURL";
    static constexpr std::string_view newApiURLBaseKey = "ZoltoLegacyApiURL";
    static constexpr std::string_view messageURLKey = "ZoltoLegacyMessageURL";
    static constexpr std::string_view zoltoScriptURLKey = "ZoltoWebURL";
    static constexpr std::string_view zoltoNewApiURLBaseKey = "ZoltoApiURL";
    // Points every base at one server (a stand-in).
    static constexpr std::string_view serviceURLVariable = "GLIMDECK_SERVICE_URL";

    // The multipart upload.
    static constexpr std::string_view uploadBoundary = "-------UPLOAD BOUNDARY--------";
    static constexpr std::string_view contentTypeHeader = "content-type";
    static constexpr std::string_view multipartContentType =
        "multipart/form-data; boundary=-------UPLOAD BOUNDARY--------";
    static constexpr std::string_view uploadMethod = "POST";
    static constexpr std::string_view uploadFileName = "image.gif";
    static constexpr std::string_view uploadFileContentType = "application/octet-stream";
    static constexpr std::string_view defaultFileParameterName = "file";

    // Why an upload was refused before anything was sent.
    static constexpr std::string_view uploadErrorDomain = "WebappUpload";
  };
  enum class UploadError : std::int64_t {
    // A field's name (or the file's) holds CR, LF or a double quote: it would break out of
    // its part's header.
    unsafeField = 1,
    // A field's value or the file's bytes hold the boundary line, so the body could not be
    // read back as sent.
    boundaryInContent = 2,
  };

  // The one shared session, or none before the first send.
  static std::shared_ptr<NSURLSession> session();
  static void setSession(std::shared_ptr<NSURLSession> session);
  // The shared session, made from sessionConfigurationWithAdditionalHeaders(headers) when
  // there is none yet. Only one is ever made, even when threads race to send first.
  static std::shared_ptr<NSURLSession> sessionCreatingIfNeeded(const std::optional<StringMap>& headers = std::nullopt);

  // GET of constructURLWithBaseURL(pageUrlWithPath(handler), params); none when that is not a URL.
  static std::shared_ptr<NSURLSessionDataTask> requestWithHandler(std::string_view handler, const StringMap& params,
                                                                  DataCompletion completionHandler);
  // The longest reply an address of the service's interface may send: far above what its
  // endpoint sends, so that only a broken or hostile server meets it, and far below the
  // session's cap, so that a runaway reply is refused before it is read into a tree of
  // values (about sixty times its size). A page of items (tens of kilobytes) may be 2 MiB,
  // the account's record with its packs 1 MiB, any other record or acknowledgement 256 KiB.
  // Other addresses (media, the interface's images) keep the session's cap: none.
  struct ReplyLimits {
    static constexpr std::int64_t itemPage = std::int64_t{2} << 20;
    static constexpr std::int64_t account = std::int64_t{1} << 20;
    static constexpr std::int64_t record = std::int64_t{256} << 10;
  };
  static std::optional<std::int64_t> replyLimitForURL(const NSURL& url);
  // A GET of the address carrying its reply limit.
  static std::shared_ptr<NSURLRequest> limitedRequestWithURL(const std::shared_ptr<NSURL>& url);

  // A started GET on the shared session, its reply no longer than replyLimitForURL. The
  // headers count only when this send makes the session; later they are ignored. Without a
  // completion the reply is dropped.
  // `replyLimit`, when given, is the caller's own bound (a small picture's), tighter than
  // the address's.
  static std::shared_ptr<NSURLSessionDataTask> requestURLWithUrl(const std::shared_ptr<NSURL>& url,
                                                                 const std::optional<StringMap>& additionalHeaders,
                                                                 DataCompletion completionHandler,
                                                                 std::optional<std::int64_t> replyLimit = std::nullopt);
  static std::shared_ptr<NSURLSessionDataTask> jsonRequestWithEndpoint(std::string_view endpoint,
                                                                       const StringMap& parameters,
                                                                       JSONCompletion completionHandler);
  // A POST of a multipart/form-data body on a session of its own, invalidated when the
  // callback has run. No task when the endpoint gives no URL (no callback either), or when
  // a field or the bytes cannot be framed safely (the callback gets an UploadError at once).
  static std::shared_ptr<NSURLSessionDataTask> uploadWithEndpoint(
      std::string_view endpoint, const std::shared_ptr<NSData>& data, const std::optional<std::string>& fileParameterName,
      const StringMap& params, const std::shared_ptr<NSURLSessionDelegate>& taskDelegate, DataCompletion callback);
  // The upload body for these fields and bytes, or why it cannot be framed.
  static std::expected<std::shared_ptr<NSData>, UploadError> multipartBody(
      const std::shared_ptr<NSData>& data, const std::optional<std::string>& fileParameterName,
      const StringMap& params);

  // "N/V (; iOS P)" from the Info values CFBundleName, CFBundleShortVersionString and
  // DTPlatformVersion; a missing one is empty.
  static std::string userAgent();
  static URLCharacterSet allowedQueryCharacters();
  static std::shared_ptr<NSURLSessionConfiguration> sessionConfigurationWithAdditionalHeaders(
      const std::optional<StringMap>& headers);
  // The base with the parameters appended to its query; the base unchanged when it is not a URL.
  static std::string constructURLWithBaseURL(std::string_view base, const std::optional<StringMap>& andParameters);
  // The same with parameters given (no copy of them is made).
  static std::string constructURLWithBaseURL(std::string_view base, const StringMap& parameters);

  static std::string scriptURL();
  static std::string newApiURLBase();
  static std::string messageURL();
  static std::string zoltoScriptURL();
  static std::string zoltoNewApiURLBase();

  // The path unchanged when it already holds one of the four tested bases; else the legacy
  // web base followed directly by it.
  static std::string pageUrlWithPath(std::string_view path);
  static std::string zoltoNewApiURLWithEndpoint(std::string_view endpoint);
  static std::string newApiURLWithEndpoint(std::string_view endpoint);
  static std::string zoltoScriptURLWithEndpoint(std::string_view endpoint);

  // Registers the stored push token with the stored install id; silent when either is missing.
  static void storePushToken();

  static void handleJSONDataTaskCompletion(const std::shared_ptr<NSData>& data,
                                           const std::shared_ptr<NSURLResponse>& response,
                                           const std::shared_ptr<NSError>& error, const JSONCompletion& callback);
  static void handleJSONResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSError>& error,
                                 const JSONCompletion& callback);
  // The top-level object, none for other JSON, or the parser's error.
  static std::expected<std::shared_ptr<NSDictionary>, std::shared_ptr<NSError>> decodeJSONDictionary(
      const std::shared_ptr<NSData>& data);

  GLIMDECK_OBJECT(Webapp)

 private:
  Webapp() = default;
};
