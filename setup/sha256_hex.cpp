#include "setup/sha256.h"

namespace orvane {

namespace {
constexpr char DIGITS[] = "0123456789abcdef";
}  // namespace

std::string lower_hex(const Sha256Digest& digest) {
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text.push_back(DIGITS[byte >> 4]);
    text.push_back(DIGITS[byte & 0x0F]);
  }
  return text;
}

bool is_lower_hex_of(const Sha256Digest& digest, std::string_view text) {
  if (text.size() != digest.size() * 2) return false;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (text[2 * i] != DIGITS[digest[i] >> 4] || text[2 * i + 1] != DIGITS[digest[i] & 0x0F]) return false;
  }
  return true;
}

}  // namespace orvane
