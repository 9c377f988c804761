#include "platform/foundation/NSFileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

namespace fs = std::filesystem;

namespace {

using Error = NSFileManager::Error;

// An empty path or one with a NUL byte in it would name a different file to the kernel.
bool isUsablePath(const fs::path& path) {
  const std::string& text = path.native();
  return !text.empty() && text.find('\0') == std::string::npos;
}

std::int64_t cocoaCode(int posixError, bool writing) {
  switch (posixError) {
    case ENOENT:
    case ENOTDIR:
      return writing ? NSCocoaError::fileNoSuchFile : NSCocoaError::fileReadNoSuchFile;
    case EACCES:
    case EPERM:
      return writing ? NSCocoaError::fileWriteNoPermission : NSCocoaError::fileReadNoPermission;
    case EEXIST:
    case ENOTEMPTY:
      return writing ? NSCocoaError::fileWriteFileExists : NSCocoaError::fileReadUnknown;
    case ENAMETOOLONG:
    case EINVAL:
      return writing ? NSCocoaError::fileWriteInvalidFileName : NSCocoaError::fileReadInvalidFileName;
    case ENOSPC:
    case EDQUOT:
      return writing ? NSCocoaError::fileWriteOutOfSpace : NSCocoaError::fileReadUnknown;
    case EROFS:
      return writing ? NSCocoaError::fileWriteVolumeReadOnly : NSCocoaError::fileReadUnknown;
    default:
      return writing ? NSCocoaError::fileWriteUnknown : NSCocoaError::fileReadUnknown;
  }
}

std::unexpected<Error> failure(const fs::path& path, int posixError, bool writing) {
  return std::unexpected(NSFileManager::errorForPath(path, posixError, writing));
}

std::unexpected<Error> failure(const fs::path& path, const std::error_code& code, bool writing) {
  return failure(path, code.value() != 0 ? code.value() : EIO, writing);
}

// Writes all of the bytes, retrying short writes and interruptions.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The path of a file URL, or the error for a URL that names no file.
std::expected<fs::path, Error> pathOf(const std::shared_ptr<NSURL>& url, bool writing) {
  if (!url) return failure(fs::path(), EINVAL, writing);
  if (!url->isFileURL()) {
    auto info = NSDictionary::make();
    info->setObject(NSString::make("Not a file URL: " + url->absoluteString()), NSError::NSLocalizedDescriptionKey);
    return std::unexpected(NSError::make(
        std::string(NSError::NSCocoaErrorDomain),
        writing ? NSCocoaError::fileWriteUnsupportedScheme : NSCocoaError::fileReadUnsupportedScheme, info));
  }
  return fs::path(url->path());
}

// Runs the path operation on the URL's path, or gives the URL's error.
template <typename Operation>
auto onPath(const std::shared_ptr<NSURL>& url, bool writing, const Operation& operation)
    -> decltype(operation(fs::path())) {
  auto path = pathOf(url, writing);
  if (!path) return std::unexpected(path.error());
  return operation(*path);
}

}  // namespace

std::shared_ptr<NSFileManager> NSFileManager::defaultManager() {
  // Never destroyed: any thread may use it (ProcessShutdown.h).
  static const std::shared_ptr<NSFileManager>& shared = *new std::shared_ptr<NSFileManager>(new NSFileManager());
  return shared;
}

Error NSFileManager::errorForPath(const Path& path, int posixError, bool writing) {
  const std::string reason = std::strerror(posixError);
  auto info = NSDictionary::make();
  info->setObject(NSString::make((writing ? "Cannot write \"" : "Cannot read \"") + path.string() + "\": " + reason),
                  NSError::NSLocalizedDescriptionKey);
  info->setObject(NSString::make(path.string()), Keys::NSFilePathErrorKey);
  info->setObject(NSError::make(std::string(NSError::NSPOSIXErrorDomain), posixError, reason), Keys::NSUnderlyingErrorKey);
  return NSError::make(std::string(NSError::NSCocoaErrorDomain), cocoaCode(posixError, writing), info);
}

std::vector<NSFileManager::Path> NSFileManager::pathsForDirectory(NSSearchPathDirectory directory) const {
  switch (directory) {
    case NSSearchPathDirectory::applicationSupport: return {Paths::dataHome()};
    case NSSearchPathDirectory::caches: return {Paths::cacheHome()};
    case NSSearchPathDirectory::preferences: return {Paths::configHome()};
    case NSSearchPathDirectory::temporary: return {Paths::temporary()};
  }
  return {};
}

std::vector<std::shared_ptr<NSURL>> NSFileManager::URLsForDirectory(NSSearchPathDirectory directory) const {
  std::vector<std::shared_ptr<NSURL>> urls;
  for (const Path& path : pathsForDirectory(directory)) {
    if (auto url = NSURL::fileURLWithPath(path.string(), true)) urls.push_back(std::move(url));
  }
  return urls;
}

std::shared_ptr<NSURL> NSFileManager::temporaryDirectory() const {
  return NSURL::fileURLWithPath(Paths::temporary().string(), true);
}

NSFileManager::Result<void> NSFileManager::createPrivateDirectoryAtPath(const Path& path, bool withIntermediateDirectories) {
  if (!isUsablePath(path)) return failure(path, EINVAL, true);
  // A trailing separator names the same folder.
  const fs::path folder = path.has_filename() || !path.has_parent_path() ? path : path.parent_path();
  std::vector<fs::path> missing;
  std::error_code code;
  for (fs::path p = folder; !p.empty() && !fs::exists(fs::symlink_status(p, code)); p = p.parent_path()) {
    missing.push_back(p);
    if (!withIntermediateDirectories || p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0) {
      // Made meanwhile by another thread or process: it is there, as asked.
      if (errno == EEXIST && fs::is_directory(*it, code)) continue;
      return failure(*it, errno, true);
    }
    // The umask only takes bits away; this makes the mode exactly the owner's whatever it is.
    ::chmod(it->c_str(), 0700);
  }
  if (!fs::is_directory(folder, code)) return failure(folder, code ? code.value() : EEXIST, true);
  return {};
}

NSFileManager::Result<void> NSFileManager::createDirectoryAtPath(const Path& path, bool withIntermediateDirectories) {
  if (!isUsablePath(path)) return failure(path, EINVAL, true);
  if (!withIntermediateDirectories) {
    if (::mkdir(path.c_str(), 0755) != 0) return failure(path, errno, true);
    return {};
  }
  std::error_code code;
  fs::create_directories(path, code);
  if (code) return failure(path, code, true);
  // An existing file of that name is no folder.
  if (!fs::is_directory(path, code)) return failure(path, code ? code.value() : EEXIST, true);
  return {};
}

NSFileManager::Result<std::shared_ptr<NSData>> NSFileManager::readContentsAtPath(const Path& path) {
  return readContents(path, Reading::anyFile);
}

NSFileManager::Result<std::shared_ptr<NSData>> NSFileManager::readContentsOfRegularFileAtPath(
    const Path& path, const OwnFiles::Bounds& bounds) {
  return readContents(path, Reading::plainFileOnly, bounds);
}

NSFileManager::Result<std::shared_ptr<NSData>> NSFileManager::readContentsOfOwnFileAtPath(const Path& path,
                                                                                     const OwnFiles::Bounds& bounds) {
  return readContents(path, Reading::ownFile, bounds);
}

NSFileManager::Result<std::shared_ptr<NSData>> NSFileManager::readContents(const Path& path, Reading reading,
                                                                      const OwnFiles::Bounds& bounds) {
  if (!isUsablePath(path)) return failure(path, EINVAL, false);
  if (reading != Reading::anyFile) {
    auto bytes = OwnFiles::readPlainFile(path, bounds);
    if (bytes) return *bytes;
    if (reading == Reading::ownFile && bytes.error().notPlainFile) {
      OwnFiles::setAside(path, bounds);
      return failure(path, ENOENT, false);
    }
    return failure(path, bytes.error().error, false);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(path, errno, false);
  struct stat info {};
  const bool known = ::fstat(fd, &info) == 0;
  if (known && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return failure(path, EISDIR, false);
  }
  auto bytes = OwnFiles::readOpenedFile(fd, info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0,
                                        bounds.largest);
  ::close(fd);
  if (!bytes) return failure(path, bytes.error(), false);
  return *bytes;
}

std::shared_ptr<NSData> NSFileManager::contentsAtPath(const Path& path) {
  auto result = readContentsAtPath(path);
  return result ? *result : nullptr;
}

bool NSFileManager::createFileAtPath(const Path& path, const std::shared_ptr<NSData>& contents) {
  return writeAtomically(path, contents ? contents->view() : std::string_view()).has_value();
}

NSFileManager::Result<void> NSFileManager::writeAtomically(const Path& path, std::string_view bytes,
                                                           std::optional<unsigned> permissions) {
  if (!isUsablePath(path) || !path.has_filename()) return failure(path, EINVAL, true);
  const Path folder = path.has_parent_path() ? path.parent_path() : Path(".");
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return failure(path, errno, true);
  // The new file keeps the permissions of the plain file it replaces, never those of what a
  // link in its place leads to.
  struct stat existing {};
  const bool replacing = ::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  const mode_t mode = permissions ? static_cast<mode_t>(*permissions & 07777) : replacing ? (existing.st_mode & 07777) : 0644;
  int error = 0;
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(pattern.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(pattern.c_str());
    return failure(path, error, true);
  }
  return {};
}

NSFileManager::Result<void> NSFileManager::copyItemAtPath(const Path& source, const Path& destination) {
  if (!isUsablePath(source)) return failure(source, EINVAL, false);
  if (!isUsablePath(destination)) return failure(destination, EINVAL, true);
  std::error_code code;
  const fs::file_status sourceStatus = fs::symlink_status(source, code);
  if (code) return failure(source, code, false);
  if (fs::exists(fs::symlink_status(destination, code))) return failure(destination, EEXIST, true);
  fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
  if (code) {
    // Leave no half-made copy of a folder behind.
    if (fs::is_directory(sourceStatus)) {
      std::error_code ignored;
      fs::remove_all(destination, ignored);
    }
    return failure(destination, code, true);
  }
  return {};
}

NSFileManager::Result<void> NSFileManager::moveItemAtPath(const Path& source, const Path& destination) {
  if (!isUsablePath(source)) return failure(source, EINVAL, false);
  if (!isUsablePath(destination)) return failure(destination, EINVAL, true);
  std::error_code code;
  if (!fs::exists(fs::symlink_status(source, code))) return failure(source, ENOENT, true);
  if (fs::exists(fs::symlink_status(destination, code))) return failure(destination, EEXIST, true);
  if (::rename(source.c_str(), destination.c_str()) == 0) return {};
  if (errno != EXDEV) return failure(destination, errno, true);
  if (auto copied = copyItemAtPath(source, destination); !copied) return copied;
  return removeItemAtPath(source);
}

NSFileManager::Result<void> NSFileManager::removeItemAtPath(const Path& path) {
  if (!isUsablePath(path)) return failure(path, EINVAL, true);
  std::error_code code;
  if (!fs::exists(fs::symlink_status(path, code))) return failure(path, code ? code.value() : ENOENT, true);
  fs::remove_all(path, code);
  if (code) return failure(path, code, true);
  return {};
}

bool NSFileManager::fileExistsAtPath(const Path& path) const { return fileExistsAtPath(path, nullptr); }

bool NSFileManager::fileExistsAtPath(const Path& path, bool* isDirectory) const {
  if (!isUsablePath(path)) return false;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (isDirectory) *isDirectory = S_ISDIR(info.st_mode);
  return true;
}

bool NSFileManager::isReadableFileAtPath(const Path& path) const {
  return isUsablePath(path) && ::access(path.c_str(), R_OK) == 0;
}

bool NSFileManager::isWritableFileAtPath(const Path& path) const {
  return isUsablePath(path) && ::access(path.c_str(), W_OK) == 0;
}

NSFileManager::Result<std::shared_ptr<NSDictionary>> NSFileManager::attributesOfItemAtPath(const Path& path) {
  if (!isUsablePath(path)) return failure(path, EINVAL, false);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return failure(path, errno, false);
  std::string_view type = FileTypes::NSFileTypeUnknown;
  if (S_ISREG(info.st_mode)) type = FileTypes::NSFileTypeRegular;
  else if (S_ISDIR(info.st_mode)) type = FileTypes::NSFileTypeDirectory;
  else if (S_ISLNK(info.st_mode)) type = FileTypes::NSFileTypeSymbolicLink;
  const double modified = static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
  auto attributes = NSDictionary::make();
  attributes->setObject(NSNumber::numberWithUnsignedInteger(static_cast<std::uint64_t>(info.st_size)), Keys::NSFileSize);
  attributes->setObject(NSDate::dateWithTimeIntervalSince1970(modified), Keys::NSFileModificationDate);
  attributes->setObject(NSString::make(std::string(type)), Keys::NSFileType);
  attributes->setObject(NSNumber::numberWithInteger(info.st_mode & 07777), Keys::NSFilePosixPermissions);
  return attributes;
}

NSFileManager::Result<std::vector<std::string>> NSFileManager::contentsOfDirectoryAtPath(const Path& path) {
  if (!isUsablePath(path)) return failure(path, EINVAL, false);
  DIR* folder = ::opendir(path.c_str());
  if (!folder) return failure(path, errno, false);
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int error = errno;
  ::closedir(folder);
  if (error != 0) return failure(path, error, false);
  std::sort(names.begin(), names.end());
  return names;
}

NSFileManager::Result<void> NSFileManager::createDirectoryAtURL(const std::shared_ptr<NSURL>& url,
                                                                bool withIntermediateDirectories) {
  return onPath(url, true, [&](const Path& path) { return createDirectoryAtPath(path, withIntermediateDirectories); });
}

NSFileManager::Result<void> NSFileManager::copyItemAtURL(const std::shared_ptr<NSURL>& source,
                                                         const std::shared_ptr<NSURL>& destination) {
  auto from = pathOf(source, false);
  if (!from) return std::unexpected(from.error());
  return onPath(destination, true, [&](const Path& to) { return copyItemAtPath(*from, to); });
}

NSFileManager::Result<void> NSFileManager::moveItemAtURL(const std::shared_ptr<NSURL>& source,
                                                         const std::shared_ptr<NSURL>& destination) {
  auto from = pathOf(source, true);
  if (!from) return std::unexpected(from.error());
  return onPath(destination, true, [&](const Path& to) { return moveItemAtPath(*from, to); });
}

NSFileManager::Result<void> NSFileManager::removeItemAtURL(const std::shared_ptr<NSURL>& url) {
  return onPath(url, true, [&](const Path& path) { return removeItemAtPath(path); });
}

NSFileManager::Result<std::shared_ptr<NSData>> NSFileManager::readContentsAtURL(const std::shared_ptr<NSURL>& url) {
  return onPath(url, false, [&](const Path& path) { return readContentsAtPath(path); });
}

NSFileManager::Result<void> NSFileManager::writeAtomicallyToURL(const std::shared_ptr<NSURL>& url,
                                                                std::string_view bytes) {
  return onPath(url, true, [&](const Path& path) { return writeAtomically(path, bytes); });
}

NSFileManager::Result<std::vector<std::shared_ptr<NSURL>>> NSFileManager::contentsOfDirectoryAtURL(
    const std::shared_ptr<NSURL>& url) {
  auto folder = pathOf(url, false);
  if (!folder) return std::unexpected(folder.error());
  auto names = contentsOfDirectoryAtPath(*folder);
  if (!names) return std::unexpected(names.error());
  std::vector<std::shared_ptr<NSURL>> urls;
  for (const std::string& name : *names) {
    if (auto entry = NSURL::fileURLWithPath((*folder / name).string())) urls.push_back(std::move(entry));
  }
  return urls;
}
