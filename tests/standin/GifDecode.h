#pragma once
// Decodes GIF bytes with giflib, for checking the stand-in's media.

#include <optional>
#include <string>

struct DecodedGif {
  int width = 0;
  int height = 0;
  int frames = 0;
};

// Nothing when giflib refuses the bytes.
std::optional<DecodedGif> decodeGif(const std::string& bytes);
