#pragma once
// What the application delegate offers screens that must put the panel's popover away for
// a while (a modal file panel would otherwise sit under it): closing and showing it again.
// Screens find it as the application's delegate and do without it when it is not one.

#include <memory>

#include "platform/foundation/NSObject.h"

class PopoverPresenter {
 public:
  virtual ~PopoverPresenter() = default;
  virtual void showPopoverWithSender(const std::shared_ptr<NSObject>& sender) = 0;
  virtual void closePopoverWithSender(const std::shared_ptr<NSObject>& sender, bool animated) = 0;
};
