// libcurl is opened by the first transfer rather than linked: every call goes through the
// loader's functions of the same names, which must hand each option and answer to libcurl as
// the type its number says, and a system whose libcurl cannot be used gets an error that
// says so instead of a crash or a request that never ends.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/NSURLSession.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandinFixture.h"

namespace {

std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

class CurlLoaderTest : public StandinTest {};

TEST_F(CurlLoaderTest, OptionsAndAnswersOfEveryTypeReachLibcurl) {
  const std::string url = standinURL("/_standin/bytes?n=5000");
  struct Case {
    curl_off_t maxFileSize;  // an offset option
    CURLcode expected;
  };
  const Case cases[] = {{1 << 20, CURLE_OK}, {100, CURLE_FILESIZE_EXCEEDED}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maxFileSize);
    CURL* easy = curl_easy_init();
    ASSERT_NE(easy, nullptr);
    std::string body;
    int marker = 0;
    static const char kCertificates[] = "not used by plain HTTP";
    curl_blob certificates{const_cast<char*>(kCertificates), sizeof kCertificates, CURL_BLOB_COPY};
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_URL, url.c_str()), CURLE_OK);                // text
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L), CURLE_OK);                     // long
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_NOPROXY, "*"), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, keepBody), CURLE_OK);          // function
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body), CURLE_OK);                 // object
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_PRIVATE, &marker), CURLE_OK);
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, c.maxFileSize), CURLE_OK);  // offset
    EXPECT_EQ(curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &certificates), CURLE_OK);       // blob
    const CURLcode result = curl_easy_perform(easy);
    EXPECT_EQ(result, c.expected) << curl_easy_strerror(result);

    long status = 0;
    curl_off_t received = -1;
    char* effective = nullptr;
    int* kept = nullptr;
    EXPECT_EQ(curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status), CURLE_OK);
    EXPECT_EQ(curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received), CURLE_OK);
    EXPECT_EQ(curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective), CURLE_OK);
    EXPECT_EQ(curl_easy_getinfo(easy, CURLINFO_PRIVATE, &kept), CURLE_OK);
    EXPECT_EQ(kept, &marker);
    ASSERT_NE(effective, nullptr);
    EXPECT_EQ(std::string(effective), url);
    if (c.expected == CURLE_OK) {
      EXPECT_EQ(status, 200);
      EXPECT_EQ(received, 5000);
      EXPECT_EQ(body.size(), 5000u);
    } else {
      EXPECT_TRUE(body.empty()) << "a body over the limit is refused before it is read";
    }
    curl_easy_cleanup(easy);
  }
}

// In a process whose loader finds a library by libcurl's name without libcurl's functions
// first: requests end with an error that names the library, and the program goes on.
int requestWithoutLibcurl(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return 2;
  auto session = NSURLSession::sessionWithConfiguration(nullptr);
  std::vector<std::string> errors;
  for (int i = 0; i < 2; ++i) {
    session
        ->dataTaskWithURL(NSURL::URLWithString(arguments[0]),
                          [&errors](auto, auto, const std::shared_ptr<NSError>& error) {
                            DispatchQueue::main()->async([&errors, error] {
                              errors.push_back(error ? error->localizedDescription() : "no error");
                            });
                          })
        ->resume();
  }
  if (!NSRunLoop::main()->runUntil([&] { return errors.size() == 2; }, 60)) return 3;
  for (const auto& error : errors) {
    std::cerr << error << "\n";
    if (error.find("The network library could not be opened") == std::string::npos ||
        error.find("libcurl.so.4") == std::string::npos) {
      return 4;
    }
  }
  return 0;
}

const bool registered = ChildProcess::add("request-without-libcurl", requestWithoutLibcurl);

TEST_F(CurlLoaderTest, WithoutAUsableLibcurlARequestFailsWithAnErrorThatSaysWhy) {
  ASSERT_TRUE(registered);
  std::string path = GLIMDECK_UNUSABLE_CURL_DIR;
  if (const char* inherited = std::getenv("LD_LIBRARY_PATH"); inherited && *inherited) path += std::string(":") + inherited;
  const pid_t child = ChildProcess::start("request-without-libcurl", {standinURL("/_standin/bytes?n=10")},
                                          {{"LD_LIBRARY_PATH", path}});
  ASSERT_GT(child, 0);
  const auto ending = ChildProcess::wait(child);
  EXPECT_TRUE(ending.exited && ending.code == 0) << ending.description();
  EXPECT_TRUE(standin().requests().empty()) << "nothing was sent";
}

}  // namespace
