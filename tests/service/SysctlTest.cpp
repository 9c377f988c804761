#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/utsname.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "service/Sysctl.h"

namespace {

Sysctl::Bytes bytesOf(std::string_view text) { return Sysctl::Bytes(text.begin(), text.end()); }

TEST(SysctlTest, NamesTheSystemAnswersFromItsOwnSources) {
  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(Sysctl::stringForName("kern.ostype"), std::string(names.sysname));
  EXPECT_EQ(Sysctl::stringForName("kern.osrelease"), std::string(names.release));
  EXPECT_EQ(Sysctl::stringForName("kern.hostname"), std::string(names.nodename));
  EXPECT_EQ(Sysctl::stringForName("hw.machine"), std::string(names.machine));
  EXPECT_EQ(Sysctl::integerForName("hw.availcpu"), sysconf(_SC_NPROCESSORS_ONLN));
  EXPECT_EQ(Sysctl::integerForName("hw.memsize"), static_cast<std::int64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE));
  EXPECT_GT(*Sysctl::integerForName("kern.osrevision"), 0);
  EXPECT_EQ(Sysctl::keysForName("hw.model"), (Sysctl::Keys{6, 2}));
  EXPECT_EQ(Sysctl::keysForName("kern.hostname"), (Sysctl::Keys{1, 10}));

  // The accessors read the same nodes.
  EXPECT_EQ(Sysctl::hostName(), std::string(names.nodename));
  EXPECT_EQ(Sysctl::osType(), std::string(names.sysname));
  EXPECT_EQ(Sysctl::machine(), std::string(names.machine));
  EXPECT_EQ(Sysctl::activeCPUs(), sysconf(_SC_NPROCESSORS_ONLN));
  EXPECT_FALSE(Sysctl::kernelVersion().empty());
}

TEST(SysctlTest, HardwareModelIsTheFirmwareNameThenTheDeviceTreeModel) {
  const char* const dmi = "sys/devices/virtual/dmi/id/product_name";
  const char* const tree = "sys/firmware/devicetree/base/model";
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, std::string>> files;
    std::optional<std::string> model;
  };
  const Case cases[] = {
      {"firmware name", {{dmi, "Precision 5570\n"}}, "Precision 5570"},
      {"device tree, NUL-ended", {{tree, std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31)}}, "Raspberry Pi 4 Model B Rev 1.4"},
      {"firmware first", {{dmi, "ThinkPad X1 Carbon  \r\n"}, {tree, "Board"}}, "ThinkPad X1 Carbon"},
      {"empty firmware name", {{dmi, "\n"}, {tree, "Board\n"}}, "Board"},
      {"neither", {}, std::nullopt},
  };
  for (const auto& c : cases) {
    char pattern[] = "/tmp/glimdeck-sysctl-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::filesystem::path root = pattern;
    for (const auto& [path, contents] : c.files) {
      std::filesystem::create_directories((root / path).parent_path());
      std::ofstream(root / path, std::ios::binary) << contents;
    }
    EXPECT_EQ(Sysctl::hardwareModelUnder(root), c.model) << c.what;
    std::filesystem::remove_all(root);
  }

  // The node answers what the system's own files say, as text without its NUL.
  auto model = Sysctl::stringForName("hw.model");
  if (auto own = Sysctl::hardwareModelUnder("/")) {
    EXPECT_EQ(model, *own);
    EXPECT_EQ(Sysctl::model(), *own);
  } else {
    EXPECT_EQ(model, std::unexpected(SysctlError::posixError(static_cast<POSIXErrorCode>(ENOENT))));
    EXPECT_EQ(Sysctl::model(), "");
  }
}

TEST(SysctlTest, UnknownNamesAndKeysFailWithThePosixCode) {
  const auto notFound = std::unexpected(SysctlError::posixError(static_cast<POSIXErrorCode>(ENOENT)));
  EXPECT_EQ(Sysctl::keysForName("hw.nothing"), notFound);
  EXPECT_EQ(Sysctl::stringForName(""), notFound);
  EXPECT_EQ(Sysctl::integerForName("kern.nope"), notFound);
  EXPECT_EQ(Sysctl::dataForKeys({6, 99}), notFound);
  EXPECT_EQ(Sysctl::dataForKeys({6, 2, 1}), notFound);
  EXPECT_EQ(Sysctl::dataForKeys({}), std::unexpected(SysctlError::posixError(static_cast<POSIXErrorCode>(EINVAL))));
  // A text node read as an integer has the wrong size.
  EXPECT_EQ(Sysctl::integerForName("kern.ostype"), std::unexpected(SysctlError::invalidSize()));

  EXPECT_EQ(SysctlError::fromErrno(ENOENT).kind, SysctlError::Kind::posixError);
  EXPECT_EQ(SysctlError::fromErrno(99999), SysctlError::unknown());
  EXPECT_EQ(SysctlError::fromErrno(0), SysctlError::unknown());
}

TEST(SysctlTest, RawValuesAsTextAndIntegers) {
  struct TextCase {
    Sysctl::Bytes bytes;
    Sysctl::Result<std::string> expected;
  };
  const TextCase texts[] = {
      {{}, std::string()},
      {bytesOf(std::string_view("abc\0def", 7)), std::string("abc")},
      {bytesOf("MacPro6,1"), std::string("MacPro6,1")},
      {bytesOf("caf\xC3\xA9"), std::string("caf\xC3\xA9")},
      {bytesOf("bad\xC3"), std::unexpected(SysctlError::malformedUTF8())},
      {bytesOf("\xFF\xFE"), std::unexpected(SysctlError::malformedUTF8())},
      {bytesOf("\xC0\xAF"), std::unexpected(SysctlError::malformedUTF8())},  // overlong "/"
  };
  for (const auto& c : texts) EXPECT_EQ(Sysctl::stringFromData(c.bytes), c.expected);

  struct IntegerCase {
    Sysctl::Bytes bytes;
    Sysctl::Result<std::int64_t> expected;
  };
  const IntegerCase integers[] = {
      {{}, std::unexpected(SysctlError::invalidSize())},
      {{1, 2}, std::unexpected(SysctlError::invalidSize())},
      {Sysctl::Bytes(4, -1), -1},
      {Sysctl::Bytes(8, -1), -1},
      {{1, 0, 0, 0}, 1},
      {{0, 0, 0, 0, 0, 0, 0, -128}, std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& c : integers) EXPECT_EQ(Sysctl::integerFromData(c.bytes), c.expected);
}

}  // namespace
