#include "browse/AutosuggestCollectionViewCell.h"

#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSTextField.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"

namespace {

// Holds the row's label: a click on the term goes through to the row, which selects it,
// instead of stopping at the label.
class AutosuggestLabelArea : public NSView {
 public:
  static std::shared_ptr<AutosuggestLabelArea> initWithFrame(NSRect frame) { return create(frame); }
  std::shared_ptr<NSView> hitTest(NSPoint) override { return nullptr; }
  GLIMDECK_OBJECT(AutosuggestLabelArea)

 protected:
  using NSView::NSView;
};

}  // namespace

std::shared_ptr<AutosuggestCollectionViewCell> AutosuggestCollectionViewCell::make() {
  registerInterface();
  return create(std::string(Constants::interfaceName));
}

void AutosuggestCollectionViewCell::setTerm(std::optional<std::string> term) {
  term_ = std::move(term);
  if (!term_) return;
  if (auto label = termLabel.lock()) label->setStringValue(*term_);
}

void AutosuggestCollectionViewCell::setSelected(bool selected) {
  NSCollectionViewItem::setSelected(selected);
  setConvenientBackgroundColor(*view(), selected ? NSColorPalette::autosuggestSelectionOffWhite() : NSColor::whiteColor());
}

void AutosuggestCollectionViewCell::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), [](const std::shared_ptr<NSObject>& owner) {
      auto row = NSView::initWithFrame(NSMakeRect(0, 0, 480, 65));
      setConvenientBackgroundColor(*row, NSColor::whiteColor());
      auto label = NSTextField::labelWithString("");
      label->setFont(NSFont::fontWithName("AvenirNext-Medium", 16));
      auto area = AutosuggestLabelArea::initWithFrame(NSMakeRect(20, 21, 440, 22));
      area->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
      label->setFrame(area->bounds());
      label->autoresizingMask = NSViewWidthSizable;
      area->addSubview(label);
      row->addSubview(area);
      if (auto cell = asA<AutosuggestCollectionViewCell>(owner)) {
        cell->setView(row);
        cell->termLabel = label;
        cell->textField = label;
      }
      return std::vector<std::shared_ptr<NSObject>>{row};
    });
    return true;
  }();
  (void)registered;
}

namespace {
const bool autosuggestCellInterfaceRegistered = (AutosuggestCollectionViewCell::registerInterface(), true);
}  // namespace
