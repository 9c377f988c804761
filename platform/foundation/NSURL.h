#pragma once
// Uniform resource locators: strict RFC 3986 parsing (a text that is not a URL gives no
// URL), file URLs, and path arithmetic. Also the character sets and percent-encoding
// helpers that URLs and URL components share.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/NSCoding.h"
#include "platform/foundation/NSObject.h"

// A set of ASCII characters (bytes above 127 are never members), used to say which
// characters may stand unencoded in one part of a URL.
class URLCharacterSet {
 public:
  URLCharacterSet() = default;
  static URLCharacterSet withCharacters(std::string_view characters);

  bool contains(unsigned char c) const { return c < 128 && ((bits_[c >> 6] >> (c & 63)) & 1) != 0; }
  URLCharacterSet adding(std::string_view characters) const;
  URLCharacterSet removing(std::string_view characters) const;
  bool operator==(const URLCharacterSet&) const = default;

 private:
  std::array<std::uint64_t, 2> bits_{};
};

// The platform's predefined sets: unreserved characters, plus what each part allows.
const URLCharacterSet& URLQueryAllowedCharacterSet();     // unreserved, sub-delims, ":", "@", "/", "?"
const URLCharacterSet& URLFragmentAllowedCharacterSet();  // same as the query set
const URLCharacterSet& URLPathAllowedCharacterSet();      // unreserved, sub-delims but ";", ":", "@", "/"
const URLCharacterSet& URLHostAllowedCharacterSet();      // unreserved, sub-delims, ":", "[", "]"
const URLCharacterSet& URLUserAllowedCharacterSet();      // unreserved, sub-delims
const URLCharacterSet& URLPasswordAllowedCharacterSet();  // unreserved, sub-delims

// Every byte outside `allowed` becomes "%XX" (upper-case hex) of that byte; UTF-8 text
// is therefore encoded byte by byte.
std::string percentEncoded(std::string_view text, const URLCharacterSet& allowed);
// The same, appended to `out`.
void appendPercentEncoded(std::string& out, std::string_view text, const URLCharacterSet& allowed);
// Decodes "%XX" sequences; a "%" not followed by two hex digits gives nothing.
std::optional<std::string> percentDecoded(std::string_view text);

// The parts of a URL reference as they stand in its text (still percent-encoded).
struct URLParts {
  std::optional<std::string> scheme;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> host;  // present exactly when the text has an authority ("//")
  std::optional<int> port;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  // Nothing when the text is not a URI reference: characters outside the URL alphabet
  // (a space, a quote, non-ASCII...), a bad percent escape, a bad port, a malformed host.
  static std::optional<URLParts> parse(std::string_view text);
  // The text form. Nothing when the parts cannot make a URL (a path that does not begin
  // with "/" beside an authority, or a path beginning "//" without one).
  std::optional<std::string> string() const;
};

class NSURL : public NSObject, public NSCoding {
 public:
  // The URL the text names, or empty when the text is not a URL.
  static std::shared_ptr<NSURL> URLWithString(std::string_view text);
  // A reference resolved against a base (RFC 3986 section 5); empty when the text is not a URL.
  static std::shared_ptr<NSURL> URLWithString(std::string_view text, const std::shared_ptr<NSURL>& relativeToURL);
  // A "file://" URL of the path, made absolute against the working folder. The one-argument
  // form asks the file system whether the path is a folder (folders end in "/").
  static std::shared_ptr<NSURL> fileURLWithPath(std::string_view path);
  static std::shared_ptr<NSURL> fileURLWithPath(std::string_view path, bool isDirectory);

  // The text of the whole URL, resolved against the base when there is one.
  const std::string& absoluteString() const { return absolute_; }
  // The text the URL was made from.
  const std::string& relativeString() const { return base_ ? relative_ : absolute_; }
  const std::shared_ptr<NSURL>& baseURL() const { return base_; }
  std::shared_ptr<NSURL> absoluteURL() const;

  // Parts of the absolute URL. Texts are empty when the part is absent.
  std::string scheme() const { return parts_.scheme.value_or(""); }
  std::string host() const;  // decoded; without the brackets of an IP literal
  std::optional<int> port() const { return parts_.port; }
  std::string user() const;
  std::string password() const;
  // The decoded path; a trailing "/" is dropped except for the root itself.
  std::string path() const;
  // Still percent-encoded, as in the text; absent when the URL has no "?".
  const std::optional<std::string>& query() const { return parts_.query; }
  const std::optional<std::string>& fragment() const { return parts_.fragment; }
  const URLParts& parts() const { return parts_; }
  bool hasDirectoryPath() const { return !parts_.path.empty() && parts_.path.back() == '/'; }

  bool isFileURL() const;
  std::string lastPathComponent() const;
  std::string pathExtension() const;
  std::shared_ptr<NSURL> URLByAppendingPathComponent(std::string_view component) const;
  std::shared_ptr<NSURL> URLByAppendingPathComponent(std::string_view component, bool isDirectory) const;
  std::shared_ptr<NSURL> URLByDeletingLastPathComponent() const;
  std::shared_ptr<NSURL> URLByAppendingPathExtension(std::string_view extension) const;
  std::shared_ptr<NSURL> URLByDeletingPathExtension() const;

  // Archived as its relative text ("NS.relative") and its base ("NS.base", a null
  // reference when there is none). A text that no longer parses decodes as nothing.
  void encodeWithCoder(NSCoder& coder) const override;
  static std::shared_ptr<NSURL> initWithCoder(NSCoder& coder);

  GLIMDECK_OBJECT(NSURL)
  // Equal when both name the same absolute text.
  bool isEqual(const std::shared_ptr<NSObject>& other) const override;
  std::size_t hash() const override;
  std::string description() const override { return absolute_; }
  // Scheme, host, port and path only: what diagnostics may show of a URL whose user
  // info or query can carry keys and tokens.
  std::string redactedString() const;

 private:
  NSURL(std::string relative, std::shared_ptr<NSURL> base, URLParts parts, std::string absolute)
      : relative_(base ? std::move(relative) : std::string()), base_(std::move(base)), parts_(std::move(parts)),
        absolute_(std::move(absolute)) {}
  // A copy with another (still encoded) path; the query and fragment stay.
  std::shared_ptr<NSURL> withEncodedPath(std::string path) const;

  std::string relative_;  // only beside a base: without one it is the absolute text
  std::shared_ptr<NSURL> base_;
  URLParts parts_;  // of the absolute URL
  std::string absolute_;
};
