#pragma once
// The crash reporter's own log: lines that go into the current crash report so that a
// report tells what led up to it. They are kept in memory for the report writer and are
// never echoed to the console.

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

// Formats one line (printf style) and records it in the current report's log.
void VVDLogWithArguments(const char* format, va_list arguments);
// The same with the arguments given directly.
void VVDLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace VVDCrashLog {

// The log keeps its newest lines within this many bytes (each line counting one byte more
// for its end); older ones fall off.
inline constexpr std::size_t capacityBytes = 64 * 1024;

// The recorded lines, oldest first.
std::vector<std::string> lines();
void clear();

// Writes the recorded lines, each ended by a newline, to an open file. Takes no lock and
// allocates nothing, so a signal handler may call it; a line being recorded by another
// thread at that moment may come out torn.
void writeLinesTo(int fileDescriptor) noexcept;

}  // namespace VVDCrashLog
