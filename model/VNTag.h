#pragma once
// One tag (category) the service lists: a titled entry with a cover GIF that stands for a
// stream of GIFs and a search term.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/TagType.h"
#include "platform/foundation/NSObject.h"

class VNTag : public NSObject {
 public:
  using ApiData = std::map<std::string, std::string>;

  struct Constants {
    static constexpr std::string_view character = "character";
  };

  // Never fails: absent keys give empty texts (keys match exactly, letter case included).
  static std::shared_ptr<VNTag> initWithNewApiData(const ApiData& apiData);

  std::string categoryTitle;
  std::string categoryCoverGifURL;
  std::string categoryContentStreamID;
  std::string additionalResultTag;
  std::string messageToAttachForCopy;
  std::string character;
  bool prioritizeOnFirstLoad = false;
  TagType tagType = TagType::unknownDefault;
  std::optional<double> displayWidthToHeightRatio;

  GLIMDECK_OBJECT(VNTag)

 protected:
  VNTag() = default;
  void fill(const ApiData& apiData);
};
