// The upload screen's view tree, built in code, and its set-up once the outlets are in
// place. The card is flipped so that it reads top to bottom: Back, title, instructions,
// the URL field beside the browse button, then the drop target, in which the tagging
// interface (the staged list and Upload) fades in. The success view covers the card.

#include "collections/UploadViewController.h"
#include "collections/OverlayCard.h"
#include "model/InputLimits.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSParagraphStyle.h"
#include "platform/appkit/NSScrollView.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"
#include "ui/NSViewExtensions.h"
#include "ui/QLXButton.h"

namespace {

constexpr double cardWidth = OverlayCardLayout::cardWidth;
constexpr double cardHeight = OverlayCardLayout::cardHeight;
constexpr double margin = OverlayCardLayout::margin;
constexpr double rowTop = 132;
constexpr double rowHeight = OverlayCardLayout::fieldHeight;
constexpr double browseWidth = 150;
constexpr double dropTop = rowTop + rowHeight + 14;
// The instructions, and in their place while there is one, the message about what was not
// taken: three lines of its text.
constexpr double subtitleTop = 76;
constexpr double subtitleHeight = 46;
constexpr double buttonWidth = OverlayCardLayout::buttonWidth;
constexpr double buttonHeight = OverlayCardLayout::buttonHeight;
constexpr NSAutoresizingMaskOptions fills = NSViewWidthSizable | NSViewHeightSizable;

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
  auto [root, shadowView, card] = makeOverlayCard();

  auto back = makeOverlayButton(Constants::backTitle, NSMakeRect(margin, 10, 60, 22), actionOf(self, &UploadViewController::didTapBack));
  styleTextButton(*back, Constants::backTitle, Constants::regularFont, Constants::regularSize);
  card->addSubview(back);
  auto title = makeOverlayLabel(Constants::title, NSMakeRect(margin, 38, cardWidth - 2 * margin, 34));
  card->addSubview(title);
  auto subtitle = makeOverlayLabel(Constants::subtitle, NSMakeRect(margin, subtitleTop, cardWidth - 2 * margin, subtitleHeight));
  subtitle->textFieldCell()->wraps = true;
  card->addSubview(subtitle);
  auto message = makeOverlayLabel("", NSMakeRect(margin, subtitleTop, cardWidth - 2 * margin, subtitleHeight));
  message->textFieldCell()->wraps = true;
  message->textFieldCell()->lineBreakMode = NSLineBreakMode::byWordWrapping;
  message->setHidden(true);
  card->addSubview(message);

  const double fieldWidth = cardWidth - 3 * margin / 2 - browseWidth - margin / 2;
  // Its layer's background and border colour also show its state.
  auto field = makeFramedField(NSMakeRect(margin, rowTop, fieldWidth, rowHeight),
                               std::static_pointer_cast<NSTextFieldDelegate>(self));
  card->addSubview(field);
  const NSRect browseFrame = NSMakeRect(cardWidth - margin - browseWidth, rowTop, browseWidth, rowHeight);
  auto browseShadow = NSView::initWithFrame(browseFrame);
  browseShadow->autoresizingMask = NSViewMinXMargin;
  card->addSubview(browseShadow);
  auto browse = makeOverlayButton(Constants::browseTitle, browseFrame, actionOf(self, &UploadViewController::didTapBrowse));
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
  auto error = makeOverlayLabel(Constants::errorText,
                         NSMakeRect(0, listHeight + margin / 2 + 8, dropFrame.size.width, buttonHeight - 8));
  error->setAlignment(NSTextAlignment::center);
  error->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin;
  taggingInterface->addSubview(error);
  auto upload = makeOverlayButton(Constants::uploadTitle, uploadFrame, actionOf(self, &UploadViewController::didTapUpload));
  upload->autoresizingMask = NSViewMinXMargin | NSViewMaxXMargin | NSViewMinYMargin;
  taggingInterface->addSubview(upload);

  auto success = NSView::initWithFrame(NSMakeRect(0, 0, cardWidth, cardHeight));
  success->autoresizingMask = fills;
  card->addSubview(success);
  auto successContent = NSView::initWithFrame(success->bounds());
  successContent->setFlipped(true);
  setConvenientBackgroundColor(*successContent, NSColor::whiteColor());
  auto successMessage =
      makeOverlayLabel(Constants::successText, NSMakeRect(margin, cardHeight / 2 - 60, cardWidth - 2 * margin, 30));
  successMessage->setAlignment(NSTextAlignment::center);
  styleOverlayLabel(*successMessage, Constants::regularFont, Constants::regularSize);
  successContent->addSubview(successMessage);
  auto done = makeOverlayButton(Constants::doneTitle,
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
  successLabel = successMessage;
  backButton = back;
  messageLabel = message;
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

  auto card = containerView.lock();
  auto shadowView = containerShadowView.lock();
  if (card && shadowView) styleOverlayCard(*card, *shadowView, Constants::cardCornerRadius);
  if (auto title = titleLabel.lock()) styleOverlayLabel(*title, Constants::titleFont, Constants::titleSize);
  if (auto subtitle = subtitleLabel.lock()) styleOverlayLabel(*subtitle, Constants::regularFont, Constants::regularSize);
  if (auto error = errorLabel.lock()) {
    styleOverlayLabel(*error, Constants::regularFont, Constants::regularSize);
    error->setTextColor(NSColorPalette::errorRed());
  }
  if (auto field = filenameTextInput.lock()) {
    styleFramedField(*field, Constants::urlPlaceholder, Constants::regularFont, Constants::regularSize,
                     Constants::borderWidth);
    field->maximumLength = InputLimits::url;
  }
  if (auto message = messageLabel.lock()) {
    styleOverlayLabel(*message, Constants::regularFont, Constants::messageSize);
    message->setTextColor(NSColorPalette::errorRed());
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
    if (button) styleFilledButton(*button, Constants::browseFont, Constants::browseSize, Constants::buttonCornerRadius);
  }
  if (auto done = successDoneButton.lock()) setConvenientBackgroundColor(*done, NSColorPalette::standardBlue());
  configureUploadButtonWithEnabled(readyToUpload_);
}
