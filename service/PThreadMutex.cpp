#include "service/PThreadMutex.h"

#include <cstring>

#include "sdk/crash/VVDLog.h"

namespace {

PThreadMutexError failure(PThreadMutexError::Kind kind, const char* call, int code) {
  std::string text = std::string(call) + " failed with return code: ";
  VVDLog("%s failed with return code: %d", call, code);
  return PThreadMutexError{kind, text + std::to_string(code)};
}

}  // namespace

std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> PThreadMutex::make(PThreadMutexType type) {
  return make(type, Primitives{});
}

std::expected<std::shared_ptr<PThreadMutex>, PThreadMutexError> PThreadMutex::make(PThreadMutexType type,
                                                                                   const Primitives& primitives) {
  auto mutex = std::shared_ptr<PThreadMutex>(new PThreadMutex(type));
  pthread_mutexattr_t attributes;
  std::memset(&attributes, 0, sizeof attributes);
  std::memset(&mutex->unsafeMutex, 0, sizeof mutex->unsafeMutex);

  int code = primitives.attributeInit(&attributes);
  if (code != 0) {
    // Neither the attributes nor the mutex were ever initialised, so neither is destroyed;
    // the object is marked so that its destructor leaves the storage alone too.
    mutex->initialised_ = false;
    return std::unexpected(failure(PThreadMutexError::Kind::attributeInitializationError, "pthread_mutexattr_init()", code));
  }
  primitives.attributeSetType(&attributes,
                              type == PThreadMutexType::recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_NORMAL);
  code = primitives.mutexInit(&mutex->unsafeMutex, &attributes);
  primitives.attributeDestroy(&attributes);
  if (code != 0) {
    mutex->initialised_ = false;
    return std::unexpected(failure(PThreadMutexError::Kind::mutexInitializationError, "pthread_mutex_init()", code));
  }
  mutex->initialised_ = true;
  return mutex;
}

PThreadMutex::~PThreadMutex() {
  if (initialised_) pthread_mutex_destroy(&unsafeMutex);
}
