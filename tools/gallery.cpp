// Writes a picture of every widget of the interface kit, in its states, into a folder:
//   gallery [folder]   (build/gallery by default)

#include <cstdio>
#include <filesystem>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/MenuRenderer.h"
#include "ui/WidgetGallery.h"

namespace {
// An open menu with each kind of row: enabled and disabled items, a checked one, a key
// equivalent, a separator and a submenu.
std::expected<std::filesystem::path, std::shared_ptr<NSError>> writeOpenMenu(const std::filesystem::path& folder) {
  auto menu = NSMenu::make();
  menu->autoenablesItems = false;
  menu->addItemWithTitle("Version: 2.4", "", "")->setEnabled(false);
  menu->addItemWithTitle("Copy GIF", "copyGif", "");
  menu->addItemWithTitle("Copy Link", "copyLink", "l");
  menu->addItemWithTitle("Loop Previews", "toggleLoop:", "")->state = NSControlStateValueOn;
  menu->addItem(NSMenuItem::separatorItem());
  auto packs = NSMenu::make();
  packs->addItemWithTitle("Cats", "addToCollectionClicked:", "");
  menu->addItemWithTitle("Add to Pack", "", "")->setSubmenu(packs);
  menu->popUpMenuPositioningItem(nullptr, {200, 600}, nullptr);
  auto path = folder / "menu-open.png";
  auto written = MenuRenderer::writeMenuPNG(NSMenu::openMenu(), path, 2.0);
  menu->cancelTracking();
  if (!written) return std::unexpected(written.error());
  return path;
}
}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path folder = argc > 1 ? argv[1] : "build/gallery";
  NSApplication::sharedApplication();
  auto written = WidgetGallery::writeAll(folder);
  if (!written) {
    std::fprintf(stderr, "gallery: %s\n", written.error()->localizedDescription().c_str());
    return 1;
  }
  for (const auto& path : *written) std::printf("%s\n", path.string().c_str());
  auto menu = writeOpenMenu(folder);
  if (!menu) {
    std::fprintf(stderr, "gallery: %s\n", menu.error()->localizedDescription().c_str());
    return 1;
  }
  std::printf("%s\n", menu->string().c_str());
  return 0;
}
