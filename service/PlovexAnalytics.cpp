#include "service/PlovexAnalytics.h"

#include <algorithm>
#include <charconv>

#include "model/AppConstants.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/NSUserDefaults.h"
#include "service/Sysctl.h"
#include "service/Webapp.h"
#include "service/InterfaceFunctions.h"

namespace {

std::mutex& sharedMutex() {
  // Never destroyed: replies still arriving on worker threads while the process exits
  // must not find it gone.
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::shared_ptr<PlovexAnalytics>& sharedStorage() {
  // Never destroyed: replies still arriving on worker threads while the process exits
  // must not find it gone.
  static auto* shared = new std::shared_ptr<PlovexAnalytics>();
  return *shared;
}

PlovexAnalytics::SignedInUserSource& signedInUserSource() {
  static auto* source = new PlovexAnalytics::SignedInUserSource();
  return *source;
}

// Events are built on whichever thread sends them; the source is set once at start-up.
std::optional<std::string> signedInUser() {
  PlovexAnalytics::SignedInUserSource source;
  {
    std::lock_guard lock(sharedMutex());
    source = signedInUserSource();
  }
  return source ? source() : std::nullopt;
}

// A base-10 integer with an optional sign and nothing else; none on overflow.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool isUtf8(const std::vector<std::uint8_t>& bytes) {
  auto text = Sysctl::stringFromData(Sysctl::Bytes(bytes.begin(), bytes.end()));
  // A NUL inside would cut the text short; such bytes are not a number anyway.
  return text && text->size() == bytes.size();
}

}  // namespace

std::shared_ptr<PlovexAnalytics> PlovexAnalytics::init() {
  std::shared_ptr<PlovexAnalytics> analytics(new PlovexAnalytics());
  analytics->quorbID_ = loadStoredQuorbID();
  analytics->appVersion = readAppVersion();
  analytics->component = readComponent();
  auto model = Sysctl::stringForName(Constants::hardwareModelName);
  analytics->hardwareModel = model ? *model : std::string();
  analytics->apiReferenceID_ = getUUIDBase64();
  if (analytics->quorbID_.value_or("").empty()) analytics->requestQuorbID();
  return analytics;
}

std::shared_ptr<PlovexAnalytics> PlovexAnalytics::sharedPlovexAnalytics() {
  std::lock_guard lock(sharedMutex());
  auto& shared = sharedStorage();
  if (!shared) shared = init();
  return shared;
}

void PlovexAnalytics::setSharedPlovexAnalytics(std::shared_ptr<PlovexAnalytics> analytics) {
  std::lock_guard lock(sharedMutex());
  sharedStorage() = std::move(analytics);
}

void PlovexAnalytics::setSignedInUserSource(SignedInUserSource source) {
  std::lock_guard lock(sharedMutex());
  signedInUserSource() = std::move(source);
}

std::optional<std::string> PlovexAnalytics::quorbID() const {
  std::lock_guard lock(mutex_);
  return quorbID_;
}

void PlovexAnalytics::setQuorbID(std::optional<std::string> quorbID) {
  std::lock_guard lock(mutex_);
  quorbID_ = std::move(quorbID);
}

std::string PlovexAnalytics::apiReferenceID() const {
  std::lock_guard lock(mutex_);
  return apiReferenceID_;
}

void PlovexAnalytics::setApiReferenceID(std::string apiReferenceID) {
  std::lock_guard lock(mutex_);
  apiReferenceID_ = std::move(apiReferenceID);
}

std::int64_t PlovexAnalytics::userGroupNumber() const {
  auto id = quorbID();
  if (!id) return -1;
  std::string text = *id;
  auto decoded = Base64::decode(text, Base64::Decoding::ignoreUnknownCharacters);
  for (int pads = 0; !decoded && pads < maxGroupPadding; ++pads) {
    text += '=';
    decoded = Base64::decode(text, Base64::Decoding::ignoreUnknownCharacters);
  }
  if (!decoded || !isUtf8(*decoded)) return -1;
  auto number = decimalInteger(std::string_view(reinterpret_cast<const char*>(decoded->data()), decoded->size()));
  return number.value_or(-1);
}

std::string PlovexAnalytics::userGroupString() const {
  const std::int64_t number = userGroupNumber();
  if (number < 0) return std::string(Constants::noGroup);
  return std::to_string(number % 10);
}

void PlovexAnalytics::requestQuorbID() {
  auto queue = DispatchQueue::makeSerial(std::string(Constants::queueLabel));
  auto self = sharedAs<PlovexAnalytics>();
  queue->async([queue, self] { self->sendQuorbIDRequest(); });
}

void PlovexAnalytics::sendQuorbIDRequest() {
  auto url = NSURL::URLWithString(Webapp::constructURLWithBaseURL(
      Webapp::pageUrlWithPath(Constants::quorbIDPath),
      Webapp::StringMap{{std::string(Constants::osKey), std::string(Constants::osValue)}}));
  if (!url) return;
  std::weak_ptr<PlovexAnalytics> weakSelf = sharedAs<PlovexAnalytics>();
  Webapp::requestURLWithUrl(url, std::nullopt, [weakSelf](auto data, auto response, auto error) {
    if (auto self = weakSelf.lock()) self->handleQuorbIDResponse(data, response, error);
  });
}

void PlovexAnalytics::handleQuorbIDResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>&,
                                            const std::shared_ptr<NSError>& error) {
  if (!data || error) return;
  auto parsed = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingOptions::mutableContainers);
  if (!parsed) return;
  auto reply = asA<NSDictionary>(*parsed);
  if (!reply) return;
  auto id = reply->objectForKeyAs<NSString>(Constants::quorbidKey);
  if (!id) return;
  setQuorbID(id->string());
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(NSString::make(id->string()), Constants::analyticsKey);
  defaults->synchronize();
  Webapp::storePushToken();
}

void PlovexAnalytics::logEventWithEvent(std::string_view event, const std::optional<EventData>& data) {
  if (quorbID().value_or("").empty()) return;
  sendEvent(event, data);
}

PlovexAnalytics::EventData PlovexAnalytics::eventFields(const std::optional<EventData>& data) const {
  EventData fields;
  fields[std::string(Constants::localeKey)] = NSLocale::currentLocale()->localeIdentifier();
  fields[std::string(Constants::groupIdKey)] = userGroupString();
  fields[std::string(Constants::apiRefIdKey)] = apiReferenceID();
  fields[std::string(Constants::componentKey)] = component;
  fields[std::string(Constants::hardwareCodeKey)] = hardwareModel;
  fields[std::string(Constants::apiKeyKey)] = std::string(webApiKey);
  if (auto user = signedInUser()) fields[std::string(Constants::isUserLoggedInKey)] = *user;
  if (data) mergeStringDictionary(fields, *data);
  return fields;
}

void PlovexAnalytics::sendEvent(std::string_view event, const std::optional<EventData>& data) {
  auto object = NSDictionary::make();
  for (const auto& [key, value] : eventFields(data)) object->setObject(NSString::make(value), key);
  const std::string json =
      NSJSONSerialization::stringWithJSONObject(object, NSJSONWritingOptions::prettyPrinted).value_or("");

  Webapp::StringMap query;
  if (auto id = quorbID()) query[std::string(Constants::quorbidKey)] = *id;
  query[std::string(Constants::appVersionKey)] = appVersion;
  query[std::string(Constants::dataKey)] = json;
  const std::string path = std::string(Constants::registerEventPath) + "/" + std::string(event);
  auto url = NSURL::URLWithString(Webapp::constructURLWithBaseURL(Webapp::pageUrlWithPath(path), query));
  if (!url) return;
  auto session = Webapp::sessionCreatingIfNeeded();
  if (!session) return;
  if (auto task = session->dataTaskWithRequest(Webapp::limitedRequestWithURL(url))) task->resume();
}

void PlovexAnalytics::generateNewAPIRefID() { setApiReferenceID(getUUIDBase64()); }

std::string PlovexAnalytics::getUUIDBase64() {
  std::string text = Base64::encode(NSUUID::UUID()->UUIDString());
  std::erase(text, '=');
  std::replace(text.begin(), text.end(), '+', '-');
  std::replace(text.begin(), text.end(), '/', '_');
  return text;
}

std::string PlovexAnalytics::getEllipsesMenuShareTypeStringFrom(std::int64_t shareType) {
  switch (shareType) {
    case 1: return "copylink";
    case 2: return "copyembed";
    default: return "copygif";
  }
}

std::optional<std::string> PlovexAnalytics::loadStoredQuorbID() {
  auto stored = asA<NSString>(NSUserDefaults::standardUserDefaults()->objectForKey(Constants::analyticsKey));
  if (!stored) return std::nullopt;
  return stored->string();
}

std::string PlovexAnalytics::readAppVersion() {
  auto value = NSBundle::mainBundle()->objectForInfoDictionaryKey(Constants::shortVersionKey);
  const std::string prefix(Constants::appVersionPrefix);
  if (!value) return prefix + std::string(Constants::unknownVersion);
  return prefix + value->description();
}

std::string PlovexAnalytics::readComponent() {
  auto value = asA<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(Constants::appComponentKey));
  return value ? value->string() : std::string(Constants::defaultComponent);
}
