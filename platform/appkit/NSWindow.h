#pragma once
// A window: a frame on the screen, the frame view that fills it and the content view
// inside that, the key-window state, the first responder and its field editor, and the
// delivery of the window's events to its views.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"
#include "platform/appkit/NSView.h"

class NSEvent;
class NSTextView;
class NSTrackingArea;
class NSGestureRecognizer;
class NSViewController;
class NSWindowController;
class NSNotification;
class NSScreen;
class NSWindow;
class RecordingContext;

using NSWindowStyleMask = std::uint64_t;
constexpr NSWindowStyleMask NSWindowStyleMaskBorderless = 0;
constexpr NSWindowStyleMask NSWindowStyleMaskTitled = 1 << 0;
constexpr NSWindowStyleMask NSWindowStyleMaskClosable = 1 << 1;
constexpr NSWindowStyleMask NSWindowStyleMaskMiniaturizable = 1 << 2;
constexpr NSWindowStyleMask NSWindowStyleMaskResizable = 1 << 3;
constexpr NSWindowStyleMask NSWindowStyleMaskNonactivatingPanel = 1 << 7;
constexpr NSWindowStyleMask NSWindowStyleMaskFullSizeContentView = 1 << 15;

enum class NSBackingStoreType { retained = 0, nonretained = 1, buffered = 2 };

// Which way a text field's editing ended.
struct NSTextMovement {
  static constexpr long other = 0;
  static constexpr long returnKey = 0x10;  // 16
  static constexpr long tab = 0x11;        // 17
  static constexpr long backtab = 0x12;    // 18
  static constexpr long cancel = 0x17;
};

class NSWindowDelegate {
 public:
  virtual ~NSWindowDelegate() = default;
  virtual bool windowShouldClose(const std::shared_ptr<NSWindow>& /*sender*/) { return true; }
  virtual void windowWillClose(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void windowDidBecomeKey(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void windowDidResignKey(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void windowDidResize(const std::shared_ptr<NSNotification>& /*notification*/) {}
};

// The view that fills the whole window and holds the content view (and the title bar).
class NSWindowFrameView : public NSView {
 public:
  static std::shared_ptr<NSWindowFrameView> initWithFrame(NSRect frame);
  GLIMDECK_OBJECT(NSWindowFrameView)

 private:
  using NSView::NSView;
};

class NSWindow : public NSResponder {
 public:
  struct Constants {
    static constexpr double titleBarHeight = 22.0;
    static constexpr std::string_view didBecomeKeyNotification = "NSWindowDidBecomeKeyNotification";
    static constexpr std::string_view didResignKeyNotification = "NSWindowDidResignKeyNotification";
    static constexpr std::string_view willCloseNotification = "NSWindowWillCloseNotification";
    static constexpr std::string_view didResizeNotification = "NSWindowDidResizeNotification";
  };

  static std::shared_ptr<NSWindow> initWithContentRect(NSRect contentRect, NSWindowStyleMask style,
                                                       NSBackingStoreType backing = NSBackingStoreType::buffered,
                                                       bool defer = false);
  static std::shared_ptr<NSWindow> windowWithContentViewController(const std::shared_ptr<NSViewController>& controller);
  ~NSWindow() override;

  // Geometry, in screen coordinates (origin at the bottom left).
  NSRect frame() const { return frame_; }
  void setFrame(NSRect frame, bool display);
  void setFrameOrigin(NSPoint origin);
  void setContentSize(NSSize size);
  NSRect contentRectForFrameRect(NSRect frame) const;
  NSRect frameRectForContentRect(NSRect content) const;
  NSWindowStyleMask styleMask() const { return styleMask_; }
  void setStyleMask(NSWindowStyleMask mask);

  NSPoint convertPointToScreen(NSPoint point) const;
  NSPoint convertPointFromScreen(NSPoint point) const;
  NSRect convertRectToScreen(NSRect rect) const;
  NSRect convertRectFromScreen(NSRect rect) const;
  // The display that shows most of the window; none when the window is off every display.
  std::shared_ptr<NSScreen> screen() const;
  // Where the pointer is now, in the window's base coordinates.
  NSPoint mouseLocationOutsideOfEventStream() const;

  // Views.
  std::shared_ptr<NSView> contentView() const { return contentView_; }
  void setContentView(const std::shared_ptr<NSView>& view);
  std::shared_ptr<NSWindowFrameView> frameView() const { return frameView_; }
  std::shared_ptr<NSViewController> contentViewController() const { return contentViewController_; }
  void setContentViewController(const std::shared_ptr<NSViewController>& controller);
  std::shared_ptr<NSWindowController> windowController() const { return windowController_.lock(); }
  void setWindowController(const std::shared_ptr<NSWindowController>& controller);

  // Plain settings.
  std::string title;
  long level = 0;
  bool acceptsMouseMovedEvents = false;
  bool releasedWhenClosed = false;
  bool hidesOnDeactivate = false;
  bool opaque = true;
  bool hasShadow = true;
  std::shared_ptr<NSObject> backgroundColor;
  // Points to pixels of the screen the window is on: 1.0 standard, 2.0 high density.
  double backingScaleFactor = 1.0;

  std::shared_ptr<NSWindowDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSWindowDelegate>& delegate) { delegate_ = delegate; }

  long windowNumber() const { return windowNumber_; }

  // Ordering and key state.
  bool isVisible() const { return visible_; }
  bool isKeyWindow() const;
  bool isMainWindow() const;
  virtual bool canBecomeKeyWindow() const;
  virtual bool canBecomeMainWindow() const { return canBecomeKeyWindow(); }
  void makeKeyAndOrderFront(const std::shared_ptr<NSObject>& sender);
  void makeKeyWindow();
  void orderFront(const std::shared_ptr<NSObject>& sender);
  void orderFrontRegardless();
  void orderOut(const std::shared_ptr<NSObject>& sender);
  virtual void becomeKeyWindow();
  virtual void resignKeyWindow();
  void close();
  // Asks the delegate first; closes when it agrees.
  void performClose(const std::shared_ptr<NSObject>& sender);

  // First responder and the shared field editor of the window's text fields.
  std::shared_ptr<NSResponder> firstResponder() const;
  bool makeFirstResponder(const std::shared_ptr<NSResponder>& responder);
  std::shared_ptr<NSTextView> fieldEditor(bool createWhenNeeded, const std::shared_ptr<NSObject>& forObject);
  // The view the keys go to: the first responder, or the field its field editor edits.
  std::shared_ptr<NSView> focusedView() const;
  void endEditingFor(const std::shared_ptr<NSObject>& object);
  // The field editor stopped editing for its field: the window holds the focus again.
  void fieldEditingEnded(const std::shared_ptr<NSTextView>& editor);
  std::shared_ptr<NSView> initialFirstResponder() const { return initialFirstResponder_.lock(); }
  void setInitialFirstResponder(const std::shared_ptr<NSView>& view) { initialFirstResponder_ = view; }
  // Moves focus to the next (or previous) view of the key-view loop that takes it. The loop
  // leaves out views a shown sibling laid over their whole superview covers.
  void selectNextKeyView(const std::shared_ptr<NSObject>& sender);
  void selectPreviousKeyView(const std::shared_ptr<NSObject>& sender);

  // Events reach the window here; it hands them to its views.
  virtual void sendEvent(const std::shared_ptr<NSEvent>& event);
  // With no menu bar to carry the close keys, a key no view took closes the window as the
  // desktop's windows close: Control-W (the kit's Command-W) sends "performClose:" (closable
  // windows answer it), Escape "cancelOperation:" (the modal window answers it by closing),
  // so a modal window ends its session through its delegate's windowShouldClose.
  void keyDown(const std::shared_ptr<NSEvent>& event) override;
  bool respondsToCommand(std::string_view selector) const override;
  void performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) override;
  // Re-reads the tracking areas under the pointer (entered/exited), as a pointer move does.
  // Ordering the window out exits every area the pointer was in; ordering it in reads them
  // again at the pointer's place then.
  void updateTrackingAreasAtPoint(NSPoint locationInWindow, const std::shared_ptr<NSEvent>& cause);

  // Layout and drawing passes (also queued on the main run loop after changes).
  void layoutIfNeeded();
  void displayIfNeeded();
  void display();
  void update();
  void invalidateCursorRectsForView(const std::shared_ptr<NSView>& view);
  // What the last display pass drew, in the window's base coordinates (nothing when the
  // window server painted the window itself).
  std::shared_ptr<RecordingContext> backingStore();

  std::shared_ptr<NSResponder> nextResponder() const override;
  GLIMDECK_OBJECT(NSWindow)

 protected:
  NSWindow() = default;
  void setUp(NSRect contentRect, NSWindowStyleMask style);

 private:
  friend class NSView;
  friend class NSApplication;
  // Notes from the views.
  void viewGeometryChanged(NSView& view);
  void viewDidEnter(NSView& view);
  void viewWillLeave(NSView& view);
  void viewWasHidden(NSView& view);
  void trackingAreaAdded(NSView& view, NSTrackingArea& area);
  void scheduleUpdate();
  void runScheduledUpdate();
  void updateTrackingAreasOfDirtyViews();
  // Lays out, has the window server paint the window and draws what it left to draw.
  void displayPass(bool whole);
  static void markDisplayed(NSView& view);
  // Tracking areas at the pointer's place in the window; none when it is in no place of it.
  void trackPointer(std::optional<NSPoint> locationInWindow, const std::shared_ptr<NSEvent>& cause);
  void updateCursorAt(NSPoint locationInWindow);
  void layoutContent();
  void setVisible(bool visible);
  void post(std::string_view name);
  bool ownsResponder(const NSResponder& responder) const;
  std::shared_ptr<NSGestureRecognizer> recognizerFor(const std::shared_ptr<NSView>& view) const;
  void deliverMouse(const std::shared_ptr<NSEvent>& event);
  std::vector<std::shared_ptr<NSView>> keyViewLoop() const;
  void moveKeyView(const std::shared_ptr<NSObject>& sender, bool forward);

  NSRect frame_;
  NSWindowStyleMask styleMask_ = NSWindowStyleMaskBorderless;
  long windowNumber_ = 0;
  bool visible_ = false;
  std::shared_ptr<NSWindowFrameView> frameView_;
  std::shared_ptr<NSView> contentView_;
  std::shared_ptr<NSViewController> contentViewController_;
  std::weak_ptr<NSWindowController> windowController_;
  std::weak_ptr<NSWindowDelegate> delegate_;
  std::weak_ptr<NSResponder> firstResponder_;
  std::weak_ptr<NSView> initialFirstResponder_;
  std::shared_ptr<NSTextView> fieldEditor_;
  std::shared_ptr<RecordingContext> backingStore_;
  std::weak_ptr<NSView> mouseDownView_;
  std::weak_ptr<NSView> rightMouseDownView_;
  std::shared_ptr<NSGestureRecognizer> trackingRecognizer_;
  std::vector<std::weak_ptr<NSView>> trackingDirty_;
  bool cursorRectsValid_ = false;
  bool updateScheduled_ = false;
  // A view in the window was marked for layout (or arrived, perhaps marked) since the last
  // layout pass: without one, a pass has nothing to do and walks no tree.
  bool layoutPending_ = true;
};
