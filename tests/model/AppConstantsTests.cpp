#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "model/AppConstants.h"
#include "browse/EllipsesMenuShareType.h"
#include "tests/support/TestEnvironment.h"

namespace {

class AppConstantsTest : public GlimdeckTest {};

TEST_F(AppConstantsTest, GifDataIsDecidedByTheSignatureAlone) {
  const std::pair<std::string, bool> cases[] = {
      {"GIF89a" + std::string(7, '\0'), true},
      {"GIF87a" + std::string(7, 'x'), true},
      {"GIF89a", true},  // the signature alone
      {"GIF88a" + std::string(7, '\0'), false},
      {"gif89a" + std::string(7, '\0'), false},
      {"GIF89", false},
      {"", false},
      {"\x89PNG\r\n\x1a\n", false},
  };
  for (const auto& [bytes, expected] : cases) {
    EXPECT_EQ(isGifData(NSData::fromString(bytes)), expected) << bytes;
  }
  EXPECT_FALSE(isGifData(std::shared_ptr<NSData>()));
}

TEST_F(AppConstantsTest, FileSizesAreZeroWhenUnreadable) {
  const auto path = home() / "f.bin";
  std::ofstream(path, std::ios::binary) << std::string(1234, 'a');
  EXPECT_EQ(fileSizeAtURL(NSURL::fileURLWithPath(path.string())), 1234u);
  EXPECT_EQ(fileSizeAtURL(NSURL::fileURLWithPath((home() / "missing").string())), 0u);
  EXPECT_EQ(fileSizeAtURL(NSURL::URLWithString("https://example.com/f.bin")), 0u);
  EXPECT_EQ(fileSizeAtURL(nullptr), 0u);
}

TEST_F(AppConstantsTest, TheTimeIsHoursAndMinutes) {
  EXPECT_TRUE(std::regex_match(timeStringFromDate(), std::regex("[0-2][0-9]:[0-5][0-9]"))) << timeStringFromDate();
}

TEST_F(AppConstantsTest, TheConstantsHoldTheirValues) {
  EXPECT_EQ(webApiKey, "QKW7TNPL2XRM");
  EXPECT_EQ(appGroupIdentifier.size(), 33u);
  EXPECT_EQ(statusItemLength, 40.0);
  EXPECT_EQ(globalKeyboardShortcutKey, "GlobalKeyboardShortcutKey");
  EXPECT_TRUE(legalTermsUrl.ends_with("/legal-terms"));
  EXPECT_TRUE(legalPrivacyUrl.ends_with("/legal-privacy"));
  EXPECT_EQ(static_cast<int>(EllipsesMenuShareType::copyEmbed), 2);
}

}  // namespace
