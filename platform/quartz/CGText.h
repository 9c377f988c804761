#pragma once
// Text as the drawing layer takes it: the characters with plain style runs, so that laying
// out and drawing need nothing of the objects that built it.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGColor.h"

// An installed font family by the name the font system knows, its weight (100...900) and size.
struct CGFont {
  std::string family;
  int weight = 400;
  double pointSize = 12;
  friend bool operator==(const CGFont&, const CGFont&) = default;
};

struct CGTextRun {
  std::size_t start = 0, end = 0;  // byte offsets in the UTF-8 text
  std::optional<CGFont> font;
  std::optional<CGColor> foreground, background;
  bool underline = false;
  std::optional<double> kern;  // points between letters
  friend bool operator==(const CGTextRun&, const CGTextRun&) = default;
};

enum class CGTextAlignment { left, center, right, justified };
enum class CGTextWrap { word, character, truncateHead, truncateMiddle, truncateTail };

struct CGShadow {
  NSSize offset;
  double blur = 0;
  CGColor color;
  friend bool operator==(const CGShadow&, const CGShadow&) = default;
};

struct CGText {
  std::string utf8;
  CGFont font;  // for the text no run gives a font
  std::vector<CGTextRun> runs;
  CGTextAlignment alignment = CGTextAlignment::left;
  CGTextWrap wrap = CGTextWrap::word;
  double lineSpacing = 0;
  std::optional<CGShadow> shadow;  // drawn under the text when the context has none of its own
  friend bool operator==(const CGText&, const CGText&) = default;
};

// An object holding text that a graphics context can draw.
class CGTextSource {
 public:
  virtual ~CGTextSource() = default;
  virtual CGText textForDrawing() const = 0;
};
