#pragma once
// Shows an image, scaled and aligned within the view. An animated image plays while
// `animates` is on, frame by frame on the clock: the view redraws when the next frame is
// due, and only while it is drawn at all (hidden, windowless or scrolled-out views cost nothing).

#include <functional>
#include <memory>
#include <optional>

#include "platform/appkit/ImageAnimation.h"

class RunLoopTimerToken;
struct NSImageFrame;

#include "platform/appkit/NSControl.h"

enum class NSImageScaling { proportionallyDown = 0, axesIndependently = 1, none = 2, proportionallyUpOrDown = 3 };
enum class NSImageAlignment { center = 0, top = 1, topLeft = 2, topRight = 3, left = 4, bottom = 5,
                              bottomLeft = 6, bottomRight = 7, right = 8 };
enum class NSImageFrameStyle { none = 0, photo = 1, grayBezel = 2, groove = 3, button = 4 };

class NSImageView : public NSControl {
 public:
  static std::shared_ptr<NSImageView> initWithFrame(NSRect frame);
  static std::shared_ptr<NSImageView> imageViewWithImage(std::shared_ptr<NSImage> image);

  std::shared_ptr<NSImage> image() const { return cell()->image; }
  void setImage(std::shared_ptr<NSImage> image);
  NSImageScaling imageScaling() const { return imageScaling_; }
  void setImageScaling(NSImageScaling scaling);
  NSImageAlignment imageAlignment = NSImageAlignment::center;
  NSImageFrameStyle imageFrameStyle = NSImageFrameStyle::none;
  bool animates() const { return animates_; }
  void setAnimates(bool animates);
  // The frame of the image shown now.
  std::size_t currentFrame() const;
  bool editable = false;
  bool allowsCutCopyPaste = false;

  // Where the image is drawn in the view's bounds.
  NSRect imageRect() const;
  // Where the next drawing surely lays an opaque picture at full strength, if it does: a
  // playing GIF whose frames are all opaque, one of them shown already (it stays until the
  // next is decoded), in the view's bounds.
  std::optional<NSRect> opaqueRect() const;

  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  // A view that only shows its image passes the drag after a press on, as the press itself.
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override;
  void drawRect(NSRect dirtyRect) override;
  std::string dumpText() const override { return {}; }
  GLIMDECK_OBJECT(NSImageView)

 protected:
  using NSControl::NSControl;

 private:
  NSImageScaling imageScaling_ = NSImageScaling::proportionallyDown;
  bool animates_ = true;
  std::optional<ImageAnimation> animation_;  // set while the image has frames to play
  double playStart_ = 0;                     // clock time at which playback was at 0
  double pausedAt_ = 0;                      // playback time when animation was turned off
  std::shared_ptr<RunLoopTimerToken> tick_;
  std::shared_ptr<const NSImageFrame> shown_;  // the frame drawn last
  bool awaitingFrame_ = false;                 // a decoded frame will mark the view for display
  // The frame if it is decoded; otherwise none, and the view is marked for display once it is.
  std::shared_ptr<const NSImageFrame> decodedFrame(const std::shared_ptr<NSImage>& image, std::size_t index);
  double playbackTime() const;
  void scheduleTick(double playback);
  bool isOnScreen() const;
};
