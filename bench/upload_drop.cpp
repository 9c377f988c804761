// The main thread while a large drop of GIF files is checked and staged on the upload screen:
// the real screen in a panel-sized window (400 × 600 points) shown by the desktop host in an
// X server, 200 files of 7.4 MB each dropped on it at once (hard links of one GIF padded to
// that size, so that the disk holds it once), played on the real clock through the
// application's own run loop until every GIF is staged.
//
// Counters:
//   seconds             from the drop until the last GIF was staged;
//   first_staged_s      from the drop until the first GIF was in the list;
//   longest_stretch_ms  the longest the main thread went without coming back to its run loop
//                       meanwhile (goal ≤ 50);
//   files, file_mb      what was dropped.
//
// Without a display the program runs itself again inside an X server of its own.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/DesktopSession.h"
#include "collections/UploadViewController.h"
#include "platform/appkit/DragDestinationTracker.h"
#include "platform/appkit/NSPasteboard.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"
#include "platform/host/DesktopHost.h"
#include "standin/GifMaker.h"

namespace {

constexpr std::size_t kFiles = 200;
constexpr std::size_t kFileBytes = 7'400'000;

// The files of the drop: one padded GIF and hard links to it.
std::vector<std::shared_ptr<NSObject>> dropFiles(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const auto first = folder / "drop 0.gif";
  auto padded = GifMaker::padded({.width = 480, .height = 270, .frames = 12, .rgb = 0x3366cc}, kFileBytes);
  if (!padded) std::abort();
  std::ofstream(first, std::ios::binary) << padded->bytes();
  std::vector<std::shared_ptr<NSObject>> paths{NSString::make(first.string())};
  for (std::size_t i = 1; i < kFiles; ++i) {
    const auto link = folder / ("drop " + std::to_string(i) + ".gif");
    std::filesystem::create_hard_link(first, link);
    paths.push_back(NSString::make(link.string()));
  }
  return paths;
}

void BM_LargeDropOnTheUploadScreen(benchmark::State& state) {
  auto host = DesktopHost::start();
  if (!host) std::abort();
  const auto paths = dropFiles(std::filesystem::path(std::getenv("HOME")) / "Pictures");
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    auto window = NSWindow::initWithContentRect(NSMakeRect(100, 100, 400, 600), NSWindowStyleMaskBorderless);
    auto screen = UploadViewController::init();
    window->contentView()->addSubview(screen->view());
    window->makeKeyAndOrderFront(nullptr);
    screen->reset();
    bench::play(0.5);

    auto item = NSPasteboardItem::make();
    item->setPropertyList(NSArray::make(paths), NSFilenamesPboardType);
    auto pasteboard = NSPasteboard::pasteboardWithName(NSPasteboardNameDrag);
    pasteboard->installForeignContents({item});
    auto tracker = DragDestinationTracker::forOtherApplication(pasteboard, NSDragOperationCopy);
    tracker->moveTo(window, screen->dragContainer.lock()->convertPointToView(NSPoint{10, 10}, nullptr));
    bench::StretchProbe probe;
    probe.start();
    const auto dropped = Clock::now();
    bool answered = false;
    double firstStaged = -1;
    tracker->drop([&answered](NSDragOperation) { answered = true; });
    while (!answered || screen->stagedUploads().size() < kFiles) {
      bench::play(0.02);
      if (firstStaged < 0 && !screen->stagedUploads().empty()) {
        firstStaged = std::chrono::duration<double>(Clock::now() - dropped).count();
      }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - dropped).count();
    bench::play(0.5);  // the last rows painted
    probe.stop();
    state.counters["seconds"] = seconds;
    state.counters["first_staged_s"] = firstStaged;
    state.counters["longest_stretch_ms"] = probe.longestMilliseconds();
    screen->reset();
    window->close();
    bench::play(0.1);
  }
  state.counters["files"] = static_cast<double>(kFiles);
  state.counters["file_mb"] = static_cast<double>(kFileBytes) / 1e6;
}
BENCHMARK(BM_LargeDropOnTheUploadScreen)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::runOnDesktop(argc, argv, GLIMDECK_SOURCE_DIR, "glimdeck-bench-upload-drop");
}
