#include "platform/appkit/NSLayoutConstraint.h"

#include <cstdio>

#include "platform/appkit/NSView.h"

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::constraintWithItem(
    const std::shared_ptr<NSObject>& firstItem, NSLayoutAttribute firstAttribute, NSLayoutRelation relatedBy,
    const std::shared_ptr<NSObject>& toItem, NSLayoutAttribute secondAttribute, double multiplier,
    double constant) {
  auto c = std::shared_ptr<NSLayoutConstraint>(new NSLayoutConstraint());
  c->firstItem_ = firstItem;
  c->firstAttribute_ = firstAttribute;
  c->relation_ = relatedBy;
  c->secondItem_ = toItem;
  c->secondAttribute_ = secondAttribute;
  c->multiplier_ = multiplier;
  c->constant_ = constant;
  return c;
}

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::constant(const std::shared_ptr<NSObject>& item,
                                                                 NSLayoutAttribute attribute, double constant) {
  return constraintWithItem(item, attribute, NSLayoutRelation::equal, nullptr,
                            NSLayoutAttribute::notAnAttribute, 1.0, constant);
}

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::equal(const std::shared_ptr<NSObject>& item,
                                                              NSLayoutAttribute attribute,
                                                              const std::shared_ptr<NSObject>& other,
                                                              NSLayoutAttribute otherAttribute, double constant) {
  return constraintWithItem(item, attribute, NSLayoutRelation::equal, other, otherAttribute, 1.0, constant);
}

void NSLayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& list) {
  for (auto& c : list) {
    if (c) c->setActive(true);
  }
}

void NSLayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& list) {
  for (auto& c : list) {
    if (c) c->setActive(false);
  }
}

void NSLayoutConstraint::setConstant(double constant) {
  if (constant == constant_) return;
  constant_ = constant;
  requestLayout();
}

void NSLayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  active_ = active;
  requestLayout();
}

void NSLayoutConstraint::requestLayout() {
  // The view that keeps the record lays out its subtree; without one, the first item's
  // superview (where its frame is decided), or the item itself.
  if (auto view = holder()) {
    view->setNeedsLayout(true);
    return;
  }
  if (auto item = asA<NSView>(firstItem())) {
    if (auto parent = item->superview()) {
      parent->setNeedsLayout(true);
    } else {
      item->setNeedsLayout(true);
    }
  }
}

std::string NSLayoutConstraint::description() const {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "NSLayoutConstraint %s: attr %d rel %d attr %d x%g %+g%s",
                identifier.c_str(), static_cast<int>(firstAttribute_), static_cast<int>(relation_),
                static_cast<int>(secondAttribute_), multiplier_, constant_, active_ ? "" : " (inactive)");
  return buffer;
}
