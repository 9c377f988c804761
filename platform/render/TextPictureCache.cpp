#include "platform/render/TextPictureCache.h"

#include <functional>

#include "platform/render/BlurredMaskCache.h"

TextPictureCache::Picture::~Picture() {
  if (surface) cairo_surface_destroy(surface);
  for (auto& [size, blurred] : shadows_) cairo_surface_destroy(blurred);
}

cairo_surface_t* TextPictureCache::Picture::shadow(int radius, int spread) const {
  std::lock_guard lock(shadowsMutex_);
  for (const auto& [size, blurred] : shadows_) {
    if (size == std::pair{radius, spread}) return blurred;
  }
  if (!surface || spread < 0 || spread > 4096) return nullptr;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, box.width() + 2 * spread, box.height() + 2 * spread);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return nullptr;
  }
  cairo_t* cr = cairo_create(mask);
  cairo_set_source_surface(cr, surface, spread, spread);
  cairo_paint(cr);
  cairo_destroy(cr);
  BlurredMaskCache::shared().blur(mask, radius);
  shadows_.emplace_back(std::pair{radius, spread}, mask);
  return mask;
}

TextPictureCache& TextPictureCache::shared() {
  static TextPictureCache cache;
  return cache;
}

std::size_t TextPictureCache::KeyHash::operator()(const Key& key) const {
  std::size_t hash = std::hash<std::string>{}(key.text.utf8);
  auto mix = [&](std::size_t value) { hash ^= value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2); };
  mix(std::hash<double>{}(key.width));
  mix(std::hash<double>{}(key.scaleX));
  mix(std::hash<double>{}(key.scaleY));
  mix(std::hash<double>{}(key.text.font.pointSize));
  mix(key.text.runs.size());
  return hash;
}

std::shared_ptr<const TextPictureCache::Picture> TextPictureCache::find(const Key& key) {
  std::lock_guard lock(mutex_);
  auto* kept = entries_.find(key);
  return kept ? kept->value.picture : nullptr;
}

void TextPictureCache::keep(Key key, std::shared_ptr<const Picture> picture) {
  if (!picture || !picture->surface) return;
  const std::size_t bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(picture->surface)) *
                                static_cast<std::size_t>(cairo_image_surface_get_height(picture->surface)) +
                            key.text.utf8.size() + sizeof(Kept) + sizeof(Key);
  if (bytes > kBoundBytes / 8) return;
  std::lock_guard lock(mutex_);
  if (entries_.find(key)) return;  // another drawing kept it meanwhile
  entries_.add(std::move(key), {std::move(picture), bytes});
  bytes_ += bytes;
  while (bytes_ > kBoundBytes && !entries_.empty()) {
    bytes_ -= entries_.oldest().value.bytes;
    entries_.dropOldest();
  }
}

std::size_t TextPictureCache::bytes() {
  std::lock_guard lock(mutex_);
  return bytes_;
}
