#include "net/http_charset.h"

#include <gtest/gtest.h>

#include "net/http_message.h"

namespace tarnvex::net {
namespace {

struct ContentTypeCase {
  const char* value;
  const char* media_type;
  const char* charset;
};

class ContentTypeTest : public ::testing::TestWithParam<ContentTypeCase> {};

TEST_P(ContentTypeTest, SplitsMediaTypeAndCharSet) {
  TContentType type = ParseContentType(GetParam().value);
  EXPECT_EQ(type.MediaType, GetParam().media_type);
  EXPECT_EQ(type.CharSet, GetParam().charset);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ContentTypeTest,
    ::testing::Values(ContentTypeCase{"application/json; charset=UTF-8", "application/json", "UTF-8"},
                      ContentTypeCase{"text/html;Charset=\"utf-16le\"", "text/html", "utf-16le"},
                      ContentTypeCase{"text/plain; format=flowed; charset='us-ascii'", "text/plain; format=flowed", "us-ascii"},
                      ContentTypeCase{"text/plain", "text/plain", "ISO-8859-1"},
                      ContentTypeCase{"TEXT/XML", "TEXT/XML", "us-ascii"},
                      ContentTypeCase{"text/xml-external-parsed-entity", "text/xml-external-parsed-entity", "us-ascii"},
                      ContentTypeCase{"text/svg+xml", "text/svg+xml", "us-ascii"},
                      ContentTypeCase{"application/json", "application/json", ""},
                      ContentTypeCase{"", "", ""}));

struct DecodeCase {
  const char* name;
  std::string bytes;
  const char* charset;
  std::string text;  // UTF-8
};

class DecodeBodyTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeBodyTest, DecodesToUtf8) {
  EXPECT_EQ(DecodeBody(GetParam().bytes, GetParam().charset), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, DecodeBodyTest,
    ::testing::Values(DecodeCase{"Utf8", "caf\xC3\xA9", "UTF-8", "caf\xC3\xA9"},
                      DecodeCase{"Utf8Invalid", "a\xFF" "b", "utf-8", "a\xEF\xBF\xBD" "b"},
                      DecodeCase{"Latin1", "caf\xE9", "ISO-8859-1", "caf\xC3\xA9"},
                      DecodeCase{"Ascii", "a\xE9", "us-ascii", "a\xEF\xBF\xBD"},
                      DecodeCase{"Utf16Le", std::string("h\0\xE9\0", 4), "UTF-16LE", "h\xC3\xA9"},
                      DecodeCase{"Utf16Be", std::string("\0h\0\xE9", 4), "utf-16be", "h\xC3\xA9"},
                      DecodeCase{"Utf16LeSurrogatePair", std::string("\x3D\xD8\x00\xDE", 4), "UTF-16LE", "\xF0\x9F\x98\x80"},
                      DecodeCase{"Utf16OddByte", std::string("h\0x", 3), "UTF-16LE", "h\xEF\xBF\xBD"},
                      DecodeCase{"Utf16WithLittleEndianMark", std::string("\xFF\xFEh\0", 4), "UTF-16", "h"},
                      DecodeCase{"NoCharSet", "\xC3\xA9", "", "\xC3\x83\xC2\xA9"},
                      DecodeCase{"UnknownCharSet", "\x80", "x-unknown", "\xC2\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResponseCodeTest, ReadsTheSecondWord) {
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 200 OK"), 200);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 200"), 200);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1   404   Not Found"), 404);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 200.5 Odd"), 200);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 OK"), -1);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 -200 Negative"), -1);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1 99999999999 Huge"), -1);
  EXPECT_EQ(ParseResponseCode("HTTP/1.1"), -1);
  EXPECT_EQ(ParseResponseCode(""), -1);
}

TEST(ResponseVersionTest, ReadsCharactersSixToEight) {
  THttpResponse response;
  response.ResponseText = "HTTP/1.1 200 OK";
  EXPECT_EQ(response.ResponseVersion(), THttpProtocolVersion::pv1_1);
  response.ResponseText = "HTTP/1.0 200 OK";
  EXPECT_EQ(response.ResponseVersion(), THttpProtocolVersion::pv1_0);
}

TEST(ResponseFieldsTest, ContentLengthIsMinusOneUnlessDecimal) {
  for (auto [value, expected] : {std::pair<const char*, int64_t>{"26", 26}, {" 0 ", 0}, {"abc", -1}, {"-5", -1},
                                 {"12x", -1}, {"99999999999999999999", -1}}) {
    THttpResponse response;
    response.RawHeaders.Add(std::string("Content-Length: ") + value);
    response.ParseHeaderFields();
    EXPECT_EQ(response.ContentLength, expected) << value;
  }
}

}  // namespace
}  // namespace tarnvex::net
