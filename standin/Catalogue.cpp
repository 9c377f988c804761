#include "standin/Catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "standin/MovieMaker.h"
#include "standin/StandinRequest.h"
#include "standin/StandinResponse.h"
#include "standin/TextHelpers.h"

using standin::text;

namespace {

constexpr std::array kAdjectives{"Happy", "Sleepy", "Angry", "Excited", "Confused", "Dancing", "Tiny",   "Giant",
                                 "Spooky", "Sparkly", "Grumpy", "Jolly",   "Sneaky",   "Brave",   "Lazy",   "Fancy",
                                 "Wobbly", "Cosmic", "Soggy",  "Fluffy",  "Shiny",    "Dizzy",   "Silly",  "Crème"};
constexpr std::array kNouns{"Cat",    "Dog",   "Otter", "Panda", "Penguin", "Robot",  "Pizza",  "Banana",
                            "Wizard", "Ghost", "Dragon", "Llama", "Frog",    "Turtle", "Cactus", "Piñata",
                            "Sloth",  "Koala", "Donut", "Taco",  "Unicorn", "Hamster", "Owl",   "Goose"};
constexpr std::array kVerbs{"Dance", "Wave",  "Spin",  "Jump",  "Nap",   "Sneeze", "Cheer", "Facepalm",
                            "Shrug", "Wink",  "Laugh", "Cry",   "Clap",  "Run",    "Hug",   "Yawn"};
constexpr std::array kGenericTags{"reaction", "funny", "love", "wow", "yes", "no", "party", "mood",
                                  "happy birthday", "thank you", "good morning", "café"};
constexpr std::array kUsernames{"mossy_otter", "pixelpanda", "gifwizard", "loopqueen", "zolto_daily", "moodboard"};
constexpr std::array kTaglines{"Loops all day", "Made with love", "Frames per second enthusiast",
                               "Official account", "", "Reaction specialist"};

constexpr std::size_t kMaxSizedMedia = std::size_t{1} << 31;
// Room for a real clip's headers in the stated size of a "tinymp4".
constexpr std::size_t kMovieHeadroom = 16384;

// splitmix64: small, fast and the same on every platform, unlike the standard engines'
// distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }

 private:
  std::uint64_t state_;
};

// A stable number for a piece of text, given the catalogue's seed (FNV-1a, then mixed).
std::uint64_t mix(std::uint64_t seed, std::string_view a, std::string_view b = {}) {
  std::uint64_t hash = 0xcbf29ce484222325ull ^ seed;
  for (std::string_view part : {a, std::string_view("/"), b}) {
    for (unsigned char c : part) hash = (hash ^ c) * 0x100000001b3ull;
  }
  return Random(hash).next();
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string slugOf(std::string_view title) {
  std::string slug;
  for (char c : lowered(title)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) slug.push_back(c);
    else if (!slug.empty() && slug.back() != '-') slug.push_back('-');
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug;
}

std::optional<std::size_t> decimal(std::string_view text, std::size_t limit) {
  std::size_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > limit) return std::nullopt;
  return value;
}

bool isGifFormat(std::string_view format) { return format == "gif" || format == "tinygif" || format == "nanogif"; }

id integer(std::int64_t value) { return NSNumber::numberWithInteger(value); }

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  while (true) {
    auto at = text.find(separator);
    pieces.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

// Percent-encoding of a query value: everything but unreserved characters.
std::string queryEncoded(std::string_view value) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string jsonText(const id& object) { return NSJSONSerialization::stringWithJSONObject(object).value_or("{}"); }

GifMaker::PaddedFile exactly(const GifMaker::Look& look) {
  return *GifMaker::padded(look, GifMaker::animated(look).size());
}

}  // namespace

std::string CatalogueItem::bgColor() const {
  static constexpr char hex[] = "0123456789abcdef";
  std::string colour = "#";
  for (int shift = 20; shift >= 0; shift -= 4) colour.push_back(hex[(rgb >> shift) & 0xf]);
  return colour;
}

const std::vector<std::string>& Catalogue::formats() {
  static const std::vector<std::string> names{"gif", "tinygif", "nanogif", "mp4", "loopedmp4", "tinymp4"};
  return names;
}

std::shared_ptr<Catalogue> Catalogue::make(std::uint64_t seed, std::string baseURL, std::size_t itemCount) {
  return std::shared_ptr<Catalogue>(new Catalogue(seed, std::move(baseURL), itemCount));
}

Catalogue::Catalogue(std::uint64_t seed, std::string baseURL, std::size_t itemCount)
    : seed_(seed), baseURL_(std::move(baseURL)) {
  while (!baseURL_.empty() && baseURL_.back() == '/') baseURL_.pop_back();
  Random random(seed);
  for (std::size_t u = 0; u < kUsernames.size(); ++u) {
    users_.push_back({static_cast<std::int64_t>(100000 + u * 100000 + random.below(90000)), kUsernames[u], kTaglines[u]});
  }
  std::size_t sponsors = 0;
  for (std::size_t i = 0; i < itemCount; ++i) {
    CatalogueItem item;
    item.id = std::to_string(8'000'000'000ull + i * 10'000 + random.below(10'000));
    std::string_view adjective = kAdjectives[random.below(kAdjectives.size())];
    std::string_view noun = kNouns[random.below(kNouns.size())];
    std::string_view verb = kVerbs[random.below(kVerbs.size())];
    item.title = std::string(adjective) + " " + std::string(noun) + " " + std::string(verb);
    item.tags = {lowered(noun), lowered(verb), lowered(adjective)};
    for (auto extra = random.below(3); extra > 0; --extra) {
      std::string tag = kGenericTags[random.below(kGenericTags.size())];
      if (std::ranges::find(item.tags, tag) == item.tags.end()) item.tags.push_back(tag);
    }
    item.shares = static_cast<std::int64_t>(random.below(250'000));
    item.rgb = static_cast<std::uint32_t>(random.next() & 0xffffff);
    item.width = 120 + static_cast<int>(random.below(201));
    item.height = 90 + static_cast<int>(random.below(231));
    item.frames = 2 + static_cast<int>(random.below(4));
    item.hasAudio = random.below(10) == 0;
    item.sticker = random.below(12) == 0;
    if (random.below(10) < 6) item.user = random.below(users_.size());
    if (i % 37 == 5) {
      // A sponsored item: tracking id, view pixels, badge and feature note.
      std::size_t k = sponsors++;
      item.sourceId = "sponsor-" + std::to_string(1000 + k);
      item.pixelPaths = {"/media/pixel/" + item.id + "/0.gif", "/media/pixel/" + item.id + "/1.gif"};
      item.badgePosition = 1 + static_cast<int>(k % 6);
      item.featureText = "Sponsored by Brand " + std::to_string(k + 1);
      item.featureLink = k % 2 == 0 ? "/promo/" + std::to_string(k + 1) : "@" + std::string(kUsernames[k % kUsernames.size()]);
      item.featureButton = k % 3 == 2 ? std::optional<std::string>() : "Learn more";
    } else if (i % 53 == 11) {
      // A feature note without a sponsor: not promoted content.
      item.featureText = "Featured today";
      item.featureButton = "See more";
      item.featureLink = "/featured/" + item.id;
    } else if (i % 61 == 17) {
      // A tracking id without a feature note: not promoted content either.
      item.sourceId = "tracked-" + item.id;
    }
    items_.push_back(std::move(item));
  }
  std::vector<std::pair<std::string, std::size_t>> counts;
  for (const auto& item : items_) {
    for (const auto& tag : item.tags) {
      auto found = std::ranges::find_if(counts, [&](const auto& c) { return c.first == tag; });
      if (found == counts.end()) counts.emplace_back(tag, 1);
      else ++found->second;
    }
  }
  std::ranges::stable_sort(counts, [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  for (auto& [tag, count] : counts) vocabulary_.push_back(std::move(tag));
}

const CatalogueItem* Catalogue::item(std::string_view id) const {
  for (const auto& candidate : items_) {
    if (candidate.id == id) return &candidate;
  }
  return nullptr;
}

namespace {

// The words of a text as a search compares them: runs of letters and digits (bytes past
// ASCII count as letters, so "piñata" stays one word), without case, and without a plural
// "s" ("cats" and "cat" are one word).
std::vector<std::string> searchWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  auto finish = [&] {
    if (word.size() > 2 && word.back() == 's' && word[word.size() - 2] != 's') word.pop_back();
    if (!word.empty()) words.push_back(std::move(word));
    word.clear();
  };
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || byte >= 0x80) {
      word += static_cast<char>(std::tolower(byte));
    } else {
      finish();
    }
  }
  finish();
  return words;
}

}  // namespace

std::vector<const CatalogueItem*> Catalogue::search(std::string_view query) const {
  const auto wanted = searchWords(query);
  std::vector<const CatalogueItem*> found;
  for (const auto& item : items_) {
    auto words = searchWords(item.title);
    for (const auto& tag : item.tags) std::ranges::move(searchWords(tag), std::back_inserter(words));
    bool all = std::ranges::all_of(wanted, [&](const std::string& w) { return std::ranges::find(words, w) != words.end(); });
    if (all) found.push_back(&item);
  }
  return found;
}

GifMaker::Look Catalogue::lookFor(const CatalogueItem& item, std::string_view format) const {
  GifMaker::Look look{.width = item.width, .height = item.height, .frames = item.frames, .rgb = item.rgb, .loop = true};
  if (format == "tinygif" || format == "tinymp4" || format == "preview") {
    look.width = std::max(1, item.width / 2);
    look.height = std::max(1, item.height / 2);
  } else if (format == "nanogif") {
    look.width = std::max(1, item.width / 4);
    look.height = std::max(1, item.height / 4);
  }
  if (format == "preview") {
    look.frames = 1;
    look.loop = false;
  }
  return look;
}

std::pair<int, int> Catalogue::mediaDims(const CatalogueItem& item, std::string_view format) const {
  auto look = lookFor(item, format);
  return {look.width, look.height};
}

std::size_t Catalogue::mediaSize(const CatalogueItem& item, std::string_view format) const {
  auto look = lookFor(item, format);
  std::uint64_t extra = mix(seed_, item.id, format) % 2048;
  if (isGifFormat(format)) return GifMaker::sizeBound(look) + extra;
  if (format == "preview") return GifMaker::animated(look).size();
  std::size_t pixels = static_cast<std::size_t>(look.width) * static_cast<std::size_t>(look.height);
  // The real clip stays well under this (its file is padded up to it).
  if (format == "tinymp4") return kMovieHeadroom + pixels * static_cast<std::size_t>(look.frames) / 6 + extra + 8;
  std::size_t size = 32 + pixels * static_cast<std::size_t>(look.frames) / 6 + extra;
  return format == "loopedmp4" ? size * 3 : size;
}

std::string Catalogue::mediaURL(const CatalogueItem& item, std::string_view format) const {
  std::string_view extension = isGifFormat(format) || format == "preview" ? "gif" : "mp4";
  return baseURL_ + "/media/" + item.id + "/" + std::string(format) + "." + std::string(extension);
}

std::shared_ptr<NSDictionary> Catalogue::userObject(const CatalogueUser& user) const {
  std::string avatar = baseURL_ + "/media/avatars/" + std::to_string(user.userid) + ".gif";
  auto object = NSDictionary::make({{"userid", integer(user.userid)},
                                    {"username", text(user.username)},
                                    {"avatars", NSDictionary::make({{"256", text(avatar)}, {"64", text(avatar)}})}});
  if (!user.tagline.empty()) object->setObject(text(user.tagline), "tagline");
  return object;
}

std::shared_ptr<NSDictionary> Catalogue::itemObject(const CatalogueItem& item) const {
  auto media = NSDictionary::make();
  std::string preview = mediaURL(item, "preview");
  for (const auto& format : formats()) {
    auto [width, height] = mediaDims(item, format);
    media->setObject(NSDictionary::make({{"url", text(mediaURL(item, format))},
                                         {"dims", NSArray::make({integer(width), integer(height)})},
                                         {"size", integer(static_cast<std::int64_t>(mediaSize(item, format)))},
                                         {"preview", text(preview)}}),
                     format);
  }
  auto tags = NSArray::make();
  for (const auto& tag : item.tags) tags->addObject(text(tag));
  std::string shortURL = baseURL_ + "/g/" + item.id;
  auto [width, height] = mediaDims(item, "gif");
  auto object = NSDictionary::make({
      {"id", text(item.id)},
      {"title", text(item.title)},
      {"tags", tags},
      {"shares", integer(item.shares)},
      {"bg_color", text(item.bgColor())},
      {"url", text(shortURL)},
      {"itemurl", text(baseURL_ + "/view/" + slugOf(item.title) + "-" + item.id)},
      {"embed", text("<div class=\"zolto-embed\" data-postid=\"" + item.id + "\"><iframe src=\"" + baseURL_ + "/embed/" +
                     item.id + "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
                     "\" frameborder=\"0\" allowfullscreen></iframe></div>")},
      {"hasaudio", NSNumber::numberWithBool(item.hasAudio)},
      {"sticker", NSNumber::numberWithBool(item.sticker)},
      {"media", NSArray::make({media})},
  });
  if (item.user) object->setObject(userObject(users_[*item.user]), "user");
  if (item.sourceId) object->setObject(text(*item.sourceId), "source_id");
  if (!item.pixelPaths.empty()) {
    auto pixels = NSArray::make();
    for (const auto& path : item.pixelPaths) pixels->addObject(text(baseURL_ + path));
    object->setObject(NSDictionary::make({{"pixels", pixels}}), "metrics");
  }
  if (item.badgePosition) {
    object->setObject(NSDictionary::make({{"position", integer(*item.badgePosition)},
                                          {"assetinfo", NSDictionary::make({{"asset_name", text("adbadge")},
                                                                             {"asset_extension", text("gif")},
                                                                             {"urlbase", text(baseURL_ + "/media/badges/")}})}}),
                      "ad_badge_info");
  }
  if (item.featureText || item.featureLink || item.featureButton) {
    auto feature = NSDictionary::make();
    if (item.featureText) feature->setObject(text(*item.featureText), "feature_text");
    if (item.featureLink) {
      feature->setObject(text(item.featureLink->starts_with("@") ? *item.featureLink : baseURL_ + *item.featureLink),
                         "button_link");
    }
    if (item.featureButton) feature->setObject(text(*item.featureButton), "button_text");
    object->setObject(feature, "feature_info");
  }
  return object;
}

std::string Catalogue::itemJson(const CatalogueItem& item) const {
  return jsonText(itemObject(item));
}

std::string Catalogue::postsJson(std::string_view ids) const {
  auto results = NSArray::make();
  for (auto one : split(ids, ',')) {
    if (const auto* found = item(one)) results->addObject(itemObject(*found));
  }
  return jsonText(NSDictionary::make({{"results", results}}));
}

std::string Catalogue::tagsJson(std::string_view type) const {
  static constexpr std::array kEmoji{std::pair{"😂", "laugh"}, std::pair{"😍", "love"}, std::pair{"😭", "cry"},
                                     std::pair{"👍", "yes"},   std::pair{"🎉", "party"}, std::pair{"😴", "nap"},
                                     std::pair{"🤷", "shrug"}, std::pair{"👋", "wave"}};
  std::vector<std::pair<std::string, std::string>> terms;  // (search term, character)
  if (type == "emoji") {
    for (auto [character, term] : kEmoji) terms.emplace_back(term, character);
  } else if (type == "featured" || type == "trending" || type == "explore") {
    // Each kind takes its own slice of the vocabulary, so the lists differ.
    std::size_t start = type == "featured" ? 0 : type == "trending" ? 12 : 24;
    for (std::size_t i = start; i < std::min(vocabulary_.size(), start + 12); ++i) terms.emplace_back(vocabulary_[i], "");
  }
  auto tags = NSArray::make();
  for (const auto& [term, character] : terms) {
    auto found = search(term);
    std::string image = found.empty() ? "" : mediaURL(*found.front(), "tinygif");
    std::string name = term;
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    auto tag = NSDictionary::make({{"name", text(name)},
                                   {"image", text(image)},
                                   {"path", text(baseURL_ + "/v1/search?tag=" + queryEncoded(term))},
                                   {"searchterm", text(term)},
                                   {"firstloadpriority", text(found.size() > 10 ? "true" : "false")}});
    if (!character.empty()) tag->setObject(text(character), "character");
    tags->addObject(tag);
  }
  return jsonText(NSDictionary::make({{"tags", tags}}));
}

std::string Catalogue::similarJson(std::string_view term) const {
  std::string folded = lowered(term);
  auto found = search(term);
  std::vector<std::pair<std::string, std::size_t>> related;
  for (const auto* item : found) {
    for (const auto& tag : item->tags) {
      if (tag == folded) continue;
      auto at = std::ranges::find_if(related, [&](const auto& r) { return r.first == tag; });
      if (at == related.end()) related.emplace_back(tag, 1);
      else ++at->second;
    }
  }
  std::ranges::stable_sort(related, [](const auto& a, const auto& b) { return a.second > b.second; });
  auto list = NSArray::make();
  for (std::size_t i = 0; i < std::min<std::size_t>(related.size(), 8); ++i) {
    auto withTag = search(related[i].first);
    list->addObject(NSDictionary::make(
        {{"tag", text(related[i].first)}, {"image", text(withTag.empty() ? "" : mediaURL(*withTag.front(), "nanogif"))}}));
  }
  auto corrections = NSDictionary::make();
  if (found.empty() && !folded.empty()) {
    const std::string* best = nullptr;
    std::size_t bestDistance = 3;  // only near misses are corrected
    for (const auto& word : vocabulary_) {
      auto distance = editDistance(folded, word);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = &word;
      }
    }
    if (best) corrections->setObject(text(mediaURL(*search(*best).front(), "nanogif")), *best);
  }
  auto results = NSDictionary::make();
  results->setObject(list, term);
  results->setObject(corrections, "corrections");
  return jsonText(NSDictionary::make({{"results", results}}));
}

std::string Catalogue::suggestJson(std::string_view prefix) const {
  std::string folded = lowered(prefix);
  auto results = NSArray::make();
  for (const auto& word : vocabulary_) {
    if (results->count() == 10) break;
    if (word.starts_with(folded)) results->addObject(text(word));
  }
  return jsonText(NSDictionary::make({{"results", results}}));
}

std::string Catalogue::searchPageJson(std::string_view query, std::string_view pos, std::size_t limit) const {
  auto found = search(query);
  if (limit == 0) limit = defaultPageSize;
  limit = std::min(limit, maxPageSize);
  std::size_t start = decimal(pos, found.size()).value_or(pos.empty() ? 0 : found.size());
  std::size_t end = std::min(found.size(), start + limit);
  auto results = NSArray::make();
  for (std::size_t i = start; i < end; ++i) results->addObject(itemObject(*found[i]));
  std::string next = end < found.size() ? std::to_string(end) : "";
  return jsonText(NSDictionary::make({{"results", results}, {"next", text(next)}}));
}

std::optional<GifMaker::PaddedFile> Catalogue::mediaFile(std::string_view path) const {
  if (!path.starts_with("/media/")) return std::nullopt;
  auto parts = split(path.substr(7), '/');
  auto nameAndExtension = [](std::string_view file) -> std::pair<std::string_view, std::string_view> {
    auto dot = file.rfind('.');
    if (dot == std::string_view::npos) return {file, {}};
    return {file.substr(0, dot), file.substr(dot + 1)};
  };
  if (parts.size() == 2 && parts[0] == "sized") {
    auto [name, extension] = nameAndExtension(parts[1]);
    auto size = decimal(name, kMaxSizedMedia);
    if (!size) return std::nullopt;
    std::expected<GifMaker::PaddedFile, std::string> file = std::unexpected(std::string());
    if (extension == "gif") file = GifMaker::padded({.width = 8, .height = 8, .frames = 2, .rgb = 0x22aa66}, *size);
    if (extension == "mp4") file = GifMaker::mp4(*size);
    if (!file) return std::nullopt;
    return *file;
  }
  if (parts.size() == 2 && parts[0] == "avatars") {
    auto [name, extension] = nameAndExtension(parts[1]);
    bool known = std::ranges::any_of(users_, [&](const CatalogueUser& u) { return std::to_string(u.userid) == name; });
    if (!known || extension != "gif") return std::nullopt;
    return exactly({.width = 32, .height = 32, .frames = 1, .rgb = static_cast<std::uint32_t>(mix(seed_, name) & 0xffffff), .loop = false});
  }
  if (parts.size() == 2 && parts[0] == "badges") {
    auto [name, extension] = nameAndExtension(parts[1]);
    if (name.empty() || extension != "gif") return std::nullopt;
    return exactly({.width = 24, .height = 12, .frames = 1, .rgb = 0xffcc00, .loop = false});
  }
  if (parts.size() == 3 && parts[0] == "pixel") {
    auto [name, extension] = nameAndExtension(parts[2]);
    if (!item(parts[1]) || !decimal(name, 16) || extension != "gif") return std::nullopt;
    return exactly({.width = 1, .height = 1, .frames = 1, .rgb = 0xffffff, .loop = false});
  }
  if (parts.size() != 2) return std::nullopt;
  const CatalogueItem* found = item(parts[0]);
  if (!found) return std::nullopt;
  auto [format, extension] = nameAndExtension(parts[1]);
  if (format == "preview" && extension == "gif") return exactly(lookFor(*found, "preview"));
  if (std::ranges::find(formats(), format) == formats().end()) return std::nullopt;
  if (extension != (isGifFormat(format) ? "gif" : "mp4")) return std::nullopt;
  auto size = mediaSize(*found, format);
  if (format == "tinymp4") {
    auto movie = tinyMovie(*found);
    if (!movie) return std::nullopt;
    auto file = GifMaker::paddedMovie(*movie, size);
    if (!file) file = GifMaker::paddedMovie(std::move(*movie), movie->size());
    if (!file) return std::nullopt;
    return *file;
  }
  auto file = isGifFormat(format) ? GifMaker::padded(lookFor(*found, format), size) : GifMaker::mp4(size);
  if (!file) return std::nullopt;
  return *file;
}

std::expected<std::string, std::string> Catalogue::tinyMovie(const CatalogueItem& item) const {
  std::lock_guard lock(moviesMutex_);
  if (auto known = movies_.find(item.id); known != movies_.end()) return known->second;
  auto made = MovieMaker::tinyMovie(lookFor(item, "tinymp4"));
  if (made) movies_[item.id] = *made;
  return made;
}

void Catalogue::serveMedia(const StandinRequest& request, StandinResponse& response) const {
  auto file = mediaFile(request.path);
  if (!file) {
    response.setError(404, "No such media");
    return;
  }
  bool gif = request.path.ends_with(".gif");
  auto shared = std::make_shared<GifMaker::PaddedFile>(std::move(*file));
  response.setGenerated(
      shared->size(), [shared](std::size_t offset, std::size_t length, std::string& out) { shared->write(offset, length, out); },
      gif ? "image/gif" : "video/mp4");
  response.chunked = request.queryValue("chunked") == "1";
}
