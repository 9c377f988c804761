#pragma once
// The feature note the service can attach to an item: a text, and a button whose link
// leads to an outside address or to a search for a user name.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class FeatureInfo : public NSObject {
 public:
  enum class ClickthroughType : int { externalLink = 0, usernameSearch = 1 };

  struct APIResponseKeys {
    static constexpr std::string_view feature_text = "feature_text";
    static constexpr std::string_view button_link = "button_link";
    static constexpr std::string_view button_text = "button_text";
  };

  // Never fails: members that are missing, empty or of another type stay absent.
  static std::shared_ptr<FeatureInfo> initWithApiData(const std::shared_ptr<NSDictionary>& apiData);
  // The same from the members' texts, each absent when its member is missing or no text (as
  // a reader of a parsed document finds them, without a dictionary).
  static std::shared_ptr<FeatureInfo> initWithTexts(std::optional<std::string_view> featureText,
                                                    std::optional<std::string_view> buttonLink,
                                                    std::optional<std::string_view> buttonText);

  std::optional<std::string> featureText;
  std::shared_ptr<NSURL> featureLink;
  std::optional<std::string> buttonText;

  bool hasValidClickthrough() const;
  bool hasValidExpandValues() const;
  // Text members only; the kind of link is derived again from "button_link" when read back.
  std::shared_ptr<NSDictionary> toDictionary() const;
  // 0 for an external link or no link, 1 for a user-name search.
  std::int64_t rawClickTypeValue() const;
  std::optional<ClickthroughType> clickType() const { return clickType_; }

  GLIMDECK_OBJECT(FeatureInfo)

 private:
  FeatureInfo() = default;
  std::optional<ClickthroughType> clickType_;
};
