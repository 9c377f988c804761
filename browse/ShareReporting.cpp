#include "browse/ShareReporting.h"

#include "browse/CopyVornToPasteboard.h"
#include "browse/GifCell.h"
#include "service/PlovexAnalytics.h"

std::string_view ShareReporting::targetApp(EllipsesMenuShareType type) {
  switch (type) {
    case EllipsesMenuShareType::copyLink: return Constants::copyLink;
    case EllipsesMenuShareType::copyEmbed: return Constants::copyEmbed;
    default: return Constants::copyGif;
  }
}

void ShareReporting::logShare(StringDictionary parameters, const VornObject& vorn,
                              std::optional<EllipsesMenuShareType> type) {
  parameters[std::string(PlovexAnalytics::Constants::vornIDKey)] = vorn.vid;
  if (type) parameters[std::string(PlovexAnalytics::Constants::targetapp)] = std::string(targetApp(*type));
  if (auto analytics = PlovexAnalytics::sharedPlovexAnalytics()) analytics->logEventWithEvent(Constants::shareEvent, parameters);
}

bool ShareReporting::copyAndConfirm(const std::shared_ptr<VornObject>& vorn, const std::shared_ptr<GifCell>& cell) {
  // A tile that says "Copied" while the pasteboard still holds something else misleads.
  if (!copyVornToPasteboard(vorn)) return false;
  if (cell) cell->displayConfirmationOverlayWithMessage(std::nullopt);
  return true;
}
