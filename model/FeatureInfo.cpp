#include "model/FeatureInfo.h"

#include "platform/foundation/NSString.h"

std::shared_ptr<FeatureInfo> FeatureInfo::initWithApiData(const std::shared_ptr<NSDictionary>& apiData) {
  if (!apiData) return initWithTexts(std::nullopt, std::nullopt, std::nullopt);
  auto text = [&](std::string_view key) -> std::optional<std::string_view> {
    auto string = asA<NSString>(apiData->objectForKey(key));
    return string ? std::optional<std::string_view>(string->string()) : std::nullopt;
  };
  return initWithTexts(text(APIResponseKeys::feature_text), text(APIResponseKeys::button_link),
                       text(APIResponseKeys::button_text));
}

std::shared_ptr<FeatureInfo> FeatureInfo::initWithTexts(std::optional<std::string_view> featureText,
                                                        std::optional<std::string_view> buttonLink,
                                                        std::optional<std::string_view> buttonText) {
  std::shared_ptr<FeatureInfo> note(new FeatureInfo());
  auto nonEmpty = [](std::optional<std::string_view> text) -> std::optional<std::string> {
    if (!text || text->empty()) return std::nullopt;
    return std::string(*text);
  };
  note->featureText = nonEmpty(featureText);
  if (buttonLink && !buttonLink->empty()) {
    note->featureLink = NSURL::URLWithString(*buttonLink);
    // The kind follows the text even when the text is no address.
    note->clickType_ = buttonLink->starts_with("@") ? ClickthroughType::usernameSearch : ClickthroughType::externalLink;
  }
  note->buttonText = nonEmpty(buttonText);
  return note;
}

bool FeatureInfo::hasValidClickthrough() const { return featureText || (featureLink && buttonText); }

bool FeatureInfo::hasValidExpandValues() const { return buttonText.has_value(); }

std::shared_ptr<NSDictionary> FeatureInfo::toDictionary() const {
  auto dictionary = NSDictionary::make();
  if (featureText) dictionary->setObject(NSString::make(*featureText), APIResponseKeys::feature_text);
  if (featureLink) dictionary->setObject(NSString::make(featureLink->absoluteString()), APIResponseKeys::button_link);
  if (buttonText) dictionary->setObject(NSString::make(*buttonText), APIResponseKeys::button_text);
  return dictionary;
}

std::int64_t FeatureInfo::rawClickTypeValue() const {
  return clickType_ == ClickthroughType::usernameSearch ? 1 : 0;
}
