#pragma once
// Helpers shared by the item-model suites: JSON texts as dictionaries, a well-formed item
// object to vary, and a coder that records the keys an object writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/VornObject.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"

inline std::shared_ptr<NSDictionary> jsonObject(std::string_view text) {
  auto parsed = NSJSONSerialization::JSONObjectWithBytes(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed ? asA<NSDictionary>(*parsed) : nullptr;
}

// An item object with every member the parser reads, sponsored fields included.
inline std::string fullItemJson() {
  return R"({"id":"1234","title":"Happy cat","url":"https://zol.to/g/1234","itemurl":"https://zolto.com/view/happy-cat-1234",
    "embed":"<iframe></iframe>","shares":12,"tags":["cat","happy"],"hasaudio":true,"sticker":false,"bg_color":"#336699",
    "source_id":"src-1","metrics":{"pixels":["https://px.example/1","https://px.example/2"]},
    "ad_badge_info":{"position":2,"assetinfo":{"asset_name":"badge","asset_extension":"png","urlbase":"https://cdn.example/"}},
    "feature_info":{"feature_text":"Sponsored","button_link":"https://brand.example","button_text":"Visit"},
    "user":{"userid":42,"username":"amy","avatars":{"256":"https://cdn.example/amy.png"},"tagline":"hi"},
    "media":[{"gif":{"url":"https://media.example/1234.gif","dims":[320,240],"preview":"p"},
              "tinygif":{"url":"https://media.example/1234-tiny.gif","preview":"https://media.example/1234-still.png"},
              "mp4":{"url":"https://media.example/1234.mp4"},"tinymp4":{"url":"https://media.example/1234-tiny.mp4"}},
             {"gif":{"url":"https://media.example/other.gif"},"tinygif":{"url":"https://media.example/other-tiny.gif"}}]})";
}

// An item read by both readers, the one over value objects and the one straight from the
// parser, which must agree (error, or every archived field); the parser's item is returned.
inline VornObject::Result readBoth(std::string_view text) {
  auto fromObjects = VornObject::initWithNewApiData(jsonObject(text));
  VornObject::Result fromParser = std::unexpected(VornObjectSerializationError::missing("not read"));
  EXPECT_FALSE(JSONReader::read(text, 0, [&](const JSONReader::Document& document) { fromParser = VornObject::initWithNewApiData(document.root); }));
  if (!fromObjects || !fromParser) {
    EXPECT_EQ(fromObjects.has_value(), fromParser.has_value()) << text;
    if (!fromObjects && !fromParser) {
      EXPECT_EQ(fromObjects.error(), fromParser.error()) << text;
    }
    return fromParser;
  }
  auto archived = [](const std::shared_ptr<VornObject>& item) {
    item->advertisingDataSingleSaveFlag = true;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
    item->advertisingDataSingleSaveFlag = false;
    return data ? std::string((*data)->view()) : std::string();
  };
  EXPECT_EQ(archived(*fromObjects), archived(*fromParser)) << text;
  return fromParser;
}

inline std::shared_ptr<VornObject> parsedItem(std::string_view text) {
  auto result = readBoth(text);
  EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().payload);
  return result ? *result : nullptr;
}

// Records the keys written into it, in order.
class RecordingCoder : public NSCoder {
 public:
  std::vector<std::string> keys;
  std::vector<id> objects;
  void encodeObject(const id& object, std::string_view key) override {
    keys.emplace_back(key);
    objects.push_back(object);
  }
  void encodeBool(bool, std::string_view key) override { encodeObject(nullptr, key); }
  void encodeInt64(std::int64_t, std::string_view key) override { encodeObject(nullptr, key); }
  void encodeDouble(double, std::string_view key) override { encodeObject(nullptr, key); }
  bool wrote(std::string_view key) const { return std::find(keys.begin(), keys.end(), key) != keys.end(); }
  id objectFor(std::string_view key) const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == key && i < objects.size()) return objects[i];
    }
    return nullptr;
  }
};

inline std::vector<std::string> keysWrittenBy(const VornObject& item) {
  RecordingCoder coder;
  item.encodeWithCoder(coder);
  return coder.keys;
}

inline std::shared_ptr<VornObject> archivedAndRestored(const std::shared_ptr<VornObject>& item) {
  auto data = NSKeyedArchiver::archivedDataWithRootObject(item);
  EXPECT_TRUE(data.has_value());
  if (!data) return nullptr;
  auto root = NSKeyedUnarchiver::unarchiveObjectWithData(*data);
  EXPECT_TRUE(root.has_value());
  return root ? asA<VornObject>(*root) : nullptr;
}
