#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "sdk/crash/VVDLog.h"
#include "service/PThreadMutex.h"
#include "tests/support/TestEnvironment.h"

namespace {

int attributeDestroyCalls = 0;

class PThreadMutexTest : public GlimdeckTest {
 protected:
  void SetUp() override {
    GlimdeckTest::SetUp();
    VVDCrashLog::clear();
    attributeDestroyCalls = 0;
  }
};

// Whether another thread could take the mutex right now.
bool otherThreadCanLock(PThreadMutex& mutex) {
  int result = -1;
  std::thread other([&] {
    result = pthread_mutex_trylock(mutex.native());
    if (result == 0) pthread_mutex_unlock(mutex.native());
  });
  other.join();
  return result == 0;
}

TEST_F(PThreadMutexTest, RecursiveMutexIsHeldUntilUnlockedAsOftenAsLocked) {
  auto made = PThreadMutex::make(PThreadMutex::PThreadMutexType::recursive);
  ASSERT_TRUE(made.has_value());
  auto& mutex = **made;
  mutex.lock();
  mutex.lock();
  EXPECT_FALSE(otherThreadCanLock(mutex));
  mutex.unlock();
  EXPECT_FALSE(otherThreadCanLock(mutex));
  mutex.unlock();
  EXPECT_TRUE(otherThreadCanLock(mutex));

  // The scoped form releases on the way out, also when the work leaves early.
  int answer = mutex.withLock([&] { return mutex.withLock([] { return 42; }); });
  EXPECT_EQ(answer, 42);
  EXPECT_TRUE(otherThreadCanLock(mutex));
}

TEST_F(PThreadMutexTest, NormalMutexExcludesOtherThreads) {
  auto made = PThreadMutex::make(PThreadMutex::PThreadMutexType::normal);
  ASSERT_TRUE(made.has_value());
  (*made)->lock();
  EXPECT_FALSE(otherThreadCanLock(**made));
  (*made)->unlock();
  EXPECT_TRUE(otherThreadCanLock(**made));
}

TEST_F(PThreadMutexTest, FailedSetUpIsLoggedToTheCrashLogAndReturnedAsAnError) {
  struct Case {
    const char* name;
    PThreadMutex::Primitives primitives;
    PThreadMutexError::Kind kind;
    const char* message;
    int attributeDestroys;
  };
  PThreadMutex::Primitives attributeFails;
  attributeFails.attributeInit = [](pthread_mutexattr_t*) { return 12; };
  attributeFails.attributeDestroy = [](pthread_mutexattr_t*) { return ++attributeDestroyCalls, 0; };
  PThreadMutex::Primitives mutexFails;
  mutexFails.mutexInit = [](pthread_mutex_t*, const pthread_mutexattr_t*) { return 22; };
  mutexFails.attributeDestroy = [](pthread_mutexattr_t* attributes) {
    ++attributeDestroyCalls;
    return pthread_mutexattr_destroy(attributes);
  };
  const Case cases[] = {
      // Attributes that never initialised are not destroyed either.
      {"attributes", attributeFails, PThreadMutexError::Kind::attributeInitializationError,
       "pthread_mutexattr_init() failed with return code: 12", 0},
      {"mutex", mutexFails, PThreadMutexError::Kind::mutexInitializationError,
       "pthread_mutex_init() failed with return code: 22", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VVDCrashLog::clear();
    attributeDestroyCalls = 0;
    auto made = PThreadMutex::make(PThreadMutex::PThreadMutexType::recursive, c.primitives);
    ASSERT_FALSE(made.has_value());
    EXPECT_EQ(made.error(), (PThreadMutexError{c.kind, c.message}));
    EXPECT_EQ(VVDCrashLog::lines(), std::vector<std::string>{c.message});
    EXPECT_EQ(attributeDestroyCalls, c.attributeDestroys);
  }
  // The crash log is not echoed to the console.
  EXPECT_TRUE(printedLines().empty());
}

TEST_F(PThreadMutexTest, CrashLogKeepsItsNewestLinesWithinItsCapacity) {
  std::string longLine(1000, 'x');
  for (int i = 0; i < 200; ++i) VVDLog("%d %s", i, longLine.c_str());
  auto lines = VVDCrashLog::lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "199 " + longLine);
  std::size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size();
  EXPECT_LE(bytes, VVDCrashLog::capacityBytes);
  EXPECT_LT(lines.size(), 200u);
}

}  // namespace
