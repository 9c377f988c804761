#pragma once
// A compact text picture of a view tree for assertions: one line per view, indented by
// depth, with the class, the frame, "hidden", the alpha when it is not 1 and the text
// the view shows.
//
//   NSView (0, 0, 200, 100)
//     NSTextField (10, 10, 80, 22) "Name"
//     NSButton (100, 10, 80, 22) hidden "OK"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

class NSCollectionView;
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
// A number as dumps write it: six significant digits, no trailing zeros, never "-0".
std::string dumpNumber(double value);
// One view's line, without indentation or newline.
std::string describeView(const NSView& view);
// Where the collection view's layout puts everything, section by section: the content size,
// each section's header frame (when it has one) and each item's frame by its path.
//
//   content (300, 375)
//   section 0
//     header (0, 0, 300, 20)
//     0-0 (5, 25, 100, 50)
std::string dumpCollectionLayout(NSCollectionView& view);

// Compares a dump with its expected file, named relative to the tests folder and kept
// beside the tests that use it ("browse/expected/grid-first-page.txt"). A difference fails
// with a line diff (expected lines "-", actual lines "+"); a missing file fails with the
// whole dump. With GLIMDECK_UPDATE_DUMPS=1 in the environment the file is written instead
// and the comparison passes: review the change with git diff before committing it.
::testing::AssertionResult matchesDump(const std::string& actual, std::string_view expectedFile);
#define EXPECT_DUMP(actual, expectedFile) EXPECT_TRUE(matchesDump((actual), (expectedFile)))

// The lines that differ between two texts, as a unified-style diff with a line of context.
std::string lineDiff(const std::string& expected, const std::string& actual);

// A menu as text, one line per item, submenus indented under their item:
//
//   Version: 1.2 [disabled]
//   ✓ Show Hidden
//   ---
//   Add to Pack >
//     Cats
std::string dumpMenu(const std::shared_ptr<NSMenu>& menu);
