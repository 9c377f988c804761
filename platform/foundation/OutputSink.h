#pragma once
// Where the application's diagnostic lines go: standard output unless a test captures them.

#include <functional>
#include <string>
#include <string_view>

namespace OutputSink {

// Writes one line (a newline is added).
void print(std::string_view line);
// Replaces the destination; an empty function restores standard output.
void setSink(std::function<void(std::string_view)> sink);

}  // namespace OutputSink
