#pragma once
// The session's login items: the programs the desktop starts when the user logs in. On
// Linux they are the desktop-entry files of the user's XDG autostart folder
// ($XDG_CONFIG_HOME/autostart), read in file-name order; an item resolves to the program
// its Exec line starts, when that program exists and the entry is not hidden. The desktop
// knows an entry by its file name, so the application keeps one entry under a name of its
// own, whichever of its copies (a build tree's, an installed one) wrote it last.

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class LoginItem : public NSObject {
 public:
  const std::filesystem::path& entryPath() const { return entryPath_; }
  // The program the item starts; none when the entry is hidden, unreadable, or names a
  // program that is gone.
  std::optional<std::filesystem::path> resolve() const;
  GLIMDECK_OBJECT(LoginItem)

 private:
  friend class LoginItemsList;
  explicit LoginItem(std::filesystem::path entryPath) : entryPath_(std::move(entryPath)) {}
  std::filesystem::path entryPath_;
};

class LoginItemsList : public NSObject {
 public:
  struct Constants {
    static constexpr std::string_view errorDomain = "GlimdeckLoginItemsErrorDomain";
  };

  // The list of the user's autostart folder; none when that path is taken by something
  // that is not a folder.
  static std::shared_ptr<LoginItemsList> sessionLoginItems();

  const std::filesystem::path& folder() const { return folder_; }
  std::vector<std::shared_ptr<LoginItem>> snapshot() const;
  // The application's entry: "glimdeck.desktop", after the application's name.
  std::filesystem::path applicationEntryPath() const;
  // Whether the item is under a name the application gives its entry: its own, or a
  // numbered one beside it ("glimdeck-2.desktop"), which earlier versions wrote when the
  // own name was taken.
  bool isApplicationEntry(const LoginItem& item) const;
  // Writes the application's entry so that it starts the program, in the place of the entry
  // of that name when there is one; the folder is made when missing.
  std::expected<std::shared_ptr<LoginItem>, std::shared_ptr<NSError>> insertItemURL(const std::filesystem::path& program);
  bool removeItem(const std::shared_ptr<LoginItem>& item);

  // The Exec value that starts the program, quoted and escaped as desktop entries need (a
  // program whose path holds a per cent sign is started through "env").
  static std::string execValueForProgram(const std::filesystem::path& program);
  // The program an Exec value starts (its first argument, or the second after "env"), unescaped.
  static std::optional<std::string> programFromExecValue(std::string_view value);

  GLIMDECK_OBJECT(LoginItemsList)

 private:
  explicit LoginItemsList(std::filesystem::path folder) : folder_(std::move(folder)) {}
  std::filesystem::path folder_;
};
