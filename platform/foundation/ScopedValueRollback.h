#pragma once
// Gives a variable a value for the life of a scope and puts the old value back when the
// scope is left, however it is left: the guard of code that must not run again while a
// callback it makes is still running.

#include <utility>

template <typename T>
class ScopedValueRollback {
 public:
  ScopedValueRollback(T& variable, T value) : variable_(variable), old_(std::exchange(variable, std::move(value))) {}
  ~ScopedValueRollback() { variable_ = std::move(old_); }
  ScopedValueRollback(const ScopedValueRollback&) = delete;
  ScopedValueRollback& operator=(const ScopedValueRollback&) = delete;

 private:
  T& variable_;
  T old_;
};
