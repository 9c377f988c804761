// Bodies that came compressed: each content coding expands to the bytes that were sent, a
// small body never expands past the limit however it is made, and broken or unknown ones are
// refused.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/foundation/Compression.h"
#include "platform/foundation/JSONReader.h"
#include "tests/support/Gzip.h"

namespace {

using Compression::Failure;
using testgzip::compress;
using testgzip::gzip;

std::string sample(std::size_t length) {
  std::string text;
  for (std::size_t i = 0; text.size() < length; ++i) text += "{\"id\":\"" + std::to_string(i * 7919 % 1000) + "\"},";
  text.resize(length);
  return text;
}

constexpr std::size_t kLimit = 1 << 20;

TEST(Compression, EachCodingExpandsOrIsRefused) {
  const std::string text = sample(50'000);
  const std::string member = gzip(text);
  std::string corrupt = member;
  corrupt[member.size() / 2] = static_cast<char>(corrupt[member.size() / 2] ^ 0x5a);
  const std::string zeros(3 * kLimit, '\0');
  struct Case {
    const char* name;
    const char* codings;
    std::string body;
    std::string expanded;  // when it expands
    std::optional<Failure> failure;
  };
  const Case cases[] = {
      {"one gzip member", "gzip", member, text, {}},
      {"the old name of gzip, in capitals", " X-GZIP ", member, text, {}},
      {"two members, one after the other", "gzip", gzip("first ") + gzip("second"), "first second", {}},
      {"an empty member", "gzip", gzip(""), "", {}},
      {"a trailer that states too little", "gzip", testgzip::withStatedSize(member, 100), "", Failure::corrupt},
      {"a trailer that states too much", "gzip", testgzip::withStatedSize(member, 60'000), "", Failure::corrupt},
      {"a flipped byte", "gzip", corrupt, "", Failure::corrupt},
      {"cut short", "gzip", member.substr(0, member.size() - 9), "", Failure::corrupt},
      {"not gzip at all", "gzip", text, "", Failure::corrupt},
      {"a bomb that says so", "gzip", gzip(zeros), "", Failure::tooLarge},
      {"a bomb that hides it", "gzip", testgzip::withStatedSize(gzip(zeros), 10), "", Failure::tooLarge},
      {"a zlib stream", "deflate", compress(text, 15), text, {}},
      {"bare deflate data", "deflate", compress(text, -15), text, {}},
      {"a deflate bomb", "deflate", compress(zeros, 15), "", Failure::tooLarge},
      {"broken deflate data", "deflate", "not deflate data", "", Failure::corrupt},
      {"gzip twice", "gzip, gzip", gzip(member), text, {}},
      {"deflate, then gzip", "deflate,gzip", gzip(compress(text, 15)), text, {}},
      {"identity", "identity", text, text, {}},
      {"no coding", "", text, text, {}},
      {"identity past the limit", "identity", std::string(kLimit + 1, 'x'), "", Failure::tooLarge},
      {"a coding this platform does not know", "br", member, "", Failure::unsupported},
      {"too many codings", "gzip,gzip,gzip,gzip,gzip", member, "", Failure::unsupported},
  };
  for (const auto& c : cases) {
    auto result = Compression::decodeContent(c.codings, NSData::fromString(c.body), kLimit, JSONReader::padding);
    if (c.failure) {
      ASSERT_FALSE(result) << c.name;
      EXPECT_EQ(result.error(), *c.failure) << c.name;
      continue;
    }
    ASSERT_TRUE(result) << c.name;
    EXPECT_EQ((*result)->view(), c.expanded) << c.name;
    // Read where it lies by a parser that reads past the end.
    EXPECT_GE((*result)->capacity(), (*result)->length() + JSONReader::padding) << c.name;
  }
}

TEST(Compression, TheLimitIsTheLastByteThatMayExpand) {
  const std::string text = sample(4096);
  struct Case {
    std::string body;
    const char* codings;
  };
  for (const Case& c : {Case{gzip(text), "gzip"}, Case{gzip(text.substr(0, 2000)) + gzip(text.substr(2000)), "gzip"},
                        Case{compress(text, 15), "deflate"}}) {
    auto exact = Compression::decodeContent(c.codings, NSData::fromString(c.body), text.size(), 0);
    ASSERT_TRUE(exact) << c.codings;
    EXPECT_EQ((*exact)->view(), text);
    auto under = Compression::decodeContent(c.codings, NSData::fromString(c.body), text.size() - 1, 0);
    ASSERT_FALSE(under) << c.codings;
    EXPECT_EQ(under.error(), Failure::tooLarge);
  }
}

// A body sent gzip-compressed keeps its compressed bytes, which expand to it again; one sent
// otherwise keeps none.
TEST(Compression, AGzipBodyKeepsItsCompressedBytes) {
  const std::string text = sample(20'000);
  auto compressed = NSData::fromString(gzip(text));
  auto expanded = Compression::decodeContent("gzip", compressed, kLimit, 0);
  ASSERT_TRUE(expanded);
  ASSERT_TRUE((*expanded)->compressedSource());
  EXPECT_EQ((*expanded)->compressedSource()->view(), compressed->view());
  auto again = Compression::gunzip((*expanded)->compressedSource()->view(), kLimit, 0);
  ASSERT_TRUE(again);
  EXPECT_EQ((*again)->view(), text);

  for (const char* codings : {"", "deflate", "gzip, gzip"}) {
    std::string body = codings == std::string("deflate") ? compress(text, 15)
                       : *codings == '\0'                ? text
                                                         : gzip(gzip(text));
    auto other = Compression::decodeContent(codings, NSData::fromString(body), kLimit, 0);
    ASSERT_TRUE(other) << codings;
    EXPECT_FALSE((*other)->compressedSource()) << codings;
  }
  // Bytes changed in place are no longer what the compressed ones expand to.
  (*expanded)->mutableBytes()[0] = 'x';
  EXPECT_FALSE((*expanded)->compressedSource());
}

}  // namespace
