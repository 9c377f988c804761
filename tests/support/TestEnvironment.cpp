#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/OutputSink.h"

namespace fs = std::filesystem;

namespace {

// Taken once: SetUp points TMPDIR into the home that TearDown removes, so asking again in the
// next test of the same program would name a folder that no longer exists.
const fs::path& temporaryBase() {
  static const fs::path base = fs::temp_directory_path();
  return base;
}

}  // namespace

void GlimdeckTest::SetUp() {
  std::string pattern = (temporaryBase() / "glimdeck-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  ASSERT_NE(made, nullptr);
  home_ = made;
  for (const char* folder : {".local/share", ".cache", ".config"}) fs::create_directories(home_ / folder);
  setenv("HOME", home_.c_str(), 1);
  setenv("XDG_DATA_HOME", (home_ / ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home_ / ".cache").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
  setenv("TMPDIR", home_.c_str(), 1);

  NSRunLoop::main()->reset();
  clock_ = std::make_shared<ManualClock>(1'800'000'000.0);
  Clock::setCurrent(clock_);
  OutputSink::setSink([this](std::string_view line) {
    std::lock_guard lock(printedMutex_);
    printed_.emplace_back(line);
  });
  // No test starts a browser: interface tests record what opens (UITest), others must not open.
  NSWorkspace::sharedWorkspace()->setOpener([](const std::shared_ptr<NSURL>& url) {
    ADD_FAILURE() << "a test outside the interface fixture opened " << url->absoluteString();
    return false;
  });
}

void GlimdeckTest::TearDown() {
  NSRunLoop::main()->drain();
  NSRunLoop::main()->reset();
  OutputSink::setSink(nullptr);
  Clock::setCurrent(nullptr);
  std::error_code ignored;
  if (!home_.empty()) fs::remove_all(home_, ignored);
  // A test without this fixture that runs next finds a temporary folder that exists.
  setenv("TMPDIR", temporaryBase().c_str(), 1);
}

bool GlimdeckTest::runUntil(const std::function<bool()>& predicate, double timeout) {
  return NSRunLoop::main()->runUntil(predicate, timeout);
}

void GlimdeckTest::drainMainQueue() { NSRunLoop::main()->drain(); }

std::vector<std::string> GlimdeckTest::printedLines(std::size_t from) {
  std::lock_guard lock(printedMutex_);
  return {printed_.begin() + static_cast<std::ptrdiff_t>(std::min(from, printed_.size())), printed_.end()};
}

bool GlimdeckTest::printed(const std::string& line) {
  std::lock_guard lock(printedMutex_);
  for (const auto& l : printed_) {
    if (l == line) return true;
  }
  return false;
}
