#pragma once
// The desktop's services to the application: here, opening a web address in the user's
// browser.

#include <functional>
#include <memory>

#include "platform/foundation/NSObject.h"

class NSURL;

class NSWorkspace : public NSObject {
 public:
  // Hands an address to whatever opens it; answers whether it was handed over.
  using Opener = std::function<bool(const std::shared_ptr<NSURL>& url)>;

  static std::shared_ptr<NSWorkspace> sharedWorkspace();

  // Opens an http or https address that names a host. Anything else (file:, javascript:,
  // data:, an address without a host) is refused, so a link in received text can never
  // run or open something local. Answers whether the address went to the opener.
  bool openURL(const std::shared_ptr<NSURL>& url);
  static bool isOpenableWebAddress(const NSURL& url);

  // The opener; empty restores the default, xdg-open.
  void setOpener(Opener opener);
  // Starts xdg-open with the address as its one argument, without a shell, and does not
  // wait for it (a thread of its own reaps it).
  static bool openWithXdgOpen(const std::shared_ptr<NSURL>& url);

  std::string className() const override { return "NSWorkspace"; }

 private:
  NSWorkspace() = default;
  Opener opener_;
};
