#include "platform/appkit/MenuRenderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/Snapshot.h"
#include "platform/quartz/GraphicsContext.h"

namespace MenuRenderer {

namespace {
std::shared_ptr<NSAttributedString> menuText(const std::string& text, bool enabled) {
  auto colour = enabled ? NSColor::colorWithWhite(0.1, 1.0) : NSColor::colorWithWhite(0.6, 1.0);
  return NSAttributedString::make(text, {{NSFontAttributeName, NSFont::systemFontOfSize(Metrics::fontSize)},
                                         {NSForegroundColorAttributeName, colour}});
}

std::string keyText(const NSMenuItem& item) {
  if (item.keyEquivalent.empty()) return {};
  std::string text;
  // The desktop's names: the command key is the control key there.
  const auto mask = item.keyEquivalentModifierMask;
  if (mask & (NSEventModifierFlagCommand | NSEventModifierFlagControl)) text += "Ctrl+";
  if (mask & NSEventModifierFlagOption) text += "Alt+";
  if (mask & NSEventModifierFlagShift) text += "Shift+";
  std::string key = item.keyEquivalent;
  if (key.size() == 1) key[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
  return text + key;
}

bool shown(const NSMenuItem& item) { return !item.hidden; }
}  // namespace

NSSize sizeOfMenu(const NSMenu& menu) {
  double width = Metrics::minimumWidth;
  double height = 2 * Metrics::verticalPadding;
  for (const auto& item : menu.itemArray()) {
    if (!shown(*item)) continue;
    if (item->isSeparatorItem()) {
      height += Metrics::separatorHeight;
      continue;
    }
    height += Metrics::rowHeight;
    double row = Metrics::leadingInset + menuText(item->title, true)->size().width + Metrics::trailingInset;
    if (auto key = keyText(*item); !key.empty()) row += Metrics::keyGap + menuText(key, true)->size().width;
    width = std::max(width, std::ceil(row));
  }
  return {width, height};
}

void drawMenu(const NSMenu& menu, GraphicsContext& context) {
  NSSize size = sizeOfMenu(menu);
  NSRect panel = NSMakeRect(0.5, 0.5, size.width - 1, size.height - 1);
  context.saveGState();
  context.setFillColor(CGColor{0.97, 0.97, 0.97, 1.0});
  context.fillRoundedRect(panel, 6.0);
  context.setStrokeColor(CGColor{0.72, 0.72, 0.72, 1.0});
  context.setLineWidth(1.0);
  context.strokeRoundedRect(panel, 6.0);

  double y = Metrics::verticalPadding;
  for (const auto& item : menu.itemArray()) {
    if (!shown(*item)) continue;
    if (item->isSeparatorItem()) {
      context.setFillColor(CGColor{0.82, 0.82, 0.82, 1.0});
      context.fillRect(NSMakeRect(10, y + std::floor(Metrics::separatorHeight / 2), size.width - 20, 1));
      y += Metrics::separatorHeight;
      continue;
    }
    const bool enabled = item->isEnabled();
    auto title = menuText(item->title, enabled);
    double textHeight = title->size().height;
    double textY = y + (Metrics::rowHeight - textHeight) / 2;
    if (item->state != NSControlStateValueOff) {
      auto mark = menuText(item->state == NSControlStateValueOn ? "\u2713" : "\u2013", enabled);
      context.drawText(mark, NSMakeRect(7, textY, Metrics::leadingInset - 7, textHeight));
    }
    context.drawText(title, NSMakeRect(Metrics::leadingInset, textY, size.width - Metrics::leadingInset, textHeight));
    if (auto key = keyText(*item); !key.empty()) {
      auto keyLabel = menuText(key, enabled);
      double keyWidth = std::ceil(keyLabel->size().width);
      context.drawText(keyLabel, NSMakeRect(size.width - Metrics::trailingInset - keyWidth, textY, keyWidth + 1, textHeight));
    }
    if (item->hasSubmenu()) {
      // A small solid triangle pointing right.
      double midY = y + Metrics::rowHeight / 2;
      double x = size.width - 14;
      context.setFillColor(enabled ? CGColor{0.1, 0.1, 0.1, 1.0} : CGColor{0.6, 0.6, 0.6, 1.0});
      context.beginPath();
      context.moveTo({x, midY - 4});
      context.lineTo({x + 5, midY});
      context.lineTo({x, midY + 4});
      context.closePath();
      context.fillCurrentPath();
    }
    y += Metrics::rowHeight;
  }
  context.restoreGState();
}

std::shared_ptr<NSImage> imageOfMenu(const std::shared_ptr<NSMenu>& menu, double scale) {
  if (!menu) return nullptr;
  return Snapshot::image([menu](GraphicsContext& context) { drawMenu(*menu, context); }, sizeOfMenu(*menu), scale,
                         true);
}

Written writeMenuPNG(const std::shared_ptr<NSMenu>& menu, const std::filesystem::path& path, double scale) {
  if (!menu) return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 4, "There is nothing to draw."));
  return Snapshot::writePNG([menu](GraphicsContext& context) { drawMenu(*menu, context); }, sizeOfMenu(*menu), path,
                            scale, true);
}

}  // namespace MenuRenderer
