#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

namespace {
class Cell : public NSObject {
 public:
  static std::shared_ptr<Cell> make(std::string name) {
    auto cell = std::shared_ptr<Cell>(new Cell());
    cell->name = std::move(name);
    return cell;
  }
  std::string name;
  std::vector<std::string> calls;

 private:
  Cell() = default;
};
}  // namespace

class DelayedPerformTest : public GlimdeckTest {
 protected:
  void schedule(const std::shared_ptr<Cell>& cell, const std::string& key, double delay) {
    PerformRequests::perform<Cell>(cell, key, [key](Cell& target) { target.calls.push_back(key); }, delay);
  }
};

TEST_F(DelayedPerformTest, RunsOnlyWhenTheDelayHasPassed) {
  auto cell = Cell::make("a");
  schedule(cell, "hideConfirmationOverlay", 3.0);
  schedule(cell, "hideConfirmationOverlay", 1.0);
  advance(0.9);
  EXPECT_TRUE(cell->calls.empty());
  advance(0.1);
  EXPECT_EQ(cell->calls.size(), 1u);
  advance(2.0);
  EXPECT_EQ(cell->calls.size(), 2u);
  advance(10.0);
  EXPECT_EQ(cell->calls.size(), 2u);
}

TEST_F(DelayedPerformTest, CancelDropsAllOrOneKeyOfOneTargetOnly) {
  struct Case {
    const char* title;
    std::function<void(const std::shared_ptr<Cell>&)> cancel;
    std::vector<std::string> expectedFirst;
  };
  const std::vector<Case> cases = {
      {"nothing cancelled", [](const std::shared_ptr<Cell>&) {}, {"hide", "load"}},
      {"every request", [](const std::shared_ptr<Cell>& cell) { PerformRequests::cancel(cell); }, {}},
      {"one key", [](const std::shared_ptr<Cell>& cell) { PerformRequests::cancel(cell, "hide"); }, {"load"}},
      {"unknown key", [](const std::shared_ptr<Cell>& cell) { PerformRequests::cancel(cell, "other"); }, {"hide", "load"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    auto first = Cell::make("first");
    auto second = Cell::make("second");
    schedule(first, "hide", 1.0);
    schedule(first, "load", 2.0);
    schedule(second, "hide", 1.0);
    c.cancel(first);
    advance(5.0);
    EXPECT_EQ(first->calls, c.expectedFirst);
    EXPECT_EQ(second->calls, (std::vector<std::string>{"hide"}));
  }
}

TEST_F(DelayedPerformTest, AReleasedTargetsRequestDoesNothing) {
  bool ran = false;
  auto cell = Cell::make("gone");
  PerformRequests::perform(std::weak_ptr<NSObject>(cell), "hide", [&] { ran = true; }, 1.0);
  cell.reset();
  advance(2.0);
  EXPECT_FALSE(ran);
  PerformRequests::cancel(nullptr);  // harmless
}

TEST_F(DelayedPerformTest, ANewRequestAfterCancellingReplacesThePendingOne) {
  // The pattern of a debounced reload: cancel the pending call, then schedule a new one.
  auto panel = Cell::make("panel");
  for (int i = 0; i < 5; ++i) {
    PerformRequests::cancel(panel, "loadScrubber");
    schedule(panel, "loadScrubber", 2.0);
    advance(1.0);
  }
  EXPECT_TRUE(panel->calls.empty());
  advance(1.0);
  EXPECT_EQ(panel->calls, (std::vector<std::string>{"loadScrubber"}));
}

TEST_F(DelayedPerformTest, ARequestMayCancelAnotherDueAtTheSameMoment) {
  auto cell = Cell::make("cell");
  PerformRequests::perform<Cell>(cell, "first", [](Cell& target) {
    target.calls.push_back("first");
    PerformRequests::cancel(target.sharedAs<NSObject>(), "second");
  }, 1.0);
  schedule(cell, "second", 1.0);
  advance(1.0);
  EXPECT_EQ(cell->calls, (std::vector<std::string>{"first"}));
}
