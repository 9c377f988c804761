#include "standin/Catalogue.h"

std::shared_ptr<Catalogue> Catalogue::make(std::uint64_t seed, std::string baseURL) {
  return std::shared_ptr<Catalogue>(new Catalogue(seed, std::move(baseURL)));
}

Catalogue::Catalogue(std::uint64_t seed, std::string baseURL) : seed_(seed), baseURL_(std::move(baseURL)) {}
