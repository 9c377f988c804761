#include "account/QuorbUser.h"

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "model/PlovexUser.h"
#include "model/ModelSupport.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

const NSCodingRegistration quorbUserRegistration{"QuorbUser", &QuorbUser::initWithCoder};

// The whole text as a real, ASCII only, no spaces on either side.
std::optional<double> wholeReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  for (unsigned char c : text) {
    if (c > 127 || std::isspace(c)) return std::nullopt;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> QuorbUser::authToken() {
  return tokenOfRecord(asA<NSDictionary>(NSUserDefaults::standardUserDefaults()->objectForKey(Constants::auth)));
}

std::optional<std::string> QuorbUser::tokenOfRecord(const std::shared_ptr<NSDictionary>& record) {
  if (!record) return std::nullopt;
  auto token = ModelSupport::text(record->objectForKey(Constants::token));
  if (!record->containsKey(Constants::expires)) return token;
  auto expires = ModelSupport::text(record->objectForKey(Constants::expires));
  auto moment = expires ? wholeReal(*expires) : std::nullopt;
  // Equal counts as expired, and so does a NaN.
  if (!moment || !(*moment > NSDate::date()->timeIntervalSince1970())) return std::nullopt;
  return token;
}

std::shared_ptr<QuorbUser> QuorbUser::initWithCoder(NSCoder& coder) {
  std::shared_ptr<QuorbUser> user(new QuorbUser());
  user->userId = coder.decodeInt64ForKey(Constants::userIDKey);
  user->username = ModelSupport::text(coder.decodeObjectForKey(Constants::usernameKey)).value_or("");
  user->tagLine = ModelSupport::text(coder.decodeObjectForKey(Constants::taglineKey)).value_or("");
  user->imageURL = ModelSupport::text(coder.decodeObjectForKey(Constants::imageURLKey)).value_or("");
  user->hasAcceptedTOS = coder.decodeBoolForKey(Constants::hasAcceptedTOSKey);
  return user;
}

void QuorbUser::encodeWithCoder(NSCoder& coder) const {
  coder.encodeInt64(userId, Constants::userIDKey);
  coder.encodeObject(NSString::make(username), Constants::usernameKey);
  coder.encodeObject(NSString::make(tagLine), Constants::taglineKey);
  coder.encodeObject(NSString::make(imageURL), Constants::imageURLKey);
  coder.encodeBool(hasAcceptedTOS, Constants::hasAcceptedTOSKey);
}

std::string QuorbUser::description() const { return "name:" + username + " id:" + std::to_string(userId); }

std::shared_ptr<PlovexUser> QuorbUser::createPlovexUser() const {
  auto user = PlovexUser::init(std::to_string(userId), PlovexUserType::glimdeck, username);
  user->tagLine = tagLine;
  user->imageUrl = imageURL.empty() ? nullptr : NSURL::URLWithString(imageURL);
  user->hasAcceptedTOS = hasAcceptedTOS;
  return user;
}
