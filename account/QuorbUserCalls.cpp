// The account calls of the signed-in user: sign-up, log-in, retrieval, log-out and the
// authenticated request, and the reading of their replies.
#include "account/QuorbUser.h"
#include "account/UserCollections.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/Unicode.h"
#include "service/PlovexAnalytics.h"

namespace {

using Keys = QuorbUser::Constants;
std::string key(std::string_view name) { return std::string(name); }

// No string tables are shipped, so a lookup gives its key back; the texts pass through here
// where the service's own wording would be looked up.
std::string localized(std::string_view text) { return std::string(text); }

std::shared_ptr<NSError> authError(std::int64_t code, std::string_view reason, std::string_view suggestion) {
  return NSError::make(key(Keys::errorDomain), code,
                       NSDictionary::make({{key(NSError::NSLocalizedDescriptionKey), NSString::make(localized(Keys::authenticationError))},
                                           {key(Keys::NSLocalizedFailureReasonErrorKey), NSString::make(std::string(reason))},
                                           {key(Keys::NSLocalizedRecoverySuggestionErrorKey), NSString::make(localized(suggestion))}}));
}

// "tosacceptancerequired" when it is a Bool; absent or of another type demands acceptance.
bool acceptanceRequired(const std::shared_ptr<NSDictionary>& reply) {
  auto flag = reply ? asA<NSNumber>(reply->objectForKey(Keys::tosacceptancerequired)) : nullptr;
  return flag && flag->isBool() ? flag->boolValue() : true;
}

std::string installId() {
  auto analytics = PlovexAnalytics::sharedPlovexAnalytics();
  return analytics ? analytics->quorbID().value_or("") : "";
}

// The request's own device id: new for every request and kept nowhere.
void addDeviceAndInstall(Webapp::StringMap& parameters) {
  parameters[key(Keys::deviceid)] = NSUUID::UUID()->UUIDString();
  parameters[key(Keys::quorbid)] = installId();
}

}  // namespace

std::expected<std::shared_ptr<QuorbUser>, QuorbUserSerializationError> QuorbUser::initWithAPIResponse(
    const std::shared_ptr<NSDictionary>& user, bool needsTOSAccept) {
  auto identifier = user ? asA<NSNumber>(user->objectForKey(Keys::id)) : nullptr;
  // A JSON integer only: a Bool, a real or digits in a text are no id.
  if (!identifier || (identifier->kind() != NSNumber::Kind::integer &&
                      identifier->kind() != NSNumber::Kind::unsignedInteger)) {
    return std::unexpected(QuorbUserSerializationError{key(Keys::id)});
  }
  auto name = user->objectForKeyAs<NSString>(Keys::username);
  if (!name) return std::unexpected(QuorbUserSerializationError{key(Keys::username)});
  std::shared_ptr<QuorbUser> made(new QuorbUser());
  made->userId = identifier->integerValue();
  made->username = name->string();
  if (auto list = user->objectForKeyAs<NSArray>(Keys::collections)) {
    std::vector<std::shared_ptr<NSDictionary>> collections;
    for (const auto& element : *list) {
      auto collection = asA<NSDictionary>(element);
      if (!collection) {
        collections.clear();
        break;
      }
      collections.push_back(collection);
    }
    made->rawCollections = std::move(collections);
  }
  if (auto tagline = user->objectForKeyAs<NSString>(Keys::tagline)) made->tagLine = tagline->string();
  if (auto avatars = user->objectForKeyAs<NSDictionary>(Keys::avatars)) {
    if (auto image = avatars->objectForKeyAs<NSString>(Keys::avatar256)) made->imageURL = image->string();
  }
  made->hasAcceptedTOS = !needsTOSAccept;
  return made;
}

void QuorbUser::setAuthWithAuth(const std::shared_ptr<NSDictionary>& auth) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (auth) defaults->setObject(auth, Keys::auth);
  else defaults->removeObjectForKey(Keys::auth);
  defaults->synchronize();
  NSNotificationCenter::defaultCenter()->postNotificationName(key(Keys::loginStateChanged), auth);
}

void QuorbUser::signupWith(const std::string& email, const std::string& username, const std::string& password,
                           AccountCallback callback) {
  signupWith({{key(Keys::email), email}, {key(Keys::usernameParameter), username}, {key(Keys::password), password}}, true,
             std::move(callback));
}

void QuorbUser::signupWith(Webapp::StringMap parameters, bool includeTOSFlag, AccountCallback callback) {
  addDeviceAndInstall(parameters);
  if (includeTOSFlag) parameters[key(Keys::tos)] = "true";
  send(Keys::signupPath, parameters, [callback](std::shared_ptr<NSDictionary> reply, std::shared_ptr<NSError> error) {
    handleAuthenticationResponse(reply, error, callback);
  });
}

void QuorbUser::loginWith(const std::string& username, const std::string& password, bool includeTOSFlag,
                          AccountCallback callback) {
  Webapp::StringMap parameters{{key(Keys::usernameParameter), username}, {key(Keys::password), password}};
  if (includeTOSFlag) parameters[key(Keys::tos)] = "true";
  requestLogin(std::move(parameters), std::move(callback));
}

void QuorbUser::requestLogin(Webapp::StringMap parameters, AccountCallback callback) {
  addDeviceAndInstall(parameters);
  send(Keys::loginPath, parameters, [callback](std::shared_ptr<NSDictionary> reply, std::shared_ptr<NSError> error) {
    handleAuthenticationResponse(reply, error, callback);
  });
}

void QuorbUser::retrieveUserWithCallback(AccountCallback callback) {
  authenticatedRequestWithHandler(Keys::userPath, {}, [callback](std::shared_ptr<NSDictionary> reply, std::shared_ptr<NSError> error) {
    handleRetrieveUserResponse(reply, error, callback);
  });
}

void QuorbUser::logout() {
  Webapp::StringMap parameters;
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) {
    if (auto install = analytics->quorbID()) parameters[key(Keys::quorbid)] = *install;
  }
  // The token is read here, before it is removed, so the service learns which one ends.
  authenticatedRequestWithHandler(Keys::unauthorizePath, parameters, nullptr);
  setAuthWithAuth(nullptr);
  // A log-out may come from a reply on a network queue; the store lives on the main thread.
  UserCollections::onMainThread([](UserCollections& collections) { collections.purgeCollections(); });
}

void QuorbUser::authenticatedRequestWithHandler(std::string_view handler, Webapp::StringMap parameters,
                                                RequestCompletion completionHandler) {
  auto token = authToken();
  if (!token) {
    if (completionHandler) completionHandler(nullptr, authError(-2, localized(Keys::notLoggedIn), Keys::logInToContinue));
    return;
  }
  parameters[key(Keys::token)] = *token;
  send(handler, parameters, std::move(completionHandler));
}

void QuorbUser::send(std::string_view path, const Webapp::StringMap& parameters, RequestCompletion completion) {
  auto url = NSURL::URLWithString(Webapp::constructURLWithBaseURL(Webapp::pageUrlWithPath(path), parameters));
  // Should the address ever not parse, the caller hears of it as of a reply that was no
  // JSON object: nothing is sent and its callback still runs once.
  if (!url) {
    if (completion) completion(nullptr, nullptr);
    return;
  }
  auto task = Webapp::requestURLWithUrl(url, std::nullopt,
                                        [completion](std::shared_ptr<NSData> data, std::shared_ptr<NSURLResponse> response,
                                                     std::shared_ptr<NSError> error) {
                                          Webapp::handleJSONDataTaskCompletion(data, response, error, completion);
                                        });
  if (!task && completion) completion(nullptr, nullptr);
}

void QuorbUser::handleAuthenticationResponse(const std::shared_ptr<NSDictionary>& reply, const std::shared_ptr<NSError>& error,
                                             const AccountCallback& callback) {
  auto answer = [&](std::shared_ptr<QuorbUser> user, bool required, std::shared_ptr<NSError> failure,
                    std::shared_ptr<NSDictionary> map) {
    if (callback) callback(std::move(user), required, std::move(failure), std::move(map));
  };
  if (error) return answer(nullptr, false, error, nullptr);
  if (!reply) return answer(nullptr, false, nullptr, nullptr);
  const bool required = acceptanceRequired(reply);
  std::shared_ptr<NSError> failure;
  auto user = userFromResponse(reply, failure);
  if (failure) return answer(nullptr, required, failure, errorMapFromResponse(reply));
  if (required) return answer(user, true, nullptr, nullptr);
  // Signed in only with both a record and a token: anything less stores nothing, and the
  // caller sees a reply without a user.
  auto auth = reply->objectForKeyAs<NSDictionary>(Keys::auth);
  auto token = tokenOfRecord(auth);
  if (!user || !token) return answer(nullptr, false, nullptr, nullptr);
  setAuthWithAuth(auth);
  // The defaults refuse a record they cannot keep (one holding a null, say).
  if (authToken() != token) return answer(nullptr, false, nullptr, nullptr);
  answer(user, false, nullptr, nullptr);
}

void QuorbUser::handleRetrieveUserResponse(const std::shared_ptr<NSDictionary>& reply, const std::shared_ptr<NSError>& error,
                                           const AccountCallback& callback) {
  if (!callback) return;
  if (!reply || error) return callback(nullptr, false, error, nullptr);
  std::shared_ptr<NSError> failure;
  auto user = userFromResponse(reply, failure);
  auto map = errorMapFromResponse(reply);
  if (failure) return callback(nullptr, false, failure, map);
  callback(user, acceptanceRequired(reply), nullptr, map);
}

std::shared_ptr<QuorbUser> QuorbUser::userFromResponse(const std::shared_ptr<NSDictionary>& reply,
                                                       std::shared_ptr<NSError>& error) {
  error = nullptr;
  if (!reply) return nullptr;
  if (reply->containsKey(Keys::error)) {
    error = authError(-1, composeServerErrorMessage(reply->objectForKey(Keys::error)), Keys::tryAgain);
    return nullptr;
  }
  auto user = reply->objectForKeyAs<NSDictionary>(Keys::user);
  if (!user) return nullptr;
  auto made = initWithAPIResponse(user, acceptanceRequired(reply));
  return made ? *made : nullptr;
}

std::shared_ptr<NSDictionary> QuorbUser::errorMapFromResponse(const std::shared_ptr<NSDictionary>& reply) {
  auto value = reply ? reply->objectForKey(Keys::error) : nullptr;
  if (auto map = asA<NSDictionary>(value)) return map;
  if (auto text = asA<NSString>(value)) return NSDictionary::make({{key(Keys::error), text}});
  return nullptr;
}

std::string QuorbUser::composeServerErrorMessage(const id& error) {
  std::vector<std::string> messages;
  if (auto text = asA<NSString>(error)) {
    messages.push_back(localized(text->string()));
  } else if (auto list = asA<NSArray>(error)) {
    for (const auto& element : *list) {
      auto text = asA<NSString>(element);
      // Only an array made of texts counts.
      if (!text) return "";
      messages.push_back(localized(text->string()));
    }
  } else if (auto map = asA<NSDictionary>(error)) {
    for (const auto& [field, value] : *map) {
      auto text = asA<NSString>(value);
      if (!text) return "";
      messages.push_back(localized(field) + " " + text->string());
    }
  }
  if (messages.empty()) return "";
  messages.front() = Unicode::capitalized(messages.front(), NSLocale::currentLocale()->localeIdentifier());
  std::string joined;
  for (const auto& message : messages) {
    if (!joined.empty()) joined += Keys::joiner;
    joined += message;
  }
  return localized(joined);
}
