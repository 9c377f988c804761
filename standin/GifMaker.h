#pragma once
// Makes the stand-in's media: small real animated GIFs (giflib), GIFs padded to an exact
// byte count with a comment extension (so that a file of any size, up to many megabytes,
// is still a GIF that decoders read), and MP4-named files.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

class GifMaker {
 public:
  struct Look {
    int width = 16;
    int height = 16;
    int frames = 3;
    std::uint32_t rgb = 0x3366cc;  // the background colour, 0xRRGGBB
    bool loop = true;              // with the looping (NETSCAPE2.0) extension
  };

  // A file of exactly `size` bytes made of the bytes of a smaller one and padding; written
  // piece by piece so that a big file never needs to be held whole.
  class PaddedFile {
   public:
    std::size_t size() const { return size_; }
    // Appends the bytes [offset, offset + length) to `out`.
    void write(std::size_t offset, std::size_t length, std::string& out) const;
    std::string bytes() const;

   private:
    friend class GifMaker;
    std::string prefix_;  // the GIF without its trailer (or the whole MP4 head)
    std::size_t size_ = 0;
    bool gif_ = true;
  };

  // An animated GIF of the look, trailer included. Sizes are clamped to 1...2048.
  static std::string animated(const Look& look);
  // A number of bytes that animated(look) never exceeds.
  static std::size_t sizeBound(const Look& look);
  // The GIF of the look padded to exactly `size` bytes. Every size from that of the look's
  // GIF up can be made (with the looping extension left out when the padding would
  // otherwise be too short); smaller sizes fail.
  static std::expected<PaddedFile, std::string> padded(const Look& look, std::size_t size);
  // An MP4-named file of exactly `size` bytes (at least 36): an "ftyp" box and an "mdat"
  // box of filler, enough for anything that only checks the container's signature.
  static std::expected<PaddedFile, std::string> mp4(std::size_t size);
  // A real movie file padded to exactly `size` bytes with a trailing "free" box, which
  // movie readers skip; a size below the movie's, or under a box header above it, fails.
  static std::expected<PaddedFile, std::string> paddedMovie(std::string movie, std::size_t size);

  GifMaker() = delete;
};
