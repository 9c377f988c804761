#pragma once
// Conveniences of the interface kit over views and view controllers: the background colour
// of the backing layer, the standard drop shadow, the search-bar gradient and pinning a view
// to its superview.

#include <memory>

class NSEvent;
class NSView;
class NSViewController;
class NSColor;
class CAGradientLayer;

// The colour of the view's layer background; none without a layer or background.
std::shared_ptr<NSColor> convenientBackgroundColor(const NSView& view);
// Makes the view layer-backed and sets (or, with none, clears) its layer's background.
void setConvenientBackgroundColor(NSView& view, const std::shared_ptr<NSColor>& color);
// The same on a view controller's view.
std::shared_ptr<NSColor> convenientBackgroundColor(NSViewController& controller);
void setConvenientBackgroundColor(NSViewController& controller, const std::shared_ptr<NSColor>& color);

// Puts the blue search-bar gradient (left to right) under the view's content; the caller
// keeps the layer so that it can resize it with the view.
void applyDalvoBlueGradientWithLayerToColor(NSView& view, CAGradientLayer& gradient);

// Gives the view the application's standard drop shadow (a soft shadow two points below).
void createShadow(NSView& view);

// Ties the view's four edges to its superview's; only for a view that already opted out
// of autoresizing-mask constraints and has a superview.
void pinToSuperview(NSView& view);

// Whether a mouse event happened over the part of the view that shows (its bounds, cut by
// those of the views around it; none while it is hidden or out of a window). A release
// elsewhere ends a press without a click, as on the toolkit's own buttons.
bool isMouseEventOverView(const NSView& view, const NSEvent& event);
