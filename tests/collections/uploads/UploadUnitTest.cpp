// Upload units and the tag field's filter: pure rules, as tables.

#include <gtest/gtest.h>

#include <map>

#include "collections/UploadTaggerCell.h"
#include "collections/UploadUnit.h"

namespace {

using Source = UploadUnit::SourceType;

TEST(UploadUnit, TagStringsSourcesAndIdentity) {
  struct Row {
    std::vector<std::string> tags;
    std::string joined;
  };
  const std::vector<Row> rows = {
      {{}, ""},
      {{"cat"}, "cat"},
      {{"cat", "dog"}, "cat, dog"},
      {{"", "dog"}, "dog"},
      {{"cat", "", "dog"}, "cat, , dog"},
  };
  for (const auto& row : rows) {
    auto unit = UploadUnit::initWithVorn(nullptr, row.tags, "Saved", Source::drag);
    EXPECT_EQ(unit->getTagString(), row.joined);
  }

  for (auto source : {Source::drag, Source::browseDesktop, Source::url}) {
    EXPECT_EQ(UploadUnit::sourceTypeWithRawValue(UploadUnit::rawValue(source)), source);
  }
  EXPECT_EQ(UploadUnit::rawValue(Source::browseDesktop), "browseDesktop");
  for (std::string_view raw : {"URL", "drag ", "", "browsedesktop"}) {
    EXPECT_FALSE(UploadUnit::sourceTypeWithRawValue(raw).has_value()) << raw;
  }

  auto vorn = std::shared_ptr<VornObject>();
  auto first = UploadUnit::initWithVorn(vorn, {}, "Saved", Source::url);
  auto second = UploadUnit::initWithVorn(vorn, {}, "Saved", Source::url);
  std::map<std::shared_ptr<UploadUnit>, bool> tagged{{first, true}, {second, false}};
  EXPECT_EQ(tagged.size(), 2u);
  EXPECT_EQ(first->getAssetPayload(), vorn);
}

TEST(UploadTaggerCell, FilterKeepsAsciiLettersDigitsAndHalvesSpaceRuns) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"cat, dog!", "cat dog"},
      {"#", ""},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80 well-done", "caf welldone"},
      {"a  b", "a b"},
      {"a   b", "a  b"},
      {"a    b", "a  b"},
      {" ", " "},
      {"Cat9 DOG", "Cat9 DOG"},
  };
  for (const auto& [typed, kept] : rows) EXPECT_EQ(UploadTaggerCell::filteredTagText(typed), kept) << typed;
}

}  // namespace
