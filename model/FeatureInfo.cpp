#include "model/FeatureInfo.h"

#include "platform/foundation/NSString.h"
#include "model/ModelSupport.h"

std::shared_ptr<FeatureInfo> FeatureInfo::initWithApiData(const std::shared_ptr<NSDictionary>& apiData) {
  std::shared_ptr<FeatureInfo> note(new FeatureInfo());
  if (!apiData) return note;
  auto nonEmpty = [&](std::string_view key) -> std::optional<std::string> {
    auto text = ModelSupport::text(apiData->objectForKey(key));
    if (text && text->empty()) return std::nullopt;
    return text;
  };
  note->featureText = nonEmpty(APIResponseKeys::feature_text);
  if (auto link = nonEmpty(APIResponseKeys::button_link)) {
    note->featureLink = NSURL::URLWithString(*link);
    // The kind follows the text even when the text is no address.
    note->clickType_ = link->starts_with("@") ? ClickthroughType::usernameSearch : ClickthroughType::externalLink;
  }
  note->buttonText = nonEmpty(APIResponseKeys::button_text);
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
