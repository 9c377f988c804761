#include "app/AppDelegate.h"
#include "platform/appkit/NSViewController.h"

std::shared_ptr<RootViewController> AppDelegate::rootController() const { return nullptr; }

std::shared_ptr<NSViewController> AppDelegate::makeRootPanel() {
  auto controller = NSViewController::make();
  controller->setView(NSView::initWithFrame(NSMakeRect(0, 0, 380, 560)));
  return controller;
}

void AppDelegate::focusPanelSearchField() {}
void AppDelegate::checkTermsOfServiceOnShow() { isFirstOverallAppOpen_ = false; }
void AppDelegate::handOverDroppedVorns(const std::vector<std::shared_ptr<VornObject>>&) {}
