#include "tests/support/TouchBarDump.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSTouchBar.h"
#include "platform/appkit/NSView.h"
#include "tests/support/ViewDump.h"

namespace {

void dumpBarView(const std::shared_ptr<NSView>& view, int depth, std::string& out) {
  if (!view || depth > 64) return;
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += describeView(*view);
  if (auto imageView = asA<NSImageView>(view); imageView && imageView->image()) {
    auto image = imageView->image();
    out += " image " + dumpNumber(image->size().width) + "x" + dumpNumber(image->size().height);
    if (image->frameCount() > 1) out += " " + std::to_string(image->frameCount()) + " frames";
  }
  out += '\n';
  for (auto& sub : view->subviews()) dumpBarView(sub, depth + 1, out);
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

}  // namespace

std::string dumpTouchBarView(const std::shared_ptr<NSView>& view, int depth) {
  std::string out;
  dumpBarView(view, depth, out);
  return out;
}

std::string dumpTouchBar(const std::shared_ptr<NSTouchBar>& bar) {
  if (!bar) return "no bar\n";
  std::string out = "bar " + bar->customizationIdentifier + " allowed [" +
                    joined(bar->customizationAllowedItemIdentifiers) + "]\n";
  for (auto& item : bar->items()) {
    out += "item " + item->identifier() + "\n";
    if (auto custom = asA<NSCustomTouchBarItem>(item)) dumpBarView(custom->view, 1, out);
  }
  return out;
}
