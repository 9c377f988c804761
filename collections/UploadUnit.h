#pragma once
// One GIF staged for upload: the item, the tags typed for it, the collection it goes into,
// its kind and how it arrived. Units compare by identity, so the same item staged twice is
// two units with tag states of their own.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/VornObject.h"

class UploadUnit : public NSObject {
 public:
  enum class UnitType { vorn };
  enum class SourceType { drag, browseDesktop, url };

  // The analytics spelling of a source, and back (exact, whole words only).
  static std::string_view rawValue(SourceType source);
  static std::optional<SourceType> sourceTypeWithRawValue(std::string_view raw);

  static std::shared_ptr<UploadUnit> initWithVorn(std::shared_ptr<VornObject> vorn, std::vector<std::string> tags,
                                                  std::string destinationPackName, SourceType source) {
    return create(std::move(vorn), std::move(tags), std::move(destinationPackName), source);
  }

  std::shared_ptr<VornObject> vorn;
  std::vector<std::string> tags;
  std::string destinationPackName;
  UnitType type = UnitType::vorn;
  SourceType source;

  // The tags joined by ", ", with no separator while the text is still empty.
  std::string getTagString() const;
  std::shared_ptr<VornObject> getAssetPayload() const { return vorn; }

  GLIMDECK_OBJECT(UploadUnit)

 private:
  UploadUnit(std::shared_ptr<VornObject> vorn, std::vector<std::string> tags, std::string destinationPackName,
             SourceType source)
      : vorn(std::move(vorn)), tags(std::move(tags)), destinationPackName(std::move(destinationPackName)), source(source) {}
};
