#include "model/TelescopeUnit.h"

TelescopeUnit::Result TelescopeUnit::initWithApiResponse(const Entry& entry) {
  auto tag = entry.find(std::string(Constants::tag));
  if (tag == entry.end()) return std::unexpected(TelescopeSerializationError::missing(std::string(Constants::tag)));
  auto image = entry.find(std::string(Constants::image));
  if (image == entry.end()) return std::unexpected(TelescopeSerializationError::missing(std::string(Constants::image)));
  auto type = entry.find(std::string(Constants::type));
  if (type == entry.end()) return std::unexpected(TelescopeSerializationError::missing(std::string(Constants::type)));
  std::shared_ptr<TelescopeUnit> unit(new TelescopeUnit());
  unit->term = tag->second;
  unit->imageURL = NSURL::URLWithString(image->second);
  if (!unit->imageURL) return std::unexpected(TelescopeSerializationError::missing(std::string(Constants::image)));
  unit->type = type->second == Constants::didyoumean ? TelescopeType::didyoumean : TelescopeType::telescope;
  return unit;
}

std::shared_ptr<TelescopeUnit> TelescopeUnit::initWithApiResponse(const Entry& entry, std::shared_ptr<NSError>* error) {
  auto result = initWithApiResponse(entry);
  if (result) return *result;
  if (error) *error = result.error().toNSError();
  return nullptr;
}
