#include "model/AdBadgeInfo.h"

#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "model/ModelSupport.h"

std::shared_ptr<AdBadgeInfo> AdBadgeInfo::initWithApiData(const std::shared_ptr<NSDictionary>& apiData) {
  if (!apiData) return initWithValues(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
  std::optional<double> position;
  if (auto number = apiData->objectForKeyAs<NSNumber>(APIResponseKeys::position); number && !number->isBool()) {
    position = number->doubleValue();
  }
  auto info = apiData->objectForKeyAs<NSDictionary>(APIResponseKeys::assetinfo);
  auto text = [&](std::string_view key) -> std::optional<std::string_view> {
    auto string = info ? asA<NSString>(info->objectForKey(key)) : nullptr;
    return string ? std::optional<std::string_view>(string->string()) : std::nullopt;
  };
  return initWithValues(position, text(APIResponseKeys::asset_name), text(APIResponseKeys::asset_extension),
                        text(APIResponseKeys::urlbase));
}

std::shared_ptr<AdBadgeInfo> AdBadgeInfo::initWithValues(std::optional<double> position,
                                                         std::optional<std::string_view> assetName,
                                                         std::optional<std::string_view> assetExtension,
                                                         std::optional<std::string_view> urlBase) {
  std::shared_ptr<AdBadgeInfo> badge(new AdBadgeInfo());
  if (position && *position >= 0 && *position <= 6 && std::floor(*position) == *position) {
    badge->badgePosition = static_cast<AdBadgePosition>(*position);
  }
  auto kept = [](std::optional<std::string_view> text) {
    return text ? std::optional<std::string>(*text) : std::nullopt;
  };
  badge->assetName = kept(assetName);
  badge->assetExtension = kept(assetExtension);
  badge->urlBase = kept(urlBase);
  return badge;
}

bool AdBadgeInfo::hasValidBadge() const { return badgePosition != AdBadgePosition::noBadge && badgeAssetUrl() != nullptr; }

std::shared_ptr<NSURL> AdBadgeInfo::badgeAssetUrl() const { return badgeAssetUrlForScale(ModelSupport::mainWindowScale()); }

std::shared_ptr<NSURL> AdBadgeInfo::badgeAssetUrlForScale(double scale) const {
  auto filled = [](const std::optional<std::string>& text) { return text && !text->empty(); };
  if (!filled(assetName) || !filled(assetExtension) || !filled(urlBase)) return nullptr;
  // The base runs straight into the name: the service's bases end with "/".
  std::string text = *urlBase + *assetName;
  if (scale > 1.0) text += "@" + std::to_string(static_cast<long long>(std::trunc(scale))) + "x";
  text += "." + *assetExtension;
  return NSURL::URLWithString(text);
}

std::shared_ptr<NSDictionary> AdBadgeInfo::toDictionary() const {
  auto info = NSDictionary::make();
  if (assetName) info->setObject(NSString::make(*assetName), APIResponseKeys::asset_name);
  if (assetExtension) info->setObject(NSString::make(*assetExtension), APIResponseKeys::asset_extension);
  if (urlBase) info->setObject(NSString::make(*urlBase), APIResponseKeys::urlbase);
  return NSDictionary::make({{std::string(APIResponseKeys::position),
                              NSNumber::numberWithInteger(static_cast<std::int64_t>(badgePosition))},
                             {std::string(APIResponseKeys::assetinfo), info}});
}
