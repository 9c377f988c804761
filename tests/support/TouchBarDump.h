#pragma once
// A Touch Bar model as text for assertions: the bar's identifiers, then each item on it
// with its view tree (as dumpViewTree writes it; image views add the image they show).
//
//   bar com.example.bar allowed [com.example.scrubber]
//   item com.example.scrubber
//     NSScrubber (0, 0, 685, 30)
//       NSScrubberTextItemView (0, 0, 50, 30)
//         NSTextField (0, 0, 50, 30) "😀"

#include <memory>
#include <string>

class NSTouchBar;
class NSView;

std::string dumpTouchBar(const std::shared_ptr<NSTouchBar>& bar);
// One view tree as the bar dump writes it, indented by `depth` steps.
std::string dumpTouchBarView(const std::shared_ptr<NSView>& view, int depth = 0);
