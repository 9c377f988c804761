#pragma once
// Draws a menu the way it looks while open: a rounded panel with one row per item (its
// title, a check mark for the on state, the key equivalent, an arrow for a submenu; greyed
// when disabled) and thin lines for separators. A desktop host shows real menus instead;
// this gives headless runs and the gallery their picture.

#include <expected>
#include <filesystem>
#include <memory>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"

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
};

NSSize sizeOfMenu(const NSMenu& menu);
// Draws the menu with its top left corner at the origin of a flipped context.
void drawMenu(const NSMenu& menu, GraphicsContext& context);

std::shared_ptr<NSImage> imageOfMenu(const std::shared_ptr<NSMenu>& menu, double scale = 1.0);
Written writeMenuPNG(const std::shared_ptr<NSMenu>& menu, const std::filesystem::path& path, double scale = 1.0);

}  // namespace MenuRenderer
