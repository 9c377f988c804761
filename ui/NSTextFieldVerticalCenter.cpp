#include "ui/NSTextFieldVerticalCenter.h"

std::shared_ptr<NSTextFieldVerticalCenter> NSTextFieldVerticalCenter::initWithFrame(NSRect frame) {
  // Made like any text field: editable, bezeled, on the text background.
  auto field = std::shared_ptr<NSTextFieldVerticalCenter>(new NSTextFieldVerticalCenter(frame, NSTextFieldCell::initTextCell({})));
  auto plain = NSTextField::initWithFrame(frame);
  field->setCell(plain->cell());
  return finishInit(field);
}
