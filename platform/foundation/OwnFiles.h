#pragma once
// The files the application keeps in its own folders (its data, cache and settings folders)
// are its own only while they are plain files. A link planted under one of their names would
// lead a read or a write elsewhere, a named pipe would hold whoever opens it until somebody
// opens its other end, and a folder would make every write fail. Such files are opened here
// without following a link and without waiting, and used only when they are plain files;
// anything else found under their name is set aside (renamed beside it, with one line saying
// so) and the application goes on as if the file were missing.

#include <sys/stat.h>
#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace OwnFiles {

// Why a file could not be opened: the system's error, and whether something other than a
// plain file lies under the name (a link, a folder, a pipe, a socket, a device).
struct Failure {
  int error = 0;
  bool notPlainFile = false;
};

// Opens the plain file at the path with the flags (O_RDONLY, O_RDWR | O_CREAT, ...), never
// following a link in its last place and never waiting for the other end of a pipe, and
// refuses (closing it again) anything but a plain file; `status`, when given, receives its
// fstat. The descriptor is close-on-exec. It keeps O_NONBLOCK, which changes nothing for a
// plain file: its reads, writes and locks go on as usual. With O_CREAT | O_EXCL nothing
// already under the name is opened.
std::expected<int, Failure> openPlainFile(const std::filesystem::path& path, int flags, mode_t mode = 0600,
                                          struct stat* status = nullptr);

// The moment, UTC from the process's clock ("20261207-093700"), by which files set or moved
// aside are named.
std::string stamp();

// What lies at the path when it is not a plain file: "a symbolic link", "a folder", "a named
// pipe"...; none for a plain file or nothing.
std::optional<std::string> describeNonPlainFile(const std::filesystem::path& path);

// Renames what lies at the path to "<name>.set-aside-<time>" beside it, never over anything
// already there, and prints one line saying what it was instead of what was `wanted` there
// and where it went (or why it could not be moved). The new path, or none when nothing was
// moved.
std::optional<std::filesystem::path> setAside(const std::filesystem::path& path,
                                              std::string_view wanted = "a plain file");

// Before a file is made or replaced under the name: whatever lies there that is not a plain
// file is set aside. True when the name is then free or holds a plain file.
bool clearForPlainFile(const std::filesystem::path& path);

}  // namespace OwnFiles
