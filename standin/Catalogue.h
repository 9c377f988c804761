#pragma once
// The stand-in's generated catalogue of GIF items, users and media. Everything is derived
// from a seed, so two catalogues made from the same seed are identical.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class Catalogue : public NSObject {
 public:
  static constexpr std::uint64_t defaultSeed = 20261207;

  // `baseURL` is where the media of the items are served ("http://127.0.0.1:8765").
  static std::shared_ptr<Catalogue> make(std::uint64_t seed = defaultSeed, std::string baseURL = "http://127.0.0.1");
  std::string className() const override { return "Catalogue"; }

  std::uint64_t seed() const { return seed_; }
  const std::string& baseURL() const { return baseURL_; }

 private:
  Catalogue(std::uint64_t seed, std::string baseURL);

  std::uint64_t seed_;
  std::string baseURL_;
};
