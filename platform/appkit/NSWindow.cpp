#include "platform/appkit/NSWindow.h"

#include <algorithm>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSGestureRecognizer.h"
#include "platform/appkit/NSScreen.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/appkit/WindowServer.h"
#include "platform/foundation/KeepAlive.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/render/RecordingContext.h"

std::shared_ptr<NSWindowFrameView> NSWindowFrameView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSWindowFrameView>(new NSWindowFrameView(frame)));
}

std::shared_ptr<NSWindow> NSWindow::initWithContentRect(NSRect contentRect, NSWindowStyleMask style,
                                                        NSBackingStoreType, bool) {
  auto window = std::shared_ptr<NSWindow>(new NSWindow());
  window->setUp(contentRect, style);
  return window;
}

std::shared_ptr<NSWindow> NSWindow::windowWithContentViewController(
    const std::shared_ptr<NSViewController>& controller) {
  NSRect content = NSMakeRect(0, 0, 480, 270);
  if (controller) content.size = controller->view()->frame().size;
  auto window = initWithContentRect(content, NSWindowStyleMaskTitled | NSWindowStyleMaskClosable |
                                                 NSWindowStyleMaskResizable);
  window->setContentViewController(controller);
  return window;
}

void NSWindow::setUp(NSRect contentRect, NSWindowStyleMask style) {
  styleMask_ = style;
  frame_ = frameRectForContentRect(contentRect);
  frameView_ = NSWindowFrameView::initWithFrame(NSMakeRect(0, 0, frame_.width(), frame_.height()));
  frameView_->window_ = sharedAs<NSWindow>();
  windowNumber_ = NSApplication::sharedApplication()->registerWindow(sharedAs<NSWindow>());
  setContentView(NSView::initWithFrame(NSMakeRect(0, 0, contentRect.width(), contentRect.height())));
  firstResponder_ = sharedAs<NSResponder>();
}

NSWindow::~NSWindow() = default;

// ---- geometry -------------------------------------------------------------------------

NSRect NSWindow::contentRectForFrameRect(NSRect frame) const {
  bool titled = (styleMask_ & NSWindowStyleMaskTitled) && !(styleMask_ & NSWindowStyleMaskFullSizeContentView);
  if (titled) frame.size.height = std::max(0.0, frame.size.height - Constants::titleBarHeight);
  return frame;
}

NSRect NSWindow::frameRectForContentRect(NSRect content) const {
  bool titled = (styleMask_ & NSWindowStyleMaskTitled) && !(styleMask_ & NSWindowStyleMaskFullSizeContentView);
  if (titled) content.size.height += Constants::titleBarHeight;
  return content;
}

void NSWindow::setStyleMask(NSWindowStyleMask mask) {
  NSRect content = contentRectForFrameRect(frame_);
  styleMask_ = mask;
  (void)content;
  layoutContent();
}

void NSWindow::layoutContent() {
  if (!contentView_) return;
  NSRect content = contentRectForFrameRect(frame_);
  contentView_->setFrame(NSMakeRect(0, 0, content.width(), content.height()));
}

void NSWindow::setFrame(NSRect frame, bool display) {
  bool resized = frame.size != frame_.size;
  frame_ = frame;
  frameView_->setFrame(NSMakeRect(0, 0, frame.width(), frame.height()));
  layoutContent();
  if (resized) post(Constants::didResizeNotification);
  if (auto server = WindowServer::current(); server && visible_) server->windowDidChangeFrame(sharedAs<NSWindow>());
  if (display) this->display();
}

void NSWindow::setFrameOrigin(NSPoint origin) { setFrame({origin, frame_.size}, false); }

void NSWindow::setContentSize(NSSize size) {
  NSRect content = contentRectForFrameRect(frame_);
  content.size = size;
  NSRect frame = frameRectForContentRect(content);
  // Keep the top edge where it is, as a window grows downwards on the screen.
  frame.origin.y = frame_.maxY() - frame.height();
  setFrame(frame, false);
}

NSPoint NSWindow::convertPointToScreen(NSPoint p) const { return {p.x + frame_.minX(), p.y + frame_.minY()}; }
NSPoint NSWindow::convertPointFromScreen(NSPoint p) const { return {p.x - frame_.minX(), p.y - frame_.minY()}; }
NSRect NSWindow::convertRectToScreen(NSRect r) const { return NSOffsetRect(r, frame_.minX(), frame_.minY()); }
NSRect NSWindow::convertRectFromScreen(NSRect r) const { return NSOffsetRect(r, -frame_.minX(), -frame_.minY()); }

std::shared_ptr<NSScreen> NSWindow::screen() const { return NSScreen::screenShowingMostOf(frame_); }

NSPoint NSWindow::mouseLocationOutsideOfEventStream() const {
  return convertPointFromScreen(NSEvent::mouseLocation());
}

// ---- views ----------------------------------------------------------------------------

void NSWindow::setContentView(const std::shared_ptr<NSView>& view) {
  if (contentView_ == view) return;
  if (contentView_) contentView_->removeFromSuperview();
  contentView_ = view;
  if (!view) return;
  view->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  frameView_->addSubview(view);
  layoutContent();
}

void NSWindow::setContentViewController(const std::shared_ptr<NSViewController>& controller) {
  contentViewController_ = controller;
  if (!controller) return;
  auto view = controller->view();
  NSRect content = contentRectForFrameRect(frame_);
  if (view && view->frame().size != content.size) setContentSize(view->frame().size);
  setContentView(view);
}

void NSWindow::setWindowController(const std::shared_ptr<NSWindowController>& controller) {
  windowController_ = controller;
}

// ---- ordering and key state -----------------------------------------------------------

bool NSWindow::isKeyWindow() const {
  return NSApplication::sharedApplication()->keyWindow().get() == this;
}

bool NSWindow::isMainWindow() const {
  return NSApplication::sharedApplication()->mainWindow().get() == this;
}

bool NSWindow::canBecomeKeyWindow() const {
  return (styleMask_ & (NSWindowStyleMaskTitled | NSWindowStyleMaskResizable)) != 0;
}

void NSWindow::setVisible(bool visible) {
  auto app = NSApplication::sharedApplication();
  auto controller = contentViewController_;
  if (visible) {
    bool appearing = !visible_;
    if (appearing && controller) controller->noteViewWillAppear();
    visible_ = true;
    app->orderWindowFront(sharedAs<NSWindow>());
    layoutIfNeeded();
    if (auto server = WindowServer::current(); server && appearing) server->windowDidOrderFront(sharedAs<NSWindow>());
    if (appearing) {
      // The pointer may have gone anywhere while the window was away (the server has told
      // where it is now): areas it left hear so now, not at its next move over the window.
      updateTrackingAreasOfDirtyViews();
      updateTrackingAreasAtPoint(mouseLocationOutsideOfEventStream(), nullptr);
    }
    scheduleUpdate();
    if (appearing && controller) controller->noteViewDidAppear();
  } else {
    if (controller) controller->noteViewWillDisappear();
    visible_ = false;
    // Nothing of a window that is away lies under the pointer.
    trackPointer(std::nullopt, nullptr);
    app->orderWindowOut(sharedAs<NSWindow>());
    if (auto server = WindowServer::current()) server->windowDidOrderOut(sharedAs<NSWindow>());
    if (controller) controller->noteViewDidDisappear();
  }
}

void NSWindow::makeKeyAndOrderFront(const std::shared_ptr<NSObject>&) {
  setVisible(true);
  makeKeyWindow();
}

void NSWindow::makeKeyWindow() {
  if (!canBecomeKeyWindow()) return;
  NSApplication::sharedApplication()->setKeyWindow(sharedAs<NSWindow>());
}

void NSWindow::orderFront(const std::shared_ptr<NSObject>&) { setVisible(true); }
void NSWindow::orderFrontRegardless() { setVisible(true); }

void NSWindow::orderOut(const std::shared_ptr<NSObject>&) {
  if (!visible_) return;
  KeepAlive keep(*this);
  setVisible(false);
}

void NSWindow::becomeKeyWindow() {
  if (auto d = delegate()) d->windowDidBecomeKey(nullptr);
  post(Constants::didBecomeKeyNotification);
  if (firstResponder().get() == this) {
    if (auto initial = initialFirstResponder()) makeFirstResponder(initial);
  }
}

void NSWindow::resignKeyWindow() {
  if (auto d = delegate()) d->windowDidResignKey(nullptr);
  post(Constants::didResignKeyNotification);
}

void NSWindow::close() {
  KeepAlive keep(*this);
  if (auto d = delegate()) d->windowWillClose(nullptr);
  post(Constants::willCloseNotification);
  orderOut(nullptr);
}

void NSWindow::performClose(const std::shared_ptr<NSObject>&) {
  KeepAlive keep(*this);
  if (auto d = delegate(); d && !d->windowShouldClose(keep.get())) return;
  close();
}

void NSWindow::post(std::string_view name) {
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(name), sharedAs<NSWindow>());
}

// ---- first responder ------------------------------------------------------------------

std::shared_ptr<NSResponder> NSWindow::firstResponder() const {
  if (auto r = firstResponder_.lock()) return r;
  return std::const_pointer_cast<NSWindow>(sharedAs<NSWindow>());
}

bool NSWindow::ownsResponder(const NSResponder& responder) const {
  if (&responder == this) return true;
  if (auto view = dynamic_cast<const NSView*>(&responder)) return view->window().get() == this;
  return false;
}

bool NSWindow::makeFirstResponder(const std::shared_ptr<NSResponder>& responder) {
  auto self = sharedAs<NSWindow>();
  auto target = responder ? responder : std::static_pointer_cast<NSResponder>(self);
  auto current = firstResponder();
  if (current == target) return true;
  if (target.get() != this && (!ownsResponder(*target) || !target->acceptsFirstResponder())) return false;
  if (current.get() != this && !current->resignFirstResponder()) return false;
  // Resigning may have moved the first responder itself (a field editor ending).
  firstResponder_ = self;
  if (target.get() == this) return true;
  if (!target->becomeFirstResponder()) return false;
  // becomeFirstResponder may hand focus on (a text field to its field editor).
  if (firstResponder().get() == this) firstResponder_ = target;
  return true;
}

std::shared_ptr<NSTextView> NSWindow::fieldEditor(bool createWhenNeeded, const std::shared_ptr<NSObject>&) {
  if (!fieldEditor_ && createWhenNeeded) {
    fieldEditor_ = NSTextView::initWithFrame(NSZeroRect);
    fieldEditor_->setFieldEditor(true);
  }
  return fieldEditor_;
}

void NSWindow::endEditingFor(const std::shared_ptr<NSObject>&) {
  if (fieldEditor_ && firstResponder() == fieldEditor_) makeFirstResponder(nullptr);
}

void NSWindow::fieldEditingEnded(const std::shared_ptr<NSTextView>& editor) {
  if (editor && firstResponder_.lock() == editor) firstResponder_ = sharedAs<NSWindow>();
}

std::vector<std::shared_ptr<NSView>> NSWindow::keyViewLoop() const {
  std::vector<std::shared_ptr<NSView>> loop;
  std::function<void(const std::shared_ptr<NSView>&)> walk = [&](const std::shared_ptr<NSView>& view) {
    if (view->isHidden()) return;
    if (view->acceptsFirstResponder() && view != fieldEditor_) loop.push_back(view);
    // A shown subview covering the whole of its superview (a screen laid over the others)
    // takes every click there, so Tab does not reach the views it covers either.
    const auto& subviews = view->subviews();
    auto from = subviews.begin();
    for (auto it = subviews.begin(); it != subviews.end(); ++it) {
      if (!(*it)->isHidden() && (*it)->alphaValue() > 0 && NSContainsRect((*it)->frame(), view->bounds())) from = it;
    }
    for (auto it = from; it != subviews.end(); ++it) walk(*it);
  };
  if (contentView_) walk(contentView_);
  return loop;
}

std::shared_ptr<NSView> NSWindow::focusedView() const {
  auto responder = firstResponder();
  if (auto editor = asA<NSTextView>(responder); editor && editor->isFieldEditor()) {
    if (auto owner = asA<NSView>(editor->delegateObject())) return owner;
  }
  return asA<NSView>(responder);
}

void NSWindow::selectNextKeyView(const std::shared_ptr<NSObject>& sender) { moveKeyView(sender, true); }
void NSWindow::selectPreviousKeyView(const std::shared_ptr<NSObject>& sender) { moveKeyView(sender, false); }

void NSWindow::moveKeyView(const std::shared_ptr<NSObject>& sender, bool forward) {
  auto loop = keyViewLoop();
  if (loop.empty()) return;
  // The field whose editing just ended is the place to move on from.
  auto current = focusedView();
  if (!current) current = asA<NSView>(sender);
  auto it = std::ranges::find(loop, current);
  std::shared_ptr<NSView> target;
  if (forward) {
    target = it == loop.end() || std::next(it) == loop.end() ? loop.front() : *std::next(it);
  } else {
    target = it == loop.end() || it == loop.begin() ? loop.back() : *std::prev(it);
  }
  makeFirstResponder(target);
}

// ---- event delivery -------------------------------------------------------------------

std::shared_ptr<NSGestureRecognizer> NSWindow::recognizerFor(const std::shared_ptr<NSView>& view) const {
  for (auto v = view; v; v = v->superview()) {
    for (auto& recognizer : v->gestureRecognizers()) {
      if (recognizer->isEnabled) return recognizer;
    }
  }
  return nullptr;
}

void NSWindow::deliverMouse(const std::shared_ptr<NSEvent>& event) {
  auto hit = frameView_->hitTest(event->locationInWindow());
  switch (event->type()) {
    case NSEventType::leftMouseDown: {
      if (!isKeyWindow() && canBecomeKeyWindow()) makeKeyWindow();
      if (!hit) return;
      if (auto recognizer = recognizerFor(hit)) {
        trackingRecognizer_ = recognizer;
        recognizer->mouseDown(event);
        return;
      }
      if (hit->acceptsFirstResponder() && focusedView() != hit) makeFirstResponder(hit);
      mouseDownView_ = hit;
      hit->mouseDown(event);
      return;
    }
    case NSEventType::leftMouseDragged:
      if (trackingRecognizer_) {
        trackingRecognizer_->mouseDragged(event);
      } else if (auto target = mouseDownView_.lock()) {
        target->mouseDragged(event);
      } else if (hit) {
        hit->mouseDragged(event);
      }
      return;
    case NSEventType::leftMouseUp:
      if (auto recognizer = std::exchange(trackingRecognizer_, nullptr)) {
        recognizer->mouseUp(event);
      } else if (auto target = mouseDownView_.lock()) {
        mouseDownView_.reset();
        target->mouseUp(event);
      } else if (hit) {
        hit->mouseUp(event);
      }
      return;
    case NSEventType::rightMouseDown:
      rightMouseDownView_ = hit;
      if (hit) hit->rightMouseDown(event);
      return;
    case NSEventType::rightMouseUp:
      if (auto target = rightMouseDownView_.lock()) {
        rightMouseDownView_.reset();
        target->rightMouseUp(event);
      } else if (hit) {
        hit->rightMouseUp(event);
      }
      return;
    case NSEventType::rightMouseDragged:
      if (auto target = rightMouseDownView_.lock()) target->rightMouseDragged(event);
      return;
    case NSEventType::otherMouseDown:
      if (hit) hit->otherMouseDown(event);
      return;
    case NSEventType::otherMouseUp:
      if (hit) hit->otherMouseUp(event);
      return;
    case NSEventType::scrollWheel:
      if (hit) hit->scrollWheel(event);
      return;
    default:
      return;
  }
}

void NSWindow::keyDown(const std::shared_ptr<NSEvent>& event) {
  const auto modifiers = event->modifierFlags() & (NSEventModifierFlagCommand | NSEventModifierFlagControl |
                                                   NSEventModifierFlagOption | NSEventModifierFlagShift);
  const auto& key = event->charactersIgnoringModifiers();
  const bool closeKey = key.empty() ? event->keyCode() == NSKeyCode::w : (key == "w" || key == "W");
  std::string_view command;
  if (modifiers == NSEventModifierFlagCommand && closeKey) command = "performClose:";
  if (modifiers == 0 && event->keyCode() == NSKeyCode::escape) command = "cancelOperation:";
  if (!command.empty() && tryToPerform(command, sharedAs<NSWindow>())) return;
  NSResponder::keyDown(event);
}

bool NSWindow::respondsToCommand(std::string_view selector) const {
  if (selector == "performClose:") return (styleMask_ & NSWindowStyleMaskClosable) != 0;
  if (selector == "cancelOperation:") return NSApplication::sharedApplication()->modalWindow().get() == this;
  return NSResponder::respondsToCommand(selector);
}

void NSWindow::performCommand(std::string_view selector, const std::shared_ptr<NSObject>& sender) {
  if (selector == "performClose:" || selector == "cancelOperation:") {
    performClose(sender);
    return;
  }
  NSResponder::performCommand(selector, sender);
}

void NSWindow::sendEvent(const std::shared_ptr<NSEvent>& event) {
  if (!event) return;
  KeepAlive keep(*this);
  updateTrackingAreasOfDirtyViews();
  switch (event->type()) {
    case NSEventType::mouseMoved:
      updateTrackingAreasAtPoint(event->locationInWindow(), event);
      updateCursorAt(event->locationInWindow());
      if (acceptsMouseMovedEvents) firstResponder()->mouseMoved(event);
      return;
    case NSEventType::keyDown:
    case NSEventType::keyUp:
    case NSEventType::flagsChanged:
      firstResponder()->dispatchEventByType(event);
      return;
    case NSEventType::mouseEntered:
    case NSEventType::mouseExited:
      if (auto area = event->trackingArea()) {
        if (auto owner = asA<NSResponder>(area->owner())) owner->dispatchEventByType(event);
      }
      return;
    default:
      if (event->isMouseEvent()) deliverMouse(event);
      return;
  }
}

namespace {
bool areaActive(const NSTrackingArea& area, const NSWindow& window, const NSView& view) {
  auto options = area.options();
  if (options & NSTrackingActiveAlways) return true;
  if (options & NSTrackingActiveInActiveApp) return NSApplication::sharedApplication()->isActive();
  if (options & NSTrackingActiveInKeyWindow) return window.isKeyWindow();
  if (options & NSTrackingActiveWhenFirstResponder) return window.firstResponder().get() == &view;
  return false;
}

void collectViews(const std::shared_ptr<NSView>& view, std::vector<std::shared_ptr<NSView>>& out) {
  out.push_back(view);
  for (auto& sub : view->subviews()) collectViews(sub, out);
}

// The pointer follows what hit testing does (NSView::hitTest): a view that is hidden or at
// alpha 0, or lies inside one, shows nothing and so is not under the pointer. A panel faded
// out but not yet taken away neither lights its buttons nor sets its cursor.
bool showsNothing(const NSView& view) {
  for (const NSView* v = &view; v; v = v->superview().get()) {
    if (v->isHidden() || !(v->alphaValue() > 0)) return true;
  }
  return false;
}

bool pointInArea(const NSView& view, const NSTrackingArea& area, NSPoint locationInWindow) {
  if (showsNothing(view)) return false;
  // The pointer is over a view only where the view shows: not under its clip, nor beyond the
  // window's edge (a pointer resting on the tray icon below the panel is outside it).
  NSRect rect = (area.options() & NSTrackingInVisibleRect) ? view.visibleRect()
                                                            : NSIntersectionRect(area.rect(), view.visibleRect());
  NSPoint local = view.convertPoint(locationInWindow, nullptr);
  return NSPointInRect(local, rect);
}
}  // namespace

void NSWindow::updateTrackingAreasAtPoint(NSPoint location, const std::shared_ptr<NSEvent>& cause) {
  trackPointer(location, cause);
}

void NSWindow::trackPointer(std::optional<NSPoint> pointer, const std::shared_ptr<NSEvent>& cause) {
  const NSPoint location = pointer.value_or(mouseLocationOutsideOfEventStream());
  std::vector<std::shared_ptr<NSView>> views;
  collectViews(frameView_, views);
  struct Pending {
    std::shared_ptr<NSTrackingArea> area;
    NSEventType type;
  };
  std::vector<Pending> exits, enters, moves;
  for (auto& view : views) {
    for (auto& area : view->trackingAreas()) {
      if (pointer && !areaActive(*area, *this, *view)) continue;
      bool inside = pointer && pointInArea(*view, *area, *pointer);
      bool wasInside = area->isPointerInside();
      area->setPointerInside(inside);
      if (area->options() & NSTrackingMouseEnteredAndExited) {
        if (wasInside && !inside) exits.push_back({area, NSEventType::mouseExited});
        if (!wasInside && inside) enters.push_back({area, NSEventType::mouseEntered});
      }
      if ((area->options() & NSTrackingMouseMoved) && inside && cause &&
          cause->type() == NSEventType::mouseMoved) {
        moves.push_back({area, NSEventType::mouseMoved});
      }
    }
  }
  auto deliver = [&](const Pending& p) {
    auto owner = asA<NSResponder>(p.area->owner());
    if (!owner) return;
    if (p.type == NSEventType::mouseMoved) {
      owner->mouseMoved(cause);
      return;
    }
    auto event = NSEvent::enterExitEventWithType(p.type, location, cause ? cause->modifierFlags() : 0,
                                                 cause ? cause->timestamp() : 0, windowNumber_, p.area);
    owner->dispatchEventByType(event);
  };
  for (auto& p : exits) deliver(p);
  for (auto& p : enters) deliver(p);
  for (auto& p : moves) deliver(p);
}

void NSWindow::updateCursorAt(NSPoint location) {
  std::vector<std::shared_ptr<NSView>> views;
  collectViews(frameView_, views);
  if (!cursorRectsValid_) {
    for (auto& view : views) {
      view->discardCursorRects();
      if (!view->isHiddenOrHasHiddenAncestor()) view->resetCursorRects();
    }
    cursorRectsValid_ = true;
  }
  std::shared_ptr<NSCursor> chosen;
  if (NSPointInRect(location, frameView_->frame())) {
    for (auto& view : views) {  // later views are in front, so the last match wins
      if (showsNothing(*view)) continue;
      NSPoint local = view->convertPoint(location, nullptr);
      for (auto& rect : view->cursorRects()) {
        if (NSPointInRect(local, NSIntersectionRect(rect.rect, view->visibleRect()))) chosen = rect.cursor;
      }
    }
  }
  (chosen ? chosen : NSCursor::arrowCursor())->set();
}

void NSWindow::invalidateCursorRectsForView(const std::shared_ptr<NSView>&) { cursorRectsValid_ = false; }

// ---- notes from the views -------------------------------------------------------------

void NSWindow::viewGeometryChanged(NSView& view) {
  cursorRectsValid_ = false;
  if (!view.trackingUpdatePending_) {
    view.trackingUpdatePending_ = true;
    trackingDirty_.push_back(view.sharedAs<NSView>());
  }
  scheduleUpdate();
}

void NSWindow::viewDidEnter(NSView& view) {
  layoutPending_ = true;
  NSPoint mouse = mouseLocationOutsideOfEventStream();
  for (auto& area : view.trackingAreas()) {
    if (!(area->options() & NSTrackingAssumeInside)) area->setPointerInside(pointInArea(view, *area, mouse));
  }
  viewGeometryChanged(view);
}

void NSWindow::viewWillLeave(NSView& view) {
  if (auto focused = focusedView(); focused && focused->isDescendantOf(view.sharedAs<NSView>())) {
    makeFirstResponder(nullptr);
  }
  if (auto down = mouseDownView_.lock(); down && down->isDescendantOf(view.sharedAs<NSView>())) {
    mouseDownView_.reset();
  }
  cursorRectsValid_ = false;
}

void NSWindow::viewWasHidden(NSView& view) {
  auto focused = focusedView();
  if (focused && focused->isDescendantOf(view.sharedAs<NSView>())) makeFirstResponder(nullptr);
}

void NSWindow::trackingAreaAdded(NSView& view, NSTrackingArea& area) {
  if (!(area.options() & NSTrackingAssumeInside)) {
    area.setPointerInside(pointInArea(view, area, mouseLocationOutsideOfEventStream()));
  }
}

void NSWindow::scheduleUpdate() {
  if (updateScheduled_) return;
  updateScheduled_ = true;
  std::weak_ptr<NSWindow> weak = sharedAs<NSWindow>();
  NSRunLoop::main()->perform([weak] {
    if (auto window = weak.lock()) window->runScheduledUpdate();
  });
}

void NSWindow::runScheduledUpdate() {
  updateScheduled_ = false;
  update();
}

void NSWindow::update() {
  layoutIfNeeded();
  updateTrackingAreasOfDirtyViews();
  if (visible_) displayIfNeeded();
}

void NSWindow::updateTrackingAreasOfDirtyViews() {
  auto dirty = std::exchange(trackingDirty_, {});
  for (auto& weak : dirty) {
    auto view = weak.lock();
    if (!view) continue;
    view->trackingUpdatePending_ = false;
    if (view->window().get() == this) {
      view->updateTrackingAreas();
    } else if (auto other = view->window()) {
      other->viewGeometryChanged(*view);  // it moved to another window meanwhile
    }
  }
}

void NSWindow::layoutIfNeeded() {
  // Layout can mark views again; a few rounds settle any sensible tree.
  for (int round = 0; round < 8 && layoutPending_; ++round) {
    frameView_->layoutSubtreeIfNeeded();
    bool again = false;
    std::function<void(const NSView&)> check = [&](const NSView& v) {
      if (v.needsLayout()) again = true;
      for (auto& sub : v.subviews()) check(*sub);
    };
    check(*frameView_);
    layoutPending_ = again;
  }
}

void NSWindow::displayIfNeeded() { displayPass(false); }

void NSWindow::display() { displayPass(true); }

// Marks the views of a subtree displayed, passing by a subtree in which nothing changed
// since it was last marked (no view in it can have asked for display since).
void NSWindow::markDisplayed(NSView& view) {
  if (view.isHidden()) return;  // as a drawing pass leaves it, still to be displayed
  const std::uint64_t change = view.treeChange();
  if (view.displayedChange_ == change) return;
  view.needsDisplay_ = false;
  for (auto& sub : view.subviews_) markDisplayed(*sub);
  view.displayedChange_ = change;
}

void NSWindow::displayPass(bool whole) {
  layoutIfNeeded();
  backingStore()->clear();
  // Where the desktop paints the window from its views, drawing them all again into the
  // backing store would only repeat that work: they are marked as displayed instead.
  auto server = WindowServer::current();
  if (server && visible_ && server->windowWillDisplay(sharedAs<NSWindow>(), whole)) {
    markDisplayed(*frameView_);
    return;
  }
  if (whole) {
    frameView_->display();
  } else {
    frameView_->displayIfNeeded();
  }
}

std::shared_ptr<RecordingContext> NSWindow::backingStore() {
  if (!backingStore_) backingStore_ = RecordingContext::make();
  return backingStore_;
}

std::shared_ptr<NSResponder> NSWindow::nextResponder() const {
  if (auto next = NSResponder::nextResponder()) return next;
  if (auto controller = windowController_.lock()) return controller;
  return NSApplication::sharedApplication();
}
