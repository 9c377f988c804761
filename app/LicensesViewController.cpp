#include "app/LicensesViewController.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/LicenseParser.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSNib.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSTextView.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"
#include "ui/QLXView.h"

static_assert(LicensesViewController::Constants::licenseSeparator.size() == 93);

namespace {

// The text view grows with its text (the interface makes it vertically resizable): wrapped
// in the width its scroll view shows, never lower than that view, so that the scroll view
// reaches all of it without a sideways scroll. A long text is laid out in the background,
// so the page shows at once with a height that is exact once the layout is done.
void fitLicenceTextToView(NSTextView& textView) {
  NSSize shown = textView.superview() ? textView.superview()->bounds().size : textView.frame().size;
  textView.minSize = shown;
  NSRect frame = textView.frame();
  frame.size.width = shown.width;
  textView.setFrame(frame);
  textView.sizeToFit();
}

}  // namespace

std::shared_ptr<LicensesViewController> LicensesViewController::initWithNibName(std::string nibName) {
  registerInterface();
  return create(std::move(nibName));
}

void LicensesViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  auto container = containerView.lock();
  if (!container) return;
  setConvenientBackgroundColor(*container, NSColor::whiteColor());
  if (auto layer = container->layer()) layer->setCornerRadius(Constants::cornerRadius);
}

void LicensesViewController::viewDidLoad() {
  NSViewController::viewDidLoad();
  auto licenses = LicenseParser::parse().value_or(std::vector<License>{});
  auto textView = licensesTextView.lock();
  if (!textView) return;
  std::string text;
  for (const auto& license : licenses) {
    text += license.libraryName;
    text += '\n';
    text += license.licenseText.value_or("");
    text += Constants::licenseSeparator;
  }
  textView->setString(text);
  // Without the face the text keeps the view's own font rather than none.
  if (auto font = NSFont::fontWithName(Constants::fontName, Constants::fontSize)) textView->setFont(font);
  fitLicenceTextToView(*textView);
}

void LicensesViewController::didClickClose(const std::shared_ptr<NSObject>& /*sender*/) {
  if (auto listener = delegate.lock()) listener->licensesInterfaceDidRequestClose();
}

namespace {

constexpr double licencePageWidth = 400;
constexpr double licencePageHeight = 480;
// The white card lies inset in the overlay as the other overlays' cards do, the panel dimmed
// around it; the text and the Close button are inside it.
constexpr double licenceCardInset = 10;
constexpr double licenceTextInset = 8;
constexpr double licenceButtonMargin = 12;
constexpr double licencePageButtonHeight = 28;

std::vector<std::shared_ptr<NSObject>> buildLicensesPage(const std::shared_ptr<NSObject>& owner) {
  constexpr NSAutoresizingMaskOptions fills = NSViewWidthSizable | NSViewHeightSizable;
  auto page = NSView::initWithFrame(NSMakeRect(0, 0, licencePageWidth, licencePageHeight));
  page->autoresizingMask = fills;
  setConvenientBackgroundColor(*page, NSColor::colorWithWhite(0, 0.4));
  auto container = QLXView::initWithFrame(NSInsetRect(page->bounds(), licenceCardInset, licenceCardInset));
  container->autoresizingMask = fills;
  page->addSubview(container);
  const double textBottom = licenceButtonMargin + licencePageButtonHeight + licenceTextInset;
  auto scroll = NSScrollView::initWithFrame(NSMakeRect(licenceTextInset, textBottom,
                                                       container->bounds().width() - 2 * licenceTextInset,
                                                       container->bounds().height() - textBottom - licenceTextInset));
  scroll->autoresizingMask = fills;
  container->addSubview(scroll);
  auto text = NSTextView::initWithFrame(NSMakeRect(0, 0, scroll->frame().size.width, scroll->frame().size.height));
  text->setEditable(false);
  text->setSelectable(true);
  text->setVerticallyResizable(true);
  scroll->setDocumentView(text);
  auto close = QLXButton::initWithFrame(NSMakeRect((container->bounds().width() - 120) / 2, licenceButtonMargin, 120,
                                                   licencePageButtonHeight));
  close->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin;
  close->setTitle(std::string(LicensesViewController::Constants::closeTitle));
  container->addSubview(close);
  if (auto controller = asA<LicensesViewController>(owner)) {
    controller->setView(page);
    controller->containerView = container;
    controller->licensesTextView = text;
    controller->closeButton = close;
    std::weak_ptr<LicensesViewController> weak = controller;
    close->action = [weak](const std::shared_ptr<NSObject>& sender) {
      if (auto page = weak.lock()) page->didClickClose(sender);
    };
  }
  return {page};
}

}  // namespace

void LicensesViewController::registerInterface() {
  static const bool registered = [] {
    NSNib::registerBuilder(std::string(Constants::interfaceName), buildLicensesPage);
    return true;
  }();
  (void)registered;
}
