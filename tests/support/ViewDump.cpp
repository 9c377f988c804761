#include "tests/support/ViewDump.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/appkit/NSCollectionView.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

std::string dumpNumber(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value == 0 ? 0.0 : value);
  return buffer;
}

namespace {
std::string number(double value) { return dumpNumber(value); }

std::string rect(NSRect r) {
  return "(" + number(r.minX()) + ", " + number(r.minY()) + ", " + number(r.width()) + ", " + number(r.height()) + ")";
}

void dump(const std::shared_ptr<NSView>& view, int depth, const ViewDumpOptions& options, std::string& out) {
  if (!view || depth > options.maxDepth) return;
  if (options.skipHidden && view->isHidden()) return;
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += describeView(*view);
  out += '\n';
  for (auto& sub : view->subviews()) dump(sub, depth + 1, options, out);
}
}  // namespace

std::string describeView(const NSView& view) {
  std::string line = view.className() + " " + rect(view.frame());
  if (view.isHidden()) line += " hidden";
  if (view.alphaValue() != 1.0) line += " alpha=" + number(view.alphaValue());
  if (auto text = view.dumpText(); !text.empty()) line += " \"" + text + "\"";
  return line;
}

std::string dumpCollectionLayout(NSCollectionView& view) {
  view.prepareLayoutIfNeeded();
  std::string out;
  if (auto layout = view.collectionViewLayout()) {
    NSSize content = layout->collectionViewContentSize();
    out += "content (" + number(content.width) + ", " + number(content.height) + ")\n";
  }
  for (std::size_t s = 0; s < view.numberOfSections(); ++s) {
    out += "section " + std::to_string(s) + "\n";
    auto header = view.layoutAttributesForSupplementaryElementOfKind(NSCollectionElementKindSectionHeader, {0, s});
    if (header && !header->frame.isEmpty()) out += "  header " + rect(header->frame) + "\n";
    for (std::size_t i = 0; i < view.numberOfItemsInSection(s); ++i) {
      auto attributes = view.layoutAttributesForItemAtIndexPath({i, s});
      out += "  " + std::to_string(s) + "-" + std::to_string(i) + " " +
             (attributes ? rect(attributes->frame) : std::string("not placed")) + "\n";
    }
  }
  return out;
}

std::string dumpViewTree(const std::shared_ptr<NSView>& root, ViewDumpOptions options) {
  std::string out;
  dump(root, 0, options, out);
  return out;
}

std::string dumpWindow(const std::shared_ptr<NSWindow>& window, ViewDumpOptions options) {
  return window ? dumpViewTree(window->contentView(), options) : std::string();
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::filesystem::path expectedPath(std::string_view name) { return std::filesystem::path(GLIMDECK_TESTS_DIR) / name; }

}  // namespace

std::string lineDiff(const std::string& expected, const std::string& actual) {
  auto a = linesOf(expected), b = linesOf(actual);
  // Longest common subsequence by table: dumps are hundreds of lines at most.
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;)
    for (std::size_t j = b.size(); j-- > 0;)
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
  struct Line {
    char mark;
    std::string text;
  };
  std::vector<Line> script;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      script.push_back({' ', a[i++]});
      ++j;
    } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
      script.push_back({'-', a[i++]});
    } else {
      script.push_back({'+', b[j++]});
    }
  }
  std::string out;
  bool skipped = false;
  for (std::size_t k = 0; k < script.size(); ++k) {
    bool near = script[k].mark != ' ' || (k > 0 && script[k - 1].mark != ' ') ||
                (k + 1 < script.size() && script[k + 1].mark != ' ');
    if (!near) {
      skipped = true;
      continue;
    }
    if (std::exchange(skipped, false)) out += "...\n";
    out += std::string(1, script[k].mark) + " " + script[k].text + "\n";
  }
  if (skipped) out += "...\n";
  return out;
}

::testing::AssertionResult matchesDump(const std::string& actual, std::string_view expectedFile) {
  auto path = expectedPath(expectedFile);
  const char* update = std::getenv("GLIMDECK_UPDATE_DUMPS");
  if (update && std::string_view(update) == "1") {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << actual;
    return ::testing::AssertionSuccess() << "wrote " << path;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return ::testing::AssertionFailure() << "no expected dump " << path
                                         << " (GLIMDECK_UPDATE_DUMPS=1 writes it); the dump is:\n"
                                         << actual;
  }
  std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (expected == actual) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the dump differs from " << path
                                       << " (GLIMDECK_UPDATE_DUMPS=1 rewrites it):\n"
                                       << lineDiff(expected, actual);
}

namespace {
void dumpMenuAt(const NSMenu& menu, int depth, std::string& out) {
  if (depth > 16) return;
  for (const auto& item : menu.itemArray()) {
    if (item->hidden) continue;
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    if (item->isSeparatorItem()) {
      out += "---\n";
      continue;
    }
    if (item->state == NSControlStateValueOn) out += "✓ ";
    if (item->state == NSControlStateValueMixed) out += "- ";
    out += item->title;
    if (!item->keyEquivalent.empty()) out += " [" + item->keyEquivalent + "]";
    if (!item->isEnabled()) out += " [disabled]";
    if (item->hasSubmenu()) out += " >";
    out += '\n';
    if (auto submenu = item->submenu()) dumpMenuAt(*submenu, depth + 1, out);
  }
}
}  // namespace

std::string dumpMenu(const std::shared_ptr<NSMenu>& menu) {
  std::string out;
  if (menu) dumpMenuAt(*menu, 0, out);
  return out;
}
