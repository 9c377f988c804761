#include "model/VNMockTag.h"

std::shared_ptr<VNMockTag> VNMockTag::init() { return initWithNewApiData({}); }

std::shared_ptr<VNMockTag> VNMockTag::initWithNewApiData(const ApiData& apiData) {
  std::shared_ptr<VNMockTag> tag(new VNMockTag());
  tag->fill(apiData);
  return tag;
}
