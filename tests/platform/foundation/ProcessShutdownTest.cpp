// The process's exit stops the background threads ahead of the exit handlers that libraries
// opened late register (the TLS library's, say), and threads that start again and again do
// not each leave another exit handler behind. Each case runs in a child process, whose exit
// is what is looked at: a handler registered by the case ends the child with a status that
// tells whether the stop had already run.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <future>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLRequest.h"
#include "platform/foundation/NSURLSession.h"
#include "platform/foundation/ProcessShutdown.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr int kStopRanFirst = 10;
constexpr int kHandlerRanFirst = 11;

// An exit handler that ends the process at once, saying whether the stop came before it.
void tellWhetherTheStopRan() { ::_exit(ProcessShutdown::isFinal() ? kStopRanFirst : kHandlerRanFirst); }

// A worker thread starts: the shutdown before it let the previous ones go.
void startAWorker() {
  ProcessShutdown::run();
  std::promise<void> ran;
  DispatchQueue::global()->async([&ran] { ran.set_value(); });
  ran.get_future().wait();
}

// The network loop starts for a transfer that nothing answers, and leaves after it ends.
void startTheNetworkLoop() {
  std::promise<void> ended;
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString("http://127.0.0.1:1/"));
  NSURLSession::sharedSession()->dataTaskWithRequest(request, [&ended](auto, auto, auto) { ended.set_value(); })->resume();
  ended.get_future().wait();
}

// A library opened after the threads first started, which registers an exit handler; the
// threads start again after it.
int libraryOpenedLate(const std::vector<std::string>&) {
  startAWorker();
  // A small library of the C library's own that nothing here links.
  if (!::dlopen("libanl.so.1", RTLD_NOW | RTLD_LOCAL)) return 2;
  std::atexit(tellWhetherTheStopRan);
  startAWorker();
  return 0;
}

// Threads that start many times with no library opened in between.
int manyStarts(const std::vector<std::string>&) {
  // Whatever the first transfer opens is open before the handler.
  for (int i = 0; i < 3; ++i) {
    startTheNetworkLoop();
    startAWorker();
  }
  std::atexit(tellWhetherTheStopRan);
  for (int i = 0; i < 200; ++i) {
    startTheNetworkLoop();
    startAWorker();
  }
  return 0;
}

const bool registered = ChildProcess::add("library-opened-late", libraryOpenedLate) &&
                        ChildProcess::add("many-thread-starts", manyStarts);

ChildProcess::Ending runChild(const std::string& scenario) {
  const pid_t child = ChildProcess::start(scenario, {}, {});
  EXPECT_GT(child, 0);
  return ChildProcess::wait(child);
}

TEST(ProcessShutdownTest, TheStopRunsAheadOfAnExitHandlerOfALibraryOpenedLate) {
  ASSERT_TRUE(registered);
  const auto ending = runChild("library-opened-late");
  EXPECT_TRUE(ending.exited && ending.code == kStopRanFirst) << ending.description();
}

// Had any of those starts registered the stop again, it would run ahead of the handler.
TEST(ProcessShutdownTest, RepeatedThreadStartsAddNoExitHandler) {
  ASSERT_TRUE(registered);
  const auto ending = runChild("many-thread-starts");
  EXPECT_TRUE(ending.exited && ending.code == kHandlerRanFirst) << ending.description();
}

}  // namespace
