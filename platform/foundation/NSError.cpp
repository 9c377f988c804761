#include "platform/foundation/NSError.h"

#include "platform/foundation/NSString.h"

std::shared_ptr<NSError> NSError::make(std::string domain, std::int64_t code,
                                       std::shared_ptr<NSDictionary> userInfo) {
  if (!userInfo) userInfo = NSDictionary::make();
  return create(std::move(domain), code, std::move(userInfo));
}

std::shared_ptr<NSError> NSError::make(std::string domain, std::int64_t code, std::string description) {
  auto info = NSDictionary::make();
  info->setObject(NSString::make(std::move(description)), NSLocalizedDescriptionKey);
  return make(std::move(domain), code, info);
}

std::string NSError::localizedDescription() const {
  if (auto text = userInfo_->objectForKeyAs<NSString>(NSLocalizedDescriptionKey)) return text->string();
  return "The operation couldn't be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

bool NSError::isEqual(const std::shared_ptr<NSObject>& other) const {
  auto error = asA<NSError>(other);
  return error && error->domain_ == domain_ && error->code_ == code_;
}

std::string NSError::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + localizedDescription() + "\"";
}
