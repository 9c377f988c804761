#include "collections/UploadTaggerCell.h"

#include "model/InputLimits.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/OutputSink.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSImageViewExtensions.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace {

constexpr double previewSide = 60.0;
constexpr double taggerMargin = 10.0;
constexpr double tagFieldHeight = 26.0;
constexpr double rowWidth = 300.0;
constexpr std::string_view tagFontName = "AvenirNext-Regular";
constexpr double tagFontSize = 15.0;

std::vector<std::string> splitAtSpaces(const std::string& text) {
  std::vector<std::string> pieces;
  std::string::size_type start = 0;
  for (;;) {
    auto space = text.find(' ', start);
    pieces.push_back(text.substr(start, space == std::string::npos ? std::string::npos : space - start));
    if (space == std::string::npos) return pieces;
    start = space + 1;
  }
}

}  // namespace

std::string UploadTaggerCell::filteredTagText(std::string_view typed) {
  std::string kept;
  for (char c : typed) {
    if (Constants::allowedCharacters.find(c) != std::string_view::npos) kept.push_back(c);
  }
  // One pass over pairs: two spaces become one, three two, four two.
  std::string text;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    text.push_back(kept[i]);
    if (kept[i] == ' ' && i + 1 < kept.size() && kept[i + 1] == ' ') ++i;
  }
  return text;
}

void UploadTaggerCell::loadView() {
  auto root = NSView::initWithFrame(NSMakeRect(0, 0, rowWidth, Constants::rowHeight));
  auto preview = NSImageView::initWithFrame(
      NSMakeRect(taggerMargin, (Constants::rowHeight - previewSide) / 2, previewSide, previewSide));
  preview->autoresizingMask = NSViewMinYMargin | NSViewMaxYMargin;
  root->addSubview(preview);
  const double fieldX = taggerMargin * 2 + previewSide;
  auto field = NSTextField::initWithFrame(NSMakeRect(fieldX, (Constants::rowHeight - tagFieldHeight) / 2,
                                                     rowWidth - fieldX - taggerMargin, tagFieldHeight));
  field->autoresizingMask = NSViewWidthSizable | NSViewMinYMargin | NSViewMaxYMargin;
  // The tags sit in the middle of the field, in the face and size of its placeholder.
  field->setCell(VerticallyAlignedTextFieldCell::initTextCell(""));
  field->setEditable(true);
  field->maximumLength = InputLimits::tags;
  field->setFont(NSFont::fontWithName(tagFontName, tagFontSize));
  field->setDrawsBackground(true);
  field->setBackgroundColor(NSColor::textBackgroundColor());
  // The row's look is the layer's (a clear border): no bezel of the field's own.
  field->setBezeled(false);
  field->setBordered(false);
  root->addSubview(field);
  gif = preview;
  tagInputField = field;
  imageView = preview;
  textField = field;
  setView(root);
}

void UploadTaggerCell::viewDidLoad() {
  if (auto field = tagInputField.lock()) {
    configureStylingForQLXWithPlaceholderText(*field, std::string(Constants::placeholder),
                                              NSColor::clearColor()->CGColor());
    field->setDelegate(std::dynamic_pointer_cast<NSTextFieldDelegate>(sharedAs<UploadTaggerCell>()));
  }
  NSCollectionViewItem::viewDidLoad();
  if (auto preview = gif.lock()) {
    preview->setAnimates(true);
    preview->setWantsLayer(true);
    preview->canDrawSubviewsIntoLayer = true;
    if (auto layer = preview->layer()) layer->setContentsGravity(kCAGravityResizeAspect);
  }
}

void UploadTaggerCell::configureWithUnit(const std::shared_ptr<UploadUnit>& unit) {
  representingUnit = unit;
  if (!unit) return;
  if (unit->vorn && unit->vorn->source() == VornObjectSource::noWebsite) {
    loadLocalGifWithPath(unit->vorn->tinyGifUrl);
  } else {
    showPreviewOf({});
  }
  std::string shown;
  for (const auto& tag : unit->tags) shown += " " + tag;
  if (auto field = tagInputField.lock()) field->setStringValue(shown);
}

void UploadTaggerCell::loadLocalGifWithPath(const std::string& path) {
  auto url = NSURL::URLWithString(path);
  showPreviewOf(url && url->isFileURL() ? url->path() : std::string());
}

void UploadTaggerCell::showPreviewOf(const std::string& file) {
  auto preview = gif.lock();
  // The row shows that file already, or is loading it (a reload of the list configures
  // every row again).
  if (!preview || file == previewFile_) return;
  previewFile_ = file;
  preview->setImage(nullptr);
  if (file.empty()) return;
  // Read and decoded away from the main thread, within a tile's limits at the preview's
  // size; a row handed to another upload meanwhile drops it.
  std::weak_ptr<UploadTaggerCell> weak = sharedAs<UploadTaggerCell>();
  // A plain file only, its frames read from it as they are decoded (GifSource).
  auto read = [file, limits = shownPictureLimits(*preview)] { return NSImage::initWithContentsOfFile(file, limits); };
  NSImage::makeInBackground(std::move(read), [weak, file](NSImage::Result image) {
    auto cell = weak.lock();
    if (!cell || cell->previewFile_ != file) return;
    if (!image) {
      OutputSink::print(image.error()->description());
      return;
    }
    if (auto shown = cell->gif.lock()) shown->setImage(*image);
  });
}

void UploadTaggerCell::saveTagsToUnit() {
  auto unit = representingUnit.lock();
  auto field = tagInputField.lock();
  if (!unit || !field) return;
  unit->tags = splitAtSpaces(field->stringValue());
}

void UploadTaggerCell::controlTextDidBeginEditing(const std::shared_ptr<NSNotification>& /*notification*/) {
  auto unit = representingUnit.lock();
  auto d = delegate.lock();
  if (unit && d) d->editingBeganWithUnit(unit);
}

void UploadTaggerCell::controlTextDidChange(const std::shared_ptr<NSNotification>& /*notification*/) {
  auto field = tagInputField.lock();
  if (!field) return;
  auto text = filteredTagText(field->stringValue());
  // Only a real change goes back, so the caret stays where the user typed.
  if (text != field->stringValue()) field->setStringValue(text);
  saveTagsToUnit();
  auto unit = representingUnit.lock();
  auto d = delegate.lock();
  if (unit && d) d->updateTagStateForUnit(unit, !text.empty());
}

void UploadTaggerCell::controlTextDidEndEditing(const std::shared_ptr<NSNotification>& /*notification*/) {
  saveTagsToUnit();
}
