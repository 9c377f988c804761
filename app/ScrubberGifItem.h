#pragma once
// A Touch Bar scrubber item that plays one GIF's tiny rendition, from the media cache or
// downloaded into it; with its heart shown it is the favourites entry of the emoji strip.
// Its views come from the interface "ScrubberGifItem".

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/appkit/NSScrubberItemView.h"

class NSData;
class NSImageView;
class NSURLSessionDataTask;
class VornObject;

class ScrubberGifItem : public NSScrubberItemView {
 public:
  static std::shared_ptr<ScrubberGifItem> initWithFrame(NSRect frame);

  struct Constants {
    static constexpr std::string_view interfaceName = "ScrubberGifItem";
    static constexpr std::string_view fileSuffix = "gif";
    static constexpr std::string_view heartImageName = "redHeart";
  };

  std::weak_ptr<NSImageView> gif;
  std::weak_ptr<NSImageView> heartImage;
  // The last download the item started.
  std::shared_ptr<NSURLSessionDataTask> task;

  // Shows the GIF's tiny rendition: from the media cache when it is there, else downloaded
  // with the shared session and stored in the cache. Hides the heart.
  void configureWithVorn(const std::shared_ptr<VornObject>& vorn);
  void configureAsFavorite();
  void reset();
  // Plays GIF bytes once they are decoded away from the main thread (no image for bytes
  // that are none).
  void loadGIFWithData(const std::shared_ptr<NSData>& data);

  // The media key (tiny GIF address) the item was last configured with.
  const std::string& shownKey() const { return shownKey_; }

  // Registers the builder of the interface "ScrubberGifItem".
  static void registerInterface();

  GLIMDECK_OBJECT(ScrubberGifItem)

 protected:
  using NSScrubberItemView::NSScrubberItemView;

 private:
  void showGIF(std::function<std::shared_ptr<NSData>()> source);
  std::string shownKey_;
  // Moves on at each GIF asked for, so that one decoded for an earlier GIF is not shown.
  std::uint64_t pictureGeneration_ = 0;
};
