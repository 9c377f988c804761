#pragma once
// The public record of one user of the GIF service: an item's poster, a collection's
// creator. Built from the service's JSON, archived with keyed coding, and written as a
// URL query string.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

enum class PlovexUserType : std::int64_t { glimdeck = 0, plovexZerpa = 1 };

namespace simdjson::dom {
class element;
}

struct PlovexUserSerializationError {
  enum class Case { missing = 0, invalidURL = 1 };
  Case kind;
  std::string payload;

  static PlovexUserSerializationError missing(std::string key) { return {Case::missing, std::move(key)}; }
  static PlovexUserSerializationError invalidURL(std::string text) { return {Case::invalidURL, std::move(text)}; }
  bool operator==(const PlovexUserSerializationError&) const = default;
  // As a platform error: the case order is the code, the payload the description.
  std::shared_ptr<NSError> toNSError() const;
  static constexpr std::string_view domain = "Glimdeck.PlovexUserSerializationError";
};

class PlovexUser : public NSObject, public NSCoding {
 public:
  struct Constants {
    static constexpr std::string_view userid = "userid";
    static constexpr std::string_view userIdentifier = "userIdentifier";
    static constexpr std::string_view userType = "userType";
    static constexpr std::string_view username = "username";
    static constexpr std::string_view url = "url";
    static constexpr std::string_view avatarID = "avatarID";
    static constexpr std::string_view tagLine = "tagLine";
    static constexpr std::string_view avatars = "avatars";
    static constexpr std::string_view avatar256 = "256";
    static constexpr std::string_view tos = "tos";
  };

  using Result = std::expected<std::shared_ptr<PlovexUser>, PlovexUserSerializationError>;

  // The field constructor: no avatar, no tag line, terms not accepted.
  static std::shared_ptr<PlovexUser> init(std::string userIdentifier, PlovexUserType userType, std::string username);
  // One user object of the service's JSON.
  static Result initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData);
  // The same read straight from a parsed document (JSONReader), without value objects.
  static Result initWithNewApiData(const simdjson::dom::element& apiData);
  // The same for the posters of a reply's items: a user read on this thread a moment ago with
  // the same members is answered again rather than made anew (a page names the same few
  // posters over and over, and nothing changes a poster once read).
  static Result sharedPosterWithNewApiData(const simdjson::dom::element& apiData);
  // The same, reporting a failure as a platform error in `error` when one is given.
  static std::shared_ptr<PlovexUser> initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData,
                                                        std::shared_ptr<NSError>* error);
  // Never fails: missing or mistyped entries take their defaults.
  static std::shared_ptr<PlovexUser> initWithCoder(NSCoder& coder);
  void encodeWithCoder(NSCoder& coder) const override;
  // The query form ("?userIdentifier=...&..."), or "" when no URL can be formed.
  std::string encodeToURL() const;
  // A record read from a query form; never fails.
  static std::shared_ptr<PlovexUser> initFrom(const std::shared_ptr<NSURL>& url);

  std::string userIdentifier;
  std::string username;
  PlovexUserType userType = PlovexUserType::glimdeck;
  std::shared_ptr<NSURL> imageUrl;
  std::optional<std::int64_t> avatarID;
  std::optional<std::string> tagLine;
  bool hasAcceptedTOS = false;

  // Equal by identifier alone (canonically equivalent texts are equal).
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  bool isEqualToUser(const std::shared_ptr<PlovexUser>& other) const;
  std::size_t hash() const override;
  std::string description() const override;
  GLIMDECK_OBJECT(PlovexUser)

 protected:
  PlovexUser() = default;

 private:
  static Result fromMembers(std::optional<std::string> identifier, std::optional<std::string_view> username,
                            std::optional<std::string_view> avatar, std::optional<std::string_view> tagline);
};
