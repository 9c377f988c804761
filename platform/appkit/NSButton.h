#pragma once
// Push buttons, check boxes and toggles: a title (plain or attributed), an image and a
// state, drawn by a button cell.

#include <memory>
#include <string>

#include "platform/appkit/NSControl.h"

enum class NSButtonType { momentaryLight = 0, pushOnPushOff = 1, toggle = 2, switchButton = 3, radio = 4,
                          momentaryChange = 5, onOff = 6, momentaryPushIn = 7 };
enum class NSBezelStyle { rounded = 1, regularSquare = 2, shadowlessSquare = 6, texturedSquare = 8,
                          recessed = 13, inline_ = 15 };
enum class NSCellImagePosition { noImage = 0, imageOnly = 1, imageLeft = 2, imageRight = 3, imageBelow = 4,
                                 imageAbove = 5, imageOverlaps = 6 };

// What a button cell changes while pressed or on.
using NSCellStyleMask = unsigned;
constexpr NSCellStyleMask NSNoCellMask = 0;
constexpr NSCellStyleMask NSContentsCellMask = 1;
constexpr NSCellStyleMask NSPushInCellMask = 2;
constexpr NSCellStyleMask NSChangeGrayCellMask = 4;
constexpr NSCellStyleMask NSChangeBackgroundCellMask = 8;

class NSButtonCell : public NSActionCell {
 public:
  static std::shared_ptr<NSButtonCell> initTextCell(std::string title);
  static std::shared_ptr<NSButtonCell> initImageCell(std::shared_ptr<NSImage> image);

  NSCellStyleMask highlightsBy() const { return highlightsBy_; }
  void setHighlightsBy(NSCellStyleMask mask) { highlightsBy_ = mask; }
  NSCellStyleMask showsStateBy = NSNoCellMask;
  NSButtonType buttonType = NSButtonType::momentaryPushIn;
  NSBezelStyle bezelStyle = NSBezelStyle::rounded;
  NSCellImagePosition imagePosition = NSCellImagePosition::noImage;
  std::string alternateTitle;
  std::string keyEquivalent;

  std::shared_ptr<NSAttributedString> attributedTitle() const { return attributedStringValue(); }
  void setAttributedTitle(std::shared_ptr<NSAttributedString> title) { setAttributedStringValue(std::move(title)); }

  // Draws the title in the frame; answers the rectangle the text took.
  virtual NSRect drawTitle(const std::shared_ptr<NSAttributedString>& title, NSRect frame,
                           const std::shared_ptr<NSView>& view);
  virtual void drawImage(const std::shared_ptr<NSImage>& image, NSRect frame, const std::shared_ptr<NSView>& view);
  virtual void drawBezelWithFrame(NSRect frame, const std::shared_ptr<NSView>& view);
  // A check box's box or a radio button's circle, filled and marked when it is on.
  void drawMarkWithFrame(NSRect frame, const std::shared_ptr<NSView>& view);
  // A check box or radio button keeps the room of its mark at the left.
  NSRect titleRectForBounds(NSRect bounds) const override;
  NSSize cellSizeForBounds(NSRect bounds) const override;
  void drawWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  void drawInteriorWithFrame(NSRect frame, const std::shared_ptr<NSView>& view) override;
  std::shared_ptr<NSAttributedString> displayedText() const override;

  GLIMDECK_OBJECT(NSButtonCell)

 protected:
  // Buttons centre their titles, whichever cell class draws them.
  explicit NSButtonCell(std::string title) : NSActionCell(std::move(title)) {
    bordered = true;
    alignment = NSTextAlignment::center;
  }

 private:
  NSCellStyleMask highlightsBy_ = NSPushInCellMask | NSChangeGrayCellMask;
};

class NSButton : public NSControl {
 public:
  static std::shared_ptr<NSButton> initWithFrame(NSRect frame);
  static std::shared_ptr<NSButton> buttonWithTitle(std::string title, NSAction action);
  static std::shared_ptr<NSButton> checkboxWithTitle(std::string title, NSAction action);

  std::shared_ptr<NSButtonCell> buttonCell() const { return asA<NSButtonCell>(cell()); }

  const std::string& title() const { return stringValue(); }
  void setTitle(std::string title) { setStringValue(std::move(title)); }
  std::shared_ptr<NSAttributedString> attributedTitle() const { return attributedStringValue(); }
  void setAttributedTitle(std::shared_ptr<NSAttributedString> title) { setAttributedStringValue(std::move(title)); }
  NSControlStateValue state() const { return cell()->state; }
  void setState(NSControlStateValue state);
  void setButtonType(NSButtonType type);
  NSButtonType buttonType() const;
  std::shared_ptr<NSImage> image() const { return cell()->image; }
  void setImage(std::shared_ptr<NSImage> image);
  bool isBordered() const { return cell()->bordered; }
  void setBordered(bool bordered);
  void setBezelStyle(NSBezelStyle style);
  void setImagePosition(NSCellImagePosition position);
  std::string keyEquivalent() const;
  void setKeyEquivalent(std::string key);

  GLIMDECK_OBJECT(NSButton)

 protected:
  NSButton(NSRect frame, std::shared_ptr<NSCell> cell) : NSControl(frame, std::move(cell)) {}
  void clickCompleted() override;
};
