#pragma once
// A layer: a rectangle of content in a tree, with background, corners, border, shadow,
// opacity, a mask, an image as contents and custom drawing, and animations that move its
// properties over the clock. Geometry is unflipped (y grows upwards) unless the layer's
// geometry is flipped; the frame follows from bounds, position and anchor point.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/quartz/CAAnimation.h"
#include "platform/quartz/CGColor.h"
#include "platform/quartz/CGImage.h"
#include "platform/quartz/TreeChange.h"

class CALayer;
class GraphicsContext;

class CALayerDelegate {
 public:
  virtual ~CALayerDelegate() = default;
  // Draws the layer's content, in the layer's bounds coordinates.
  virtual void drawLayer(CALayer& layer, GraphicsContext& context) {
    (void)layer;
    (void)context;
  }
  // Lays out the sublayers when the layer asks; answers whether it did (else the layer
  // resizes them by their autoresizing masks).
  virtual bool layoutSublayersOfLayer(CALayer& layer) {
    (void)layer;
    return false;
  }
};

inline constexpr std::string_view kCAGravityCenter = "center";
inline constexpr std::string_view kCAGravityTop = "top";
inline constexpr std::string_view kCAGravityBottom = "bottom";
inline constexpr std::string_view kCAGravityLeft = "left";
inline constexpr std::string_view kCAGravityRight = "right";
inline constexpr std::string_view kCAGravityTopLeft = "topLeft";
inline constexpr std::string_view kCAGravityTopRight = "topRight";
inline constexpr std::string_view kCAGravityBottomLeft = "bottomLeft";
inline constexpr std::string_view kCAGravityBottomRight = "bottomRight";
inline constexpr std::string_view kCAGravityResize = "resize";
inline constexpr std::string_view kCAGravityResizeAspect = "resizeAspect";
inline constexpr std::string_view kCAGravityResizeAspectFill = "resizeAspectFill";

// Which edges of a sublayer follow its superlayer's size.
enum CAAutoresizingMask : unsigned {
  kCALayerNotSizable = 0,
  kCALayerMinXMargin = 1,
  kCALayerWidthSizable = 2,
  kCALayerMaxXMargin = 4,
  kCALayerMinYMargin = 8,
  kCALayerHeightSizable = 16,
  kCALayerMaxYMargin = 32,
};

class CALayer : public NSObject {
 public:
  static std::shared_ptr<CALayer> layer();

  // Geometry.
  NSRect bounds() const { return bounds_; }
  void setBounds(NSRect bounds);
  NSPoint position() const { return position_; }
  void setPosition(NSPoint position) { position_ = position; noteChange(); }
  NSPoint anchorPoint() const { return anchorPoint_; }
  void setAnchorPoint(NSPoint anchorPoint) { anchorPoint_ = anchorPoint; noteChange(); }
  NSRect frame() const;
  void setFrame(NSRect frame);
  double zPosition() const { return zPosition_; }
  void setZPosition(double z) { zPosition_ = z; noteChange(); }
  bool isGeometryFlipped() const { return geometryFlipped_; }
  void setGeometryFlipped(bool flipped) { geometryFlipped_ = flipped; noteChange(); }
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
  void setNeedsDisplayOnBoundsChange(bool needs) { needsDisplayOnBoundsChange_ = needs; }

  // Appearance.
  const std::optional<CGColor>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<CGColor> color) { backgroundColor_ = color; noteChange(); }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius) { cornerRadius_ = radius; noteChange(); }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width) { borderWidth_ = width; noteChange(); }
  // Opaque black unless set; none draws no border.
  const std::optional<CGColor>& borderColor() const { return borderColor_; }
  void setBorderColor(std::optional<CGColor> color) { borderColor_ = color; noteChange(); }
  double opacity() const { return opacity_; }
  void setOpacity(double opacity) { opacity_ = opacity; noteChange(); }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; noteChange(); }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks) { masksToBounds_ = masks; noteChange(); }

  // The shadow shows when its opacity is above 0 (it is 0 unless set).
  const std::optional<CGColor>& shadowColor() const { return shadowColor_; }
  void setShadowColor(std::optional<CGColor> color) { shadowColor_ = color; noteChange(); }
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double opacity) { shadowOpacity_ = opacity; noteChange(); }
  NSSize shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(NSSize offset) { shadowOffset_ = offset; noteChange(); }
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double radius) { shadowRadius_ = radius; noteChange(); }

  // A layer whose alpha cuts this one's content (its geometry in this layer's bounds).
  const std::shared_ptr<CALayer>& mask() const { return mask_; }
  void setMask(std::shared_ptr<CALayer> mask);

  // An image shown in the bounds, placed by the gravity.
  const std::shared_ptr<const CGImageSource>& contents() const { return contents_; }
  void setContents(std::shared_ptr<const CGImageSource> contents) {
    contents_ = std::move(contents);
    noteChange();
  }
  const std::string& contentsGravity() const { return contentsGravity_; }
  void setContentsGravity(std::string_view gravity) {
    contentsGravity_ = std::string(gravity);
    noteChange();
  }
  double contentsScale() const { return contentsScale_; }
  void setContentsScale(double scale) {
    contentsScale_ = scale > 0 ? scale : 1;
    noteChange();
  }
  // Where the contents go in the bounds for the current gravity.
  NSRect contentsRect() const;

  std::string name;
  std::weak_ptr<CALayerDelegate> delegate;

  // The tree. Adding a layer takes it from its former superlayer first.
  const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
  void setSublayers(std::vector<std::shared_ptr<CALayer>> layers);
  std::shared_ptr<CALayer> superlayer() const { return superlayer_.lock(); }
  void addSublayer(const std::shared_ptr<CALayer>& layer);
  // An index past the end appends.
  void insertSublayer(const std::shared_ptr<CALayer>& layer, std::size_t index);
  void insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
  void insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
  void replaceSublayer(const std::shared_ptr<CALayer>& old, const std::shared_ptr<CALayer>& replacement);
  void removeFromSuperlayer();

  // Whether the layer's tree (with what its view hosts) is drawn once into pixels of the
  // display's resolution and laid on from those while nothing in it changes (its own
  // opacity is applied as it is laid on). Off unless set.
  bool shouldRasterize() const { return shouldRasterize_; }
  void setShouldRasterize(bool rasterize) {
    shouldRasterize_ = rasterize;
    noteChange();
  }

  // Layout: resizes sublayers by their masks when the bounds change size.
  void setNeedsLayout() { needsLayout_ = true; }
  bool needsLayout() const { return needsLayout_; }
  void layoutIfNeeded();
  virtual void layoutSublayers();

  // Drawing. The content is drawn when the layer is rendered; display() marks it done.
  void setNeedsDisplay() {
    needsDisplay_ = true;
    noteChange();
  }
  bool needsDisplay() const { return needsDisplay_; }
  void displayIfNeeded();
  virtual void display();
  // Custom content in bounds coordinates; by default asks the delegate.
  virtual void drawInContext(GraphicsContext& context);
  // Whether a change of the key by an animation redraws the content (the platform's
  // class method, answered per class by overriding).
  virtual bool needsDisplayForKey(std::string_view key) const;

  // Key-value access to animatable properties ("opacity", "bounds", "position",
  // "bounds.size", "position.x", "cornerRadius", "backgroundColor"...). Numbers are
  // NSNumber, geometry NSValue, colours CGColorValue (an NSColor is one). Unknown keys read as none and ignore writes.
  virtual id valueForKeyPath(std::string_view keyPath) const;
  virtual void setValueForKeyPath(std::string_view keyPath, const id& value);

  // Animations by key; the same key replaces the earlier one (which stops unfinished).
  void addAnimation(const std::shared_ptr<CAAnimation>& animation, std::string_view key);
  std::shared_ptr<CAAnimation> animationForKey(std::string_view key) const;
  std::vector<std::string> animationKeys() const;
  void removeAnimationForKey(std::string_view key);
  void removeAllAnimations();
  bool hasAnimations() const { return !animations_.empty(); }
  // A copy of the layer with the animated values of the current clock time applied.
  std::shared_ptr<CALayer> presentationLayer() const;
  // Whether a running animation changes a key that redraws the content.
  bool animationsNeedDisplay() const;

  // Hit testing: the point in this layer's bounds coordinates; in superlayer coordinates.
  virtual bool containsPoint(NSPoint point) const;
  std::shared_ptr<CALayer> hitTest(NSPoint pointInSuperlayer);
  NSPoint convertPointFromSuperlayer(NSPoint point) const;
  NSPoint convertPointToSuperlayer(NSPoint point) const;

  // Changes with anything of this layer's tree (sublayers and masks included) that its
  // picture depends on, through the layers' operations (see TreeChange).
  std::uint64_t treeChange() const { return change_.number(); }
  // The node its changes are told to: a view hosting the layer links it to its own.
  TreeChange& changes() { return change_; }
  // Tells the layer's tree (and what hosts it) that its picture changed: for a layer of a
  // kind of its own whose drawing depends on plain fields set behind its back.
  void noteChange() { change_.note(); }

  GLIMDECK_OBJECT(CALayer)
  std::string description() const override;
  ~CALayer() override;

 protected:
  CALayer() = default;
  // A new layer of the same class carrying this one's model properties (not sublayers or
  // animations): the platform's initWithLayer:. Subclasses return their own type.
  virtual std::shared_ptr<CALayer> makePresentationCopy() const;
  void copyPropertiesTo(CALayer& other) const;

 private:
  struct Running {
    std::string key;
    std::shared_ptr<CAAnimation> animation;
    std::shared_ptr<RunLoopTimerToken> endTimer;
  };
  void detach(const std::shared_ptr<CALayer>& layer);
  void stopAnimation(Running running, bool finished);
  void finishAnimation(const std::shared_ptr<CAAnimation>& animation);
  void resizeSublayers(NSSize oldSize);

  NSRect bounds_;
  NSPoint position_;
  NSPoint anchorPoint_{0.5, 0.5};
  double zPosition_ = 0;
  bool geometryFlipped_ = false;
  unsigned autoresizingMask_ = kCALayerNotSizable;
  bool needsDisplayOnBoundsChange_ = false;
  std::optional<CGColor> backgroundColor_;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  std::optional<CGColor> borderColor_ = CGColor{0, 0, 0, 1};
  double opacity_ = 1;
  bool hidden_ = false;
  bool masksToBounds_ = false;
  bool shouldRasterize_ = false;
  std::optional<CGColor> shadowColor_ = CGColor{0, 0, 0, 1};
  double shadowOpacity_ = 0;
  NSSize shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  std::shared_ptr<CALayer> mask_;
  std::shared_ptr<const CGImageSource> contents_;
  std::string contentsGravity_{kCAGravityResize};
  double contentsScale_ = 1;
  std::vector<std::shared_ptr<CALayer>> sublayers_;
  std::weak_ptr<CALayer> superlayer_;
  bool needsLayout_ = false;
  bool needsDisplay_ = false;
  std::vector<Running> animations_;
  TreeChange change_;
};
