#include "model/PlovexUser.h"

#include <array>

#include "model/ModelSupport.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURLComponents.h"
#include "platform/foundation/Unicode.h"

namespace {

const NSCodingRegistration plovexUserRegistration{"PlovexUser", &PlovexUser::initWithCoder};

// An optional sign, then at least one decimal digit, and nothing else.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

// The avatar addresses this thread read last and their URLs: a page of posts names the same
// few posters' avatars over and over, and a URL never changes once made, so posters with one
// avatar share its URL.
std::shared_ptr<NSURL> avatarURL(std::string_view text) {
  struct Kept {
    std::string text;
    std::shared_ptr<NSURL> url;
  };
  thread_local std::array<Kept, 8> kept;
  thread_local std::size_t next = 0;
  for (const Kept& entry : kept) {
    if (entry.url && entry.text == text) return entry.url;
  }
  auto url = NSURL::URLWithString(text);
  if (url) kept[next++ % kept.size()] = {std::string(text), url};
  return url;
}

}  // namespace

std::shared_ptr<NSError> PlovexUserSerializationError::toNSError() const {
  return NSError::make(std::string(domain), static_cast<std::int64_t>(kind), payload);
}

std::shared_ptr<PlovexUser> PlovexUser::init(std::string userIdentifier, PlovexUserType userType,
                                             std::string username) {
  auto user = makeShared<PlovexUser>();
  user->userIdentifier = std::move(userIdentifier);
  user->userType = userType;
  user->username = std::move(username);
  return user;
}

// The steps common to both readers, from the members they took out.
PlovexUser::Result PlovexUser::fromMembers(std::optional<std::string> identifier, std::optional<std::string_view> username,
                                           std::optional<std::string_view> avatar, std::optional<std::string_view> tagline) {
  if (!identifier) return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::userid)));
  if (!username) return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::username)));
  if (!avatar) {
    return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::avatars) + "\n" +
                                                                 std::string(Constants::avatar256)));
  }
  auto user = makeShared<PlovexUser>();
  user->userIdentifier = std::move(*identifier);
  user->userType = PlovexUserType::glimdeck;
  user->username = *username;
  user->imageUrl = avatarURL(*avatar);
  if (!user->imageUrl) return std::unexpected(PlovexUserSerializationError::invalidURL(std::string(*avatar)));
  user->avatarID = 0;
  if (tagline) user->tagLine = std::string(*tagline);
  user->hasAcceptedTOS = false;
  return user;
}

PlovexUser::Result PlovexUser::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData) {
  if (!apiData) return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::userid)));
  auto text = [](const id& value) {
    auto string = asA<NSString>(value);
    return string ? std::optional<std::string_view>(string->string()) : std::nullopt;
  };
  std::optional<std::string> identifier;
  id userid = apiData->objectForKey(Constants::userid);
  if (auto string = asA<NSString>(userid)) {
    identifier = string->string();
  } else if (auto number = asA<NSNumber>(userid)) {
    identifier = number->description();
  }
  auto avatars = apiData->objectForKeyAs<NSDictionary>(Constants::avatars);
  return fromMembers(std::move(identifier), text(apiData->objectForKey(Constants::username)),
                     avatars ? text(avatars->objectForKey(Constants::avatar256)) : std::nullopt,
                     text(apiData->objectForKey("tagline")));
}

// The members a user object is read from, taken out of a parsed document.
struct PlovexUserMembers {
  bool isObject = false;
  std::optional<std::string> identifier;
  std::optional<std::string_view> username, avatar, tagline;
};

namespace {

PlovexUserMembers membersOf(const simdjson::dom::element& apiData) {
  using simdjson::dom::element_type;
  using Constants = PlovexUser::Constants;
  PlovexUserMembers read;
  std::optional<simdjson::dom::element> userid, username, avatars, tagline;
  simdjson::dom::object object;
  if (apiData.get(object) != simdjson::SUCCESS) return read;
  read.isObject = true;
  for (auto member : object) {
    if (member.key == Constants::userid) userid = member.value;
    if (member.key == Constants::username) username = member.value;
    if (member.key == Constants::avatars) avatars = member.value;
    if (member.key == "tagline") tagline = member.value;
  }
  auto text = [](const std::optional<simdjson::dom::element>& value) -> std::optional<std::string_view> {
    std::string_view string;
    if (!value || value->get(string) != simdjson::SUCCESS) return std::nullopt;
    return string;
  };
  std::optional<std::string> identifier;
  if (auto string = text(userid)) {
    identifier = std::string(*string);
  } else if (userid && userid->type() == element_type::INT64) {
    identifier = std::to_string(userid->get_int64().value_unsafe());
  } else if (userid && userid->type() != element_type::ARRAY && userid->type() != element_type::OBJECT &&
             userid->type() != element_type::NULL_VALUE) {
    // A number (or a Boolean, which the value objects also count as one), written as they write it.
    if (auto number = asA<NSNumber>(JSONReader::object(*userid))) identifier = number->description();
  }
  std::optional<simdjson::dom::element> avatar;
  simdjson::dom::object images;
  if (avatars && avatars->get(images) == simdjson::SUCCESS) {
    for (auto member : images) {
      if (member.key == Constants::avatar256) avatar = member.value;
    }
  }
  read.identifier = std::move(identifier);
  read.username = text(username);
  read.avatar = text(avatar);
  read.tagline = text(tagline);
  return read;
}

}  // namespace

PlovexUser::Result PlovexUser::initWithNewApiData(const simdjson::dom::element& apiData) {
  auto read = membersOf(apiData);
  if (!read.isObject) return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::userid)));
  return fromMembers(std::move(read.identifier), read.username, read.avatar, read.tagline);
}

PlovexUser::Result PlovexUser::sharedPosterWithNewApiData(const simdjson::dom::element& apiData) {
  struct Kept {
    PlovexUserMembers members;
    std::string username, avatar, tagline;  // what the members' views point at
    std::shared_ptr<PlovexUser> user;
  };
  thread_local std::array<Kept, 8> kept;
  thread_local std::size_t next = 0;
  auto read = membersOf(apiData);
  if (!read.isObject) return std::unexpected(PlovexUserSerializationError::missing(std::string(Constants::userid)));
  for (const Kept& entry : kept) {
    if (entry.user && entry.members.identifier == read.identifier && entry.members.username == read.username &&
        entry.members.avatar == read.avatar && entry.members.tagline == read.tagline) {
      return entry.user;
    }
  }
  auto user = fromMembers(read.identifier, read.username, read.avatar, read.tagline);
  if (!user) return user;
  Kept& entry = kept[next++ % kept.size()];
  entry.user = *user;
  entry.username = read.username.value_or("");
  entry.avatar = read.avatar.value_or("");
  entry.tagline = read.tagline.value_or("");
  entry.members.identifier = std::move(read.identifier);
  auto view = [](const std::optional<std::string_view>& given, const std::string& copy) {
    return given ? std::optional<std::string_view>(copy) : std::nullopt;
  };
  entry.members.username = view(read.username, entry.username);
  entry.members.avatar = view(read.avatar, entry.avatar);
  entry.members.tagline = view(read.tagline, entry.tagline);
  return user;
}

std::shared_ptr<PlovexUser> PlovexUser::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData,
                                                           std::shared_ptr<NSError>* error) {
  auto result = initWithNewApiData(apiData);
  if (result) return *result;
  if (error) *error = result.error().toNSError();
  return nullptr;
}

std::shared_ptr<PlovexUser> PlovexUser::initWithCoder(NSCoder& coder) {
  auto user = makeShared<PlovexUser>();
  user->userIdentifier = ModelSupport::text(coder.decodeObjectForKey(Constants::userIdentifier)).value_or("");
  user->username = ModelSupport::text(coder.decodeObjectForKey(Constants::username)).value_or("");
  user->userType =
      coder.decodeInt64ForKey(Constants::userType) == 1 ? PlovexUserType::plovexZerpa : PlovexUserType::glimdeck;
  user->imageUrl = asA<NSURL>(coder.decodeObjectForKey(Constants::url));
  // Written with integer coding, which our archives keep inline rather than as an object.
  if (coder.containsValueForKey(Constants::avatarID)) {
    id avatar = coder.decodeObjectForKey(Constants::avatarID);
    user->avatarID = avatar ? ModelSupport::integer(avatar) : std::optional(coder.decodeInt64ForKey(Constants::avatarID));
  }
  user->tagLine = ModelSupport::text(coder.decodeObjectForKey(Constants::tagLine));
  user->hasAcceptedTOS = coder.decodeBoolForKey(Constants::tos);
  return user;
}

void PlovexUser::encodeWithCoder(NSCoder& coder) const {
  coder.encodeObject(NSString::make(userIdentifier), Constants::userIdentifier);
  coder.encodeObject(NSString::make(username), Constants::username);
  coder.encodeInt64(static_cast<std::int64_t>(userType), Constants::userType);
  coder.encodeBool(hasAcceptedTOS, Constants::tos);
  if (imageUrl) coder.encodeObject(imageUrl, Constants::url);
  if (avatarID) coder.encodeInt64(*avatarID, Constants::avatarID);
  if (tagLine) coder.encodeObject(NSString::make(*tagLine), Constants::tagLine);
}

std::string PlovexUser::encodeToURL() const {
  auto components = NSURLComponents::make();
  auto optional = [](bool present, std::string value) { return present ? std::optional(value) : std::nullopt; };
  components->setQueryItems(std::vector<NSURLQueryItem>{
      {std::string(Constants::userIdentifier), userIdentifier},
      {std::string(Constants::userType), std::to_string(static_cast<std::int64_t>(userType))},
      {std::string(Constants::username), username},
      {std::string(Constants::url), optional(imageUrl != nullptr, imageUrl ? imageUrl->absoluteString() : "")},
      {std::string(Constants::avatarID), optional(avatarID.has_value(), std::to_string(avatarID.value_or(0)))},
      {std::string(Constants::tagLine), tagLine},
  });
  auto url = components->URL();
  return url ? url->absoluteString() : "";
}

std::shared_ptr<PlovexUser> PlovexUser::initFrom(const std::shared_ptr<NSURL>& url) {
  auto user = makeShared<PlovexUser>();
  auto components = url ? NSURLComponents::componentsWithURL(url, true) : nullptr;
  auto items = components ? components->queryItems() : std::nullopt;
  if (!items) return user;
  auto named = [](const NSURLQueryItem& item, std::string_view key) {
    return Unicode::caseInsensitiveEqual(item.name, key);
  };
  for (const auto& item : *items) {
    if (!item.value) continue;
    const std::string& value = *item.value;
    if (named(item, Constants::userIdentifier)) {
      user->userIdentifier = value;
    } else if (named(item, Constants::username)) {
      user->username = value;
    } else if (named(item, Constants::tagLine)) {
      user->tagLine = value;
    } else if (named(item, Constants::userType)) {
      auto number = decimalInteger(value);
      if (number == 0) user->userType = PlovexUserType::glimdeck;
      if (number == 1) user->userType = PlovexUserType::plovexZerpa;
    } else if (named(item, Constants::url)) {
      user->imageUrl = NSURL::URLWithString(value);
    } else if (named(item, Constants::avatarID)) {
      if (auto number = decimalInteger(value)) user->avatarID = number;
    } else if (named(item, Constants::tos)) {
      user->hasAcceptedTOS = Unicode::lowercase(value) == "true";
    }
  }
  return user;
}

bool PlovexUser::isEqual(const std::shared_ptr<NSObject>& other) const { return isEqualToUser(asA<PlovexUser>(other)); }

bool PlovexUser::isEqualToUser(const std::shared_ptr<PlovexUser>& other) const {
  return other && Unicode::canonicallyEqual(userIdentifier, other->userIdentifier);
}

std::size_t PlovexUser::hash() const { return stringHash(userIdentifier); }

std::string PlovexUser::description() const {
  return "Username: {" + username + "}\nUser Identifier: {" + userIdentifier + "}";
}
