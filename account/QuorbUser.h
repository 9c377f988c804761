#pragma once
// The account of the person signed in to the GIF service, and the stored token record
// whose reader is the application-wide "is anybody logged in" test.
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "service/Webapp.h"

class PlovexUser;

// Why a "user" object of an account reply gave no record: the key that was missing.
struct QuorbUserSerializationError {
  std::string missing;
  bool operator==(const QuorbUserSerializationError&) const = default;
};

class QuorbUser : public NSObject, public NSCoding {
 public:
  struct Constants {
    // The user-defaults key of the token record, and the record's two entries read here.
    static constexpr std::string_view auth = "auth";
    static constexpr std::string_view token = "token";
    static constexpr std::string_view expires = "expires";
    // Archive keys.
    static constexpr std::string_view userIDKey = "userID";
    static constexpr std::string_view usernameKey = "username";
    static constexpr std::string_view taglineKey = "tagline";
    static constexpr std::string_view imageURLKey = "imageURL";
    static constexpr std::string_view hasAcceptedTOSKey = "hasAcceptedTOS";
    // Request keys.
    static constexpr std::string_view email = "email";
    static constexpr std::string_view password = "password";
    static constexpr std::string_view usernameParameter = "username";
    static constexpr std::string_view deviceid = "deviceid";
    static constexpr std::string_view tos = "tos";
    static constexpr std::string_view quorbid = "quorbid";
    // Reply keys.
    static constexpr std::string_view id = "id";
    static constexpr std::string_view username = "username";
    static constexpr std::string_view collections = "collections";
    static constexpr std::string_view tagline = "tagline";
    static constexpr std::string_view avatars = "avatars";
    static constexpr std::string_view avatar256 = "256";
    static constexpr std::string_view user = "user";
    static constexpr std::string_view error = "error";
    static constexpr std::string_view tosacceptancerequired = "tosacceptancerequired";
    // Endpoint paths.
    static constexpr std::string_view signupPath = "/quorb.signup";
    static constexpr std::string_view loginPath = "/quorb.login";
    static constexpr std::string_view unauthorizePath = "/quorb.unauthorize";
    static constexpr std::string_view userPath = "/quorb.user";
    static constexpr std::string_view accepttosPath = "/quorb.accepttos";
    // Errors.
    static constexpr std::string_view errorDomain = "QuorbAuth";
    static constexpr std::string_view authenticationError = "Authentication error";
    static constexpr std::string_view notLoggedIn = "You are not logged-in.";
    static constexpr std::string_view logInToContinue = "Please log-in to continue.";
    static constexpr std::string_view tryAgain = "Please try again.";
    static constexpr std::string_view joiner = " and ";
    static constexpr std::string_view NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
    static constexpr std::string_view NSLocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
    // Posted whenever the token record is written or removed.
    static constexpr std::string_view loginStateChanged = "loginStateChanged";
  };

  // The record, the terms-acceptance requirement, an error, the field-error map.
  using AccountCallback = std::function<void(std::shared_ptr<QuorbUser>, bool, std::shared_ptr<NSError>,
                                             std::shared_ptr<NSDictionary>)>;
  // The reply object and the error of an authenticated request.
  using RequestCompletion = std::function<void(std::shared_ptr<NSDictionary>, std::shared_ptr<NSError>)>;

  // A record from the "user" object of an account reply.
  static std::expected<std::shared_ptr<QuorbUser>, QuorbUserSerializationError> initWithAPIResponse(
      const std::shared_ptr<NSDictionary>& user, bool needsTOSAccept);

  // Stores the token record whole (or removes it for none) and posts "loginStateChanged".
  static void setAuthWithAuth(const std::shared_ptr<NSDictionary>& auth);

  // --- Account calls. Callbacks run on the URL session's queue (the not-logged-in answer of
  // an authenticated call at once, on the caller's thread), each exactly once.
  static void signupWith(const std::string& email, const std::string& username, const std::string& password,
                         AccountCallback callback);
  static void signupWith(Webapp::StringMap parameters, bool includeTOSFlag, AccountCallback callback);
  static void loginWith(const std::string& username, const std::string& password, bool includeTOSFlag,
                        AccountCallback callback);
  static void retrieveUserWithCallback(AccountCallback callback);
  // Tells the service, forgets the token and purges the account's collections.
  static void logout();
  // `handler` is the endpoint path; the stored token goes with the parameters.
  static void authenticatedRequestWithHandler(std::string_view handler, Webapp::StringMap parameters,
                                              RequestCompletion completionHandler);

  static void handleAuthenticationResponse(const std::shared_ptr<NSDictionary>& reply,
                                           const std::shared_ptr<NSError>& error, const AccountCallback& callback);
  static void handleRetrieveUserResponse(const std::shared_ptr<NSDictionary>& reply,
                                         const std::shared_ptr<NSError>& error, const AccountCallback& callback);
  // The record of a reply (none when it has no usable "user"); `error` gets the -1 error when
  // the reply carries "error".
  static std::shared_ptr<QuorbUser> userFromResponse(const std::shared_ptr<NSDictionary>& reply,
                                                     std::shared_ptr<NSError>& error);
  static std::shared_ptr<NSDictionary> errorMapFromResponse(const std::shared_ptr<NSDictionary>& reply);
  // The service's complaint as one sentence, its first message capitalised in the user's locale.
  static std::string composeServerErrorMessage(const id& error);

  // The stored token while its record is valid and unexpired; evaluated afresh each call.
  static std::optional<std::string> authToken();
  // The token of a token record while it is valid and unexpired, as authToken reads it.
  static std::optional<std::string> tokenOfRecord(const std::shared_ptr<NSDictionary>& record);

  // Never fails: missing or mistyped entries take their defaults.
  static std::shared_ptr<QuorbUser> initWithCoder(NSCoder& coder);
  void encodeWithCoder(NSCoder& coder) const override;

  std::int64_t userId = 0;
  std::string username;
  // The user's collections as the reply listed them; not archived.
  std::vector<std::shared_ptr<NSDictionary>> rawCollections;
  std::string tagLine;
  std::string imageURL;
  bool hasAcceptedTOS = false;

  // The public record of this account: the form in which it is compared with creators.
  std::shared_ptr<PlovexUser> createPlovexUser() const;

  // "name:<username> id:<userId>"
  std::string description() const override;
  std::string className() const override { return "QuorbUser"; }

 protected:
  QuorbUser() = default;

 private:
  static void requestLogin(Webapp::StringMap parameters, AccountCallback callback);
  static void send(std::string_view path, const Webapp::StringMap& parameters, RequestCompletion completion);
};
