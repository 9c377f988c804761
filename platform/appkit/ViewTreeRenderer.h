#pragma once
// Draws views the way the window server would show them: each visible view in its frame,
// clipped to it, with its alpha; a layer-backed view's layer first, then what the view
// draws itself (drawRect), then its subviews back to front. Snapshots of windows and views
// go to images or PNG files.

#include <expected>
#include <filesystem>
#include <memory>
#include <span>

#include "platform/foundation/NSGeometry.h"

#include "platform/foundation/NSError.h"

class NSView;
class NSWindow;
class NSImage;
class GraphicsContext;

namespace ViewTreeRenderer {

using Written = std::expected<void, std::shared_ptr<NSError>>;

// Moves the context from the superview's coordinates into the view's own.
void applyFrameTransform(const NSView& view, GraphicsContext& context);
// Moves the context from the window's base coordinates (the top view's superview
// coordinates) into the view's own.
void applyTransformFromBase(const NSView& view, GraphicsContext& context);
// Runs the view's drawRect with the context current (flipped as the view is).
void drawOwnContent(NSView& view, GraphicsContext& context);

// Draws the view and its subviews; the context is in the superview's coordinates (the
// window's base coordinates for a window's top view).
void drawView(const std::shared_ptr<NSView>& view, GraphicsContext& context);

// The whole window as the screen shows it: its background, then its frame view; the
// context is in the window's base coordinates. With a region (base coordinates, already
// clipped to by the caller), views that cannot reach it are not drawn at all.
void drawWindow(const std::shared_ptr<NSWindow>& window, GraphicsContext& context,
                std::span<const NSRect> region = {});

// The window's frame view (so the whole window) after a layout pass.
std::shared_ptr<NSImage> imageOfWindow(const std::shared_ptr<NSWindow>& window, double scale = 1.0);
Written writeWindowPNG(const std::shared_ptr<NSWindow>& window, const std::filesystem::path& path,
                       double scale = 1.0);
// One view (and its subviews) on a canvas of its size.
std::shared_ptr<NSImage> imageOfView(const std::shared_ptr<NSView>& view, double scale = 1.0);
Written writeViewPNG(const std::shared_ptr<NSView>& view, const std::filesystem::path& path, double scale = 1.0);

}  // namespace ViewTreeRenderer
