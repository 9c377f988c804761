// The small records of the item model: advertising badge, feature note, tags and
// search-suggestion units.
#include <gtest/gtest.h>

#include "model/AdBadgeInfo.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "model/FeatureInfo.h"
#include "model/TelescopePayload.h"
#include "model/TelescopeUnit.h"
#include "model/VNMockTag.h"
#include "model/VNTag.h"
#include "platform/foundation/NSString.h"
#include "tests/model/ModelTestSupport.h"

namespace {

const std::string kAssetInfo =
    R"("assetinfo":{"asset_name":"badge","asset_extension":"png","urlbase":"https://cdn.example/b/"})";

TEST(AdBadgeInfo, OnlyIntegralPositionsFromZeroToSixCount) {
  const std::pair<std::string, AdBadgePosition> cases[] = {
      {"", AdBadgePosition::noBadge},
      {R"("position":7,)", AdBadgePosition::noBadge},
      {R"("position":-1,)", AdBadgePosition::noBadge},
      {R"("position":"2",)", AdBadgePosition::noBadge},
      {R"("position":2.5,)", AdBadgePosition::noBadge},
      {R"("position":true,)", AdBadgePosition::noBadge},
      {R"("position":0,)", AdBadgePosition::noBadge},
      {R"("position":1,)", AdBadgePosition::topLeft},
      {R"("position":4.0,)", AdBadgePosition::bottomRight},
      {R"("position":6,)", AdBadgePosition::expansiveBottom},
  };
  for (const auto& [position, expected] : cases) {
    auto badge = AdBadgeInfo::initWithApiData(jsonObject("{" + position + kAssetInfo + "}"));
    EXPECT_EQ(badge->badgePosition, expected) << position;
    EXPECT_EQ(badge->hasValidBadge(), expected != AdBadgePosition::noBadge) << position;
  }
}

TEST(AdBadgeInfo, TheAddressCarriesTheScaleSuffixAboveOne) {
  auto badge = AdBadgeInfo::initWithApiData(jsonObject(R"({"position":1,)" + kAssetInfo + "}"));
  const std::pair<double, std::string> cases[] = {
      {1.0, "https://cdn.example/b/badge.png"},     {2.0, "https://cdn.example/b/badge@2x.png"},
      {3.0, "https://cdn.example/b/badge@3x.png"},  {1.5, "https://cdn.example/b/badge@1x.png"},
      {0.5, "https://cdn.example/b/badge.png"},
  };
  for (const auto& [scale, address] : cases) {
    auto url = badge->badgeAssetUrlForScale(scale);
    ASSERT_TRUE(url) << scale;
    EXPECT_EQ(url->absoluteString(), address) << scale;
  }
}

TEST(AdBadgeInfo, TheAddressFollowsTheMainWindowsScaleAtEachCall) {
  NSApplication::resetSharedApplication();
  auto badge = AdBadgeInfo::initWithApiData(jsonObject(R"({"position":1,)" + kAssetInfo + "}"));
  // With no main window the scale is 1.0.
  EXPECT_EQ(badge->badgeAssetUrl()->absoluteString(), "https://cdn.example/b/badge.png");
  auto window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 100), NSWindowStyleMaskTitled);
  window->backingScaleFactor = 2.0;
  window->makeKeyAndOrderFront(nullptr);
  ASSERT_EQ(NSApplication::sharedApplication()->mainWindow(), window);
  EXPECT_EQ(badge->badgeAssetUrl()->absoluteString(), "https://cdn.example/b/badge@2x.png");
  window->backingScaleFactor = 3.0;
  EXPECT_EQ(badge->badgeAssetUrl()->absoluteString(), "https://cdn.example/b/badge@3x.png");
  NSApplication::resetSharedApplication();
}

TEST(AdBadgeInfo, IncompleteOrUnparsableAssetInfoGivesNoAddress) {
  const std::string cases[] = {
      R"({"position":1,"assetinfo":{"asset_name":"","asset_extension":"png","urlbase":"https://c/"}})",
      R"({"position":1,"assetinfo":{"asset_extension":"png","urlbase":"https://c/"}})",
      R"({"position":1,"assetinfo":{"asset_name":"b","asset_extension":5,"urlbase":"https://c/"}})",
      R"({"position":1,"assetinfo":{"asset_name":"a badge","asset_extension":"png","urlbase":"https://c/"}})",
      R"({"position":1,"assetinfo":"x"})",
      R"({"position":1})",
  };
  for (const auto& json : cases) {
    auto badge = AdBadgeInfo::initWithApiData(jsonObject(json));
    EXPECT_EQ(badge->badgeAssetUrl(), nullptr) << json;
    EXPECT_FALSE(badge->hasValidBadge()) << json;
  }
  // The empty name is kept as an empty text.
  EXPECT_EQ(AdBadgeInfo::initWithApiData(jsonObject(cases[0]))->assetName, "");
  // A base without "/" runs straight into the name.
  auto joined = AdBadgeInfo::initWithApiData(
      jsonObject(R"({"position":1,"assetinfo":{"asset_name":"b","asset_extension":"png","urlbase":"https://c/x"}})"));
  EXPECT_EQ(joined->badgeAssetUrl()->absoluteString(), "https://c/xb.png");
}

TEST(AdBadgeInfo, TheDictionaryRoundTrips) {
  auto onlyBase = AdBadgeInfo::initWithApiData(jsonObject(R"({"assetinfo":{"urlbase":"https://c/"}})"));
  EXPECT_TRUE(onlyBase->toDictionary()->isEqual(
      jsonObject(R"({"position":0,"assetinfo":{"urlbase":"https://c/"}})")));
  EXPECT_TRUE(AdBadgeInfo::initWithApiData(jsonObject("{}"))->toDictionary()->isEqual(
      jsonObject(R"({"position":0,"assetinfo":{}})")));

  auto badge = AdBadgeInfo::initWithApiData(jsonObject(R"({"position":5,)" + kAssetInfo + "}"));
  auto again = AdBadgeInfo::initWithApiData(badge->toDictionary());
  EXPECT_EQ(again->badgePosition, AdBadgePosition::topRightShadow);
  EXPECT_EQ(again->assetName, badge->assetName);
  EXPECT_EQ(again->assetExtension, badge->assetExtension);
  EXPECT_EQ(again->urlBase, badge->urlBase);
  EXPECT_TRUE(again->badgeAssetUrl()->isEqual(badge->badgeAssetUrl()));
}

struct FeatureCase {
  const char* json;
  std::optional<std::string> featureText;
  std::optional<std::string> link;
  std::optional<std::string> buttonText;
  std::optional<FeatureInfo::ClickthroughType> clickType;
  bool clickthrough;
  bool expand;
};

TEST(FeatureInfo, ReadsTheNoteObject) {
  using Type = FeatureInfo::ClickthroughType;
  const FeatureCase cases[] = {
      {R"({})", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false},
      {R"({"feature_text":""})", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false},
      {R"({"feature_text":"Hi"})", "Hi", std::nullopt, std::nullopt, std::nullopt, true, false},
      {R"({"button_text":"Go"})", std::nullopt, std::nullopt, "Go", std::nullopt, false, true},
      {R"({"button_link":"@amy","button_text":"Go"})", std::nullopt, "@amy", "Go", Type::usernameSearch, true, true},
      {R"({"button_link":"https://b.example","button_text":"Go"})", std::nullopt, "https://b.example", "Go",
       Type::externalLink, true, true},
      {R"({"button_link":"not a url","button_text":"Go"})", std::nullopt, std::nullopt, "Go", Type::externalLink,
       false, true},
      {R"({"button_link":5,"feature_text":7})", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false},
      {R"({"Feature_Text":"x"})", std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false},
  };
  for (const auto& c : cases) {
    auto note = FeatureInfo::initWithApiData(jsonObject(c.json));
    EXPECT_EQ(note->featureText, c.featureText) << c.json;
    EXPECT_EQ(note->featureLink ? std::optional(note->featureLink->absoluteString()) : std::nullopt, c.link) << c.json;
    EXPECT_EQ(note->buttonText, c.buttonText) << c.json;
    EXPECT_EQ(note->clickType(), c.clickType) << c.json;
    EXPECT_EQ(note->rawClickTypeValue(), c.clickType == Type::usernameSearch ? 1 : 0) << c.json;
    EXPECT_EQ(note->hasValidClickthrough(), c.clickthrough) << c.json;
    EXPECT_EQ(note->hasValidExpandValues(), c.expand) << c.json;
  }
}

TEST(FeatureInfo, AUserNameLinkIsRelative) {
  auto note = FeatureInfo::initWithApiData(jsonObject(R"({"button_link":"@amy"})"));
  ASSERT_TRUE(note->featureLink);
  EXPECT_TRUE(note->featureLink->scheme().empty());
}

TEST(FeatureInfo, TheDictionaryHoldsOnlyTheTextsAndDropsAnUnparsedLink) {
  EXPECT_EQ(FeatureInfo::initWithApiData(jsonObject("{}"))->toDictionary()->count(), 0u);
  auto note = FeatureInfo::initWithApiData(
      jsonObject(R"({"feature_text":"Hi","button_link":"https://b.example/x","button_text":"Go"})"));
  EXPECT_TRUE(note->toDictionary()->isEqual(
      jsonObject(R"({"feature_text":"Hi","button_link":"https://b.example/x","button_text":"Go"})")));
  auto unparsed = FeatureInfo::initWithApiData(jsonObject(R"({"button_link":"not a url"})"));
  EXPECT_EQ(unparsed->clickType(), FeatureInfo::ClickthroughType::externalLink);
  EXPECT_FALSE(unparsed->toDictionary()->containsKey("button_link"));
  EXPECT_EQ(FeatureInfo::initWithApiData(unparsed->toDictionary())->clickType(), std::nullopt);
}

TEST(VNTag, ReadsTheSixTextsWithExactKeys) {
  auto empty = VNTag::initWithNewApiData({});
  for (const auto* text : {&empty->categoryTitle, &empty->categoryCoverGifURL, &empty->categoryContentStreamID,
                           &empty->additionalResultTag, &empty->messageToAttachForCopy, &empty->character}) {
    EXPECT_EQ(*text, "");
  }
  EXPECT_FALSE(empty->prioritizeOnFirstLoad);
  EXPECT_EQ(empty->tagType, TagType::unknownDefault);
  EXPECT_FALSE(empty->displayWidthToHeightRatio);

  auto tag = VNTag::initWithNewApiData({{"name", " Happy "}, {"image", "https://m/c.gif"}, {"path", ""},
                                        {"searchterm", "happy"}, {"copymsg", "msg"}, {"character", "😀"},
                                        {"Name", "ignored"}});
  EXPECT_EQ(tag->categoryTitle, " Happy ");
  EXPECT_EQ(tag->categoryCoverGifURL, "https://m/c.gif");
  EXPECT_EQ(tag->categoryContentStreamID, "");
  EXPECT_EQ(tag->additionalResultTag, "happy");
  EXPECT_EQ(tag->messageToAttachForCopy, "msg");
  EXPECT_EQ(tag->character, "😀");
  EXPECT_EQ(VNTag::initWithNewApiData({{"Name", "x"}})->categoryTitle, "");
}

TEST(VNTag, FirstLoadPriorityReadsTextAsTheBooleanReadingDoes) {
  const std::pair<const char*, bool> cases[] = {
      {"true", true}, {"YES", true}, {"1", true},   {" 7", true},   {"-1", true},  {"t", true},
      {"false", false}, {"no", false}, {"0", false}, {"000", false}, {"", false}, {"x", false},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(VNTag::initWithNewApiData({{"firstloadpriority", text}})->prioritizeOnFirstLoad, expected) << text;
  }
}

TEST(VNMockTag, StartsEmptyUntilItsCreatorMarksIt) {
  auto mock = VNMockTag::init();
  EXPECT_EQ(mock->categoryTitle, "");
  EXPECT_EQ(mock->character, "");
  EXPECT_FALSE(mock->mockTag);
  EXPECT_EQ(mock->tagType, TagType::unknownDefault);
  mock->mockTag = "favorites";
  EXPECT_EQ(mock->mockTag, "favorites");
  auto fromData = VNMockTag::initWithNewApiData({{"name", "Fav"}});
  EXPECT_EQ(fromData->categoryTitle, "Fav");
  EXPECT_FALSE(fromData->mockTag);
  std::shared_ptr<VNTag> asTag = fromData;
  EXPECT_EQ(asTag->className(), "VNMockTag");
}

TEST(TelescopeUnit, NeedsTagImageAndTypeInThatOrder) {
  const std::pair<TelescopeUnit::Entry, std::string> failures[] = {
      {{}, "tag"},
      {{{"image", "https://i/x.png"}, {"type", "telescope"}}, "tag"},
      {{{"tag", "cat"}, {"type", "telescope"}}, "image"},
      {{{"tag", "cat"}, {"image", "https://i/x.png"}}, "type"},
      // An image that is no address cannot be shown: the entry is left out.
      {{{"tag", "cat"}, {"image", "not a url"}, {"type", "telescope"}}, "image"},
  };
  for (const auto& [entry, key] : failures) {
    auto unit = TelescopeUnit::initWithApiResponse(entry);
    ASSERT_FALSE(unit.has_value()) << key;
    EXPECT_EQ(unit.error(), TelescopeSerializationError::missing(key));
  }
  std::shared_ptr<NSError> error;
  EXPECT_EQ(TelescopeUnit::initWithApiResponse(TelescopeUnit::Entry{}, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedDescription(), "tag");
}

TEST(TelescopeUnit, OnlyTheExactCorrectionTypeIsACorrection) {
  const std::pair<const char*, TelescopeType> cases[] = {
      {"didyoumean", TelescopeType::didyoumean}, {"telescope", TelescopeType::telescope},
      {"DIDYOUMEAN", TelescopeType::telescope},  {"DidYouMean", TelescopeType::telescope},
      {"", TelescopeType::telescope},
  };
  for (const auto& [type, expected] : cases) {
    auto unit = TelescopeUnit::initWithApiResponse({{"tag", ""}, {"image", "/relative.png"}, {"type", type}});
    ASSERT_TRUE(unit.has_value()) << type;
    EXPECT_EQ((*unit)->type, expected) << type;
    EXPECT_EQ((*unit)->term, "");
    EXPECT_EQ((*unit)->imageURL->absoluteString(), "/relative.png");
  }
}

TEST(TelescopePayload, IsEmptyOnlyWithoutAnyEntry) {
  EXPECT_TRUE(TelescopePayload::init()->isEmpty());
  EXPECT_TRUE(TelescopePayload::initWithTelescopeContent(std::nullopt, std::nullopt)->isEmpty());
  EXPECT_TRUE(TelescopePayload::initWithTelescopeContent(TelescopePayload::List{}, TelescopePayload::List{})->isEmpty());
  auto corrections = TelescopePayload::initWithTelescopeContent(std::nullopt, TelescopePayload::List{{{"tag", "cat"}}});
  EXPECT_FALSE(corrections->isEmpty());
  EXPECT_TRUE(corrections->telescopeList.empty());
  EXPECT_EQ(corrections->didYouMeanList.size(), 1u);
}

}  // namespace
