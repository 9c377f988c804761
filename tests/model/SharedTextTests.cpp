#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/SharedText.h"

namespace {

std::string printed(const SharedText& text) {
  std::ostringstream out;
  out << text;
  return out.str();
}

}  // namespace

TEST(SharedText, ReadsLikeAnOptionalText) {
  struct Case {
    const char* name;
    SharedText text;
    std::optional<std::string> expected;
  };
  const std::string longText(300, 'x');
  const std::vector<Case> cases = {
      {"default", SharedText(), std::nullopt},
      {"nullopt", SharedText(std::nullopt), std::nullopt},
      {"empty optional", SharedText(std::optional<std::string>()), std::nullopt},
      {"empty view optional", SharedText(std::optional<std::string_view>()), std::nullopt},
      {"literal", SharedText("cat"), "cat"},
      {"empty text", SharedText(""), ""},
      {"string", SharedText(longText), longText},
      {"optional", SharedText(std::optional<std::string>("dog")), "dog"},
      {"with NUL", SharedText(std::string_view("a\0b", 3)), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.text.has_value(), c.expected.has_value());
    EXPECT_EQ(static_cast<bool>(c.text), c.expected.has_value());
    EXPECT_EQ(c.text.optional(), c.expected);
    EXPECT_EQ(std::optional<std::string>(c.text), c.expected);
    EXPECT_EQ(c.text.value_or("-"), c.expected.value_or("-"));
    EXPECT_EQ(std::string(*c.text), c.expected.value_or(""));
    EXPECT_EQ(c.text->size(), c.expected.value_or("").size());
    EXPECT_EQ(printed(c.text), c.expected ? *c.expected : "nullopt");
  }
}

TEST(SharedText, ComparesWithTextsOptionalTextsAndAbsence) {
  const SharedText cat("cat"), otherCat(std::string("cat")), dog("dog"), empty(""), absent;
  struct Case {
    const char* name;
    bool equal;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"same text, separate allocations", cat == otherCat, true},
      {"different texts", cat == dog, false},
      {"literal", cat == "cat", true},
      {"literal reversed", "cat" == cat, true},
      {"string", cat == std::string("cat"), true},
      {"view", cat == std::string_view("cat"), true},
      {"longer literal", cat == "cats", false},
      {"optional text", cat == std::optional<std::string>("cat"), true},
      {"optional absent", cat == std::optional<std::string>(), false},
      {"absent and nullopt", absent == std::nullopt, true},
      {"absent and absent optional", absent == std::optional<std::string>(), true},
      {"absent and empty text", absent == "", false},
      {"empty text and absent", empty == absent, false},
      {"empty text and nullopt", empty == std::nullopt, false},
      {"absent and absent", absent == SharedText(), true},
      {"not equal", cat != dog, true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.equal, c.expected) << c.name;
}

TEST(SharedText, CopiesShareOneAllocationThatOutlivesTheOriginal) {
  auto original = std::make_unique<SharedText>(std::string(100, 'a'));
  SharedText copy = *original;
  SharedText assigned;
  assigned = copy;
  EXPECT_TRUE(copy.sharesTextWith(*original));
  EXPECT_TRUE(assigned.sharesTextWith(*original));
  EXPECT_FALSE(SharedText(std::string(100, 'a')).sharesTextWith(*original));
  EXPECT_FALSE(SharedText().sharesTextWith(SharedText()));
  original.reset();
  EXPECT_EQ(copy, std::string(100, 'a'));
  SharedText moved = std::move(copy);
  EXPECT_FALSE(copy.has_value());
  EXPECT_TRUE(moved.sharesTextWith(assigned));
  assigned.reset();
  EXPECT_FALSE(assigned.has_value());
  EXPECT_EQ(moved, std::string(100, 'a'));
  const SharedText& alias = moved;
  moved = alias;  // a self-assignment keeps the text
  EXPECT_EQ(moved, std::string(100, 'a'));
}

TEST(SharedText, TextsMadeTogetherKeepTheirOwnTextsAndLiveUntilTheLastGoes) {
  const std::string embed(250, 'e');
  auto made = SharedText::together(std::array<std::optional<std::string_view>, 6>{
      "https://m/t.gif", std::nullopt, "", "Happy cat", embed, std::string_view("x")});
  EXPECT_EQ(made[0], "https://m/t.gif");
  EXPECT_FALSE(made[1].has_value());
  EXPECT_EQ(made[2], "");
  EXPECT_EQ(made[3], "Happy cat");
  EXPECT_EQ(made[4], embed);
  EXPECT_EQ(made[5], "x");
  // Let go in an order that is neither the making order nor its reverse: every text stays
  // readable until its own last copy goes (the sanitizers check the rest).
  SharedText kept = made[3];
  SharedText alsoKept = made[5];
  made[0].reset();
  made[4] = SharedText("replaced");
  made = {};
  EXPECT_EQ(kept, "Happy cat");
  EXPECT_EQ(alsoKept, "x");
  kept.reset();
  EXPECT_EQ(alsoKept, "x");

  auto none = SharedText::together(std::array<std::optional<std::string_view>, 2>{std::nullopt, std::nullopt});
  EXPECT_FALSE(none[0] || none[1]);
}
