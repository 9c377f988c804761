#include "model/TelescopePayload.h"

std::shared_ptr<TelescopePayload> TelescopePayload::init() { return create(); }

std::shared_ptr<TelescopePayload> TelescopePayload::initWithTelescopeContent(std::optional<List> telescopeContent,
                                                                             std::optional<List> didYouMeanContent) {
  auto payload = init();
  if (telescopeContent) payload->telescopeList = std::move(*telescopeContent);
  if (didYouMeanContent) payload->didYouMeanList = std::move(*didYouMeanContent);
  return payload;
}
