#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLComponents.h"
#include "tests/support/TestEnvironment.h"

class URLTest : public GlimdeckTest {};

TEST_F(URLTest, OnlyTextsOfTheURLGrammarParse) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"https://api.example.com/v1/search?q=cats", true},
      {"http://127.0.0.1:8080/media/1.gif", true},
      {"http://[::1]:8080/x", true},
      {"mailto:someone@example.com", true},
      {"/relative/path?x=1#top", true},
      {"relative", true},
      {"file:///tmp/a%20b.gif", true},
      {"http://h/%41", true},
      {"", false},
      {"http://example.com/a b", false},
      {"http://exa mple.com/", false},
      {" http://example.com", false},
      {"http://example.com/\xC3\xA9", false},
      {"http://h/%4", false},
      {"http://h/%", false},
      {"http://h/%g1", false},
      {"http://h:80a/", false},
      {"http://h:99999/", false},
      {"http://h:-1/", false},
      {"http://a@b@c/", false},
      {"http://[::1/", false},
      {"http://h/a#b#c", false},
      {"http://h/<tag>", false},
      {"1http://x", false},
      {"a:b:c/d", true},
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(NSURL::URLWithString(text) != nullptr, valid) << text;
    EXPECT_EQ(NSURLComponents::componentsWithString(text) != nullptr, valid || *text == '\0') << text;
  }
}

TEST_F(URLTest, PartsOfAnAbsoluteURL) {
  auto url = NSURL::URLWithString("https://us%20er:pw@Host.example:8443/a%20b/c.gif/?x=1&y=%20#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "https://us%20er:pw@Host.example:8443/a%20b/c.gif/?x=1&y=%20#frag");
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->user(), "us er");
  EXPECT_EQ(url->password(), "pw");
  EXPECT_EQ(url->host(), "Host.example");
  EXPECT_EQ(url->port(), 8443);
  EXPECT_EQ(url->path(), "/a b/c.gif");
  EXPECT_EQ(url->query(), "x=1&y=%20");
  EXPECT_EQ(url->fragment(), "frag");
  EXPECT_EQ(url->lastPathComponent(), "c.gif");
  EXPECT_EQ(url->pathExtension(), "gif");
  EXPECT_FALSE(url->isFileURL());

  auto bare = NSURL::URLWithString("http://h.example");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->path(), "");
  EXPECT_EQ(bare->port(), std::nullopt);
  EXPECT_EQ(bare->query(), std::nullopt);
  EXPECT_EQ(NSURL::URLWithString("http://h.example/?")->query(), "");
  EXPECT_EQ(NSURL::URLWithString("http://[::1]:9/")->host(), "::1");
}

TEST_F(URLTest, FileURLsEncodeThePathAndKnowFolders) {
  auto file = NSURL::fileURLWithPath("/tmp/a b/\xC3\xA9.gif");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->absoluteString(), "file:///tmp/a%20b/%C3%A9.gif");
  EXPECT_TRUE(file->isFileURL());
  EXPECT_EQ(file->path(), "/tmp/a b/\xC3\xA9.gif");
  EXPECT_EQ(file->lastPathComponent(), "\xC3\xA9.gif");

  auto folder = NSURL::fileURLWithPath(home().string());
  ASSERT_TRUE(folder);
  EXPECT_TRUE(folder->hasDirectoryPath());
  EXPECT_EQ(folder->path(), home().string());
  auto inside = folder->URLByAppendingPathComponent("gifdata");
  EXPECT_EQ(inside->path(), (home() / "gifdata").string());
  EXPECT_EQ(inside->URLByDeletingLastPathComponent()->path(), home().string());

  auto relative = NSURL::fileURLWithPath("x.gif", false);
  EXPECT_EQ(relative->path(), (std::filesystem::current_path() / "x.gif").string());
  EXPECT_TRUE(NSURL::URLWithString("FILE:///x")->isFileURL());
}

TEST_F(URLTest, PathArithmetic) {
  struct Case {
    const char* base;
    const char* appended;
    const char* expected;
  };
  const std::vector<Case> appending = {
      {"http://h/a", "b c", "http://h/a/b%20c"},
      {"http://h/a/", "b", "http://h/a/b"},
      {"http://h", "x", "http://h/x"},
      {"http://h/a?q=1#f", "b", "http://h/a/b?q=1#f"},
      {"http://h/a", "/b", "http://h/a/b"},
      {"http://h/a", "d/", "http://h/a/d/"},
      {"http://h/a", "50%?#", "http://h/a/50%25%3F%23"},
  };
  for (const auto& c : appending) {
    EXPECT_EQ(NSURL::URLWithString(c.base)->URLByAppendingPathComponent(c.appended)->absoluteString(), c.expected);
  }
  const std::vector<std::pair<const char*, const char*>> deleting = {
      {"http://h/a/b", "http://h/a/"},
      {"http://h/a/b/", "http://h/a/"},
      {"http://h/a", "http://h/"},
      {"http://h/", "http://h/"},
  };
  for (const auto& [from, expected] : deleting) {
    EXPECT_EQ(NSURL::URLWithString(from)->URLByDeletingLastPathComponent()->absoluteString(), expected);
  }
  auto gif = NSURL::URLWithString("http://h/dir/a.b.gif");
  EXPECT_EQ(gif->pathExtension(), "gif");
  EXPECT_EQ(gif->URLByDeletingPathExtension()->absoluteString(), "http://h/dir/a.b");
  EXPECT_EQ(NSURL::URLWithString("http://h/dir/a")->URLByAppendingPathExtension("mp4")->absoluteString(),
            "http://h/dir/a.mp4");
  EXPECT_EQ(NSURL::URLWithString("http://h/.hidden")->pathExtension(), "");
  EXPECT_EQ(NSURL::URLWithString("http://h/")->lastPathComponent(), "/");
}

TEST_F(URLTest, ReferencesResolveAgainstABase) {
  auto base = NSURL::URLWithString("http://a/b/c/d;p?q");
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"g", "http://a/b/c/g"},          {"./g", "http://a/b/c/g"},     {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},             {"//g", "http://g"},           {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},      {"#s", "http://a/b/c/d;p?q#s"}, {"", "http://a/b/c/d;p?q"},
      {"..", "http://a/b/"},            {"../g", "http://a/b/g"},      {"../../../g", "http://a/g"},
      {"/./g", "http://a/g"},           {"g;x=1/../y", "http://a/b/c/y"}, {"https://x/y", "https://x/y"},
  };
  for (const auto& [reference, expected] : cases) {
    auto url = NSURL::URLWithString(reference, base);
    ASSERT_TRUE(url) << reference;
    EXPECT_EQ(url->absoluteString(), expected) << reference;
    EXPECT_EQ(url->relativeString(), reference);
    EXPECT_EQ(url->baseURL(), base);
  }
  EXPECT_FALSE(NSURL::URLWithString("a b", base));
}

TEST_F(URLTest, EqualityFollowsTheText) {
  auto a = NSURL::URLWithString("http://h/x?y=1");
  auto b = NSURL::URLWithString("http://h/x?y=1");
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_FALSE(a->isEqual(NSURL::URLWithString("http://h/x?y=2")));
  EXPECT_FALSE(a->isEqual(nullptr));
  EXPECT_TRUE(NSURL::URLWithString("y=1", NSURL::URLWithString("http://h/x?q"))->isEqual(NSURL::URLWithString("http://h/y=1")));
}

TEST_F(URLTest, ComponentsReadAndWriteTheirPieces) {
  auto components = NSURLComponents::componentsWithString("http://h.example/a%20b?x=%20y&flag&=v&x=2#f%20g");
  ASSERT_TRUE(components);
  EXPECT_EQ(components->path(), "/a b");
  EXPECT_EQ(components->percentEncodedPath(), "/a%20b");
  EXPECT_EQ(components->query(), "x= y&flag&=v&x=2");
  EXPECT_EQ(components->fragment(), "f g");
  const std::vector<NSURLQueryItem> expected = {
      {"x", " y"}, {"flag", std::nullopt}, {"", "v"}, {"x", "2"}};
  EXPECT_EQ(components->queryItems(), expected);

  EXPECT_EQ(NSURLComponents::componentsWithString("http://h/?")->queryItems(), std::vector<NSURLQueryItem>{});
  EXPECT_EQ(NSURLComponents::componentsWithString("http://h/")->queryItems(), std::nullopt);

  components->setQueryItems(std::nullopt);
  components->setFragment(std::nullopt);
  components->setPath("/new path");
  components->setPort(81);
  EXPECT_EQ(components->string(), "http://h.example:81/new%20path");
  EXPECT_EQ(components->URL()->absoluteString(), "http://h.example:81/new%20path");
  components->setQuery("a b&c");
  EXPECT_EQ(components->percentEncodedQuery(), "a%20b&c");

  // A path that does not start with "/" cannot follow a host.
  components->setPercentEncodedPath("relative");
  EXPECT_EQ(components->string(), std::nullopt);
  EXPECT_FALSE(components->URL());

  auto built = NSURLComponents::make();
  built->setScheme("https");
  built->setHost("api.example.com");
  built->setPath("/v1/post");
  built->setQueryItems(std::vector<NSURLQueryItem>{{"key", "k"}, {"ids", "1,2"}});
  EXPECT_EQ(built->string(), "https://api.example.com/v1/post?key=k&ids=1,2");
}

TEST_F(URLTest, ComponentsDoNotResolveAgainstTheBaseUnlessAsked) {
  auto url = NSURL::URLWithString("g?y=1", NSURL::URLWithString("http://a/b/c"));
  EXPECT_EQ(NSURLComponents::componentsWithURL(url)->string(), "g?y=1");
  EXPECT_EQ(NSURLComponents::componentsWithURL(url, true)->string(), "http://a/b/g?y=1");
  EXPECT_FALSE(NSURLComponents::componentsWithURL(nullptr));
}

TEST_F(URLTest, PercentEncodingHelpers) {
  EXPECT_EQ(percentEncoded("a b/\xC3\xA9", URLPathAllowedCharacterSet()), "a%20b/%C3%A9");
  EXPECT_EQ(percentDecoded("a%20b%2f%C3%A9"), "a b/\xC3\xA9");
  EXPECT_EQ(percentDecoded("%"), std::nullopt);
  EXPECT_EQ(percentDecoded("%2"), std::nullopt);
  EXPECT_EQ(percentDecoded("%zz"), std::nullopt);
  const auto& query = URLQueryAllowedCharacterSet();
  for (char c : std::string("&=?+/:@!$'()*,;-._~aZ9")) EXPECT_TRUE(query.contains(c)) << c;
  for (char c : std::string("#%[]{} \"<>\\^`|")) EXPECT_FALSE(query.contains(c)) << c;
  auto narrowed = query.removing("&=?+");
  EXPECT_FALSE(narrowed.contains('&'));
  EXPECT_FALSE(narrowed.contains('+'));
  EXPECT_TRUE(narrowed.contains('/'));
}

TEST_F(URLTest, URLsSurviveAKeyedArchive) {
  auto base = NSURL::URLWithString("http://h.example/dir/");
  for (const auto& url : {NSURL::URLWithString("https://h.example/a%20b?q=1#f"), NSURL::URLWithString("c.gif?x", base),
                          NSURL::fileURLWithPath("/tmp/x y.gif", false)}) {
    auto archived = NSKeyedArchiver::archivedDataWithRootObject(url);
    ASSERT_TRUE(archived.has_value());
    auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<NSURL>(*archived);
    ASSERT_TRUE(decoded.has_value()) << url->absoluteString();
    ASSERT_TRUE(*decoded);
    EXPECT_TRUE((*decoded)->isEqual(url));
    EXPECT_EQ((*decoded)->relativeString(), url->relativeString());
    EXPECT_EQ((*decoded)->baseURL() != nullptr, url->baseURL() != nullptr);
  }
}
