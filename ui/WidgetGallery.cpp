#include "ui/WidgetGallery.h"

#include <system_error>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CAGradientLayer.h"
#include "ui/CheckBoxControl.h"
#include "ui/ClickableImageView.h"
#include "ui/ClickableView.h"
#include "ui/NSButtonCellOffsettable.h"
#include "ui/NSColorPalette.h"
#include "ui/NSProgressIndicatorSelfHiding.h"
#include "ui/NSTextFieldExtensions.h"
#include "ui/NSTextFieldVerticalCenter.h"
#include "ui/NSViewExtensions.h"
#include "ui/ProgressIndicator.h"
#include "ui/QLXButton.h"
#include "ui/QLXLabel.h"
#include "ui/ShadowTextFieldCell.h"
#include "ui/VerticallyAlignedSecureTextFieldCell.h"
#include "ui/VerticallyAlignedTextFieldCell.h"

namespace WidgetGallery {
namespace {

// The kit's widgets are mostly white on colour; a mid blue shows them as the screens do.
std::shared_ptr<NSView> backdrop(NSSize size, const std::shared_ptr<NSColor>& colour) {
  auto view = NSView::initWithFrame(NSMakeRect(0, 0, size.width, size.height));
  setConvenientBackgroundColor(*view, colour);
  return view;
}

std::shared_ptr<NSView> around(const std::shared_ptr<NSView>& widget, NSSize size,
                               const std::shared_ptr<NSColor>& colour = NSColorPalette::standardBlue()) {
  auto view = backdrop(size, colour);
  NSRect frame = widget->frame();
  widget->setFrameOrigin({(size.width - frame.size.width) * 0.5, (size.height - frame.size.height) * 0.5});
  view->addSubview(widget);
  return view;
}

std::shared_ptr<NSView> checkBox(bool full) {
  auto box = CheckBoxControl::initWithFrame(NSMakeRect(0, 0, 220, 40));
  box->setTitle(full ? "I accept the terms" : "Remember me");
  if (full) {
    // The animator puts the fill at its end at once; the report follows on the run loop.
    box->didTapUncheckedBox();
    box->layout();
  }
  return around(box, {260, 60});
}

std::shared_ptr<NSView> progress(double value) {
  auto indicator = ProgressIndicator::initWithFrame(NSMakeRect(0, 0, 60, 60));
  indicator->setColor(NSColor::whiteColor());
  indicator->setValue(value, false, 0);
  return around(indicator, {80, 80}, NSColorPalette::cellLoadingGray());
}

std::shared_ptr<NSView> button(bool bordered) {
  auto b = QLXButton::initWithFrame(NSMakeRect(0, 0, 140, 36));
  b->setTitle(bordered ? "Sign up" : "Log in");
  b->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 15.0));
  b->setBordered(false);
  b->setCornerRadius(6.0);
  if (bordered) {
    b->setBorderWidth(2.0);
    b->setBorderColor(NSColor::whiteColor());
  } else {
    setConvenientBackgroundColor(*b, NSColorPalette::searchBarGradientColorRight());
  }
  b->configureStylingForQLX();
  return around(b, {180, 60});
}

std::shared_ptr<NSView> label() {
  auto l = QLXLabel::initWithFrame(NSMakeRect(0, 0, 200, 24));
  l->setStringValue("@zolto_user");
  l->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 15.0));
  l->setTextColor(NSColor::whiteColor());
  l->setBordered(false);
  l->setDrawsBackground(false);
  return around(l, {240, 50});
}

std::shared_ptr<NSView> styledField(const std::string& text, bool secure, bool error) {
  auto field = NSTextFieldVerticalCenter::initWithFrame(NSMakeRect(0, 0, 240, 40));
  std::shared_ptr<NSTextFieldCell> cell;
  if (secure) cell = VerticallyAlignedSecureTextFieldCell::initTextCell(text);
  else cell = VerticallyAlignedTextFieldCell::initTextCell(text);
  cell->editable = true;
  cell->selectable = true;
  // The layer carries the white and the border; a cell background would paint over the border.
  cell->drawsBackground = false;
  cell->setFont(NSFont::fontWithName("Avenir Next Regular", 15.0));
  field->setCell(cell);
  configureStylingForQLXWithPlaceholderText(*field, secure ? "Password" : "Email",
                                            error ? std::optional<CGColor>(NSColorPalette::errorRed()->CGColor())
                                                  : std::nullopt);
  field->layer()->setCornerRadius(4.0);
  setConvenientBackgroundColor(*field, NSColor::whiteColor());
  return around(field, {280, 60}, NSColorPalette::standardOffWhite());
}

std::shared_ptr<NSView> shadowLabel() {
  auto l = NSTextField::labelWithString("Trending now");
  auto cell = ShadowTextFieldCell::initTextCell("Trending now");
  cell->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 20.0));
  cell->textColor = NSColor::whiteColor();
  l->setCell(cell);
  l->setFrame(NSMakeRect(0, 0, 200, 32));
  return around(l, {240, 60}, NSColorPalette::searchBarGradientColorLeft());
}

std::shared_ptr<NSView> gradient() {
  auto view = NSView::initWithFrame(NSMakeRect(0, 0, 300, 44));
  applyDalvoBlueGradientWithLayerToColor(*view, *CAGradientLayer::layer());
  return view;
}

// A white card with the standard drop shadow, as the log-in container and the strips show it.
std::shared_ptr<NSView> shadowedPanel() {
  auto card = NSView::initWithFrame(NSMakeRect(0, 0, 160, 60));
  setConvenientBackgroundColor(*card, NSColor::whiteColor());
  card->layer()->setCornerRadius(6.0);
  createShadow(*card);
  return around(card, {200, 100}, NSColorPalette::standardOffWhite());
}

std::shared_ptr<NSView> clickableImage() {
  auto image = ClickableImageView::initWithFrame(NSMakeRect(0, 0, 40, 40));
  image->setImage(NSImage::imageNamed("redHeart"));
  return around(image, {60, 60}, NSColorPalette::cellLoadingGray());
}

// The title sits ten points above the middle, where the toolbar's icon buttons want it.
std::shared_ptr<NSView> offsetTitleButton() {
  auto b = NSButton::initWithFrame(NSMakeRect(0, 0, 120, 60));
  auto cell = NSButtonCellOffsettable::initTextCell("Packs");
  cell->setFont(NSFont::fontWithName("AvenirNext-DemiBold", 15.0));
  b->setCell(cell);
  b->setBordered(false);
  return around(b, {160, 80});
}

std::shared_ptr<NSView> spinner() {
  auto indicator = NSProgressIndicatorSelfHiding::initWithFrame(NSMakeRect(0, 0, 32, 32));
  indicator->style = NSProgressIndicatorStyle::spinning;
  indicator->startAnimation(nullptr);
  return around(indicator, {60, 60}, NSColor::whiteColor());
}

std::shared_ptr<NSView> palette() {
  std::vector<std::shared_ptr<NSColor>> colours{
      NSColorPalette::standardBlue(),          NSColorPalette::standardShadowBlack(),
      NSColorPalette::standardBorderGray(),    NSColorPalette::textFieldTextOffBlack(),
      NSColorPalette::standardOffWhite(),      NSColorPalette::standardMediumGray(),
      NSColorPalette::cellLoadingGray(),       NSColorPalette::errorRed(),
      NSColorPalette::placeholderGray(),       NSColorPalette::autosuggestSelectionOffWhite(),
      NSColorPalette::standardTextOffBlack(),  NSColorPalette::searchBarGradientColorLeft(),
      NSColorPalette::searchBarGradientColorRight()};
  const double side = 40;
  auto view = backdrop({side * colours.size(), side}, NSColor::whiteColor());
  for (std::size_t i = 0; i < colours.size(); ++i) {
    auto swatch = NSView::initWithFrame(NSMakeRect(side * i, 0, side, side));
    setConvenientBackgroundColor(*swatch, colours[i]);
    view->addSubview(swatch);
  }
  return view;
}

}  // namespace

std::vector<Entry> entries() {
  return {
      {"checkbox-empty", checkBox(false)},
      {"checkbox-full", checkBox(true)},
      {"progress-0", progress(0.0)},
      {"progress-25", progress(0.25)},
      {"progress-60", progress(0.6)},
      {"progress-100", progress(1.0)},
      {"button-filled", button(false)},
      {"button-bordered", button(true)},
      {"label", label()},
      {"field-placeholder", styledField("", false, false)},
      {"field-text", styledField("hello@zolto.example", false, false)},
      {"field-secure-error", styledField("hunter22", true, true)},
      {"shadow-label", shadowLabel()},
      {"search-gradient", gradient()},
      {"shadowed-panel", shadowedPanel()},
      {"clickable-image", clickableImage()},
      {"button-offset-title", offsetTitleButton()},
      {"spinner", spinner()},
      {"palette", palette()},
  };
}

std::expected<std::vector<std::filesystem::path>, std::shared_ptr<NSError>> writeAll(
    const std::filesystem::path& folder, double scale) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    return std::unexpected(NSError::make(std::string(NSError::NSCocoaErrorDomain), 512,
                                         "cannot create " + folder.string() + ": " + error.message()));
  }
  std::vector<std::filesystem::path> written;
  for (const auto& entry : entries()) {
    auto path = folder / (entry.name + ".png");
    entry.view->layoutSubtreeIfNeeded();
    auto result = ViewTreeRenderer::writeViewPNG(entry.view, path, scale);
    if (!result) return std::unexpected(result.error());
    written.push_back(path);
  }
  return written;
}

}  // namespace WidgetGallery
