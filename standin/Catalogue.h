#pragma once
// The stand-in's generated catalogue of GIF items, users and media. Everything is derived
// from a seed, so two catalogues made from the same seed are identical; media bytes are
// made on request and always come out the same.
//
// Media live under "/media/": "/media/<id>/<format>.gif|mp4" (formats "gif", "tinygif",
// "nanogif", "mp4", "loopedmp4", "tinymp4"; "tinymp4" is a real playable clip, the other
// MP4s only look like one), "/media/<id>/preview.gif",
// "/media/sized/<bytes>.gif|mp4" (a file of exactly that size), "/media/avatars/<userid>.gif",
// "/media/badges/<name>.gif" and "/media/pixel/<id>/<n>.gif". Any of them with "chunked=1"
// in the query is sent without Content-Length.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "standin/GifMaker.h"

struct StandinRequest;
struct StandinResponse;

struct CatalogueUser {
  std::int64_t userid = 0;
  std::string username;
  std::string tagline;
};

struct CatalogueItem {
  std::string id;  // decimal digits
  std::string title;
  std::vector<std::string> tags;
  std::int64_t shares = 0;
  std::uint32_t rgb = 0;  // background colour
  int width = 0;          // pixel size of the full-size GIF
  int height = 0;
  int frames = 0;
  bool hasAudio = false;
  bool sticker = false;
  std::optional<std::size_t> user;  // index into Catalogue::users()
  // Sponsored content: present on a few items (and, alone, on a few more).
  std::optional<std::string> sourceId;
  std::vector<std::string> pixelPaths;
  std::optional<int> badgePosition;  // 0...6
  std::optional<std::string> featureText;
  std::optional<std::string> featureLink;  // a path on the stand-in, or "@username"
  std::optional<std::string> featureButton;

  std::string bgColor() const;  // "#rrggbb"
  bool sponsored() const { return sourceId.has_value(); }
};

class Catalogue : public NSObject {
 public:
  static constexpr std::uint64_t defaultSeed = 20261207;
  static constexpr std::size_t defaultItemCount = 300;
  static constexpr std::size_t maxPageSize = 50;
  static constexpr std::size_t defaultPageSize = 20;
  // The formats of an item's renditions, in the order of its "media" object.
  static const std::vector<std::string>& formats();

  // `baseURL` is where the media are served ("http://127.0.0.1:8765"), without a slash at
  // the end.
  static std::shared_ptr<Catalogue> make(std::uint64_t seed = defaultSeed, std::string baseURL = "http://127.0.0.1",
                                         std::size_t itemCount = defaultItemCount);
  std::string className() const override { return "Catalogue"; }

  std::uint64_t seed() const { return seed_; }
  const std::string& baseURL() const { return baseURL_; }
  const std::vector<CatalogueItem>& items() const { return items_; }
  const std::vector<CatalogueUser>& users() const { return users_; }
  const CatalogueItem* item(std::string_view id) const;

  // Items whose title and tags hold every word of the query, words compared without case
  // and without a plural "s" ("cats" finds cat GIFs); every item for an empty query.
  std::vector<const CatalogueItem*> search(std::string_view query) const;

  // The JSON object of one item, as the service sends it.
  std::shared_ptr<NSDictionary> itemObject(const CatalogueItem& item) const;
  std::shared_ptr<NSDictionary> userObject(const CatalogueUser& user) const;
  std::string itemJson(const CatalogueItem& item) const;
  // One page of a search: {"results": [...], "next": "<pos of the next page>"}, "next" being
  // "" after the last page. `pos` is the decimal offset of the page ("" for the first);
  // `limit` is clamped to 1...maxPageSize (0 means defaultPageSize). A route answering
  // paged requests must not pass on a "pos" parameter that is present but empty: clients
  // send that after the last page, and it asks for the end (an offset past the results,
  // which gives an empty page), not for the first page again.
  std::string searchPageJson(std::string_view query, std::string_view pos, std::size_t limit) const;

  // Posts by identifier: {"results": [...]} with the items of the comma-separated ids that
  // exist, in the order asked.
  std::string postsJson(std::string_view ids) const;
  // Tag lists: {"tags": [{"name", "image", "path", "searchterm", ...}]}, every value a string,
  // for the kinds "featured", "trending", "explore" and "emoji" (emoji tags carry
  // "character"); an unknown kind gives an empty list.
  std::string tagsJson(std::string_view type) const;
  // Related terms and corrections of a term: {"results": {"<term>": [{"tag", "image"}...],
  // "corrections": {"<corrected term>": "<image URL>"}}}; a correction is offered only for a
  // term that finds nothing.
  std::string similarJson(std::string_view term) const;
  // Terms that begin with the prefix (without regard to ASCII case): {"results": [...]}.
  std::string suggestJson(std::string_view prefix) const;
  // Every tag of the catalogue, most used first.
  const std::vector<std::string>& vocabulary() const { return vocabulary_; }

  // The exact byte size of a rendition ("gif", "tinygif"...), as the item's JSON states it.
  std::size_t mediaSize(const CatalogueItem& item, std::string_view format) const;
  // The pixel size of a rendition.
  std::pair<int, int> mediaDims(const CatalogueItem& item, std::string_view format) const;
  std::string mediaURL(const CatalogueItem& item, std::string_view format) const;
  // The file behind a "/media/..." path, or nothing for a path that names no file.
  std::optional<GifMaker::PaddedFile> mediaFile(std::string_view path) const;
  // Answers a request for a "/media/..." path: the file with its length (or in chunks when
  // the query has "chunked=1"), or 404.
  void serveMedia(const StandinRequest& request, StandinResponse& response) const;

 private:
  Catalogue(std::uint64_t seed, std::string baseURL, std::size_t itemCount);
  GifMaker::Look lookFor(const CatalogueItem& item, std::string_view format) const;
  // The item's real "tinymp4" clip, made on first request and kept.
  std::expected<std::string, std::string> tinyMovie(const CatalogueItem& item) const;

  std::uint64_t seed_;
  std::string baseURL_;
  std::vector<CatalogueUser> users_;
  std::vector<CatalogueItem> items_;
  std::vector<std::string> vocabulary_;
  mutable std::mutex moviesMutex_;
  mutable std::map<std::string, std::string> movies_;
};
