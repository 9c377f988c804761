#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Format = NSPropertyListFormat;
constexpr Format kBinary = Format::NSPropertyListBinaryFormat_v1_0;
constexpr Format kXml = Format::NSPropertyListXMLFormat_v1_0;

// A binary list assembled by hand: each object is its raw encoding, references are one
// byte wide, offsets two bytes, and object 0 is the top.
std::shared_ptr<NSData> binaryList(const std::vector<std::vector<std::uint8_t>>& objects) {
  std::vector<std::uint8_t> out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<std::size_t> offsets;
  for (const auto& object : objects) {
    offsets.push_back(out.size());
    out.insert(out.end(), object.begin(), object.end());
  }
  const std::size_t table = out.size();
  for (std::size_t offset : offsets) {
    out.push_back(static_cast<std::uint8_t>(offset >> 8));
    out.push_back(static_cast<std::uint8_t>(offset));
  }
  std::vector<std::uint8_t> trailer(32, 0);
  trailer[6] = 2;
  trailer[7] = 2;
  for (int i = 0; i < 8; ++i) {
    trailer[8 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(objects.size()) >> (8 * (7 - i)));
    trailer[24 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(table) >> (8 * (7 - i)));
  }
  out.insert(out.end(), trailer.begin(), trailer.end());
  return NSData::make(out);
}

// An array marker with two-byte references to the given objects.
std::vector<std::uint8_t> arrayOf(const std::vector<std::uint16_t>& refs) {
  std::vector<std::uint8_t> bytes;
  if (refs.size() < 15) {
    bytes.push_back(static_cast<std::uint8_t>(0xA0 | refs.size()));
  } else {
    bytes = {0xAF, 0x11, static_cast<std::uint8_t>(refs.size() >> 8), static_cast<std::uint8_t>(refs.size())};
  }
  for (auto r : refs) {
    bytes.push_back(static_cast<std::uint8_t>(r >> 8));
    bytes.push_back(static_cast<std::uint8_t>(r));
  }
  return bytes;
}

std::shared_ptr<NSDictionary> sample() {
  return NSDictionary::make({
      {"text", NSString::make("caf\xC3\xA9 \xF0\x9F\x8E\x89")},
      {"empty", NSString::make("")},
      {"yes", NSNumber::numberWithBool(true)},
      {"no", NSNumber::numberWithBool(false)},
      {"small", NSNumber::numberWithInteger(7)},
      {"negative", NSNumber::numberWithInteger(-5)},
      {"large", NSNumber::numberWithInteger(INT64_MAX)},
      {"lowest", NSNumber::numberWithInteger(INT64_MIN)},
      {"real", NSNumber::numberWithDouble(0.1)},
      {"data", NSData::fromString(std::string("\0\1\2\xff", 4))},
      {"date", NSDate::dateWithTimeIntervalSince1970(1'700'000'000)},  // XML keeps whole seconds
      {"list", NSArray::make({NSString::make("a"), NSArray::make(), NSDictionary::make()})},
      {"nested", NSDictionary::make({{"inner", NSArray::make({NSNumber::numberWithInteger(1)})}})},
  });
}

}  // namespace

class PropertyListTest : public GlimdeckTest {};

TEST_F(PropertyListTest, ValuesSurviveARoundTripInBothFormatsAndTheFormatIsDetected) {
  for (Format format : {kBinary, kXml}) {
    SCOPED_TRACE(static_cast<int>(format));
    auto written = NSPropertyListSerialization::dataWithPropertyList(sample(), format);
    ASSERT_TRUE(written.has_value()) << written.error()->description();
    Format found{};
    auto read = NSPropertyListSerialization::propertyListWithData(
        *written, NSPropertyListReadOptions::NSPropertyListImmutable, &found);
    ASSERT_TRUE(read.has_value()) << read.error()->description();
    EXPECT_EQ(found, format);
    auto dictionary = asA<NSDictionary>(*read);
    ASSERT_TRUE(dictionary);
    auto expected = sample();
    for (const auto& [key, value] : *expected) {
      EXPECT_TRUE(objectsEqual(dictionary->objectForKey(key), value)) << key;
    }
    EXPECT_TRUE(dictionary->isEqual(sample()));
    EXPECT_EQ(dictionary->allKeys(), sample()->allKeys()) << "key order is kept";
    EXPECT_TRUE(dictionary->objectForKeyAs<NSNumber>("yes")->isBool());
    EXPECT_FALSE(dictionary->objectForKeyAs<NSNumber>("small")->isBool());
    EXPECT_TRUE(dictionary->objectForKeyAs<NSNumber>("real")->isReal());
    EXPECT_EQ(dictionary->objectForKeyAs<NSNumber>("lowest")->integerValue(), INT64_MIN);
  }
}

TEST_F(PropertyListTest, TheWriterProducesTheStandardMarkers) {
  auto binary = NSPropertyListSerialization::dataWithPropertyList(NSString::make("x"), kBinary);
  ASSERT_TRUE(binary.has_value());
  EXPECT_TRUE((*binary)->view().starts_with("bplist00"));
  auto xml = NSPropertyListSerialization::dataWithPropertyList(NSArray::make({NSString::make("a<b")}), kXml);
  ASSERT_TRUE(xml.has_value());
  EXPECT_NE((*xml)->string().find("<string>a&lt;b</string>"), std::string::npos) << (*xml)->string();
}

TEST_F(PropertyListTest, BinaryDatesKeepFractionsAndDatesBeyondTheStorableRangeAreKeptAtItsEnds) {
  auto fraction = NSDate::dateWithTimeIntervalSince1970(1'700'000'000.25);
  auto stored = NSPropertyListSerialization::dataWithPropertyList(fraction, kBinary).value();
  EXPECT_TRUE(objectsEqual(NSPropertyListSerialization::propertyListWithData(stored).value(), fraction));

  auto written = NSPropertyListSerialization::dataWithPropertyList(
      NSArray::make({NSDate::distantPast(), NSDate::distantFuture()}), kBinary);
  ASSERT_TRUE(written.has_value());
  auto read = asA<NSArray>(NSPropertyListSerialization::propertyListWithData(*written).value());
  ASSERT_TRUE(read);
  auto past = asA<NSDate>(read->objectAtIndex(0));
  auto future = asA<NSDate>(read->objectAtIndex(1));
  ASSERT_TRUE(past && future);
  EXPECT_LT(past->timeIntervalSince1970(), -1'000'000'000.0);
  EXPECT_GT(future->timeIntervalSince1970(), 3'000'000'000.0);
}

TEST_F(PropertyListTest, ValuesOutsideThePropertyListTypesAreRefused) {
  struct Case {
    const char* name;
    id value;
  };
  auto cyclic = NSArray::make();
  cyclic->addObject(cyclic);
  const Case cases[] = {
      {"null object", NSNull::null()},
      {"geometry value", NSValue::valueWithSize({1, 2})},
      {"null inside a list", NSArray::make({NSString::make("a"), NSNull::null()})},
      {"empty root", nullptr},
      {"list holding itself", cyclic},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(c.value, kBinary));
    auto written = NSPropertyListSerialization::dataWithPropertyList(c.value, kXml);
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error()->code(), NSPropertyListSerialization::NSPropertyListWriteInvalidError);
  }
  cyclic->removeAllObjects();  // let the list go
}

TEST_F(PropertyListTest, MalformedInputGivesAnErrorNeverACrash) {
  std::string deepXml = "<plist>";
  for (int i = 0; i < 100'000; ++i) deepXml += "<array>";
  for (int i = 0; i < 100'000; ++i) deepXml += "</array>";
  deepXml += "</plist>";
  // Closing tags hidden in a comment must not make deep nesting look shallow.
  std::string hidden = "<plist>";
  for (int i = 0; i < 2'000; ++i) hidden += "<array><!-- </array> -->";
  for (int i = 0; i < 2'000; ++i) hidden += "</array>";
  hidden += "</plist>";

  std::vector<std::vector<std::uint8_t>> chain;  // each array holds the next
  for (std::uint16_t i = 0; i < 5'000; ++i) chain.push_back(i + 1 < 5'000 ? arrayOf({std::uint16_t(i + 1)}) : arrayOf({}));
  std::vector<std::vector<std::uint8_t>> doubling;  // each array holds the next twice: 2^60 values
  for (std::uint16_t i = 0; i < 60; ++i) doubling.push_back(arrayOf({std::uint16_t(i + 1), std::uint16_t(i + 1)}));
  doubling.push_back({0x09});
  std::vector<std::uint8_t> badLength = {0x5F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

  struct Case {
    const char* name;
    std::shared_ptr<NSData> data;
  };
  const Case cases[] = {
      {"empty", NSData::make()},
      {"plain text", NSData::fromString("hello, world")},
      {"magic only", NSData::fromString("bplist00")},
      {"other binary version", NSData::fromString("bplist17" + std::string(40, '\0'))},
      {"unfinished XML", NSData::fromString("<?xml version=\"1.0\"?><plist><dict><key>a</key>")},
      {"invalid UTF-8 text", NSData::fromString("<plist><string>\xff\xfe</string></plist>")},
      {"invalid UTF-8 key", NSData::fromString("<plist><dict><key>\xc3</key><true/></dict></plist>")},
      {"NUL character reference", NSData::fromString("<plist><string>a&#0;b</string></plist>")},
      {"NUL character reference in a key", NSData::fromString("<plist><dict><key>a&#x00;</key><true/></dict></plist>")},
      {"reference beyond Unicode", NSData::fromString("<plist><string>&#x100000000;</string></plist>")},
      {"NUL byte in XML", NSData::fromString(std::string("<plist><string>a\0b</string></plist>", 35))},
      {"NUL in a binary text", binaryList({{0x53, 'a', 0, 'b'}})},
      {"NUL in a binary key", binaryList({{0xD1, 0, 1, 0, 2}, {0x52, 'k', 0}, {0x09}})},
      {"deep XML", NSData::fromString(deepXml)},
      {"nesting hidden by comments", NSData::fromString(hidden)},
      {"deep binary", binaryList(chain)},
      {"shared objects that expand without end", binaryList(doubling)},
      {"array holding itself", binaryList({arrayOf({0})})},
      {"reference out of range", binaryList({arrayOf({9})})},
      {"length past the end", binaryList({badLength})},
      {"unknown marker", binaryList({{0x70}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto read = NSPropertyListSerialization::propertyListWithData(c.data);
    ASSERT_FALSE(read.has_value());
    EXPECT_EQ(read.error()->domain(), NSError::NSCocoaErrorDomain);
    EXPECT_FALSE(read.error()->localizedDescription().empty());
  }
}

TEST_F(PropertyListTest, EveryTruncationOfAValidListIsHandled) {
  for (Format format : {kBinary, kXml}) {
    auto whole = NSPropertyListSerialization::dataWithPropertyList(sample(), format).value();
    for (std::size_t length = 0; length < whole->length(); ++length) {
      auto part = NSData::make(std::vector<std::uint8_t>(whole->bytes().begin(), whole->bytes().begin() + length));
      auto read = NSPropertyListSerialization::propertyListWithData(part);
      // The XML reader forgives a missing tail of closing tags; a cut binary list has no trailer.
      if (format == kBinary) {
        EXPECT_FALSE(read.has_value()) << "cut at " << length;
      }
    }
  }
}

TEST_F(PropertyListTest, NestingUpToTheLimitIsAccepted) {
  id value = NSString::make("core");
  for (std::size_t i = 0; i < NSPropertyListSerialization::kMaximumDepth; ++i) value = NSArray::make({value});
  for (Format format : {kBinary, kXml}) {
    auto written = NSPropertyListSerialization::dataWithPropertyList(value, format);
    ASSERT_TRUE(written.has_value());
    auto read = NSPropertyListSerialization::propertyListWithData(*written);
    ASSERT_TRUE(read.has_value()) << read.error()->description();
    EXPECT_TRUE(objectsEqual(*read, value));
  }
  EXPECT_FALSE(NSPropertyListSerialization::propertyListIsValidForFormat(NSArray::make({value}), kBinary));
}
