// Writes a picture of every widget of the interface kit, in its states, into a folder:
//   gallery [folder]   (build/gallery by default)

#include <cstdio>
#include <filesystem>

#include "platform/appkit/NSApplication.h"
#include "ui/WidgetGallery.h"

int main(int argc, char** argv) {
  std::filesystem::path folder = argc > 1 ? argv[1] : "build/gallery";
  NSApplication::sharedApplication();
  auto written = WidgetGallery::writeAll(folder);
  if (!written) {
    std::fprintf(stderr, "gallery: %s\n", written.error()->localizedDescription().c_str());
    return 1;
  }
  for (const auto& path : *written) std::printf("%s\n", path.string().c_str());
  return 0;
}
