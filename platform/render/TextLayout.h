#pragma once
// Pango text layout shared by font metrics, text measurement and the Cairo backend.
// Pango is not safe across threads, so every use holds the lock.

#include <cstdint>
#include <mutex>
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
// The bytes of text (UTF-8) that layouts made on the calling thread have held, for
// measuring or drawing: what laying out text has cost that thread.
std::uint64_t bytesLaidOutOnThisThread();

}  // namespace TextLayout
