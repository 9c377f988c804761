#include "platform/foundation/Unicode.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/stringoptions.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace {

icu::UnicodeString toUnicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

bool isValidUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

const icu::Normalizer2* nfd() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
  return U_SUCCESS(status) ? n : nullptr;
}

const icu::Normalizer2* nfc() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
  return U_SUCCESS(status) ? n : nullptr;
}

icu::UnicodeString normalizedWith(const icu::Normalizer2* normalizer, const icu::UnicodeString& text) {
  if (!normalizer) return text;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = normalizer->normalize(text, status);
  return U_SUCCESS(status) ? result : text;
}

icu::UnicodeString decomposedUnicode(std::string_view text) { return normalizedWith(nfd(), toUnicode(text)); }

icu::Locale localeFor(std::string_view identifier) {
  if (identifier.empty()) return icu::Locale::getRoot();
  return icu::Locale(std::string(identifier).c_str());
}

NSComparisonResult ordering(int comparison) {
  return comparison < 0 ? NSOrderedAscending : comparison > 0 ? NSOrderedDescending : NSOrderedSame;
}

// Whether a text may be cut just before the code unit at `index` without splitting a
// character: no combining mark, conjoining jamo or trailing surrogate follows the cut.
bool isCharacterBoundary(const icu::UnicodeString& text, int32_t index) {
  if (index <= 0 || index >= text.length()) return true;
  if (U16_IS_TRAIL(text.charAt(index)) && U16_IS_LEAD(text.charAt(index - 1))) return false;
  const icu::Normalizer2* composer = nfc();
  return !composer || composer->hasBoundaryBefore(text.char32At(index));
}

// The number of bytes at the start of the text whose characters all satisfy the test
// (invalid bytes reach the test as a negative value).
template <typename Test>
int32_t leadingRunLength(std::string_view text, const Test& test) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t start = 0;
  while (start < length) {
    int32_t next = start;
    UChar32 c;
    U8_NEXT(bytes, next, length, c);
    if (!test(c)) break;
    start = next;
  }
  return start;
}

}  // namespace

namespace Unicode {

bool isAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string decomposed(std::string_view text) {
  if (isAscii(text) || !isValidUtf8(text)) return std::string(text);
  return toUtf8(decomposedUnicode(text));
}

std::string composed(std::string_view text) {
  if (isAscii(text) || !isValidUtf8(text)) return std::string(text);
  return toUtf8(normalizedWith(nfc(), toUnicode(text)));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isAscii(a) && isAscii(b)) return false;
  return decomposed(a) == decomposed(b);
}

std::size_t canonicalHash(std::string_view text) {
  if (isAscii(text)) return std::hash<std::string_view>{}(text);
  return std::hash<std::string>{}(decomposed(text));
}

NSComparisonResult compare(std::string_view a, std::string_view b) {
  // ASCII byte order is UTF-16 order.
  if (isAscii(a) && isAscii(b)) return ordering(a.compare(b));
  return ordering(decomposedUnicode(a).compare(decomposedUnicode(b)));
}

NSComparisonResult caseInsensitiveCompare(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
      const unsigned char x = lower(a[i]);
      const unsigned char y = lower(b[i]);
      if (x != y) return x < y ? NSOrderedAscending : NSOrderedDescending;
    }
    return ordering(a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
  }
  // Folding can leave a text that is no longer in normal form ("ǰ" folds to j + caron),
  // so the folded texts are decomposed once more before they are compared.
  icu::UnicodeString x = decomposedUnicode(a);
  icu::UnicodeString y = decomposedUnicode(b);
  x.foldCase(U_FOLD_CASE_DEFAULT);
  y.foldCase(U_FOLD_CASE_DEFAULT);
  return ordering(normalizedWith(nfd(), x).compare(normalizedWith(nfd(), y)));
}

bool caseInsensitiveEqual(std::string_view a, std::string_view b) {
  return caseInsensitiveCompare(a, b) == NSOrderedSame;
}

std::string lowercase(std::string_view text, std::string_view localeIdentifier) {
  icu::UnicodeString u = toUnicode(text);
  u.toLower(localeFor(localeIdentifier));
  return toUtf8(u);
}

std::string uppercase(std::string_view text, std::string_view localeIdentifier) {
  icu::UnicodeString u = toUnicode(text);
  u.toUpper(localeFor(localeIdentifier));
  return toUtf8(u);
}

std::string capitalized(std::string_view text, std::string_view localeIdentifier) {
  const icu::Locale locale = localeFor(localeIdentifier);
  const icu::UnicodeString source = toUnicode(text);
  icu::UnicodeString result;
  int32_t i = 0;
  while (i < source.length()) {
    const UChar32 c = source.char32At(i);
    if (isWhitespaceOrNewline(static_cast<char32_t>(c))) {
      result.append(c);
      i += U16_LENGTH(c);
      continue;
    }
    int32_t end = i;
    while (end < source.length() && !isWhitespaceOrNewline(static_cast<char32_t>(source.char32At(end)))) {
      end += U16_LENGTH(source.char32At(end));
    }
    icu::UnicodeString word(source, i, end - i);
    // The whole word is one unit: its first character is title-cased even when it is
    // not a letter, and everything after it is lower-cased.
    word.toTitle(nullptr, locale, U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_BREAK_ADJUSTMENT);
    result.append(word);
    i = end;
  }
  return toUtf8(result);
}

bool hasPrefix(std::string_view text, std::string_view prefix) {
  if (isAscii(text) && isAscii(prefix)) return text.starts_with(prefix);
  const icu::UnicodeString t = decomposedUnicode(text);
  const icu::UnicodeString p = decomposedUnicode(prefix);
  return t.startsWith(p) && isCharacterBoundary(t, p.length());
}

bool hasSuffix(std::string_view text, std::string_view suffix) {
  if (isAscii(text) && isAscii(suffix)) return text.ends_with(suffix);
  const icu::UnicodeString t = decomposedUnicode(text);
  const icu::UnicodeString s = decomposedUnicode(suffix);
  return t.endsWith(s) && isCharacterBoundary(t, t.length() - s.length());
}

NSRange rangeOfString(std::string_view text, std::string_view target) {
  constexpr NSRange kAbsent{NSNotFound, 0};
  if (target.empty()) return kAbsent;
  if (isAscii(text) && isAscii(target)) {
    const std::size_t found = text.find(target);
    return found == std::string_view::npos ? kAbsent : NSRange{found, target.size()};
  }
  // The text is cut into characters (at normalisation boundaries) and decomposed piece by
  // piece, remembering where each piece starts in both forms; a match of the decomposed
  // target must start and end where pieces do.
  const icu::UnicodeString original = toUnicode(text);
  const icu::UnicodeString wanted = normalizedWith(nfd(), toUnicode(target));
  icu::UnicodeString decomposedText;
  std::vector<int32_t> originalStarts;
  std::vector<int32_t> decomposedStarts;
  int32_t pieceStart = 0;
  for (int32_t i = 1; i <= original.length(); ++i) {
    if (i < original.length() && !isCharacterBoundary(original, i)) continue;
    originalStarts.push_back(pieceStart);
    decomposedStarts.push_back(decomposedText.length());
    decomposedText.append(normalizedWith(nfd(), icu::UnicodeString(original, pieceStart, i - pieceStart)));
    pieceStart = i;
  }
  originalStarts.push_back(original.length());
  decomposedStarts.push_back(decomposedText.length());

  auto pieceAt = [&](int32_t decomposedIndex) -> std::optional<std::size_t> {
    auto it = std::lower_bound(decomposedStarts.begin(), decomposedStarts.end(), decomposedIndex);
    if (it == decomposedStarts.end() || *it != decomposedIndex) return std::nullopt;
    return static_cast<std::size_t>(it - decomposedStarts.begin());
  };
  for (int32_t at = decomposedText.indexOf(wanted); at >= 0; at = decomposedText.indexOf(wanted, at + 1)) {
    const auto first = pieceAt(at);
    const auto last = pieceAt(at + wanted.length());
    if (first && last) {
      return {static_cast<std::uint64_t>(originalStarts[*first]),
              static_cast<std::uint64_t>(originalStarts[*last] - originalStarts[*first])};
    }
  }
  return kAbsent;
}

bool isWhitespace(char32_t c) {
  return c == U'\t' || (c <= 0x10FFFF && u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR);
}

bool isNewline(char32_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isWhitespaceOrNewline(char32_t c) { return isWhitespace(c) || isNewline(c); }

std::string trimmed(std::string_view text, bool includingNewlines) {
  auto skipped = [includingNewlines](UChar32 c) {
    if (c < 0) return false;
    const auto cp = static_cast<char32_t>(c);
    return includingNewlines ? isWhitespaceOrNewline(cp) : isWhitespace(cp);
  };
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  const int32_t start = leadingRunLength(text, skipped);
  int32_t end = length;
  while (end > start) {
    int32_t previous = end;
    UChar32 c;
    U8_PREV(bytes, start, previous, c);
    if (!skipped(c)) break;
    end = previous;
  }
  return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::string_view withoutLeadingWhitespace(std::string_view text) {
  const int32_t start =
      leadingRunLength(text, [](UChar32 c) { return c >= 0 && isWhitespaceOrNewline(static_cast<char32_t>(c)); });
  return text.substr(static_cast<std::size_t>(start));
}

std::size_t utf16Length(std::string_view text) {
  if (isAscii(text)) return text.size();
  return static_cast<std::size_t>(toUnicode(text).length());
}

std::u16string toUtf16(std::string_view text) {
  const icu::UnicodeString u = toUnicode(text);
  return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()), static_cast<std::size_t>(u.length()));
}

std::string fromUtf16(std::u16string_view text) {
  return toUtf8(icu::UnicodeString(text.data(), static_cast<int32_t>(text.size())));
}

}  // namespace Unicode
