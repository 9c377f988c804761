#pragma once
// A popover: a content view controller shown in a borderless window of its own, next to a
// rectangle of a view (under a status item's icon, say). It lands on the side asked for
// when the display has room there, else on the opposite side, and is kept on the display.

#include <memory>

#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSPanel.h"

class NSPopover;
class NSViewController;

enum class NSRectEdge : int { minX = 0, minY = 1, maxX = 2, maxY = 3 };

class NSPopoverDelegate {
 public:
  virtual ~NSPopoverDelegate() = default;
  virtual void popoverDidShow(const std::shared_ptr<NSPopover>& /*popover*/) {}
  virtual void popoverDidClose(const std::shared_ptr<NSPopover>& /*popover*/) {}
};

// The window that shows a popover; it takes the keyboard so fields in it can be typed in.
class NSPopoverWindow : public NSPanel {
 public:
  std::shared_ptr<NSPopover> popover() const { return popover_.lock(); }
  bool canBecomeKeyWindow() const override { return true; }
  GLIMDECK_OBJECT(NSPopoverWindow)

 private:
  friend class NSPopover;
  NSPopoverWindow() = default;
  std::weak_ptr<NSPopover> popover_;
};

class NSPopover : public NSObject {
 public:
  struct Constants {
    // Above the status bar, whose icons it hangs from.
    static constexpr long windowLevel = 101;
  };

  static std::shared_ptr<NSPopover> make() { return create(); }

  std::shared_ptr<NSViewController> contentViewController() const { return contentViewController_; }
  void setContentViewController(const std::shared_ptr<NSViewController>& controller);
  // The content's size; zero takes the content view's own size when shown.
  NSSize contentSize;
  // Whether showing and closing animate. The kit shows and closes at once either way; the
  // flag is kept for those who set it around a close.
  bool animates = true;
  std::shared_ptr<NSAppearance> appearance;

  std::shared_ptr<NSPopoverDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSPopoverDelegate>& delegate) { delegate_ = delegate; }

  bool isShown() const { return shown_; }
  // Shows the content next to the rectangle (in the view's coordinates) on the given edge
  // of it; a shown popover moves to the new place. Nothing happens without a window for
  // the view or without content.
  void showRelativeToRect(NSRect rect, const std::shared_ptr<NSView>& ofView, NSRectEdge preferredEdge);
  void performClose(const std::shared_ptr<NSObject>& sender);
  void close();
  // The window showing the content while shown; empty before the first showing.
  std::shared_ptr<NSPopoverWindow> window() const { return window_; }

  GLIMDECK_OBJECT(NSPopover)

 private:
  NSPopover() = default;

  std::shared_ptr<NSViewController> contentViewController_;
  std::weak_ptr<NSPopoverDelegate> delegate_;
  std::shared_ptr<NSPopoverWindow> window_;
  bool shown_ = false;
};
