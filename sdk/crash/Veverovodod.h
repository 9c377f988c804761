#pragma once
// The crash-reporting kit. Started by the SDK, it catches the fatal signals and writes a
// report (the signal, the time and the crash log's lines) into the application's data
// folder, then lets the process die as it would have. Reports are kept on disk only.

#include <filesystem>
#include <string_view>

#include "sdk/foundation/Murvane.h"

class Veverovodod final : public MurvaneKit {
 public:
  // The kit's class: what the application hands to Murvane::with.
  static MurvaneKitClass kitClass();

  // Where reports go: "Crash Reports" in the application's data folder.
  static std::filesystem::path reportsFolder();

  std::string_view kitName() const override { return "Veverovodod"; }
  void start() override;

 private:
  Veverovodod() = default;
};
