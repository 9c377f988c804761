#include "model/VNTag.h"

#include "platform/foundation/TextRules.h"

std::shared_ptr<VNTag> VNTag::initWithNewApiData(const ApiData& apiData) {
  std::shared_ptr<VNTag> tag(new VNTag());
  tag->fill(apiData);
  return tag;
}

void VNTag::fill(const ApiData& apiData) {
  prioritizeOnFirstLoad = false;
  tagType = TagType::unknownDefault;
  displayWidthToHeightRatio.reset();
  auto value = [&](std::string_view key) {
    auto found = apiData.find(std::string(key));
    return found == apiData.end() ? std::string() : found->second;
  };
  categoryTitle = value("name");
  categoryCoverGifURL = value("image");
  categoryContentStreamID = value("path");
  additionalResultTag = value("searchterm");
  messageToAttachForCopy = value("copymsg");
  character = value(Constants::character);
  if (auto found = apiData.find("firstloadpriority"); found != apiData.end()) {
    prioritizeOnFirstLoad = TextRules::boolValue(found->second);
  }
}
