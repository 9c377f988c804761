#pragma once
// A compact text picture of a view tree for assertions: one line per view, indented by
// depth, with the class, the frame, "hidden", the alpha when it is not 1 and the text
// the view shows.
//
//   NSView (0, 0, 200, 100)
//     NSTextField (10, 10, 80, 22) "Name"
//     NSButton (100, 10, 80, 22) hidden "OK"

#include <memory>
#include <string>

class NSMenu;
class NSView;
class NSWindow;

struct ViewDumpOptions {
  bool skipHidden = false;  // leave hidden views (and what they hold) out
  int maxDepth = 64;
};

std::string dumpViewTree(const std::shared_ptr<NSView>& root, ViewDumpOptions options = {});
// The content view's tree of the window.
std::string dumpWindow(const std::shared_ptr<NSWindow>& window, ViewDumpOptions options = {});
// One view's line, without indentation or newline.
std::string describeView(const NSView& view);

// A menu as text, one line per item, submenus indented under their item:
//
//   Version: 1.2 [disabled]
//   ✓ Show Hidden
//   ---
//   Add to Pack >
//     Cats
std::string dumpMenu(const std::shared_ptr<NSMenu>& menu);
