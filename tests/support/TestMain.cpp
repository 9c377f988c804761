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
