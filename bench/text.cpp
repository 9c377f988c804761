// Costs of the text rules on the paths the application takes often: dictionary keys
// (canonical hash and equality), name comparisons, colour parsing, Base64 and UUIDs.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/foundation/Base64.h"
#include "platform/foundation/NSNumberFormatter.h"
#include "platform/foundation/NSScanner.h"
#include "platform/foundation/NSUUID.h"
#include "platform/foundation/TextRules.h"
#include "platform/foundation/Unicode.h"

namespace {

const std::string kAsciiKey = "media_formats.tinygif.url";
const std::string kAccentedKey = "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e";

void BM_CanonicalHashAscii(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Unicode::canonicalHash(kAsciiKey));
}
BENCHMARK(BM_CanonicalHashAscii);

void BM_CanonicalHashAccented(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Unicode::canonicalHash(kAccentedKey));
}
BENCHMARK(BM_CanonicalHashAccented);

void BM_CaseInsensitiveCompareAscii(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Unicode::caseInsensitiveCompare("Favorites", "favorites"));
}
BENCHMARK(BM_CaseInsensitiveCompareAscii);

void BM_CaseInsensitiveCompareAccented(benchmark::State& state) {
  const std::string upper = Unicode::uppercase(kAccentedKey);
  for (auto _ : state) benchmark::DoNotOptimize(Unicode::caseInsensitiveCompare(kAccentedKey, upper));
}
BENCHMARK(BM_CaseInsensitiveCompareAccented);

void BM_HexColour(benchmark::State& state) {
  for (auto _ : state) {
    auto scanner = NSScanner::scannerWithString("#4CAFFF");
    scanner->setScanLocation(1);
    std::uint32_t value = 0;
    scanner->scanHexInt(&value);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_HexColour);

void BM_NumberFromString(benchmark::State& state) {
  auto formatter = NSNumberFormatter::make();
  for (auto _ : state) benchmark::DoNotOptimize(formatter->numberFromString("12345678901"));
}
BENCHMARK(BM_NumberFromString);

void BM_BoolValue(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(TextRules::boolValue("  +0001"));
}
BENCHMARK(BM_BoolValue);

void BM_Base64Encode(benchmark::State& state) {
  const std::string bytes(static_cast<std::size_t>(state.range(0)), '\x5A');
  for (auto _ : state) benchmark::DoNotOptimize(Base64::encode(bytes));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(48)->Arg(1 << 20);

void BM_Base64DecodeLenient(benchmark::State& state) {
  std::string text = Base64::encode(std::string(static_cast<std::size_t>(state.range(0)), '\x5A'));
  for (std::size_t i = 76; i < text.size(); i += 77) text.insert(text.begin() + static_cast<std::ptrdiff_t>(i), '\n');
  for (auto _ : state) benchmark::DoNotOptimize(Base64::decode(text, Base64::Decoding::ignoreUnknownCharacters));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Base64DecodeLenient)->Arg(48)->Arg(1 << 20);

void BM_UuidText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(NSUUID::UUID()->UUIDString());
}
BENCHMARK(BM_UuidText);

}  // namespace
