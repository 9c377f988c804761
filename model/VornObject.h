#pragma once
// One posted GIF of the service: identifiers, media renditions and their addresses, size,
// sharing texts, poster and sponsored-content data. Built from the service's JSON, from a
// local GIF file, from a keyed archive or as a copy of another item.
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/PlovexUser.h"
#include "model/AdBadgeInfo.h"
#include "model/FeatureInfo.h"
#include "model/SharedText.h"
#include "model/VornObjectSerializationError.h"
#include "platform/appkit/NSColor.h"
#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSURL.h"

namespace simdjson::dom {
class element;
}

// Where an item comes from.
enum class VornObjectSource { plovex, otherWebsite, noWebsite };

class VornObject : public NSObject, public NSCoding {
 public:
  struct SerializationKeys {
    static constexpr std::string_view vid = "vid";
    static constexpr std::string_view gifurl = "gifurl";
    static constexpr std::string_view tinyGifUrl = "tinyGifUrl";
    static constexpr std::string_view superTinyGifUrlKey = "superTinyGifUrlKey";
    static constexpr std::string_view dimensions = "dimensions";
    static constexpr std::string_view title = "title";
    static constexpr std::string_view tinymp4 = "tinymp4";
    static constexpr std::string_view webpageurl = "webpageurl";
    static constexpr std::string_view isProcessing = "isProcessing";
    static constexpr std::string_view shareCount = "shareCount";
    static constexpr std::string_view hasaudio = "hasaudio";
    static constexpr std::string_view sticker = "sticker";
    static constexpr std::string_view embed = "embed";
    static constexpr std::string_view tags = "tags";
    static constexpr std::string_view bgcolor = "bgcolor";
    static constexpr std::string_view mediaDictionary = "mediaDictionary";
    static constexpr std::string_view mp4url = "mp4url";
    static constexpr std::string_view avurl = "avurl";
    static constexpr std::string_view shorturl = "shorturl";
    static constexpr std::string_view previewUrl = "previewUrl";
    static constexpr std::string_view instagramUrl = "instagramUrl";
    static constexpr std::string_view poster = "poster";
    static constexpr std::string_view stickerSourceVid = "stickerSourceVid";
    static constexpr std::string_view dateAddedToParentPack = "dateAddedToParentPack";
    static constexpr std::string_view pixels = "pixels";
    static constexpr std::string_view ad_badge_info = "ad_badge_info";
    static constexpr std::string_view source_id = "source_id";
    static constexpr std::string_view feature_info = "feature_info";
  };

  struct ApiJsonKeys {
    static constexpr std::string_view user = "user";
    static constexpr std::string_view userid = "userid";
    static constexpr std::string_view id = "id";
    static constexpr std::string_view shares = "shares";
    static constexpr std::string_view title = "title";
    static constexpr std::string_view url = "url";
    static constexpr std::string_view itemurl = "itemurl";
    static constexpr std::string_view tinygif = "tinygif";
    static constexpr std::string_view preview = "preview";
    static constexpr std::string_view gif = "gif";
    static constexpr std::string_view dims = "dims";
    static constexpr std::string_view mp4 = "mp4";
    static constexpr std::string_view bg_color = "bg_color";
    static constexpr std::string_view results = "results";
    static constexpr std::string_view media = "media";
    static constexpr std::string_view embed = "embed";
    static constexpr std::string_view tinymp4 = "tinymp4";
    static constexpr std::string_view tags = "tags";
    static constexpr std::string_view hasaudio = "hasaudio";
    static constexpr std::string_view sticker = "sticker";
    static constexpr std::string_view metrics = "metrics";
    static constexpr std::string_view pixels = "pixels";
    static constexpr std::string_view ad_badge_info = "ad_badge_info";
    static constexpr std::string_view source_id = "source_id";
    static constexpr std::string_view feature_info = "feature_info";
  };

  struct Constants {
    static constexpr std::string_view key = "key";
    static constexpr std::string_view postEndpoint = "/v1/post";
  };

  using Result = std::expected<std::shared_ptr<VornObject>, VornObjectSerializationError>;
  // A local initialiser fails with the record's error or with the file manager's own.
  using LocalFileError = std::variant<VornObjectSerializationError, std::shared_ptr<NSError>>;
  using LocalResult = std::expected<std::shared_ptr<VornObject>, LocalFileError>;

  // --- Initialisers
  // One item object of the service's JSON.
  static Result initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData);
  // Where an item read from a reply lies in it: the reply's bytes and the item's index in the
  // reply's top-level "results" array.
  struct ReplyPlace {
    std::shared_ptr<const NSData> reply;
    std::size_t index = 0;
  };
  // The same read straight from a parsed document (JSONReader), without value objects. An
  // item given its place in a reply that came compressed keeps the compressed reply (shared,
  // never copied) and reads its "media" member from it again when its dictionary is asked
  // for; otherwise the member is kept as text.
  static Result initWithNewApiData(const simdjson::dom::element& apiData, const ReplyPlace& place);
  static Result initWithNewApiData(const simdjson::dom::element& apiData);
  // The same, reporting a failure as a platform error in `error` when one is given.
  static std::shared_ptr<VornObject> initWithNewApiData(const std::shared_ptr<NSDictionary>& apiData,
                                                        std::shared_ptr<NSError>* error);
  // Nothing when "vid", "gifurl" or "tinyGifUrl" is not text.
  static std::shared_ptr<VornObject> initWithCoder(NSCoder& coder);
  // A plain item with the copy field set of `source`.
  static std::shared_ptr<VornObject> initWithCopyValuesFromVorn(const std::shared_ptr<VornObject>& source);
  // An item identified by a local file; never fails.
  static std::shared_ptr<VornObject> initWithLocalFileUrl(const std::shared_ptr<NSURL>& fileUrl,
                                                          std::optional<NSSize> size,
                                                          std::shared_ptr<PlovexUser> poster,
                                                          bool boostedFollowerContent);
  // Copies a GIF file into a new private file of the GIF folder: a file that readLocalGif
  // takes. It reads the whole file: away from the main thread for a file the user chose.
  static LocalResult initWithCopyFromLocalPath(const std::shared_ptr<NSURL>& sourceUrl);
  // Writes the bytes into a new private file of the GIF folder (the bytes are not tested).
  static LocalResult initWithLocalGifImageData(const std::shared_ptr<NSData>& data);

  // Why a GIF brought in from the desktop is not taken (notSaved: the GIF folder did not
  // take its copy).
  enum class LocalGifRefusal { missing, folder, unreadable, tooLarge, notGif, notSaved };
  // A GIF file read for upload: its size is looked at first (at most
  // InputLimits::uploadBytes), then the bytes are read and must decode as a GIF (its
  // records and its first frame). Reads and decodes on the calling thread.
  static std::expected<std::shared_ptr<NSData>, LocalGifRefusal> readLocalGif(const std::string& path);
  // The same test for bytes offered as a GIF (a dropped image); none when they pass.
  static std::optional<LocalGifRefusal> checkLocalGif(const std::shared_ptr<NSData>& bytes);
  // Asks the service for one post; the callback runs exactly once, with nothing on any
  // failure (at once on the caller's thread for an identifier that is no number, else on
  // the URL session's queue).
  static void getVornDataForIdentifier(const std::string& identifier,
                                       std::function<void(std::shared_ptr<VornObject>)> callback);

  // --- Stored fields
  std::string vid;
  std::string gifUrl;
  std::string tinyGifUrl;
  std::int64_t shareCount = 0;
  std::vector<std::string> tags;
  bool hasAudio = false;
  bool isSticker = false;
  std::string stickerSourceVid = "-1";
  std::shared_ptr<NSDate> dateAddedToParentPack = NSDate::distantPast();
  bool isProcessing = false;
  bool boostedFollowerContent = false;
  bool advertisingDataSingleSaveFlag = false;
  // The optional texts are shared by copies: an item read from the service keeps its MP4
  // address once for its three names.
  SharedText title;
  std::shared_ptr<PlovexUser> poster;
  std::optional<NSSize> dims;
  SharedText htmlEmbedString;
  std::shared_ptr<NSColor> background;
  SharedText mp4Url;
  SharedText tinyMp4Url;
  SharedText shortUrl;
  SharedText avUrl;
  SharedText previewUrl;
  SharedText instagramUrl;
  SharedText webpageUrl;
  SharedText superTinyGifUrl;
  SharedText advertisingSourceID;
  std::optional<std::vector<std::string>> pixels;
  std::shared_ptr<AdBadgeInfo> adBadgeData;
  std::shared_ptr<FeatureInfo> featureData;

  // Every rendition of the item, keyed by format name (empty by default). Only archiving
  // and a few readers look at it, so an item read from JSON keeps the member's text and
  // makes the dictionary when asked.
  std::shared_ptr<NSDictionary> mediaDictionary() const;
  void setMediaDictionary(std::shared_ptr<NSDictionary> media);

  // --- Derived properties
  bool hasValidSize() const;
  bool isVornPost() const;
  bool isPromotedContent() const;
  bool uploadedByQuorbUser() const;
  std::optional<std::string> webUrl() const;
  VornObjectSource source() const;
  // The application group's container folder, created when reported missing; nothing
  // when it cannot be had.
  std::shared_ptr<NSURL> saveDirectoryUrl() const;

  // --- Operations
  void encodeWithCoder(NSCoder& coder) const override;
  // Overwrites the copy field set with the source's values; the other fields stay.
  void copyValuesFromVorn(const std::shared_ptr<VornObject>& source);
  void setProcessingRemotely(bool processing) { isProcessing = processing; }
  // Equal by `vid`, canonically equivalent texts counting as equal.
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override;
  GLIMDECK_OBJECT(VornObject)

 protected:
  VornObject() = default;

 private:
  friend struct VornObjectReading;
  // The dictionary for an archive: the stored one, or one made afresh from the reply or text.
  std::shared_ptr<NSDictionary> mediaForArchive() const;

  mutable std::shared_ptr<NSDictionary> mediaDictionary_;
  // While no dictionary has been made: the compressed reply and place the "media" member is
  // read from again, or the member's JSON text.
  mutable std::shared_ptr<const NSData> mediaReply_;
  std::size_t mediaIndex_ = 0;
  mutable SharedText mediaJson_;
};
