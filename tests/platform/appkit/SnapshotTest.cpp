// Windows drawn to pictures: layer backgrounds and corners, flipped views, hidden and
// faded views, drawRect drawing and text (a long text drawn by blocks of lines as one layout
// would draw it), read back pixel by pixel.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSMutableAttributedString.h"
#include "platform/appkit/NSShadow.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/Snapshot.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/ViewTreeRenderer.h"
#include "platform/quartz/CALayer.h"
#include "platform/render/NSGraphicsContext.h"
#include "platform/render/RecordingContext.h"
#include "tests/support/UISimulator.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;

class SnapshotTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 80), NSWindowStyleMaskBorderless);
    window->backgroundColor = NSColor::whiteColor();
  }
  std::shared_ptr<NSView> coloured(NSRect frame, const std::shared_ptr<NSColor>& colour) {
    auto view = NSView::initWithFrame(frame);
    view->setWantsLayer(true);
    view->layer()->setBackgroundColor(colour->CGColor());
    return view;
  }
  // Pixels counted from the top left, as the picture is stored.
  Pixel at(const std::shared_ptr<NSImage>& image, int x, int yFromTop) { return image->pixelAt(x, yFromTop); }
  std::shared_ptr<NSWindow> window;
};

constexpr Pixel white{255, 255, 255, 255};
constexpr Pixel red{255, 0, 0, 255};
constexpr Pixel blue{0, 0, 255, 255};

TEST_F(SnapshotTest, LayerBackedViewsAppearAtTheirFramesInFlippedAndUnflippedParents) {
  // Unflipped content: a red view 10 points above the bottom edge.
  window->contentView()->addSubview(coloured(NSMakeRect(10, 10, 30, 20), NSColor::redColor()));
  // A flipped container on the right: its child at y 0 sits at the container's top.
  auto flipped = NSView::initWithFrame(NSMakeRect(50, 0, 50, 80));
  flipped->setFlipped(true);
  flipped->addSubview(coloured(NSMakeRect(0, 0, 50, 10), NSColor::blueColor()));
  window->contentView()->addSubview(flipped);

  auto image = ViewTreeRenderer::imageOfWindow(window);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 100);
  EXPECT_EQ(image->pixelHeight(), 80);
  EXPECT_EQ(at(image, 20, 60), red);
  EXPECT_EQ(at(image, 20, 45), white);
  EXPECT_EQ(at(image, 75, 5), blue);
  EXPECT_EQ(at(image, 75, 75), white);
}

TEST_F(SnapshotTest, HiddenViewsAreLeftOutAndAlphaFades) {
  auto hidden = coloured(NSMakeRect(0, 0, 50, 80), NSColor::redColor());
  hidden->setHidden(true);
  auto faded = coloured(NSMakeRect(50, 0, 50, 80), NSColor::blueColor());
  faded->setAlphaValue(0.5);
  window->contentView()->addSubview(hidden);
  window->contentView()->addSubview(faded);
  auto image = ViewTreeRenderer::imageOfWindow(window);
  EXPECT_EQ(at(image, 25, 40), white);
  Pixel half = at(image, 75, 40);
  EXPECT_NEAR(half[0], 127, 2);
  EXPECT_NEAR(half[2], 255, 1);
}

TEST_F(SnapshotTest, SubviewsAreClippedToTheirSuperview) {
  auto box = NSView::initWithFrame(NSMakeRect(0, 0, 40, 40));
  box->addSubview(coloured(NSMakeRect(20, 20, 60, 60), NSColor::redColor()));
  window->contentView()->addSubview(box);
  auto image = ViewTreeRenderer::imageOfWindow(window);
  EXPECT_EQ(at(image, 30, 50), red);
  EXPECT_EQ(at(image, 50, 30), white) << "outside the superview nothing shows";
}

TEST_F(SnapshotTest, DrawRectDrawsThroughTheCurrentContextInTheViewsCoordinates) {
  struct Painted : NSView {
    static std::shared_ptr<Painted> make() { return finishInit(std::shared_ptr<Painted>(new Painted())); }
    Painted() : NSView(NSMakeRect(10, 10, 40, 40)) {}
    bool isFlipped() const override { return true; }
    void drawRect(NSRect) override {
      auto& gc = NSGraphicsContext::currentContext()->CGContext();
      gc.setFillColor(NSColor::blueColor()->CGColor());
      gc.fillRect(NSMakeRect(0, 0, 10, 10));  // the top left corner of a flipped view
    }
  };
  window->contentView()->addSubview(Painted::make());
  auto image = ViewTreeRenderer::imageOfWindow(window);
  EXPECT_EQ(at(image, 15, 35), blue);
  EXPECT_EQ(at(image, 15, 65), white);
}

TEST_F(SnapshotTest, DisplayPassesRedrawOnlyWhatChangedIntoTheBackingStore) {
  struct Square : NSView {
    static std::shared_ptr<Square> make(NSRect frame) { return finishInit(std::shared_ptr<Square>(new Square(frame))); }
    explicit Square(NSRect frame) : NSView(frame) {}
    void drawRect(NSRect) override {
      auto& gc = NSGraphicsContext::currentContext()->CGContext();  // always there while drawing
      gc.fillRect(NSMakeRect(0, 0, 5, 5));
    }
  };
  auto a = Square::make(NSMakeRect(10, 20, 30, 30));
  auto b = Square::make(NSMakeRect(50, 20, 30, 30));
  window->contentView()->addSubview(a);
  window->contentView()->addSubview(b);
  window->makeKeyAndOrderFront(nullptr);
  drainMainQueue();
  EXPECT_EQ(a->drawCount(), 1u);
  EXPECT_EQ(b->drawCount(), 1u);

  b->setNeedsDisplay(true);
  drainMainQueue();
  EXPECT_EQ(a->drawCount(), 1u);
  EXPECT_EQ(b->drawCount(), 2u);
  auto fills = window->backingStore()->all<Recorded::FillRect>();
  ASSERT_EQ(fills.size(), 1u) << window->backingStore()->transcript();
  EXPECT_EQ(fills[0].second.toBase({0, 0}), (NSPoint{50, 20})) << "drawn in the view's place in the window";
}

TEST_F(SnapshotTest, TextFieldsDrawRealText) {
  auto label = NSTextField::labelWithString("Hello");
  label->setFrame(NSMakeRect(5, 30, 90, 30));
  window->contentView()->addSubview(label);
  auto image = ViewTreeRenderer::imageOfWindow(window);
  int dark = 0;
  for (int y = 20; y < 50; ++y) {
    for (int x = 5; x < 95; ++x) dark += at(image, x, y)[0] < 128 ? 1 : 0;
  }
  EXPECT_GT(dark, 20) << "the label's glyphs leave dark pixels";

  auto path = home() / "window.png";
  ASSERT_TRUE(ViewTreeRenderer::writeWindowPNG(window, path).has_value());
  EXPECT_GT(std::filesystem::file_size(path), 100u);
  std::filesystem::create_directories(home() / "taken");
  auto failed = ViewTreeRenderer::writeWindowPNG(window, home() / "taken");
  EXPECT_FALSE(failed.has_value()) << "a path that is a folder is an error, not a crash";
}

TEST_F(SnapshotTest, ALongTextIsDrawnByBlocksOfLinesAsOneLayoutWouldDrawIt) {
  // Lines of several lengths, some wrapping in the width, some empty (also where a block of
  // lines would end), all of one font whose lines are whole points high: a text picture is
  // laid on from a whole pixel, so blocks meet the whole layout exactly only where lines do.
  std::string text;
  for (int i = 0; i < 700; ++i) {
    text += "Line " + std::to_string(i) + (i % 7 == 0 ? " Copyright (C) 1998-2004 a long holder name that wraps" : "") +
            (i % 11 == 0 ? " ünï" : "") + (i % 13 == 0 ? "" : " x") + "\n";
    if (i % 17 == 0 || i == 127 || i == 254 || i == 255) text += "\n";
  }
  const double width = 180;
  auto view = NSTextView::initWithFrame(NSMakeRect(0, 0, width, 10));
  view->setString(text);
  view->setFont(NSFont::systemFontOfSize(13));
  // Sized by its estimate, before anything is laid out: drawing lays out the blocks a band
  // needs, with those above it that place it.
  view->setVerticallyResizable(true);
  const double estimated = view->frame().size.height;
  const double wholeHeight =
      NSAttributedString::make(text, {{NSFontAttributeName, view->font()}})->sizeInWidth(width).height;
  EXPECT_NEAR(estimated, wholeHeight, wholeHeight * 0.1);
  view->setVerticallyResizable(false);
  view->setFrame(NSMakeRect(0, 0, width, std::max(estimated, wholeHeight) + 50));
  // The whole text in one layout, as the view drew it before, beside what the view draws now,
  // in bands across block boundaries (at 128 lines a block, some 2,200 points each).
  auto whole = [&](NSRect band) {
    return Snapshot::image([&](GraphicsContext& gc) {
      gc.translate(0, -band.origin.y);
      std::shared_ptr<NSAttributedString> all = view->textStorage();
      gc.drawText(all, view->bounds());
    }, band.size, 1.0, true);
  };
  auto byView = [&](NSRect band) {
    return Snapshot::image([&](GraphicsContext& gc) {
      gc.translate(0, -band.origin.y);
      view->drawRect(band);
    }, band.size, 1.0, true);
  };
  auto compare = [&](double top) {
    const NSRect band = NSMakeRect(0, std::floor(top), width, 300);
    auto expected = whole(band);
    auto drawn = byView(band);
    int differing = 0, inked = 0;
    for (int y = 0; y < 300; ++y) {
      for (int x = 0; x < static_cast<int>(width); ++x) {
        differing += expected->pixelAt(x, y) != drawn->pixelAt(x, y) ? 1 : 0;
        inked += drawn->pixelAt(x, y)[3] > 0 ? 1 : 0;
      }
    }
    EXPECT_EQ(differing, 0) << "band at " << top;
    EXPECT_GT(inked, 100) << "band at " << top;
  };
  // Down the text first, then back up; the end once the whole text is measured.
  for (double top : {4300.0, 0.0, 2000.0}) compare(top);
  const double measured = view->textSizeInWidth(width).height;
  EXPECT_NEAR(measured, wholeHeight, 0.01) << "the blocks together are as high as the whole layout";
  compare(std::ceil(measured) - 300);
  // A band lays out only the blocks it meets: at most two of some 128 lines, never the text.
  auto recording = RecordingContext::make();
  {
    NSGraphicsContext::Scope scope(NSGraphicsContext::graphicsContextWithContext(recording, true));
    view->drawRect(NSMakeRect(0, 2000, width, 300));
  }
  auto texts = recording->all<Recorded::DrawText>();
  ASSERT_FALSE(texts.empty());
  EXPECT_LE(texts.size(), 2u);
  for (const auto& [text, state] : texts) EXPECT_LE(std::ranges::count(text.text, '\n'), 140) << text.rect.minY();
}

TEST_F(SnapshotTest, AnEmptyFieldShowsItsPlaceholderWhileBeingEditedUntilSomethingIsTyped) {
  // A window that takes keys.
  window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 80), NSWindowStyleMaskTitled);
  window->backgroundColor = NSColor::whiteColor();
  auto field = NSTextField::textFieldWithString("");
  field->setFrame(NSMakeRect(5, 25, 90, 30));
  field->setPlaceholderAttributedString(NSAttributedString::make(
      "Search", {{NSFontAttributeName, NSFont::systemFontOfSize(18)}, {NSForegroundColorAttributeName, NSColor::redColor()}}));
  window->contentView()->addSubview(field);
  window->makeKeyAndOrderFront(nullptr);
  auto redPixels = [&] {
    auto image = ViewTreeRenderer::imageOfWindow(window);
    int red = 0;
    for (int y = 0; y < image->pixelHeight(); ++y) {
      for (int x = 0; x < image->pixelWidth(); ++x) {
        auto p = at(image, x, y);
        red += p[0] > 150 && p[1] < 100 && p[2] < 100 ? 1 : 0;
      }
    }
    return red;
  };
  EXPECT_GT(redPixels(), 10) << "not editing";
  ui.click(field);
  ASSERT_TRUE(field->isEditing());
  EXPECT_GT(redPixels(), 10) << "editing, nothing typed";
  ui.typeText("a");
  EXPECT_EQ(redPixels(), 0) << "something typed";
}

TEST_F(SnapshotTest, AFieldEditorKeepsOneLineScrolledToItsCaretAndShowsCaretAndSelection) {
  window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 120, 60), NSWindowStyleMaskTitled);
  window->backgroundColor = NSColor::whiteColor();
  auto field = NSTextField::textFieldWithString("");
  field->setBezeled(false);
  field->setDrawsBackground(false);
  field->setFont(NSFont::systemFontOfSize(13));
  field->setFrame(NSMakeRect(10, 20, 100, 20));
  window->contentView()->addSubview(field);
  window->makeKeyAndOrderFront(nullptr);
  // Columns and rows (from the top) where dark, or selection-blue, pixels are.
  struct Ink {
    int left = 1000, right = -1, top = 1000, bottom = -1, blue = 0;
  };
  auto ink = [&] {
    auto image = ViewTreeRenderer::imageOfWindow(window);
    Ink found;
    for (int y = 0; y < image->pixelHeight(); ++y) {
      for (int x = 0; x < image->pixelWidth(); ++x) {
        auto p = at(image, x, y);
        if (p[0] < 100 && p[1] < 100 && p[2] < 100) {
          found.left = std::min(found.left, x), found.right = std::max(found.right, x);
          found.top = std::min(found.top, y), found.bottom = std::max(found.bottom, y);
        }
        if (p[0] > 160 && p[0] < 200 && p[2] > 240) ++found.blue;
      }
    }
    return found;
  };
  ui.click(field);
  ASSERT_TRUE(field->isEditing());
  auto caret = ink();
  EXPECT_EQ(caret.right - caret.left, 0) << "an empty field shows only its caret, one pixel wide";
  EXPECT_GE(caret.left, 10);
  EXPECT_LE(caret.left, 16) << "at the line's start";
  EXPECT_GE(caret.bottom - caret.top, 10) << "as tall as the line";

  ui.typeText("the quick brown fox jumps over the lazy dog");
  auto typed = ink();
  EXPECT_LE(typed.bottom - typed.top, caret.bottom - caret.top + 1) << "the text stays on the caret's one line";
  EXPECT_GE(typed.top, caret.top - 1);
  EXPECT_GE(typed.right, 106) << "the line's end, with the caret, shows at the field's right edge";
  EXPECT_LE(typed.right, 110);
  EXPECT_EQ(typed.blue, 0) << "nothing selected";

  ui.pressKey(NSKeyCode::leftArrow, "\xef\x9c\x82");
  EXPECT_EQ(field->currentEditor()->selectedRange(), (NSRange{42, 0}));
  ui.pressKey(0, "a", NSEventModifierFlagCommand);
  EXPECT_GT(ink().blue, 100) << "the selected text stands on the selection colour";
  window->makeFirstResponder(nullptr);
  EXPECT_EQ(ink().blue, 0) << "a field not being edited shows no selection";
}

TEST_F(SnapshotTest, ACheckBoxShowsItsStateInABoxAtTheLeftOfItsTitle) {
  window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 160, 40), NSWindowStyleMaskTitled);
  window->backgroundColor = NSColor::whiteColor();
  auto box = NSButton::checkboxWithTitle("Launch at login", nullptr);
  box->setFrameOrigin(NSMakePoint(10, 10));
  window->contentView()->addSubview(box);
  window->makeKeyAndOrderFront(nullptr);
  const NSRect frame = box->frame();
  EXPECT_GE(frame.size.width, 14 + 6 + 80) << "room for the box and the title";
  // The box's middle (counted from the picture's top left, under the window's title bar)
  // and the first column of the title's ink.
  auto off = ViewTreeRenderer::imageOfWindow(window);
  const int middleX = 10 + 1 + 7;
  const int middleY = off->pixelHeight() - static_cast<int>(frame.origin.y + frame.size.height / 2);
  auto firstInkColumn = [&](const std::shared_ptr<NSImage>& image) {
    for (int x = middleX + 9; x < image->pixelWidth(); ++x) {
      for (int y = 0; y < image->pixelHeight(); ++y) {
        if (at(image, x, y)[0] < 100) return x;
      }
    }
    return -1;
  };
  EXPECT_EQ(at(off, middleX, middleY), white) << "an empty box";
  EXPECT_LT(at(off, 11, middleY)[0], 200) << "with an edge that shows on white";
  const int titleStart = firstInkColumn(off);
  EXPECT_GE(titleStart, 10 + 14 + 6);
  EXPECT_LE(titleStart, 10 + 14 + 6 + 4) << "the title starts right after the box";

  ui.click(box);
  ASSERT_EQ(box->state(), NSControlStateValueOn);
  auto on = ViewTreeRenderer::imageOfWindow(window);
  int blue = 0, tick = 0;
  for (int y = middleY - 6; y <= middleY + 6; ++y) {
    for (int x = middleX - 6; x <= middleX + 6; ++x) {
      auto p = at(on, x, y);
      blue += p[0] < 60 && p[2] > 200 ? 1 : 0;
      tick += p[0] > 230 && p[1] > 230 && p[2] > 230 ? 1 : 0;
    }
  }
  EXPECT_GT(blue, 60) << "a ticked box is filled";
  EXPECT_GT(tick, 6) << "and carries a white tick";
  EXPECT_EQ(firstInkColumn(on), titleStart) << "the title stays where it was";
}

TEST_F(SnapshotTest, ABackingLayerHostsItsSubviewsInsideItsShadowAndRoundedMask) {
  window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 100, 80), NSWindowStyleMaskBorderless);
  window->backgroundColor = NSColor::whiteColor();
  // A clear view with a shadow, whose opaque subview casts it (a button's shadow view).
  auto carrier = NSView::initWithFrame(NSMakeRect(10, 40, 30, 20));
  carrier->setWantsLayer(true);
  carrier->layer()->setBackgroundColor(NSColor::clearColor()->CGColor());
  auto shadow = NSShadow::make();
  shadow->shadowColor = NSColor::blackColor();
  shadow->shadowOffset = NSSize{0, -4};
  carrier->setShadow(shadow);
  carrier->addSubview(coloured(carrier->bounds(), NSColor::redColor()));
  window->contentView()->addSubview(carrier);
  // A rounded layer that masks to its bounds, with a subview filling it.
  auto rounded = coloured(NSMakeRect(60, 10, 30, 30), NSColor::whiteColor());
  rounded->layer()->setCornerRadius(10);
  rounded->layer()->setMasksToBounds(true);
  rounded->addSubview(coloured(rounded->bounds(), NSColor::blueColor()));
  window->contentView()->addSubview(rounded);

  auto image = ViewTreeRenderer::imageOfWindow(window);
  EXPECT_EQ(at(image, 20, 25), red) << "the subview";
  EXPECT_LT(at(image, 20, 42)[0], 100) << "its shadow, four points below the carrier";
  EXPECT_EQ(at(image, 20, 47), white) << "and no further";
  EXPECT_EQ(at(image, 75, 55), blue) << "the masked subview inside the corners";
  EXPECT_EQ(at(image, 60, 40), white) << "cut off at a rounded corner";
}

// Which tiles cast their shadow from their face's shape, ahead of it and without a
// transparency layer of their own, and which leave it to be worked out from everything
// they draw: whatever else could help cast it puts it back in a layer.
TEST_F(SnapshotTest, ATileCastsItsShadowFromItsFacesShapeOnlyWhenNothingElseCouldCastIt) {
  struct Drawing : NSView {
    static std::shared_ptr<Drawing> make(NSRect frame) { return finishInit(std::shared_ptr<Drawing>(new Drawing(frame))); }
    explicit Drawing(NSRect frame) : NSView(frame) {}
    void drawRect(NSRect) override { NSGraphicsContext::currentContext()->CGContext().fillRect(NSMakeRect(0, 0, 2, 2)); }
  };
  struct Case {
    const char* what;
    bool drawsItself;
    std::function<void(NSView& tile, NSView& face)> change;
    bool cast;
  };
  const Case cases[] = {
      {"a clear tile around a rounded opaque face", false, [](NSView&, NSView&) {}, true},
      {"a hidden badge beside the face", false,
       [](NSView& tile, NSView&) {
         auto badge = NSView::initWithFrame(NSMakeRect(0, 0, 5, 5));
         badge->setHidden(true);
         tile.addSubview(badge);
       },
       true},
      {"a badge showing beside the face", false,
       [](NSView& tile, NSView&) { tile.addSubview(NSView::initWithFrame(NSMakeRect(0, 0, 5, 5))); }, false},
      {"the face faded", false, [](NSView&, NSView& face) { face.setAlphaValue(0.5); }, false},
      {"the face square", false, [](NSView&, NSView& face) { face.layer()->setCornerRadius(0); }, false},
      {"the face see-through", false,
       [](NSView&, NSView& face) { face.layer()->setBackgroundColor(CGColor{0, 0, 1, 0.5}); }, false},
      {"the face bordered", false,
       [](NSView&, NSView& face) {
         face.layer()->setBorderWidth(1);
         face.layer()->setBorderColor(CGColor{0, 0, 0, 1});
       },
       false},
      {"the tile with a background of its own", false,
       [](NSView& tile, NSView&) { tile.layer()->setBackgroundColor(CGColor{1, 1, 1, 1}); }, false},
      {"the tile half transparent", false, [](NSView& tile, NSView&) { tile.layer()->setOpacity(0.5); }, false},
      {"the tile drawing something itself", true, [](NSView&, NSView&) {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::shared_ptr<NSView> tile = c.drawsItself ? std::shared_ptr<NSView>(Drawing::make(NSMakeRect(10, 10, 60, 40)))
                                                 : NSView::initWithFrame(NSMakeRect(10, 10, 60, 40));
    auto shadow = NSShadow::make();
    shadow->shadowColor = NSColor::blackColor();
    tile->setShadow(shadow);
    auto face = coloured(tile->bounds(), NSColor::blueColor());
    face->layer()->setCornerRadius(6);
    face->layer()->setMasksToBounds(true);
    tile->addSubview(face);
    c.change(*tile, *face);
    auto recording = RecordingContext::make();
    ViewTreeRenderer::drawView(tile, *recording);
    EXPECT_EQ(recording->count<Recorded::CastShadowOfPath>(), c.cast ? 1u : 0u) << recording->transcript();
    // The face masks its corners in a layer of its own; a shadow worked out from the tile's
    // drawing takes one more, begun with the shadow in force.
    bool shadowedLayer = false;
    for (const auto& [begin, state] : recording->all<Recorded::BeginTransparencyLayer>()) {
      shadowedLayer = shadowedLayer || state.shadow.has_value();
    }
    EXPECT_EQ(shadowedLayer, !c.cast) << recording->transcript();
  }
}

// A tile: a clear view with a soft shadow around a rounded, opaque view holding a picture.
// Its shadow is cast from the rounded shape alone, ahead of the picture, unless something
// else in the view could help cast it: then it is worked out from everything drawn, in a
// transparency layer. On whole pixels both give the same pixels; where the tile's edges cut
// pixels, the picture in the layer is cut by the view's bounds as well as by its rounded
// mask, so its shadow comes out a few levels fainter there.
TEST_F(SnapshotTest, AShadowCastFromARoundedOpaqueShapeHasThePixelsOfOneWorkedOutFromItsPicture) {
  struct Case {
    double scale;
    NSRect frame;
    int tolerance;
  };
  for (const Case& c : {Case{1, {10, 12, 60, 40}, 0}, Case{2, {9.5, 9, 70, 50.5}, 0},
                        Case{2, {10.25, 11.5, 60.5, 40.75}, 6}}) {
    auto draw = [&](bool withEmptySibling) {
      window = NSWindow::initWithContentRect(NSMakeRect(0, 0, 90, 70), NSWindowStyleMaskBorderless);
      window->backgroundColor = NSColor::whiteColor();
      auto tile = NSView::initWithFrame(c.frame);
      auto shadow = NSShadow::make();
      shadow->shadowColor = NSColor::colorWithWhite(0, 0.6);
      shadow->shadowOffset = NSSize{0, -2};
      shadow->shadowBlurRadius = 3;
      tile->setShadow(shadow);
      auto content = coloured(tile->bounds(), NSColor::blueColor());
      content->layer()->setCornerRadius(6);
      content->layer()->setMasksToBounds(true);
      content->addSubview(coloured(NSInsetRect(content->bounds(), -3, 4), NSColor::redColor()));
      tile->addSubview(content);
      // A view that draws nothing, but that the renderer cannot tell from one that does.
      if (withEmptySibling) tile->addSubview(NSView::initWithFrame(NSMakeRect(0, 0, 5, 5)));
      window->contentView()->addSubview(tile);
      return ViewTreeRenderer::imageOfWindow(window, c.scale);
    };
    auto cast = draw(false), worked = draw(true);
    const int width = int(90 * c.scale), height = int(70 * c.scale);
    int worst = 0, shadowed = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int channel = 0; channel < 4; ++channel) {
          worst = std::max(worst, std::abs(at(cast, x, y)[channel] - at(worked, x, y)[channel]));
        }
        if (at(cast, x, y)[0] < 255 && at(cast, x, y)[2] < 255) ++shadowed;
      }
    }
    EXPECT_LE(worst, c.tolerance) << "at scale " << c.scale << ", x " << c.frame.minX();
    EXPECT_GT(shadowed, 0) << "the shadow shows";
  }
}

}  // namespace
