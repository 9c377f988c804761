#pragma once
// Holds an object alive to the end of a scope: for methods whose callbacks (delegates,
// notifications, closures) may drop the last outside reference to the object while the
// method still has work to do on it.

#include <memory>

template <typename T>
class KeepAlive {
 public:
  explicit KeepAlive(T& object) : object_(object.template sharedAs<T>()) {}
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;

  // The object as a shared reference, for handing it on (as a notification's sender, say).
  const std::shared_ptr<T>& get() const { return object_; }

 private:
  const std::shared_ptr<T> object_;
};
