#pragma once
// The fixture every suite starts from: a fresh temporary HOME with its XDG folders,
// the manual clock, an empty main run loop and captured diagnostic output.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Clock.h"

class GlimdeckTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Moves the manual clock, running what falls due on the way.
  void advance(double seconds) { clock_->advance(seconds); }
  // Pumps the main queue until the predicate holds, waiting for real replies meanwhile.
  bool runUntil(const std::function<bool()>& predicate, double timeout = 10.0);
  // Runs the blocks queued on the main queue so far.
  void drainMainQueue();

  // Lines the application printed through the output sink since SetUp, from the `from`th on.
  std::vector<std::string> printedLines(std::size_t from = 0);
  bool printed(const std::string& line);

  const std::filesystem::path& home() const { return home_; }
  ManualClock& clock() { return *clock_; }

 private:
  std::filesystem::path home_;
  std::shared_ptr<ManualClock> clock_;
  std::mutex printedMutex_;
  std::vector<std::string> printed_;
};
