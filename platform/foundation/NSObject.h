#pragma once
// The root of every object with identity, and the type test used on dynamic values.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// One declaration per class, in a public section: the name the object answers to (its C++
// name) and, for the class's own factories, `create(arguments...)`, which makes a shared
// instance through the class's constructor, object and reference count in one allocation. It
// is private so that outside code still goes through the factories that check their input.
// Classes that spell className() out still work the same.
//
//   class Tile : public NSObject {
//    public:
//     GLIMDECK_OBJECT(Tile)
//     static std::shared_ptr<Tile> make(int number) { return create(std::max(number, 0)); }
//    private:
//     explicit Tile(int number);
//   };
#define GLIMDECK_OBJECT(Class)                                                        \
  std::string className() const override { return #Class; }                           \
                                                                                      \
 private:                                                                             \
  template <typename... Arguments>                                                    \
  static std::shared_ptr<Class> create(Arguments&&... arguments) {                    \
    struct Made final : Class {                                                       \
      explicit Made(Arguments&&... made) : Class(std::forward<Arguments>(made)...) {} \
    };                                                                                \
    return std::make_shared<Made>(std::forward<Arguments>(arguments)...);             \
  }                                                                                   \
                                                                                      \
 public:

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
