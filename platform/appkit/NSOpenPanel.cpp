#include "platform/appkit/NSOpenPanel.h"

#include <filesystem>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Unicode.h"

namespace {
NSOpenPanel::Presenter& openPanelPresenter() {
  static NSOpenPanel::Presenter presenter;
  return presenter;
}
}  // namespace

std::shared_ptr<NSOpenPanel> NSOpenPanel::openPanel() { return create(); }

void NSOpenPanel::setPresenter(Presenter presenter) { openPanelPresenter() = std::move(presenter); }

bool NSOpenPanel::allows(const NSURL& url) const {
  if (!url.isFileURL()) return false;
  std::error_code error;
  auto status = std::filesystem::status(url.path(), error);
  if (error) return false;
  if (std::filesystem::is_directory(status)) return canChooseDirectories;
  if (!std::filesystem::is_regular_file(status) || !canChooseFiles) return false;
  if (allowedFileTypes.empty()) return true;
  const std::string extension = Unicode::lowercase(url.pathExtension());
  for (const auto& type : allowedFileTypes) {
    if (Unicode::lowercase(type) == extension) return true;
  }
  return false;
}

NSModalResponse NSOpenPanel::runModal() {
  urls_.clear();
  refused_.clear();
  auto self = sharedAs<NSOpenPanel>();
  auto presenter = openPanelPresenter();
  if (!presenter) return NSModalResponseCancel;
  auto answer = presenter(*this);
  if (!answer) return NSModalResponseCancel;
  for (const auto& url : *answer) {
    if (!url) continue;
    if (!allows(*url)) {
      refused_.push_back(url);
      continue;
    }
    if (urls_.empty() || allowsMultipleSelection) urls_.push_back(url);
  }
  return urls_.empty() ? NSModalResponseCancel : NSModalResponseOK;
}
