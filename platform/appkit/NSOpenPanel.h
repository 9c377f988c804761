#pragma once
// The panel in which the user picks files to open. It runs modally and answers OK with the
// chosen URLs, or Cancel.
//
// The choosing itself is done by a presenter: a desktop host shows the desktop's file
// chooser; tests script the answer. Without a presenter (headless) every run is cancelled.
// Whatever the presenter answers is held to the panel's rules: existing local files only
// (folders only when allowed), of the allowed types, one unless several are allowed. A run
// left with nothing is cancelled. What the presenter answered that the rules turned away is
// kept for the caller to name (GTK's chooser hands back a path typed into its location bar
// for a file that does not exist).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/foundation/NSObject.h"

class NSURL;

class NSOpenPanel : public NSObject {
 public:
  // The URLs chosen, or none when the user cancelled.
  using Presenter = std::function<std::optional<std::vector<std::shared_ptr<NSURL>>>(const NSOpenPanel& panel)>;

  static std::shared_ptr<NSOpenPanel> openPanel();

  bool canChooseFiles = true;
  bool canChooseDirectories = false;
  bool allowsMultipleSelection = false;
  // File name extensions without the dot, matched ignoring case; empty allows any.
  std::vector<std::string> allowedFileTypes;
  std::string title;
  std::string message;
  std::shared_ptr<NSURL> directoryURL;

  NSModalResponse runModal();
  // The choice of the last run (empty after Cancel).
  const std::vector<std::shared_ptr<NSURL>>& URLs() const { return urls_; }
  std::shared_ptr<NSURL> URL() const { return urls_.empty() ? nullptr : urls_.front(); }
  // What the presenter chose in the last run that the panel's rules turned away, in order.
  const std::vector<std::shared_ptr<NSURL>>& refusedURLs() const { return refused_; }

  // Whether the panel's rules let a URL be chosen.
  bool allows(const NSURL& url) const;

  static void setPresenter(Presenter presenter);

  GLIMDECK_OBJECT(NSOpenPanel)

 private:
  NSOpenPanel() = default;
  std::vector<std::shared_ptr<NSURL>> urls_;
  std::vector<std::shared_ptr<NSURL>> refused_;
};
