#include "platform/quartz/CALayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CATransaction.h"
#include "platform/quartz/CGColorValue.h"

std::shared_ptr<CALayer> CALayer::layer() { return create(); }

CALayer::~CALayer() {
  for (const auto& sub : sublayers_) sub->change_.leave(&change_);
  if (mask_) mask_->change_.leave(&change_);
}

void CALayer::setMask(std::shared_ptr<CALayer> mask) {
  if (mask_) mask_->change_.leave(&change_);
  mask_ = std::move(mask);
  if (mask_) mask_->change_.setAbove(&change_);
  noteChange();
}

// ---- geometry -------------------------------------------------------------------------------

void CALayer::setBounds(NSRect bounds) {
  NSSize old = bounds_.size;
  bounds_ = bounds;
  noteChange();
  if (old != bounds.size) {
    if (needsDisplayOnBoundsChange_) setNeedsDisplay();
    setNeedsLayout();
    resizeSublayers(old);
  }
}

NSRect CALayer::frame() const {
  return {{position_.x - anchorPoint_.x * bounds_.size.width, position_.y - anchorPoint_.y * bounds_.size.height},
          bounds_.size};
}

void CALayer::setFrame(NSRect frame) {
  setBounds({bounds_.origin, frame.size});
  position_ = {frame.origin.x + anchorPoint_.x * frame.size.width, frame.origin.y + anchorPoint_.y * frame.size.height};
  noteChange();
}

namespace {

// Shares a change of length between the flexible parts of one axis (margin before, size,
// margin after) in proportion to their lengths, or equally when they are all zero.
void share(double delta, bool flexBefore, bool flexSize, bool flexAfter, double before, double size, double after,
           double& newBefore, double& newSize) {
  newBefore = before;
  newSize = size;
  int count = int(flexBefore) + int(flexSize) + int(flexAfter);
  if (count == 0 || delta == 0) return;
  double total = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
  auto part = [&](bool flex, double length) {
    if (!flex) return 0.0;
    return total > 0 ? delta * length / total : delta / count;
  };
  newBefore = before + part(flexBefore, before);
  newSize = std::max(0.0, size + part(flexSize, size));
}

}  // namespace

void CALayer::resizeSublayers(NSSize oldSize) {
  if (auto owner = delegate.lock()) {
    if (owner->layoutSublayersOfLayer(*this)) return;
  }
  for (const auto& sub : sublayers_) {
    unsigned mask = sub->autoresizingMask_;
    if (mask == kCALayerNotSizable) continue;
    NSRect f = sub->frame();
    double x, w, y, h;
    share(bounds_.size.width - oldSize.width, mask & kCALayerMinXMargin, mask & kCALayerWidthSizable,
          mask & kCALayerMaxXMargin, f.minX() - bounds_.origin.x, f.width(), oldSize.width - (f.maxX() - bounds_.origin.x),
          x, w);
    share(bounds_.size.height - oldSize.height, mask & kCALayerMinYMargin, mask & kCALayerHeightSizable,
          mask & kCALayerMaxYMargin, f.minY() - bounds_.origin.y, f.height(),
          oldSize.height - (f.maxY() - bounds_.origin.y), y, h);
    sub->setFrame({{bounds_.origin.x + x, bounds_.origin.y + y}, {w, h}});
  }
}

void CALayer::layoutIfNeeded() {
  if (!needsLayout_) return;
  needsLayout_ = false;
  layoutSublayers();
}

void CALayer::layoutSublayers() {
  if (auto owner = delegate.lock()) owner->layoutSublayersOfLayer(*this);
}

NSRect CALayer::contentsRect() const {
  NSRect b = bounds_;
  if (!contents_) return b;
  NSSize s = contents_->size();
  if (!(s.width > 0) || !(s.height > 0)) return b;
  const std::string& g = contentsGravity_;
  if (g == kCAGravityResize) return b;
  if (g == kCAGravityResizeAspect || g == kCAGravityResizeAspectFill) {
    double sx = b.width() / s.width, sy = b.height() / s.height;
    double k = g == kCAGravityResizeAspect ? std::min(sx, sy) : std::max(sx, sy);
    NSSize fitted{s.width * k, s.height * k};
    return {{b.midX() - fitted.width / 2, b.midY() - fitted.height / 2}, fitted};
  }
  // Fixed size, placed by the named edge or corner; "top" is the high-y edge unless flipped.
  bool top = g == kCAGravityTop || g == kCAGravityTopLeft || g == kCAGravityTopRight;
  bool bottom = g == kCAGravityBottom || g == kCAGravityBottomLeft || g == kCAGravityBottomRight;
  bool left = g == kCAGravityLeft || g == kCAGravityTopLeft || g == kCAGravityBottomLeft;
  bool right = g == kCAGravityRight || g == kCAGravityTopRight || g == kCAGravityBottomRight;
  double x = left ? b.minX() : right ? b.maxX() - s.width : b.midX() - s.width / 2;
  bool high = geometryFlipped_ ? bottom : top;
  bool low = geometryFlipped_ ? top : bottom;
  double y = high ? b.maxY() - s.height : low ? b.minY() : b.midY() - s.height / 2;
  return {{x, y}, s};
}

// ---- tree -----------------------------------------------------------------------------------

void CALayer::detach(const std::shared_ptr<CALayer>& layer) {
  auto& list = sublayers_;
  list.erase(std::remove(list.begin(), list.end(), layer), list.end());
  layer->superlayer_.reset();
  layer->change_.leave(&change_);
  noteChange();
}

void CALayer::setSublayers(std::vector<std::shared_ptr<CALayer>> layers) {
  for (const auto& old : sublayers_) {
    old->superlayer_.reset();
    old->change_.leave(&change_);
  }
  sublayers_.clear();
  noteChange();
  for (const auto& layer : layers) addSublayer(layer);
}

void CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) { insertSublayer(layer, sublayers_.size()); }

void CALayer::insertSublayer(const std::shared_ptr<CALayer>& layer, std::size_t index) {
  if (!layer || layer.get() == this) return;
  // A layer cannot become a sublayer of its own descendant.
  for (auto up = superlayer(); up; up = up->superlayer()) {
    if (up == layer) return;
  }
  auto keep = layer;
  if (auto old = layer->superlayer()) old->detach(layer);
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  keep->superlayer_ = std::static_pointer_cast<CALayer>(shared_from_this());
  keep->change_.setAbove(&change_);
  noteChange();
}

void CALayer::insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
  if (!layer) return;
  if (layer->superlayer().get() == this) detach(layer);
  auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
  insertSublayer(layer, it == sublayers_.end() ? 0 : static_cast<std::size_t>(it - sublayers_.begin()));
}

void CALayer::insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
  if (!layer) return;
  if (layer->superlayer().get() == this) detach(layer);
  auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
  insertSublayer(layer, it == sublayers_.end() ? sublayers_.size() : static_cast<std::size_t>(it - sublayers_.begin()) + 1);
}

void CALayer::replaceSublayer(const std::shared_ptr<CALayer>& old, const std::shared_ptr<CALayer>& replacement) {
  auto it = std::find(sublayers_.begin(), sublayers_.end(), old);
  if (it == sublayers_.end() || !replacement) return;
  std::size_t index = static_cast<std::size_t>(it - sublayers_.begin());
  detach(old);
  insertSublayer(replacement, index);
}

void CALayer::removeFromSuperlayer() {
  if (auto parent = superlayer()) parent->detach(std::static_pointer_cast<CALayer>(shared_from_this()));
}

// ---- drawing --------------------------------------------------------------------------------

void CALayer::displayIfNeeded() {
  if (needsDisplay_) display();
}

void CALayer::display() { needsDisplay_ = false; }

void CALayer::drawInContext(GraphicsContext& context) {
  if (auto owner = delegate.lock()) owner->drawLayer(*this, context);
}

bool CALayer::needsDisplayForKey(std::string_view key) const {
  (void)key;
  return false;
}

// ---- key paths ------------------------------------------------------------------------------

namespace {

id number(double v) { return NSNumber::numberWithDouble(v); }
std::optional<double> numberOf(const id& value) {
  if (auto n = asA<NSNumber>(value)) return n->doubleValue();
  return std::nullopt;
}
id colour(const std::optional<CGColor>& c) { return c ? CGColorValue::valueWithColor(*c) : nullptr; }

}  // namespace

id CALayer::valueForKeyPath(std::string_view k) const {
  if (k == "opacity") return number(opacity_);
  if (k == "cornerRadius") return number(cornerRadius_);
  if (k == "borderWidth") return number(borderWidth_);
  if (k == "zPosition") return number(zPosition_);
  if (k == "shadowOpacity") return number(shadowOpacity_);
  if (k == "shadowRadius") return number(shadowRadius_);
  if (k == "shadowOffset") return NSValue::valueWithSize(shadowOffset_);
  if (k == "hidden") return NSNumber::numberWithBool(hidden_);
  if (k == "bounds") return NSValue::valueWithRect(bounds_);
  if (k == "bounds.size") return NSValue::valueWithSize(bounds_.size);
  if (k == "bounds.origin") return NSValue::valueWithPoint(bounds_.origin);
  if (k == "bounds.size.width") return number(bounds_.size.width);
  if (k == "bounds.size.height") return number(bounds_.size.height);
  if (k == "position") return NSValue::valueWithPoint(position_);
  if (k == "position.x") return number(position_.x);
  if (k == "position.y") return number(position_.y);
  if (k == "anchorPoint") return NSValue::valueWithPoint(anchorPoint_);
  if (k == "frame") return NSValue::valueWithRect(frame());
  if (k == "backgroundColor") return colour(backgroundColor_);
  if (k == "borderColor") return colour(borderColor_);
  if (k == "shadowColor") return colour(shadowColor_);
  return nullptr;
}

void CALayer::setValueForKeyPath(std::string_view k, const id& value) {
  noteChange();
  auto n = numberOf(value);
  auto v = asA<NSValue>(value);
  auto c = asA<CGColorValue>(value);
  if (n) {
    if (k == "opacity") opacity_ = *n;
    else if (k == "cornerRadius") cornerRadius_ = *n;
    else if (k == "borderWidth") borderWidth_ = *n;
    else if (k == "zPosition") zPosition_ = *n;
    else if (k == "shadowOpacity") shadowOpacity_ = *n;
    else if (k == "shadowRadius") shadowRadius_ = *n;
    else if (k == "hidden") hidden_ = *n != 0;
    else if (k == "bounds.size.width") setBounds({bounds_.origin, {*n, bounds_.size.height}});
    else if (k == "bounds.size.height") setBounds({bounds_.origin, {bounds_.size.width, *n}});
    else if (k == "position.x") position_.x = *n;
    else if (k == "position.y") position_.y = *n;
  } else if (v) {
    if (k == "bounds" && v->holdsRect()) setBounds(v->rectValue());
    else if (k == "bounds.size" && v->holdsSize()) setBounds({bounds_.origin, v->sizeValue()});
    else if (k == "bounds.origin" && v->holdsPoint()) bounds_.origin = v->pointValue();
    else if (k == "position" && v->holdsPoint()) position_ = v->pointValue();
    else if (k == "anchorPoint" && v->holdsPoint()) anchorPoint_ = v->pointValue();
    else if (k == "frame" && v->holdsRect()) setFrame(v->rectValue());
    else if (k == "shadowOffset" && v->holdsSize()) shadowOffset_ = v->sizeValue();
  } else if (c) {
    if (k == "backgroundColor") backgroundColor_ = c->CGColor();
    else if (k == "borderColor") borderColor_ = c->CGColor();
    else if (k == "shadowColor") shadowColor_ = c->CGColor();
  }
}

// ---- animations -----------------------------------------------------------------------------

void CALayer::addAnimation(const std::shared_ptr<CAAnimation>& animation, std::string_view key) {
  if (!animation) return;
  static std::uint64_t unnamed = 0;
  std::string name = key.empty() ? "animation-" + std::to_string(++unnamed) : std::string(key);
  removeAnimationForKey(name);

  auto copy = animation->copy();
  double fallback = CATransaction::animationDuration();
  copy->resolveDurations(fallback > 0 ? fallback : CAAnimation::defaultDuration());
  if (!copy->timingFunction) copy->timingFunction = CATransaction::animationTimingFunction();
  double now = Clock::current().now();
  if (copy->beginTime == 0) copy->beginTime = now;
  double end = copy->beginTime + copy->activeDuration();
  CATransaction::noteAnimationEnding(end);

  Running running{name, copy, nullptr};
  if (std::isfinite(end)) {
    std::weak_ptr<CALayer> weakSelf = std::static_pointer_cast<CALayer>(shared_from_this());
    std::weak_ptr<CAAnimation> weakAnimation = copy;
    running.endTimer = NSRunLoop::main()->scheduleAt(end, [weakSelf, weakAnimation] {
      auto self = weakSelf.lock();
      auto ended = weakAnimation.lock();
      if (self && ended) self->finishAnimation(ended);
    });
  }
  animations_.push_back(std::move(running));
  noteChange();
  if (copy->delegate) {
    auto owner = copy->delegate;
    NSRunLoop::main()->perform([owner, copy] { owner->animationDidStart(copy); });
  }
}

void CALayer::finishAnimation(const std::shared_ptr<CAAnimation>& animation) {
  auto it = std::find_if(animations_.begin(), animations_.end(),
                         [&](const Running& r) { return r.animation == animation; });
  if (it == animations_.end()) return;
  if (animation->removedOnCompletion) {
    animations_.erase(it);
    noteChange();
  }
  if (auto owner = animation->delegate) owner->animationDidStop(animation, true);
}

void CALayer::stopAnimation(Running running, bool finished) {
  if (running.endTimer) running.endTimer->cancel();
  if (auto owner = running.animation->delegate) {
    // Told later on the main queue, so that the caller's removal completes first.
    auto animation = running.animation;
    NSRunLoop::main()->perform([owner, animation, finished] { owner->animationDidStop(animation, finished); });
  }
}

std::shared_ptr<CAAnimation> CALayer::animationForKey(std::string_view key) const {
  for (const auto& r : animations_) {
    if (r.key == key) return r.animation;
  }
  return nullptr;
}

std::vector<std::string> CALayer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& r : animations_) keys.push_back(r.key);
  return keys;
}

void CALayer::removeAnimationForKey(std::string_view key) {
  auto it = std::find_if(animations_.begin(), animations_.end(), [&](const Running& r) { return r.key == key; });
  if (it == animations_.end()) return;
  Running running = std::move(*it);
  animations_.erase(it);
  noteChange();
  stopAnimation(std::move(running), false);
}

void CALayer::removeAllAnimations() {
  auto all = std::move(animations_);
  animations_.clear();
  if (!all.empty()) noteChange();
  for (auto& running : all) stopAnimation(std::move(running), false);
}

std::shared_ptr<CALayer> CALayer::makePresentationCopy() const {
  auto copy = layer();
  copyPropertiesTo(*copy);
  return copy;
}

void CALayer::copyPropertiesTo(CALayer& other) const {
  other.bounds_ = bounds_;
  other.position_ = position_;
  other.anchorPoint_ = anchorPoint_;
  other.zPosition_ = zPosition_;
  other.geometryFlipped_ = geometryFlipped_;
  other.autoresizingMask_ = autoresizingMask_;
  other.needsDisplayOnBoundsChange_ = needsDisplayOnBoundsChange_;
  other.backgroundColor_ = backgroundColor_;
  other.cornerRadius_ = cornerRadius_;
  other.borderWidth_ = borderWidth_;
  other.borderColor_ = borderColor_;
  other.opacity_ = opacity_;
  other.hidden_ = hidden_;
  other.masksToBounds_ = masksToBounds_;
  other.shouldRasterize_ = shouldRasterize_;
  other.shadowColor_ = shadowColor_;
  other.shadowOpacity_ = shadowOpacity_;
  other.shadowOffset_ = shadowOffset_;
  other.shadowRadius_ = shadowRadius_;
  other.mask_ = mask_;
  other.contents_ = contents_;
  other.contentsGravity_ = contentsGravity_;
  other.contentsScale_ = contentsScale_;
  other.name = name;
  other.delegate = delegate;
}

std::shared_ptr<CALayer> CALayer::presentationLayer() const {
  auto copy = makePresentationCopy();
  double now = Clock::current().now();
  for (const auto& r : animations_) r.animation->applyAt(now - r.animation->beginTime, *copy);
  return copy;
}

bool CALayer::animationsNeedDisplay() const {
  std::vector<std::string> keys;
  for (const auto& r : animations_) r.animation->collectKeyPaths(keys);
  return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return needsDisplayForKey(k); });
}

// ---- hit testing ----------------------------------------------------------------------------

bool CALayer::containsPoint(NSPoint p) const {
  return p.x >= bounds_.minX() && p.x <= bounds_.maxX() && p.y >= bounds_.minY() && p.y <= bounds_.maxY();
}

NSPoint CALayer::convertPointFromSuperlayer(NSPoint p) const {
  NSRect f = frame();
  return {p.x - f.origin.x + bounds_.origin.x, p.y - f.origin.y + bounds_.origin.y};
}

NSPoint CALayer::convertPointToSuperlayer(NSPoint p) const {
  NSRect f = frame();
  return {p.x + f.origin.x - bounds_.origin.x, p.y + f.origin.y - bounds_.origin.y};
}

std::shared_ptr<CALayer> CALayer::hitTest(NSPoint pointInSuperlayer) {
  if (hidden_ || opacity_ <= 0) return nullptr;
  NSPoint local = convertPointFromSuperlayer(pointInSuperlayer);
  bool inside = containsPoint(local);
  if (masksToBounds_ && !inside) return nullptr;
  // Front to back: higher z first, then later siblings.
  std::vector<std::shared_ptr<CALayer>> order = sublayers_;
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a->zPosition_ < b->zPosition_; });
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    if (auto hit = (*it)->hitTest(local)) return hit;
  }
  return inside ? std::static_pointer_cast<CALayer>(shared_from_this()) : nullptr;
}

std::string CALayer::description() const {
  NSRect f = frame();
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "<%s%s%s frame {{%g, %g}, {%g, %g}}>", className().c_str(),
                name.empty() ? "" : " ", name.c_str(), f.origin.x, f.origin.y, f.size.width, f.size.height);
  return buffer;
}
