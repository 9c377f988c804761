#include "browse/TermViewController.h"

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSViewExtensions.h"

std::shared_ptr<TermViewController> TermViewController::initWithNibName(std::string nibName) {
  registerInterface();
  return create(std::move(nibName));
}

void TermViewController::setTerm(std::string term) {
  term_ = std::move(term);
  if (auto label = termLabel.lock()) label->setStringValue(term_);
}

void TermViewController::viewDidLoad() {
  NSCollectionViewItem::viewDidLoad();
  auto color = convenientBackgroundColor(*view());
  if (!color) return;
  auto layer = view()->layer();
  layer->setBackgroundColor(color->CGColor());
  layer->setMasksToBounds(true);
  layer->setCornerRadius(Constants::cornerRadius);
}

void TermViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      auto view = NSView::initWithFrame(NSMakeRect(0, 0, 140, 40));
      auto label = NSTextField::labelWithString("");
      label->setFrame(NSMakeRect(8, 10, 124, 20));
      label->autoresizingMask = NSViewWidthSizable;
      view->addSubview(label);
      if (auto item = asA<TermViewController>(owner)) {
        item->setView(view);
        item->termLabel = label->textFieldCell();
        item->textField = label;
      }
      return std::vector<std::shared_ptr<NSObject>>{view};
    });
    return true;
  }();
  (void)registered;
}

namespace {
// The interface exists as soon as the class is part of the program, as an interface file
// would be.
const bool termInterfaceRegistered = (TermViewController::registerInterface(), true);
}  // namespace
