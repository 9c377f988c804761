#pragma once
// The application's folders, following the XDG base-directory rules.

#include <filesystem>

namespace Paths {

std::filesystem::path home();
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();   // $XDG_CACHE_HOME or ~/.cache
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config

inline constexpr const char* kApplicationFolder = "Glimdeck";
// The application's own folders (not created here).
std::filesystem::path applicationSupport();  // dataHome()/Glimdeck
std::filesystem::path caches();              // cacheHome()/Glimdeck
std::filesystem::path preferences();         // configHome()/Glimdeck
std::filesystem::path temporary();           // $TMPDIR or /tmp

}  // namespace Paths
