// What opening the desktop costs a launch: the display is opened without GTK probing OpenGL
// (the application draws with Cairo, and the probe loads the system's GL drivers), and the
// setting that tells GTK so does not reach the programs the application starts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/platform/host/HostTestSupport.h"

namespace {

class HostLaunchTest : public HostTest {};

TEST_F(HostLaunchTest, TheDisplayOpensWithoutLoadingGLDrivers) {
  std::ifstream maps("/proc/self/maps");
  ASSERT_TRUE(maps);
  for (std::string line; std::getline(maps, line);) {
    for (const char* driver : {"_dri.so", "libGLX", "libEGL", "libGL.so", "libOpenGL"}) {
      EXPECT_EQ(line.find(driver), std::string::npos) << line;
    }
  }
  EXPECT_EQ(std::getenv("GDK_GL"), nullptr) << "programs started from here open their displays as they would";
}

}  // namespace
