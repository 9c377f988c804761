#include <gtest/gtest.h>

#include "app/LegacyArchiveNames.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSValue.h"
#include "tests/model/ModelTestSupport.h"

namespace {

// An item as a stream reply leaves it: sponsored fields set and the single-save flag on.
std::shared_ptr<VornObject> streamItem() {
  auto item = parsedItem(fullItemJson());
  item->advertisingDataSingleSaveFlag = true;
  return item;
}

// A coder that answers the keys of a dictionary, to feed initWithCoder hand-made archives.
class DictionaryCoder : public NSCoder {
 public:
  explicit DictionaryCoder(std::shared_ptr<NSDictionary> values) : values_(std::move(values)) {}
  bool containsValueForKey(std::string_view key) const override { return values_->containsKey(key); }
  id decodeObjectForKey(std::string_view key) override {
    reads_.emplace_back(key);
    auto value = values_->objectForKey(key);
    return asA<NSNull>(value) ? nullptr : value;
  }
  bool decodeBoolForKey(std::string_view key) override {
    auto number = asA<NSNumber>(decodeObjectForKey(key));
    return number && number->boolValue();
  }
  std::int64_t decodeInt64ForKey(std::string_view key) override {
    auto number = asA<NSNumber>(decodeObjectForKey(key));
    return number ? number->integerValue() : 0;
  }
  bool read(std::string_view key) const { return std::find(reads_.begin(), reads_.end(), key) != reads_.end(); }

 private:
  std::shared_ptr<NSDictionary> values_;
  mutable std::vector<std::string> reads_;
};

std::shared_ptr<NSDictionary> minimalArchive() {
  return NSDictionary::make({{"vid", NSString::make("5")},
                             {"gifurl", NSString::make("https://m/g.gif")},
                             {"tinyGifUrl", NSString::make("https://m/t.gif")}});
}

TEST(VornObjectArchive, AStreamItemWritesAll28KeysInOrder) {
  auto keys = keysWrittenBy(*streamItem());
  const std::vector<std::string> expected = {
      "vid", "gifurl", "tinyGifUrl", "superTinyGifUrlKey", "mp4url", "avurl", "shorturl", "previewUrl",
      "dimensions", "title", "tags", "instagramUrl", "isProcessing", "poster", "webpageurl", "shareCount",
      "mediaDictionary", "hasaudio", "sticker", "stickerSourceVid", "tinymp4", "embed", "dateAddedToParentPack",
      "bgcolor", "feature_info", "source_id", "pixels", "ad_badge_info"};
  EXPECT_EQ(keys, expected);
}

TEST(VornObjectArchive, AdvertisingDataSurvivesExactlyOneSaveAndRestore) {
  auto restored = archivedAndRestored(streamItem());
  ASSERT_TRUE(restored);
  EXPECT_FALSE(restored->advertisingDataSingleSaveFlag);
  EXPECT_EQ(restored->advertisingSourceID, "src-1");
  EXPECT_EQ(restored->pixels, (std::vector<std::string>{"https://px.example/1", "https://px.example/2"}));
  ASSERT_TRUE(restored->adBadgeData);
  EXPECT_EQ(restored->adBadgeData->badgePosition, AdBadgePosition::topRight);
  ASSERT_TRUE(restored->featureData);
  EXPECT_EQ(restored->featureData->buttonText, "Visit");
  EXPECT_TRUE(restored->isPromotedContent());

  auto keys = keysWrittenBy(*restored);
  EXPECT_EQ(keys.size(), 24u);
  for (const char* dropped : {"feature_info", "source_id", "pixels", "ad_badge_info"}) {
    EXPECT_EQ(std::count(keys.begin(), keys.end(), dropped), 0) << dropped;
  }
}

TEST(VornObjectArchive, AnItemWithoutBackgroundWritesNoBgcolorButNullTitle) {
  auto item = streamItem();
  item->background = nullptr;
  item->title.reset();
  RecordingCoder coder;
  item->encodeWithCoder(coder);
  EXPECT_EQ(coder.keys.size(), 27u);
  EXPECT_FALSE(coder.wrote("bgcolor"));
  EXPECT_TRUE(coder.wrote("title"));
  EXPECT_EQ(coder.objectFor("title"), nullptr);
}

TEST(VornObjectArchive, ARoundTripKeepsEveryArchivedField) {
  auto item = streamItem();
  item->superTinyGifUrl = "https://m/s.gif";
  item->isProcessing = true;
  item->isSticker = true;
  item->stickerSourceVid = "77";
  item->dateAddedToParentPack = NSDate::dateWithTimeIntervalSince1970(1'700'000'000);
  item->boostedFollowerContent = true;
  auto restored = archivedAndRestored(item);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->vid, item->vid);
  EXPECT_EQ(restored->gifUrl, item->gifUrl);
  EXPECT_EQ(restored->tinyGifUrl, item->tinyGifUrl);
  EXPECT_EQ(restored->superTinyGifUrl, item->superTinyGifUrl);
  EXPECT_EQ(restored->mp4Url, item->mp4Url);
  EXPECT_EQ(restored->avUrl, item->avUrl);
  EXPECT_EQ(restored->shortUrl, item->shortUrl);
  EXPECT_EQ(restored->previewUrl, item->previewUrl);
  EXPECT_EQ(restored->dims, item->dims);
  EXPECT_EQ(restored->title, item->title);
  EXPECT_EQ(restored->tags, item->tags);
  EXPECT_EQ(restored->instagramUrl, item->instagramUrl);
  EXPECT_TRUE(restored->avUrl.sharesTextWith(restored->mp4Url));
  EXPECT_TRUE(restored->instagramUrl.sharesTextWith(restored->mp4Url));
  EXPECT_TRUE(restored->isProcessing);
  ASSERT_TRUE(restored->poster);
  EXPECT_EQ(restored->poster->userIdentifier, "42");
  EXPECT_EQ(restored->poster->imageUrl->absoluteString(), "https://cdn.example/amy.png");
  EXPECT_EQ(restored->webpageUrl, item->webpageUrl);
  EXPECT_EQ(restored->shareCount, 12);
  EXPECT_TRUE(restored->mediaDictionary()->isEqual(item->mediaDictionary()));
  EXPECT_TRUE(restored->hasAudio);
  EXPECT_TRUE(restored->isSticker);
  EXPECT_EQ(restored->stickerSourceVid, "77");
  EXPECT_EQ(restored->tinyMp4Url, item->tinyMp4Url);
  EXPECT_EQ(restored->htmlEmbedString, item->htmlEmbedString);
  EXPECT_DOUBLE_EQ(restored->dateAddedToParentPack->timeIntervalSince1970(), 1'700'000'000);
  ASSERT_TRUE(restored->background);
  EXPECT_TRUE(restored->background->isEqual(item->background));
  // Never restored, whatever the item held.
  EXPECT_FALSE(restored->boostedFollowerContent);
  EXPECT_FALSE(restored->advertisingDataSingleSaveFlag);
}

TEST(VornObjectArchive, DecodingFailsWithoutAnyOfTheThreeRequiredTexts) {
  for (const char* key : {"vid", "gifurl", "tinyGifUrl"}) {
    auto values = minimalArchive();
    values->setObject(NSString::make("x"), "title");
    values->removeObjectForKey(key);
    DictionaryCoder missing(values);
    EXPECT_EQ(VornObject::initWithCoder(missing), nullptr) << key;
    values->setObject(NSNumber::numberWithInteger(5), key);
    DictionaryCoder mistyped(values);
    EXPECT_EQ(VornObject::initWithCoder(mistyped), nullptr) << key;
  }
}

TEST(VornObjectArchive, MissingOrMistypedKeysLeaveTheDefaults) {
  auto values = minimalArchive();
  values->setObject(NSNumber::numberWithInteger(3), "title");
  values->setObject(NSArray::make({NSString::make("a"), NSNumber::numberWithInteger(1)}), "tags");
  values->setObject(NSString::make("not data"), "bgcolor");
  values->setObject(NSString::make("not a poster"), "poster");
  values->setObject(NSArray::make(), "feature_info");
  values->setObject(NSString::make("x"), "ad_badge_info");
  values->setObject(NSNumber::numberWithBool(true), "advertisingDataSingleSaveFlag");
  DictionaryCoder coder(values);
  auto item = VornObject::initWithCoder(coder);
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->title);
  EXPECT_TRUE(item->tags.empty());
  EXPECT_FALSE(item->background);
  EXPECT_FALSE(item->poster);
  EXPECT_FALSE(item->featureData);
  EXPECT_FALSE(item->adBadgeData);
  EXPECT_EQ(item->stickerSourceVid, "-1");
  EXPECT_DOUBLE_EQ(item->dateAddedToParentPack->timeIntervalSince1970(), NSDate::kDistantPast);
  EXPECT_EQ(item->shareCount, 0);
  EXPECT_EQ(item->mediaDictionary()->count(), 0u);
  EXPECT_FALSE(item->advertisingDataSingleSaveFlag);
  EXPECT_FALSE(item->boostedFollowerContent);
}

TEST(VornObjectArchive, AnAbsentPosterKeyIsNeverRead) {
  DictionaryCoder coder(minimalArchive());
  auto item = VornObject::initWithCoder(coder);
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->poster);
  EXPECT_FALSE(coder.read("poster"));
  EXPECT_TRUE(coder.read("title"));
}

TEST(VornObjectArchive, AnUnreadableBackgroundArchiveLeavesNoBackground) {
  auto values = minimalArchive();
  values->setObject(NSData::fromString("bplist00 broken"), "bgcolor");
  DictionaryCoder broken(values);
  auto item = VornObject::initWithCoder(broken);
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->background);
  // A nested archive of something other than a colour is no background either.
  values->setObject(*NSKeyedArchiver::archivedDataWithRootObject(NSString::make("red")), "bgcolor");
  DictionaryCoder other(values);
  EXPECT_FALSE(VornObject::initWithCoder(other)->background);
}

TEST(VornObjectArchive, ArchivesUnderFormerModuleNamesDecodeAsTheItem) {
  registerLegacyArchiveClassNames();
  auto item = streamItem();
  for (const char* name : {"Zolto.VornObject", "Glimdeck.VornObject", "Zolto_Glimdeck_for_Mac.VornObject"}) {
    NSKeyedArchiver::setClassName(name, "VornObject");
    auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
    NSKeyedArchiver::setClassName("", "VornObject");
    ASSERT_TRUE(data.has_value());
    ASSERT_NE((*data)->view().find(name), std::string_view::npos) << name;
    auto root = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
    ASSERT_TRUE(root.has_value()) << name;
    auto restored = asA<VornObject>(*root);
    ASSERT_TRUE(restored) << name;
    EXPECT_EQ(restored->vid, "1234");
    ASSERT_TRUE(restored->poster);
  }
  for (const char* name : {"Zolto.PlovexUser", "Glimdeck.QuorbUser", "Zolto_Glimdeck_for_Mac.PlovexUser"}) {
    EXPECT_TRUE(NSKeyedUnarchiver::classForClassName(name).has_value()) << name;
  }
}

TEST(VornObjectCopy, ACopyCarriesOnlyTheCopyFieldSet) {
  auto source = streamItem();
  source->superTinyGifUrl = "https://m/s.gif";
  source->isProcessing = true;
  source->stickerSourceVid = "99";
  source->isSticker = true;
  auto copy = VornObject::initWithCopyValuesFromVorn(source);
  EXPECT_EQ(copy->vid, source->vid);
  EXPECT_EQ(copy->superTinyGifUrl, source->superTinyGifUrl);
  EXPECT_EQ(copy->gifUrl, source->gifUrl);
  EXPECT_EQ(copy->mp4Url, source->mp4Url);
  EXPECT_EQ(copy->avUrl, source->avUrl);
  EXPECT_EQ(copy->shortUrl, source->shortUrl);
  EXPECT_EQ(copy->poster, source->poster);  // the same object
  EXPECT_EQ(copy->background, source->background);
  EXPECT_EQ(copy->title, source->title);
  EXPECT_EQ(copy->dims, source->dims);
  EXPECT_EQ(copy->previewUrl, source->previewUrl);
  EXPECT_EQ(copy->tinyGifUrl, source->tinyGifUrl);
  EXPECT_EQ(copy->tags, source->tags);
  EXPECT_EQ(copy->instagramUrl, source->instagramUrl);
  EXPECT_EQ(copy->shareCount, source->shareCount);
  EXPECT_EQ(copy->htmlEmbedString, source->htmlEmbedString);
  EXPECT_EQ(copy->dateAddedToParentPack, source->dateAddedToParentPack);
  EXPECT_TRUE(copy->isSticker);
  // Not copied.
  EXPECT_EQ(copy->mediaDictionary()->count(), 0u);
  EXPECT_FALSE(copy->tinyMp4Url);
  EXPECT_FALSE(copy->webpageUrl);
  EXPECT_FALSE(copy->hasAudio);
  EXPECT_EQ(copy->stickerSourceVid, "-1");
  EXPECT_FALSE(copy->isProcessing);
  EXPECT_FALSE(copy->advertisingDataSingleSaveFlag);
  EXPECT_FALSE(copy->advertisingSourceID);
  EXPECT_FALSE(copy->pixels);
  EXPECT_FALSE(copy->adBadgeData);
  EXPECT_FALSE(copy->featureData);
}

TEST(VornObjectCopy, CopyValuesOverwritesTheSetAndKeepsTheRest) {
  auto target = parsedItem(R"({"id":"1","media":[{"tinygif":{"url":"t"},"gif":{"url":"g"},"tinymp4":{"url":"tm"}}],
      "hasaudio":true,"source_id":"keep"})");
  auto source = streamItem();
  target->copyValuesFromVorn(source);
  EXPECT_EQ(target->vid, "1234");
  EXPECT_EQ(target->tinyMp4Url, "tm");
  EXPECT_TRUE(target->hasAudio);
  EXPECT_EQ(target->advertisingSourceID, "keep");
  target->setProcessingRemotely(true);
  EXPECT_TRUE(target->isProcessing);
}

TEST(VornObjectIdentity, EqualityAndHashFollowTheIdentifier) {
  auto a = parsedItem(R"({"id":"55","media":[{"tinygif":{"url":"t1"},"gif":{"url":"g1"}}]})");
  auto b = parsedItem(R"({"id":"55","media":[{"tinygif":{"url":"t2"},"gif":{"url":"g2"}}]})");
  auto c = parsedItem(R"({"id":"56","media":[{"tinygif":{"url":"t1"},"gif":{"url":"g1"}}]})");
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqual(c));
  EXPECT_FALSE(a->isEqual(nullptr));
  EXPECT_FALSE(a->isEqual(NSString::make("55")));
  // Canonically equivalent identifiers are one item, and hash alike.
  auto composed = parsedItem("{\"id\":\"caf\xc3\xa9\",\"media\":[{\"tinygif\":{\"url\":\"t\"},\"gif\":{\"url\":\"g\"}}]}");
  auto decomposed = parsedItem("{\"id\":\"cafe\xcc\x81\",\"media\":[{\"tinygif\":{\"url\":\"t\"},\"gif\":{\"url\":\"g\"}}]}");
  EXPECT_TRUE(composed->isEqual(decomposed));
  EXPECT_EQ(composed->hash(), decomposed->hash());
  EXPECT_EQ(a->hash(), stringHash("55"));
}

TEST(VornObjectDescription, IsExactToTheCharacter) {
  auto item = parsedItem(R"({"id":"7","title":"Hi","tags":[],"shares":3,
      "media":[{"tinygif":{"url":"https://m/t.gif"},"gif":{"url":"https://m/g.gif"}}]})");
  EXPECT_EQ(item->description(),
            "{\n    vid:7\n    supertinygifurl:\n    gifurl:https://m/g.gif\n    mp4url:nil\n    avurl:nil\n"
            "    shorturl:nil\n    title:Hi\n    tags:[]\n    poster:No poster    tinyGifUrl:https://m/t.gif\n"
            "    previewUrl:nil\n    instagramUrl:nil\n    shareCount:3");
}

TEST(VornObjectDescription, QuotesTagsAndRunsThePosterIntoTheNextLabel) {
  auto item = parsedItem(fullItemJson());
  item->tags = {"a\"b", "c\\d", "line\nbreak", "tab\t", "\x01"};
  item->superTinyGifUrl = "s";
  EXPECT_EQ(item->description(),
            "{\n    vid:1234\n    supertinygifurl:s\n    gifurl:https://media.example/1234.gif\n"
            "    mp4url:https://media.example/1234.mp4\n    avurl:https://media.example/1234.mp4\n"
            "    shorturl:https://zol.to/g/1234\n    title:Happy cat\n"
            "    tags:[\"a\\\"b\", \"c\\\\d\", \"line\\nbreak\", \"tab\\t\", \"\\u{1}\"]\n"
            "    poster:Username: {amy}\nUser Identifier: {42}    tinyGifUrl:https://media.example/1234-tiny.gif\n"
            "    previewUrl:https://media.example/1234-still.png\n    instagramUrl:https://media.example/1234.mp4\n"
            "    shareCount:12");
}

}  // namespace
