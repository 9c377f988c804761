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
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/OutputSink.h"

namespace fs = std::filesystem;

namespace OwnFiles {

namespace {

// The error that says how a plain file breaks the bounds: EFBIG for a larger one, EMLINK for
// one with another name; 0 when it keeps to them.
int unfitError(const struct stat& info, const Bounds& bounds) {
  if (static_cast<std::uint64_t>(info.st_size) > bounds.largest) return EFBIG;
  return bounds.ownNameOnly && info.st_nlink != 1 ? EMLINK : 0;
}

std::string wantedFor(const Bounds& bounds) {
  std::string wanted = "a plain file";
  if (bounds.largest != Bounds{}.largest) wanted += " of at most " + std::to_string(bounds.largest) + " bytes";
  if (bounds.ownNameOnly) wanted += std::string(bounds.largest != Bounds{}.largest ? " and" : "") + " no other name";
  return wanted;
}

// How many names stamped with the moment and a count are tried before a random part is
// added: names of both kinds are free nearly always, so this is only how soon a folder
// stuffed with the coming moments' names stops being searched in order.
constexpr int kStampedNames = 10;

std::optional<fs::path> setAsideAs(const fs::path& path, const std::string& what, std::string_view wanted) {
  const std::string said = "\"" + path.string() + "\": it was " + what + ", not " + std::string(wanted);
  const std::string moment = stamp();
  const auto moved = [&](const fs::path& aside) {
    OutputSink::print("Set aside " + said + "; it is now \"" + aside.filename().string() + "\".");
    return aside;
  };
  int error = 0;
  // Each try takes a name nobody holds, or finds it held and moves on: stamped names first,
  // then names with a random part, which somebody would have to have guessed to hold.
  for (int n = 0;; ++n) {
    std::string suffix = n == 0 ? std::string() : "-" + std::to_string(n);
    if (n >= kStampedNames) {
      std::string random = NSUUID::UUID()->UUIDString();
      std::erase(random, '-');
      suffix = "-" + random.substr(0, 12);
    }
    fs::path aside = path;
    aside += ".set-aside-" + moment + suffix;
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

}  // namespace

std::string stamp() {
  const auto now = static_cast<std::time_t>(std::floor(Clock::current().now()));
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
  return text;
}

std::expected<int, Failure> openPlainFile(const fs::path& path, int flags, mode_t mode, struct stat* status,
                                          const Bounds& bounds) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) {
    const int error = errno;
    // A link (ELOOP), a folder opened to write (EISDIR), a socket or a pipe nobody reads
    // (ENXIO), anything under a name that had to be new (EEXIST): looked at only on failure.
    const bool other = error != ENOENT && error != ENOTDIR && describeUnfitFile(path).has_value();
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
  if (const int error = unfitError(info, bounds)) {
    ::close(fd);
    return std::unexpected(Failure{error, true});
  }
  return fd;
}

std::expected<std::shared_ptr<NSData>, int> readOpenedFile(int fd, std::uint64_t size, std::uint64_t largest) {
  if (size > largest) return std::unexpected(EFBIG);
  // Sized by fstat and read straight into the buffer the data adopts, never zeroed first.
  // A file that grows meanwhile is read on to its end (within the bound), one that shrinks
  // is cut where it ends.
  const auto expected = static_cast<std::size_t>(size);
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(expected);
  std::size_t filled = 0;
  std::vector<std::uint8_t> more;
  std::uint8_t probe[4096];
  while (true) {
    // Once the buffer is full, a small read tells the end from a file that grew.
    const bool full = filled == expected;
    const ssize_t got = full ? ::read(fd, probe, sizeof probe) : ::read(fd, buffer.get() + filled, expected - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(errno);
    }
    if (got == 0) break;
    if (!full) {
      filled += static_cast<std::size_t>(got);
    } else if (filled + more.size() + static_cast<std::size_t>(got) > largest) {
      return std::unexpected(EFBIG);
    } else {
      more.insert(more.end(), probe, probe + got);
    }
  }
  if (more.empty()) return NSData::adopt(std::move(buffer), filled, expected);
  more.insert(more.begin(), buffer.get(), buffer.get() + filled);
  return NSData::make(std::move(more));
}

std::expected<std::shared_ptr<NSData>, Failure> readPlainFile(const fs::path& path, const Bounds& bounds) {
  struct stat info {};
  auto opened = openPlainFile(path, O_RDONLY, 0, &info, bounds);
  if (!opened) return std::unexpected(opened.error());
  auto bytes = readOpenedFile(*opened, static_cast<std::uint64_t>(info.st_size), bounds.largest);
  ::close(*opened);
  if (!bytes) return std::unexpected(Failure{bytes.error(), bytes.error() == EFBIG});
  return *bytes;
}

std::optional<std::string> describeUnfitFile(const fs::path& path, const Bounds& bounds) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode)) {
    switch (unfitError(info, bounds)) {
      case EFBIG: return "a file of " + std::to_string(info.st_size) + " bytes";
      case EMLINK: return "a file with " + std::to_string(info.st_nlink) + " names";
      default: return std::nullopt;
    }
  }
  if (S_ISLNK(info.st_mode)) return "a symbolic link";
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISFIFO(info.st_mode)) return "a named pipe";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  return "something other than a file";
}

std::optional<fs::path> setAside(const fs::path& path, std::string_view wanted) {
  return setAsideAs(path, describeUnfitFile(path).value_or("a plain file"), wanted);
}

std::optional<fs::path> setAside(const fs::path& path, const Bounds& bounds) {
  return setAsideAs(path, describeUnfitFile(path, bounds).value_or("a plain file"), wantedFor(bounds));
}

bool clearForPlainFile(const fs::path& path, const Bounds& bounds) {
  if (!describeUnfitFile(path, bounds)) return true;
  setAside(path, bounds);
  return !describeUnfitFile(path, bounds).has_value();
}

}  // namespace OwnFiles
