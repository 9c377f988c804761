#pragma once
// Keyed coding: a class that can be written into an archive and rebuilt from one.
//
// A class adopts it by deriving from NSCoding beside NSObject, writing its fields in
// `encodeWithCoder`, and registering how it is rebuilt, once, under the class name it
// archives as (its className()):
//
//   static const NSCodingRegistration registration{"VornObject", &VornObject::initWithCoder};
//
// `initWithCoder` reads the fields back; an empty result means the archive holds no valid
// instance and decodes as nothing (that is not an error of the archive).

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSCoder;

class NSCoding {
 public:
  virtual ~NSCoding() = default;
  virtual void encodeWithCoder(NSCoder& coder) const = 0;
};

// How a class is rebuilt from the keyed coder positioned on one archived object.
using NSCodingInitializer = std::function<id(NSCoder&)>;

// Registers a decodable class with the keyed unarchiver when constructed.
struct NSCodingRegistration {
  NSCodingRegistration(std::string className, NSCodingInitializer initializer);
  template <typename T>
  NSCodingRegistration(std::string className, std::shared_ptr<T> (*initWithCoder)(NSCoder&))
      : NSCodingRegistration(std::move(className), NSCodingInitializer([initWithCoder](NSCoder& coder) -> id {
                               return initWithCoder(coder);
                             })) {}
};
