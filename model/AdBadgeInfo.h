#pragma once
// The advertising badge of a sponsored item: where the grid lays it over the cell and the
// three parts from which the badge image's address is formed.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

// Raw values are what the service sends and what toDictionary writes.
enum class AdBadgePosition : int {
  noBadge = 0,
  topLeft = 1,
  topRight = 2,
  bottomLeft = 3,
  bottomRight = 4,
  topRightShadow = 5,
  expansiveBottom = 6,
};

class AdBadgeInfo : public NSObject {
 public:
  struct APIResponseKeys {
    static constexpr std::string_view position = "position";
    static constexpr std::string_view assetinfo = "assetinfo";
    static constexpr std::string_view asset_name = "asset_name";
    static constexpr std::string_view asset_extension = "asset_extension";
    static constexpr std::string_view urlbase = "urlbase";
  };

  // Never fails: members that are missing or of another type leave their defaults.
  static std::shared_ptr<AdBadgeInfo> initWithApiData(const std::shared_ptr<NSDictionary>& apiData);
  // The same from the members' values as a reader of a parsed document finds them: the
  // position when it is a number (not a Boolean), each text when it is one.
  static std::shared_ptr<AdBadgeInfo> initWithValues(std::optional<double> position,
                                                     std::optional<std::string_view> assetName,
                                                     std::optional<std::string_view> assetExtension,
                                                     std::optional<std::string_view> urlBase);

  AdBadgePosition badgePosition = AdBadgePosition::noBadge;
  std::optional<std::string> assetName;
  std::optional<std::string> assetExtension;
  std::optional<std::string> urlBase;

  // True when there is a position and an address for the image.
  bool hasValidBadge() const;
  // The badge image's address for the main window's current scale; computed on each call.
  std::shared_ptr<NSURL> badgeAssetUrl() const;
  // The same for a given backing scale factor (1.0 standard, 2.0 high density).
  std::shared_ptr<NSURL> badgeAssetUrlForScale(double scale) const;
  // The badge object; initWithApiData of it gives the same four values.
  std::shared_ptr<NSDictionary> toDictionary() const;

  GLIMDECK_OBJECT(AdBadgeInfo)

 private:
  AdBadgeInfo() = default;
};
