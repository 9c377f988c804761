#pragma once
// Things planted under the name of a file the application keeps in its own folders, as
// somebody else might put them there: a named pipe (which holds whoever opens it until its
// other end is opened), a link to a file outside the folder (which a careless write goes
// through) and a folder (which a careless rename swaps in). Plain files can be planted too: a
// huge sparse file (which a careless read sizes its memory by) and a hard link to a file
// outside (which a write in place goes through). And a bounded run for code that must not
// wait on such a pipe (when it does, the test fails instead of hanging) nor size its memory by
// such a file.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace PlantedFiles {

enum class Kind { pipe, link, folder, huge, hardLink };
inline constexpr Kind kinds[] = {Kind::pipe, Kind::link, Kind::folder};
// Plain files that are still not the application's to read whole or to write in place.
inline constexpr Kind unfitFileKinds[] = {Kind::huge, Kind::hardLink};
inline constexpr Kind allKinds[] = {Kind::pipe, Kind::link, Kind::folder, Kind::huge, Kind::hardLink};
// What a reader of a file it never writes in place must not take: all but a hard link.
inline constexpr Kind unreadableKinds[] = {Kind::pipe, Kind::link, Kind::folder, Kind::huge};
std::string describe(Kind kind);

// The size of a huge file: sparse, so that it takes no room on the disk.
inline constexpr long long hugeBytes = 300LL << 30;

// What a planted link leads to, and what it must still hold afterwards.
inline constexpr const char* outsideText = "somebody else's file: keep me";

// Plants the thing at `path` (its folder made when missing); a link or a hard link leads to
// `outside`, which is written with outsideText. A folder holds a file of its own.
void plant(const std::filesystem::path& path, Kind kind, const std::filesystem::path& outside);

// The contents of a plain file ("" when it cannot be read).
std::string contents(const std::filesystem::path& path);

// The names beside `path` that it was set aside as ("<name>.set-aside-...").
std::vector<std::filesystem::path> setAsideCopies(const std::filesystem::path& path);

// Runs the work on a thread of its own and answers whether it ended within the bound. When it
// does not, the other ends of the pipes, and of any pipe in their folders (where the work may
// have renamed one), are opened (and whatever is written into them read away) until it has
// ended, so that the test goes on to fail rather than hang.
bool endsWithin(double seconds, const std::function<void()>& work, const std::vector<std::filesystem::path>& pipes);

// Runs the work as endsWithin does (within boundSeconds), and fails the test unless it ended
// in time and the process's resident memory grew by less than 64 MB at its peak meanwhile:
// whatever was planted, the work neither waited for it nor sized its memory by it.
void expectNeitherWaitsNorGrows(const std::function<void()>& work,
                                const std::vector<std::filesystem::path>& pipes = {});

// A full media cache as an earlier start left it in a folder the user moved: `folder` is a
// link to `target`, which holds the files "zolto-<i>.gif" (i from 1, oldest first) and the
// archives that map key(i) to each, named by the link.
void plantLinkedCache(const std::filesystem::path& folder, const std::filesystem::path& target, int entries,
                      const std::function<std::string(int)>& key);

// The bound for work that must not wait: generous, and shorter than a 5-second wait.
inline constexpr double boundSeconds = 4.0;

}  // namespace PlantedFiles
