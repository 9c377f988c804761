#include "model/VornObject.h"

#include <cctype>
#include <cstdio>

#include "model/ModelSupport.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSCoder.h"
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
    if (std::tolower(static_cast<unsigned char>(text[i])) != scheme[i]) return false;
  }
  return true;
}

// A rendition's "url" when it is text that names no local file.
std::optional<std::string> renditionUrl(const std::shared_ptr<NSDictionary>& rendition) {
  if (!rendition) return std::nullopt;
  auto url = ModelSupport::text(rendition->objectForKey(Keys::url));
  if (url && namesLocalFile(*url)) return std::nullopt;
  return url;
}

std::optional<std::string> remoteText(const id& value) {
  auto text = ModelSupport::text(value);
  if (text && namesLocalFile(*text)) return std::nullopt;
  return text;
}

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

}  // namespace

VornObject::Result VornObject::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData) {
  std::shared_ptr<VornObject> item(new VornObject());
  if (!apiData || apiData->count() == 0) return std::unexpected(VornObjectSerializationError::missing("id"));
  auto identifier = remoteText(apiData->objectForKey(Keys::id));
  if (!identifier) return std::unexpected(VornObjectSerializationError::missing("id"));
  item->vid = *identifier;

  auto media = apiData->objectForKeyAs<NSArray>(Keys::media);
  if (!media || media->count() == 0) return std::unexpected(VornObjectSerializationError::missing("media"));
  for (const id& element : *media) {
    if (!asA<NSDictionary>(element)) return std::unexpected(VornObjectSerializationError::missing("media"));
  }
  auto first = asA<NSDictionary>(media->firstObject());
  item->mediaDictionary = first;

  auto tinygif = first->objectForKeyAs<NSDictionary>(Keys::tinygif);
  auto tinyGifUrl = tinygif && tinygif->count() > 0 ? renditionUrl(tinygif) : std::nullopt;
  if (!tinyGifUrl) return std::unexpected(VornObjectSerializationError::missing("tinygif"));
  item->tinyGifUrl = *tinyGifUrl;
  item->previewUrl = remoteText(tinygif->objectForKey(Keys::preview));

  auto gif = first->objectForKeyAs<NSDictionary>(Keys::gif);
  auto gifUrl = gif && gif->count() > 0 ? renditionUrl(gif) : std::nullopt;
  if (!gifUrl) return std::unexpected(VornObjectSerializationError::missing("gif"));
  item->gifUrl = *gifUrl;

  if (auto dims = gif->objectForKeyAs<NSArray>(Keys::dims); dims && dims->count() >= 2) {
    std::vector<std::int64_t> numbers;
    for (const id& element : *dims) {
      auto number = ModelSupport::integer(element);
      if (!number) break;
      numbers.push_back(*number);
    }
    if (numbers.size() == dims->count()) {
      item->dims = NSSize{static_cast<double>(numbers[0]), static_cast<double>(numbers[1])};
    }
  }

  item->title = ModelSupport::text(apiData->objectForKey(Keys::title));
  item->shortUrl = ModelSupport::text(apiData->objectForKey(Keys::url));
  item->webpageUrl = ModelSupport::text(apiData->objectForKey(Keys::itemurl));
  item->htmlEmbedString = ModelSupport::text(apiData->objectForKey(Keys::embed));
  item->tinyMp4Url = renditionUrl(first->objectForKeyAs<NSDictionary>(Keys::tinymp4));
  item->shareCount = ModelSupport::integer(apiData->objectForKey(Keys::shares)).value_or(0);
  item->tags = ModelSupport::textList(apiData->objectForKey(Keys::tags)).value_or(std::vector<std::string>{});
  item->hasAudio = ModelSupport::flag(apiData->objectForKey(Keys::hasaudio)).value_or(false);
  if (auto mp4 = renditionUrl(first->objectForKeyAs<NSDictionary>(Keys::mp4))) {
    item->mp4Url = mp4;
    item->avUrl = mp4;
    item->instagramUrl = mp4;
  }
  if (auto color = ModelSupport::text(apiData->objectForKey(Keys::bg_color))) {
    item->background = colorFromHexString(*color);
  }
  item->isSticker = ModelSupport::flag(apiData->objectForKey(Keys::sticker)).value_or(false);

  if (auto user = apiData->objectForKeyAs<NSDictionary>(Keys::user)) {
    auto userid = user->objectForKeyAs<NSNumber>(Keys::userid);
    if (userid && !userid->isBool() && userid->integerValue() > 0) {
      auto poster = PlovexUser::initWithNewApiData(user);
      if (poster) item->poster = *poster;
    }
  }
  if (auto feature = apiData->objectForKeyAs<NSDictionary>(Keys::feature_info)) {
    item->featureData = FeatureInfo::initWithApiData(feature);
  }
  item->advertisingSourceID = ModelSupport::text(apiData->objectForKey(Keys::source_id));
  if (auto badge = apiData->objectForKeyAs<NSDictionary>(Keys::ad_badge_info)) {
    item->adBadgeData = AdBadgeInfo::initWithApiData(badge);
  }
  if (auto metrics = apiData->objectForKeyAs<NSDictionary>(Keys::metrics)) {
    item->pixels = ModelSupport::textList(metrics->objectForKey(Keys::pixels));
  }
  return item;
}

std::shared_ptr<VornObject> VornObject::initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData,
                                                           std::shared_ptr<NSError>* error) {
  auto result = initWithNewApiData(apiData);
  if (result) return *result;
  if (error) *error = result.error().toNSError();
  return nullptr;
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
  using ModelSupport::textOrNull;
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
  coder.encodeObject(mediaDictionary ? mediaDictionary : NSDictionary::make(), Archive::mediaDictionary);
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
  std::shared_ptr<VornObject> item(new VornObject());
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
    item->mediaDictionary = media;
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
  std::shared_ptr<VornObject> item(new VornObject());
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
  auto orNil = [](const std::optional<std::string>& text) { return text.value_or("nil"); };
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
