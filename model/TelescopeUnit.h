#pragma once
// One suggested or corrected search term, with its image address and its kind.
#include <expected>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "model/TelescopeType.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"

class TelescopeUnit : public NSObject {
 public:
  using Entry = std::map<std::string, std::string>;
  using Result = std::expected<std::shared_ptr<TelescopeUnit>, TelescopeSerializationError>;

  struct Constants {
    static constexpr std::string_view tag = "tag";
    static constexpr std::string_view image = "image";
    static constexpr std::string_view type = "type";
    static constexpr std::string_view didyoumean = "didyoumean";
  };

  // Fails with `missing` naming the first absent key of "tag", "image", "type". An
  // "image" that is no address is refused the same way, naming "image": a unit always
  // has an address to load.
  static Result initWithApiResponse(const Entry& entry);
  static std::shared_ptr<TelescopeUnit> initWithApiResponse(const Entry& entry, std::shared_ptr<NSError>* error);

  std::string term;
  std::shared_ptr<NSURL> imageURL;
  TelescopeType type = TelescopeType::telescope;

  GLIMDECK_OBJECT(TelescopeUnit)

 private:
  TelescopeUnit() = default;
};
