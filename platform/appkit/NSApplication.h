#pragma once
// The application: its delegate, launching and termination, activation, the window list
// and key window, the event that is being handled, modal sessions, and the path every
// event takes (local monitors first, then the window).

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"

class NSWindow;
class NSEvent;
class NSNotification;
class NSApplication;

using NSModalResponse = long;
constexpr NSModalResponse NSModalResponseStop = -1000;
constexpr NSModalResponse NSModalResponseAbort = -1001;
constexpr NSModalResponse NSModalResponseContinue = -1002;
constexpr NSModalResponse NSModalResponseOK = 1;
constexpr NSModalResponse NSModalResponseCancel = 0;

enum class NSApplicationTerminateReply { cancel = 0, now = 1, later = 2 };
enum class NSApplicationActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

class NSApplicationDelegate {
 public:
  virtual ~NSApplicationDelegate() = default;
  virtual void applicationWillFinishLaunching(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void applicationDidFinishLaunching(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual NSApplicationTerminateReply applicationShouldTerminate(const std::shared_ptr<NSApplication>& /*sender*/) {
    return NSApplicationTerminateReply::now;
  }
  virtual void applicationWillTerminate(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void applicationDidBecomeActive(const std::shared_ptr<NSNotification>& /*notification*/) {}
  virtual void applicationDidResignActive(const std::shared_ptr<NSNotification>& /*notification*/) {}
};

// A modal session begun with beginModalSessionForWindow.
class NSModalSession : public NSObject {
 public:
  std::shared_ptr<NSWindow> window() const { return window_; }
  std::string className() const override { return "NSModalSession"; }

 private:
  friend class NSApplication;
  std::shared_ptr<NSWindow> window_;
  bool stopped_ = false;
  NSModalResponse response_ = NSModalResponseContinue;
};

class NSApplication : public NSResponder {
 public:
  struct Constants {
    static constexpr std::string_view willFinishLaunchingNotification = "NSApplicationWillFinishLaunchingNotification";
    static constexpr std::string_view didFinishLaunchingNotification = "NSApplicationDidFinishLaunchingNotification";
    static constexpr std::string_view willTerminateNotification = "NSApplicationWillTerminateNotification";
    static constexpr std::string_view didBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
    static constexpr std::string_view didResignActiveNotification = "NSApplicationDidResignActiveNotification";
  };

  static std::shared_ptr<NSApplication> sharedApplication();
  // A fresh application object with no windows, monitors or delegate (between tests).
  static void resetSharedApplication();

  std::shared_ptr<NSApplicationDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSApplicationDelegate>& delegate) { delegate_ = delegate; }

  // Launching: tells the delegate (will, then did finish launching) once.
  void finishLaunching();
  // Launches and then runs the main run loop until terminate.
  void run();
  bool isRunning() const { return running_; }
  bool isLaunched() const { return launched_; }
  // Asks the delegate, then tells it the application will terminate, ends the background
  // work (ProcessShutdown::run: transfers cancelled, queued blocks run, threads joined) and
  // stops the run loop.
  void terminate(const std::shared_ptr<NSObject>& sender);
  // The answer to a "later" reply of applicationShouldTerminate.
  void replyToApplicationShouldTerminate(bool shouldTerminate);
  bool hasTerminated() const { return terminated_; }

  // Activation.
  bool isActive() const { return active_; }
  void activateIgnoringOtherApps(bool flag);
  void deactivate();
  NSApplicationActivationPolicy activationPolicy() const { return activationPolicy_; }
  bool setActivationPolicy(NSApplicationActivationPolicy policy);

  // Windows, front to back among the visible ones.
  std::vector<std::shared_ptr<NSWindow>> windows() const;
  std::vector<std::shared_ptr<NSWindow>> orderedWindows() const;
  std::shared_ptr<NSWindow> keyWindow() const { return keyWindow_.lock(); }
  std::shared_ptr<NSWindow> mainWindow() const { return mainWindow_.lock(); }
  std::shared_ptr<NSWindow> windowWithWindowNumber(long number) const;

  // Modal windows. runModalForWindow runs the main run loop until stopModal, stopModalWithCode
  // or abortModal (from a block, a timer or an event handler); events for other windows are
  // dropped meanwhile.
  NSModalResponse runModalForWindow(const std::shared_ptr<NSWindow>& window);
  void stopModal();
  void stopModalWithCode(NSModalResponse code);
  void abortModal();
  std::shared_ptr<NSModalSession> beginModalSessionForWindow(const std::shared_ptr<NSWindow>& window);
  // One pass of the session: runs what is queued; answers Continue until it is stopped.
  NSModalResponse runModalSession(const std::shared_ptr<NSModalSession>& session);
  void endModalSession(const std::shared_ptr<NSModalSession>& session);
  std::shared_ptr<NSWindow> modalWindow() const;

  // Events. handleEvent is the way in for events of this application (monitors first);
  // handleEventOfOtherApplication shows an event of another application to the global
  // monitors only.
  std::shared_ptr<NSEvent> currentEvent() const { return currentEvent_; }
  void handleEvent(const std::shared_ptr<NSEvent>& event);
  void handleEventOfOtherApplication(const std::shared_ptr<NSEvent>& event);
  virtual void sendEvent(const std::shared_ptr<NSEvent>& event);
  // Sends a command to the first responder of the key window and along the chain.
  bool sendAction(std::string_view selector, const std::shared_ptr<NSObject>& to,
                  const std::shared_ptr<NSObject>& from);

  std::string className() const override { return "NSApplication"; }

 private:
  friend class NSWindow;
  NSApplication() = default;
  long registerWindow(const std::shared_ptr<NSWindow>& window);
  void orderWindowFront(const std::shared_ptr<NSWindow>& window);
  void orderWindowOut(const std::shared_ptr<NSWindow>& window);
  void setKeyWindow(const std::shared_ptr<NSWindow>& window);
  void post(std::string_view name);
  void finishTermination();

  std::weak_ptr<NSApplicationDelegate> delegate_;
  std::vector<std::weak_ptr<NSWindow>> allWindows_;
  std::vector<std::shared_ptr<NSWindow>> visibleWindows_;  // front first; the screen keeps them
  std::weak_ptr<NSWindow> keyWindow_;
  std::weak_ptr<NSWindow> mainWindow_;
  std::shared_ptr<NSEvent> currentEvent_;
  std::vector<std::shared_ptr<NSModalSession>> modalSessions_;
  long nextWindowNumber_ = 1;
  bool running_ = false;
  bool launched_ = false;
  bool terminated_ = false;
  bool active_ = false;
  NSApplicationActivationPolicy activationPolicy_ = NSApplicationActivationPolicy::regular;
};

inline std::shared_ptr<NSApplication> NSApp() { return NSApplication::sharedApplication(); }
