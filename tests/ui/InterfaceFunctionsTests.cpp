#include <gtest/gtest.h>

#include "service/InterfaceFunctions.h"
#include "model/NSColorExtensions.h"

namespace {

TEST(ColorFromHexString, SkipsTheFirstCharacterAndReadsHexRGB) {
  const struct {
    const char* text;
    int red, green, blue;
  } cases[] = {
      {"#336699", 0x33, 0x66, 0x99}, {"x336699", 0x33, 0x66, 0x99}, {"#ABC", 0x00, 0x0A, 0xBC},
      {"#", 0, 0, 0},                {"", 0, 0, 0},                 {"#zz", 0, 0, 0},
      {"#FF112233", 0x11, 0x22, 0x33}, {"#0x10ff20", 0x10, 0xff, 0x20}, {"# 102030", 0x10, 0x20, 0x30},
      {"#123456789ABC", 0xff, 0xff, 0xff}, {"FF0000", 0x0F, 0x00, 0x00}, {"#0xg", 0, 0, 0},
      {"#12 34", 0, 0, 0x12}, {"\xC3\xA9" "10", 0, 0, 0x10},  // one character skipped, whatever its bytes
  };
  for (const auto& c : cases) {
    auto color = colorFromHexString(c.text);
    ASSERT_TRUE(color) << c.text;
    EXPECT_DOUBLE_EQ(color->redComponent(), c.red / 255.0) << c.text;
    EXPECT_DOUBLE_EQ(color->greenComponent(), c.green / 255.0) << c.text;
    EXPECT_DOUBLE_EQ(color->blueComponent(), c.blue / 255.0) << c.text;
    EXPECT_DOUBLE_EQ(color->alphaComponent(), 1.0) << c.text;
  }
}

TEST(MergeStringDictionary, TheSourceWinsAndOtherKeysStay) {
  StringDictionary target{{"a", "1"}, {"b", "2"}};
  mergeStringDictionary(target, {{"b", "3"}, {"c", "4"}});
  EXPECT_EQ(target, (StringDictionary{{"a", "1"}, {"b", "3"}, {"c", "4"}}));
  mergeStringDictionary(target, {});
  EXPECT_EQ(target.size(), 3u);
}

}  // namespace
