#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSUserDefaults.h"
#include "tests/support/PlantedFiles.h"
#include "tests/support/TestEnvironment.h"

class UserDefaultsTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    NSBundle::resetMainBundle();
    NSUserDefaults::resetStandardUserDefaults();
  }
  void TearDown() override {
    NSUserDefaults::resetStandardUserDefaults();
    GlimdeckTest::TearDown();
  }
  std::shared_ptr<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }
  std::filesystem::path file() { return home() / ".config/Glimdeck/com.glimdeck.Glimdeck.plist"; }
  void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::shared_ptr<NSDictionary> fileContents() {
    std::ifstream in(file(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto plist = NSPropertyListSerialization::propertyListWithData(NSData::fromString(bytes));
    return plist ? asA<NSDictionary>(*plist) : nullptr;
  }
};

TEST_F(UserDefaultsTest, TypedGettersReadNumbersAndTextsAndRefuseOtherTypes) {
  auto d = defaults();
  d->setObject(NSString::make("YES"), "yesText");
  d->setObject(NSString::make("42"), "numberText");
  d->setObject(NSString::make("dark"), "word");
  d->setDouble(2.75, "real");
  d->setBool(true, "flag");
  d->setInteger(-7, "count");
  d->setObject(NSData::fromString("bytes"), "data");
  d->setObject(NSArray::make({NSString::make("a")}), "list");
  d->setObject(NSDictionary::make({{"token", NSString::make("t")}}), "auth");

  struct Case {
    const char* key;
    bool asBool;
    std::int64_t asInteger;
    double asDouble;
    const char* asString;  // nullptr: no text
  };
  const Case cases[] = {
      {"yesText", true, 0, 0.0, "YES"},
      {"numberText", true, 42, 42.0, "42"},
      {"word", false, 0, 0.0, "dark"},
      {"real", true, 2, 2.75, "2.75"},
      {"flag", true, 1, 1.0, "1"},
      {"count", true, -7, -7.0, "-7"},
      {"data", false, 0, 0.0, nullptr},
      {"list", false, 0, 0.0, nullptr},
      {"missing", false, 0, 0.0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(d->boolForKey(c.key), c.asBool);
    EXPECT_EQ(d->integerForKey(c.key), c.asInteger);
    EXPECT_EQ(d->doubleForKey(c.key), c.asDouble);
    auto text = d->stringForKey(c.key);
    if (c.asString) {
      ASSERT_TRUE(text);
      EXPECT_EQ(text->string(), c.asString);
    } else {
      EXPECT_FALSE(text);
    }
  }
  EXPECT_EQ(d->dataForKey("data")->string(), "bytes");
  EXPECT_FALSE(d->dataForKey("word"));
  EXPECT_EQ(d->arrayForKey("list")->count(), 1u);
  EXPECT_FALSE(d->arrayForKey("auth"));
  EXPECT_EQ(d->dictionaryForKey("auth")->objectForKeyAs<NSString>("token")->string(), "t");
  EXPECT_FALSE(d->dictionaryForKey("list"));
}

TEST_F(UserDefaultsTest, RemovingAndRefusingValues) {
  auto d = defaults();
  d->setObject(NSString::make("x"), "key");
  d->setObject(nullptr, "key");
  EXPECT_FALSE(d->objectForKey("key"));
  d->setObject(NSString::make("x"), "key");
  d->removeObjectForKey("key");
  EXPECT_FALSE(d->objectForKey("key"));
  EXPECT_FALSE(fileContents()->containsKey("key"));

  d->setObject(NSValue::valueWithSize({1, 1}), "size");
  d->setObject(NSArray::make({NSNull::null()}), "nulls");
  EXPECT_FALSE(d->objectForKey("size"));
  EXPECT_FALSE(d->objectForKey("nulls"));
  EXPECT_EQ(printedLines().size(), 2u);
  EXPECT_NE(printedLines().front().find("\"size\""), std::string::npos);
}

TEST_F(UserDefaultsTest, StoredContainersAreCopiesOfTheCallersValues) {
  auto d = defaults();
  auto list = NSArray::make({NSString::make("a")});
  d->setObject(list, "list");
  list->addObject(NSString::make("b"));
  EXPECT_EQ(d->arrayForKey("list")->count(), 1u);
  d->arrayForKey("list")->addObject(NSString::make("c"));
  EXPECT_EQ(d->arrayForKey("list")->count(), 1u);
}

TEST_F(UserDefaultsTest, DomainsAreSearchedApplicationThenGlobalThenRegistration) {
  auto global = NSDictionary::make({{"AppleInterfaceStyle", NSString::make("Dark")}, {"shared", NSString::make("global")}});
  writeFile(home() / ".config/Glimdeck/.GlobalPreferences.plist",
            NSPropertyListSerialization::dataWithPropertyList(global, NSPropertyListFormat::NSPropertyListXMLFormat_v1_0)
                .value()
                ->string());
  auto d = defaults();
  d->registerDefaults(NSDictionary::make({{"NSApplicationCrashOnExceptions", NSNumber::numberWithBool(true)},
                                          {"shared", NSString::make("registered")},
                                          {"mine", NSString::make("registered")}}));
  EXPECT_TRUE(d->boolForKey("NSApplicationCrashOnExceptions"));
  EXPECT_EQ(d->stringForKey("AppleInterfaceStyle")->string(), "Dark");
  EXPECT_EQ(d->stringForKey("shared")->string(), "global");
  d->setObject(NSString::make("application"), "shared");
  EXPECT_EQ(d->stringForKey("shared")->string(), "application");
  d->removeObjectForKey("shared");
  EXPECT_EQ(d->stringForKey("shared")->string(), "global");

  auto all = d->dictionaryRepresentation();
  EXPECT_EQ(all->objectForKeyAs<NSString>("mine")->string(), "registered");
  EXPECT_EQ(all->objectForKeyAs<NSString>("shared")->string(), "global");

  // The registration domain is never stored; the global domain is never written.
  d->setBool(true, "kAutoLaunchSet");
  auto stored = fileContents();
  ASSERT_TRUE(stored);
  EXPECT_FALSE(stored->containsKey("NSApplicationCrashOnExceptions"));
  EXPECT_FALSE(stored->containsKey("AppleInterfaceStyle"));
  EXPECT_TRUE(stored->containsKey("kAutoLaunchSet"));
}

TEST_F(UserDefaultsTest, ValuesWrittenByOneProcessAreReadByTheNext) {
  defaults()->setObject(NSString::make("from parent"), "parentKey");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A new process starts from the file alone.
    NSUserDefaults::resetStandardUserDefaults();
    auto d = NSUserDefaults::standardUserDefaults();
    auto seen = d->stringForKey("parentKey");
    d->setObject(NSDictionary::make({{"token", NSString::make("abc")}}), "auth");
    d->setInteger(86400, "interval");
    _exit(seen && seen->string() == "from parent" ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child did not read the parent's value";

  NSUserDefaults::resetStandardUserDefaults();
  auto d = defaults();
  EXPECT_EQ(d->dictionaryForKey("auth")->objectForKeyAs<NSString>("token")->string(), "abc");
  EXPECT_EQ(d->integerForKey("interval"), 86400);
  EXPECT_EQ(d->stringForKey("parentKey")->string(), "from parent");
  EXPECT_TRUE(d->synchronize());
  EXPECT_EQ(d->path(), file());
}

TEST_F(UserDefaultsTest, ACorruptFileIsMovedAsideAndReported) {
  writeFile(file(), "bplist00 this is not what it claims");
  auto d = defaults();
  EXPECT_FALSE(d->objectForKey("anything"));
  ASSERT_FALSE(printedLines().empty());
  EXPECT_NE(printedLines().front().find("moved it to"), std::string::npos) << printedLines().front();
  auto aside = file();
  aside += ".corrupt";
  EXPECT_TRUE(std::filesystem::exists(aside));
  d->setBool(true, "after");
  ASSERT_TRUE(fileContents());
  EXPECT_TRUE(fileContents()->containsKey("after"));

  // A well-formed list that is not a dictionary counts as corrupt too.
  NSUserDefaults::resetStandardUserDefaults();
  writeFile(file(), "<plist><array/></plist>");
  EXPECT_FALSE(defaults()->objectForKey("after"));
}

TEST_F(UserDefaultsTest, ObserversHearChangesOfTheirKeyUntilTheirTokenGoes) {
  auto d = defaults();
  std::vector<std::pair<std::string, std::string>> heard;
  auto describe = [](const id& value) { return value ? value->description() : std::string("none"); };
  auto token = d->observeValueForKey("GlobalKeyboardShortcutKey", [&](const id& oldValue, const id& newValue) {
    heard.emplace_back(describe(oldValue), describe(newValue));
    // Observers may use the defaults themselves.
    d->setInteger(static_cast<std::int64_t>(heard.size()), "observedCount");
  });
  d->registerDefaults(NSDictionary::make({{"GlobalKeyboardShortcutKey", NSString::make("registered")}}));
  d->setObject(NSString::make("first"), "GlobalKeyboardShortcutKey");
  d->setObject(NSString::make("first"), "GlobalKeyboardShortcutKey");  // unchanged: not told
  d->setObject(NSString::make("other key"), "unrelated");
  d->removeObjectForKey("GlobalKeyboardShortcutKey");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"none", "registered"}, {"registered", "first"}, {"first", "registered"}};
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(d->integerForKey("observedCount"), 3);

  token.reset();
  d->setObject(NSString::make("second"), "GlobalKeyboardShortcutKey");
  EXPECT_EQ(heard.size(), 3u);

  // An observer may end its own observation while it is being told.
  int calls = 0;
  std::unique_ptr<NSUserDefaultsObservation> once;
  once = d->observeValueForKey("termsOfServiceShown", [&](const id&, const id&) {
    ++calls;
    once.reset();
  });
  d->setBool(true, "termsOfServiceShown");
  d->setBool(false, "termsOfServiceShown");
  EXPECT_EQ(calls, 1);
}

TEST_F(UserDefaultsTest, ManyThreadsReadAndWriteSafely) {
  auto d = defaults();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([d, t] {
      for (int i = 0; i < 25; ++i) {
        d->setInteger(i, "thread" + std::to_string(t));
        d->setObject(NSDictionary::make({{"i", NSNumber::numberWithInteger(i)}}), "shared");
        (void)d->dictionaryForKey("shared");
        (void)d->dictionaryRepresentation();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  NSUserDefaults::resetStandardUserDefaults();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(defaults()->integerForKey("thread" + std::to_string(t)), 24);
  EXPECT_EQ(defaults()->dictionaryForKey("shared")->objectForKeyAs<NSNumber>("i")->integerValue(), 24);
}

TEST_F(UserDefaultsTest, AFailedWriteIsReportedAndRetriedBySynchronize) {
  const auto folder = home() / ".config/Glimdeck";
  writeFile(home() / ".config/placeholder", "");
  std::filesystem::rename(home() / ".config/placeholder", folder);  // a file where the folder belongs
  auto d = defaults();
  d->setBool(true, "kAutoLaunchSet");
  EXPECT_TRUE(d->boolForKey("kAutoLaunchSet")) << "the value stays in memory";
  ASSERT_FALSE(printedLines().empty());
  EXPECT_NE(printedLines().back().find("could not write"), std::string::npos) << printedLines().back();
  EXPECT_FALSE(d->synchronize());

  std::filesystem::remove(folder);
  EXPECT_TRUE(d->synchronize());
  ASSERT_TRUE(fileContents());
  EXPECT_TRUE(fileContents()->containsKey("kAutoLaunchSet"));
}

// The settings hold the account's token: the file is the user's alone, also when an older
// one was readable by others.
TEST_F(UserDefaultsTest, TheFileIsReadableByItsOwnerOnly) {
  auto mode = [&] { return std::filesystem::status(file()).permissions() & std::filesystem::perms::all; };
  defaults()->setObject(NSString::make("t"), "auth");
  EXPECT_EQ(mode(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::permissions(file(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  defaults()->setObject(NSString::make("u"), "auth");
  EXPECT_EQ(mode(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Whatever lies under the settings file's name that is not a plain file is set aside, with one
// line, and the settings start empty: a pipe holds nothing up, a link's file outside is
// neither read nor written, a folder does not fail every write, and a file far larger than
// settings ever are is not read (memory does not grow with it).
TEST_F(UserDefaultsTest, AnythingButAPlainFileUnderTheSettingsNameIsSetAside) {
  int round = 0;
  for (auto kind : PlantedFiles::unreadableKinds) {
    SCOPED_TRACE(PlantedFiles::describe(kind));
    NSUserDefaults::resetStandardUserDefaults();
    std::filesystem::remove_all(file().parent_path());
    const auto outside = home() / ("outside-" + std::to_string(++round) + ".plist");
    PlantedFiles::plant(file(), kind, outside);
    auto outsideSettings = NSPropertyListSerialization::dataWithPropertyList(
        NSDictionary::make({{"auth", NSString::make("somebody else's token")}}),
        NSPropertyListFormat::NSPropertyListBinaryFormat_v1_0);
    ASSERT_TRUE(outsideSettings.has_value());
    const std::string outsideBytes = (*outsideSettings)->string();
    if (kind == PlantedFiles::Kind::link) writeFile(outside, outsideBytes);
    const auto linesBefore = printedLines().size();

    PlantedFiles::expectNeitherWaitsNorGrows(
        [&] {
          EXPECT_FALSE(defaults()->objectForKey("auth")) << "nothing is read from what lies there";
          defaults()->setObject(NSString::make("mine"), "auth");
        },
        {file()});

    if (kind == PlantedFiles::Kind::link) {
      EXPECT_EQ(PlantedFiles::contents(outside), outsideBytes);
    }
    EXPECT_EQ(std::filesystem::symlink_status(file()).type(), std::filesystem::file_type::regular);
    ASSERT_TRUE(fileContents());
    EXPECT_EQ(fileContents()->objectForKeyAs<NSString>("auth")->string(), "mine");
    EXPECT_EQ(PlantedFiles::setAsideCopies(file()).size(), 1u);
    const auto lines = printedLines(linesBefore);
    EXPECT_EQ(std::ranges::count_if(lines, [](const std::string& line) { return line.starts_with("Set aside"); }), 1)
        << ::testing::PrintToString(lines);
  }
}
