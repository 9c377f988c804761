#include "platform/appkit/NSView.h"

#include <algorithm>
#include <cmath>

#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSDraggingInfo.h"
#include "platform/appkit/NSDraggingSession.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSLayoutConstraint.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/CATransaction.h"

NSView::NSView(NSRect frame) : frame_(frame), bounds_{NSZeroPoint, frame.size} {}

NSView::~NSView() {
  for (const auto& sub : subviews_) sub->change_.leave(&change_);
  if (layer_) layer_->changes().leave(&change_);
}

std::shared_ptr<NSView> NSView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSView>(new NSView(frame)));
}

// ---- geometry -------------------------------------------------------------------------

void NSView::setFrame(NSRect frame) {
  if (frame == frame_) return;
  NSSize oldSize = frame_.size;
  NSRect oldBounds = bounds_;
  frame_ = frame;
  change_.note();
  if (!boundsScaled_) {
    bounds_.size = frame.size;
  } else if (oldSize.width > 0 && oldSize.height > 0) {
    bounds_.size = {oldBounds.size.width * frame.size.width / oldSize.width,
                    oldBounds.size.height * frame.size.height / oldSize.height};
  }
  if (oldSize != frame.size) {
    if (autoresizesSubviews) resizeSubviewsWithOldSize(oldSize);
    setNeedsLayout(true);
  }
  syncLayerGeometry();
  noteGeometryChanged();
  setNeedsDisplay(true);
  if (auto parent = superview()) parent->setNeedsDisplay(true);
  postFrameChanged();
}

void NSView::setWantsLayer(bool wants) {
  wantsLayer_ = wants;
  change_.note();
  if (wants && !layer_) setLayer(makeBackingLayer());
  setNeedsDisplay(true);
}

void NSView::setLayer(std::shared_ptr<CALayer> layer) {
  if (layer_) layer_->changes().leave(&change_);
  layer_ = std::move(layer);
  if (layer_) layer_->changes().setAbove(&change_);
  change_.note();
  syncLayerGeometry();
  syncLayerShadow();
  setNeedsDisplay(true);
}

std::shared_ptr<CALayer> NSView::makeBackingLayer() { return CALayer::layer(); }

void NSView::setShadow(std::shared_ptr<NSShadow> shadow) {
  shadow_ = std::move(shadow);
  if (shadow_ && !wantsLayer_) setWantsLayer(true);
  syncLayerShadow();
  setNeedsDisplay(true);
}

void NSView::syncLayerShadow() {
  if (!layer_) return;
  if (!shadow_) {
    layer_->setShadowOpacity(0);
    return;
  }
  // The shadow colour's own alpha sets how dark it is, so the layer shows it at full opacity.
  layer_->setShadowColor(shadow_->shadowColor ? std::optional<CGColor>(shadow_->shadowColor->CGColor()) : std::nullopt);
  layer_->setShadowOpacity(1.0);
  layer_->setShadowOffset(shadow_->shadowOffset);
  layer_->setShadowRadius(shadow_->shadowBlurRadius);
}

void NSView::syncLayerGeometry() {
  if (!layer_) return;
  // The view moves its layer without the implicit animation a layer change would start.
  // The layer is drawn in the view's own coordinates (flipped with the view), so it is
  // not flipped again.
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  layer_->setFrame(NSMakeRect(0, 0, bounds_.width(), bounds_.height()));
  CATransaction::commit();
}

void NSView::setFrameOrigin(NSPoint origin) { setFrame({origin, frame_.size}); }
void NSView::setFrameSize(NSSize size) { setFrame({frame_.origin, size}); }

void NSView::setBounds(NSRect bounds) {
  boundsScaled_ = bounds.size != frame_.size;
  bounds_ = bounds;
  change_.note();
  syncLayerGeometry();
  noteGeometryChanged();
  setNeedsDisplay(true);
}

void NSView::setBoundsOrigin(NSPoint origin) { setBounds({origin, bounds_.size}); }
void NSView::setBoundsSize(NSSize size) { setBounds({bounds_.origin, size}); }

NSRect NSView::visibleRect() const {
  if (isHiddenOrHasHiddenAncestor()) return NSZeroRect;
  // Cut by each superview's bounds on the way up, in its coordinates (one conversion a
  // level, not one through the whole chain for each), then brought back down once.
  NSRect visible = bounds_;
  std::shared_ptr<const NSView> top;
  const NSView* below = this;
  for (auto parent = superview(); parent; parent = parent->superview()) {
    NSPoint a = below->convertPointToSuperview(visible.origin);
    NSPoint b = below->convertPointToSuperview({visible.maxX(), visible.maxY()});
    visible = NSIntersectionRect(NSMakeRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(a.x - b.x),
                                            std::fabs(a.y - b.y)),
                                 parent->bounds());
    if (visible.isEmpty()) return NSZeroRect;
    below = parent.get();
    top = parent;
  }
  return top ? NSIntersectionRect(convertRect(visible, top), bounds_) : visible;
}

// ---- visibility -----------------------------------------------------------------------

void NSView::setHidden(bool hidden) {
  if (hidden_ == hidden) return;
  hidden_ = hidden;
  change_.note();
  if (hidden) {
    if (auto w = window()) w->viewWasHidden(*this);
  }
  noteGeometryChanged();
  if (auto parent = superview()) parent->setNeedsDisplay(true);
}

bool NSView::isHiddenOrHasHiddenAncestor() const {
  for (const NSView* v = this; v; v = v->superview_.lock().get()) {
    if (v->hidden_) return true;
  }
  return false;
}

void NSView::setAlphaValue(double alpha) {
  alphaValue_ = std::clamp(std::isnan(alpha) ? 0.0 : alpha, 0.0, 1.0);
  change_.note();
  setNeedsDisplay(true);
}

// ---- the tree -------------------------------------------------------------------------

void NSView::setSubviews(const std::vector<std::shared_ptr<NSView>>& subviews) {
  auto old = subviews_;
  for (auto& view : old) {
    if (std::ranges::find(subviews, view) == subviews.end()) view->removeFromSuperview();
  }
  for (auto& view : subviews) addSubview(view);
  // Reorder to the given order; every view is now a subview.
  subviews_ = subviews;
  change_.note();
  setNeedsDisplay(true);
  noteGeometryChanged();
}

void NSView::addSubview(const std::shared_ptr<NSView>& view) {
  addSubview(view, NSWindowOrderingMode::above, nullptr);
}

void NSView::addSubview(const std::shared_ptr<NSView>& view, NSWindowOrderingMode place,
                        const std::shared_ptr<NSView>& relativeTo) {
  if (!view || view.get() == this || isDescendantOf(view)) return;
  std::size_t index = subviews_.size();
  if (view->superview().get() == this) removeSubviewInternal(view.get());
  auto anchor = std::ranges::find(subviews_, relativeTo);
  if (place == NSWindowOrderingMode::below) {
    index = relativeTo && anchor != subviews_.end() ? static_cast<std::size_t>(anchor - subviews_.begin()) : 0;
  } else {
    index = relativeTo && anchor != subviews_.end() ? static_cast<std::size_t>(anchor - subviews_.begin()) + 1
                                                    : subviews_.size();
  }
  insertSubviewAt(view, index);
}

void NSView::insertSubviewAt(const std::shared_ptr<NSView>& view, std::size_t index) {
  auto self = sharedAs<NSView>();
  auto keep = view;  // the old superview may hold the last reference
  if (auto old = view->superview(); old && old.get() != this) {
    view->removeFromSuperview();
  }
  view->viewWillMoveToSuperview(self);
  auto newWindow = window();
  if (view->window() != newWindow) view->viewWillMoveToWindow(newWindow);
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(std::min(index, subviews_.size())), view);
  view->superview_ = self;
  view->change_.setAbove(&change_);
  change_.note();
  view->setWindowRecursive(newWindow);
  view->viewDidMoveToSuperview();
  didAddSubview(view);
  setNeedsDisplay(true);
  noteGeometryChanged();
}

void NSView::removeSubviewInternal(const NSView* view) {
  std::erase_if(subviews_, [&](const std::shared_ptr<NSView>& v) { return v.get() == view; });
}

void NSView::removeFromSuperview() {
  auto parent = superview();
  if (!parent) return;
  auto self = sharedAs<NSView>();
  parent->willRemoveSubview(self);
  if (auto w = window()) {
    viewWillMoveToWindow(nullptr);
    w->viewWillLeave(*this);
  }
  viewWillMoveToSuperview(nullptr);
  parent->removeSubviewInternal(this);
  superview_.reset();
  change_.leave(&parent->change_);
  parent->change_.note();
  setWindowRecursive(nullptr);
  viewDidMoveToSuperview();
  parent->setNeedsDisplay(true);
  parent->noteGeometryChanged();
}

void NSView::replaceSubview(const std::shared_ptr<NSView>& oldView, const std::shared_ptr<NSView>& newView) {
  auto it = std::ranges::find(subviews_, oldView);
  if (it == subviews_.end() || !newView) return;
  auto index = static_cast<std::size_t>(it - subviews_.begin());
  oldView->removeFromSuperview();
  insertSubviewAt(newView, index);
}

bool NSView::isDescendantOf(const std::shared_ptr<const NSView>& view) const {
  if (!view) return false;
  for (const NSView* v = this; v; v = v->superview_.lock().get()) {
    if (v == view.get()) return true;
  }
  return false;
}

void NSView::setWindowRecursive(const std::shared_ptr<NSWindow>& window) {
  bool changed = window_.lock() != window;
  if (changed && window && !window_.lock()) viewWillMoveToWindow(window);
  window_ = window;
  for (auto& sub : subviews_) sub->setWindowRecursive(window);
  if (changed) {
    if (window) window->viewDidEnter(*this);
    viewDidMoveToWindow();
  }
}

// ---- layout ---------------------------------------------------------------------------

void NSView::setNeedsLayout(bool needsLayout) {
  needsLayout_ = needsLayout;
  if (needsLayout) {
    if (auto w = window()) {
      w->layoutPending_ = true;
      w->scheduleUpdate();
    }
  }
}

void NSView::layout() {
  if (layoutHandler) layoutHandler(*this);
}

void NSView::layoutSubtreeIfNeeded() { layoutSubtree(false); }

void NSView::layoutSubtree(bool belowLaidOut) {
  auto self = sharedAs<NSView>();
  const bool laidOut = needsLayout_;
  if (laidOut) {
    needsLayout_ = false;
    auto controller = viewController();
    if (controller) controller->viewWillLayout();
    layout();
    if (controller) controller->viewDidLayout();
  } else if (belowLaidOut) {
    ancestorWasLaidOut();
  }
  auto children = subviews_;  // layout may rearrange the tree
  for (auto& sub : children) sub->layoutSubtree(belowLaidOut || laidOut);
}

void NSView::resizeSubviewsWithOldSize(NSSize oldSize) {
  auto children = subviews_;
  for (auto& sub : children) sub->resizeWithOldSuperviewSize(oldSize);
}

namespace {
// Shares the change of the superview's size among the flexible parts of one axis (leading
// margin, size, trailing margin) in proportion to their present lengths.
void distribute(double delta, bool flexLead, bool flexSize, bool flexTrail, double lead, double size,
                double trail, double& newLead, double& newSize) {
  newLead = lead;
  newSize = size;
  int count = int(flexLead) + int(flexSize) + int(flexTrail);
  if (count == 0 || delta == 0) return;
  double total = (flexLead ? std::max(lead, 0.0) : 0) + (flexSize ? std::max(size, 0.0) : 0) +
                 (flexTrail ? std::max(trail, 0.0) : 0);
  auto share = [&](bool flex, double length) {
    if (!flex) return 0.0;
    return total > 0 ? delta * std::max(length, 0.0) / total : delta / count;
  };
  newLead = lead + share(flexLead, lead);
  newSize = std::max(0.0, size + share(flexSize, size));
}
}  // namespace

void NSView::resizeWithOldSuperviewSize(NSSize oldSize) {
  auto parent = superview();
  if (!parent || !translatesAutoresizingMaskIntoConstraints) return;
  NSSize newSize = parent->bounds().size;
  auto mask = autoresizingMask;
  NSRect f = frame_;
  double x, w, y, h;
  distribute(newSize.width - oldSize.width, mask & NSViewMinXMargin, mask & NSViewWidthSizable,
             mask & NSViewMaxXMargin, f.minX(), f.width(), oldSize.width - f.maxX(), x, w);
  distribute(newSize.height - oldSize.height, mask & NSViewMinYMargin, mask & NSViewHeightSizable,
             mask & NSViewMaxYMargin, f.minY(), f.height(), oldSize.height - f.maxY(), y, h);
  setFrame(NSMakeRect(x, y, w, h));
}

// ---- constraints ----------------------------------------------------------------------

void NSView::addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
  if (!constraint || std::ranges::find(constraints_, constraint) != constraints_.end()) return;
  constraints_.push_back(constraint);
  constraint->setHolder(sharedAs<NSView>());
  setNeedsLayout(true);
}

void NSView::addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (auto& c : constraints) addConstraint(c);
}

void NSView::removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
  auto it = std::ranges::find(constraints_, constraint);
  if (it == constraints_.end()) return;
  constraints_.erase(it);
  constraint->setHolder(nullptr);
  setNeedsLayout(true);
}

void NSView::removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (auto& c : constraints) removeConstraint(c);
}

std::shared_ptr<NSLayoutConstraint> NSView::constraintWithIdentifier(std::string_view identifier) const {
  for (auto& c : constraints_) {
    if (c->identifier == identifier) return c;
  }
  for (auto& sub : subviews_) {
    if (auto found = sub->constraintWithIdentifier(identifier)) return found;
  }
  return nullptr;
}

// ---- coordinates ----------------------------------------------------------------------

namespace {
bool parentFlipped(const NSView& view) {
  auto parent = view.superview();
  return parent && parent->isFlipped();
}
double scaleOf(double frameLength, double boundsLength) {
  return boundsLength != 0 ? frameLength / boundsLength : 1.0;
}
}  // namespace

NSPoint NSView::convertPointToSuperview(NSPoint p) const {
  double sx = scaleOf(frame_.width(), bounds_.width());
  double sy = scaleOf(frame_.height(), bounds_.height());
  double x = frame_.minX() + (p.x - bounds_.minX()) * sx;
  double dy = (p.y - bounds_.minY()) * sy;
  double y = isFlipped() == parentFlipped(*this) ? frame_.minY() + dy : frame_.maxY() - dy;
  return {x, y};
}

NSPoint NSView::convertPointFromSuperview(NSPoint q) const {
  double sx = scaleOf(frame_.width(), bounds_.width());
  double sy = scaleOf(frame_.height(), bounds_.height());
  double x = bounds_.minX() + (q.x - frame_.minX()) / sx;
  double dy = isFlipped() == parentFlipped(*this) ? q.y - frame_.minY() : frame_.maxY() - q.y;
  return {x, bounds_.minY() + dy / sy};
}

std::shared_ptr<const NSView> NSView::rootView() const {
  auto view = std::static_pointer_cast<const NSView>(shared_from_this());
  while (auto parent = view->superview()) view = parent;
  return view;
}

NSPoint NSView::convertToRoot(NSPoint p) const {
  for (const NSView* v = this; v; v = v->superview_.lock().get()) p = v->convertPointToSuperview(p);
  return p;
}

NSPoint NSView::convertFromRoot(NSPoint p) const {
  std::vector<const NSView*> chain;
  for (const NSView* v = this; v; v = v->superview_.lock().get()) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->convertPointFromSuperview(p);
  return p;
}

NSPoint NSView::convertPoint(NSPoint point, const std::shared_ptr<const NSView>& fromView) const {
  if (fromView.get() == this) return point;
  NSPoint base = point;
  if (fromView) {
    base = fromView->convertToRoot(point);
    auto fromWindow = fromView->window();
    auto toWindow = window();
    if (fromWindow && toWindow && fromWindow != toWindow) {
      base = toWindow->convertPointFromScreen(fromWindow->convertPointToScreen(base));
    }
  }
  return convertFromRoot(base);
}

NSPoint NSView::convertPointToView(NSPoint point, const std::shared_ptr<const NSView>& toView) const {
  if (toView.get() == this) return point;
  NSPoint base = convertToRoot(point);
  if (!toView) return base;
  auto fromWindow = window();
  auto toWindow = toView->window();
  if (fromWindow && toWindow && fromWindow != toWindow) {
    base = toWindow->convertPointFromScreen(fromWindow->convertPointToScreen(base));
  }
  return toView->convertFromRoot(base);
}

namespace {
NSRect rectFromCorners(NSPoint a, NSPoint b) {
  return NSMakeRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(a.x - b.x), std::fabs(a.y - b.y));
}
}  // namespace

NSRect NSView::convertRect(NSRect rect, const std::shared_ptr<const NSView>& fromView) const {
  return rectFromCorners(convertPoint(rect.origin, fromView),
                         convertPoint({rect.maxX(), rect.maxY()}, fromView));
}

NSRect NSView::convertRectToView(NSRect rect, const std::shared_ptr<const NSView>& toView) const {
  return rectFromCorners(convertPointToView(rect.origin, toView),
                         convertPointToView({rect.maxX(), rect.maxY()}, toView));
}

std::shared_ptr<NSView> NSView::hitTest(NSPoint pointInSuperview) {
  if (hidden_ || !(alphaValue_ > 0)) return nullptr;
  NSPoint local = convertPointFromSuperview(pointInSuperview);
  if (!NSPointInRect(local, bounds_)) return nullptr;
  auto children = subviews_;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (auto hit = (*it)->hitTest(local)) return hit;
  }
  return sharedAs<NSView>();
}

bool NSView::mouseInRect(NSPoint point, NSRect rect) const { return NSPointInRect(point, rect); }

// ---- drawing --------------------------------------------------------------------------

void NSView::setNeedsDisplay(bool needsDisplay) {
  needsDisplay_ = needsDisplay;
  if (needsDisplay) {
    change_.note();
    if (auto w = window()) w->scheduleUpdate();
  }
}

void NSView::setNeedsDisplayInRect(NSRect rect) {
  if (!rect.isEmpty()) setNeedsDisplay(true);
}

void NSView::display() { drawPass(false); }

void NSView::displayIfNeeded() { drawPass(true); }

void NSView::drawPass(bool onlyDirty) {
  // Views draw into the drawing in progress (a snapshot), else into their window's
  // backing store, else into a scratch recording, so drawRect always has a context.
  auto current = NSGraphicsContext::currentContext();
  std::shared_ptr<GraphicsContext> port = current ? current->graphicsPort() : nullptr;
  if (!port) {
    auto w = window();
    port = w ? std::static_pointer_cast<GraphicsContext>(w->backingStore()) : RecordingContext::make();
  }
  std::function<void(NSView&)> pass = [&](NSView& view) {
    if (view.isHidden()) return;
    if (!onlyDirty || view.needsDisplay_) {
      port->saveGState();
      ViewTreeRenderer::applyTransformFromBase(view, *port);
      port->clipToRect(view.bounds());
      view.drawCount_++;
      ViewTreeRenderer::drawOwnContent(view, *port);
      view.needsDisplay_ = false;
      port->restoreGState();
    }
    auto children = view.subviews_;
    for (auto& sub : children) pass(*sub);
  };
  pass(*this);
}

void NSView::drawRect(NSRect /*dirtyRect*/) {}

// ---- tracking areas, cursor rectangles, recognisers ------------------------------------

void NSView::addTrackingArea(const std::shared_ptr<NSTrackingArea>& area) {
  if (!area || std::ranges::find(trackingAreas_, area) != trackingAreas_.end()) return;
  trackingAreas_.push_back(area);
  if (auto w = window()) w->trackingAreaAdded(*this, *area);
}

void NSView::removeTrackingArea(const std::shared_ptr<NSTrackingArea>& area) {
  std::erase(trackingAreas_, area);
}

void NSView::addCursorRect(NSRect rect, const std::shared_ptr<NSCursor>& cursor) {
  if (!cursor || rect.isEmpty()) return;
  cursorRects_.push_back({rect, cursor});
}

void NSView::removeCursorRect(NSRect rect, const std::shared_ptr<NSCursor>& cursor) {
  std::erase_if(cursorRects_, [&](const CursorRect& c) { return c.rect == rect && c.cursor == cursor; });
}

void NSView::discardCursorRects() { cursorRects_.clear(); }

void NSView::addGestureRecognizer(const std::shared_ptr<NSGestureRecognizer>& recognizer) {
  if (!recognizer || std::ranges::find(recognizers_, recognizer) != recognizers_.end()) return;
  if (auto old = recognizer->view()) old->removeGestureRecognizer(recognizer);
  recognizers_.push_back(recognizer);
  recognizer->setView(sharedAs<NSView>());
}

void NSView::removeGestureRecognizer(const std::shared_ptr<NSGestureRecognizer>& recognizer) {
  auto it = std::ranges::find(recognizers_, recognizer);
  if (it == recognizers_.end()) return;
  recognizers_.erase(it);
  recognizer->setView(nullptr);
}

void NSView::noteGeometryChanged() {
  if (auto w = window()) w->viewGeometryChanged(*this);
}

void NSView::postFrameChanged() {
  if (!postsFrameChangedNotifications) return;
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(Constants::frameDidChangeNotification),
                                                              sharedAs<NSView>());
}

std::shared_ptr<NSResponder> NSView::nextResponder() const {
  if (auto controller = viewController_.lock()) return controller;
  if (auto parent = superview()) return parent;
  if (auto explicitNext = NSResponder::nextResponder()) return explicitNext;
  return window();
}

// ---- drag and drop --------------------------------------------------------------------

void NSView::registerForDraggedTypes(const std::vector<std::string>& types) {
  for (const auto& type : types) {
    if (!type.empty() && std::find(draggedTypes_.begin(), draggedTypes_.end(), type) == draggedTypes_.end()) {
      draggedTypes_.push_back(type);
    }
  }
}

NSDragOperation NSView::draggingEntered(const std::shared_ptr<NSDraggingInfo>&) { return NSDragOperationNone; }

NSDragOperation NSView::draggingUpdated(const std::shared_ptr<NSDraggingInfo>& sender) {
  return sender ? sender->enteredOperation_ : NSDragOperationNone;
}

std::shared_ptr<NSDraggingSession> NSView::beginDraggingSessionWithItems(
    const std::vector<std::shared_ptr<NSDraggingItem>>& items, const std::shared_ptr<NSEvent>& event,
    const std::shared_ptr<NSDraggingSource>& source) {
  return NSDraggingSession::begin(items, event, source, sharedAs<NSView>());
}
