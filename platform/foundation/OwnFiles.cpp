#include "platform/foundation/OwnFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "platform/foundation/Clock.h"
#include "platform/foundation/OutputSink.h"

namespace fs = std::filesystem;

namespace OwnFiles {

std::string stamp() {
  const auto now = static_cast<std::time_t>(std::floor(Clock::current().now()));
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

std::expected<int, Failure> openPlainFile(const fs::path& path, int flags, mode_t mode, struct stat* status) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) {
    const int error = errno;
    // A link (ELOOP), a folder opened to write (EISDIR), a socket or a pipe nobody reads
    // (ENXIO), anything under a name that had to be new (EEXIST): looked at only on failure.
    const bool other = error != ENOENT && error != ENOTDIR && describeNonPlainFile(path).has_value();
    return std::unexpected(Failure{error, other});
  }
  struct stat own {};
  struct stat& info = status ? *status : own;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return std::unexpected(Failure{error, false});
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::unexpected(Failure{S_ISDIR(info.st_mode) ? EISDIR : EINVAL, true});
  }
  return fd;
}

std::optional<std::string> describeNonPlainFile(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return std::nullopt;
  if (S_ISLNK(info.st_mode)) return "a symbolic link";
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISFIFO(info.st_mode)) return "a named pipe";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  return "something other than a file";
}

std::optional<fs::path> setAside(const fs::path& path, std::string_view wanted) {
  const std::string what = describeNonPlainFile(path).value_or("a plain file");
  const std::string said = "\"" + path.string() + "\": it was " + what + ", not " + std::string(wanted);
  const std::string moment = stamp();
  const auto moved = [&](const fs::path& aside) {
    OutputSink::print("Set aside " + said + "; it is now \"" + aside.filename().string() + "\".");
    return aside;
  };
  int error = 0;
  for (int n = 0; n < 100; ++n) {
    fs::path aside = path;
    aside += ".set-aside-" + moment + (n == 0 ? std::string() : "-" + std::to_string(n));
    // Never over something already there: that may be what an earlier start set aside.
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return moved(aside);
    error = errno;
    if (error == EEXIST) continue;
    // A file system without RENAME_NOREPLACE: the name is looked up first instead.
    if (error == EINVAL) {
      struct stat taken {};
      if (::lstat(aside.c_str(), &taken) == 0) continue;
      if (::rename(path.c_str(), aside.c_str()) == 0) return moved(aside);
      error = errno;
    }
    break;
  }
  // Gone meanwhile: there is nothing left to set aside.
  if (error == ENOENT) return std::nullopt;
  OutputSink::print("Could not set aside " + said + ": " + std::strerror(error));
  return std::nullopt;
}

bool clearForPlainFile(const fs::path& path) {
  if (!describeNonPlainFile(path)) return true;
  setAside(path);
  return !describeNonPlainFile(path).has_value();
}

}  // namespace OwnFiles
