#pragma once
// The application's own analytics client for the GIF service. It owns the install id
// (asked of the service once and kept under the user-defaults key "analytics-key") and
// sends named events, one GET each, started at once and never read back.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURLResponse.h"
#include "service/InterfaceFunctions.h"

class PlovexAnalytics : public NSObject {
 public:
  using EventData = StringDictionary;

  struct Constants {
    static constexpr std::string_view queueLabel = "myQueue";
    static constexpr std::string_view analyticsKey = "analytics-key";
    static constexpr std::string_view shortVersionKey = "CFBundleShortVersionString";
    static constexpr std::string_view appVersionPrefix = "OSX_QLX_";
    static constexpr std::string_view unknownVersion = "???";
    static constexpr std::string_view appComponentKey = "analytics_appcomponent";
    static constexpr std::string_view defaultComponent = "app";
    static constexpr std::string_view osKey = "os";
    static constexpr std::string_view osValue = "osx";
    static constexpr std::string_view quorbIDPath = "/quorb.quorbid";
    static constexpr std::string_view registerEventPath = "/quorb.registerevent";
    static constexpr std::string_view quorbidKey = "quorbid";
    static constexpr std::string_view appVersionKey = "appversion";
    static constexpr std::string_view dataKey = "data";
    static constexpr std::string_view localeKey = "locale";
    static constexpr std::string_view groupIdKey = "groupid";
    static constexpr std::string_view apiRefIdKey = "apirefid";
    static constexpr std::string_view componentKey = "component";
    static constexpr std::string_view hardwareCodeKey = "hardwarecode";
    static constexpr std::string_view apiKeyKey = "apikey";
    static constexpr std::string_view isUserLoggedInKey = "isUserLoggedIn";
    static constexpr std::string_view noGroup = "-1";
    static constexpr std::string_view hardwareModelName = "hw.model";
    // Keys the screens use in their event data.
    static constexpr std::string_view category = "category";
    static constexpr std::string_view actions = "actions";
    static constexpr std::string_view tag = "tag";
    static constexpr std::string_view tag1 = "tag1";
    static constexpr std::string_view tag2 = "tag2";
    static constexpr std::string_view vornIDKey = "vornIDKey";
    static constexpr std::string_view info = "info";
    static constexpr std::string_view targetapp = "targetapp";
  };
  // An id whose Base64 characters leave a remainder of one never decodes, however padded;
  // the group reading gives up after this many pads.
  static constexpr int maxGroupPadding = 3;

  // Loads the stored install id and the Info values; asks the service for an id when none
  // is stored.
  static std::shared_ptr<PlovexAnalytics> init();
  static std::shared_ptr<PlovexAnalytics> sharedPlovexAnalytics();
  static void setSharedPlovexAnalytics(std::shared_ptr<PlovexAnalytics> analytics);

  // Who is signed in, asked at every event for its "logged in" member: the account layer,
  // which sits above this client, answers with the user's identifier or none. Until one is
  // given, events go as of nobody signed in.
  using SignedInUserSource = std::function<std::optional<std::string>()>;
  static void setSignedInUserSource(SignedInUserSource source);

  // The install id and the reference id are written on the reply queue and read by the
  // screens, so they are kept behind a lock.
  std::optional<std::string> quorbID() const;
  void setQuorbID(std::optional<std::string> quorbID);
  std::string apiReferenceID() const;
  void setApiReferenceID(std::string apiReferenceID);

  std::string appVersion;
  std::string component;
  std::string hardwareModel;

  // "0" to "9" by the last digit of the number the install id carries, or "-1".
  std::string userGroupString() const;
  std::int64_t userGroupNumber() const;

  void requestQuorbID();
  void sendQuorbIDRequest();
  void handleQuorbIDResponse(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSURLResponse>& response,
                             const std::shared_ptr<NSError>& error);

  // Sends the event when the install id is known; otherwise drops it.
  void logEventWithEvent(std::string_view event, const std::optional<EventData>& data);
  void sendEvent(std::string_view event, const std::optional<EventData>& data);
  // The event's members as sent in "data" (the common ones, then the caller's).
  EventData eventFields(const std::optional<EventData>& data) const;
  void generateNewAPIRefID();

  // A new 48-character reference id of A-Z, a-z, 0-9, "-" and "_".
  static std::string getUUIDBase64();
  // 1 "copylink", 2 "copyembed", anything else "copygif".
  static std::string getEllipsesMenuShareTypeStringFrom(std::int64_t shareType);

  static std::optional<std::string> loadStoredQuorbID();
  static std::string readAppVersion();
  static std::string readComponent();

  std::string className() const override { return "PlovexAnalytics"; }

 private:
  PlovexAnalytics() = default;

  mutable std::mutex mutex_;
  std::optional<std::string> quorbID_;
  std::string apiReferenceID_;
};
