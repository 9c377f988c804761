#include "ui/NSTextFieldExtensions.h"

#include "platform/appkit/NSAttributedString.h"
#include "platform/appkit/NSColor.h"
#include "platform/appkit/NSFont.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSTextView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/quartz/CALayer.h"
#include "ui/NSColorPalette.h"

namespace {
struct Constants {
  static constexpr std::string_view placeholderFontName = "Avenir Next Regular";
  static constexpr double placeholderFontSize = 15.0;
  static constexpr double borderWidth = 1.0;
};
}  // namespace

void configureStylingForQLXWithPlaceholderText(NSTextField& field, const std::string& placeholder,
                                               std::optional<CGColor> borderColor) {
  NSAttributes attributes;
  if (auto font = NSFont::fontWithName(Constants::placeholderFontName, Constants::placeholderFontSize)) {
    attributes[NSFontAttributeName] = font;
  }
  attributes[NSForegroundColorAttributeName] = NSColorPalette::placeholderGray();
  attributes[NSBackgroundColorAttributeName] = NSColor::clearColor();
  auto cell = field.textFieldCell();
  if (cell) field.setPlaceholderAttributedString(NSAttributedString::make(placeholder, attributes));
  field.setWantsLayer(true);
  if (auto layer = field.layer()) {
    layer->setBorderColor(borderColor ? *borderColor : NSColorPalette::standardBorderGray()->CGColor());
    layer->setBorderWidth(Constants::borderWidth);
  }
  if (cell) field.setTextColor(NSColorPalette::textFieldTextOffBlack());
}

void setTitle(NSTextField& field, const std::string& text, bool highlightText, bool keepFirstResponder) {
  field.setStringValue(text);
  if (!highlightText) {
    if (auto editor = field.currentEditor()) {
      // After the replacement the editor selects the new text whole (or already has its caret
      // at the end); either way the selection's end is the place after the last character.
      auto selected = editor->selectedRange();
      editor->setSelectedRange(NSRange{selected.end(), 0});
    }
  }
  if (!keepFirstResponder) {
    std::weak_ptr<NSTextField> weak = field.sharedAs<NSTextField>();
    DispatchQueue::main()->async([weak] {
      if (auto strong = weak.lock()) {
        // Giving up focus goes through the window, which also ends the field editor.
        if (auto window = strong->window(); window && strong->isEditing()) {
          window->makeFirstResponder(nullptr);
        } else {
          strong->resignFirstResponder();
        }
      }
    });
  }
}

void setCursorColor(NSTextField& field, const std::shared_ptr<NSColor>& color) {
  auto window = field.window();
  if (!window) return;
  if (auto editor = window->fieldEditor(true, field.sharedAs<NSTextField>())) editor->insertionPointColor = color;
}
