#include <gtest/gtest.h>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"
#include "standin/Catalogue.h"
#include "tests/model/ModelTestSupport.h"

namespace {

std::string withMedia(const std::string& media) { return R"({"id":"7","media":)" + media + "}"; }

const std::string kRenditions =
    R"("tinygif":{"url":"https://m/t.gif"},"gif":{"url":"https://m/g.gif"})";

struct FailureCase {
  const char* name;
  std::string json;
  std::string missingKey;
};

class VornObjectJsonFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(VornObjectJsonFailures, NameTheFirstMissingKey) {
  auto result = readBoth(GetParam().json);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), VornObjectSerializationError::missing(GetParam().missingKey));
}

INSTANTIATE_TEST_SUITE_P(
    Items, VornObjectJsonFailures,
    ::testing::Values(
        FailureCase{"EmptyObject", "{}", "id"},
        FailureCase{"NumericId", R"({"id":7,"media":[{)" + kRenditions + "}]}", "id"},
        FailureCase{"IdBeforeMedia", R"({"title":"x"})", "id"},
        FailureCase{"NoMedia", R"({"id":"7"})", "media"},
        FailureCase{"EmptyMediaArray", withMedia("[]"), "media"},
        FailureCase{"MediaElementNotObject", withMedia("[3]"), "media"},
        FailureCase{"SecondMediaElementNotObject", withMedia("[{" + kRenditions + "},\"x\"]"), "media"},
        FailureCase{"MediaNotArray", withMedia("{}"), "media"},
        FailureCase{"TinyGifWithoutUrl", withMedia(R"([{"tinygif":{"preview":"p"},"gif":{"url":"g"}}])"), "tinygif"},
        FailureCase{"TinyGifEmpty", withMedia(R"([{"tinygif":{},"gif":{"url":"g"}}])"), "tinygif"},
        FailureCase{"TinyGifBeforeGif", withMedia(R"([{}])"), "tinygif"},
        FailureCase{"GifUrlNumber", withMedia(R"([{"tinygif":{"url":"t"},"gif":{"url":5}}])"), "gif"},
        FailureCase{"GifNotObject", withMedia(R"([{"tinygif":{"url":"t"},"gif":"g"}])"), "gif"},
        // A reply never names a file of this machine.
        FailureCase{"FileId", R"({"id":"file:///etc/passwd","media":[{)" + kRenditions + "}]}", "id"},
        FailureCase{"FileIdUpperCase", R"({"id":"FILE:///x","media":[{)" + kRenditions + "}]}", "id"},
        FailureCase{"FileGifUrl", withMedia(R"([{"tinygif":{"url":"t"},"gif":{"url":"file:///home/u/secret.gif"}}])"), "gif"},
        FailureCase{"FileTinyGifUrl", withMedia(R"([{"tinygif":{"url":"file:/x.gif"},"gif":{"url":"g"}}])"), "tinygif"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VornObjectJson, ReadsEveryMemberOfAFullItem) {
  auto item = parsedItem(fullItemJson());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->vid, "1234");
  EXPECT_EQ(item->gifUrl, "https://media.example/1234.gif");
  EXPECT_EQ(item->tinyGifUrl, "https://media.example/1234-tiny.gif");
  EXPECT_EQ(item->previewUrl, "https://media.example/1234-still.png");
  ASSERT_TRUE(item->dims);
  EXPECT_EQ(*item->dims, NSMakeSize(320, 240));
  EXPECT_TRUE(item->hasValidSize());
  EXPECT_EQ(item->title, "Happy cat");
  EXPECT_EQ(item->shortUrl, "https://zol.to/g/1234");
  EXPECT_EQ(item->webpageUrl, "https://zolto.com/view/happy-cat-1234");
  EXPECT_EQ(item->htmlEmbedString, "<iframe></iframe>");
  EXPECT_EQ(item->tinyMp4Url, "https://media.example/1234-tiny.mp4");
  EXPECT_EQ(item->shareCount, 12);
  EXPECT_EQ(item->tags, (std::vector<std::string>{"cat", "happy"}));
  EXPECT_TRUE(item->hasAudio);
  EXPECT_FALSE(item->isSticker);
  EXPECT_EQ(item->mp4Url, "https://media.example/1234.mp4");
  EXPECT_EQ(item->avUrl, item->mp4Url);
  EXPECT_EQ(item->instagramUrl, item->mp4Url);
  // One address under three names is kept once.
  EXPECT_TRUE(item->avUrl.sharesTextWith(item->mp4Url));
  EXPECT_TRUE(item->instagramUrl.sharesTextWith(item->mp4Url));
  ASSERT_TRUE(item->background);
  EXPECT_DOUBLE_EQ(item->background->redComponent(), 0x33 / 255.0);
  EXPECT_DOUBLE_EQ(item->background->greenComponent(), 0x66 / 255.0);
  EXPECT_DOUBLE_EQ(item->background->blueComponent(), 0x99 / 255.0);
  ASSERT_TRUE(item->poster);
  EXPECT_EQ(item->poster->userIdentifier, "42");
  EXPECT_TRUE(item->uploadedByQuorbUser());
  EXPECT_EQ(item->advertisingSourceID, "src-1");
  EXPECT_EQ(item->pixels, (std::vector<std::string>{"https://px.example/1", "https://px.example/2"}));
  ASSERT_TRUE(item->adBadgeData);
  EXPECT_EQ(item->adBadgeData->badgePosition, AdBadgePosition::topRight);
  ASSERT_TRUE(item->featureData);
  EXPECT_EQ(item->featureData->featureText, "Sponsored");
  EXPECT_TRUE(item->isPromotedContent());
  EXPECT_TRUE(item->isVornPost());
  EXPECT_EQ(item->source(), VornObjectSource::plovex);
  // The first rendition set is kept whole; the second never shows.
  EXPECT_EQ(item->mediaDictionary()->count(), 4u);
}

TEST(VornObjectJson, AParsedItemKeepsTheFieldsTheParserNeverReads) {
  auto item = parsedItem(fullItemJson());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->stickerSourceVid, "-1");
  EXPECT_FALSE(item->isProcessing);
  EXPECT_FALSE(item->advertisingDataSingleSaveFlag);
  EXPECT_FALSE(item->boostedFollowerContent);
  EXPECT_FALSE(item->superTinyGifUrl);
  EXPECT_DOUBLE_EQ(item->dateAddedToParentPack->timeIntervalSince1970(), NSDate::kDistantPast);
}

TEST(VornObjectJson, AMinimalItemLeavesEveryOptionalFieldAbsent) {
  auto item = parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]})");
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->previewUrl);
  EXPECT_FALSE(item->dims);
  EXPECT_FALSE(item->hasValidSize());
  EXPECT_FALSE(item->mp4Url);
  EXPECT_FALSE(item->avUrl);
  EXPECT_FALSE(item->instagramUrl);
  EXPECT_FALSE(item->tinyMp4Url);
  EXPECT_FALSE(item->background);
  EXPECT_FALSE(item->poster);
  EXPECT_FALSE(item->title);
  EXPECT_TRUE(item->tags.empty());
  EXPECT_EQ(item->shareCount, 0);
  EXPECT_FALSE(item->adBadgeData);
  EXPECT_FALSE(item->featureData);
  EXPECT_FALSE(item->pixels);
}

struct DimsCase {
  const char* dims;
  std::optional<NSSize> expected;
  bool validSize;
};

TEST(VornObjectJson, DimsNeedAtLeastTwoWholeNumbers) {
  const DimsCase cases[] = {
      {"", std::nullopt, false},
      {R"(,"dims":[5])", std::nullopt, false},
      {R"(,"dims":["5","6"])", std::nullopt, false},
      {R"(,"dims":[5,6.5])", std::nullopt, false},
      {R"(,"dims":[true,6])", std::nullopt, false},
      {R"(,"dims":"5x6")", std::nullopt, false},
      {R"(,"dims":[5,6,7])", NSSize{5, 6}, true},
      {R"(,"dims":[0,6])", NSSize{0, 6}, false},
      {R"(,"dims":[5,-6])", NSSize{5, -6}, false},
      {R"(,"dims":[5.0,6])", NSSize{5, 6}, true},
  };
  for (const auto& c : cases) {
    auto item = parsedItem(std::string(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g")") + c.dims + "}}]}");
    ASSERT_TRUE(item) << c.dims;
    EXPECT_EQ(item->dims, c.expected) << c.dims;
    EXPECT_EQ(item->hasValidSize(), c.validSize) << c.dims;
  }
}

struct OptionalMemberCase {
  const char* members;
  std::int64_t shareCount;
  std::vector<std::string> tags;
  bool hasAudio;
  bool isSticker;
};

TEST(VornObjectJson, MistypedOptionalMembersKeepTheirDefaults) {
  const OptionalMemberCase cases[] = {
      {R"("shares":3.5)", 0, {}, false, false},
      {R"("shares":"3")", 0, {}, false, false},
      {R"("shares":3.0)", 3, {}, false, false},
      {R"("shares":true)", 0, {}, false, false},
      {R"("tags":["a",1,"b"])", 0, {}, false, false},
      {R"("tags":"a")", 0, {}, false, false},
      {R"("tags":["a","b"])", 0, {"a", "b"}, false, false},
      {R"("hasaudio":1)", 0, {}, false, false},
      {R"("hasaudio":true,"sticker":"true")", 0, {}, true, false},
      {R"("sticker":true)", 0, {}, false, true},
  };
  for (const auto& c : cases) {
    auto item =
        parsedItem(std::string(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}],)") + c.members + "}");
    ASSERT_TRUE(item) << c.members;
    EXPECT_EQ(item->shareCount, c.shareCount) << c.members;
    EXPECT_EQ(item->tags, c.tags) << c.members;
    EXPECT_EQ(item->hasAudio, c.hasAudio) << c.members;
    EXPECT_EQ(item->isSticker, c.isSticker) << c.members;
  }
}

TEST(VornObjectJson, PosterNeedsAPositiveNumericUseridAndAValidUser) {
  const std::string avatar = R"("username":"amy","avatars":{"256":"https://a/b.png"})";
  const std::pair<std::string, bool> cases[] = {
      {R"({"userid":0,)" + avatar + "}", false},
      {R"({"userid":-3,)" + avatar + "}", false},
      {R"({"userid":"42",)" + avatar + "}", false},
      {R"({)" + avatar + "}", false},
      {R"({"userid":true,)" + avatar + "}", false},
      {R"({"userid":0.5,)" + avatar + "}", false},
      {R"({"userid":42,"username":"amy"})", false},  // its own initialiser refuses it
      {R"({"userid":42.7,)" + avatar + "}", true},
      {R"({"userid":42,)" + avatar + "}", true},
      {R"("amy")", false},
  };
  for (const auto& [user, hasPoster] : cases) {
    auto item = parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}],"user":)" + user + "}");
    ASSERT_TRUE(item) << user;
    EXPECT_EQ(item->poster != nullptr, hasPoster) << user;
  }
}

TEST(VornObjectJson, LocalFileAddressesInRenditionsCountAsMissing) {
  auto item = parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t","preview":"file:///p.png"},"gif":{"url":"g"},
      "mp4":{"url":"file:///home/u/x.mp4"},"tinymp4":{"url":"File:///y.mp4"}}]})");
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->previewUrl);
  EXPECT_FALSE(item->mp4Url);
  EXPECT_FALSE(item->avUrl);
  EXPECT_FALSE(item->instagramUrl);
  EXPECT_FALSE(item->tinyMp4Url);
}

TEST(VornObjectJson, PromotedContentNeedsBothTheNoteAndTheSourceId) {
  const std::string base = R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}])";
  EXPECT_FALSE(parsedItem(base + R"(,"feature_info":{"feature_text":"x"}})")->isPromotedContent());
  EXPECT_FALSE(parsedItem(base + R"(,"source_id":"s"})")->isPromotedContent());
  EXPECT_FALSE(parsedItem(base + R"(,"source_id":5,"feature_info":{}})")->isPromotedContent());
  EXPECT_TRUE(parsedItem(base + R"(,"source_id":"s","feature_info":{}})")->isPromotedContent());
}

// A minimal item with one more member, read by both readers (parsedItem compares their
// archives, so both take the member alike).
std::shared_ptr<VornObject> itemWithMember(std::string_view name, const std::string& json) {
  return parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}],")" + std::string(name) +
                    "\":" + json + "}");
}

std::string shown(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "-"; }

// The note's text, link, button text and kind of link.
std::string described(const std::shared_ptr<FeatureInfo>& note) {
  if (!note) return "none";
  const auto click = note->clickType();
  return shown(note->featureText) + " " +
         shown(note->featureLink ? std::optional(note->featureLink->absoluteString()) : std::nullopt) + " " +
         shown(note->buttonText) + " " +
         (!click ? "-" : *click == FeatureInfo::ClickthroughType::usernameSearch ? "user" : "link");
}

// The badge's position and the three parts of its address.
std::string described(const std::shared_ptr<AdBadgeInfo>& badge) {
  if (!badge) return "none";
  return std::to_string(static_cast<int>(badge->badgePosition)) + " " + shown(badge->assetName) + " " +
         shown(badge->assetExtension) + " " + shown(badge->urlBase);
}

TEST(VornObjectJson, FeatureNoteMembersAreTextsThatAreNotEmpty) {
  const std::pair<std::string, std::string> cases[] = {
      {R"({"feature_text":"Sale","button_link":"https://x/y","button_text":"Go"})",
       R"("Sale" "https://x/y" "Go" link)"},
      {R"({"button_link":"@amy"})", R"(- "@amy" - user)"},
      {R"({"feature_text":"","button_link":"","button_text":5})", "- - - -"},
      {R"({"feature_text":"a","feature_text":"b"})", R"("b" - - -)"},
      {R"({"feature_text":null,"button_text":["x"]})", "- - - -"},
      {R"("Sale")", "none"},
      {R"([{"feature_text":"Sale"}])", "none"},
  };
  for (const auto& [member, expected] : cases) {
    auto item = itemWithMember("feature_info", member);
    ASSERT_TRUE(item) << member;
    EXPECT_EQ(described(item->featureData), expected) << member;
  }
}

TEST(VornObjectJson, BadgePositionIsAWholeNumberUpToSixAndItsPartsAreTexts) {
  const std::string info = R"("assetinfo":{"asset_name":"b","asset_extension":"gif","urlbase":"https://m/"})";
  const std::pair<std::string, std::string> cases[] = {
      {R"({"position":1,)" + info + "}", R"(1 "b" "gif" "https://m/")"},
      {R"({"position":6})", "6 - - -"},
      {R"({"position":2.0})", "2 - - -"},
      {R"({"position":2.5})", "0 - - -"},
      {R"({"position":7})", "0 - - -"},
      {R"({"position":-1})", "0 - - -"},
      {R"({"position":18446744073709551615})", "0 - - -"},
      {R"({"position":true})", "0 - - -"},
      {R"({"position":"3"})", "0 - - -"},
      {R"({"position":1,"position":4})", "4 - - -"},
      {R"({"assetinfo":{"asset_name":5,"asset_extension":"","urlbase":null}})", R"(0 - "" -)"},
      {R"({"assetinfo":"b.gif"})", "0 - - -"},
      {"3", "none"},
  };
  for (const auto& [member, expected] : cases) {
    auto item = itemWithMember("ad_badge_info", member);
    ASSERT_TRUE(item) << member;
    EXPECT_EQ(described(item->adBadgeData), expected) << member;
  }
}

TEST(VornObjectJson, NamedFormStoresTheErrorAsAPlatformError) {
  std::shared_ptr<NSError> error;
  EXPECT_EQ(VornObject::initWithNewApiData(jsonObject(R"({"id":"1"})"), &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 0);
  EXPECT_EQ(error->localizedDescription(), "media");
  EXPECT_EQ(VornObject::initWithNewApiData(jsonObject("{}"), nullptr), nullptr);
}

struct WebUrlCase {
  std::optional<std::string> shortUrl;
  std::string gifUrl;
  std::optional<std::string> expected;
};

TEST(VornObjectDerived, WebUrlPrefersAShareableShortUrl) {
  const WebUrlCase cases[] = {
      {"file:///a", "file:///b.gif", std::nullopt},
      {std::nullopt, "https://m/x", "https://m/x"},
      {std::nullopt, "httpfoo", "httpfoo"},
      {std::nullopt, "ftp://m/x.gif", "ftp://m/x.gif"},
      {std::nullopt, "ftp://m/x.png", std::nullopt},
      {std::nullopt, "file:///x.gif", std::nullopt},
      {"https://s/1", "file:///x.gif", "https://s/1"},
      {"file:///s", "https://m/x", "https://m/x"},
      // Canonically equivalent suffix: "e" + combining acute before ".gif" still ends ".gif".
      {std::nullopt, "ftp://m/cafe\xcc\x81.gif", "ftp://m/cafe\xcc\x81.gif"},
  };
  auto item = parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]})");
  for (const auto& c : cases) {
    item->shortUrl = c.shortUrl;
    item->gifUrl = c.gifUrl;
    EXPECT_EQ(item->webUrl(), c.expected) << c.gifUrl;
  }
}

TEST(VornObjectDerived, SourceFollowsTheIdentifier) {
  const std::pair<std::string, VornObjectSource> cases[] = {
      {"123456", VornObjectSource::plovex},
      {"-4", VornObjectSource::plovex},
      {"file:///tmp/a.gif", VornObjectSource::noWebsite},
      {"https://example.com/a.gif", VornObjectSource::otherWebsite},
      {"abc", VornObjectSource::otherWebsite},
      {"", VornObjectSource::otherWebsite},
  };
  auto item = parsedItem(R"({"id":"9","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"}}]})");
  for (const auto& [vid, source] : cases) {
    item->vid = vid;
    EXPECT_EQ(item->source(), source) << vid;
    EXPECT_EQ(item->isVornPost(), source == VornObjectSource::plovex) << vid;
  }
}

TEST(VornObjectCatalogue, EveryItemOfTheStandInCatalogueParses) {
  auto catalogue = Catalogue::make();
  std::size_t sponsored = 0, withPoster = 0, withBadge = 0, withNote = 0;
  for (const auto& entry : catalogue->items()) {
    auto bytes = catalogue->itemJson(entry);
    auto item = parsedItem(bytes);
    ASSERT_TRUE(item) << entry.id;
    EXPECT_EQ(item->vid, entry.id);
    EXPECT_TRUE(item->hasValidSize()) << entry.id;
    EXPECT_TRUE(item->background) << entry.id;
    EXPECT_TRUE(item->mp4Url && item->previewUrl && item->tinyMp4Url && item->shortUrl && item->webpageUrl &&
                item->htmlEmbedString)
        << entry.id;
    EXPECT_EQ(item->tags, entry.tags);
    EXPECT_EQ(item->shareCount, entry.shares);
    if (entry.user) { EXPECT_TRUE(item->poster) << entry.id; }
    withPoster += item->poster != nullptr;
    sponsored += item->advertisingSourceID.has_value();
    withBadge += item->adBadgeData != nullptr;
    withNote += item->featureData != nullptr;
  }
  EXPECT_GT(withPoster, 0u);
  EXPECT_GT(sponsored, 0u);
  EXPECT_GT(withBadge, 0u);
  EXPECT_GT(withNote, 0u);
}

}  // namespace
