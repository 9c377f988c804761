#pragma once
// Draws a menu the way it looks while open: a rounded panel with one row per item (its
// title, a check mark for the on state, the key equivalent, an arrow for a submenu; greyed
// when disabled; the highlighted row filled with the selection colour) and thin lines for
// separators. A desktop host shows its open menus with it; headless runs and the gallery
// take their pictures of menus from it too.

#include <expected>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGColor.h"

class GraphicsContext;
class NSImage;
class NSMenu;

namespace MenuRenderer {

using Written = std::expected<void, std::shared_ptr<NSError>>;

struct Metrics {
  static constexpr double rowHeight = 22.0;
  static constexpr double separatorHeight = 11.0;
  static constexpr double verticalPadding = 5.0;
  static constexpr double leadingInset = 22.0;   // room for the check mark
  static constexpr double trailingInset = 20.0;  // room for the submenu arrow
  static constexpr double keyGap = 24.0;         // between the title and the key equivalent
  static constexpr double minimumWidth = 120.0;
  static constexpr double fontSize = 13.0;
  static constexpr double highlightInset = 4.0;  // the selection's margin inside the panel
};

struct Colours {
  static constexpr CGColor panel{0.97, 0.97, 0.97, 1.0};
  static constexpr CGColor selection{0.16, 0.42, 0.90, 1.0};
};

// Which items take a row: not the hidden ones, nor a separator with no shown row on one of
// its sides or another separator just above it.
std::vector<bool> shownItems(const NSMenu& menu);
NSSize sizeOfMenu(const NSMenu& menu);
// The row of each item in the menu's picture (origin at the top left, y downwards), in the
// order of the items; an item that is not shown has an empty row.
std::vector<NSRect> itemFrames(const NSMenu& menu);
// The item whose row holds the point (top-left origin), or -1 over the panel's padding, a
// separator, a hidden item or outside.
long indexOfItemAtPoint(const NSMenu& menu, NSPoint point);
// Draws the menu with its top left corner at the origin of a flipped context, the item at
// `highlightedIndex` (if any) shown as selected.
void drawMenu(const NSMenu& menu, GraphicsContext& context, long highlightedIndex = -1);

std::shared_ptr<NSImage> imageOfMenu(const std::shared_ptr<NSMenu>& menu, double scale = 1.0, long highlightedIndex = -1);
Written writeMenuPNG(const std::shared_ptr<NSMenu>& menu, const std::filesystem::path& path, double scale = 1.0);

}  // namespace MenuRenderer
