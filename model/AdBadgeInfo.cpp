#include "model/AdBadgeInfo.h"

#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "model/ModelSupport.h"

std::shared_ptr<AdBadgeInfo> AdBadgeInfo::initWithApiData(const std::shared_ptr<NSDictionary>& apiData) {
  std::shared_ptr<AdBadgeInfo> badge(new AdBadgeInfo());
  if (!apiData) return badge;
  if (auto position = apiData->objectForKeyAs<NSNumber>(APIResponseKeys::position); position && !position->isBool()) {
    const double value = position->doubleValue();
    if (value >= 0 && value <= 6 && std::floor(value) == value) badge->badgePosition = static_cast<AdBadgePosition>(value);
  }
  if (auto info = apiData->objectForKeyAs<NSDictionary>(APIResponseKeys::assetinfo)) {
    badge->assetName = ModelSupport::text(info->objectForKey(APIResponseKeys::asset_name));
    badge->assetExtension = ModelSupport::text(info->objectForKey(APIResponseKeys::asset_extension));
    badge->urlBase = ModelSupport::text(info->objectForKey(APIResponseKeys::urlbase));
  }
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
