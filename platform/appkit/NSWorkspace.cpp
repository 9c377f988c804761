#include "platform/appkit/NSWorkspace.h"

#include "platform/appkit/NSAlert.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/OutputSink.h"
#include "platform/foundation/Unicode.h"

std::shared_ptr<NSWorkspace> NSWorkspace::sharedWorkspace() {
  static auto workspace = std::shared_ptr<NSWorkspace>(new NSWorkspace());
  return workspace;
}

bool NSWorkspace::isOpenableWebAddress(const NSURL& url) {
  const std::string scheme = Unicode::lowercase(url.scheme());
  if (scheme != "http" && scheme != "https") return false;
  if (url.host().empty()) return false;
  // The parser refuses spaces and controls already; the opener gets none whatever made the URL.
  for (unsigned char c : url.absoluteString()) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  return true;
}

bool NSWorkspace::openURL(const std::shared_ptr<NSURL>& url) {
  if (!url || !isOpenableWebAddress(*url)) return false;
  if (auto opener = opener_) return opener(url);
  // Headless: no browser could show it, and no user would see an alert either.
  OutputSink::print(Constants::noDesktopLine);
  return false;
}

void NSWorkspace::setOpener(Opener opener) { opener_ = std::move(opener); }

void NSWorkspace::couldNotOpen(const std::shared_ptr<NSURL>& url, const std::string& reason) {
  const std::string address = url ? url->absoluteString() : std::string();
  OutputSink::print(std::string(Constants::couldNotOpenMessage) + ": " + reason);
  DispatchQueue::main()->async([address, reason] {
    auto alert = NSAlert::make();
    alert->messageText = std::string(Constants::couldNotOpenMessage);
    alert->informativeText = reason + "\n" + address;
    alert->addButtonWithTitle("OK");
    alert->runModal();
  });
}
