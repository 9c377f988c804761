#include "tests/support/ViewDump.h"

#include <cstdio>

#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

namespace {
std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value == 0 ? 0.0 : value);
  return buffer;
}

void dump(const std::shared_ptr<NSView>& view, int depth, const ViewDumpOptions& options, std::string& out) {
  if (!view || depth > options.maxDepth) return;
  if (options.skipHidden && view->isHidden()) return;
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += describeView(*view);
  out += '\n';
  for (auto& sub : view->subviews()) dump(sub, depth + 1, options, out);
}
}  // namespace

std::string describeView(const NSView& view) {
  NSRect f = view.frame();
  std::string line = view.className() + " (" + number(f.minX()) + ", " + number(f.minY()) + ", " +
                     number(f.width()) + ", " + number(f.height()) + ")";
  if (view.isHidden()) line += " hidden";
  if (view.alphaValue() != 1.0) line += " alpha=" + number(view.alphaValue());
  if (auto text = view.dumpText(); !text.empty()) line += " \"" + text + "\"";
  return line;
}

std::string dumpViewTree(const std::shared_ptr<NSView>& root, ViewDumpOptions options) {
  std::string out;
  dump(root, 0, options, out);
  return out;
}

std::string dumpWindow(const std::shared_ptr<NSWindow>& window, ViewDumpOptions options) {
  return window ? dumpViewTree(window->contentView(), options) : std::string();
}

namespace {
void dumpMenuAt(const NSMenu& menu, int depth, std::string& out) {
  if (depth > 16) return;
  for (const auto& item : menu.itemArray()) {
    if (item->hidden) continue;
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    if (item->isSeparatorItem()) {
      out += "---\n";
      continue;
    }
    if (item->state == NSControlStateValueOn) out += "✓ ";
    if (item->state == NSControlStateValueMixed) out += "- ";
    out += item->title;
    if (!item->keyEquivalent.empty()) out += " [" + item->keyEquivalent + "]";
    if (!item->isEnabled()) out += " [disabled]";
    if (item->hasSubmenu()) out += " >";
    out += '\n';
    if (auto submenu = item->submenu()) dumpMenuAt(*submenu, depth + 1, out);
  }
}
}  // namespace

std::string dumpMenu(const std::shared_ptr<NSMenu>& menu) {
  std::string out;
  if (menu) dumpMenuAt(*menu, 0, out);
  return out;
}
