#pragma once
// The desktop's services to the application: here, opening a web address in the user's
// browser. A desktop host installs the desktop's opener (the default handler of web pages);
// without a desktop nothing can show a page, which the application says in one line. When
// nothing could open a page, the user is told in an alert, as a click that seems to do
// nothing would leave them wondering.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSObject.h"

class NSURL;

class NSWorkspace : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view couldNotOpenMessage = "The page could not be opened";
    static constexpr std::string_view noDesktopLine = "No desktop to open the page on: nothing was opened.";
  };

  // Hands an address to whatever opens it; answers whether it was handed over. An opener
  // that learns that nothing could open the address, at once or later, says so through
  // couldNotOpen.
  using Opener = std::function<bool(const std::shared_ptr<NSURL>& url)>;

  static std::shared_ptr<NSWorkspace> sharedWorkspace();

  // Opens an http or https address that names a host. Anything else (file:, javascript:,
  // data:, an address without a host) is refused, so a link in received text can never
  // run or open something local. Answers whether the address went to the opener.
  bool openURL(const std::shared_ptr<NSURL>& url);
  static bool isOpenableWebAddress(const NSURL& url);

  // The opener; empty restores the default, which has no desktop to show a page on: it
  // says so in one line and answers false.
  void setOpener(Opener opener);

  // Tells the user that nothing opened the address, and why, in an alert that waits for
  // its OK. It is put up from the main queue, not inside the caller (often a callback of
  // the desktop's).
  void couldNotOpen(const std::shared_ptr<NSURL>& url, const std::string& reason);

  GLIMDECK_OBJECT(NSWorkspace)

 private:
  NSWorkspace() = default;
  Opener opener_;
};
