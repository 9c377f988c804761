#pragma once
// A named announcement with the object that sent it and optional details.

#include <memory>
#include <string>

#include "platform/foundation/NSDictionary.h"

class NSNotification : public NSObject {
 public:
  static std::shared_ptr<NSNotification> notificationWithName(std::string name, id object,
                                                              std::shared_ptr<NSDictionary> userInfo = nullptr);

  const std::string& name() const { return name_; }
  const id& object() const { return object_; }
  const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }

  GLIMDECK_OBJECT(NSNotification)

 private:
  NSNotification(std::string name, id object, std::shared_ptr<NSDictionary> userInfo)
      : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}
  std::string name_;
  id object_;
  std::shared_ptr<NSDictionary> userInfo_;
};
