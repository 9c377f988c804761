#pragma once
// The icon in the status bar: draws the light, dark or highlighted picture, reports
// clicks and takes GIFs dropped on it (GIF data, or files, which are copied in).

#include <map>
#include <memory>
#include <vector>

#include "model/VornObject.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSStatusBar.h"
#include "platform/appkit/NSView.h"

class AppDelegate;

class StatusItemViewDelegate {
 public:
  virtual ~StatusItemViewDelegate() = default;
  // The icon was clicked; `highlighted` is the view's new state.
  virtual void didClickItemWithHighlighted(bool highlighted) = 0;
  // GIFs were dropped on the icon (possibly none could be made).
  virtual void didDragVornsWithVorns(const std::vector<std::shared_ptr<VornObject>>& vorns) = 0;
};

class StatusItemView : public NSView {
 public:
  struct Constants {
    static constexpr std::string_view lightImageName = "StatusIcon-Light";
    static constexpr std::string_view darkImageName = "StatusIcon-Dark";
    static constexpr std::string_view highlightedImageName = "StatusIcon-Active";
  };

  static std::shared_ptr<StatusItemView> initWithFrame(NSRect frame);
  // A view of the item's length and the bar's thickness, made the item's view.
  static std::shared_ptr<StatusItemView> initWithStatusItem(const std::shared_ptr<NSStatusItem>& statusItem);

  std::shared_ptr<NSImage> lightMenuBarImage() const { return lightMenuBarImage_; }
  std::shared_ptr<NSImage> darkMenuBarImage() const { return darkMenuBarImage_; }
  std::shared_ptr<NSImage> highlightedMenuBarImage() const { return highlightedMenuBarImage_; }
  std::weak_ptr<AppDelegate> appDelegate;
  std::shared_ptr<NSStatusItem> statusItem;
  std::weak_ptr<StatusItemViewDelegate> delegate;

  bool highlighted() const { return highlighted_; }
  // Picks the image for the state (highlighted, else the menu bar's dark or light one).
  void setHighlighted(bool highlighted);
  std::shared_ptr<NSImage> image() const { return image_; }
  void setImage(const std::shared_ptr<NSImage>& image);
  std::map<long, bool> validDrops() const { return validDrops_; }
  void setValidDrops(std::map<long, bool> drops) { validDrops_ = std::move(drops); }

  void drawRect(NSRect dirtyRect) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  NSDragOperation draggingEntered(const std::shared_ptr<NSDraggingInfo>& sender) override;
  void draggingEnded(const std::shared_ptr<NSDraggingInfo>& sender) override;
  bool performDragOperation(const std::shared_ptr<NSDraggingInfo>& sender) override;
  std::string dumpText() const override;
  // The desktop's look changed: the light or dark picture follows it.
  void interfaceThemeChanged(const std::shared_ptr<NSNotification>& notification);

  GLIMDECK_OBJECT(StatusItemView)

 protected:
  using NSView::NSView;
  void didInit() override;

 private:
  std::shared_ptr<NSImage> lightMenuBarImage_;
  std::shared_ptr<NSImage> darkMenuBarImage_;
  std::shared_ptr<NSImage> highlightedMenuBarImage_;
  bool highlighted_ = false;
  std::shared_ptr<NSImage> image_;
  std::map<long, bool> validDrops_;
};
