#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSTimeZone.h"
#include "tests/support/TestEnvironment.h"

class LocaleTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    GlimdeckTest::TearDown();
  }
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE", "TZ"};
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(LocaleTest, IdentifiersFromPosixLocaleNames) {
  struct Case {
    std::string value, identifier;
  };
  const Case cases[] = {
      {"en_US.UTF-8", "en_US"}, {"de_DE.UTF-8@euro", "de_DE"}, {"fr_FR", "fr_FR"}, {"ja", "ja"},
      {"sr_Latn_RS", "sr_Latn_RS"}, {"C", "en_US"}, {"C.UTF-8", "en_US"}, {"POSIX", "en_US"}, {"", "en_US"},
      {"../../etc/passwd", "en_US"}, {"e", "en_US"}, {"en_", "en_US"}, {"en US", "en_US"}, {"\xC3\xA9n_US", "en_US"},
  };
  for (const auto& c : cases) EXPECT_EQ(NSLocale::identifierFromPosixLocale(c.value), c.identifier) << c.value;
}

TEST_F(LocaleTest, CurrentLocaleFollowsTheVariablesInOrder) {
  EXPECT_EQ(NSLocale::currentLocale()->localeIdentifier(), "en_US");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(NSLocale::currentLocale()->localeIdentifier(), "de_DE");
  setenv("LC_MESSAGES", "fr_CA.UTF-8", 1);
  EXPECT_EQ(NSLocale::currentLocale()->localeIdentifier(), "fr_CA");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(NSLocale::currentLocale()->localeIdentifier(), "en_US");
  EXPECT_EQ(NSLocale::currentLocale()->languageCode(), "en");
  EXPECT_EQ(NSLocale::currentLocale()->countryCode(), "US");
  EXPECT_EQ(NSLocale::localeWithLocaleIdentifier("sr_Latn_RS")->countryCode(), "RS");
  EXPECT_EQ(NSLocale::localeWithLocaleIdentifier("ja")->countryCode(), "");
  EXPECT_TRUE(NSLocale::currentLocale()->isEqual(NSLocale::localeWithLocaleIdentifier("en_US")));
}

TEST_F(LocaleTest, PreferredLanguages) {
  EXPECT_EQ(NSLocale::preferredLanguages(), (std::vector<std::string>{"en-US"}));
  setenv("LANG", "pt_BR.UTF-8", 1);
  EXPECT_EQ(NSLocale::preferredLanguages(), (std::vector<std::string>{"pt-BR"}));
  setenv("LANGUAGE", "de:en_GB::bad value:fr.UTF-8", 1);
  EXPECT_EQ(NSLocale::preferredLanguages(), (std::vector<std::string>{"de", "en-GB", "fr"}));
  setenv("LANGUAGE", ":::", 1);
  EXPECT_EQ(NSLocale::preferredLanguages(), (std::vector<std::string>{"pt-BR"}));
}

TEST_F(LocaleTest, TimeZones) {
  auto paris = NSTimeZone::timeZoneWithName("Europe/Paris");
  ASSERT_TRUE(paris);
  // 2026-01-15 and 2026-07-15, noon UTC: winter and summer time.
  EXPECT_EQ(paris->secondsFromGMTForDate(*NSDate::dateWithTimeIntervalSince1970(1768478400)), 3600);
  EXPECT_EQ(paris->secondsFromGMTForDate(*NSDate::dateWithTimeIntervalSince1970(1784116800)), 7200);
  EXPECT_FALSE(NSTimeZone::timeZoneWithName("Mars/Olympus"));
  EXPECT_FALSE(NSTimeZone::timeZoneWithName(""));
  EXPECT_EQ(NSTimeZone::UTC()->secondsFromGMTForDate(*NSDate::date()), 0);
  auto fixed = NSTimeZone::timeZoneForSecondsFromGMT(-(5 * 3600 + 30 * 60));
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->secondsFromGMTForDate(*NSDate::date()), -(5 * 3600 + 30 * 60));
  EXPECT_FALSE(NSTimeZone::timeZoneForSecondsFromGMT(19 * 3600));

  setenv("TZ", "Asia/Tokyo", 1);
  EXPECT_EQ(NSTimeZone::systemTimeZone()->name(), "Asia/Tokyo");
  setenv("TZ", ":America/New_York", 1);
  EXPECT_EQ(NSTimeZone::systemTimeZone()->name(), "America/New_York");
  setenv("TZ", "UTC0", 1);
  EXPECT_EQ(NSTimeZone::systemTimeZone()->secondsFromGMTForDate(*NSDate::date()), 0);
}

TEST_F(LocaleTest, FixedFormatDates) {
  auto formatter = NSDateFormatter::make();
  formatter->locale = NSLocale::localeWithLocaleIdentifier("en_US");
  formatter->timeZone = NSTimeZone::timeZoneWithName("Europe/Paris");
  // 2026-07-15 07:05:09 UTC is 09:05 in Paris.
  auto date = NSDate::dateWithTimeIntervalSince1970(1784099109);
  struct Case {
    std::string format, text;
  };
  const Case cases[] = {
      {"HH:mm", "09:05"},
      {"yyyy-MM-dd'T'HH:mm:ssZ", "2026-07-15T09:05:09+0200"},
      {"EEE, d MMM yyyy", "Wed, 15 Jul 2026"},
      {"h:mm a", "9:05 AM"},
  };
  for (const auto& c : cases) {
    formatter->dateFormat = c.format;
    EXPECT_EQ(formatter->stringFromDate(date), c.text) << c.format;
  }
  formatter->timeZone = NSTimeZone::UTC();
  formatter->dateFormat = "HH:mm";
  EXPECT_EQ(formatter->stringFromDate(date), "07:05");
  EXPECT_EQ(formatter->stringFromDate(nullptr), "");
}

TEST_F(LocaleTest, DatesFromTextMatchTheWholeFormat) {
  auto formatter = NSDateFormatter::make();
  formatter->locale = NSLocale::localeWithLocaleIdentifier("en_US");
  formatter->timeZone = NSTimeZone::UTC();
  formatter->dateFormat = "yyyy-MM-dd HH:mm:ss";
  auto parsed = formatter->dateFromString("2026-07-15 07:05:09");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->timeIntervalSince1970(), 1784099109.0);
  for (const char* bad : {"", "2026-07-15", "2026-07-15 07:05:09 trailing", "2026-13-45 07:05:09", "yesterday",
                          "2026-07-15 25:05:09", "\xFF\xFE"}) {
    EXPECT_FALSE(formatter->dateFromString(bad)) << bad;
  }
  formatter->dateFormat = "yyyy-MM-dd'T'HH:mm:ssZ";
  parsed = formatter->dateFromString("2026-07-15T09:05:09+0200");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->timeIntervalSince1970(), 1784099109.0);
}

TEST_F(LocaleTest, TheCurrentTimeInTheSystemZone) {
  // The clock of the fixture, in the zone the TZ variable names: the "HH:mm" text that
  // goes with term suggestions.
  setenv("TZ", "Asia/Kolkata", 1);
  auto formatter = NSDateFormatter::make();
  formatter->dateFormat = "HH:mm";
  formatter->locale = NSLocale::localeWithLocaleIdentifier("en_US");
  const std::string before = formatter->stringFromDate(NSDate::date());
  advance(60 * 60);
  const std::string after = formatter->stringFromDate(NSDate::date());
  ASSERT_EQ(before.size(), 5u);
  EXPECT_EQ(std::stoi(after.substr(0, 2)), (std::stoi(before.substr(0, 2)) + 1) % 24);
  EXPECT_EQ(after.substr(3), before.substr(3));
  // 1 800 000 000 seconds is 2027-01-15 08:00 UTC, 13:30 in India.
  EXPECT_EQ(formatter->stringFromDate(NSDate::dateWithTimeIntervalSince1970(1'800'000'000)), "13:30");
}

TEST_F(LocaleTest, NumbersFromText) {
  struct Case {
    std::string text;
    std::optional<double> value;
    bool integer;
  };
  const Case cases[] = {
      {"123", 123, true},
      {"0", 0, true},
      {"-42", -42, true},
      {"+7", 7, true},
      {"00012", 12, true},
      {"9223372036854775807", 9223372036854775807.0, true},
      {"99999999999999999999", 1e20, false},
      {"1.5", 1.5, false},
      {".5", 0.5, false},
      {"2e3", 2000, false},
      {"-1.25E-2", -0.0125, false},
      {"", std::nullopt, false},
      {"file:///tmp/a.gif", std::nullopt, false},
      {"abc123", std::nullopt, false},
      {"123abc", std::nullopt, false},
      {" 123", std::nullopt, false},
      {"123 ", std::nullopt, false},
      {"1,234", std::nullopt, false},
      {"1.2.3", std::nullopt, false},
      {"0x1F", std::nullopt, false},
      {"+-1", std::nullopt, false},
      {"-", std::nullopt, false},
      {".", std::nullopt, false},
      {"1e999", std::nullopt, false},
      {"inf", std::nullopt, false},
      {"nan", std::nullopt, false},
      {"\xD9\xA1\xD9\xA2", std::nullopt, false},  // Arabic-Indic digits
  };
  auto formatter = NSNumberFormatter::make();
  for (const auto& c : cases) {
    auto number = formatter->numberFromString(c.text);
    ASSERT_EQ(static_cast<bool>(number), c.value.has_value()) << c.text;
    if (!number) continue;
    EXPECT_DOUBLE_EQ(number->doubleValue(), *c.value) << c.text;
    EXPECT_EQ(number->isReal(), !c.integer) << c.text;
  }
  EXPECT_EQ(formatter->numberFromString("9223372036854775807")->integerValue(), INT64_MAX);
  EXPECT_EQ(formatter->numberFromString("-9223372036854775808")->integerValue(), INT64_MIN);
}

TEST_F(LocaleTest, NumbersAsText) {
  auto formatter = NSNumberFormatter::make();
  EXPECT_EQ(formatter->stringFromNumber(NSNumber::numberWithInteger(-15)), "-15");
  EXPECT_EQ(formatter->stringFromNumber(NSNumber::numberWithDouble(2.5)), "2");
  EXPECT_EQ(formatter->stringFromNumber(NSNumber::numberWithDouble(3.5)), "4");
  EXPECT_EQ(formatter->stringFromNumber(NSNumber::numberWithDouble(-0.4)), "0");
  EXPECT_EQ(formatter->stringFromNumber(NSNumber::numberWithDouble(1e20)), "100000000000000000000");
  EXPECT_EQ(formatter->stringFromNumber(nullptr), "");
}
