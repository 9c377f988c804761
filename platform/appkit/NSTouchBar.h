#pragma once
// The strip of controls above the keyboard of some laptops. No machine here has one, so a
// bar is only its model: the identifiers it shows, the items its delegate makes for them
// and where their views would stand on the application's part of the strip.

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
  struct Constants {
    // The part of the strip an application's items get, in points.
    static constexpr double width = 685.0;
    static constexpr double height = 30.0;
  };

  static std::shared_ptr<NSTouchBar> make() { return create(); }

  std::shared_ptr<NSTouchBarDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<NSTouchBarDelegate>& delegate);

  std::string customizationIdentifier;
  std::vector<std::string> customizationAllowedItemIdentifiers;
  // What the bar shows (the user never customises it here). Setting them puts their items
  // on the bar at once, made by the delegate; items whose identifiers left are let go.
  const std::vector<std::string>& defaultItemIdentifiers() const { return defaultItemIdentifiers_; }
  void setDefaultItemIdentifiers(std::vector<std::string> identifiers);
  const std::vector<std::string>& itemIdentifiers() const { return defaultItemIdentifiers_; }

  // The item on the bar for an identifier, made by the delegate when first needed; none
  // for an identifier the bar does not show.
  std::shared_ptr<NSTouchBarItem> itemForIdentifier(const std::string& identifier);
  // The items on the bar, in order. Their views share the strip: other views keep their
  // width, scrubbers divide the rest; all are the strip's height.
  std::vector<std::shared_ptr<NSTouchBarItem>> items();

  GLIMDECK_OBJECT(NSTouchBar)

 private:
  NSTouchBar() = default;
  void show();
  bool isShown(const std::string& identifier) const;

  std::weak_ptr<NSTouchBarDelegate> delegate_;
  std::vector<std::string> defaultItemIdentifiers_;
  std::map<std::string, std::shared_ptr<NSTouchBarItem>> items_;
  bool showing_ = false;
};
