#pragma once
// The root of every object with identity, and the type test used on dynamic values.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

class NSObject : public std::enable_shared_from_this<NSObject> {
 public:
  NSObject() = default;
  NSObject(const NSObject&) = delete;
  NSObject& operator=(const NSObject&) = delete;
  virtual ~NSObject() = default;

  // The name the object answers to in archives and diagnostics.
  virtual std::string className() const { return "NSObject"; }
  // Identity unless a class defines value equality.
  virtual bool isEqual(const std::shared_ptr<NSObject>& other) const { return other.get() == this; }
  virtual std::size_t hash() const { return reinterpret_cast<std::uintptr_t>(this); }
  virtual std::string description() const;

  template <typename T>
  std::shared_ptr<T> sharedAs() {
    return std::dynamic_pointer_cast<T>(shared_from_this());
  }
  template <typename T>
  std::shared_ptr<const T> sharedAs() const {
    return std::dynamic_pointer_cast<const T>(shared_from_this());
  }
};

using id = std::shared_ptr<NSObject>;

// One allocation for an object and its reference count, for classes whose constructors are
// protected so that their factories stay the only way to make them.
template <typename T, typename... Args>
std::shared_ptr<T> makeShared(Args&&... args) {
  struct Made final : T {
    explicit Made(Args&&... made) : T(std::forward<Args>(made)...) {}
  };
  return std::make_shared<Made>(std::forward<Args>(args)...);
}

// The value as a T when it is one (or derives from one), else empty. Never assume a type.
template <typename T>
std::shared_ptr<T> asA(const std::shared_ptr<NSObject>& value) {
  return std::dynamic_pointer_cast<T>(value);
}

// Equality of two possibly empty objects: both empty, or equal by value.
bool objectsEqual(const std::shared_ptr<NSObject>& a, const std::shared_ptr<NSObject>& b);
