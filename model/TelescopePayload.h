#pragma once
// The related terms and the corrections of one similar-terms reply.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class TelescopePayload : public NSObject {
 public:
  using Entry = std::map<std::string, std::string>;
  using List = std::vector<Entry>;

  // Two empty lists.
  static std::shared_ptr<TelescopePayload> init();
  // The lists given; an absent list is stored as the empty list.
  static std::shared_ptr<TelescopePayload> initWithTelescopeContent(std::optional<List> telescopeContent,
                                                                    std::optional<List> didYouMeanContent);

  List telescopeList;
  List didYouMeanList;

  bool isEmpty() const { return telescopeList.empty() && didYouMeanList.empty(); }

  GLIMDECK_OBJECT(TelescopePayload)

 private:
  TelescopePayload() = default;
};
