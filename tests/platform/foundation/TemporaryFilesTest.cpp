// Temporary files are deleted while tracked, and left alone once handed over: whatever
// takes a file's name after it was moved away keeps it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/TemporaryFiles.h"
#include "tests/support/TestEnvironment.h"

namespace {

class TemporaryFilesTest : public GlimdeckTest {};

TEST_F(TemporaryFilesTest, OnlyFilesStillTrackedAreDeleted) {
  struct Case {
    const char* name;
    bool handedOver;
    bool remains;
  };
  for (const Case& c : {Case{"tracked", false, false}, Case{"moved away", true, true}}) {
    const auto path = (home() / c.name).string();
    std::ofstream(path) << "downloaded";
    TemporaryFiles::track(path);
    if (c.handedOver) {
      // Moved to where it belongs; a new file then takes the old name.
      std::filesystem::rename(path, path + ".kept");
      TemporaryFiles::untrack(path);
      std::ofstream(path) << "someone else's";
    }
    TemporaryFiles::remove(path);
    EXPECT_EQ(std::filesystem::exists(path), c.remains) << c.name;
    EXPECT_EQ(std::ranges::count(TemporaryFiles::tracked(), path), 0) << c.name;
  }
}

}  // namespace
