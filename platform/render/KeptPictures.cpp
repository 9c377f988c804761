#include "platform/render/KeptPictures.h"

#include <utility>
#include <vector>

KeptPictures::~KeptPictures() = default;

cairo_surface_t* KeptPictures::find(const void* owner, const Made& made) {
  auto* entry = pictures_.find(owner);
  // An owner gone may have left its address to a new one, whose numbers are all new.
  if (!entry || entry->value.made != made || entry->value.owner.expired()) return nullptr;
  return entry->value.surface.get();
}

void KeptPictures::drop(const void* owner) {
  auto* entry = pictures_.find(owner);
  if (!entry) return;
  pixels_ -= entry->value.pixels;
  pictures_.dropNewest();
}

cairo_surface_t* KeptPictures::keep(const std::shared_ptr<const void>& owner, const Made& made,
                                    cairo_surface_t* picture) {
  drop(owner.get());
  std::vector<const void*> gone;
  pictures_.forEach([&](const auto& entry) {
    if (entry.value.owner.expired()) gone.push_back(entry.key);
  });
  for (const void* key : gone) drop(key);
  const long pixels = long(cairo_image_surface_get_width(picture)) * cairo_image_surface_get_height(picture);
  pixels_ += pixels;
  cairo_surface_t* surface = pictures_.add(owner.get(), {owner, made, KeptSurface(picture), pixels}).value.surface.get();
  while (pixels_ > kMostPixels && pictures_.size() > 1) {
    pixels_ -= pictures_.oldest().value.pixels;
    pictures_.dropOldest();
  }
  return surface;
}
