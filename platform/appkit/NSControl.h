#pragma once
// A view that shows a value through its cell and sends an action when the user acts on it.

#include <memory>
#include <string>

#include "platform/appkit/NSCell.h"
#include "platform/appkit/NSView.h"

class NSControl : public NSView {
 public:
  static std::shared_ptr<NSControl> initWithFrame(NSRect frame);

  std::shared_ptr<NSCell> cell() const { return cell_; }
  virtual void setCell(std::shared_ptr<NSCell> cell);

  const std::string& stringValue() const;
  virtual void setStringValue(std::string value);
  std::shared_ptr<NSAttributedString> attributedStringValue() const;
  virtual void setAttributedStringValue(std::shared_ptr<NSAttributedString> value);
  long integerValue() const { return cell_->integerValue(); }
  int intValue() const { return static_cast<int>(cell_->integerValue()); }
  double doubleValue() const { return cell_->doubleValue(); }
  void setIntegerValue(long value) { setStringValue(std::to_string(value)); }
  void setDoubleValue(double value);

  std::shared_ptr<NSFont> font() const { return cell_->font(); }
  void setFont(std::shared_ptr<NSFont> font);
  NSTextAlignment alignment() const { return cell_->alignment; }
  void setAlignment(NSTextAlignment alignment);
  NSLineBreakMode lineBreakMode() const { return cell_->lineBreakMode; }
  void setLineBreakMode(NSLineBreakMode mode);
  bool isEnabled() const { return cell_->enabled; }
  virtual void setEnabled(bool enabled);
  bool isHighlighted() const { return cell_->highlighted; }
  void setHighlighted(bool highlighted);

  // Target and action: the action runs with this control as the sender.
  NSAction action;
  std::weak_ptr<NSObject> target;
  bool continuous = false;
  bool sendAction();
  void performClick(const std::shared_ptr<NSObject>& sender);

  NSSize sizeThatFits() const { return cell_->cellSize(); }
  void sizeToFit();

  // Pressing and releasing inside the control sends the action.
  void mouseDown(const std::shared_ptr<NSEvent>& event) override;
  void mouseUp(const std::shared_ptr<NSEvent>& event) override;
  void mouseDragged(const std::shared_ptr<NSEvent>& event) override;

  void drawRect(NSRect dirtyRect) override;
  std::string dumpText() const override { return stringValue(); }
  GLIMDECK_OBJECT(NSControl)

 protected:
  NSControl(NSRect frame, std::shared_ptr<NSCell> cell);
  void didInit() override;
  // What a click does before the action is sent (buttons change state).
  virtual void clickCompleted() {}

 private:
  std::shared_ptr<NSCell> cell_;
  bool tracking_ = false;
};
