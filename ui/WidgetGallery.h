#pragma once
// Pictures of every widget of the interface kit in its states, for a person to look over
// (the `gallery` tool writes them) and for tests that check a few of their pixels.

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"

class NSView;

namespace WidgetGallery {

struct Entry {
  std::string name;  // the file name without ".png"
  std::shared_ptr<NSView> view;
};

// The widgets, each on a backdrop of its own, ready to draw.
std::vector<Entry> entries();

// Writes one PNG per entry into the folder (made when missing) at the given scale; answers
// the files written, or the first error.
std::expected<std::vector<std::filesystem::path>, std::shared_ptr<NSError>> writeAll(
    const std::filesystem::path& folder, double scale = 2.0);

}  // namespace WidgetGallery
