// The test programs' entry point.
//
// Worker threads of the queue pool and the URL session's network thread live for the whole
// process and may still be finishing a reply when the tests are over. Running the static
// destructors under them (the stand-in server, the run loop, the output sink) is a race
// that has nothing to do with what the tests check, so the program leaves without them,
// after the leak check that an ordinary exit would have run. A child scenario
// (ChildProcess.h) is the opposite: it is there to check an ordinary exit.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/ChildProcess.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#if defined(__SANITIZE_THREAD__)
// The stand-in's HTTP library is a system build without the thread sanitizer: its workers
// share memory under synchronisation the sanitizer cannot see (function-local statics,
// locking inside the library), so what it reports from within that library is noise. The
// client's side and our own code stay fully checked. Every program that starts the
// stand-in needs this, so it lives beside the entry point they all share.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\n";
}
#endif

int main(int argc, char** argv) {
  if (auto result = ChildProcess::runIfAsked(argc, argv)) return *result;
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::fflush(stdout);
  std::fflush(stderr);
#if defined(__SANITIZE_ADDRESS__)
  if (__lsan_do_recoverable_leak_check() != 0 && result == 0) result = 1;
#endif
  std::_Exit(result);
}
