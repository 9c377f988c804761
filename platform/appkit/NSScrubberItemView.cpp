#include "platform/appkit/NSScrubberItemView.h"

#include "platform/appkit/NSTextField.h"

std::shared_ptr<NSScrubberItemView> NSScrubberItemView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSScrubberItemView>(new NSScrubberItemView(frame)));
}

std::shared_ptr<NSScrubberTextItemView> NSScrubberTextItemView::initWithFrame(NSRect frame) {
  return finishInit(std::shared_ptr<NSScrubberTextItemView>(new NSScrubberTextItemView(frame)));
}

void NSScrubberTextItemView::didInit() {
  NSScrubberItemView::didInit();
  textField_ = NSTextField::labelWithString("");
  textField_->setFrame(bounds());
  textField_->autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
  textField_->setAlignment(NSTextAlignment::center);
  addSubview(textField_);
}

std::string NSScrubberTextItemView::title() const { return textField_->stringValue(); }

void NSScrubberTextItemView::setTitle(std::string title) { textField_->setStringValue(std::move(title)); }
