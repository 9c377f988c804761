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
CGColor textColour(bool enabled, bool selected) {
  if (selected) return CGColor{1, 1, 1, 1};
  return enabled ? CGColor{0.1, 0.1, 0.1, 1.0} : CGColor{0.6, 0.6, 0.6, 1.0};
}

std::shared_ptr<NSAttributedString> menuText(const std::string& text, bool enabled, bool selected = false) {
  const CGColor c = textColour(enabled, selected);
  return NSAttributedString::make(text, {{NSFontAttributeName, NSFont::systemFontOfSize(Metrics::fontSize)},
                                         {NSForegroundColorAttributeName, NSColor::colorWithSRGBRed(c.red, c.green, c.blue, c.alpha)}});
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

}  // namespace

std::vector<bool> shownItems(const NSMenu& menu) {
  const auto& items = menu.itemArray();
  std::vector<bool> shown(items.size(), false);
  // A separator parts two groups of rows: at either end of the menu, or beside another
  // separator, it would part nothing and only show as a stray line.
  bool rowAbove = false;
  long pendingSeparator = -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto& item = *items[i];
    if (item.hidden) continue;
    if (item.isSeparatorItem()) {
      if (rowAbove && pendingSeparator < 0) pendingSeparator = static_cast<long>(i);
      continue;
    }
    if (pendingSeparator >= 0) shown[static_cast<std::size_t>(pendingSeparator)] = true;
    pendingSeparator = -1;
    shown[i] = true;
    rowAbove = true;
  }
  return shown;
}

NSSize sizeOfMenu(const NSMenu& menu) {
  double width = Metrics::minimumWidth;
  double height = 2 * Metrics::verticalPadding;
  const auto shown = shownItems(menu);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (!shown[i]) continue;
    const auto& item = menu.itemArray()[i];
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

std::vector<NSRect> itemFrames(const NSMenu& menu) {
  const double width = sizeOfMenu(menu).width;
  std::vector<NSRect> frames;
  double y = Metrics::verticalPadding;
  const auto shown = shownItems(menu);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto& item = menu.itemArray()[i];
    if (!shown[i]) {
      frames.push_back(NSZeroRect);
      continue;
    }
    const double height = item->isSeparatorItem() ? Metrics::separatorHeight : Metrics::rowHeight;
    frames.push_back(NSMakeRect(0, y, width, height));
    y += height;
  }
  return frames;
}

long indexOfItemAtPoint(const NSMenu& menu, NSPoint point) {
  const auto frames = itemFrames(menu);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const NSRect& r = frames[i];
    if (r.isEmpty() || point.x < r.minX() || point.x >= r.maxX() || point.y < r.minY() || point.y >= r.maxY()) continue;
    return menu.itemAtIndex(static_cast<long>(i))->isSeparatorItem() ? -1 : static_cast<long>(i);
  }
  return -1;
}

void drawMenu(const NSMenu& menu, GraphicsContext& context, long highlightedIndex) {
  NSSize size = sizeOfMenu(menu);
  NSRect panel = NSMakeRect(0.5, 0.5, size.width - 1, size.height - 1);
  context.saveGState();
  context.setFillColor(Colours::panel);
  context.fillRoundedRect(panel, 6.0);
  context.setStrokeColor(CGColor{0.72, 0.72, 0.72, 1.0});
  context.setLineWidth(1.0);
  context.strokeRoundedRect(panel, 6.0);

  const auto frames = itemFrames(menu);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const auto& item = menu.itemArray()[i];
    if (frames[i].isEmpty()) continue;
    const double y = frames[i].minY();
    if (item->isSeparatorItem()) {
      context.setFillColor(CGColor{0.82, 0.82, 0.82, 1.0});
      context.fillRect(NSMakeRect(10, y + std::floor(Metrics::separatorHeight / 2), size.width - 20, 1));
      continue;
    }
    const bool enabled = item->isEnabled();
    const bool selected = static_cast<long>(i) == highlightedIndex;
    if (selected) {
      context.setFillColor(Colours::selection);
      context.fillRoundedRect(NSMakeRect(Metrics::highlightInset, y, size.width - 2 * Metrics::highlightInset,
                                         Metrics::rowHeight),
                              4.0);
    }
    auto title = menuText(item->title, enabled, selected);
    double textHeight = title->size().height;
    double textY = y + (Metrics::rowHeight - textHeight) / 2;
    if (item->state != NSControlStateValueOff) {
      auto mark = menuText(item->state == NSControlStateValueOn ? "\u2713" : "\u2013", enabled, selected);
      context.drawText(mark, NSMakeRect(7, textY, Metrics::leadingInset - 7, textHeight));
    }
    context.drawText(title, NSMakeRect(Metrics::leadingInset, textY, size.width - Metrics::leadingInset, textHeight));
    if (auto key = keyText(*item); !key.empty()) {
      auto keyLabel = menuText(key, enabled, selected);
      double keyWidth = std::ceil(keyLabel->size().width);
      context.drawText(keyLabel, NSMakeRect(size.width - Metrics::trailingInset - keyWidth, textY, keyWidth + 1, textHeight));
    }
    if (item->hasSubmenu()) {
      // A small solid triangle pointing right.
      double midY = y + Metrics::rowHeight / 2;
      double x = size.width - 14;
      context.setFillColor(textColour(enabled, selected));
      context.beginPath();
      context.moveTo({x, midY - 4});
      context.lineTo({x + 5, midY});
      context.lineTo({x, midY + 4});
      context.closePath();
      context.fillCurrentPath();
    }
  }
  context.restoreGState();
}

std::shared_ptr<NSImage> imageOfMenu(const std::shared_ptr<NSMenu>& menu, double scale, long highlightedIndex) {
  if (!menu) return nullptr;
  return Snapshot::image([menu, highlightedIndex](GraphicsContext& context) { drawMenu(*menu, context, highlightedIndex); },
                         sizeOfMenu(*menu), scale, true);
}

Written writeMenuPNG(const std::shared_ptr<NSMenu>& menu, const std::filesystem::path& path, double scale) {
  if (!menu) return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 4, "There is nothing to draw."));
  return Snapshot::writePNG([menu](GraphicsContext& context) { drawMenu(*menu, context); }, sizeOfMenu(*menu), path,
                            scale, true);
}

}  // namespace MenuRenderer
