#pragma once
// Temporary files that must not outlive the process. A file is tracked from its creation
// until it is removed or handed over; whatever is still tracked when the process ends
// normally (exit, or a return from main) is removed then. The orderly shutdown calls
// removeAll itself once the threads that write such files have stopped.

#include <string>
#include <vector>

class TemporaryFiles {
 public:
  static void track(const std::string& path);
  // Stops tracking without touching the file (it was moved or handed over).
  static void untrack(const std::string& path);
  // Deletes the file and stops tracking it; a file no longer tracked is left alone.
  static void remove(const std::string& path);
  static void removeAll();
  static std::vector<std::string> tracked();
};
