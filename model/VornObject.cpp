#include "model/VornObject.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "model/ModelSupport.h"
#include "platform/foundation/Compression.h"
#include "platform/foundation/JSONReader.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSCoder.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSValue.h"
#include "platform/foundation/Unicode.h"
#include "model/NSColorExtensions.h"

namespace {

const NSCodingRegistration vornObjectRegistration{"VornObject", &VornObject::initWithCoder};

using Keys = VornObject::ApiJsonKeys;
using Archive = VornObject::SerializationKeys;

// Items from the service never name files of this machine: a local item is only ever made
// by the local-file initialisers, so a "file:" address in a reply is treated as missing.
bool namesLocalFile(std::string_view text) {
  constexpr std::string_view scheme = "file:";
  if (text.size() < scheme.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != scheme[i]) return false;
  }
  return true;
}

std::optional<std::string_view> remoteText(std::optional<std::string_view> text) {
  if (!text || namesLocalFile(*text)) return std::nullopt;
  return text;
}

// How absent optional texts are archived: as the null object.
id textOrNull(const SharedText& text) {
  if (!text) return nullptr;
  return NSString::make(std::string(*text));
}

// The members of an item object that the reader takes, in one pass over the object.
enum Member : std::size_t { id_, media, title, url, itemurl, embed, shares, tags, hasaudio, bg_color, sticker,
                            user, feature_info, source_id, ad_badge_info, metrics, memberCount };
constexpr std::array<std::string_view, memberCount> memberKeys = {
    Keys::id,  Keys::media,   Keys::title,   Keys::url,  Keys::itemurl,      Keys::embed,     Keys::shares,
    Keys::tags, Keys::hasaudio, Keys::bg_color, Keys::sticker, Keys::user, Keys::feature_info, Keys::source_id,
    Keys::ad_badge_info, Keys::metrics};
enum Rendition : std::size_t { tinygif, gif, tinymp4, mp4, renditionCount };
constexpr std::array<std::string_view, renditionCount> renditionKeys = {Keys::tinygif, Keys::gif, Keys::tinymp4,
                                                                        Keys::mp4};

// The fields of a rendition that the reader takes.
enum RenditionField : std::size_t { address, preview, dims, fieldCount };
constexpr std::array<std::string_view, fieldCount> fieldKeys = {Keys::url, Keys::preview, Keys::dims};

// A key's length with its first and last letters, in one word: no two keys of a set below
// share it, so a key read from a reply is compared as text with one key of the set at most.
constexpr std::uint64_t keySignature(std::string_view key) {
  if (key.empty()) return 0;
  return key.size() << 16 | static_cast<std::uint64_t>(static_cast<unsigned char>(key.front())) << 8 |
         static_cast<unsigned char>(key.back());
}

// The keys the reader takes from one kind of object. A key read from a reply finds the one
// key of the set it could be through a table indexed by its signature's hash, chosen when
// the program is compiled so that no two keys of the set share a slot.
template <std::size_t N>
struct KeySet {
  static constexpr std::size_t kSlotBits = 6;
  static constexpr std::uint8_t kEmpty = 0xFF;
  std::array<std::string_view, N> keys;
  std::array<std::uint64_t, N> signatures{};
  std::array<std::uint8_t, std::size_t{1} << kSlotBits> slots{};
  std::uint64_t multiplier = 0;

  static constexpr std::size_t slotOf(std::uint64_t signature, std::uint64_t multiplier) {
    return static_cast<std::size_t>((signature * multiplier) >> (64 - kSlotBits));
  }

  constexpr explicit KeySet(const std::array<std::string_view, N>& given) : keys(given) {
    for (std::size_t i = 0; i < N; ++i) signatures[i] = keySignature(keys[i]);
    // Odd multipliers in turn until one gives every key a slot of its own.
    std::uint64_t candidate = 0x9E3779B97F4A7C15ull;
    for (int attempt = 0; attempt < 4096 && multiplier == 0; ++attempt, candidate += 0x2545F4914F6CDD1Eull) {
      slots.fill(kEmpty);
      bool apart = true;
      for (std::size_t i = 0; i < N && apart; ++i) {
        auto& slot = slots[slotOf(signatures[i], candidate | 1)];
        apart = slot == kEmpty;
        slot = static_cast<std::uint8_t>(i);
      }
      if (apart) multiplier = candidate | 1;
    }
  }

  // The key's index in the set, or N. The keys are a few letters long: compared here letter
  // by letter rather than through a call to compare memory.
  std::size_t indexOf(std::string_view key) const {
    const std::uint64_t signature = keySignature(key);
    const std::uint8_t i = slots[slotOf(signature, multiplier)];
    if (i == kEmpty || signatures[i] != signature) return N;
    for (std::size_t at = 1; at + 1 < key.size(); ++at) {
      if (keys[i][at] != key[at]) return N;
    }
    return i;
  }
};

constexpr KeySet memberSet(memberKeys);
constexpr KeySet renditionSet(renditionKeys);
constexpr KeySet fieldSet(fieldKeys);
static_assert(memberSet.multiplier && renditionSet.multiplier && fieldSet.multiplier, "keys that share a signature");

// Type tests on the value objects of the general JSON reader.
struct ObjectJson {
  using Value = id;
  static bool isObject(const id& value) { return asA<NSDictionary>(value) != nullptr; }
  static bool isEmptyObject(const id& value) { return asA<NSDictionary>(value)->count() == 0; }
  template <std::size_t N>
  static void capture(const id& object, const KeySet<N>& keys, std::array<id, N>& out) {
    auto dictionary = asA<NSDictionary>(object);
    for (std::size_t i = 0; i < N; ++i) out[i] = dictionary->objectForKey(keys.keys[i]);
  }
  static id member(const id& object, std::string_view key) {
    auto dictionary = asA<NSDictionary>(object);
    return dictionary ? dictionary->objectForKey(key) : nullptr;
  }
  static std::optional<std::string_view> text(const id& value) {
    auto string = asA<NSString>(value);
    return string ? std::optional<std::string_view>(string->string()) : std::nullopt;
  }
  static std::optional<std::int64_t> integer(const id& value) { return ModelSupport::integer(value); }
  static std::optional<bool> flag(const id& value) { return ModelSupport::flag(value); }
  static std::optional<std::vector<std::string>> textList(const id& value) { return ModelSupport::textList(value); }
  static bool positive(const id& value) {
    auto number = asA<NSNumber>(value);
    return number && !number->isBool() && number->integerValue() > 0;
  }
  // The first element of a non-empty array whose every element is an object.
  static std::optional<id> firstOfObjects(const id& value) {
    auto array = asA<NSArray>(value);
    if (!array || array->count() == 0) return std::nullopt;
    for (const id& element : *array) {
      if (!asA<NSDictionary>(element)) return std::nullopt;
    }
    return array->firstObject();
  }
  // The first two elements of an array of at least two integers.
  static std::optional<NSSize> size(const id& value) {
    auto array = asA<NSArray>(value);
    if (!array || array->count() < 2) return std::nullopt;
    for (const id& element : *array) {
      if (!ModelSupport::integer(element)) return std::nullopt;
    }
    return NSSize{static_cast<double>(*ModelSupport::integer(array->objectAtIndex(0))),
                  static_cast<double>(*ModelSupport::integer(array->objectAtIndex(1)))};
  }
  static std::shared_ptr<FeatureInfo> feature(const id& value) {
    auto dictionary = asA<NSDictionary>(value);
    return dictionary ? FeatureInfo::initWithApiData(dictionary) : nullptr;
  }
  static std::shared_ptr<AdBadgeInfo> badge(const id& value) {
    auto dictionary = asA<NSDictionary>(value);
    return dictionary ? AdBadgeInfo::initWithApiData(dictionary) : nullptr;
  }
  static PlovexUser::Result user(const id& value) { return PlovexUser::initWithNewApiData(asA<NSDictionary>(value)); }
};

// The same tests on the parser's own document, where nothing is made until it is kept.
struct ElementJson {
  using Value = std::optional<JSONReader::Element>;
  using element_type = simdjson::dom::element_type;
  static bool is(const Value& value, element_type type) { return value && value->type() == type; }
  static bool isObject(const Value& value) { return is(value, element_type::OBJECT); }
  static bool isEmptyObject(const Value& value) {
    simdjson::dom::object object = value->get_object().value_unsafe();
    return object.begin() == object.end();
  }
  // A repeated key keeps its last value, as in a dictionary.
  template <std::size_t N>
  static void capture(const Value& object, const KeySet<N>& keys, std::array<Value, N>& out) {
    simdjson::dom::object fields = object->get_object().value_unsafe();
    for (auto field : fields) {
      if (auto i = keys.indexOf(field.key); i < N) out[i] = field.value;
    }
  }
  static Value member(const Value& object, std::string_view key) {
    Value found;
    if (!isObject(object)) return found;
    simdjson::dom::object fields = object->get_object().value_unsafe();
    for (auto field : fields) {
      if (field.key == key) found = field.value;
    }
    return found;
  }
  static std::optional<std::string_view> text(const Value& value) {
    if (!is(value, element_type::STRING)) return std::nullopt;
    return value->get_string().value_unsafe();
  }
  // What the value objects count as a whole number that fits 64 bits.
  static std::optional<std::int64_t> integer(const Value& value) {
    if (is(value, element_type::INT64)) return value->get_int64().value_unsafe();
    if (!is(value, element_type::DOUBLE)) return std::nullopt;
    const double real = value->get_double().value_unsafe();
    if (!std::isfinite(real) || std::trunc(real) != real || real < -9223372036854775808.0 ||
        real >= 9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(real);
  }
  static std::optional<bool> flag(const Value& value) {
    if (!is(value, element_type::BOOL)) return std::nullopt;
    return value->get_bool().value_unsafe();
  }
  static std::optional<std::vector<std::string>> textList(const Value& value) {
    if (!is(value, element_type::ARRAY)) return std::nullopt;
    simdjson::dom::array array = value->get_array().value_unsafe();
    std::vector<std::string> texts;
    texts.reserve(array.size());
    for (auto element : array) {
      if (element.type() != element_type::STRING) return std::nullopt;
      texts.emplace_back(element.get_string().value_unsafe());
    }
    return texts;
  }
  // A number whose integer part (fraction dropped, saturating) is above 0.
  static bool positive(const Value& value) {
    if (is(value, element_type::INT64)) return value->get_int64().value_unsafe() > 0;
    if (is(value, element_type::UINT64)) return static_cast<std::int64_t>(value->get_uint64().value_unsafe()) > 0;
    return is(value, element_type::DOUBLE) && value->get_double().value_unsafe() >= 1.0;
  }
  static std::optional<Value> firstOfObjects(const Value& value) {
    if (!is(value, element_type::ARRAY)) return std::nullopt;
    simdjson::dom::array array = value->get_array().value_unsafe();
    Value first;
    for (auto element : array) {
      if (element.type() != element_type::OBJECT) return std::nullopt;
      if (!first) first = element;
    }
    if (!first) return std::nullopt;
    return first;
  }
  static std::optional<NSSize> size(const Value& value) {
    if (!is(value, element_type::ARRAY)) return std::nullopt;
    std::array<std::int64_t, 2> numbers{};
    std::size_t count = 0;
    simdjson::dom::array array = value->get_array().value_unsafe();
    for (auto element : array) {
      auto number = integer(element);
      if (!number) return std::nullopt;
      if (count < 2) numbers[count] = *number;
      ++count;
    }
    if (count < 2) return std::nullopt;
    return NSSize{static_cast<double>(numbers[0]), static_cast<double>(numbers[1])};
  }
  // The notes of an object member, read as a dictionary of value objects would give them.
  static std::shared_ptr<FeatureInfo> feature(const Value& value) {
    if (!isObject(value)) return nullptr;
    return FeatureInfo::initWithTexts(text(member(value, FeatureInfo::APIResponseKeys::feature_text)),
                                      text(member(value, FeatureInfo::APIResponseKeys::button_link)),
                                      text(member(value, FeatureInfo::APIResponseKeys::button_text)));
  }
  static std::shared_ptr<AdBadgeInfo> badge(const Value& value) {
    using BadgeKeys = AdBadgeInfo::APIResponseKeys;
    if (!isObject(value)) return nullptr;
    std::optional<double> position;
    const Value number = member(value, BadgeKeys::position);
    if (is(number, element_type::INT64)) position = static_cast<double>(number->get_int64().value_unsafe());
    if (is(number, element_type::UINT64)) position = static_cast<double>(number->get_uint64().value_unsafe());
    if (is(number, element_type::DOUBLE)) position = number->get_double().value_unsafe();
    const Value info = member(value, BadgeKeys::assetinfo);
    return AdBadgeInfo::initWithValues(position, text(member(info, BadgeKeys::asset_name)),
                                       text(member(info, BadgeKeys::asset_extension)),
                                       text(member(info, BadgeKeys::urlbase)));
  }
  static PlovexUser::Result user(const Value& value) { return PlovexUser::sharedPosterWithNewApiData(*value); }
};

bool readsAsNumber(const std::string& text) {
  static const auto& formatter = *new auto(NSNumberFormatter::make());  // never destroyed: parsed on any thread
  return formatter->numberFromString(text) != nullptr;
}

// A text as a quoted literal: quotes, backslashes and control characters escaped.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escaped[12];
          std::snprintf(escaped, sizeof escaped, "\\u{%x}", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::shared_ptr<NSDictionary> textKeyedDictionary(const id& value) { return asA<NSDictionary>(value); }

// Guards the one-time making of an item's media dictionary from its kept text.
std::mutex mediaMutex;

}  // namespace

// The steps of the item reader, written once for both kinds of JSON value.
struct VornObjectReading {
  template <typename Json>
  static VornObject::Result read(const typename Json::Value& apiData, const VornObject::ReplyPlace& place) {
    using Error = VornObjectSerializationError;
    if (!Json::isObject(apiData) || Json::isEmptyObject(apiData)) return std::unexpected(Error::missing("id"));
    std::array<typename Json::Value, memberCount> members{};
    Json::capture(apiData, memberSet, members);
    auto identifier = remoteText(Json::text(members[id_]));
    if (!identifier) return std::unexpected(Error::missing("id"));
    auto first = Json::firstOfObjects(members[media]);
    if (!first) return std::unexpected(Error::missing("media"));
    std::array<typename Json::Value, renditionCount> renditions{};
    Json::capture(*first, renditionSet, renditions);
    // Each rendition's fields in one pass over it; a rendition that is no object has none.
    std::array<std::array<typename Json::Value, fieldCount>, renditionCount> fields{};
    for (std::size_t i = 0; i < renditionCount; ++i) {
      if (Json::isObject(renditions[i])) Json::capture(renditions[i], fieldSet, fields[i]);
    }
    auto renditionUrl = [&](Rendition rendition) { return remoteText(Json::text(fields[rendition][address])); };

    auto nonEmpty = [](const typename Json::Value& value) { return Json::isObject(value) && !Json::isEmptyObject(value); };
    auto tinyGifUrl = nonEmpty(renditions[tinygif]) ? renditionUrl(tinygif) : std::nullopt;
    if (!tinyGifUrl) return std::unexpected(Error::missing("tinygif"));
    auto gifUrl = nonEmpty(renditions[gif]) ? renditionUrl(gif) : std::nullopt;
    if (!gifUrl) return std::unexpected(Error::missing("gif"));

    auto item = makeShared<VornObject>();
    item->vid = *identifier;
    keepMedia(*item, *first, place);
    item->tinyGifUrl = *tinyGifUrl;
    item->gifUrl = *gifUrl;
    item->dims = Json::size(fields[gif][dims]);
    // The optional texts in one allocation; the MP4 address once for its three names.
    auto texts = SharedText::together(std::array<std::optional<std::string_view>, 8>{
        remoteText(Json::text(fields[tinygif][preview])), Json::text(members[title]), Json::text(members[url]),
        Json::text(members[itemurl]), Json::text(members[embed]), renditionUrl(tinymp4), renditionUrl(mp4),
        Json::text(members[source_id])});
    item->previewUrl = std::move(texts[0]);
    item->title = std::move(texts[1]);
    item->shortUrl = std::move(texts[2]);
    item->webpageUrl = std::move(texts[3]);
    item->htmlEmbedString = std::move(texts[4]);
    item->tinyMp4Url = std::move(texts[5]);
    item->mp4Url = std::move(texts[6]);
    item->avUrl = item->mp4Url;
    item->instagramUrl = item->mp4Url;
    item->advertisingSourceID = std::move(texts[7]);
    item->shareCount = Json::integer(members[shares]).value_or(0);
    if (auto list = Json::textList(members[tags])) item->tags = std::move(*list);
    item->hasAudio = Json::flag(members[hasaudio]).value_or(false);
    if (auto color = Json::text(members[bg_color])) item->background = colorFromHexString(*color);
    item->isSticker = Json::flag(members[sticker]).value_or(false);
    if (Json::isObject(members[user]) && Json::positive(Json::member(members[user], Keys::userid))) {
      if (auto poster = Json::user(members[user])) item->poster = *poster;
    }
    item->featureData = Json::feature(members[feature_info]);
    item->adBadgeData = Json::badge(members[ad_badge_info]);
    if (Json::isObject(members[metrics])) item->pixels = Json::textList(Json::member(members[metrics], Keys::pixels));
    return item;
  }

  static void keepMedia(VornObject& item, const id& first, const VornObject::ReplyPlace&) {
    item.mediaDictionary_ = asA<NSDictionary>(first);
  }
  // A reply that came compressed is kept as it came (a few hundred bytes an item, shared by
  // the page's items), to be expanded and read again when the dictionary is asked for; of
  // any other the member's text is kept.
  static void keepMedia(VornObject& item, const ElementJson::Value& first, const VornObject::ReplyPlace& place) {
    if (place.reply && place.reply->compressedSource()) {
      item.mediaReply_ = place.reply->compressedSource();
      item.mediaIndex_ = place.index;
    } else {
      item.mediaJson_ = JSONReader::text(*first);
    }
  }
};

VornObject::Result VornObject::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData) {
  return VornObjectReading::read<ObjectJson>(apiData, ReplyPlace{});
}

VornObject::Result VornObject::initWithNewApiData(const simdjson::dom::element& apiData, const ReplyPlace& place) {
  return VornObjectReading::read<ElementJson>(apiData, place);
}

VornObject::Result VornObject::initWithNewApiData(const simdjson::dom::element& apiData) {
  return VornObjectReading::read<ElementJson>(apiData, ReplyPlace{});
}

std::shared_ptr<VornObject> VornObject::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData,
                                                           std::shared_ptr<NSError>* error) {
  auto result = initWithNewApiData(apiData);
  if (result) return *result;
  if (error) *error = result.error().toNSError();
  return nullptr;
}

// --- Media

namespace {

// The first element of the "media" member of the item at `index` of the reply's "results", as
// the reader found it when the item was made (repeated keys count with their last value).
// The reply is kept compressed.
std::shared_ptr<NSDictionary> mediaFromReply(const NSData& compressed, std::size_t index) {
  std::shared_ptr<NSDictionary> media;
  auto expanded = Compression::gunzip(compressed.view(), NSJSONSerialization::maxInputLength, JSONReader::padding);
  if (!expanded) return media;
  const NSData& reply = **expanded;
  JSONReader::read(reply.view(), reply.capacity(), [&](const JSONReader::Document& document) {
    simdjson::dom::array results;
    simdjson::dom::element item;
    auto list = ElementJson::member(document.root, Keys::results);
    if (!list || list->get(results) != simdjson::SUCCESS || results.at(index).get(item) != simdjson::SUCCESS) return;
    if (auto first = ElementJson::firstOfObjects(ElementJson::member(item, Keys::media))) {
      media = asA<NSDictionary>(JSONReader::object(**first));
    }
  });
  return media;
}

std::shared_ptr<NSDictionary> mediaFrom(const std::shared_ptr<const NSData>& reply, std::size_t index,
                                        const SharedText& text) {
  std::shared_ptr<NSDictionary> media;
  if (reply) {
    media = mediaFromReply(*reply, index);
  } else if (text && !text->empty()) {
    auto made = NSJSONSerialization::JSONObjectWithBytes(*text);
    media = made ? asA<NSDictionary>(*made) : nullptr;
  }
  return media ? media : NSDictionary::make();
}

}  // namespace

// Made outside the lock: reading a reply again takes a while, and a second thread that makes
// the same dictionary meanwhile only finds the first one stored.
std::shared_ptr<NSDictionary> VornObject::mediaDictionary() const {
  std::unique_lock lock(mediaMutex);
  if (mediaDictionary_) return mediaDictionary_;
  auto reply = mediaReply_;
  SharedText text = mediaJson_;
  lock.unlock();
  auto made = mediaFrom(reply, mediaIndex_, text);
  lock.lock();
  if (!mediaDictionary_) {
    mediaDictionary_ = std::move(made);
    mediaReply_.reset();
    mediaJson_.reset();
  }
  return mediaDictionary_;
}

void VornObject::setMediaDictionary(std::shared_ptr<NSDictionary> media) {
  std::lock_guard lock(mediaMutex);
  mediaDictionary_ = std::move(media);
  mediaReply_.reset();
  mediaJson_.reset();
}

// Archiving leaves the kept reply or text as it is: an item saved once need not hold the tree
// after.
std::shared_ptr<NSDictionary> VornObject::mediaForArchive() const {
  std::unique_lock lock(mediaMutex);
  if (mediaDictionary_) return mediaDictionary_;
  auto reply = mediaReply_;
  SharedText text = mediaJson_;
  lock.unlock();
  return mediaFrom(reply, mediaIndex_, text);
}

// --- Derived properties

bool VornObject::hasValidSize() const { return dims && dims->width > 0 && dims->height > 0; }

bool VornObject::isVornPost() const { return readsAsNumber(vid); }

bool VornObject::isPromotedContent() const { return featureData && advertisingSourceID; }

bool VornObject::uploadedByQuorbUser() const { return poster && poster->userType == PlovexUserType::glimdeck; }

std::optional<std::string> VornObject::webUrl() const {
  if (shortUrl && !Unicode::hasPrefix(*shortUrl, "file://")) return shortUrl;
  if (Unicode::hasPrefix(gifUrl, "file://")) return std::nullopt;
  if (Unicode::hasPrefix(gifUrl, "http") || Unicode::hasSuffix(gifUrl, ".gif")) return gifUrl;
  return std::nullopt;
}

VornObjectSource VornObject::source() const {
  if (readsAsNumber(vid)) return VornObjectSource::plovex;
  if (Unicode::hasPrefix(vid, "file://")) return VornObjectSource::noWebsite;
  return VornObjectSource::otherWebsite;
}

// --- Archiving

void VornObject::encodeWithCoder(NSCoder& coder) const {
  coder.encodeObject(NSString::make(vid), Archive::vid);
  coder.encodeObject(NSString::make(gifUrl), Archive::gifurl);
  coder.encodeObject(NSString::make(tinyGifUrl), Archive::tinyGifUrl);
  coder.encodeObject(textOrNull(superTinyGifUrl), Archive::superTinyGifUrlKey);
  coder.encodeObject(textOrNull(mp4Url), Archive::mp4url);
  coder.encodeObject(textOrNull(avUrl), Archive::avurl);
  coder.encodeObject(textOrNull(shortUrl), Archive::shorturl);
  coder.encodeObject(textOrNull(previewUrl), Archive::previewUrl);
  coder.encodeObject(dims ? NSValue::valueWithSize(*dims) : nullptr, Archive::dimensions);
  coder.encodeObject(textOrNull(title), Archive::title);
  coder.encodeObject(ModelSupport::textListObject(tags), Archive::tags);
  coder.encodeObject(textOrNull(instagramUrl), Archive::instagramUrl);
  coder.encodeBool(isProcessing, Archive::isProcessing);
  coder.encodeObject(poster, Archive::poster);
  coder.encodeObject(textOrNull(webpageUrl), Archive::webpageurl);
  coder.encodeInt64(shareCount, Archive::shareCount);
  coder.encodeObject(mediaForArchive(), Archive::mediaDictionary);
  coder.encodeBool(hasAudio, Archive::hasaudio);
  coder.encodeBool(isSticker, Archive::sticker);
  coder.encodeObject(NSString::make(stickerSourceVid), Archive::stickerSourceVid);
  coder.encodeObject(textOrNull(tinyMp4Url), Archive::tinymp4);
  coder.encodeObject(textOrNull(htmlEmbedString), Archive::embed);
  coder.encodeObject(dateAddedToParentPack ? dateAddedToParentPack : NSDate::distantPast(),
                     Archive::dateAddedToParentPack);
  if (background) {
    if (auto data = NSKeyedArchiver::archivedDataWithRootObject(background)) coder.encodeObject(*data, Archive::bgcolor);
  }
  if (advertisingDataSingleSaveFlag) {
    if (featureData) coder.encodeObject(featureData->toDictionary(), Archive::feature_info);
    if (advertisingSourceID) coder.encodeObject(NSString::make(*advertisingSourceID), Archive::source_id);
    if (pixels) coder.encodeObject(ModelSupport::textListObject(*pixels), Archive::pixels);
    if (adBadgeData) coder.encodeObject(adBadgeData->toDictionary(), Archive::ad_badge_info);
  }
}

std::shared_ptr<VornObject> VornObject::initWithCoder(NSCoder& coder) {
  auto item = makeShared<VornObject>();
  auto text = [&](std::string_view key) { return ModelSupport::text(coder.decodeObjectForKey(key)); };
  auto vid = text(Archive::vid);
  auto gifUrl = text(Archive::gifurl);
  auto tinyGifUrl = text(Archive::tinyGifUrl);
  if (!vid || !gifUrl || !tinyGifUrl) return nullptr;
  item->vid = *vid;
  item->gifUrl = *gifUrl;
  item->tinyGifUrl = *tinyGifUrl;

  item->superTinyGifUrl = text(Archive::superTinyGifUrlKey);
  item->mp4Url = text(Archive::mp4url);
  item->avUrl = text(Archive::avurl);
  item->shortUrl = text(Archive::shorturl);
  item->previewUrl = text(Archive::previewUrl);
  if (auto size = asA<NSValue>(coder.decodeObjectForKey(Archive::dimensions)); size && size->holdsSize()) {
    item->dims = size->sizeValue();
  }
  item->title = text(Archive::title);
  item->instagramUrl = text(Archive::instagramUrl);
  item->tinyMp4Url = text(Archive::tinymp4);
  item->webpageUrl = text(Archive::webpageurl);

  item->isProcessing = coder.decodeBoolForKey(Archive::isProcessing);
  item->shareCount = coder.decodeInt64ForKey(Archive::shareCount);
  item->hasAudio = coder.decodeBoolForKey(Archive::hasaudio);
  item->isSticker = coder.decodeBoolForKey(Archive::sticker);

  // An address archived under several names is kept once.
  if (item->avUrl == item->mp4Url) item->avUrl = item->mp4Url;
  if (item->instagramUrl == item->mp4Url) item->instagramUrl = item->mp4Url;
  item->htmlEmbedString = text(Archive::embed);
  item->advertisingSourceID = text(Archive::source_id);
  item->pixels = ModelSupport::textList(coder.decodeObjectForKey(Archive::pixels));
  if (auto tags = ModelSupport::textList(coder.decodeObjectForKey(Archive::tags))) item->tags = std::move(*tags);

  if (auto data = asA<NSData>(coder.decodeObjectForKey(Archive::bgcolor))) {
    // A nested archive that does not read back as a colour leaves the background absent.
    if (auto color = NSKeyedUnarchiver::unarchiveObjectWithData(data)) item->background = asA<NSColor>(*color);
  }
  if (coder.containsValueForKey(Archive::poster)) {
    item->poster = asA<PlovexUser>(coder.decodeObjectForKey(Archive::poster));
  }
  if (auto media = textKeyedDictionary(coder.decodeObjectForKey(Archive::mediaDictionary))) {
    item->mediaDictionary_ = media;
  }
  if (auto sticker = text(Archive::stickerSourceVid)) item->stickerSourceVid = *sticker;
  if (auto date = asA<NSDate>(coder.decodeObjectForKey(Archive::dateAddedToParentPack))) {
    item->dateAddedToParentPack = date;
  }
  if (auto feature = textKeyedDictionary(coder.decodeObjectForKey(Archive::feature_info))) {
    item->featureData = FeatureInfo::initWithApiData(feature);
  }
  if (auto badge = textKeyedDictionary(coder.decodeObjectForKey(Archive::ad_badge_info))) {
    item->adBadgeData = AdBadgeInfo::initWithApiData(badge);
  }
  return item;
}

// --- Copying

std::shared_ptr<VornObject> VornObject::initWithCopyValuesFromVorn(const std::shared_ptr<VornObject>& source) {
  auto item = makeShared<VornObject>();
  if (source) item->copyValuesFromVorn(source);
  return item;
}

void VornObject::copyValuesFromVorn(const std::shared_ptr<VornObject>& source) {
  if (!source) return;
  vid = source->vid;
  superTinyGifUrl = source->superTinyGifUrl;
  gifUrl = source->gifUrl;
  mp4Url = source->mp4Url;
  avUrl = source->avUrl;
  shortUrl = source->shortUrl;
  poster = source->poster;  // shared, not duplicated
  title = source->title;
  dims = source->dims;
  background = source->background;  // shared, not duplicated
  previewUrl = source->previewUrl;
  tinyGifUrl = source->tinyGifUrl;
  tags = source->tags;
  instagramUrl = source->instagramUrl;
  shareCount = source->shareCount;
  htmlEmbedString = source->htmlEmbedString;
  dateAddedToParentPack = source->dateAddedToParentPack;
  isSticker = source->isSticker;
}

// --- Identity and description

bool VornObject::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto item = asA<VornObject>(other);
  return item && Unicode::canonicallyEqual(vid, item->vid);
}

std::size_t VornObject::hash() const { return stringHash(vid); }

std::string VornObject::description() const {
  auto orNil = [](const SharedText& text) { return text.value_or("nil"); };
  std::string tagsText = "[";
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (i > 0) tagsText += ", ";
    tagsText += quoted(tags[i]);
  }
  tagsText += "]";
  std::string text;
  text += "{\n    vid:" + vid + "\n";
  text += "    supertinygifurl:" + superTinyGifUrl.value_or("") + "\n";
  text += "    gifurl:" + gifUrl + "\n";
  text += "    mp4url:" + orNil(mp4Url) + "\n";
  text += "    avurl:" + orNil(avUrl) + "\n";
  text += "    shorturl:" + orNil(shortUrl) + "\n";
  text += "    title:" + orNil(title) + "\n";
  text += "    tags:" + tagsText + "\n";
  text += "    poster:" + (poster ? poster->description() : std::string("No poster"));
  text += "    tinyGifUrl:" + tinyGifUrl + "\n";
  text += "    previewUrl:" + orNil(previewUrl) + "\n";
  text += "    instagramUrl:" + orNil(instagramUrl) + "\n";
  text += "    shareCount:" + std::to_string(shareCount);
  return text;
}
