#pragma once
// Pictures of layer trees and of drawing code, as images or PNG files, drawn by Cairo.

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSGeometry.h"

class CALayer;
class GraphicsContext;
class NSImage;

namespace Snapshot {

using Draw = std::function<void(GraphicsContext&)>;
using Written = std::expected<void, std::shared_ptr<NSError>>;

// A canvas of the size in points (unflipped: origin bottom-left) with the layer drawn at
// its frame.
std::shared_ptr<NSImage> image(const std::shared_ptr<CALayer>& root, NSSize size, double scale = 1.0);
Written writePNG(const std::shared_ptr<CALayer>& root, NSSize size, const std::filesystem::path& path,
                 double scale = 1.0);

// The same for drawing code, in a flipped (origin top-left) or unflipped canvas. The code
// also finds the canvas as the current NSGraphicsContext, as drawRect: code expects.
std::shared_ptr<NSImage> image(const Draw& draw, NSSize size, double scale = 1.0, bool flipped = false);
Written writePNG(const Draw& draw, NSSize size, const std::filesystem::path& path, double scale = 1.0,
                 bool flipped = false);

}  // namespace Snapshot
