#pragma once
// Files and folders. Every failure comes back as an NSError in NSCocoaErrorDomain with the
// platform's file error codes; the system's own error (NSPOSIXErrorDomain, errno and its
// text) is under NSUnderlyingErrorKey and the path under NSFilePathErrorKey. Nothing here
// throws.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/OwnFiles.h"

// Codes of NSCocoaErrorDomain for files.
namespace NSCocoaError {
inline constexpr std::int64_t fileNoSuchFile = 4;
inline constexpr std::int64_t fileReadUnknown = 256;
inline constexpr std::int64_t fileReadNoPermission = 257;
inline constexpr std::int64_t fileReadInvalidFileName = 258;
inline constexpr std::int64_t fileReadNoSuchFile = 260;
inline constexpr std::int64_t fileReadUnsupportedScheme = 262;
inline constexpr std::int64_t fileWriteUnknown = 512;
inline constexpr std::int64_t fileWriteNoPermission = 513;
inline constexpr std::int64_t fileWriteInvalidFileName = 514;
inline constexpr std::int64_t fileWriteFileExists = 516;
inline constexpr std::int64_t fileWriteUnsupportedScheme = 518;
inline constexpr std::int64_t fileWriteOutOfSpace = 640;
inline constexpr std::int64_t fileWriteVolumeReadOnly = 642;
}  // namespace NSCocoaError

// The folders the platform's directory search knows.
enum class NSSearchPathDirectory { applicationSupport, caches, preferences, temporary };

class NSFileManager : public NSObject {
 public:
  using Path = std::filesystem::path;
  using Error = std::shared_ptr<NSError>;
  template <typename T>
  using Result = std::expected<T, Error>;

  static std::shared_ptr<NSFileManager> defaultManager();

  // Keys of NSError user info and of item attributes.
  struct Keys {
    static constexpr std::string_view NSFilePathErrorKey = "NSFilePath";
    static constexpr std::string_view NSUnderlyingErrorKey = "NSUnderlyingError";
    static constexpr std::string_view NSFileSize = "NSFileSize";
    static constexpr std::string_view NSFileModificationDate = "NSFileModificationDate";
    static constexpr std::string_view NSFileType = "NSFileType";
    static constexpr std::string_view NSFilePosixPermissions = "NSFilePosixPermissions";
  };
  // Values of NSFileType.
  struct FileTypes {
    static constexpr std::string_view NSFileTypeRegular = "NSFileTypeRegular";
    static constexpr std::string_view NSFileTypeDirectory = "NSFileTypeDirectory";
    static constexpr std::string_view NSFileTypeSymbolicLink = "NSFileTypeSymbolicLink";
    static constexpr std::string_view NSFileTypeUnknown = "NSFileTypeUnknown";
  };

  // The user's folder of that kind (the XDG folder, not the application's own
  // sub-folder), as a folder URL and as a path.
  std::vector<std::shared_ptr<NSURL>> URLsForDirectory(NSSearchPathDirectory directory) const;
  std::vector<Path> pathsForDirectory(NSSearchPathDirectory directory) const;
  std::shared_ptr<NSURL> temporaryDirectory() const;

  // With intermediates an existing folder is fine; without, it is an error, as is a
  // missing parent.
  Result<void> createDirectoryAtPath(const Path& path, bool withIntermediateDirectories);
  // The same for the application's own folders (data, caches, settings, reports...): every
  // folder made here is 0700, the owner's alone, whichever part of the application makes it
  // first; folders that exist already (the user's own) are left as they are.
  Result<void> createPrivateDirectoryAtPath(const Path& path, bool withIntermediateDirectories = true);
  // The file's bytes, or empty when it cannot be read.
  std::shared_ptr<NSData> contentsAtPath(const Path& path);
  // The file's bytes, or why they cannot be read.
  Result<std::shared_ptr<NSData>> readContentsAtPath(const Path& path);
  // The same for a plain file only: a symbolic link in the path's last place is not followed
  // and neither it nor anything but a regular file is read; nor is a file outside the bounds
  // (OwnFiles.h: EFBIG for a larger one, EMLINK for one with another name).
  Result<std::shared_ptr<NSData>> readContentsOfRegularFileAtPath(const Path& path, const OwnFiles::Bounds& bounds = {});
  // The same for a file of the application's own folders (settings, archives, GIF copies),
  // bounded as its kind is: anything but a plain file within the bounds under the name is
  // set aside (OwnFiles.h) and reads as missing (fileReadNoSuchFile), neither followed nor
  // waited for nor read.
  Result<std::shared_ptr<NSData>> readContentsOfOwnFileAtPath(const Path& path, const OwnFiles::Bounds& bounds);
  // Creates or replaces the file (atomically) with the bytes, none meaning an empty file.
  bool createFileAtPath(const Path& path, const std::shared_ptr<NSData>& contents);
  // Writes to a new file beside the target, then renames it over the target, so readers
  // see either the old or the new bytes, never a part. The file keeps the permissions of the
  // one it replaces (0644 for a new one) unless `permissions` is given.
  Result<void> writeAtomically(const Path& path, std::string_view bytes, std::optional<unsigned> permissions = std::nullopt);
  // Copies a file or a whole folder; fails when the destination exists.
  Result<void> copyItemAtPath(const Path& source, const Path& destination);
  // Moves (renames, or copies and removes across file systems); fails when the
  // destination exists.
  Result<void> moveItemAtPath(const Path& source, const Path& destination);
  // Removes a file, a link or a folder with everything in it.
  Result<void> removeItemAtPath(const Path& path);
  // Whether something is at the path (links are followed).
  bool fileExistsAtPath(const Path& path) const;
  bool fileExistsAtPath(const Path& path, bool* isDirectory) const;
  bool isReadableFileAtPath(const Path& path) const;
  bool isWritableFileAtPath(const Path& path) const;
  // Size (unsigned integer NSNumber), modification date, type and permissions of the item
  // itself (a link is described, not followed).
  Result<std::shared_ptr<NSDictionary>> attributesOfItemAtPath(const Path& path);
  // The names in the folder, sorted, without "." and "..".
  Result<std::vector<std::string>> contentsOfDirectoryAtPath(const Path& path);

  // The same operations on file URLs; a URL of another scheme is an error
  // (fileReadUnsupportedScheme or fileWriteUnsupportedScheme), and so is an empty one.
  Result<void> createDirectoryAtURL(const std::shared_ptr<NSURL>& url, bool withIntermediateDirectories);
  Result<void> copyItemAtURL(const std::shared_ptr<NSURL>& source, const std::shared_ptr<NSURL>& destination);
  Result<void> moveItemAtURL(const std::shared_ptr<NSURL>& source, const std::shared_ptr<NSURL>& destination);
  Result<void> removeItemAtURL(const std::shared_ptr<NSURL>& url);
  Result<std::shared_ptr<NSData>> readContentsAtURL(const std::shared_ptr<NSURL>& url);
  Result<void> writeAtomicallyToURL(const std::shared_ptr<NSURL>& url, std::string_view bytes);
  // File URLs of the folder's entries, sorted by name.
  Result<std::vector<std::shared_ptr<NSURL>>> contentsOfDirectoryAtURL(const std::shared_ptr<NSURL>& url);

  GLIMDECK_OBJECT(NSFileManager)

  // The error of a failed system call on a path: `writing` chooses the read or write
  // family of codes.
  static Error errorForPath(const Path& path, int posixError, bool writing);

 private:
  NSFileManager() = default;
  enum class Reading { anyFile, plainFileOnly, ownFile };
  Result<std::shared_ptr<NSData>> readContents(const Path& path, Reading reading, const OwnFiles::Bounds& bounds = {});
};
