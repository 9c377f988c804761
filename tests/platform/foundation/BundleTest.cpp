#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Paths.h"
#include "tests/support/TestEnvironment.h"

class BundleTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    NSBundle::resetMainBundle();
  }
  void TearDown() override {
    unsetenv("GLIMDECK_RESOURCES_DIR");
    NSBundle::resetMainBundle();
    GlimdeckTest::TearDown();
  }
  // A resources folder of our own holding the given Info.plist text.
  std::filesystem::path resourcesWithInfo(const std::string& info) {
    auto folder = home() / "resources";
    std::filesystem::create_directories(folder / "images");
    std::ofstream(folder / "Info.plist") << info;
    std::ofstream(folder / "images" / "icon.png") << "png";
    std::ofstream(home() / "secret.txt") << "outside";
    setenv("GLIMDECK_RESOURCES_DIR", folder.c_str(), 1);
    NSBundle::resetMainBundle();
    return folder;
  }
};

TEST_F(BundleTest, TheShippedInfoDictionaryNamesTheApplication) {
  auto bundle = NSBundle::mainBundle();
  EXPECT_EQ(bundle->bundleIdentifier(), "com.glimdeck.Glimdeck");
  struct Expectation {
    const char* key;
    const char* value;
  };
  for (auto [key, value] : {Expectation{"CFBundleName", "Glimdeck"}, Expectation{"CFBundleShortVersionString", "1.0.0"},
                            Expectation{"CFBundleVersion", "1"}, Expectation{"DTPlatformVersion", "10.13"}}) {
    auto text = asA<NSString>(bundle->objectForInfoDictionaryKey(key));
    ASSERT_TRUE(text) << key;
    EXPECT_EQ(text->string(), value);
  }
  EXPECT_TRUE(bundle->pathForResource("Info", "plist").has_value());
  EXPECT_FALSE(bundle->bundlePath().empty());
}

TEST_F(BundleTest, TestsCanReplaceTheInfoDictionaryAndRestoreIt) {
  auto bundle = NSBundle::mainBundle();
  bundle->setInfoDictionary(NSDictionary::make({{"CFBundleShortVersionString", NSNumber::numberWithInteger(3)}}));
  EXPECT_FALSE(bundle->bundleIdentifier().has_value());
  EXPECT_TRUE(objectsEqual(bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"), NSNumber::numberWithInteger(3)));
  // Changing the copy handed out leaves the bundle's own dictionary alone.
  bundle->infoDictionary()->setObject(NSString::make("x"), "CFBundleName");
  EXPECT_FALSE(bundle->objectForInfoDictionaryKey("CFBundleName"));
  bundle->setInfoDictionary(nullptr);
  EXPECT_EQ(bundle->bundleIdentifier(), "com.glimdeck.Glimdeck");
}

TEST_F(BundleTest, ResourcesAreFoundOnlyInsideTheResourcesFolder) {
  auto folder = resourcesWithInfo("<plist><dict><key>CFBundleIdentifier</key><string>org.example</string></dict></plist>");
  auto bundle = NSBundle::mainBundle();
  EXPECT_EQ(bundle->resourcePath(), folder);
  EXPECT_EQ(bundle->bundleIdentifier(), "org.example");
  EXPECT_EQ(bundle->pathForResource("images/icon", "png"), folder / "images" / "icon.png");
  EXPECT_EQ(bundle->pathForResource("images/icon.png", ""), folder / "images" / "icon.png");
  auto url = bundle->URLForResource("images/icon", "png");
  ASSERT_TRUE(url);
  EXPECT_TRUE(url->isFileURL());
  EXPECT_EQ(url->path(), (folder / "images" / "icon.png").string());
  for (auto [name, type] : {std::pair{"missing", "png"}, std::pair{"../secret", "txt"}, std::pair{"", ""},
                            std::pair{"/etc/passwd", ""}, std::pair{"images", ""}}) {
    EXPECT_FALSE(bundle->pathForResource(name, type).has_value()) << name;
  }
  EXPECT_FALSE(bundle->URLForResource("missing", "png"));
}

TEST_F(BundleTest, AnInstalledProgramReadsTheResourcesInstalledBesideIt) {
  const auto sources = NSBundle::resourcePathForExecutable({});
  EXPECT_TRUE(std::filesystem::is_regular_file(sources / "Info.plist")) << sources;
  auto prefix = home() / "prefix";
  std::filesystem::create_directories(prefix / "bin");
  std::filesystem::create_directories(prefix / "share/glimdeck");
  std::filesystem::create_directories(home() / "bare/bin");
  std::filesystem::create_directories(home() / "bare/share/glimdeck");
  std::ofstream(prefix / "share/glimdeck/Info.plist") << "<plist><dict/></plist>";
  struct Case {
    std::filesystem::path executable;
    std::filesystem::path folder;
  };
  const Case cases[] = {
      {prefix / "bin/glimdeck", prefix / "share/glimdeck"},
      // Only a folder that holds an Info dictionary is an installed one.
      {home() / "bare/bin/glimdeck", sources},
      {home() / "elsewhere/glimdeck", sources},
      {{}, sources},
  };
  for (const auto& c : cases) EXPECT_EQ(NSBundle::resourcePathForExecutable(c.executable), c.folder) << c.executable;
  // The variable still wins, installed or not.
  setenv("GLIMDECK_RESOURCES_DIR", (home() / "chosen").c_str(), 1);
  EXPECT_EQ(NSBundle::resourcePathForExecutable(prefix / "bin/glimdeck"), home() / "chosen");
}

TEST_F(BundleTest, AMissingOrCorruptInfoPlistGivesAnEmptyDictionaryAndADiagnostic) {
  resourcesWithInfo("<plist><dict><key>unfinished");
  EXPECT_EQ(NSBundle::mainBundle()->infoDictionary()->count(), 0u);
  EXPECT_FALSE(NSBundle::mainBundle()->bundleIdentifier().has_value());
  ASSERT_FALSE(printedLines().empty());
  EXPECT_NE(printedLines().front().find("Info.plist"), std::string::npos);
}

TEST_F(BundleTest, TheApplicationsFoldersAreNamedByItsBundle) {
  struct Case {
    std::shared_ptr<NSObject> name;  // "CFBundleName"; empty: none
    std::string folder;
  };
  const std::string program = NSBundle::mainBundle()->executablePath().filename().string();
  const Case cases[] = {
      {NSString::make("Glimdeck"), "Glimdeck"},
      {NSString::make("Other App"), "Other App"},
      {nullptr, program},
      {NSString::make("../escape"), program},
      {NSNumber::numberWithInteger(7), program},
  };
  for (const auto& c : cases) {
    auto info = NSDictionary::make();
    if (c.name) info->setObject(c.name, "CFBundleName");
    NSBundle::mainBundle()->setInfoDictionary(info);
    EXPECT_EQ(Paths::applicationName(), c.folder);
    EXPECT_EQ(Paths::applicationSupport(), home() / ".local/share" / c.folder);
    EXPECT_EQ(Paths::caches(), home() / ".cache" / c.folder);
    EXPECT_EQ(Paths::preferences(), home() / ".config" / c.folder);
  }
}
