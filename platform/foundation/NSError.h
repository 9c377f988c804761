#pragma once
// A failure of the platform or of a service call: a domain, a code and user info.

#include <string>

#include "platform/foundation/NSDictionary.h"

class NSError : public NSObject {
 public:
  static std::shared_ptr<NSError> make(std::string domain, std::int64_t code,
                                       std::shared_ptr<NSDictionary> userInfo = nullptr);
  // A shorthand with the description under NSLocalizedDescriptionKey.
  static std::shared_ptr<NSError> make(std::string domain, std::int64_t code, std::string description);

  static constexpr std::string_view NSLocalizedDescriptionKey = "NSLocalizedDescription";
  static constexpr std::string_view NSURLErrorDomain = "NSURLErrorDomain";
  static constexpr std::string_view NSCocoaErrorDomain = "NSCocoaErrorDomain";
  static constexpr std::string_view NSPOSIXErrorDomain = "NSPOSIXErrorDomain";

  const std::string& domain() const { return domain_; }
  std::int64_t code() const { return code_; }
  const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }
  std::string localizedDescription() const;

  std::string className() const override { return "NSError"; }
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::string description() const override;

 private:
  NSError(std::string domain, std::int64_t code, std::shared_ptr<NSDictionary> userInfo)
      : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}
  std::string domain_;
  std::int64_t code_;
  std::shared_ptr<NSDictionary> userInfo_;
};

// Codes of NSURLErrorDomain that the URL session reports.
namespace NSURLError {
inline constexpr std::int64_t cancelled = -999;
inline constexpr std::int64_t badURL = -1000;
inline constexpr std::int64_t timedOut = -1001;
inline constexpr std::int64_t unsupportedURL = -1002;
inline constexpr std::int64_t cannotFindHost = -1003;
inline constexpr std::int64_t cannotConnectToHost = -1004;
inline constexpr std::int64_t networkConnectionLost = -1005;
inline constexpr std::int64_t badServerResponse = -1011;
inline constexpr std::int64_t zeroByteResource = -1014;
inline constexpr std::int64_t cannotDecodeContentData = -1016;
// A redirect would have left https for plain http.
inline constexpr std::int64_t appTransportSecurityRequiresSecureConnection = -1022;
inline constexpr std::int64_t dataLengthExceedsMaximum = -1103;
inline constexpr std::int64_t secureConnectionFailed = -1200;
inline constexpr std::int64_t cannotCreateFile = -3000;
inline constexpr std::int64_t cannotWriteToFile = -3003;
inline constexpr std::int64_t unknown = -1;
}  // namespace NSURLError
