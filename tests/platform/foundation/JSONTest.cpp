#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Reading = NSJSONReadingOptions;
using Writing = NSJSONWritingOptions;

std::expected<id, std::shared_ptr<NSError>> read(std::string_view text, Reading options = Reading::fragmentsAllowed) {
  return NSJSONSerialization::JSONObjectWithBytes(text, options);
}

std::string write(const id& object, Writing options = Writing::fragmentsAllowed) {
  auto text = NSJSONSerialization::stringWithJSONObject(object, options);
  EXPECT_TRUE(text.has_value()) << (text ? "" : text.error()->localizedDescription());
  return text.value_or("");
}

std::string nestedArrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// {"a":[{"a":[ ... ]}]} with `depth` containers in all.
std::string nestedMixed(std::size_t depth) {
  std::string open, close;
  for (std::size_t i = 0; i < depth; ++i) {
    if (i % 2 == 0) {
      open += "{\"a\":";
      close = "}" + close;
    } else {
      open += "[";
      close = "]" + close;
    }
  }
  if (depth % 2 == 1) open += "null";
  return open + close;
}

id nestedObjects(std::size_t depth) {
  id value = NSArray::make();
  for (std::size_t i = 1; i < depth; ++i) value = NSArray::make({value});
  return value;
}

std::size_t depthOf(const id& value) {
  std::size_t deepest = 0;
  if (auto array = asA<NSArray>(value)) {
    for (const auto& item : *array) deepest = std::max(deepest, depthOf(item));
    return deepest + 1;
  }
  if (auto dictionary = asA<NSDictionary>(value)) {
    for (const auto& [key, item] : *dictionary) deepest = std::max(deepest, depthOf(item));
    return deepest + 1;
  }
  return 0;
}

}  // namespace

class JSONTest : public GlimdeckTest {};

TEST_F(JSONTest, ScalarsBecomeTheirValueClassesWithNumberKindsKeptApart) {
  using Kind = NSNumber::Kind;
  struct Case {
    const char* json;
    Kind kind;
    double value;
  };
  const Case numbers[] = {
      {"true", Kind::boolean, 1},
      {"false", Kind::boolean, 0},
      {"0", Kind::integer, 0},
      {"-0", Kind::integer, 0},
      {"42", Kind::integer, 42},
      {"-17", Kind::integer, -17},
      {"1.5", Kind::real, 1.5},
      {"-0.0", Kind::real, -0.0},
      {"1e2", Kind::real, 100},
      {"1E-2", Kind::real, 0.01},
      {"2.0", Kind::real, 2},
      {"1e-400", Kind::real, 0},
      {"1.7976931348623157e308", Kind::real, 1.7976931348623157e308},
      {"18446744073709551616", Kind::real, 18446744073709551616.0},
      {"-9223372036854775809", Kind::real, -9223372036854775809.0},
      {"123456789012345678901234567890", Kind::real, 1.2345678901234568e29},
  };
  for (const auto& c : numbers) {
    SCOPED_TRACE(c.json);
    auto value = read(c.json);
    ASSERT_TRUE(value.has_value()) << value.error()->localizedDescription();
    auto number = asA<NSNumber>(*value);
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->kind(), c.kind);
    EXPECT_EQ(number->doubleValue(), c.value);
    EXPECT_EQ(std::signbit(number->doubleValue()), std::signbit(c.value));
  }

  auto largest = asA<NSNumber>(*read("9223372036854775807"));
  EXPECT_EQ(largest->kind(), Kind::integer);
  EXPECT_EQ(largest->integerValue(), std::numeric_limits<std::int64_t>::max());
  auto smallest = asA<NSNumber>(*read("-9223372036854775808"));
  EXPECT_EQ(smallest->kind(), Kind::integer);
  EXPECT_EQ(smallest->integerValue(), std::numeric_limits<std::int64_t>::min());
  for (std::uint64_t u : {9223372036854775808ull, 18446744073709551615ull}) {
    auto number = asA<NSNumber>(*read(std::to_string(u)));
    EXPECT_EQ(number->kind(), Kind::unsignedInteger);
    EXPECT_EQ(number->unsignedIntegerValue(), u);
  }

  EXPECT_EQ(asA<NSString>(*read(R"("h\u00e9\n\"\\\/\ud83d\ude00")"))->string(), "h\xC3\xA9\n\"\\/\xF0\x9F\x98\x80");
  EXPECT_EQ(asA<NSString>(*read(R"("\u0000")"))->string(), std::string(1, '\0'));
  EXPECT_TRUE(asA<NSNull>(*read("null")));
}

TEST_F(JSONTest, ContainersAreMutableAndRepeatedKeysKeepTheLastValue) {
  auto value = read(R"({"b": [1, "two", null, {"c": false}], "a": {}, "b2": [], "a": 3})", Reading::none);
  ASSERT_TRUE(value.has_value());
  auto root = asA<NSMutableDictionary>(*value);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->allKeys(), (std::vector<std::string>{"b", "a", "b2"}));
  EXPECT_EQ(root->objectForKeyAs<NSNumber>("a")->integerValue(), 3);
  auto list = root->objectForKeyAs<NSMutableArray>("b");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 4u);
  EXPECT_TRUE(asA<NSNull>(list->objectAtIndex(2)));
  EXPECT_FALSE(asA<NSDictionary>(list->objectAtIndex(3))->objectForKeyAs<NSNumber>("c")->boolValue());
  list->addObject(NSString::make("added"));
  root->setObject(NSNumber::numberWithInteger(4), "new");
  EXPECT_EQ(write(root), R"({"b":[1,"two",null,{"c":false},"added"],"a":3,"b2":[],"new":4})");

  auto withData = NSJSONSerialization::JSONObjectWithData(NSData::fromString("[]"), Reading::mutableContainers);
  ASSERT_TRUE(withData.has_value());
  EXPECT_TRUE(asA<NSArray>(*withData));
}

TEST_F(JSONTest, MalformedInputIsAnErrorSayingWhatIsWrong) {
  using namespace std::string_literals;
  struct Case {
    std::string json;
    const char* reason;
  };
  const Case cases[] = {
      {"", "no value"},
      {" \n\t ", "no value"},
      {R"({"a": [1, 2)", "ends before the value is complete"},
      {R"({"a":)", "ends before the value is complete"},
      {"[1,", "ends before the value is complete"},
      {R"(["abc)", "ends inside a string"},
      {R"({"a)", "ends inside a string"},
      {"tru", "true, false or null"},
      {"[nul]", "true, false or null"},
      {"-", "number"},
      {"[1.]", "number"},
      {"[01]", "number"},
      {"[.5]", "out of place"},
      {"[+1]", "out of place"},
      {"[1e400]", "number"},
      {"[-1e400]", "number"},
      {"[" + std::string(400, '9') + "]", "number"},
      {"[NaN]", "out of place"},
      {"{} x", "after the end of the value"},
      {"[1] [2]", "after the end of the value"},
      {"{}}", "after the end of the value"},
      {"1 2", "after the end of the value"},
      {"]", "closing bracket"},
      {"[1,]", "out of place"},
      {"[1 2]", "out of place"},
      {R"({"a" 1})", "out of place"},
      {"{1:2}", "out of place"},
      {R"({"a":1,})", "out of place"},
      {"[\0]"s, "out of place"},
      {"[\"\xFF\"]", "UTF-8"},
      {"[\"\xC0\xAF\"]", "UTF-8"},          // overlong "/"
      {"[\"\xED\xA0\x80\"]", "UTF-8"},      // a surrogate encoded directly
      {"[\"\xE2\x82\"]", "UTF-8"},          // cut inside a character
      {"[\"\xF4\x90\x80\x80\"]", "UTF-8"},  // beyond U+10FFFF
      {"\xEF\xBB\xBF[]", "byte order mark"},
      {R"(["\x"])", "escape"},
      {R"(["\ud800"])", "surrogate"},
      {R"(["\udc00"])", "surrogate"},
      {R"(["\u12"])", "escape"},
      {"[\"a\x01\"]", "control character"},
      {"[\"a\nb\"]", "control character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto value = read(c.json);
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error()->domain(), NSError::NSCocoaErrorDomain);
    EXPECT_EQ(value.error()->code(), 3840);
    EXPECT_NE(value.error()->localizedDescription().find(c.reason), std::string::npos)
        << value.error()->localizedDescription();
  }
  auto missing = NSJSONSerialization::JSONObjectWithData(nullptr);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error()->code(), 3840);
}

TEST_F(JSONTest, TheTopLevelMustBeAContainerUnlessFragmentsAreAllowed) {
  for (const char* json : {"1", "\"a\"", "null", "true", "-2.5"}) {
    SCOPED_TRACE(json);
    auto refused = read(json, Reading::mutableContainers);
    ASSERT_FALSE(refused.has_value());
    EXPECT_NE(refused.error()->localizedDescription().find("top level"), std::string::npos);
    EXPECT_TRUE(read(json, Reading::mutableContainers | Reading::fragmentsAllowed).has_value());
  }
  for (const char* json : {"[]", "{}", " [1] \n"}) EXPECT_TRUE(read(json, Reading::none).has_value()) << json;
}

TEST_F(JSONTest, NestingIsAcceptedUpToTheDepthCapAndRefusedPastIt) {
  const std::size_t cap = NSJSONSerialization::maxDepth;
  for (auto build : {nestedArrays, nestedMixed}) {
    auto atCap = read(build(cap));
    ASSERT_TRUE(atCap.has_value()) << atCap.error()->localizedDescription();
    EXPECT_EQ(depthOf(*atCap), cap);
    auto past = read(build(cap + 1));
    ASSERT_FALSE(past.has_value());
    EXPECT_NE(past.error()->localizedDescription().find("nested deeper than 512"), std::string::npos);
  }
  // Far deeper, closed or not, is still just an error.
  EXPECT_FALSE(read(nestedArrays(200000)).has_value());
  EXPECT_FALSE(read(std::string(200000, '[')).has_value());
  EXPECT_FALSE(read(std::string(100000, '{') + "\"a\":").has_value());

  // Writing keeps to the same cap.
  EXPECT_EQ(write(nestedObjects(cap)), nestedArrays(cap));
  auto tooDeep = NSJSONSerialization::dataWithJSONObject(nestedObjects(cap + 1));
  ASSERT_FALSE(tooDeep.has_value());
  EXPECT_NE(tooDeep.error()->localizedDescription().find("nested deeper"), std::string::npos);
}

TEST_F(JSONTest, InputIsAcceptedUpToTheSizeCapAndRefusedPastIt) {
  std::string atCap(NSJSONSerialization::maxInputLength, ' ');
  atCap.replace(0, 2, "[1");
  atCap.back() = ']';
  auto accepted = read(atCap);
  ASSERT_TRUE(accepted.has_value()) << accepted.error()->localizedDescription();
  EXPECT_EQ(asA<NSArray>(*accepted)->count(), 1u);

  atCap += ' ';
  auto refused = read(atCap);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error()->code(), 3840);
  EXPECT_NE(refused.error()->localizedDescription().find("larger than the limit"), std::string::npos);

  // The parser's buffers shrink back after a large input, and small inputs still read.
  EXPECT_TRUE(read("[true]").has_value());
}

TEST_F(JSONTest, BigIntegersInsideStringsAndNextToOtherNumbersAreLeftAlone) {
  auto value = read(R"(["18446744073709551616", 18446744073709551616, -1, 12, {"k": -99999999999999999999}])");
  ASSERT_TRUE(value.has_value()) << value.error()->localizedDescription();
  auto list = asA<NSArray>(*value);
  EXPECT_EQ(asA<NSString>(list->objectAtIndex(0))->string(), "18446744073709551616");
  EXPECT_TRUE(asA<NSNumber>(list->objectAtIndex(1))->isReal());
  EXPECT_EQ(asA<NSNumber>(list->objectAtIndex(2))->kind(), NSNumber::Kind::integer);
  EXPECT_EQ(asA<NSNumber>(list->objectAtIndex(3))->integerValue(), 12);
  EXPECT_EQ(asA<NSDictionary>(list->objectAtIndex(4))->objectForKeyAs<NSNumber>("k")->doubleValue(), -1e20);
  // A big integer does not excuse another broken number.
  EXPECT_FALSE(read("[18446744073709551616, 01]").has_value());
}

TEST_F(JSONTest, NumbersAreWrittenExactlyAndRealsShortestThatReadBackIdentically) {
  struct Case {
    id number;
    const char* text;
  };
  const Case cases[] = {
      {NSNumber::numberWithBool(true), "true"},
      {NSNumber::numberWithBool(false), "false"},
      {NSNumber::numberWithInteger(0), "0"},
      {NSNumber::numberWithInteger(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {NSNumber::numberWithInteger(std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
      {NSNumber::numberWithUnsignedInteger(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
      {NSNumber::numberWithDouble(0.1), "0.1"},
      {NSNumber::numberWithDouble(3.0), "3.0"},
      {NSNumber::numberWithDouble(-0.0), "-0.0"},
      {NSNumber::numberWithDouble(1e21), "1e+21"},
      {NSNumber::numberWithDouble(123456789012345680.0), "123456789012345680.0"},
      {NSNumber::numberWithDouble(1.0 / 3.0), "0.3333333333333333"},
      {NSNumber::numberWithDouble(5e-324), "5e-324"},
      {NSNumber::numberWithDouble(1.7976931348623157e308), "1.7976931348623157e+308"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(write(c.number), c.text);
    auto back = asA<NSNumber>(*read(c.text));
    auto original = asA<NSNumber>(c.number);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->kind(), original->kind());
    EXPECT_EQ(std::bit_cast<std::uint64_t>(back->doubleValue()), std::bit_cast<std::uint64_t>(original->doubleValue()));
    EXPECT_EQ(back->unsignedIntegerValue(), original->unsignedIntegerValue());
  }
}

TEST_F(JSONTest, StringsAreEscapedAsJSONRequires) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    const char* json;
  };
  const Case cases[] = {
      {"plain", R"("plain")"},
      {"a\"b", R"("a\"b")"},
      {"a\\b", R"("a\\b")"},
      {"http://x/y", R"("http://x/y")"},
      {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
      {"\x01\x1F"s, R"("\u0001\u001f")"},
      {"a\0b"s, R"("a\u0000b")"},
      {"\x7F", "\"\x7F\""},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x80\xA8", "\"caf\xC3\xA9 \xF0\x9F\x98\x80 \xE2\x80\xA8\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    auto string = NSString::make(c.text);
    EXPECT_EQ(write(string), c.json);
    EXPECT_EQ(write(NSDictionary::make({{c.text, string}})), std::string("{") + c.json + ":" + c.json + "}");
    EXPECT_EQ(asA<NSString>(*read(c.json))->string(), c.text);
  }
}

TEST_F(JSONTest, PrettyAndSortedOutputHaveTheirShape) {
  auto document = NSDictionary::make({
      {"zeta", NSArray::make({NSNumber::numberWithInteger(1), NSDictionary::make({{"y", NSNull::null()}})})},
      {"alpha", NSString::make("a/b")},
      {"empty", NSArray::make()},
      {"none", NSDictionary::make()},
  });
  EXPECT_EQ(write(document, Writing::sortedKeys),
            R"({"alpha":"a/b","empty":[],"none":{},"zeta":[1,{"y":null}]})");
  EXPECT_EQ(write(document, Writing::prettyPrinted),
            "{\n"
            "  \"zeta\" : [\n"
            "    1,\n"
            "    {\n"
            "      \"y\" : null\n"
            "    }\n"
            "  ],\n"
            "  \"alpha\" : \"a/b\",\n"
            "  \"empty\" : [],\n"
            "  \"none\" : {}\n"
            "}");
  EXPECT_EQ(write(document, Writing::prettyPrinted | Writing::sortedKeys).substr(0, 21), "{\n  \"alpha\" : \"a/b\",\n");
  EXPECT_EQ(write(NSNumber::numberWithInteger(7), Writing::prettyPrinted | Writing::fragmentsAllowed), "7");
}

TEST_F(JSONTest, ValuesThatAreNotJSONAreRefusedWhenWriting) {
  auto selfContaining = NSArray::make();
  selfContaining->addObject(selfContaining);
  struct Case {
    const char* name;
    id object;
    const char* reason;
  };
  const Case cases[] = {
      {"NaN", NSArray::make({NSNumber::numberWithDouble(std::nan(""))}), "not finite"},
      {"infinity", NSArray::make({NSNumber::numberWithDouble(-INFINITY)}), "not finite"},
      {"date", NSArray::make({NSDate::dateWithTimeIntervalSince1970(0)}), "NSDate is not a JSON value"},
      {"data", NSDictionary::make({{"d", NSData::fromString("x")}}), "NSData is not a JSON value"},
      {"empty element", NSArray::make({id()}), "empty object"},
      {"broken string", NSArray::make({NSString::make("\xFF")}), "not valid UTF-8"},
      {"broken key", NSDictionary::make({{"\xC3", NSNull::null()}}), "not valid UTF-8"},
      {"string at the top", NSString::make("a"), "top level"},
      {"nothing at the top", id(), "top level"},
      {"array inside itself", selfContaining, "contains itself"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto data = NSJSONSerialization::dataWithJSONObject(c.object, Writing::prettyPrinted);
    ASSERT_FALSE(data.has_value());
    EXPECT_EQ(data.error()->domain(), NSError::NSCocoaErrorDomain);
    EXPECT_NE(data.error()->localizedDescription().find(c.reason), std::string::npos)
        << data.error()->localizedDescription();
    EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(c.object));
  }
  selfContaining->removeAllObjects();

  EXPECT_TRUE(NSJSONSerialization::isValidJSONObject(NSArray::make({NSString::make("a"), NSNull::null()})));
  EXPECT_TRUE(NSJSONSerialization::isValidJSONObject(NSDictionary::make()));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(NSNumber::numberWithInteger(1)));
}

TEST_F(JSONTest, DocumentsSurviveARoundTripInEveryWritingStyle) {
  const char* reply = R"({"results": [{"id": "8812", "title": "caf\u00e9 \"cat\"", "tags": ["a", "b"],
      "media": [{"gif": {"url": "https://media.example/x.gif", "dims": [498, 280], "size": 1234567}}],
      "hasaudio": false, "score": 0.75, "created": 1675296000.123, "big": 18446744073709551615,
      "huge": 1e300, "user": null, "nested": [[[]], {}]}], "next": "CAgQ"})";
  auto original = read(reply, Reading::none);
  ASSERT_TRUE(original.has_value()) << original.error()->localizedDescription();
  for (auto style : {Writing::none, Writing::prettyPrinted, Writing::sortedKeys, Writing::prettyPrinted | Writing::sortedKeys}) {
    SCOPED_TRACE(static_cast<unsigned>(style));
    auto data = NSJSONSerialization::dataWithJSONObject(*original, style);
    ASSERT_TRUE(data.has_value());
    auto back = NSJSONSerialization::JSONObjectWithData(*data);
    ASSERT_TRUE(back.has_value()) << back.error()->localizedDescription();
    EXPECT_TRUE((*back)->isEqual(*original));
    // Equality treats 1 and 1.0 alike; the text must not.
    EXPECT_EQ(write(*back, style), write(*original, style));
  }
}

TEST_F(JSONTest, ThreadsReadAtTheSameTime) {
  std::vector<std::thread> threads;
  std::vector<int> good(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &good] {
      for (int i = 0; i < 200; ++i) {
        std::string json = "{\"t\":" + std::to_string(t) + ",\"i\":[" + std::to_string(i) + "]}";
        auto value = NSJSONSerialization::JSONObjectWithBytes(i % 3 == 0 ? json.substr(0, 8) : json);
        if (i % 3 == 0 ? !value.has_value()
                       : value.has_value() && asA<NSDictionary>(*value)->objectForKeyAs<NSNumber>("t")->integerValue() == t) {
          ++good[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good, std::vector<int>(4, 200));
}
