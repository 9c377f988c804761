#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <set>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/av/MovieDecoder.h"
#include "standin/Catalogue.h"
#include "standin/MovieMaker.h"
#include "tests/standin/GifDecode.h"

namespace {

std::shared_ptr<NSDictionary> parsed(const std::string& json) {
  auto object = NSJSONSerialization::JSONObjectWithBytes(json);
  if (!object) return nullptr;
  return asA<NSDictionary>(*object);
}

std::string textAt(const std::shared_ptr<NSDictionary>& object, std::string_view key) {
  auto value = object ? object->objectForKeyAs<NSString>(key) : nullptr;
  return value ? value->string() : "<missing>";
}

std::vector<std::string> idsOf(const std::shared_ptr<NSDictionary>& page) {
  std::vector<std::string> ids;
  for (const auto& result : *page->objectForKeyAs<NSArray>("results")) ids.push_back(textAt(asA<NSDictionary>(result), "id"));
  return ids;
}

TEST(CatalogueTest, SameSeedSameCatalogueOtherSeedOtherOne) {
  auto a = Catalogue::make(7, "http://127.0.0.1:1");
  auto b = Catalogue::make(7, "http://127.0.0.1:1");
  auto c = Catalogue::make(8, "http://127.0.0.1:1");
  EXPECT_EQ(a->searchPageJson("", "", 50), b->searchPageJson("", "", 50));
  EXPECT_EQ(a->searchPageJson("cat", "20", 20), b->searchPageJson("cat", "20", 20));
  EXPECT_NE(a->searchPageJson("", "", 50), c->searchPageJson("", "", 50));
  auto file = a->mediaFile("/media/" + a->items()[3].id + "/gif.gif");
  auto again = b->mediaFile("/media/" + b->items()[3].id + "/gif.gif");
  ASSERT_TRUE(file && again);
  EXPECT_EQ(file->bytes(), again->bytes());
}

TEST(CatalogueTest, ItemsCarryWellFormedValues) {
  auto catalogue = Catalogue::make();
  ASSERT_EQ(catalogue->items().size(), Catalogue::defaultItemCount);
  std::set<std::string> ids;
  std::size_t sponsored = 0, withUser = 0, featureOnly = 0, sourceOnly = 0;
  for (const auto& item : catalogue->items()) {
    EXPECT_TRUE(ids.insert(item.id).second) << item.id;
    EXPECT_TRUE(std::ranges::all_of(item.id, [](char c) { return c >= '0' && c <= '9'; })) << item.id;
    EXPECT_EQ(item.bgColor().size(), 7u);
    EXPECT_EQ(item.bgColor()[0], '#');
    EXPECT_GT(item.width, 0);
    EXPECT_GT(item.height, 0);
    EXPECT_FALSE(item.tags.empty());
    EXPECT_FALSE(item.title.empty());
    if (item.sponsored() && item.featureText) ++sponsored;
    if (item.user) ++withUser;
    if (!item.sourceId && item.featureText) ++featureOnly;
    if (item.sourceId && !item.featureText) ++sourceOnly;
  }
  EXPECT_GE(sponsored, 3u);
  EXPECT_GE(featureOnly, 1u);
  EXPECT_GE(sourceOnly, 1u);
  EXPECT_GT(withUser, 50u);
  EXPECT_GE(catalogue->users().size(), 3u);
  for (const auto& user : catalogue->users()) EXPECT_GT(user.userid, 0);
}

TEST(CatalogueTest, ItemJsonHasEveryMemberTheClientsRead) {
  auto catalogue = Catalogue::make(Catalogue::defaultSeed, "http://127.0.0.1:4321");
  const CatalogueItem* sponsored = nullptr;
  const CatalogueItem* posted = nullptr;
  for (const auto& item : catalogue->items()) {
    if (!sponsored && item.sponsored() && item.featureText) sponsored = &item;
    if (!posted && item.user) posted = &item;
  }
  ASSERT_TRUE(sponsored && posted);

  auto object = parsed(catalogue->itemJson(*posted));
  ASSERT_TRUE(object);
  EXPECT_EQ(textAt(object, "id"), posted->id);
  EXPECT_EQ(textAt(object, "title"), posted->title);
  EXPECT_EQ(textAt(object, "bg_color"), posted->bgColor());
  for (const char* key : {"url", "itemurl"}) EXPECT_TRUE(textAt(object, key).starts_with("http://127.0.0.1:4321/")) << key;
  EXPECT_NE(textAt(object, "embed").find(posted->id), std::string::npos);
  ASSERT_TRUE(object->objectForKeyAs<NSNumber>("shares"));
  EXPECT_EQ(object->objectForKeyAs<NSNumber>("shares")->integerValue(), posted->shares);
  EXPECT_EQ(object->objectForKeyAs<NSArray>("tags")->count(), posted->tags.size());
  EXPECT_TRUE(object->objectForKeyAs<NSNumber>("hasaudio")->isBool());
  auto media = asA<NSDictionary>(object->objectForKeyAs<NSArray>("media")->firstObject());
  ASSERT_TRUE(media);
  for (const auto& format : Catalogue::formats()) {
    SCOPED_TRACE(format);
    auto rendition = media->objectForKeyAs<NSDictionary>(format);
    ASSERT_TRUE(rendition);
    EXPECT_EQ(textAt(rendition, "url"), catalogue->mediaURL(*posted, format));
    auto dims = rendition->objectForKeyAs<NSArray>("dims");
    ASSERT_TRUE(dims && dims->count() == 2);
    EXPECT_EQ(asA<NSNumber>(dims->objectAtIndex(0))->integerValue(), catalogue->mediaDims(*posted, format).first);
    EXPECT_EQ(static_cast<std::size_t>(rendition->objectForKeyAs<NSNumber>("size")->integerValue()),
              catalogue->mediaSize(*posted, format));
  }
  EXPECT_TRUE(textAt(media->objectForKeyAs<NSDictionary>("tinygif"), "preview").ends_with("/preview.gif"));
  auto user = object->objectForKeyAs<NSDictionary>("user");
  ASSERT_TRUE(user);
  EXPECT_GT(user->objectForKeyAs<NSNumber>("userid")->integerValue(), 0);
  EXPECT_EQ(textAt(user, "username"), catalogue->users()[*posted->user].username);
  EXPECT_TRUE(textAt(user->objectForKeyAs<NSDictionary>("avatars"), "256").starts_with("http://127.0.0.1:4321/media/avatars/"));
  EXPECT_FALSE(object->containsKey("source_id"));

  auto ad = parsed(catalogue->itemJson(*sponsored));
  ASSERT_TRUE(ad);
  EXPECT_EQ(textAt(ad, "source_id"), *sponsored->sourceId);
  auto pixels = ad->objectForKeyAs<NSDictionary>("metrics")->objectForKeyAs<NSArray>("pixels");
  ASSERT_TRUE(pixels && pixels->count() == 2);
  auto badge = ad->objectForKeyAs<NSDictionary>("ad_badge_info");
  ASSERT_TRUE(badge);
  auto position = badge->objectForKeyAs<NSNumber>("position")->integerValue();
  EXPECT_TRUE(position >= 1 && position <= 6);
  auto asset = badge->objectForKeyAs<NSDictionary>("assetinfo");
  std::string badgePath = textAt(asset, "urlbase") + textAt(asset, "asset_name") + "@2x." + textAt(asset, "asset_extension");
  EXPECT_TRUE(catalogue->mediaFile(badgePath.substr(std::string("http://127.0.0.1:4321").size())).has_value());
  auto feature = ad->objectForKeyAs<NSDictionary>("feature_info");
  ASSERT_TRUE(feature);
  EXPECT_EQ(textAt(feature, "feature_text"), *sponsored->featureText);
  EXPECT_NE(textAt(feature, "button_link"), "<missing>");
  for (const auto& pixel : *pixels) {
    auto url = asA<NSString>(pixel)->string();
    EXPECT_TRUE(catalogue->mediaFile(url.substr(std::string("http://127.0.0.1:4321").size())).has_value()) << url;
  }
}

TEST(CatalogueTest, SearchPagesWalkTheWholeResultOnce) {
  auto catalogue = Catalogue::make();
  struct Case {
    std::string query;
    std::size_t limit;
  };
  for (const Case& c : {Case{"", 50}, Case{"cat", 7}, Case{"CAT", 0}, Case{"happy dance", 3}, Case{"piñata", 10}}) {
    SCOPED_TRACE(c.query);
    auto expected = catalogue->search(c.query);
    std::vector<std::string> seen;
    std::string pos;
    for (int pages = 0; pages < 1000; ++pages) {
      auto page = parsed(catalogue->searchPageJson(c.query, pos, c.limit));
      ASSERT_TRUE(page);
      auto ids = idsOf(page);
      EXPECT_LE(ids.size(), c.limit == 0 ? Catalogue::defaultPageSize : c.limit);
      seen.insert(seen.end(), ids.begin(), ids.end());
      pos = textAt(page, "next");
      if (pos.empty()) break;
    }
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], expected[i]->id);
  }
  EXPECT_EQ(catalogue->search("").size(), catalogue->items().size());
  EXPECT_FALSE(catalogue->search("cat").empty());
  EXPECT_FALSE(catalogue->search("piñata").empty());
}

TEST(CatalogueTest, SearchMatchesWordsOfTitlesAndTagsWithoutCaseOrPlural) {
  auto catalogue = Catalogue::make();
  auto ids = [&](std::string_view query) {
    std::vector<std::string> found;
    for (const auto* item : catalogue->search(query)) found.push_back(item->id);
    return found;
  };
  const auto cats = ids("cat");
  ASSERT_FALSE(cats.empty());
  for (const auto* query : {"cats", "CATS", "Cat", " cat, "}) EXPECT_EQ(ids(query), cats) << query;
  for (const auto* item : catalogue->search("cat")) {
    EXPECT_NE(std::string(item->title).find("Cat"), std::string::npos) << item->title;
  }
  // Words, not pieces of words: "ca" is no word of the catalogue.
  EXPECT_TRUE(ids("ca").empty());
  // A word of a tag of several words finds it, and every word must be found.
  EXPECT_FALSE(ids("birthday").empty());
  EXPECT_EQ(ids("happy birthdays"), ids("birthday happy"));
  EXPECT_TRUE(ids("cat unheardof").empty());
}

TEST(CatalogueTest, PostsComeInTheOrderAskedAndUnknownIdsAreLeftOut) {
  auto catalogue = Catalogue::make();
  const auto& a = catalogue->items()[4].id;
  const auto& b = catalogue->items()[2].id;
  struct Case {
    std::string ids;
    std::vector<std::string> expected;
  };
  for (const Case& c : {Case{a, {a}}, Case{b + "," + a, {b, a}}, Case{"123," + a + ",x", {a}}, Case{"", {}},
                        Case{",,", {}}}) {
    SCOPED_TRACE(c.ids);
    auto reply = parsed(catalogue->postsJson(c.ids));
    ASSERT_TRUE(reply);
    EXPECT_EQ(idsOf(reply), c.expected);
  }
}

TEST(CatalogueTest, PagesOutsideTheResultAreEmptyAndFinal) {
  auto catalogue = Catalogue::make();
  for (auto [query, pos] : {std::pair{"zzzz-no-such-thing", ""}, std::pair{"", "100000"}, std::pair{"", "-3"},
                            std::pair{"", "abc"}, std::pair{"", "99999999999999999999999"}}) {
    SCOPED_TRACE(std::string(query) + " @ " + pos);
    auto page = parsed(catalogue->searchPageJson(query, pos, 10));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->objectForKeyAs<NSArray>("results")->count(), 0u);
    EXPECT_EQ(textAt(page, "next"), "");
  }
  auto page = parsed(catalogue->searchPageJson("", "", 1000));
  EXPECT_EQ(page->objectForKeyAs<NSArray>("results")->count(), Catalogue::maxPageSize);
}

TEST(CatalogueTest, TagListsAreStringMapsOfEachKind) {
  auto catalogue = Catalogue::make(Catalogue::defaultSeed, "http://127.0.0.1:4321");
  std::set<std::string> firstTerms;
  for (const char* type : {"featured", "trending", "explore", "emoji"}) {
    SCOPED_TRACE(type);
    auto reply = parsed(catalogue->tagsJson(type));
    ASSERT_TRUE(reply);
    auto tags = reply->objectForKeyAs<NSArray>("tags");
    ASSERT_TRUE(tags && tags->count() > 0);
    for (const auto& element : *tags) {
      auto tag = asA<NSDictionary>(element);
      ASSERT_TRUE(tag);
      for (const auto& [key, value] : *tag) EXPECT_TRUE(asA<NSString>(value)) << key;
      EXPECT_TRUE(textAt(tag, "path").starts_with("http://127.0.0.1:4321/v1/search?tag="));
      EXPECT_FALSE(catalogue->search(textAt(tag, "searchterm")).empty());
      EXPECT_EQ(tag->containsKey("character"), std::string(type) == "emoji");
    }
    EXPECT_TRUE(firstTerms.insert(textAt(asA<NSDictionary>(tags->firstObject()), "searchterm")).second);
  }
  auto none = parsed(catalogue->tagsJson("bogus"));
  EXPECT_EQ(none->objectForKeyAs<NSArray>("tags")->count(), 0u);
}

TEST(CatalogueTest, SimilarTermsAndCorrections) {
  auto catalogue = Catalogue::make();
  auto similar = parsed(catalogue->similarJson("Cat"));
  ASSERT_TRUE(similar);
  auto results = similar->objectForKeyAs<NSDictionary>("results");
  ASSERT_TRUE(results);
  auto related = results->objectForKeyAs<NSArray>("Cat");  // keyed by the term exactly as sent
  ASSERT_TRUE(related && related->count() > 0);
  for (const auto& element : *related) {
    auto entry = asA<NSDictionary>(element);
    EXPECT_NE(textAt(entry, "tag"), "cat");
    EXPECT_TRUE(textAt(entry, "image").ends_with(".gif"));
  }
  EXPECT_EQ(results->objectForKeyAs<NSDictionary>("corrections")->count(), 0u);

  auto misspelt = parsed(catalogue->similarJson("catt"));
  auto corrections = misspelt->objectForKeyAs<NSDictionary>("results")->objectForKeyAs<NSDictionary>("corrections");
  ASSERT_TRUE(corrections);
  EXPECT_TRUE(corrections->containsKey("cat"));
  auto nothing = parsed(catalogue->similarJson("qqqqqqqqqq"));
  EXPECT_EQ(nothing->objectForKeyAs<NSDictionary>("results")->objectForKeyAs<NSDictionary>("corrections")->count(), 0u);
}

TEST(CatalogueTest, SuggestionsStartWithThePrefix) {
  auto catalogue = Catalogue::make();
  for (const char* prefix : {"ca", "H", "", "zzz"}) {
    SCOPED_TRACE(prefix);
    auto reply = parsed(catalogue->suggestJson(prefix));
    ASSERT_TRUE(reply);
    auto results = reply->objectForKeyAs<NSArray>("results");
    ASSERT_TRUE(results);
    EXPECT_LE(results->count(), 10u);
    std::string folded = prefix;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& term : *results) EXPECT_TRUE(asA<NSString>(term)->string().starts_with(folded));
    if (std::string(prefix) != "zzz") { EXPECT_GT(results->count(), 0u); }
  }
}

TEST(CatalogueTest, RenditionsAreRealGifsOfTheStatedSizeAndDims) {
  auto catalogue = Catalogue::make();
  for (std::size_t i = 0; i < catalogue->items().size(); i += 29) {
    const auto& item = catalogue->items()[i];
    for (const char* format : {"gif", "tinygif", "nanogif"}) {
      SCOPED_TRACE(item.id + " " + format);
      auto file = catalogue->mediaFile("/media/" + item.id + "/" + format + ".gif");
      ASSERT_TRUE(file);
      auto bytes = file->bytes();
      EXPECT_EQ(bytes.size(), catalogue->mediaSize(item, format));
      auto decoded = decodeGif(bytes);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(std::pair(decoded->width, decoded->height), catalogue->mediaDims(item, format));
      EXPECT_EQ(decoded->frames, item.frames);
    }
    auto preview = catalogue->mediaFile("/media/" + item.id + "/preview.gif");
    ASSERT_TRUE(preview);
    auto still = decodeGif(preview->bytes());
    ASSERT_TRUE(still);
    EXPECT_EQ(still->frames, 1);
    auto mp4 = catalogue->mediaFile("/media/" + item.id + "/mp4.mp4");
    ASSERT_TRUE(mp4);
    EXPECT_EQ(mp4->size(), catalogue->mediaSize(item, "mp4"));
    EXPECT_EQ(mp4->bytes().substr(4, 8), "ftypisom");
  }
}

TEST(CatalogueTest, TinyMp4sArePlayableClipsOfTheStatedSize) {
  auto catalogue = Catalogue::make();
  auto folder = std::filesystem::temp_directory_path() / ("glimdeck-tinymp4-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  // Every sixteenth item: the catalogue's range of sizes and frame counts.
  for (std::size_t i = 0; i < catalogue->items().size(); i += 16) {
    const auto& item = catalogue->items()[i];
    auto file = catalogue->mediaFile("/media/" + item.id + "/tinymp4.mp4");
    ASSERT_TRUE(file) << item.id;
    auto bytes = file->bytes();
    EXPECT_EQ(bytes.size(), catalogue->mediaSize(item, "tinymp4")) << item.id;
    auto path = folder / (item.id + ".mp4");
    std::ofstream(path, std::ios::binary) << bytes;
    auto movie = MovieDecoder::open(path);
    ASSERT_TRUE(movie.has_value()) << item.id;
    auto [width, height] = catalogue->mediaDims(item, "tinymp4");
    EXPECT_EQ((*movie)->naturalSize(), NSMakeSize((width + 1) & ~1, (height + 1) & ~1));
    EXPECT_NEAR((*movie)->duration(), item.frames / double(MovieMaker::kFramesPerSecond), 1e-6) << item.id;
    auto last = (*movie)->frameAt(10);
    ASSERT_TRUE(last);
    EXPECT_NEAR(last->start, (item.frames - 1) / double(MovieMaker::kFramesPerSecond), 1e-6);
  }
  std::filesystem::remove_all(folder);
}

TEST(CatalogueTest, MediaPathsThatNameNoFileAreRefused) {
  auto catalogue = Catalogue::make();
  const auto& id = catalogue->items()[0].id;
  for (const std::string& path : std::vector<std::string>{"/media/", "/media/123/gif.gif", "/media/" + id + "/gif.mp4", "/media/" + id + "/mp4.gif",
                           "/media/" + id + "/huge.gif", "/media/" + id + "/gif.gif/extra", "/media/sized/abc.gif",
                           "/media/sized/-5.gif", "/media/sized/10.gif", "/media/sized/99999999999.gif",
                           "/media/sized/100.png", "/media/avatars/1.gif", "/media/pixel/" + id + "/x.gif",
                           "/media/../etc/passwd", "/other/" + id + "/gif.gif", "/media/badges/.gif"}) {
    EXPECT_FALSE(catalogue->mediaFile(path).has_value()) << path;
  }
}

}  // namespace
