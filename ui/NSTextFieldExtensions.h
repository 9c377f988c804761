#pragma once
// The application's text-field conveniences: the standard form-field look and replacing a
// field's text while choosing what happens to the selection and to focus.

#include <memory>
#include <optional>
#include <string>

#include "platform/quartz/CGColor.h"

class NSTextField;
class NSColor;

// Placeholder in grey Avenir Next 15, a 1-point border (the given colour or the standard
// grey) on the field's layer, and off-black text.
void configureStylingForQLXWithPlaceholderText(NSTextField& field, const std::string& placeholder,
                                               std::optional<CGColor> borderColor = std::nullopt);

// Replaces the text. While the field is edited and highlightText is false the caret goes
// after the last character; unless keepFirstResponder is true the field gives up focus on
// the next turn of the main queue.
// The caret colour of the window's field editor for this field; nothing without a window.
void setCursorColor(NSTextField& field, const std::shared_ptr<NSColor>& color);

void setTitle(NSTextField& field, const std::string& text, bool highlightText, bool keepFirstResponder);
