#pragma once
// One POSIX mutex, of the normal or the recursive kind, kept inside the object so that its
// address never changes. The media cache guards its maps with a recursive one: its store
// is entered with the lock held and takes it again for the trim.

#include <pthread.h>

#include <cstdint>
#include <expected>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

// Why a mutex could not be made; the message is the text also written to the crash log.
struct PThreadMutexError {
  enum class Kind { attributeInitializationError, mutexInitializationError };
  Kind kind;
  std::string message;

  bool operator==(const PThreadMutexError&) const = default;
};

class PThreadMutex : public NSObject {
 public:
  enum class PThreadMutexType : std::int32_t { normal = 0, recursive = 1 };

  // The system calls a mutex is made with. Callers pass their own to see how the set-up
  // copes with a system that refuses.
  struct Primitives {
    int (*attributeInit)(pthread_mutexattr_t*) = pthread_mutexattr_init;
    int (*attributeSetType)(pthread_mutexattr_t*, int) = pthread_mutexattr_settype;
    int (*attributeDestroy)(pthread_mutexattr_t*) = pthread_mutexattr_destroy;
    int (*mutexInit)(pthread_mutex_t*, const pthread_mutexattr_t*) = pthread_mutex_init;
  };

  // A ready mutex, or why none could be made; a failure leaves nothing half made behind.
  static std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> make(PThreadMutexType type);
  static std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> make(PThreadMutexType type,
                                                                              const Primitives& primitives);
  ~PThreadMutex() override;

  void lock() { pthread_mutex_lock(&unsafeMutex); }
  void unlock() { pthread_mutex_unlock(&unsafeMutex); }

  // Runs the work between lock and unlock; the lock is released however the work ends.
  template <typename Work>
  decltype(auto) withLock(Work&& work) {
    struct Guard {
      PThreadMutex& mutex;
      ~Guard() { mutex.unlock(); }
    };
    lock();
    Guard guard{*this};
    return std::forward<Work>(work)();
  }

  PThreadMutexType type() const { return type_; }
  // The POSIX mutex itself, for code that must hand it to a system call.
  pthread_mutex_t* native() { return &unsafeMutex; }
  GLIMDECK_OBJECT(PThreadMutex)

 private:
  explicit PThreadMutex(PThreadMutexType type) : type_(type) {}

  pthread_mutex_t unsafeMutex{};
  PThreadMutexType type_;
  // Only a mutex that initialised is ever destroyed.
  bool initialised_ = false;
};
