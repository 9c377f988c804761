#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "tests/support/TestEnvironment.h"

namespace fs = std::filesystem;

class FileManagerTest : public GlimdeckTest {
 protected:
  NSFileManager& files() { return *NSFileManager::defaultManager(); }
  fs::path put(const std::string& relative, const std::string& bytes) {
    const fs::path path = home() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void expectError(const NSFileManager::Error& error, std::int64_t code, int posix, const fs::path& path) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), NSError::NSCocoaErrorDomain);
    EXPECT_EQ(error->code(), code) << error->description();
    auto underlying = error->userInfo()->objectForKeyAs<NSError>(NSFileManager::Keys::NSUnderlyingErrorKey);
    ASSERT_TRUE(underlying);
    EXPECT_EQ(underlying->domain(), NSError::NSPOSIXErrorDomain);
    EXPECT_EQ(underlying->code(), posix);
    EXPECT_FALSE(underlying->localizedDescription().empty());
    auto recorded = error->userInfo()->objectForKeyAs<NSString>(NSFileManager::Keys::NSFilePathErrorKey);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->string(), path.string());
  }
};

TEST_F(FileManagerTest, FoldersFollowTheXdgVariables) {
  EXPECT_EQ(files().pathsForDirectory(NSSearchPathDirectory::applicationSupport).front(), home() / ".local/share");
  EXPECT_EQ(files().pathsForDirectory(NSSearchPathDirectory::caches).front(), home() / ".cache");
  EXPECT_EQ(files().pathsForDirectory(NSSearchPathDirectory::preferences).front(), home() / ".config");
  auto support = files().URLsForDirectory(NSSearchPathDirectory::applicationSupport);
  ASSERT_EQ(support.size(), 1u);
  EXPECT_TRUE(support.front()->isFileURL());
  EXPECT_TRUE(support.front()->hasDirectoryPath());
  EXPECT_EQ(support.front()->path(), (home() / ".local/share").string());
  EXPECT_EQ(files().temporaryDirectory()->path(), home().string());
}

TEST_F(FileManagerTest, CreatingFolders) {
  const fs::path deep = home() / "a/b/c";
  expectError(files().createDirectoryAtPath(deep, false).error(), NSCocoaError::fileNoSuchFile, ENOENT, deep);
  EXPECT_TRUE(files().createDirectoryAtPath(deep, true));
  EXPECT_TRUE(files().createDirectoryAtPath(deep, true));  // already there is fine
  expectError(files().createDirectoryAtPath(deep, false).error(), NSCocoaError::fileWriteFileExists, EEXIST, deep);
  bool isDirectory = false;
  EXPECT_TRUE(files().fileExistsAtPath(deep, &isDirectory));
  EXPECT_TRUE(isDirectory);

  // A file where a folder is expected.
  const fs::path file = put("plain", "x");
  EXPECT_FALSE(files().createDirectoryAtPath(file, true));
  EXPECT_FALSE(files().createDirectoryAtPath(file / "below", true));
  expectError(files().createDirectoryAtPath(file / "below", false).error(), NSCocoaError::fileNoSuchFile, ENOTDIR,
              file / "below");
}

TEST_F(FileManagerTest, WritingAndReadingFiles) {
  const fs::path path = home() / "data.bin";
  const std::string bytes("GIF89a\0\x01\xFF", 9);
  ASSERT_TRUE(files().writeAtomically(path, bytes));
  auto data = files().contentsAtPath(path);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->string(), bytes);

  ASSERT_TRUE(files().createFileAtPath(path, NSData::fromString("second")));
  EXPECT_EQ(read(path), "second");
  ASSERT_TRUE(files().createFileAtPath(home() / "empty", nullptr));
  EXPECT_EQ(files().contentsAtPath(home() / "empty")->length(), 0u);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(*files().contentsOfDirectoryAtPath(home()),
            (std::vector<std::string>{".cache", ".config", ".local", "data.bin", "empty"}));
}

TEST_F(FileManagerTest, AtomicWritesKeepPermissionsAndFailCleanly) {
  const fs::path path = put("kept", "old");
  ::chmod(path.c_str(), 0600);
  ASSERT_TRUE(files().writeAtomically(path, "new"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  const fs::path missingFolder = home() / "nowhere/file";
  expectError(files().writeAtomically(missingFolder, "x").error(), NSCocoaError::fileNoSuchFile, ENOENT, missingFolder);
  // A folder cannot be replaced by a file.
  fs::create_directories(home() / "folder/inner");
  EXPECT_FALSE(files().writeAtomically(home() / "folder", "x"));
  EXPECT_TRUE(fs::is_directory(home() / "folder/inner"));
  EXPECT_EQ(files().contentsOfDirectoryAtPath(home())->size(), 5u);  // no temporary files left
}

TEST_F(FileManagerTest, ReadFailuresAreErrors) {
  struct Case {
    fs::path path;
    std::int64_t code;
    int posix;
  };
  const fs::path file = put("file", "x");
  const Case cases[] = {
      {home() / "missing", NSCocoaError::fileReadNoSuchFile, ENOENT},
      {file / "child", NSCocoaError::fileReadNoSuchFile, ENOTDIR},
      {home(), NSCocoaError::fileReadUnknown, EISDIR},
      {fs::path(""), NSCocoaError::fileReadInvalidFileName, EINVAL},
      {fs::path(std::string("a\0b", 3)), NSCocoaError::fileReadInvalidFileName, EINVAL},
      {home() / std::string(300, 'n'), NSCocoaError::fileReadInvalidFileName, ENAMETOOLONG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    EXPECT_FALSE(files().contentsAtPath(c.path));
    expectError(files().readContentsAtPath(c.path).error(), c.code, c.posix, c.path);
  }
  expectError(files().attributesOfItemAtPath(home() / "missing").error(), NSCocoaError::fileReadNoSuchFile, ENOENT,
              home() / "missing");
  expectError(files().contentsOfDirectoryAtPath(file).error(), NSCocoaError::fileReadNoSuchFile, ENOTDIR, file);
  EXPECT_FALSE(files().fileExistsAtPath(""));
  EXPECT_FALSE(files().fileExistsAtPath(file / "child"));
}

// A refusal as one line: domain, code, underlying POSIX code and recorded path.
static std::string describeRefusal(const NSFileManager::Error& error) {
  if (!error) return "no error";
  auto underlying = error->userInfo()->objectForKeyAs<NSError>(NSFileManager::Keys::NSUnderlyingErrorKey);
  auto path = error->userInfo()->objectForKeyAs<NSString>(NSFileManager::Keys::NSFilePathErrorKey);
  return error->domain() + " " + std::to_string(error->code()) + " " +
         (underlying ? underlying->domain() + " " + std::to_string(underlying->code()) : "-") + " " +
         (path ? path->string() : "-");
}

// Permissions do not bind the super-user, so the checks run in a child that is someone else:
// as root, the child becomes "nobody" (65534) and owns the files it is refused.
TEST_F(FileManagerTest, PermissionDenied) {
  const fs::path locked = home() / "locked";
  fs::create_directories(locked);
  const fs::path secret = put("locked/secret", "x");
  const bool root = ::geteuid() == 0;
  constexpr uid_t nobody = 65534;
  if (root) {
    ASSERT_EQ(::chmod(home().c_str(), 0755), 0);
    ASSERT_EQ(::chown(locked.c_str(), nobody, nobody), 0);
    ASSERT_EQ(::chown(secret.c_str(), nobody, nobody), 0);
  }
  ::chmod(secret.c_str(), 0);
  ::chmod(locked.c_str(), 0500);

  int results[2];
  ASSERT_EQ(::pipe(results), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(results[0]);
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) _exit(2);
    if (::access(locked.c_str(), X_OK) != 0) _exit(3);  // a folder above the home is closed to nobody
    std::string report = describeRefusal(files().readContentsAtPath(secret).error()) + "\n" +
                         (files().isReadableFileAtPath(secret) ? "readable" : "unreadable") + "\n" +
                         describeRefusal(files().writeAtomically(locked / "new", "x").error()) + "\n" +
                         describeRefusal(files().createDirectoryAtPath(locked / "sub", true).error()) + "\n";
    bool written = ::write(results[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
    _exit(written ? 0 : 4);
  }
  ::close(results[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = ::read(results[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<std::size_t>(n));
  ::close(results[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ::chmod(locked.c_str(), 0700);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "the temporary folder is closed to an unprivileged user";
  ASSERT_EQ(WEXITSTATUS(status), 0);

  auto refused = [](std::int64_t code, const fs::path& path) {
    return std::string(NSError::NSCocoaErrorDomain) + " " + std::to_string(code) + " " +
           std::string(NSError::NSPOSIXErrorDomain) + " " + std::to_string(EACCES) + " " + path.string();
  };
  EXPECT_EQ(report, refused(NSCocoaError::fileReadNoPermission, secret) + "\nunreadable\n" +
                        refused(NSCocoaError::fileWriteNoPermission, locked / "new") + "\n" +
                        refused(NSCocoaError::fileWriteNoPermission, locked / "sub") + "\n");
}

TEST_F(FileManagerTest, ErrorCodesByCause) {
  struct Case {
    int posix;
    bool writing;
    std::int64_t code;
  };
  const Case cases[] = {
      {ENOENT, false, NSCocoaError::fileReadNoSuchFile},   {ENOENT, true, NSCocoaError::fileNoSuchFile},
      {EACCES, false, NSCocoaError::fileReadNoPermission}, {EACCES, true, NSCocoaError::fileWriteNoPermission},
      {EEXIST, true, NSCocoaError::fileWriteFileExists},   {ENOSPC, true, NSCocoaError::fileWriteOutOfSpace},
      {EROFS, true, NSCocoaError::fileWriteVolumeReadOnly}, {EIO, true, NSCocoaError::fileWriteUnknown},
      {EIO, false, NSCocoaError::fileReadUnknown},
  };
  for (const auto& c : cases) {
    auto error = NSFileManager::errorForPath("/x", c.posix, c.writing);
    EXPECT_EQ(error->code(), c.code) << c.posix;
    EXPECT_NE(error->localizedDescription().find("\"/x\""), std::string::npos);
  }
}

TEST_F(FileManagerTest, CopyingMovingAndRemoving) {
  const fs::path source = put("src/a.gif", "GIF89a");
  put("src/sub/b.txt", "b");
  // A folder with all its contents.
  ASSERT_TRUE(files().copyItemAtPath(home() / "src", home() / "copy"));
  EXPECT_EQ(read(home() / "copy/a.gif"), "GIF89a");
  EXPECT_EQ(read(home() / "copy/sub/b.txt"), "b");
  // A destination that exists is never overwritten.
  expectError(files().copyItemAtPath(source, home() / "copy/a.gif").error(), NSCocoaError::fileWriteFileExists, EEXIST,
              home() / "copy/a.gif");
  expectError(files().moveItemAtPath(source, home() / "copy/a.gif").error(), NSCocoaError::fileWriteFileExists, EEXIST,
              home() / "copy/a.gif");
  expectError(files().copyItemAtPath(home() / "nothing", home() / "n2").error(), NSCocoaError::fileReadNoSuchFile,
              ENOENT, home() / "nothing");
  expectError(files().copyItemAtPath(source, home() / "missing/dir/a.gif").error(), NSCocoaError::fileNoSuchFile,
              ENOENT, home() / "missing/dir/a.gif");

  ASSERT_TRUE(files().moveItemAtPath(source, home() / "moved.gif"));
  EXPECT_FALSE(files().fileExistsAtPath(source));
  EXPECT_EQ(read(home() / "moved.gif"), "GIF89a");
  expectError(files().moveItemAtPath(source, home() / "again.gif").error(), NSCocoaError::fileNoSuchFile, ENOENT,
              source);

  ASSERT_TRUE(files().removeItemAtPath(home() / "copy"));
  EXPECT_FALSE(files().fileExistsAtPath(home() / "copy"));
  expectError(files().removeItemAtPath(home() / "copy").error(), NSCocoaError::fileNoSuchFile, ENOENT, home() / "copy");
  EXPECT_FALSE(files().removeItemAtPath(""));
}

TEST_F(FileManagerTest, AttributesDescribeTheItemItself) {
  const fs::path file = put("sized", std::string(1234, 'z'));
  fs::last_write_time(file, fs::file_time_type::clock::now());
  auto attributes = files().attributesOfItemAtPath(file);
  ASSERT_TRUE(attributes);
  auto size = (*attributes)->objectForKeyAs<NSNumber>(NSFileManager::Keys::NSFileSize);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->unsignedIntegerValue(), 1234u);
  EXPECT_EQ((*attributes)->objectForKeyAs<NSString>(NSFileManager::Keys::NSFileType)->string(),
            NSFileManager::FileTypes::NSFileTypeRegular);
  auto modified = (*attributes)->objectForKeyAs<NSDate>(NSFileManager::Keys::NSFileModificationDate);
  ASSERT_TRUE(modified);
  EXPECT_GT(modified->timeIntervalSince1970(), 1.6e9);

  fs::create_symlink(file, home() / "link");
  EXPECT_EQ(files().attributesOfItemAtPath(home() / "link").value()->objectForKeyAs<NSString>(
                NSFileManager::Keys::NSFileType)->string(),
            NSFileManager::FileTypes::NSFileTypeSymbolicLink);
  EXPECT_EQ(files().attributesOfItemAtPath(home()).value()->objectForKeyAs<NSString>(
                NSFileManager::Keys::NSFileType)->string(),
            NSFileManager::FileTypes::NSFileTypeDirectory);
  // A link to nothing exists as an item but not as a file.
  fs::create_symlink(home() / "gone", home() / "dangling");
  EXPECT_TRUE(files().attributesOfItemAtPath(home() / "dangling"));
  EXPECT_FALSE(files().fileExistsAtPath(home() / "dangling"));
  EXPECT_TRUE(files().removeItemAtPath(home() / "dangling"));
}

TEST_F(FileManagerTest, FileUrlFormsAndOtherSchemes) {
  auto folder = NSURL::fileURLWithPath((home() / "url/deep").string(), true);
  ASSERT_TRUE(files().createDirectoryAtURL(folder, true));
  auto file = folder->URLByAppendingPathComponent("a b.gif");
  ASSERT_TRUE(files().writeAtomicallyToURL(file, "GIF87a"));
  EXPECT_EQ(read(home() / "url/deep/a b.gif"), "GIF87a");
  EXPECT_EQ(files().readContentsAtURL(file).value()->string(), "GIF87a");
  auto listed = files().contentsOfDirectoryAtURL(folder);
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->size(), 1u);
  EXPECT_TRUE(listed->front()->isEqual(file));
  auto copy = folder->URLByAppendingPathComponent("copy.gif");
  ASSERT_TRUE(files().copyItemAtURL(file, copy));
  auto moved = NSURL::fileURLWithPath((home() / "moved.gif").string(), false);
  ASSERT_TRUE(files().moveItemAtURL(copy, moved));
  EXPECT_TRUE(files().fileExistsAtPath(home() / "moved.gif"));
  ASSERT_TRUE(files().removeItemAtURL(NSURL::fileURLWithPath((home() / "url").string(), true)));
  EXPECT_FALSE(files().fileExistsAtPath(home() / "url"));

  auto web = NSURL::URLWithString("https://media.example/a.gif");
  EXPECT_EQ(files().readContentsAtURL(web).error()->code(), NSCocoaError::fileReadUnsupportedScheme);
  EXPECT_EQ(files().writeAtomicallyToURL(web, "x").error()->code(), NSCocoaError::fileWriteUnsupportedScheme);
  EXPECT_EQ(files().copyItemAtURL(moved, web).error()->code(), NSCocoaError::fileWriteUnsupportedScheme);
  EXPECT_EQ(files().removeItemAtURL(nullptr).error()->code(), NSCocoaError::fileWriteInvalidFileName);
  EXPECT_TRUE(files().fileExistsAtPath(home() / "moved.gif"));
}

// The application's own folders: made 0700 whatever the umask, with or without the missing
// folders above; folders that exist keep their mode; a file in the way is an error.
TEST_F(FileManagerTest, PrivateFoldersAreTheOwnersAloneAndExistingOnesAreLeftAsTheyAre) {
  const mode_t mask = ::umask(0277);  // a mask that would leave even the owner without writing
  const fs::path user = home() / "user";
  fs::create_directories(user);
  ::chmod(user.c_str(), 0755);
  put("user/file", "x");
  auto mode = [](const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
  };
  struct Case {
    fs::path path;
    bool intermediates;
    bool made;
    std::vector<fs::path> privateFolders;
  };
  const Case cases[] = {
      {user / "a/b/c", true, true, {user / "a", user / "a/b", user / "a/b/c"}},
      {user / "d/", true, true, {user / "d"}},                 // a trailing separator names the folder
      {user / "a/b/c/e", false, true, {user / "a/b/c/e"}},     // its parent is there
      {user / "f/g", false, false, {}},                        // its parent is not
      {user / "file/h", true, false, {}},                      // a file is in the way
      {user / "file", true, false, {}},                        // the file is no folder
      {user, true, true, {}},                                  // there already: left alone
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    EXPECT_EQ(files().createPrivateDirectoryAtPath(c.path, c.intermediates).has_value(), c.made);
    for (const auto& folder : c.privateFolders) EXPECT_EQ(mode(folder), 0700u) << folder;
  }
  ::umask(mask);
  EXPECT_EQ(mode(user), 0755u) << "the user's own folder keeps its mode";
  EXPECT_FALSE(fs::exists(user / "f"));
  EXPECT_FALSE(files().createPrivateDirectoryAtPath("").has_value());
}
