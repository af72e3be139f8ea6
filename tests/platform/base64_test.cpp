#include "platform/base64.h"

#include <gtest/gtest.h>

namespace tarnvex::base64 {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(Base64, RoundTripsTheRfcVectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(Encode(Bytes(plain)), encoded);
    EXPECT_EQ(Decode(encoded), Bytes(plain));
  }
}

TEST(Base64, SkipsWhiteSpaceAndRejectsForeignCharacters) {
  EXPECT_EQ(Decode("Zm9v\r\nYmFy"), Bytes("foobar"));
  EXPECT_THROW(Decode("Zm9v!"), EBase64Error);
  EXPECT_THROW(Decode("Zg==Zg=="), EBase64Error);
  EXPECT_THROW(Decode("Z"), EBase64Error);
}

}  // namespace
}  // namespace tarnvex::base64
