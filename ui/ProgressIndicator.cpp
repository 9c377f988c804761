#include "ui/ProgressIndicator.h"

#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/quartz/CAAnimationGroup.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CAMediaTimingFunction.h"

namespace {

std::shared_ptr<CABasicAnimation> valueAnimation(double from, double to, double duration) {
  auto animation = CABasicAnimation::animationWithKeyPath("value");
  animation->duration = duration;
  animation->fromValue = NSNumber::numberWithDouble(from);
  animation->toValue = NSNumber::numberWithDouble(to);
  animation->timingFunction = CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
  return animation;
}

}  // namespace

std::shared_ptr<ProgressIndicator> ProgressIndicator::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<ProgressIndicator>(new ProgressIndicator(frame)));
}

void ProgressIndicator::didInit() {
  NSView::didInit();
  setLayer(ProgressLayer::layer());
  setWantsLayer(true);
}

std::shared_ptr<ProgressLayer> ProgressIndicator::progressLayer() const { return asA<ProgressLayer>(layer()); }

double ProgressIndicator::value() const {
  auto layer = progressLayer();
  return layer ? layer->value : 0.0;
}

void ProgressIndicator::setValue(double value) {
  if (auto layer = progressLayer()) layer->value = value;
}

void ProgressIndicator::setValue(double value, bool animated, double duration) {
  auto layer = progressLayer();
  if (!layer) return;
  if (animated) {
    layer->addAnimation(valueAnimation(layer->value, value, duration), Constants::valueKey);
    layer->value = value;
  } else {
    layer->value = value;
    layer->setNeedsDisplay();
  }
}

void ProgressIndicator::setColor(std::shared_ptr<NSColor> color) {
  color_ = std::move(color);
  if (auto layer = progressLayer()) {
    layer->setBorderColor(color_ ? std::optional<CGColor>(color_->CGColor()) : std::nullopt);
  }
}

void ProgressIndicator::start() {
  setHidden(false);
  auto layer = progressLayer();
  if (!layer) return;
  layer->removeAllAnimations();
  auto first = valueAnimation(0, 1, Constants::sweepDuration);
  auto second = valueAnimation(0, 1, Constants::sweepDuration);
  second->beginTime = Constants::sweepDuration;
  auto group = CAAnimationGroup::animation();
  group->animations = {first, second};
  // The group spans both sweeps and plays until stop; left at the default length it would
  // cut the sweeps short and play once, leaving a still pie while the work goes on.
  group->duration = 2 * Constants::sweepDuration;
  group->repeatCount = HUGE_VAL;
  layer->addAnimation(group, Constants::valueKey);
}

void ProgressIndicator::stop() {
  if (auto layer = progressLayer()) layer->removeAllAnimations();
  setHidden(true);
}
