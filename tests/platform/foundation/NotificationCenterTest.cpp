#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Foundation.h"
#include "tests/support/TestEnvironment.h"

namespace {
class Watcher : public NSObject {
 public:
  static std::shared_ptr<Watcher> make() { return std::shared_ptr<Watcher>(new Watcher()); }
  void dragEnded(const std::shared_ptr<NSNotification>& notification) { seen.push_back(notification->name()); }
  std::vector<std::string> seen;

 private:
  Watcher() = default;
};
}  // namespace

class NotificationCenterTest : public GlimdeckTest {
 protected:
  std::shared_ptr<NSNotificationCenter> center_ = NSNotificationCenter::make();
  std::vector<std::string> log_;
  NSNotificationCenter::Block note(std::string label) {
    return [this, label](const std::shared_ptr<NSNotification>&) { log_.push_back(label); };
  }
};

TEST_F(NotificationCenterTest, DefaultCenterIsShared) {
  EXPECT_EQ(NSNotificationCenter::defaultCenter(), NSNotificationCenter::defaultCenter());
  EXPECT_NE(NSNotificationCenter::defaultCenter(), center_);
}

TEST_F(NotificationCenterTest, ObserversMatchByNameAndSenderIdentity) {
  auto sender = NSString::make("player item");
  auto equalButOther = NSString::make("player item");
  auto anyName = center_->addObserverForName("", nullptr, nullptr, note("any name"));
  auto anySender = center_->addObserverForName("didEnd", nullptr, nullptr, note("any sender"));
  auto fromSender = center_->addObserverForName("didEnd", sender, nullptr, note("from sender"));
  auto otherName = center_->addObserverForName("dragBegin", nullptr, nullptr, note("other name"));

  struct Case {
    const char* title;
    std::string name;
    id object;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"no sender", "didEnd", nullptr, {"any name", "any sender"}},
      {"the sender", "didEnd", sender, {"any name", "any sender", "from sender"}},
      {"an equal object is not the sender", "didEnd", equalButOther, {"any name", "any sender"}},
      {"another name", "loginStateChanged", sender, {"any name"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    log_.clear();
    center_->postNotificationName(c.name, c.object);
    EXPECT_EQ(log_, c.expected);
  }
}

TEST_F(NotificationCenterTest, DeliveryIsSynchronousOnThePostersThreadWithObjectAndUserInfo) {
  std::thread::id deliveredOn;
  std::shared_ptr<NSNotification> received;
  auto token = center_->addObserverForName("loginStateChanged", nullptr, nullptr,
                                           [&](const std::shared_ptr<NSNotification>& notification) {
                                             deliveredOn = std::this_thread::get_id();
                                             received = notification;
                                           });
  auto record = NSDictionary::make({{"token", NSString::make("abc")}});
  std::thread::id posterThread;
  std::thread poster([&] {
    posterThread = std::this_thread::get_id();
    center_->postNotificationName("loginStateChanged", record, NSDictionary::make({{"k", NSNumber::numberWithInteger(1)}}));
    EXPECT_TRUE(received);  // before the post returned
  });
  poster.join();
  EXPECT_EQ(deliveredOn, posterThread);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->name(), "loginStateChanged");
  EXPECT_EQ(received->object(), record);
  ASSERT_TRUE(received->userInfo());
  EXPECT_TRUE(received->userInfo()->containsKey("k"));
}

TEST_F(NotificationCenterTest, GivenAQueueTheBlockRunsThereInstead) {
  bool onMain = false;
  auto token = center_->addObserverForName("loginStateChanged", nullptr, NSOperationQueue::mainQueue(),
                                           [&](const std::shared_ptr<NSNotification>&) {
                                             onMain = NSRunLoop::isMainThread();
                                             log_.push_back("main");
                                           });
  std::thread([&] { center_->postNotificationName("loginStateChanged", nullptr); }).join();
  EXPECT_TRUE(log_.empty());
  drainMainQueue();
  EXPECT_EQ(log_, (std::vector<std::string>{"main"}));
  EXPECT_TRUE(onMain);

  // Removed before the queue got to it: not delivered.
  center_->postNotificationName("loginStateChanged", nullptr);
  center_->removeObserver(token);
  drainMainQueue();
  EXPECT_EQ(log_.size(), 1u);
}

TEST_F(NotificationCenterTest, DestroyingOrRemovingTheTokenEndsTheObservation) {
  auto kept = center_->addObserverForName("n", nullptr, nullptr, note("kept"));
  auto removed = center_->addObserverForName("n", nullptr, nullptr, note("removed"));
  {
    auto dropped = center_->addObserverForName("n", nullptr, nullptr, note("dropped"));
  }
  center_->removeObserver(removed);
  center_->removeObserver(removed);  // twice is harmless
  NSNotificationCenter::defaultCenter()->removeObserver(kept);  // another centre's token: no effect here
  center_->postNotificationName("n", nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"kept"}));
}

TEST_F(NotificationCenterTest, ObserversMayRemoveThemselvesOrOthersDuringAPost) {
  id first, second, third, late;
  first = center_->addObserverForName("n", nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) {
    log_.push_back("first");
    center_->removeObserver(first);
    third.reset();  // destroying a later observer's token while the post runs
  });
  second = center_->addObserverForName("n", nullptr, nullptr, [&](const std::shared_ptr<NSNotification>&) {
    log_.push_back("second");
    // Added during the post: not called for it.
    late = center_->addObserverForName("n", nullptr, nullptr, note("late"));
  });
  third = center_->addObserverForName("n", nullptr, nullptr, note("third"));
  center_->postNotificationName("n", nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"first", "second"}));
  log_.clear();
  second.reset();
  center_->postNotificationName("n", nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"late"}));
}

TEST_F(NotificationCenterTest, ABlockMayOwnItsOwnToken) {
  // A token kept in the block's captures is destroyed with the registration; that must not
  // deadlock or touch freed memory.
  auto holder = std::make_shared<id>();
  *holder = center_->addObserverForName("n", nullptr, nullptr, [this, holder](const std::shared_ptr<NSNotification>&) {
    log_.push_back("once");
    holder->reset();
  });
  std::weak_ptr<id> watch = holder;
  holder.reset();
  center_->postNotificationName("n", nullptr);
  center_->postNotificationName("n", nullptr);
  EXPECT_EQ(log_, (std::vector<std::string>{"once"}));
  EXPECT_TRUE(watch.expired());
}

TEST_F(NotificationCenterTest, ObserverObjectsAreHeldWeaklyAndRemovedAsAWhole) {
  auto watcher = Watcher::make();
  auto sender = NSString::make("panel");
  center_->addObserver(watcher, &Watcher::dragEnded, "dragEnd", nullptr);
  center_->addObserver(watcher, &Watcher::dragEnded, "dragBegin", sender);
  center_->postNotificationName("dragEnd", nullptr);
  center_->postNotificationName("dragBegin", nullptr);
  center_->postNotificationName("dragBegin", sender);
  EXPECT_EQ(watcher->seen, (std::vector<std::string>{"dragEnd", "dragBegin"}));

  center_->removeObserver(watcher, "dragBegin", nullptr);
  center_->postNotificationName("dragBegin", sender);
  center_->postNotificationName("dragEnd", nullptr);
  EXPECT_EQ(watcher->seen.size(), 3u);

  center_->removeObserver(watcher);
  center_->postNotificationName("dragEnd", nullptr);
  EXPECT_EQ(watcher->seen.size(), 3u);

  std::weak_ptr<Watcher> gone = watcher;
  center_->addObserver(watcher, &Watcher::dragEnded, "dragEnd", nullptr);
  watcher.reset();
  EXPECT_TRUE(gone.expired());
  center_->postNotificationName("dragEnd", nullptr);  // nobody to call
}

TEST_F(NotificationCenterTest, ASenderFilterOutlivedByItsSenderMatchesNothingNew) {
  auto sender = NSString::make("first");
  auto token = center_->addObserverForName("n", sender, nullptr, note("seen"));
  sender.reset();
  // Whatever is made next, even at the same address, is a different sender.
  for (int i = 0; i < 100; ++i) center_->postNotificationName("n", NSString::make("first"));
  EXPECT_TRUE(log_.empty());
}
