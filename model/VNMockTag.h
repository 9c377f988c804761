#pragma once
// A tag the application makes itself rather than reads from the service (the favourites
// entry of the Touch Bar's emoji scrubber); its creator sets `mockTag`.
#include <memory>
#include <optional>
#include <string>

#include "model/VNTag.h"

class VNMockTag : public VNTag {
 public:
  // A mock tag built from an empty dictionary.
  static std::shared_ptr<VNMockTag> init();
  static std::shared_ptr<VNMockTag> initWithNewApiData(const ApiData& apiData);

  std::optional<std::string> mockTag;

  GLIMDECK_OBJECT(VNMockTag)

 private:
  VNMockTag() = default;
};
