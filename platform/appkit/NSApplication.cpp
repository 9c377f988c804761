#include "platform/appkit/NSApplication.h"

#include <algorithm>

#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowServer.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/ProcessShutdown.h"

namespace {
std::shared_ptr<NSApplication>& sharedSlot() {
  static std::shared_ptr<NSApplication> app;
  return app;
}
}  // namespace

std::shared_ptr<NSApplication> NSApplication::sharedApplication() {
  auto& slot = sharedSlot();
  if (!slot) slot = std::shared_ptr<NSApplication>(new NSApplication());
  return slot;
}

void NSApplication::resetSharedApplication() {
  auto old = std::exchange(sharedSlot(), nullptr);
  if (old) {
    old->visibleWindows_.clear();
    old->modalSessions_.clear();
    old->currentEvent_.reset();
  }
  NSEvent::resetMonitorsAndState();
  NSCursor::resetCurrent();
}

void NSApplication::post(std::string_view name) {
  NSNotificationCenter::defaultCenter()->postNotificationName(std::string(name), sharedAs<NSApplication>());
}

// ---- launching and termination --------------------------------------------------------

void NSApplication::finishLaunching() {
  if (launched_) return;
  launched_ = true;
  auto keep = sharedAs<NSApplication>();
  auto willFinish = NSNotification::notificationWithName(std::string(Constants::willFinishLaunchingNotification), keep);
  if (auto d = delegate()) d->applicationWillFinishLaunching(willFinish);
  NSNotificationCenter::defaultCenter()->postNotification(willFinish);
  if (!active_) activateIgnoringOtherApps(true);
  auto didFinish = NSNotification::notificationWithName(std::string(Constants::didFinishLaunchingNotification), keep);
  if (auto d = delegate()) d->applicationDidFinishLaunching(didFinish);
  NSNotificationCenter::defaultCenter()->postNotification(didFinish);
}

void NSApplication::run() {
  auto keep = sharedAs<NSApplication>();
  finishLaunching();
  if (terminated_) return;
  running_ = true;
  NSRunLoop::main()->run();
  running_ = false;
}

void NSApplication::terminate(const std::shared_ptr<NSObject>&) {
  auto keep = sharedAs<NSApplication>();
  auto reply = NSApplicationTerminateReply::now;
  if (auto d = delegate()) reply = d->applicationShouldTerminate(keep);
  if (reply == NSApplicationTerminateReply::now) finishTermination();
}

void NSApplication::replyToApplicationShouldTerminate(bool shouldTerminate) {
  if (shouldTerminate) finishTermination();
}

void NSApplication::finishTermination() {
  if (terminated_) return;
  terminated_ = true;
  auto keep = sharedAs<NSApplication>();
  auto note = NSNotification::notificationWithName(std::string(Constants::willTerminateNotification), keep);
  if (auto d = delegate()) d->applicationWillTerminate(note);
  NSNotificationCenter::defaultCenter()->postNotification(note);
  // Transfers and queued work end here, while everything they reach still exists; the
  // process's exit would do the same, but only after some static objects have gone.
  ProcessShutdown::run();
  for (auto& session : modalSessions_) {
    session->stopped_ = true;
    session->response_ = NSModalResponseAbort;
  }
  if (running_) NSRunLoop::main()->stop();
}

// ---- activation -----------------------------------------------------------------------

void NSApplication::activateIgnoringOtherApps(bool) {
  if (active_) return;
  active_ = true;
  if (auto d = delegate()) d->applicationDidBecomeActive(nullptr);
  post(Constants::didBecomeActiveNotification);
}

void NSApplication::deactivate() {
  if (!active_) return;
  active_ = false;
  if (auto d = delegate()) d->applicationDidResignActive(nullptr);
  post(Constants::didResignActiveNotification);
}

bool NSApplication::setActivationPolicy(NSApplicationActivationPolicy policy) {
  activationPolicy_ = policy;
  return true;
}

// ---- windows --------------------------------------------------------------------------

long NSApplication::registerWindow(const std::shared_ptr<NSWindow>& window) {
  std::erase_if(allWindows_, [](const std::weak_ptr<NSWindow>& w) { return w.expired(); });
  allWindows_.push_back(window);
  return nextWindowNumber_++;
}

std::vector<std::shared_ptr<NSWindow>> NSApplication::windows() const {
  std::vector<std::shared_ptr<NSWindow>> list;
  for (auto& weak : allWindows_) {
    if (auto w = weak.lock()) list.push_back(w);
  }
  return list;
}

std::vector<std::shared_ptr<NSWindow>> NSApplication::orderedWindows() const { return visibleWindows_; }

std::shared_ptr<NSWindow> NSApplication::windowWithWindowNumber(long number) const {
  for (auto& weak : allWindows_) {
    if (auto w = weak.lock(); w && w->windowNumber() == number) return w;
  }
  return nullptr;
}

void NSApplication::orderWindowFront(const std::shared_ptr<NSWindow>& window) {
  std::erase(visibleWindows_, window);
  visibleWindows_.insert(visibleWindows_.begin(), window);
}

void NSApplication::orderWindowOut(const std::shared_ptr<NSWindow>& window) {
  auto keep = window;
  std::erase(visibleWindows_, window);
  if (keyWindow_.lock() == window) {
    std::shared_ptr<NSWindow> next;
    for (auto& w : visibleWindows_) {
      if (w->canBecomeKeyWindow()) {
        next = w;
        break;
      }
    }
    setKeyWindow(next);
  }
  if (mainWindow_.lock() == window) mainWindow_.reset();
}

void NSApplication::setKeyWindow(const std::shared_ptr<NSWindow>& window) {
  auto old = keyWindow_.lock();
  if (old == window) return;
  keyWindow_ = window;
  if (window && window->canBecomeMainWindow()) mainWindow_ = window;
  if (old) old->resignKeyWindow();
  if (window) window->becomeKeyWindow();
  if (auto server = WindowServer::current(); server && window) server->windowDidBecomeKey(window);
}

// ---- modal sessions -------------------------------------------------------------------

std::shared_ptr<NSModalSession> NSApplication::beginModalSessionForWindow(const std::shared_ptr<NSWindow>& window) {
  auto session = std::shared_ptr<NSModalSession>(new NSModalSession());
  session->window_ = window;
  modalSessions_.push_back(session);
  if (window) window->makeKeyAndOrderFront(nullptr);
  return session;
}

NSModalResponse NSApplication::runModalSession(const std::shared_ptr<NSModalSession>& session) {
  if (!session) return NSModalResponseAbort;
  if (!session->stopped_) NSRunLoop::main()->runOnce();
  return session->stopped_ ? session->response_ : NSModalResponseContinue;
}

void NSApplication::endModalSession(const std::shared_ptr<NSModalSession>& session) {
  std::erase(modalSessions_, session);
}

NSModalResponse NSApplication::runModalForWindow(const std::shared_ptr<NSWindow>& window) {
  auto keep = sharedAs<NSApplication>();
  auto session = beginModalSessionForWindow(window);
  while (!session->stopped_) {
    // Wakes for blocks queued from other threads too; a timer on a manual clock only fires
    // when the clock is moved from within the session.
    NSRunLoop::main()->runUntil([&] { return session->stopped_; }, 0.05);
  }
  endModalSession(session);
  return session->response_;
}

void NSApplication::stopModalWithCode(NSModalResponse code) {
  if (modalSessions_.empty()) return;
  auto& session = modalSessions_.back();
  session->stopped_ = true;
  session->response_ = code;
}

void NSApplication::stopModal() { stopModalWithCode(NSModalResponseStop); }
void NSApplication::abortModal() { stopModalWithCode(NSModalResponseAbort); }

std::shared_ptr<NSWindow> NSApplication::modalWindow() const {
  for (auto it = modalSessions_.rbegin(); it != modalSessions_.rend(); ++it) {
    if (!(*it)->stopped_) return (*it)->window_;
  }
  return nullptr;
}

// ---- events ---------------------------------------------------------------------------

void NSApplication::handleEvent(const std::shared_ptr<NSEvent>& event) {
  if (!event) return;
  auto keep = sharedAs<NSApplication>();
  if (event->isMouseEvent()) {
    auto window = event->window();
    NSEvent::noteMouseLocation(window ? window->convertPointToScreen(event->locationInWindow())
                                      : event->locationInWindow());
  }
  NSEvent::noteModifierFlags(event->modifierFlags());
  switch (event->type()) {
    case NSEventType::leftMouseDown: NSEvent::noteMouseButton(0, true); break;
    case NSEventType::leftMouseUp: NSEvent::noteMouseButton(0, false); break;
    case NSEventType::rightMouseDown: NSEvent::noteMouseButton(1, true); break;
    case NSEventType::rightMouseUp: NSEvent::noteMouseButton(1, false); break;
    default: break;
  }
  auto previous = currentEvent_;
  currentEvent_ = event;
  if (auto handed = NSEvent::runLocalMonitors(event)) {
    currentEvent_ = handed;
    sendEvent(handed);
  }
  currentEvent_ = previous;
}

void NSApplication::handleEventOfOtherApplication(const std::shared_ptr<NSEvent>& event) {
  if (!event) return;
  if (event->isMouseEvent()) NSEvent::noteMouseLocation(event->locationInWindow());
  NSEvent::runGlobalMonitors(event);
}

void NSApplication::sendEvent(const std::shared_ptr<NSEvent>& event) {
  auto window = event->window();
  if (!window && event->isKeyEvent()) window = keyWindow();
  if (!window) {
    if (event->type() == NSEventType::mouseMoved) {
      for (auto& w : orderedWindows()) w->sendEvent(event);
    }
    return;
  }
  if (auto modal = modalWindow(); modal && modal != window) return;
  window->sendEvent(event);
}

bool NSApplication::sendAction(std::string_view selector, const std::shared_ptr<NSObject>& to,
                               const std::shared_ptr<NSObject>& from) {
  if (auto target = asA<NSResponder>(to)) return target->tryToPerform(selector, from);
  if (auto window = keyWindow()) return window->firstResponder()->tryToPerform(selector, from);
  return tryToPerform(selector, from);
}
