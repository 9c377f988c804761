#pragma once
// A rectangle of a window's content: geometry in its superview's coordinates (frame) and in
// its own (bounds), flipped or not, subviews in back-to-front order, autoresizing, layout,
// hit testing, tracking areas, cursor rectangles and gesture recognisers.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/TreeChange.h"

class NSWindow;
class NSViewController;
class NSTrackingArea;
class NSCursor;
class NSLayoutConstraint;
class NSGestureRecognizer;
class CALayer;
class NSShadow;
class NSDraggingInfo;
class NSDraggingItem;
class NSDraggingSession;
class NSDraggingSource;
using NSDragOperation = std::uint64_t;

using NSAutoresizingMaskOptions = std::uint32_t;
constexpr NSAutoresizingMaskOptions NSViewNotSizable = 0;
constexpr NSAutoresizingMaskOptions NSViewMinXMargin = 1;
constexpr NSAutoresizingMaskOptions NSViewWidthSizable = 2;
constexpr NSAutoresizingMaskOptions NSViewMaxXMargin = 4;
constexpr NSAutoresizingMaskOptions NSViewMinYMargin = 8;
constexpr NSAutoresizingMaskOptions NSViewHeightSizable = 16;
constexpr NSAutoresizingMaskOptions NSViewMaxYMargin = 32;

enum class NSWindowOrderingMode { below = -1, out = 0, above = 1 };

class NSView : public NSResponder {
 public:
  static std::shared_ptr<NSView> initWithFrame(NSRect frame);
  static std::shared_ptr<NSView> make() { return initWithFrame(NSZeroRect); }

  struct Constants {
    // Posted (object: the view) after the frame changed, when postsFrameChangedNotifications.
    static constexpr std::string_view frameDidChangeNotification = "NSViewFrameDidChangeNotification";
  };

  // Geometry.
  NSRect frame() const { return frame_; }
  virtual void setFrame(NSRect frame);
  void setFrameOrigin(NSPoint origin);
  void setFrameSize(NSSize size);
  NSRect bounds() const { return bounds_; }
  void setBounds(NSRect bounds);
  void setBoundsOrigin(NSPoint origin);
  void setBoundsSize(NSSize size);
  // Flipped views have their origin at the top left, y growing downwards.
  virtual bool isFlipped() const { return flipped_; }
  void setFlipped(bool flipped) {
    flipped_ = flipped;
    change_.note();
  }
  // The part of the bounds that the superviews do not clip away.
  NSRect visibleRect() const;

  // Visibility.
  bool isHidden() const { return hidden_; }
  virtual void setHidden(bool hidden);
  bool isHiddenOrHasHiddenAncestor() const;
  double alphaValue() const { return alphaValue_; }
  virtual void setAlphaValue(double alpha);
  // Animations run to their end at once here: the animator is the view itself.
  std::shared_ptr<NSView> animator() { return sharedAs<NSView>(); }

  // The tree.
  std::shared_ptr<NSView> superview() const { return superview_.lock(); }
  const std::vector<std::shared_ptr<NSView>>& subviews() const { return subviews_; }
  void setSubviews(const std::vector<std::shared_ptr<NSView>>& subviews);
  void addSubview(const std::shared_ptr<NSView>& view);
  // Places the view above or below another subview (or above all / below all without one).
  void addSubview(const std::shared_ptr<NSView>& view, NSWindowOrderingMode place,
                  const std::shared_ptr<NSView>& relativeTo);
  void removeFromSuperview();
  void replaceSubview(const std::shared_ptr<NSView>& oldView, const std::shared_ptr<NSView>& newView);
  bool isDescendantOf(const std::shared_ptr<const NSView>& view) const;
  std::shared_ptr<NSWindow> window() const { return window_.lock(); }
  std::shared_ptr<NSViewController> viewController() const { return viewController_.lock(); }

  virtual void viewWillMoveToWindow(const std::shared_ptr<NSWindow>& /*window*/) {}
  virtual void viewDidMoveToWindow() {}
  virtual void viewWillMoveToSuperview(const std::shared_ptr<NSView>& /*superview*/) {}
  virtual void viewDidMoveToSuperview() {}
  virtual void didAddSubview(const std::shared_ptr<NSView>& /*subview*/) {}
  virtual void willRemoveSubview(const std::shared_ptr<NSView>& /*subview*/) {}

  // Plain settings.
  NSAutoresizingMaskOptions autoresizingMask = NSViewNotSizable;
  bool autoresizesSubviews = true;
  bool translatesAutoresizingMaskIntoConstraints = true;
  bool postsFrameChangedNotifications = true;
  long tag = 0;
  std::string identifier;
  std::string toolTip;

  // Layout. A view lays out its subviews in layout(); plain views run their layout handler
  // (what an interface builder installs to place views from its constraint records).
  bool needsLayout() const { return needsLayout_; }
  void setNeedsLayout(bool needsLayout);
  virtual void layout();
  void layoutSubtreeIfNeeded();
  virtual void resizeSubviewsWithOldSize(NSSize oldSize);
  virtual void resizeWithOldSuperviewSize(NSSize oldSize);
  std::function<void(NSView& view)> layoutHandler;

  // Constraint records kept by this view (usually their common ancestor).
  const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints() const { return constraints_; }
  void addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
  void addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  void removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
  void removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  // The first record whose identifier matches, in this view or below.
  std::shared_ptr<NSLayoutConstraint> constraintWithIdentifier(std::string_view identifier) const;

  // Coordinates. A missing view means the window's base coordinates.
  NSPoint convertPoint(NSPoint point, const std::shared_ptr<const NSView>& fromView) const;
  NSPoint convertPointToView(NSPoint point, const std::shared_ptr<const NSView>& toView) const;
  NSRect convertRect(NSRect rect, const std::shared_ptr<const NSView>& fromView) const;
  NSRect convertRectToView(NSRect rect, const std::shared_ptr<const NSView>& toView) const;
  NSPoint convertPointFromSuperview(NSPoint point) const;
  NSPoint convertPointToSuperview(NSPoint point) const;

  // The deepest visible view under a point given in the superview's coordinates. The kit's
  // one rule for invisible views: a view that is hidden or at alpha 0 is passed through,
  // with its subviews, so a view faded out (and not yet hidden or removed) never takes a
  // press meant for what lies under it.
  virtual std::shared_ptr<NSView> hitTest(NSPoint pointInSuperview);
  bool mouseInRect(NSPoint point, NSRect rect) const;

  // Drawing.
  bool needsDisplay() const { return needsDisplay_; }
  virtual void setNeedsDisplay(bool needsDisplay);
  void setNeedsDisplayInRect(NSRect rect);
  // Draws this view and its subviews now (marks them clean), into the drawing in progress
  // or the window's backing store.
  void display();
  void displayIfNeeded();
  // Draws the view's own content into the current graphics context.
  virtual void drawRect(NSRect dirtyRect);
  // Changes with anything of the view, its layer tree or its subviews that their picture
  // depends on: geometry, visibility, alpha, layers, the subviews, a request for display
  // (see TreeChange).
  std::uint64_t treeChange() const { return change_.number(); }
  // How many times drawRect ran (a cheap way for code to see that it redrew).
  std::size_t drawCount() const { return drawCount_; }

  // Layer backing: a layer-backed view draws its layer (background, corners, border,
  // shadow, sublayers the code adds) under its own drawing and its subviews.
  bool wantsLayer() const { return wantsLayer_; }
  void setWantsLayer(bool wants);
  const std::shared_ptr<CALayer>& layer() const { return layer_; }
  void setLayer(std::shared_ptr<CALayer> layer);
  virtual std::shared_ptr<CALayer> makeBackingLayer();
  bool canDrawSubviewsIntoLayer = false;
  // A drop shadow under the view. Layers draw shadows here, so a view given one becomes
  // layer-backed and its layer carries the shadow's colour, offset and blur.
  std::shared_ptr<NSShadow> shadow() const { return shadow_; }
  void setShadow(std::shared_ptr<NSShadow> shadow);

  // Tracking areas.
  const std::vector<std::shared_ptr<NSTrackingArea>>& trackingAreas() const { return trackingAreas_; }
  void addTrackingArea(const std::shared_ptr<NSTrackingArea>& area);
  void removeTrackingArea(const std::shared_ptr<NSTrackingArea>& area);
  // Called by the window after the geometry or the window changed.
  virtual void updateTrackingAreas() {}

  // Cursor rectangles.
  struct CursorRect {
    NSRect rect;
    std::shared_ptr<NSCursor> cursor;
  };
  virtual void resetCursorRects() {}
  void addCursorRect(NSRect rect, const std::shared_ptr<NSCursor>& cursor);
  void removeCursorRect(NSRect rect, const std::shared_ptr<NSCursor>& cursor);
  void discardCursorRects();
  const std::vector<CursorRect>& cursorRects() const { return cursorRects_; }

  // Gesture recognisers see mouse events before the view does.
  const std::vector<std::shared_ptr<NSGestureRecognizer>>& gestureRecognizers() const { return recognizers_; }
  void addGestureRecognizer(const std::shared_ptr<NSGestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<NSGestureRecognizer>& recognizer);

  // Drag and drop (NSDraggingInfo.h). A view hears drags whose pasteboard offers one of the
  // types it registered; the defaults offer nothing and take nothing.
  void registerForDraggedTypes(const std::vector<std::string>& types);
  void unregisterDraggedTypes() { draggedTypes_.clear(); }
  const std::vector<std::string>& registeredDraggedTypes() const { return draggedTypes_; }
  virtual NSDragOperation draggingEntered(const std::shared_ptr<NSDraggingInfo>& sender);
  // By default what draggingEntered answered.
  virtual NSDragOperation draggingUpdated(const std::shared_ptr<NSDraggingInfo>& sender);
  virtual void draggingExited(const std::shared_ptr<NSDraggingInfo>& /*sender*/) {}
  virtual bool prepareForDragOperation(const std::shared_ptr<NSDraggingInfo>& /*sender*/) { return true; }
  virtual bool performDragOperation(const std::shared_ptr<NSDraggingInfo>& /*sender*/) { return false; }
  virtual void concludeDragOperation(const std::shared_ptr<NSDraggingInfo>& /*sender*/) {}
  virtual void draggingEnded(const std::shared_ptr<NSDraggingInfo>& /*sender*/) {}
  // Starts a drag of the items from this view (NSDraggingSession.h).
  std::shared_ptr<NSDraggingSession> beginDraggingSessionWithItems(
      const std::vector<std::shared_ptr<NSDraggingItem>>& items, const std::shared_ptr<NSEvent>& event,
      const std::shared_ptr<NSDraggingSource>& source);

  // Responder chain: the view controller (when it has one), then the superview; the
  // top view of a window passes on to the window.
  std::shared_ptr<NSResponder> nextResponder() const override;
  virtual bool acceptsFirstMouse(const std::shared_ptr<NSEvent>& /*event*/) const { return true; }

  // The text that tools show for the view (controls answer their string value).
  virtual std::string dumpText() const { return {}; }

  GLIMDECK_OBJECT(NSView)
  ~NSView() override;

 protected:
  explicit NSView(NSRect frame);
  // Second half of construction, once the view is owned by a shared_ptr (so it can add
  // subviews). Overrides call the inherited one first.
  virtual void didInit() {}
  template <typename T>
  static std::shared_ptr<T> finishInit(std::shared_ptr<T> view) {
    static_cast<NSView&>(*view).didInit();
    return view;
  }
  // Tells the window that geometry under it changed (tracking areas, cursor rectangles).
  void noteGeometryChanged();
  // Called in a layout pass on each view below one that the pass laid out, and that needed
  // no layout itself: what shows of it may have changed (an ancestor grew, say) though its
  // own frame did not.
  virtual void ancestorWasLaidOut() {}

 private:
  friend class NSWindow;
  friend class NSViewController;
  void setWindowRecursive(const std::shared_ptr<NSWindow>& window);
  void removeSubviewInternal(const NSView* view);
  void insertSubviewAt(const std::shared_ptr<NSView>& view, std::size_t index);
  void postFrameChanged();
  void layoutSubtree(bool belowLaidOut);
  std::shared_ptr<const NSView> rootView() const;
  NSPoint convertToRoot(NSPoint point) const;
  NSPoint convertFromRoot(NSPoint point) const;

  NSRect frame_;
  NSRect bounds_;
  bool boundsScaled_ = false;
  bool wantsLayer_ = false;
  bool trackingUpdatePending_ = false;  // queued with the window for updateTrackingAreas
  std::shared_ptr<CALayer> layer_;
  std::shared_ptr<NSShadow> shadow_;
  void syncLayerGeometry();
  void syncLayerShadow();
  void drawPass(bool onlyDirty);
  bool flipped_ = false;
  bool hidden_ = false;
  double alphaValue_ = 1.0;
  bool needsLayout_ = false;
  bool needsDisplay_ = true;
  std::size_t drawCount_ = 0;
  std::weak_ptr<NSView> superview_;
  std::weak_ptr<NSWindow> window_;
  std::weak_ptr<NSViewController> viewController_;
  std::vector<std::shared_ptr<NSView>> subviews_;
  std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
  std::vector<std::shared_ptr<NSTrackingArea>> trackingAreas_;
  std::vector<CursorRect> cursorRects_;
  std::vector<std::shared_ptr<NSGestureRecognizer>> recognizers_;
  std::vector<std::string> draggedTypes_;
  TreeChange change_;
  // The tree's number when the window last marked the subtree displayed.
  std::uint64_t displayedChange_ = 0;
};
