#pragma once
// Pango text layout shared by font metrics, text measurement and the Cairo backend.
// Pango is not safe across threads, so every use holds the lock.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>
#include <pango/pango.h>

#include "platform/foundation/NSGeometry.h"
#include "platform/quartz/CGText.h"

namespace TextLayout {

std::unique_lock<std::recursive_mutex> lock();
// A context for measuring, at one device unit per point.
PangoContext* measuringContext();
// Gives a context (a measuring one, or one made for a Cairo canvas) the same font options.
void configure(PangoContext* context);
// A description of the font's installed face at its point size (caller frees).
PangoFontDescription* describe(const CGFont& font);
// Lays the text out in the given width (0 or less: one line per paragraph, unbounded), with
// its fonts, colours, underlines, kerning, alignment and wrapping. Caller unrefs.
PangoLayout* makeLayout(PangoContext* context, const CGText& text, double width);
// The size the text takes when laid out so.
NSSize measure(const CGText& text, double width);
// The size of the text laid out as one line in the font alone.
NSSize measureLine(const CGFont& font, std::string_view utf8);
// Where a caret may stand in the text: the byte offsets (of the UTF-8) of the boundaries
// between its user-perceived characters (Pango's cursor positions: a letter with its
// accents, an emoji with its modifiers or joined parts, a flag), 0 and the length included.
std::vector<std::size_t> caretStops(std::string_view utf8);
// On the text laid out as one line in the font, the caret stop nearest `x` (points from the
// line's start), found on one layout of the line.
std::size_t caretStopNearest(const CGFont& font, std::string_view utf8, double x);
// The same, but the start of the character under `x` (the text's end past its last one).
std::size_t caretStopUnder(const CGFont& font, std::string_view utf8, double x);
// The points from the line's start to the caret before the byte offset, on the text laid
// out as one line in the font.
double caretOffset(const CGFont& font, std::string_view utf8, std::size_t byteOffset);

// Where a point (from the top left of the text's rectangle) falls on the text laid out in the
// width as makeLayout lays it out for drawing, wrapped lines and all: on the laid-out line
// nearest the point's height, the whole character nearest it and the caret stop nearest it
// (byte offsets of the UTF-8), and whether the point lies on that character rather than
// beside its line's ends or above or below every line.
struct TextHit {
  std::size_t character = 0;
  std::size_t caret = 0;
  bool onCharacter = false;
};
TextHit hitTest(const CGText& text, double width, NSPoint point);
// The rectangles the bytes from `start` to `end` cover on the text laid out so, one for each
// laid-out line they reach, from the top left of the text's rectangle.
std::vector<NSRect> rangeRects(const CGText& text, double width, std::size_t start, std::size_t end);
// The bytes of text (UTF-8) that layouts made on the calling thread have held, for
// measuring or drawing: what laying out text has cost that thread.
std::uint64_t bytesLaidOutOnThisThread();

}  // namespace TextLayout
