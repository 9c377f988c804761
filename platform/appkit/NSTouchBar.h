#pragma once
// The strip of controls above the keyboard of some laptops. No machine here has one, so a
// bar is only its model: the identifiers it shows and the items its delegate makes for them.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSTouchBar;
class NSView;

class NSTouchBarItem : public NSObject {
 public:
  std::string identifier() const { return identifier_; }
  GLIMDECK_OBJECT(NSTouchBarItem)

 protected:
  explicit NSTouchBarItem(std::string identifier) : identifier_(std::move(identifier)) {}

 private:
  std::string identifier_;
};

// An item that shows a view of the application's own.
class NSCustomTouchBarItem : public NSTouchBarItem {
 public:
  static std::shared_ptr<NSCustomTouchBarItem> initWithIdentifier(std::string identifier);
  std::shared_ptr<NSView> view;
  GLIMDECK_OBJECT(NSCustomTouchBarItem)

 private:
  using NSTouchBarItem::NSTouchBarItem;
};

class NSTouchBarDelegate {
 public:
  virtual ~NSTouchBarDelegate() = default;
  virtual std::shared_ptr<NSTouchBarItem> touchBarMakeItemForIdentifier(const std::shared_ptr<NSTouchBar>& /*touchBar*/,
                                                                        const std::string& /*identifier*/) {
    return nullptr;
  }
};

class NSTouchBar : public NSObject {
 public:
  static std::shared_ptr<NSTouchBar> make() { return create(); }

  std::shared_ptr<NSTouchBarDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSTouchBarDelegate>& delegate) { delegate_ = delegate; }

  std::string customizationIdentifier;
  std::vector<std::string> defaultItemIdentifiers;
  std::vector<std::string> customizationAllowedItemIdentifiers;

  // The item shown for an identifier: made by the delegate on first request, then kept.
  std::shared_ptr<NSTouchBarItem> itemForIdentifier(const std::string& identifier);

  GLIMDECK_OBJECT(NSTouchBar)

 private:
  NSTouchBar() = default;
  std::weak_ptr<NSTouchBarDelegate> delegate_;
  std::map<std::string, std::shared_ptr<NSTouchBarItem>> items_;
};
