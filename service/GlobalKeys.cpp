#include "service/GlobalKeys.h"

#include "platform/foundation/NSBundle.h"

namespace {
std::string withPrefix(std::string_view suffix) { return GlobalKeys::applicationIdentifier() + std::string(suffix); }
}  // namespace

std::string GlobalKeys::applicationIdentifier() { return NSBundle::mainBundle()->bundleIdentifier().value_or(""); }

const std::string& GlobalKeys::touchBarEmojiBarIdentifier() {
  static const std::string name = withPrefix(".emojiBar");
  return name;
}

const std::string& GlobalKeys::touchBarGifScrubberIdentifier() {
  static const std::string name = withPrefix(".gifScrubber");
  return name;
}

const std::string& GlobalKeys::touchBarEmojiScrubberIdentifier() {
  static const std::string name = withPrefix(".emojiScrubber");
  return name;
}

const std::string& GlobalKeys::touchBarConfirmationIdentifier() {
  static const std::string name = withPrefix(".confirmation");
  return name;
}
