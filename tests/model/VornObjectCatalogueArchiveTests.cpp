// Items read from the service's bytes archive exactly as they always have: every item of the
// stand-in's catalogue, and a few hand-made ones with awkward media, is archived and compared
// with the digests of the archives that earlier builds wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/Compression.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSArray.h"
#include "standin/Catalogue.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/support/Gzip.h"

namespace {

// Media members the catalogue never sends: reals, integers beyond 64 bits, escapes, nulls,
// nesting and a repeated key.
const std::vector<std::string>& oddItems() {
  static const std::vector<std::string> items = {
      fullItemJson(),
      R"({"id":"77","media":[{"gif":{"url":"https://m/77.gif","dims":[1.5,2],"size":1e3},
          "tinygif":{"url":"https://m/77t.gif","preview":null},"x":{"big":123456789012345678901234,
          "neg":-9223372036854775808,"u":18446744073709551615,"r":0.1,"e":"\u00e9\n\"\\\/","t":[true,false,null,[],{}]},
          "x":{"again":1}}],"shares":3.0,"tags":["a"],"user":{"userid":5.5,"username":"u","avatars":{"256":"https://a/b"}}})",
      R"({"id":"78","media":[{"gif":{"url":"https://m/78.gif","dims":[3,4,5]},"tinygif":{"url":"https://m/78t.gif"},
          "mp4":{"url":"https://m/78.mp4"}},{}],"bg_color":"zz","metrics":{"pixels":[]},"sticker":true})",
  };
  return items;
}

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

// "<vid> <archive length> <archive digest>" for one item as a stream leaves it.
std::string digestLine(const std::shared_ptr<VornObject>& item) {
  if (!item) return "no item";
  item->advertisingDataSingleSaveFlag = true;
  auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
  if (!data) return item->vid + " not archived";
  auto bytes = (*data)->view();
  std::ostringstream line;
  line << item->vid << ' ' << bytes.size() << ' ' << std::hex << fnv1a(bytes);
  return line.str();
}

// Straight from the parser, as the requesters read a reply {"results": [...]}: one that came
// gzip-compressed (`compressed`), whose items keep the compressed reply to read their media
// from again, or one that came as it is, whose items keep their media written out as text.
// Neither keeps the expanded reply.
std::vector<std::shared_ptr<VornObject>> itemsFromReply(const std::string& reply, bool compressed) {
  std::vector<std::shared_ptr<VornObject>> items;
  auto data = compressed ? *Compression::decodeContent("gzip", NSData::fromString(testgzip::gzip(reply)),
                                                       reply.size(), JSONReader::padding)
                         : NSData::fromString(reply);
  std::weak_ptr<NSData> expanded = data;
  auto error = JSONReader::read(data->view(), data->capacity(), [&](const JSONReader::Document& document) {
    std::size_t index = 0;
    simdjson::dom::array results = document.root["results"].get_array().value_unsafe();
    for (auto element : results) {
      auto result = VornObject::initWithNewApiData(element, {data, index++});
      items.push_back(result ? *result : nullptr);
    }
  });
  EXPECT_FALSE(error);
  data.reset();
  EXPECT_TRUE(expanded.expired());
  return items;
}

// Every catalogue item in one reply, then each hand-made item in a reply of its own.
std::vector<std::string> replies() {
  auto catalogue = Catalogue::make();
  std::string ids;
  for (const auto& entry : catalogue->items()) ids += (ids.empty() ? "" : ",") + entry.id;
  std::vector<std::string> replies{catalogue->postsJson(ids)};
  for (const auto& odd : oddItems()) replies.push_back(R"({"results": [)" + odd + "]}");
  return replies;
}

std::filesystem::path digestsFile() {
  return std::filesystem::path(__FILE__).parent_path() / "CatalogueArchiveDigests.txt";
}

std::vector<std::string> expectedDigests() {
  std::ifstream in(digestsFile());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(VornObjectCatalogueArchive, EveryItemArchivesAsBefore) {
  auto expected = expectedDigests();
  for (bool compressed : {true, false}) {
    std::vector<std::string> digests;
    for (const auto& reply : replies()) {
      for (const auto& item : itemsFromReply(reply, compressed)) {
        digests.push_back(digestLine(item));
        // Once made and kept, the dictionary archives the same.
        if (item) item->mediaDictionary();
        EXPECT_EQ(digestLine(item), digests.back());
      }
    }
    EXPECT_EQ(digests, expected) << (compressed ? "media read from the compressed reply again" : "media kept as text");
  }
  // The reader over value objects agrees.
  auto catalogue = Catalogue::make();
  for (std::size_t i = 0; i < catalogue->items().size(); ++i) {
    EXPECT_EQ(digestLine(*VornObject::initWithNewApiData(catalogue->itemObject(catalogue->items()[i]))), expected[i]);
  }
}

}  // namespace

namespace {

// Posts of one poster share the poster, and posters with one avatar address share its URL:
// neither changes once read. An archive of several of their posts still reads back with each
// poster's own record.
TEST(VornObjectCatalogueArchive, PostsOfOnePosterShareThePoster) {
  auto items = itemsFromReply(replies().front(), true);
  std::map<std::string, std::set<const NSURL*>> urls;
  std::map<std::string, std::set<const PlovexUser*>> posters;
  auto list = NSArray::make();
  for (const auto& item : items) {
    if (!item || !item->poster) continue;
    urls[item->poster->imageUrl->absoluteString()].insert(item->poster->imageUrl.get());
    posters[item->poster->userIdentifier].insert(item->poster.get());
    list->addObject(item);
  }
  ASSERT_GT(urls.size(), 1u);
  for (const auto& [text, objects] : urls) EXPECT_EQ(objects.size(), 1u) << text;
  ASSERT_GT(posters.size(), 1u);
  for (const auto& [id, objects] : posters) EXPECT_EQ(objects.size(), 1u) << id;


  auto data = NSKeyedArchiver::archivedDataWithRootObject(list);
  ASSERT_TRUE(data);
  auto back = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  auto read = back ? asA<NSArray>(*back) : nullptr;
  ASSERT_TRUE(read);
  ASSERT_EQ(read->count(), list->count());
  for (std::size_t i = 0; i < list->count(); ++i) {
    auto before = asA<VornObject>(list->objectAtIndex(i));
    auto after = asA<VornObject>(read->objectAtIndex(i));
    ASSERT_TRUE(after && after->poster && after->poster->imageUrl);
    EXPECT_EQ(after->poster->imageUrl->absoluteString(), before->poster->imageUrl->absoluteString());
  }

  // A poster whose record differs in any member is a poster of its own.
  const std::string media = R"("media":[{"gif":{"url":"https://m/g.gif"},"tinygif":{"url":"https://m/t.gif"}}])";
  const std::string users[] = {
      R"({"userid":7,"username":"ann","avatars":{"256":"https://a/7"},"tagline":"hi"})",
      R"({"userid":7,"username":"ann","avatars":{"256":"https://a/7"},"tagline":"hi"})",
      R"({"userid":7,"username":"ann","avatars":{"256":"https://a/7"},"tagline":"hello"})",
      R"({"userid":7,"username":"ann","avatars":{"256":"https://a/7"}})",
      R"({"userid":7,"username":"anne","avatars":{"256":"https://a/7"},"tagline":"hi"})",
      R"({"userid":7,"username":"ann","avatars":{"256":"https://a/8"},"tagline":"hi"})",
      R"({"userid":8,"username":"ann","avatars":{"256":"https://a/7"},"tagline":"hi"})",
  };
  std::string results;
  for (std::size_t i = 0; i < std::size(users); ++i) {
    results += (i ? "," : "") + std::string(R"({"id":")") + std::to_string(i + 1) + R"(",)" + media + R"(,"user":)" +
               users[i] + "}";
  }
  auto posts = itemsFromReply(R"({"results":[)" + results + "]}", true);
  ASSERT_EQ(posts.size(), std::size(users));
  std::set<const PlovexUser*> distinct;
  for (const auto& item : posts) {
    ASSERT_TRUE(item && item->poster);
    distinct.insert(item->poster.get());
  }
  EXPECT_EQ(posts[0]->poster, posts[1]->poster);
  EXPECT_EQ(distinct.size(), std::size(users) - 1);
  EXPECT_EQ(posts[2]->poster->tagLine, "hello");
  EXPECT_FALSE(posts[3]->poster->tagLine);
  EXPECT_EQ(posts[4]->poster->username, "anne");
  EXPECT_EQ(posts[5]->poster->imageUrl->absoluteString(), "https://a/8");
  EXPECT_EQ(posts[6]->poster->userIdentifier, "8");
}

}  // namespace
