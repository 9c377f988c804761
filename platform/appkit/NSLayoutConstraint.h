#pragma once
// A layout constraint kept as a record: which item and attribute it ties to which, with
// what multiplier and constant, whether it is active, and at what priority. Nothing solves
// them; the code that built a view tree places its views from these values in its layout
// pass, and changing a constant or the active flag asks that view to lay out again.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSView;

enum class NSLayoutAttribute {
  notAnAttribute = 0,
  left = 1,
  right = 2,
  top = 3,
  bottom = 4,
  leading = 5,
  trailing = 6,
  width = 7,
  height = 8,
  centerX = 9,
  centerY = 10,
  lastBaseline = 11,
  firstBaseline = 12,
};

enum class NSLayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

using NSLayoutPriority = float;
constexpr NSLayoutPriority NSLayoutPriorityRequired = 1000;
constexpr NSLayoutPriority NSLayoutPriorityDefaultHigh = 750;
constexpr NSLayoutPriority NSLayoutPriorityDefaultLow = 250;

class NSLayoutConstraint : public NSObject {
 public:
  static std::shared_ptr<NSLayoutConstraint> constraintWithItem(const std::shared_ptr<NSObject>& firstItem,
                                                                NSLayoutAttribute firstAttribute,
                                                                NSLayoutRelation relatedBy,
                                                                const std::shared_ptr<NSObject>& toItem,
                                                                NSLayoutAttribute secondAttribute,
                                                                double multiplier, double constant);
  // Shorthands: "item attribute = constant" and "item attribute = other attribute + constant".
  static std::shared_ptr<NSLayoutConstraint> constant(const std::shared_ptr<NSObject>& item,
                                                      NSLayoutAttribute attribute, double constant);
  static std::shared_ptr<NSLayoutConstraint> equal(const std::shared_ptr<NSObject>& item,
                                                   NSLayoutAttribute attribute,
                                                   const std::shared_ptr<NSObject>& other,
                                                   NSLayoutAttribute otherAttribute, double constant = 0);
  static void activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  static void deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);

  std::shared_ptr<NSObject> firstItem() const { return firstItem_.lock(); }
  std::shared_ptr<NSObject> secondItem() const { return secondItem_.lock(); }
  NSLayoutAttribute firstAttribute() const { return firstAttribute_; }
  NSLayoutAttribute secondAttribute() const { return secondAttribute_; }
  NSLayoutRelation relation() const { return relation_; }
  double multiplier() const { return multiplier_; }

  double constant() const { return constant_; }
  void setConstant(double constant);
  bool isActive() const { return active_; }
  void setActive(bool active);

  NSLayoutPriority priority = NSLayoutPriorityRequired;
  std::string identifier;
  bool shouldBeArchived = false;

  // Animations run to their end at once here: the animator is the record itself.
  std::shared_ptr<NSLayoutConstraint> animator() { return sharedAs<NSLayoutConstraint>(); }

  // The view that keeps the record (set by NSView::addConstraint).
  std::shared_ptr<NSView> holder() const { return holder_.lock(); }
  void setHolder(const std::shared_ptr<NSView>& view) { holder_ = view; }

  GLIMDECK_OBJECT(NSLayoutConstraint)
  std::string description() const override;

 private:
  NSLayoutConstraint() = default;
  void requestLayout();

  std::weak_ptr<NSObject> firstItem_;
  std::weak_ptr<NSObject> secondItem_;
  NSLayoutAttribute firstAttribute_ = NSLayoutAttribute::notAnAttribute;
  NSLayoutAttribute secondAttribute_ = NSLayoutAttribute::notAnAttribute;
  NSLayoutRelation relation_ = NSLayoutRelation::equal;
  double multiplier_ = 1.0;
  double constant_ = 0.0;
  bool active_ = true;
  std::weak_ptr<NSView> holder_;
};
