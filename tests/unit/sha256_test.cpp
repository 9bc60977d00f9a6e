#include "setup/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

std::string digest_of(const std::string& message) {
  const auto digest = sha256(std::as_bytes(std::span(message.data(), message.size())));
  return digest ? lower_hex(*digest) : "failed";
}

// FIPS 180-4 example messages (NIST CSRC examples for SHA-256).
TEST(Sha256, MatchesFipsKnownAnswers) {
  EXPECT_EQ(digest_of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest_of(std::string(1'000'000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(LowerHex, WritesHighNibbleFirstInLowerCase) {
  Sha256Digest digest{};
  digest[0] = 0xAB;
  digest[1] = 0x0F;
  digest[31] = 0xF0;
  std::string text = lower_hex(digest);
  ASSERT_EQ(text.size(), 64u);
  EXPECT_EQ(text.substr(0, 4), "ab0f");
  EXPECT_EQ(text.substr(62), "f0");

  EXPECT_TRUE(is_lower_hex_of(digest, text));
  std::string upper = text;
  upper[0] = 'A';
  EXPECT_FALSE(is_lower_hex_of(digest, upper));
  EXPECT_FALSE(is_lower_hex_of(digest, text + "0"));
  EXPECT_FALSE(is_lower_hex_of(digest, text.substr(0, 63)));
  text.back() = '1';
  EXPECT_FALSE(is_lower_hex_of(digest, text));
}

}  // namespace
}  // namespace orvane
