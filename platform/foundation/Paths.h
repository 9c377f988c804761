#pragma once
// The application's folders, following the XDG base-directory rules, named after the
// application its bundle describes.

#include <filesystem>
#include <string>

namespace Paths {

std::filesystem::path home();
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config

// The application's name: "CFBundleName" of the main bundle's Info dictionary, else the
// running program's file name.
std::string applicationName();
// The application's own folders (not created here).
std::filesystem::path applicationSupport();  // dataHome()/applicationName()
std::filesystem::path caches();              // cacheHome()/applicationName()
std::filesystem::path preferences();         // configHome()/applicationName()
std::filesystem::path temporary();           // $TMPDIR or /tmp

}  // namespace Paths
