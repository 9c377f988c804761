#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "platform/foundation/Base64.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/TextRules.h"
#include "platform/foundation/Unicode.h"
#include "tests/support/TestEnvironment.h"

namespace {
// "é" as one code point and as "e" + combining acute.
const std::string kComposedE = "\xC3\xA9";
const std::string kDecomposedE = "e\xCC\x81";
}  // namespace

class TextTest : public GlimdeckTest {};

TEST_F(TextTest, BooleanReadingOfTexts) {
  struct Case {
    std::string text;
    bool expected;
  };
  const Case cases[] = {
      {"true", true},   {"YES", true},     {"yes", true},    {"1", true},     {" 7", true},
      {"-1", true},     {"+0009", true},   {"\t\nT", true},  {"y-not", true}, {"0001", true},
      {"false", false}, {"no", false},     {"0", false},     {"000", false},  {"", false},
      {"  ", false},    {"+", false},      {"-0", false},    {"N", false},    {"x1", false},
      {"+-1", false},   {"0x1", false},    {"\xC3\xA9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TextRules::boolValue(c.text), c.expected) << '"' << c.text << '"';
}

TEST_F(TextTest, LeadingNumbersOfTexts) {
  struct Case {
    std::string text;
    std::int64_t integer;
    double real;
  };
  const Case cases[] = {
      {"42", 42, 42.0},
      {"  -17abc", -17, -17.0},
      {"+3.75", 3, 3.75},
      {"1e3", 1, 1000.0},
      {"1e", 1, 1.0},
      {".5", 0, 0.5},
      {"-.5e-1", 0, -0.05},
      {"abc", 0, 0.0},
      {"", 0, 0.0},
      {"-", 0, 0.0},
      {"9223372036854775807", INT64_MAX, 9223372036854775807.0},
      {"99999999999999999999", INT64_MAX, 1e20},
      {"-99999999999999999999", INT64_MIN, -1e20},
      {"-9223372036854775808", INT64_MIN, -9223372036854775808.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextRules::integerValue(c.text), c.integer) << c.text;
    EXPECT_DOUBLE_EQ(TextRules::doubleValue(c.text), c.real) << c.text;
  }
  EXPECT_EQ(TextRules::intValue("99999999999"), INT32_MAX);
  EXPECT_EQ(TextRules::intValue("-99999999999"), INT32_MIN);
  EXPECT_TRUE(std::isinf(TextRules::doubleValue("1e999")));
}

TEST_F(TextTest, RealsAreWrittenWithFifteenSignificantDigits) {
  EXPECT_EQ(TextRules::formatReal(0.1), "0.1");
  EXPECT_EQ(TextRules::formatReal(3.0), "3");
  EXPECT_EQ(TextRules::formatReal(1e20), "1e+20");
  EXPECT_EQ(TextRules::formatReal(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(TextRules::formatReal(-2.5), "-2.5");
}

TEST_F(TextTest, CaseInsensitiveComparison) {
  struct Case {
    std::string a, b;
    NSComparisonResult expected;
  };
  const Case cases[] = {
      {"Favorites", "favorites", NSOrderedSame},
      {"FAVORITES", "favorites", NSOrderedSame},
      {"apple", "Banana", NSOrderedAscending},
      {"Banana", "apple", NSOrderedDescending},
      {"abc", "ABCD", NSOrderedAscending},
      {"", "", NSOrderedSame},
      {"CAF" + kComposedE, "caf" + kDecomposedE, NSOrderedSame},
      {"STRASSE", "stra\xC3\x9F" "e", NSOrderedSame},  // ß folds to ss
      {"\xCE\xA3\xCE\x9F\xCE\xA6", "\xCF\x83\xCE\xBF\xCF\x86", NSOrderedSame},  // ΣΟΦ, σοφ
      {"a", "\xC3\xA0", NSOrderedAscending},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Unicode::caseInsensitiveCompare(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Unicode::caseInsensitiveCompare(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
  EXPECT_TRUE(Unicode::caseInsensitiveEqual("Dark", "dark"));
  EXPECT_FALSE(Unicode::caseInsensitiveEqual("Dark", "darker"));
}

TEST_F(TextTest, LiteralOrderingTreatsEquivalentTextsAsTheSame) {
  EXPECT_EQ(Unicode::compare("a", "b"), NSOrderedAscending);
  EXPECT_EQ(Unicode::compare("B", "a"), NSOrderedAscending);
  EXPECT_EQ(Unicode::compare(kComposedE, kDecomposedE), NSOrderedSame);
  EXPECT_EQ(Unicode::compare("b", "a"), NSOrderedDescending);
}

TEST_F(TextTest, CaseMappings) {
  struct Case {
    std::string text, lower, upper, capitalized;
  };
  const Case cases[] = {
      {"hello world", "hello world", "HELLO WORLD", "Hello World"},
      {"hELLO wORLD", "hello world", "HELLO WORLD", "Hello World"},
      {"username", "username", "USERNAME", "Username"},
      {"is already\tused\nhere", "is already\tused\nhere", "IS ALREADY\tUSED\nHERE", "Is Already\tUsed\nHere"},
      {"hello-world o'neil", "hello-world o'neil", "HELLO-WORLD O'NEIL", "Hello-world O'neil"},
      {"  two  spaces ", "  two  spaces ", "  TWO  SPACES ", "  Two  Spaces "},
      {"iPhone 7plus", "iphone 7plus", "IPHONE 7PLUS", "Iphone 7plus"},
      {"stra\xC3\x9F" "e", "stra\xC3\x9F" "e", "STRASSE", "Stra\xC3\x9F" "e"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89", "\xC3\x89t\xC3\xA9"},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Unicode::lowercase(c.text), c.lower) << c.text;
    EXPECT_EQ(Unicode::uppercase(c.text), c.upper) << c.text;
    EXPECT_EQ(Unicode::capitalized(c.text), c.capitalized) << c.text;
  }
}

TEST_F(TextTest, PrefixAndSuffixRespectCanonicalEquivalenceAndCharacterBoundaries) {
  struct Case {
    std::string text, affix;
    bool prefix, suffix;
  };
  const Case cases[] = {
      {"file:///tmp/a.gif", "file://", true, false},
      {"file:///tmp/a.gif", ".gif", false, true},
      {"caf" + kComposedE, "caf" + kDecomposedE, true, true},
      {kDecomposedE + "t" + kDecomposedE, kComposedE, true, true},
      {kComposedE, "e", false, false},  // "e" is only part of the character é
      {"\xED\x95\x9C", "\xED\x95\x98", false, false},  // 한 does not begin with 하
      {"abc", "", true, true},
      {"", "a", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Unicode::hasPrefix(c.text, c.affix), c.prefix) << c.text << " / " << c.affix;
    EXPECT_EQ(Unicode::hasSuffix(c.text, c.affix), c.suffix) << c.text << " / " << c.affix;
  }
}

TEST_F(TextTest, TrimmingWhiteSpace) {
  EXPECT_EQ(Unicode::trimmed("  a b \t"), "a b");
  EXPECT_EQ(Unicode::trimmed("\n a \r\n"), "a");
  EXPECT_EQ(Unicode::trimmed("\n a \n", false), "\n a \n");
  EXPECT_EQ(Unicode::trimmed(" \t a \t ", false), "a");
  EXPECT_EQ(Unicode::trimmed("\xC2\xA0x\xE3\x80\x80"), "x");  // no-break and ideographic spaces
  EXPECT_EQ(Unicode::trimmed("   "), "");
  EXPECT_EQ(Unicode::trimmed("\xFF "), "\xFF");  // invalid bytes are kept
}

TEST_F(TextTest, InvalidUtf8NeverBreaksTheRules) {
  const std::string bad = "ab\xC3(\xFF";
  EXPECT_TRUE(Unicode::canonicallyEqual(bad, bad));
  EXPECT_EQ(Unicode::decomposed(bad), bad);
  EXPECT_FALSE(Unicode::hasPrefix(bad, "b"));
  EXPECT_TRUE(Unicode::hasPrefix(bad, "ab"));
  EXPECT_EQ(Unicode::caseInsensitiveCompare(bad, bad), NSOrderedSame);
  EXPECT_FALSE(Unicode::capitalized(bad).empty());
  EXPECT_EQ(Unicode::utf16Length("a\xF0\x9F\x98\x80"), 3u);  // one supplementary character is two units
}

TEST_F(TextTest, Base64RoundTripsAndPads) {
  struct Case {
    std::string bytes, encoded;
  };
  const Case cases[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"1234", "MTIzNA=="},
      {std::string("\xFB\xFF\xBF", 3), "+/+/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64::encode(c.bytes), c.encoded);
    auto decoded = Base64::decode(c.encoded);
    ASSERT_TRUE(decoded) << c.encoded;
    EXPECT_EQ(std::string(decoded->begin(), decoded->end()), c.bytes);
  }
}

TEST_F(TextTest, Base64DecodingStrictAndLenient) {
  struct Case {
    std::string text;
    std::optional<std::string> strict, lenient;
  };
  const Case cases[] = {
      {"MTIzNA==", "1234", "1234"},
      {"MTIzNA", std::nullopt, std::nullopt},
      {"MTIzNA=", std::nullopt, std::nullopt},
      {"MTIz\nNA==", std::nullopt, "1234"},
      {"-MTIz_NA==", std::nullopt, "1234"},
      {"MTIzN", std::nullopt, std::nullopt},
      {"MTIzN===", std::nullopt, std::nullopt},  // one character and three pads is no byte
      {"MQ==MQ==", std::nullopt, std::nullopt},  // padding in the middle
      {"M=Q=", std::nullopt, std::nullopt},
      {"====", std::nullopt, std::nullopt},
      {"!!!!", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    auto asText = [](const std::optional<std::vector<std::uint8_t>>& bytes) -> std::optional<std::string> {
      if (!bytes) return std::nullopt;
      return std::string(bytes->begin(), bytes->end());
    };
    EXPECT_EQ(asText(Base64::decode(c.text)), c.strict) << c.text;
    EXPECT_EQ(asText(Base64::decode(c.text, Base64::Decoding::ignoreUnknownCharacters)), c.lenient) << c.text;
  }
}

TEST_F(TextTest, UuidsAreRandomVersionFourInUpperCase) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string text = NSUUID::UUID()->UUIDString();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (k == 8 || k == 13 || k == 18 || k == 23) {
        EXPECT_EQ(text[k], '-');
      } else {
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[k])) || (text[k] >= 'A' && text[k] <= 'F')) << text;
      }
    }
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 100u);
  // The reference-id recipe: 36 bytes of UUID text are 48 Base64 characters, no padding.
  EXPECT_EQ(Base64::encode(NSUUID::UUID()->UUIDString()).size(), 48u);
}

TEST_F(TextTest, UuidTextParsing) {
  auto parsed = NSUUID::UUIDWithString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->UUIDString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_TRUE(parsed->isEqual(NSUUID::UUIDWithString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
  EXPECT_EQ(parsed->hash(), NSUUID::UUIDWithString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")->hash());
  EXPECT_FALSE(parsed->isEqual(NSUUID::UUID()));
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
                          "E621E1F8-C36C-495A-93FC_0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0"}) {
    EXPECT_FALSE(NSUUID::UUIDWithString(bad)) << bad;
  }
}

TEST_F(TextTest, FindingTextInUtf16Units) {
  struct Case {
    std::string text, target;
    NSRange expected;
  };
  const Case cases[] = {
      {"Terms of Service and Privacy Policy", "Privacy Policy", {21, 14}},
      {"link link", "link", {0, 4}},  // only the first
      {"abc", "abd", {NSNotFound, 0}},
      {"abc", "", {NSNotFound, 0}},
      {"\xF0\x9F\x98\x80 smile", "smile", {3, 5}},          // the emoji is two units
      {"caf" + kComposedE + "!", "caf" + kDecomposedE, {0, 4}},  // shorter than the target
      {"caf" + kDecomposedE + "!", kComposedE, {3, 2}},
      {"caf" + kDecomposedE, "cafe", {NSNotFound, 0}},     // "e" is only part of a character
  };
  for (const auto& c : cases) EXPECT_EQ(Unicode::rangeOfString(c.text, c.target), c.expected) << c.text << " / " << c.target;
}

TEST_F(TextTest, CaseMappingsFollowTheLocaleWhenGiven) {
  EXPECT_EQ(Unicode::uppercase("istanbul"), "ISTANBUL");
  EXPECT_EQ(Unicode::uppercase("istanbul", "tr_TR"), "\xC4\xB0STANBUL");
  EXPECT_EQ(Unicode::lowercase("I", "tr"), "\xC4\xB1");
  EXPECT_EQ(Unicode::capitalized("izmir ile", "tr_TR"), "\xC4\xB0zmir \xC4\xB0le");
  EXPECT_EQ(Unicode::capitalized("username", "en_US"), "Username");
  EXPECT_EQ(Unicode::capitalized("username", "not a locale"), "Username");
}

TEST_F(TextTest, SplittingAtASeparator) {
  using Pieces = std::vector<std::string>;
  EXPECT_EQ(TextRules::componentsSeparatedByString("a b ", " "), (Pieces{"a", "b", ""}));
  EXPECT_EQ(TextRules::componentsSeparatedByString("", " "), (Pieces{""}));
  EXPECT_EQ(TextRules::componentsSeparatedByString("  ", " "), (Pieces{"", "", ""}));
  EXPECT_EQ(TextRules::componentsSeparatedByString("cats and dogs and", " and "), (Pieces{"cats", "dogs and"}));
  EXPECT_EQ(TextRules::componentsSeparatedByString("abc", ""), (Pieces{"abc"}));
}

TEST_F(TextTest, LenientBase64SkipsStrayCharactersButNeedsItsPadding) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"MTIzNA==", "1234"},
      {"MT\r\nIz-NA==", "1234"},  // characters outside the alphabet are skipped
      {"LTU=", "-5"},
      {"", ""},
      {"MTIzNA", std::nullopt},     // padding missing
      {"MTIzNA=", std::nullopt},
      {"LTU", std::nullopt},
      {"MTIzN", std::nullopt},      // one character more than a multiple of four
      {"MTIzN===", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    auto bytes = Base64::decode(text, Base64::Decoding::ignoreUnknownCharacters);
    EXPECT_EQ(bytes.has_value(), expected.has_value()) << text;
    if (bytes && expected) {
      EXPECT_EQ(std::string(bytes->begin(), bytes->end()), *expected) << text;
    }
  }
}
