#pragma once
// A picture decoded from PNG or GIF data into straight RGBA pixels. A GIF keeps every frame,
// composed as the viewer shows it, with the frame delays and loop count for playback.

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGImage.h"

// How a drawn picture combines with what is below; only covering (source over) is drawn.
enum class NSCompositingOperation : int { clear = 0, copy = 1, sourceOver = 2 };

// Pixels row by row, 4 bytes a pixel, not premultiplied.
struct NSImageFrame : CGImage {
  double delay = 0;  // seconds this frame shows (GIF), 0 for stills
};

class NSImage : public NSObject, public CGImageSource {
 public:
  // The error domain of decoding failures, with codes below.
  static constexpr std::string_view ErrorDomain = "NSImageErrorDomain";
  enum ErrorCode : std::int64_t { unknownFormat = 1, corruptData = 2, tooLarge = 3, unreadableFile = 4 };

  static std::expected<std::shared_ptr<NSImage>, std::shared_ptr<NSError>> initWithData(
      const std::shared_ptr<NSData>& data);
  static std::expected<std::shared_ptr<NSImage>, std::shared_ptr<NSError>> initWithContentsOfFile(
      const std::filesystem::path& path);
  // An image of the bundle's images folder by name, with or without its extension
  // ("statusIcon", "statusIcon.png"); a "@2x" file is taken at half its pixel size.
  // The same name gives the same object; unknown names give none.
  static std::shared_ptr<NSImage> imageNamed(std::string_view name);
  // An image from pixels (straight RGBA) shown at the given size (zero: the pixel size).
  static std::shared_ptr<NSImage> imageWithPixels(int width, int height, std::vector<std::uint8_t> rgba,
                                                  NSSize size = NSZeroSize);
  // An image of a bitmap shown at the given size (zero: the pixel size); none without one.
  static std::shared_ptr<NSImage> initWithCGImage(const std::shared_ptr<const CGImage>& image, NSSize size);

  // The size in points.
  NSSize size() const override { return size_; }
  void setSize(NSSize size) { size_ = size; }
  int pixelWidth() const { return frames_.empty() ? 0 : frames_[0].width; }
  int pixelHeight() const { return frames_.empty() ? 0 : frames_[0].height; }

  const std::vector<NSImageFrame>& frames() const { return frames_; }
  std::size_t frameCount() const { return frames_.size(); }
  // How many times an animation plays; 0 means for ever.
  int loopCount() const { return loopCount_; }
  bool isAnimated() const { return frames_.size() > 1; }
  // One pixel of a frame as red, green, blue, alpha; outside the picture, all zero.
  std::array<std::uint8_t, 4> pixelAt(int x, int y, std::size_t frame = 0) const;

  // Draws the first frame scaled into the rectangle of the current graphics context.
  void drawInRect(NSRect rect, double fraction = 1.0);
  // Draws the part of the picture in fromRect (points, origin at the bottom-left; an empty
  // rectangle means all of it) at its size with its corner at the point.
  void drawAtPoint(NSPoint point, NSRect fromRect, NSCompositingOperation operation, double fraction);
  // The part of the picture in a rectangle of points (origin bottom-left), as its own image.
  std::shared_ptr<NSImage> imageInRect(NSRect rect) const;

  // The first frame.
  const CGImage* imageForDrawing() const override { return frames_.empty() ? nullptr : &frames_[0]; }

  const std::string& name() const { return name_; }
  std::string className() const override { return "NSImage"; }
  std::string description() const override;

 private:
  NSImage() = default;
  std::vector<NSImageFrame> frames_;
  NSSize size_;
  int loopCount_ = 0;
  std::string name_;
};
