#include "platform/services/LoginItems.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Paths.h"

namespace {
constexpr std::string_view kEntrySuffix = ".desktop";
// The program that starts another given as its argument.
constexpr std::string_view kEnv = "env";

std::string trim(std::string_view text) {
  auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  auto end = text.find_last_not_of(" \t\r");
  return std::string(text.substr(begin, end - begin + 1));
}

// What an entry says of itself: the program line, and whether the desktop leaves it out at
// login (Hidden=true, or X-GNOME-Autostart-enabled=false as the session settings write it).
struct Entry {
  std::string exec;
  bool off = false;
};

// The text of an entry: a plain file only, never what a link leads to nor a pipe that would
// hold the reader until somebody writes to it. Entries are small; a huge file is no entry and
// is not read.
std::optional<std::string> entryText(const std::filesystem::path& path) {
  auto bytes = OwnFiles::readPlainFile(path, OwnFiles::autostartEntry);
  if (!bytes) return std::nullopt;
  return (*bytes)->string();
}

// The keys of the [Desktop Entry] group, values with the string escapes undone.
std::optional<Entry> readEntry(const std::filesystem::path& path) {
  auto text = entryText(path);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::string line, exec;
  bool inGroup = false, off = false, sawGroup = false;
  while (std::getline(in, line)) {
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    if (t[0] == '[') {
      inGroup = t == "[Desktop Entry]";
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    std::string key = trim(std::string_view(t).substr(0, eq));
    std::string raw = trim(std::string_view(t).substr(eq + 1));
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size()) {
        char n = raw[++i];
        value += n == 's' ? ' ' : n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
      } else {
        value += raw[i];
      }
    }
    if (key == "Exec") exec = value;
    if (key == "Hidden" && value == "true") off = true;
    if (key == "X-GNOME-Autostart-enabled" && value == "false") off = true;
  }
  if (!sawGroup) return std::nullopt;
  return Entry{exec, off};
}

std::optional<std::filesystem::path> findOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return std::filesystem::path(name);
  const char* path = std::getenv("PATH");
  if (!path) return std::nullopt;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    auto candidate = std::filesystem::path(dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Desktop entries are UTF-8 text: readers refuse a value that is not.
bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// The application's name as its entries' names begin.
std::string entryStem() {
  std::string stem;
  for (char c : Paths::applicationName()) stem += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return stem.empty() ? "application" : stem;
}

std::shared_ptr<NSError> failure(const std::string& what) {
  return NSError::make(std::string(LoginItemsList::Constants::errorDomain), 1, what);
}
}  // namespace

std::optional<std::filesystem::path> LoginItem::resolve() const {
  auto entry = readEntry(entryPath_);
  if (!entry || entry->off) return std::nullopt;
  auto program = LoginItemsList::programFromExecValue(entry->exec);
  if (!program || program->empty()) return std::nullopt;
  auto found = findOnPath(*program);
  if (!found || !found->is_absolute()) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(*found, error)) return std::nullopt;
  auto canonical = std::filesystem::weakly_canonical(*found, error);
  return error ? *found : canonical;
}

std::shared_ptr<LoginItemsList> LoginItemsList::sessionLoginItems() {
  auto folder = Paths::configHome() / "autostart";
  std::error_code error;
  if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error)) return nullptr;
  return create(folder);
}

std::vector<std::shared_ptr<LoginItem>> LoginItemsList::snapshot() const {
  std::vector<std::shared_ptr<LoginItem>> items;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    auto path = it->path();
    // Plain files only: a link leads to an entry that is not the user's own to list here.
    if (path.extension() == kEntrySuffix && it->symlink_status(error).type() == std::filesystem::file_type::regular) {
      items.push_back(LoginItem::create(path));
    }
  }
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a->entryPath_ < b->entryPath_; });
  return items;
}

std::filesystem::path LoginItemsList::applicationEntryPath() const {
  return folder_ / (entryStem() + std::string(kEntrySuffix));
}

bool LoginItemsList::isApplicationEntry(const LoginItem& item) const {
  if (item.entryPath_.parent_path() != folder_) return false;
  const std::string name = item.entryPath_.filename().string();
  const std::string stem = entryStem();
  if (name == stem + std::string(kEntrySuffix)) return true;
  if (!name.starts_with(stem + "-") || !name.ends_with(kEntrySuffix)) return false;
  const std::string_view number =
      std::string_view(name).substr(stem.size() + 1, name.size() - stem.size() - 1 - kEntrySuffix.size());
  return !number.empty() && std::ranges::all_of(number, [](char c) { return c >= '0' && c <= '9'; });
}

std::string LoginItemsList::execValueForProgram(const std::filesystem::path& program) {
  // Quoted as an argument (", `, $ and \ escaped), then as a string value (\ doubled, and a
  // line feed, tab or carriage return written as its escape: raw, one would end the line or
  // be trimmed away), with % doubled so it is no field code.
  std::string quoted = "\"";
  for (char c : program.string()) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  // GLib looks for the program of an entry before it expands the field codes, so it would
  // look for a doubled % and call the entry broken: such a program is started through env.
  std::string value = program.string().find('%') == std::string::npos ? "" : std::string(kEnv) + " ";
  for (char c : quoted) {
    if (c == '\\') value += "\\\\";
    else if (c == '\n') value += "\\n";
    else if (c == '\t') value += "\\t";
    else if (c == '\r') value += "\\r";
    else if (c == '%') value += "%%";
    else value += c;
  }
  return value;
}

std::optional<std::string> LoginItemsList::programFromExecValue(std::string_view value) {
  // The first two arguments, with their quoting undone.
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (arguments.size() < 2) {
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    if (i >= value.size()) break;
    std::string argument;
    if (value[i] == '"') {
      bool closed = false;
      for (++i; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
          argument += value[++i];
        } else if (value[i] == '"') {
          closed = true;
          ++i;
          break;
        } else {
          argument += value[i];
        }
      }
      if (!closed) return std::nullopt;
    } else {
      while (i < value.size() && !std::isspace(static_cast<unsigned char>(value[i]))) argument += value[i++];
    }
    arguments.push_back(std::move(argument));
  }
  if (arguments.empty()) return std::string();
  const std::string& program = arguments.size() == 2 && arguments[0] == kEnv ? arguments[1] : arguments[0];
  std::string unpercented;
  for (std::size_t k = 0; k < program.size(); ++k) {
    if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%') ++k;
    unpercented += program[k];
  }
  return unpercented;
}

std::expected<std::shared_ptr<LoginItem>, std::shared_ptr<NSError>> LoginItemsList::insertItemURL(
    const std::filesystem::path& program) {
  // An entry that names no program (the executable's own path could not be read, say) would
  // start nothing at every login.
  if (program.empty() || !program.is_absolute()) {
    return std::unexpected(failure("No program to start at login: \"" + program.string() + "\" is not a full path."));
  }
  if (!isUtf8(program.string())) {
    return std::unexpected(failure("The program's path is not UTF-8 text, which a desktop entry cannot hold."));
  }
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) return std::unexpected(failure("The autostart folder cannot be made: " + error.message()));
  // Replaced whoever wrote it: one entry starts the application at login. What is not a
  // plain file under its name is set aside: it is not an entry.
  const std::filesystem::path path = applicationEntryPath();
  OwnFiles::clearForPlainFile(path);
  const std::string text = "[Desktop Entry]\nType=Application\nName=" + Paths::applicationName() +
                           "\nExec=" + execValueForProgram(program) + "\nX-GNOME-Autostart-enabled=true\n";
  // Written into a new file of a name of its own beside it, then renamed into place: nothing
  // planted under a name known beforehand is written through or waited for.
  if (!NSFileManager::defaultManager()->writeAtomically(path, text, 0644)) {
    return std::unexpected(failure("The autostart entry cannot be written."));
  }
  return LoginItem::create(path);
}

bool LoginItemsList::removeItem(const std::shared_ptr<LoginItem>& item) {
  if (!item || item->entryPath_.parent_path() != folder_) return false;
  std::error_code error;
  return std::filesystem::remove(item->entryPath_, error);
}
