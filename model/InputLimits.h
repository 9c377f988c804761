#pragma once
// How much the application takes in from the user, stated in one place: the longest text
// each field takes (in UTF-16 units, the text kit's length) and the largest GIF it stages
// for upload. Longer text is cut to fit as it is typed or pasted, and the screens that have
// a place for messages say so; a larger GIF is refused with a message.

#include <cstdint>

struct InputLimits {
  // A user name as services allow them: a handle, not a sentence.
  static constexpr std::uint64_t username = 32;
  // RFC 5321: a forward path is at most 256 octets, two of them the angle brackets.
  static constexpr std::uint64_t email = 254;
  // Room for a long passphrase.
  static constexpr std::uint64_t password = 128;
  static constexpr std::uint64_t searchTerm = 100;
  static constexpr std::uint64_t packName = 60;
  // The longest address that browsers and servers take alike.
  static constexpr std::uint64_t url = 2048;
  // A GIF's tags, all of them in one field.
  static constexpr std::uint64_t tags = 200;
  // The largest GIF file (or dropped GIF) staged for upload: the most a GIF fetched from an
  // address may be, the URL session's reply limit.
  static constexpr std::uint64_t uploadBytes = std::uint64_t{16} << 20;
  static constexpr std::uint64_t uploadMegabytes = uploadBytes >> 20;
};
