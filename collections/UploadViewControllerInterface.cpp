// The upload screen's view tree, built in code, and its set-up once the outlets are in
// place. The card is flipped so that it reads top to bottom: Back, title, instructions,
// the URL field beside the browse button, then the drop target, in which the tagging
// interface (the staged list and Upload) fades in. The success view covers the card.

#include "collections/UploadViewController.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/appkit/NSShadow.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"

namespace {

constexpr double screenWidth = 400;
constexpr double screenHeight = 480;
constexpr double cardInset = 10;
constexpr double cardWidth = screenWidth - 2 * cardInset;
constexpr double cardHeight = screenHeight - 2 * cardInset;
constexpr double margin = 20;
constexpr double rowTop = 132;
constexpr double rowHeight = 32;
constexpr double browseWidth = 150;
constexpr double dropTop = rowTop + rowHeight + 14;
constexpr double buttonWidth = 140;
constexpr double buttonHeight = 36;
constexpr NSAutoresizingMaskOptions fills = NSViewWidthSizable | NSViewHeightSizable;

std::shared_ptr<NSTextField> makeLabel(std::string_view text, NSRect frame) {
  auto label = NSTextField::labelWithString(std::string(text));
  label->setFrame(frame);
  label->autoresizingMask = NSViewWidthSizable;
  return label;
}

void styleLabel(NSTextField& label, std::string_view fontName, double size) {
  label.setFont(NSFont::fontWithName(fontName, size));
  label.setTextColor(NSColorPalette::textFieldTextOffBlack());
  label.setBackgroundColor(NSColor::clearColor());
  label.setDrawsBackground(false);
}

std::shared_ptr<QLXButton> makeButton(std::string_view title, NSRect frame, NSAction action) {
  auto button = QLXButton::initWithFrame(frame);
  button->setTitle(std::string(title));
  button->setBordered(false);
  button->action = std::move(action);
  return button;
}

template <typename Screen>
NSAction actionOf(const std::shared_ptr<Screen>& screen, void (Screen::*method)(const std::shared_ptr<NSObject>&)) {
  std::weak_ptr<Screen> weak = screen;
  return [weak, method](const std::shared_ptr<NSObject>& sender) {
    if (auto strong = weak.lock()) ((*strong).*method)(sender);
  };
}

}  // namespace

void UploadViewController::loadView() {
  auto self = sharedAs<UploadViewController>();
  auto root = NSView::initWithFrame(NSMakeRect(0, 0, screenWidth, screenHeight));
  const NSRect cardFrame = NSMakeRect(cardInset, cardInset, cardWidth, cardHeight);
  auto shadowView = NSView::initWithFrame(cardFrame);
  shadowView->autoresizingMask = fills;
  root->addSubview(shadowView);
  auto card = NSView::initWithFrame(cardFrame);
  card->setFlipped(true);
  card->autoresizingMask = fills;
  root->addSubview(card);

  auto back = makeButton(Constants::backTitle, NSMakeRect(margin, 10, 60, 22), actionOf(self, &UploadViewController::didTapBack));
  back->setFont(NSFont::fontWithName(Constants::regularFont, Constants::regularSize));
  back->setAttributedTitle(NSAttributedString::make(
      Constants::backTitle, {{NSFontAttributeName, back->font()}, {NSForegroundColorAttributeName, NSColorPalette::standardBlue()}}));
  card->addSubview(back);
  auto title = makeLabel(Constants::title, NSMakeRect(margin, 38, cardWidth - 2 * margin, 34));
  card->addSubview(title);
  auto subtitle = makeLabel(Constants::subtitle, NSMakeRect(margin, 76, cardWidth - 2 * margin, 46));
  subtitle->textFieldCell()->wraps = true;
  card->addSubview(subtitle);

  const double fieldWidth = cardWidth - 3 * margin / 2 - browseWidth - margin / 2;
  auto field = NSTextField::initWithFrame(NSMakeRect(margin, rowTop, fieldWidth, rowHeight));
  field->autoresizingMask = NSViewWidthSizable;
  // Its look is its layer's (background and border colour show its state): the field draws
  // no bezel or background of its own over it.
  field->setBezeled(false);
  field->setBordered(false);
  field->setDrawsBackground(false);
  field->setDelegate(std::static_pointer_cast<NSTextFieldDelegate>(self));
  card->addSubview(field);
  const NSRect browseFrame = NSMakeRect(cardWidth - margin - browseWidth, rowTop, browseWidth, rowHeight);
  auto browseShadow = NSView::initWithFrame(browseFrame);
  browseShadow->autoresizingMask = NSViewMinXMargin;
  card->addSubview(browseShadow);
  auto browse = makeButton(Constants::browseTitle, browseFrame, actionOf(self, &UploadViewController::didTapBrowse));
  browse->autoresizingMask = NSViewMinXMargin;
  card->addSubview(browse);

  const NSRect dropFrame = NSMakeRect(margin, dropTop, cardWidth - 2 * margin, cardHeight - dropTop - margin);
  auto drop = UploadDragView::initWithFrame(dropFrame);
  drop->autoresizingMask = fills;
  card->addSubview(drop);
  // Inside the drop target, so that drops over the staged list still reach it.
  auto tagging = NSView::initWithFrame(drop->bounds());
  tagging->autoresizingMask = fills;
  drop->addSubview(tagging);

  // The tagging interface: the staged list over the Upload button, whose place the error
  // line takes while it flashes (under the button, which keeps the clicks).
  auto taggingInterface = NSView::initWithFrame(NSMakeRect(0, 0, dropFrame.size.width, dropFrame.size.height));
  taggingInterface->setFlipped(true);
  const double listHeight = dropFrame.size.height - buttonHeight - margin;
  auto scroll = NSScrollView::initWithFrame(NSMakeRect(0, 0, dropFrame.size.width, listHeight));
  scroll->autoresizingMask = fills;
  auto list = NSCollectionView::initWithFrame(NSMakeRect(0, 0, dropFrame.size.width, listHeight));
  list->autoresizingMask = NSViewWidthSizable;
  auto flow = NSCollectionViewFlowLayout::init();
  flow->setMinimumLineSpacing(0);
  flow->setMinimumInteritemSpacing(0);
  list->setCollectionViewLayout(flow);
  list->dataSource = std::static_pointer_cast<NSCollectionViewDataSource>(self);
  list->delegate = std::static_pointer_cast<NSCollectionViewDelegate>(
      std::static_pointer_cast<NSCollectionViewDelegateFlowLayout>(self));
  scroll->setDocumentView(list);
  taggingInterface->addSubview(scroll);
  const NSRect uploadFrame = NSMakeRect((dropFrame.size.width - buttonWidth) / 2, listHeight + margin / 2,
                                        buttonWidth, buttonHeight);
  auto error = makeLabel(Constants::errorText,
                         NSMakeRect(0, listHeight + margin / 2 + 8, dropFrame.size.width, buttonHeight - 8));
  error->setAlignment(NSTextAlignment::center);
  error->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin;
  taggingInterface->addSubview(error);
  auto upload = makeButton(Constants::uploadTitle, uploadFrame, actionOf(self, &UploadViewController::didTapUpload));
  upload->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin | NSViewMinYMargin;
  taggingInterface->addSubview(upload);

  auto success = NSView::initWithFrame(NSMakeRect(0, 0, cardWidth, cardHeight));
  success->autoresizingMask = fills;
  card->addSubview(success);
  auto successContent = NSView::initWithFrame(success->bounds());
  successContent->setFlipped(true);
  setConvenientBackgroundColor(*successContent, NSColor::whiteColor());
  auto message = makeLabel(Constants::successText, NSMakeRect(margin, cardHeight / 2 - 60, cardWidth - 2 * margin, 30));
  message->setAlignment(NSTextAlignment::center);
  styleLabel(*message, Constants::regularFont, Constants::regularSize);
  successContent->addSubview(message);
  auto done = makeButton(Constants::doneTitle,
                         NSMakeRect((cardWidth - buttonWidth) / 2, cardHeight / 2, buttonWidth, buttonHeight),
                         actionOf(self, &UploadViewController::didTapDone));
  done->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin;
  successContent->addSubview(done);

  containerView = card;
  containerShadowView = shadowView;
  taggingContainer = tagging;
  titleLabel = title;
  subtitleLabel = subtitle;
  errorLabel = error;
  filenameTextInput = field;
  browseButton = browse;
  browseButtonShadowView = browseShadow;
  taggingView = taggingInterface;
  stagedUploadsCollectionView = list;
  uploadButton = upload;
  dragContainer = drop;
  successContainer = success;
  successView = successContent;
  successDoneButton = done;
  backButton = back;
  setView(root);
  awakeFromNib();
}

void UploadViewController::awakeFromNib() {
  NSViewController::awakeFromNib();
  for (const auto& hidden : {taggingContainer.lock(), std::shared_ptr<NSView>(errorLabel.lock()), successContainer.lock()}) {
    if (hidden) hidden->setAlphaValue(0.0);
  }
  if (auto container = successContainer.lock(); container && successView) {
    successView->setFrame(container->bounds());
    successView->autoresizingMask = fills;
    container->addSubview(successView);
  }

  if (auto card = containerView.lock()) {
    setConvenientBackgroundColor(*card, NSColor::whiteColor());
    card->layer()->setCornerRadius(Constants::cardCornerRadius);
  }
  if (auto shadowView = containerShadowView.lock()) {
    auto shadow = NSShadow::make();
    shadow->shadowBlurRadius = 2.0;
    shadow->shadowOffset = NSMakeSize(0.0, -1.0);
    shadow->shadowColor = NSColor::colorWithRed(0, 0, 0, 25.5 / 255.0);
    shadowView->setShadow(shadow);
    setConvenientBackgroundColor(*shadowView, NSColor::clearColor());
  }
  if (auto title = titleLabel.lock()) styleLabel(*title, Constants::titleFont, Constants::titleSize);
  if (auto subtitle = subtitleLabel.lock()) styleLabel(*subtitle, Constants::regularFont, Constants::regularSize);
  if (auto error = errorLabel.lock()) {
    styleLabel(*error, Constants::regularFont, Constants::regularSize);
    error->setTextColor(NSColorPalette::errorRed());
  }
  if (auto field = filenameTextInput.lock()) {
    configureStylingForQLXWithPlaceholderText(*field, std::string(Constants::urlPlaceholder));
    field->setFont(NSFont::fontWithName(Constants::regularFont, Constants::regularSize));
    field->setAlignment(NSTextAlignment::left);
    setConvenientBackgroundColor(*field, NSColorPalette::standardOffWhite());
    field->layer()->setBorderWidth(Constants::borderWidth);
    field->layer()->setBorderColor(NSColorPalette::standardBorderGray()->CGColor());
  }
  if (auto browse = browseButton.lock()) {
    auto paragraph = NSMutableParagraphStyle::make();
    paragraph->setAlignment(NSTextAlignment::center);
    auto font = NSFont::fontWithName(Constants::browseFont, Constants::browseSize);
    browse->setFont(font);
    browse->setAttributedTitle(NSAttributedString::make(
        Constants::browseTitle, {{NSFontAttributeName, font},
                                 {NSForegroundColorAttributeName, NSColorPalette::standardBlue()},
                                 {NSParagraphStyleAttributeName, paragraph}}));
    setConvenientBackgroundColor(*browse, NSColor::whiteColor());
    browse->setBorderColor(NSColorPalette::standardBlue());
    browse->setBorderWidth(Constants::borderWidth);
    browse->setCornerRadius(Constants::buttonCornerRadius);
    browse->disableHighlight();
  }
  if (auto drop = dragContainer.lock()) {
    setConvenientBackgroundColor(*drop, NSColorPalette::standardOffWhite());
    drop->layer()->setBorderWidth(Constants::borderWidth);
    drop->layer()->setBorderColor(NSColorPalette::standardBorderGray()->CGColor());
    drop->delegate = std::static_pointer_cast<UploadDragViewDelegate>(sharedAs<UploadViewController>());
  }

  if (auto list = stagedUploadsCollectionView.lock()) {
    list->registerClass([] { return UploadTaggerCell::init(); }, std::string(Constants::cellIdentifier));
  }
  for (const auto& button : {uploadButton.lock(), successDoneButton.lock()}) {
    if (!button) continue;
    button->setFont(NSFont::fontWithName(Constants::browseFont, Constants::browseSize));
    button->setWantsLayer(true);
    button->setCornerRadius(Constants::buttonCornerRadius);
    button->configureStylingForQLX();
  }
  if (auto done = successDoneButton.lock()) setConvenientBackgroundColor(*done, NSColorPalette::standardBlue());
  configureUploadButtonWithEnabled(readyToUpload_);
}
