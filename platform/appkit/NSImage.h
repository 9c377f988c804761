#pragma once
// A picture decoded from PNG or GIF data into straight RGBA pixels. A GIF's frames are
// composed as the viewer shows them, with the frame delays and loop count for playback;
// what one GIF may decode to is bounded (see GifFrameStore): a large one is kept smaller
// than its own size and decodes its frames on a worker as they are asked for, so making
// the image costs little whatever the file says. Made with limits (as every picture a
// screen shows is, sized by where it shows), a PNG too is kept no larger than their side,
// scaled down as its rows are read (see PNGReader); without, at its own size. Either way
// the image's size stays the picture's own.

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/appkit/GifFrameStore.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGImage.h"

// How a drawn picture combines with what is below; only covering (source over) is drawn.
enum class NSCompositingOperation : int { clear = 0, copy = 1, sourceOver = 2 };

class NSImage : public NSObject, public CGImageSource {
 public:
  // The error domain of decoding failures, with codes below.
  static constexpr std::string_view ErrorDomain = "NSImageErrorDomain";
  enum ErrorCode : std::int64_t { unknownFormat = 1, corruptData = 2, tooLarge = 3, unreadableFile = 4 };
  using Limits = GifFrameStore::Limits;
  // What a picture is made from: its bytes, or a file (a GIF's frames are then read from the
  // file as they are decoded, its bytes never held).
  using Input = std::variant<std::shared_ptr<NSData>, std::filesystem::path>;

  using Result = std::expected<std::shared_ptr<NSImage>, std::shared_ptr<NSError>>;

  static Result initWithData(const std::shared_ptr<NSData>& data);
  static Result initWithData(const std::shared_ptr<NSData>& data, const Limits& limits);
  // A plain file only (not a link, nothing that would block); a GIF's frames are read from
  // the file as they are decoded, its bytes never held.
  static Result initWithContentsOfFile(const std::filesystem::path& path);
  static Result initWithContentsOfFile(const std::filesystem::path& path, const Limits& limits);
  // An image of the bundle's images folder by name, with or without its extension
  // ("statusIcon", "statusIcon.png"); a "@2x" file is taken at half its pixel size.
  // The same name gives the same object; unknown names give none.
  static std::shared_ptr<NSImage> imageNamed(std::string_view name);
  // An image from pixels (straight RGBA) shown at the given size (zero: the pixel size).
  static std::shared_ptr<NSImage> imageWithPixels(int width, int height, std::vector<std::uint8_t> rgba,
                                                  NSSize size = NSZeroSize);
  // An image of a bitmap shown at the given size (zero: the pixel size); none without one.
  static std::shared_ptr<NSImage> initWithCGImage(const std::shared_ptr<const CGImage>& image, NSSize size);

  // Makes an image away from the calling thread: on the loading queue `source` answers the
  // data (reading a file there too), the image is made from them and its first frame
  // decoded, and `completion` then gets it on the main thread (none when there were no data
  // or they did not decode). A screen that shows many pictures at once thus never stalls
  // while they arrive.
  static void loadInBackground(std::function<Input()> source,
                               std::function<void(std::shared_ptr<NSImage>)> completion);
  // The same within the limits given (a tile's, say): a GIF held within them rather than
  // the default ones, a PNG kept no larger than their side.
  static void loadInBackground(std::function<Input()> source, const Limits& limits,
                               std::function<void(std::shared_ptr<NSImage>)> completion);
  // The same for any way of making the image (`make` runs on the loading queue), the
  // completion hearing why it failed.
  static void makeInBackground(std::function<Result()> make, std::function<void(Result)> completion);
  // The serial queue images are made on in the background.
  static std::shared_ptr<DispatchQueue> loadingQueue();

  // The size in points.
  NSSize size() const override { return size_; }
  void setSize(NSSize size) { size_ = size; }
  // The size of the frames as decoded (a large GIF's are smaller than its own size).
  int pixelWidth() const;
  int pixelHeight() const;

  std::size_t frameCount() const;
  // Seconds the frame shows (GIF), 0 for stills.
  double frameDelay(std::size_t index) const;
  // How many times an animation plays; 0 means for ever.
  int loopCount() const { return gif_ ? gif_->loopCount() : 0; }
  bool isAnimated() const { return frameCount() > 1; }
  // Whether every frame of the picture is known to be opaque (see GifFrameStore).
  bool framesAreOpaque() const { return gif_ && gif_->framesAreOpaque(); }
  // The frame, decoded now if it is not yet (the caller waits); none past the last one.
  std::shared_ptr<const NSImageFrame> frame(std::size_t index) const;
  // The frame if it is decoded; otherwise none, its decoding is asked for, and `whenReady`
  // runs on the main thread once it is there. Drawing asks this way and never waits.
  std::shared_ptr<const NSImageFrame> frameIfReady(std::size_t index, std::function<void()> whenReady = nullptr) const;
  // Bytes of decoded frames the image holds now.
  std::size_t decodedBytes() const;
  // The GIF's frames, when it is one.
  const std::shared_ptr<GifFrameStore>& gifFrames() const { return gif_; }
  // One pixel of a frame as red, green, blue, alpha; outside the picture, all zero.
  std::array<std::uint8_t, 4> pixelAt(int x, int y, std::size_t frame = 0) const;

  // Draws the first frame scaled into the rectangle of the current graphics context.
  void drawInRect(NSRect rect, double fraction = 1.0);
  // Draws the part of the picture in fromRect (points, origin at the bottom-left; an empty
  // rectangle means all of it) at its size with its corner at the point.
  void drawAtPoint(NSPoint point, NSRect fromRect, NSCompositingOperation operation, double fraction);
  // The part of the picture in a rectangle of points (origin bottom-left), as its own image.
  std::shared_ptr<NSImage> imageInRect(NSRect rect) const;

  // The first frame once it is decoded (none before).
  const CGImage* imageForDrawing() const override;
  CGImageDrawingCache* drawingCache() const override;
  bool whenDrawable(std::function<void()> ready) const override;

  const std::string& name() const { return name_; }
  GLIMDECK_OBJECT(NSImage)
  std::string description() const override;

 private:
  NSImage() = default;
  // Decodes within the limits given, or (none) a PNG at its own size and a GIF within the default ones.
  static Result make(const std::shared_ptr<NSData>& data, const Limits* limits);
  static Result readFile(const std::filesystem::path& path, const Limits* limits);
  static void loadFromSource(std::function<Input()> source, std::shared_ptr<const Limits> limits,
                             std::function<void(std::shared_ptr<NSImage>)> completion);
  static Result withGifFrames(GifFrameStore::Result frames);
  // The first frame, held for as long as the image lives once it is decoded.
  std::shared_ptr<const NSImageFrame> first() const;
  std::shared_ptr<GifFrameStore> gif_;
  mutable std::mutex firstMutex_;
  mutable std::shared_ptr<const NSImageFrame> first_;
  NSSize size_;
  std::string name_;
};
