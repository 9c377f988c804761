#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/NSScanner.h"
#include "tests/support/TestEnvironment.h"

class ScannerTest : public GlimdeckTest {};

TEST_F(ScannerTest, HexIntegersFromAGivenLocation) {
  struct Case {
    std::string text;
    std::size_t from;
    bool read;
    std::uint32_t value;  // what the scan leaves in a value that started at 0
    std::size_t to;       // the location after the scan
  };
  const Case cases[] = {
      {"#FF0000", 1, true, 0xFF0000, 7},
      {"FF0000", 1, true, 0x0F0000, 6},
      {"#", 1, false, 0, 1},
      {"#zzz", 1, false, 0, 1},
      {"#ABC", 1, true, 0x000ABC, 4},
      {"#80FF0000", 1, true, 0x80FF0000, 9},
      {"#123456789", 1, true, 0xFFFFFFFF, 10},  // too large for 32 bits, every digit consumed
      {"#  0x1f", 1, true, 0x1F, 7},              // white space and the prefix are skipped
      {"#0X1F", 1, true, 0x1F, 5},
      {"#0xg", 1, true, 0, 2},                    // a prefix without digits reads as the digit 0
      {"#12 34", 1, true, 0x12, 3},
      {"\xC3\xA9" "10", 1, true, 0x10, 3},       // locations count characters, not bytes
      {"ab", 0, true, 0xAB, 2},
  };
  for (const auto& c : cases) {
    auto scanner = NSScanner::scannerWithString(c.text);
    scanner->setScanLocation(c.from);
    std::uint32_t value = 0;
    EXPECT_EQ(scanner->scanHexInt(&value), c.read) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(scanner->scanLocation(), c.to) << c.text;
  }
}

TEST_F(ScannerTest, HexOverflowSaturatesAndConsumesEveryDigit) {
  auto scanner = NSScanner::scannerWithString("123456789abc,5");
  std::uint32_t value = 0;
  EXPECT_TRUE(scanner->scanHexInt(&value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(scanner->scanLocation(), 12u);

  auto wide = NSScanner::scannerWithString("0x123456789ABCDEF01 ffffffffffffffff");
  std::uint64_t big = 0;
  EXPECT_TRUE(wide->scanHexLongLong(&big));
  EXPECT_EQ(big, UINT64_MAX);
  EXPECT_TRUE(wide->scanHexLongLong(&big));
  EXPECT_EQ(big, UINT64_MAX);
  EXPECT_TRUE(wide->isAtEnd());
}

TEST_F(ScannerTest, FailedScansLeaveTheLocationAndValueAlone) {
  auto scanner = NSScanner::scannerWithString("  word 12");
  std::uint32_t hex = 7;
  std::int64_t integer = 7;
  double real = 7.0;
  EXPECT_FALSE(scanner->scanHexInt(&hex));
  EXPECT_FALSE(scanner->scanInteger(&integer));
  EXPECT_FALSE(scanner->scanDouble(&real));
  EXPECT_EQ(hex, 7u);
  EXPECT_EQ(integer, 7);
  EXPECT_EQ(real, 7.0);
  EXPECT_EQ(scanner->scanLocation(), 0u);
  EXPECT_TRUE(scanner->scanString("WORD"));  // letter case is ignored by default
  EXPECT_TRUE(scanner->scanInteger(&integer));
  EXPECT_EQ(integer, 12);
  EXPECT_TRUE(scanner->isAtEnd());
}

TEST_F(ScannerTest, SequencesOfValues) {
  auto scanner = NSScanner::scannerWithString("width=-12 height=+3.5e2 ratio=.25 big=99999999999999999999 x");
  std::string key;
  std::int64_t width = 0;
  double height = 0, ratio = 0;
  std::int32_t big = 0;
  ASSERT_TRUE(scanner->scanUpToString("=", &key));
  EXPECT_EQ(key, "width");
  ASSERT_TRUE(scanner->scanString("="));
  ASSERT_TRUE(scanner->scanInteger(&width));
  EXPECT_EQ(width, -12);
  ASSERT_TRUE(scanner->scanString("height="));
  ASSERT_TRUE(scanner->scanDouble(&height));
  EXPECT_EQ(height, 350.0);
  ASSERT_TRUE(scanner->scanString("ratio="));
  ASSERT_TRUE(scanner->scanDouble(&ratio));
  EXPECT_EQ(ratio, 0.25);
  ASSERT_TRUE(scanner->scanString("big="));
  ASSERT_TRUE(scanner->scanInt(&big));
  EXPECT_EQ(big, INT32_MAX);
  EXPECT_FALSE(scanner->isAtEnd());
  std::string rest;
  EXPECT_TRUE(scanner->scanUpToString("never", &rest));
  EXPECT_EQ(rest, "x");
  EXPECT_TRUE(scanner->isAtEnd());
  EXPECT_FALSE(scanner->scanUpToString("never"));
}

TEST_F(ScannerTest, SkippedCharactersAndCaseSensitivityCanBeChanged) {
  auto scanner = NSScanner::scannerWithString(" Abc");
  scanner->charactersToBeSkipped = nullptr;
  EXPECT_FALSE(scanner->scanString("Abc"));
  scanner->setScanLocation(1);
  scanner->caseSensitive = true;
  EXPECT_FALSE(scanner->scanString("abc"));
  std::string matched;
  EXPECT_TRUE(scanner->scanString("Abc", &matched));
  EXPECT_EQ(matched, "Abc");
  scanner->setScanLocation(100);
  EXPECT_EQ(scanner->scanLocation(), 4u);
  EXPECT_TRUE(scanner->isAtEnd());
}

TEST_F(ScannerTest, RealsReadInTheCLocaleAndOverflowToInfinity) {
  auto scanner = NSScanner::scannerWithString("1,5 1e400 -1e400");
  double value = 0;
  ASSERT_TRUE(scanner->scanDouble(&value));
  EXPECT_EQ(value, 1.0);
  EXPECT_TRUE(scanner->scanString(","));
  ASSERT_TRUE(scanner->scanDouble(&value));
  EXPECT_EQ(value, 5.0);
  ASSERT_TRUE(scanner->scanDouble(&value));
  EXPECT_TRUE(std::isinf(value) && value > 0);
  ASSERT_TRUE(scanner->scanDouble(&value));
  EXPECT_TRUE(std::isinf(value) && value < 0);
}
