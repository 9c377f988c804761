#pragma once
// A URL taken apart into editable pieces, and the (name, value) items of its query.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSURL.h"

// One item of a query: "name=value", or "name" alone when the value is absent.
struct NSURLQueryItem {
  std::string name;
  std::optional<std::string> value;

  static NSURLQueryItem queryItemWithName(std::string name, std::optional<std::string> value) {
    return {std::move(name), std::move(value)};
  }
  bool operator==(const NSURLQueryItem&) const = default;
};

class NSURLComponents : public NSObject {
 public:
  // Empty components: no scheme, no authority, empty path.
  static std::shared_ptr<NSURLComponents> make();
  // Empty when the text is not a URL.
  static std::shared_ptr<NSURLComponents> componentsWithString(std::string_view text);
  // The URL's own text is taken apart; it is not resolved against the URL's base unless asked.
  static std::shared_ptr<NSURLComponents> componentsWithURL(const std::shared_ptr<NSURL>& url,
                                                            bool resolvingAgainstBaseURL = false);

  const std::optional<std::string>& scheme() const { return parts_.scheme; }
  void setScheme(std::optional<std::string> scheme) { parts_.scheme = std::move(scheme); }
  // Decoded texts; the setters encode what the part does not allow.
  std::optional<std::string> user() const;
  void setUser(std::optional<std::string> user);
  std::optional<std::string> password() const;
  void setPassword(std::optional<std::string> password);
  std::optional<std::string> host() const;
  void setHost(std::optional<std::string> host);
  const std::optional<int>& port() const { return parts_.port; }
  void setPort(std::optional<int> port) { parts_.port = port; }
  std::string path() const;
  void setPath(std::string_view path);
  std::optional<std::string> query() const;
  void setQuery(std::optional<std::string> query);
  std::optional<std::string> fragment() const;
  void setFragment(std::optional<std::string> fragment);

  // The pieces as they stand in the text.
  const std::optional<std::string>& percentEncodedHost() const { return parts_.host; }
  const std::string& percentEncodedPath() const { return parts_.path; }
  void setPercentEncodedPath(std::string path) { parts_.path = std::move(path); }
  const std::optional<std::string>& percentEncodedQuery() const { return parts_.query; }
  void setPercentEncodedQuery(std::optional<std::string> query) { parts_.query = std::move(query); }
  const std::optional<std::string>& percentEncodedFragment() const { return parts_.fragment; }

  // The query split at "&" into items, each split at its first "=" and decoded. Absent
  // when there is no query; an empty query has no items.
  std::optional<std::vector<NSURLQueryItem>> queryItems() const;
  // Writes the whole query from the items: every character outside the query-allowed set
  // is percent-encoded as UTF-8, and so are "&" in names and values and "=" in names; "+"
  // stays. An empty list leaves an empty query (the text keeps its "?"); absent removes it.
  void setQueryItems(const std::optional<std::vector<NSURLQueryItem>>& items);

  // The text, or nothing when the pieces cannot form a URL.
  std::optional<std::string> string() const { return parts_.string(); }
  std::shared_ptr<NSURL> URL() const;

  GLIMDECK_OBJECT(NSURLComponents)
  std::string description() const override { return string().value_or(""); }

 private:
  explicit NSURLComponents(URLParts parts) : parts_(std::move(parts)) {}
  URLParts parts_;
};
