#pragma once
// Process-wide names shared by the screens: drag notifications, Touch Bar identifiers and
// the query keys of advertising logs.

#include <string>
#include <string_view>

struct GlobalKeys {
  static constexpr std::string_view dragBeginNotificationName = "dragBegin";
  static constexpr std::string_view dragEndNotificationName = "dragEnd";

  // The application's own reverse-domain identifier (its bundle's), which the Touch Bar
  // names extend.
  static std::string applicationIdentifier();
  static const std::string& touchBarEmojiBarIdentifier();
  static const std::string& touchBarGifScrubberIdentifier();
  static const std::string& touchBarEmojiScrubberIdentifier();
  static const std::string& touchBarConfirmationIdentifier();

  static constexpr std::string_view adParameterKey = "key";
  static constexpr std::string_view adParameterSourceID = "source_id";
  static constexpr std::string_view adParameterAction = "action";
  static constexpr std::string_view adParameterQuorbID = "quorbid";
  static constexpr std::string_view adParameterTimestamp = "timestamp";
};
