#pragma once
// The files the application keeps in its own folders (its data, cache and settings folders)
// are its own only while they are plain files. A link planted under one of their names would
// lead a read or a write elsewhere, a named pipe would hold whoever opens it until somebody
// opens its other end, and a folder would make every write fail. Such files are opened here
// without following a link and without waiting, and used only when they are plain files;
// anything else found under their name is set aside (renamed beside it, with one line saying
// so) and the application goes on as if the file were missing.
//
// A plain file can still be unfit for its kind: larger than anything the application writes
// under that name (read whole, it would fill memory), or, for files written in place, with a
// second name elsewhere (a hard link, which the writes would reach). Such a file is refused
// and set aside in the same way. Memory never grows with the size of a file found there.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSData.h"

namespace OwnFiles {

// What a file of one kind may be besides plain: how many bytes it may hold, and whether it
// must have no name but its own (a file written in place must not be one that a hard link
// elsewhere also names).
struct Bounds {
  std::uint64_t largest = std::numeric_limits<std::uint64_t>::max();
  bool ownNameOnly = false;
};

// The kinds of files read from the application's folders, each bounded far above what the
// application itself writes there, so that only a file somebody else put there meets it, and
// each small enough to be read whole.
// The media cache's index files (recentShareMap, orderList) and their spare copies: at most
// 501 keys, media addresses of a few hundred bytes; even at the longest address taken
// (2 kB) about 2 MB. The spares are rewritten in place.
inline constexpr Bounds cacheIndex{std::uint64_t{8} << 20, true};
// A cached GIF, MP4 or preview: a reply of at most 16 MB (the URL session's cap).
inline constexpr Bounds cachedMedia{std::uint64_t{64} << 20, true};
// The settings: a few small values and the signed-in user's record (its reply at most 1 MB).
inline constexpr Bounds settings{std::uint64_t{8} << 20};
// An autostart entry: a few lines.
inline constexpr Bounds autostartEntry{std::uint64_t{1} << 20};
// A GIF of the GIF folder: a copy of a GIF taken for upload, at most 16 MB.
inline constexpr Bounds gifFolderFile{std::uint64_t{64} << 20};

// Why a file could not be opened or read: the system's error, and whether something other
// than a plain file of its kind lies under the name (a link, a folder, a pipe, a socket, a
// device; a file too large for its kind, EFBIG, or with another name, EMLINK).
struct Failure {
  int error = 0;
  bool notPlainFile = false;
};

// Opens the plain file at the path with the flags (O_RDONLY, O_RDWR | O_CREAT, ...), never
// following a link in its last place and never waiting for the other end of a pipe, and
// refuses (closing it again) anything but a plain file; `status`, when given, receives its
// fstat. The descriptor is close-on-exec. It keeps O_NONBLOCK, which changes nothing for a
// plain file: its reads, writes and locks go on as usual. With O_CREAT | O_EXCL nothing
// already under the name is opened. A file outside the bounds is refused too.
std::expected<int, Failure> openPlainFile(const std::filesystem::path& path, int flags, mode_t mode = 0600,
                                          struct stat* status = nullptr, const Bounds& bounds = {});

// The bytes of the plain file at the path, opened as openPlainFile opens it and read only
// while it keeps to the bounds: a larger file is refused unread, one that grows past them
// while it is read is refused once it does. Nothing is set aside here.
std::expected<std::shared_ptr<NSData>, Failure> readPlainFile(const std::filesystem::path& path, const Bounds& bounds);

// The bytes of an opened file of `size` bytes (its fstat), read to its end; EFBIG when it
// holds (or grows to) more than `largest`, which memory never holds more than.
std::expected<std::shared_ptr<NSData>, int> readOpenedFile(int fd, std::uint64_t size, std::uint64_t largest);

// The moment, UTC from the process's clock ("20261207-093700"), by which files set or moved
// aside are named.
std::string stamp();

// What lies at the path when it is not a plain file within the bounds: "a symbolic link", "a
// folder", "a named pipe"..., "a file of 322122547200 bytes", "a file with 2 names"; none for
// a plain file that keeps to them, or nothing.
std::optional<std::string> describeUnfitFile(const std::filesystem::path& path, const Bounds& bounds = {});

// Renames what lies at the path to "<name>.set-aside-<time>" beside it, never over anything
// already there, and prints one line saying what it was instead of what was `wanted` there
// and where it went (or why it could not be moved). When a few such names are taken, the
// name gets a random part as well, until one is free. The new path, or none when nothing
// was moved.
std::optional<std::filesystem::path> setAside(const std::filesystem::path& path,
                                              std::string_view wanted = "a plain file");
// The same for a file of its kind: what it was, also against the bounds.
std::optional<std::filesystem::path> setAside(const std::filesystem::path& path, const Bounds& bounds);

// Before a file is made, replaced or read under the name: whatever lies there that is not a
// plain file within the bounds is set aside. True when the name is then free or holds one.
bool clearForPlainFile(const std::filesystem::path& path, const Bounds& bounds = {});

}  // namespace OwnFiles
