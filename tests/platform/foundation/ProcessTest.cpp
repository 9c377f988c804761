#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/NSProcessInfo.h"
#include "tests/support/TestEnvironment.h"

class ProcessTest : public GlimdeckTest {
 protected:
  void TearDown() override {
    NSProcessInfo::processInfo()->setOperatingSystemVersionForTesting(std::nullopt);
    GlimdeckTest::TearDown();
  }
  NSProcessInfo& info() { return *NSProcessInfo::processInfo(); }
};

TEST_F(ProcessTest, VersionsFromKernelReleases) {
  struct Case {
    std::string release;
    NSOperatingSystemVersion version;
  };
  const Case cases[] = {
      {"6.1.0-18-amd64", {6, 1, 0}}, {"5.15.133.1-microsoft-standard-WSL2", {5, 15, 133}},
      {"4.19", {4, 19, 0}},          {"10.12.2", {10, 12, 2}},
      {"", {0, 0, 0}},               {"abc", {0, 0, 0}},
      {"6.-1.2", {6, 0, 0}},         {"99999999999999999999.1", {INT64_MAX, 1, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(NSProcessInfo::versionFromRelease(c.release), c.version) << c.release;
}

TEST_F(ProcessTest, TestsCanSetTheOperatingSystemVersion) {
  const NSOperatingSystemVersion kernel = info().operatingSystemVersion();
  EXPECT_GT(kernel.majorVersion, 0);
  info().setOperatingSystemVersionForTesting(NSOperatingSystemVersion{10, 12, 2});
  EXPECT_TRUE(info().isOperatingSystemAtLeastVersion({10, 12, 2}));
  EXPECT_TRUE(info().isOperatingSystemAtLeastVersion({10, 12, 1}));
  EXPECT_TRUE(info().isOperatingSystemAtLeastVersion({9, 99, 99}));
  EXPECT_FALSE(info().isOperatingSystemAtLeastVersion({10, 12, 3}));
  EXPECT_FALSE(info().isOperatingSystemAtLeastVersion({10, 13, 0}));
  EXPECT_FALSE(info().isOperatingSystemAtLeastVersion({11, 0, 0}));
  info().setOperatingSystemVersionForTesting(std::nullopt);
  EXPECT_EQ(info().operatingSystemVersion(), kernel);
  EXPECT_NE(info().operatingSystemVersionString().find("Linux"), std::string::npos);
}

TEST_F(ProcessTest, EnvironmentAndIdentity) {
  setenv("GLIMDECK_PROCESS_TEST", "a=b", 1);
  const auto environment = info().environment();
  ASSERT_TRUE(environment.count("GLIMDECK_PROCESS_TEST"));
  EXPECT_EQ(environment.at("GLIMDECK_PROCESS_TEST"), "a=b");
  EXPECT_EQ(environment.at("HOME"), home().string());
  unsetenv("GLIMDECK_PROCESS_TEST");
  EXPECT_FALSE(info().environment().count("GLIMDECK_PROCESS_TEST"));

  EXPECT_EQ(info().processIdentifier(), static_cast<int>(getpid()));
  EXPECT_FALSE(info().processName().empty());
  ASSERT_FALSE(info().arguments().empty());
  EXPECT_NE(info().arguments().front().find(info().processName()), std::string::npos);
  EXPECT_FALSE(info().hostName().empty());
  EXPECT_NE(info().globallyUniqueString(), info().globallyUniqueString());
}

TEST_F(ProcessTest, MachineFacts) {
  EXPECT_GT(info().physicalMemory(), 0u);
  EXPECT_GE(info().processorCount(), info().activeProcessorCount());
  EXPECT_GE(info().activeProcessorCount(), 1u);
  EXPECT_GT(info().systemUptime(), 0.0);
}
