#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

class ValuesTest : public GlimdeckTest {};

TEST_F(ValuesTest, TextsThatAreCanonicallyEquivalentAreEqualAndHashAlike) {
  auto composed = NSString::make("caf\xC3\xA9");       // é as one code point
  auto decomposed = NSString::make("cafe\xCC\x81");    // e + combining acute
  EXPECT_TRUE(composed->isEqual(decomposed));
  EXPECT_EQ(composed->hash(), decomposed->hash());
  EXPECT_FALSE(composed->isEqual(NSString::make("cafe")));
  EXPECT_FALSE(composed->isEqual(NSNumber::numberWithInteger(1)));
  EXPECT_FALSE(composed->isEqual(nullptr));
}

TEST_F(ValuesTest, NumbersKeepTheirKindButCompareByValue) {
  auto yes = NSNumber::numberWithBool(true);
  auto one = NSNumber::numberWithInteger(1);
  auto real = NSNumber::numberWithDouble(1.5);
  EXPECT_TRUE(yes->isBool());
  EXPECT_FALSE(one->isBool());
  EXPECT_TRUE(one->isWholeNumber());
  EXPECT_FALSE(real->isWholeNumber());
  EXPECT_TRUE(NSNumber::numberWithDouble(3.0)->isWholeNumber());
  EXPECT_TRUE(yes->isEqual(one));
  EXPECT_EQ(NSNumber::numberWithDouble(3.0)->hash(), NSNumber::numberWithInteger(3)->hash());
  EXPECT_EQ(real->integerValue(), 1);
  EXPECT_EQ(NSNumber::numberWithDouble(-2.9)->integerValue(), -2);
  EXPECT_EQ(NSNumber::numberWithDouble(1e300)->integerValue(), INT64_MAX);
  EXPECT_EQ(NSNumber::numberWithDouble(0.1)->description(), "0.1");
  EXPECT_EQ(NSNumber::numberWithUnsignedInteger(UINT64_MAX)->description(), "18446744073709551615");
}

TEST_F(ValuesTest, ContainersCompareElementwiseAndKeepInsertionOrder) {
  auto dictionary = NSDictionary::make({{"b", NSString::make("2")}, {"a", NSString::make("1")}});
  dictionary->setObject(NSString::make("3"), "c");
  dictionary->setObject(NSString::make("22"), "b");
  EXPECT_EQ(dictionary->allKeys(), (std::vector<std::string>{"b", "a", "c"}));
  dictionary->removeObjectForKey("a");
  EXPECT_EQ(dictionary->allKeys(), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(dictionary->objectForKeyAs<NSString>("c")->string(), "3");
  EXPECT_EQ(dictionary->objectForKeyAs<NSNumber>("c"), nullptr);
  dictionary->setObject(nullptr, "c");
  EXPECT_FALSE(dictionary->containsKey("c"));

  auto list = NSArray::make({NSString::make("x"), NSNull::null()});
  EXPECT_TRUE(list->isEqual(NSArray::make({NSString::make("x"), NSNull::null()})));
  EXPECT_EQ(list->objectAtIndex(5), nullptr);
  EXPECT_EQ(list->indexOfObject(NSNull::null()), 1u);
}

TEST_F(ValuesTest, DatesAndGeometryValues) {
  EXPECT_EQ(NSDate::distantPast()->description(), "0001-01-01 00:00:00 +0000");
  EXPECT_EQ(NSDate::dateWithTimeIntervalSince1970(0)->description(), "1970-01-01 00:00:00 +0000");
  double before = NSDate::date()->timeIntervalSince1970();
  advance(5);
  EXPECT_DOUBLE_EQ(NSDate::date()->timeIntervalSince1970() - before, 5.0);

  auto size = NSValue::valueWithSize({200, 100});
  EXPECT_TRUE(size->holdsSize());
  EXPECT_TRUE(size->isEqual(NSValue::valueWithSize({200, 100})));
  EXPECT_FALSE(size->isEqual(NSValue::valueWithPoint({200, 100})));
  EXPECT_EQ(size->rectValue(), NSZeroRect);
}

TEST_F(ValuesTest, ErrorsDescribeThemselves) {
  auto error = NSError::make(std::string(NSError::NSURLErrorDomain), NSURLError::cancelled, "cancelled");
  EXPECT_EQ(error->localizedDescription(), "cancelled");
  EXPECT_EQ(NSError::make("QuorbAuth", 3)->localizedDescription(),
            "The operation couldn't be completed. (QuorbAuth error 3.)");
}
