#pragma once
// The keyed coder that NSCoding classes write into and read from. The keyed archiver
// implements the encoding half, the keyed unarchiver the decoding half; each answers the
// other half with nothing.

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class NSCoder {
 public:
  // Error codes of NSCocoaErrorDomain.
  static constexpr std::int64_t NSCoderReadCorruptError = 4864;
  static constexpr std::int64_t NSCoderValueNotFoundError = 4865;
  static constexpr std::int64_t NSCoderInvalidValueError = 4866;

  // A typed read: the object, empty when the key is missing or holds a null reference,
  // or an error when the key holds an object of another type.
  template <typename T>
  using Typed = std::expected<std::shared_ptr<T>, std::shared_ptr<NSError>>;

  virtual ~NSCoder() = default;
  bool allowsKeyedCoding() const { return true; }

  // --- Encoding
  // An empty object is written as a null reference: the key is then present.
  virtual void encodeObject(const id& object, std::string_view key);
  virtual void encodeBool(bool value, std::string_view key);
  virtual void encodeInt64(std::int64_t value, std::string_view key);
  void encodeInteger(std::int64_t value, std::string_view key) { encodeInt64(value, key); }
  virtual void encodeDouble(double value, std::string_view key);
  // A list of object references kept inline in the current object (how lists and
  // dictionaries store their elements).
  virtual void encodeObjects(const std::vector<id>& objects, std::string_view key);

  // --- Decoding
  virtual bool containsValueForKey(std::string_view key) const;
  virtual id decodeObjectForKey(std::string_view key);
  // Missing keys and values of another kind read as false, 0 or 0.0.
  virtual bool decodeBoolForKey(std::string_view key);
  virtual std::int64_t decodeInt64ForKey(std::string_view key);
  std::int64_t decodeIntegerForKey(std::string_view key) { return decodeInt64ForKey(key); }
  virtual double decodeDoubleForKey(std::string_view key);
  // The objects of an inline reference list; nothing when the key holds no such list.
  virtual std::optional<std::vector<id>> decodeObjectsForKey(std::string_view key);

  template <typename T>
  Typed<T> decodeObjectOfClass(std::string_view key) {
    id object = decodeObjectForKey(key);
    if (!object) return std::shared_ptr<T>();
    if (auto typed = asA<T>(object)) return typed;
    return std::unexpected(anotherTypeError(key, object->className()));
  }
  // A list whose every element is a T; another type for the list or any element is an error.
  template <typename T>
  Typed<NSArray> decodeArrayOfObjectsOfClass(std::string_view key) {
    auto list = decodeObjectOfClass<NSArray>(key);
    if (!list || !*list) return list;
    for (const id& element : **list) {
      if (!asA<T>(element)) return std::unexpected(anotherTypeError(key, element ? element->className() : "null"));
    }
    return list;
  }

  // A failure that ends the whole coding; the archiver or unarchiver reports the first one.
  void failWithError(std::shared_ptr<NSError> error);
  const std::shared_ptr<NSError>& error() const { return error_; }

  static std::shared_ptr<NSError> anotherTypeError(std::string_view key, std::string_view foundClass);

 private:
  std::shared_ptr<NSError> error_;
};
