#include "browse/FocusedSearchCollectionViewHeader.h"

#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"

std::shared_ptr<FocusedSearchCollectionViewHeader> FocusedSearchCollectionViewHeader::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<FocusedSearchCollectionViewHeader>(new FocusedSearchCollectionViewHeader(frame)));
}

void FocusedSearchCollectionViewHeader::setTitleText(std::optional<std::string> text) {
  titleText_ = std::move(text);
  if (auto label = titleLabel.lock()) label->setStringValue(titleText_.value_or(""));
}

void FocusedSearchCollectionViewHeader::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>&) {
      auto header = initWithFrame(NSMakeRect(0, 0, 100, 80));
      auto label = NSTextField::labelWithString("");
      label->maximumNumberOfLines = 2;
      label->setFrame(NSMakeRect(8, 16, 84, 48));
      label->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
      header->addSubview(label);
      header->titleLabel = label;
      return std::vector<std::shared_ptr<NSObject>>{header};
    });
    return true;
  }();
  (void)registered;
}

namespace {
// The interface exists as soon as the class is part of the program, as an interface file
// would be.
const bool headerInterfaceRegistered = (FocusedSearchCollectionViewHeader::registerInterface(), true);
}  // namespace
