#include <gtest/gtest.h>

#include "standin/MultipartParser.h"

namespace {

TEST(MultipartParserTest, BoundaryOfContentType) {
  struct Case {
    std::string contentType;
    std::optional<std::string> boundary;
  };
  const Case cases[] = {
      {"multipart/form-data; boundary=-------UPLOAD BOUNDARY--------", "-------UPLOAD BOUNDARY--------"},
      {"multipart/form-data; boundary=\"a;b\"; charset=utf-8", "a;b"},
      {"Multipart/Form-Data;BOUNDARY=xyz", "xyz"},
      {"multipart/form-data", std::nullopt},
      {"multipart/form-data; boundary=", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(MultipartParser::boundaryOf(c.contentType), c.boundary) << c.contentType;
  EXPECT_TRUE(MultipartParser::isMultipartFormData(" Multipart/form-data; boundary=x"));
  EXPECT_FALSE(MultipartParser::isMultipartFormData("application/json"));
}

TEST(MultipartParserTest, PartsKeepNamesFilesAndBytes) {
  const std::string b = "--B B--";
  const std::string body = "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"tags\";\r\n\r\ncats; \"dogs\"" +
                           "\r\n--" + b + "\r\ncontent-disposition: form-data; name=\"file\"; filename=\"image.gif\"\r\n" +
                           "Content-Type: application/octet-stream\r\n\r\n" + std::string("GIF\0\r\n--x", 9) + "\r\n--" + b + "--\r\n";
  auto parts = MultipartParser::parse(body, b);
  ASSERT_TRUE(parts) << parts.error();
  ASSERT_EQ(parts->size(), 2u);
  EXPECT_EQ((*parts)[0].name, "tags");
  EXPECT_EQ((*parts)[0].content, "cats; \"dogs\"");
  EXPECT_EQ((*parts)[0].filename, "");
  EXPECT_EQ((*parts)[1].name, "file");
  EXPECT_EQ((*parts)[1].filename, "image.gif");
  EXPECT_EQ((*parts)[1].contentType, "application/octet-stream");
  EXPECT_EQ((*parts)[1].content, std::string("GIF\0\r\n--x", 9));

  // A body that opens on the delimiter without a line break, and a part without headers.
  auto bare = MultipartParser::parse("--b\r\n\r\nplain\r\n--b--", "b");
  ASSERT_TRUE(bare);
  ASSERT_EQ(bare->size(), 1u);
  EXPECT_EQ(bare->front().content, "plain");
  EXPECT_EQ(bare->front().name, "");
  // Only the close delimiter: no parts.
  auto empty = MultipartParser::parse("--b--\r\n", "b");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(MultipartParserTest, MalformedBodiesAreErrors) {
  const char* const bodies[] = {
      "",
      "no delimiter at all",
      "--b\r\nContent-Disposition: form-data; name=\"a\"",           // headers never end
      "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx",  // no close delimiter
      "--bX\r\n\r\nx\r\n--b--",                                        // boundary line with junk
      "--b\r\n\r\nx\r\n--b",                                           // truncated after a delimiter
  };
  for (const char* body : bodies) EXPECT_FALSE(MultipartParser::parse(body, "b")) << body;
  EXPECT_FALSE(MultipartParser::parse("--\r\n\r\nx\r\n----", ""));
}

}  // namespace
