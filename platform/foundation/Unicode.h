#pragma once
// Unicode rules the application relies on, done with ICU. Texts are UTF-8; invalid
// sequences never crash a rule, they are carried through as well as the rule allows.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/foundation/NSRange.h"

// The ordering of two texts, as the platform's comparison methods answer it.
enum NSComparisonResult : int { NSOrderedAscending = -1, NSOrderedSame = 0, NSOrderedDescending = 1 };

namespace Unicode {

bool isAscii(std::string_view text);
// Canonical decomposition (NFD). Invalid UTF-8 is kept byte for byte.
std::string decomposed(std::string_view text);
// Canonical composition (NFC).
std::string composed(std::string_view text);
// True when the two texts are canonically equivalent ("é" and "e" + combining acute).
bool canonicallyEqual(std::string_view a, std::string_view b);
// A hash that agrees with canonicallyEqual.
std::size_t canonicalHash(std::string_view text);

// Ordering that ignores letter case and treats canonically equivalent texts as the same
// (case folding, then UTF-16 order, as the platform's caseInsensitiveCompare: does).
NSComparisonResult caseInsensitiveCompare(std::string_view a, std::string_view b);
bool caseInsensitiveEqual(std::string_view a, std::string_view b);
// Ordering by UTF-16 code units after canonical decomposition (the platform's compare:).
NSComparisonResult compare(std::string_view a, std::string_view b);

// Case mappings (full mappings: "ß" upper-cases to "SS") by the rules of the locale with
// that identifier ("tr" maps "i" to "İ"), or of the root locale when none is given.
std::string lowercase(std::string_view text, std::string_view localeIdentifier = {});
std::string uppercase(std::string_view text, std::string_view localeIdentifier = {});
// The first character of every word in title case and the rest lower case; a word is a
// run of characters between white space (spaces, tabs, line breaks). Punctuation does not
// split words, so "hello-world" becomes "Hello-world".
std::string capitalized(std::string_view text, std::string_view localeIdentifier = {});

// Prefix and suffix tests that treat canonically equivalent texts as equal. A match must
// end on a character boundary: "e" is no prefix of "é" (e + combining acute).
bool hasPrefix(std::string_view text, std::string_view prefix);
bool hasSuffix(std::string_view text, std::string_view suffix);
// The first place where the target stands in the text, in UTF-16 code units, matching
// canonically equivalent texts and whole characters only; {NSNotFound, 0} when it is
// absent or empty. A match may differ in length from the target ("é" found for "e" +
// combining acute is one unit long, not two).
NSRange rangeOfString(std::string_view text, std::string_view target);

// White space: spaces, tabs and the other Unicode space separators; newlines are the line
// and paragraph terminators.
bool isWhitespace(char32_t c);
bool isNewline(char32_t c);
bool isWhitespaceOrNewline(char32_t c);
// The text without leading and trailing white space (and newlines when asked).
std::string trimmed(std::string_view text, bool includingNewlines = true);
// The rest of the text after its leading white space and newlines.
std::string_view withoutLeadingWhitespace(std::string_view text);

// The number of UTF-16 code units of the text (the platform's length).
std::size_t utf16Length(std::string_view text);
std::u16string toUtf16(std::string_view text);
std::string fromUtf16(std::u16string_view text);

}  // namespace Unicode
