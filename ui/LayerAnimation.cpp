#include "ui/LayerAnimation.h"

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/quartz/CABasicAnimation.h"
#include "platform/quartz/CALayer.h"
#include "platform/quartz/CAMediaTimingFunction.h"
#include "platform/quartz/CATransaction.h"

namespace {

void animateBounds(CALayer& layer, const id& target) {
  auto value = asA<NSValue>(target);
  if (!value || !value->holdsRect()) return;
  auto animation = CABasicAnimation::animationWithKeyPath("bounds");
  animation->fromValue = NSValue::valueWithRect(layer.bounds());
  animation->toValue = value;
  layer.setBounds(value->rectValue());
  layer.addAnimation(animation, "bounds");
}

void animateOpacity(CALayer& layer, const id& target) {
  auto number = asA<NSNumber>(target);
  if (!number || !number->isReal()) return;
  auto animation = CABasicAnimation::animationWithKeyPath("opacity");
  animation->fromValue = NSNumber::numberWithDouble(layer.opacity());
  animation->toValue = number;
  layer.setOpacity(number->doubleValue());
  layer.addAnimation(animation, "opacity");
}

}  // namespace

void performCATransaction(const std::shared_ptr<CALayer>& layer, LayerAnimationKind kind, const id& target,
                          double duration, std::function<void()> completion) {
  CATransaction::begin();
  CATransaction::setAnimationDuration(duration);
  CATransaction::setDisableActions(true);
  CATransaction::setAnimationTimingFunction(
      CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
  if (completion) CATransaction::setCompletionBlock(std::move(completion));
  if (layer) {
    if (kind == LayerAnimationKind::bounds) animateBounds(*layer, target);
    else animateOpacity(*layer, target);
  }
  CATransaction::commit();
}
