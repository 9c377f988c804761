#pragma once
// The account of the person signed in to the GIF service, and the stored token record
// whose reader is the application-wide "is anybody logged in" test.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSObject.h"

class PlovexUser;

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
  };

  // The stored token while its record is valid and unexpired; evaluated afresh each call.
  static std::optional<std::string> authToken();

  // Never fails: missing or mistyped entries take their defaults.
  static std::shared_ptr<QuorbUser> initWithCoder(NSCoder& coder);
  void encodeWithCoder(NSCoder& coder) const override;

  std::int64_t userId = 0;
  std::string username;
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
};
