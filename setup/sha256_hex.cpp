#include "setup/sha256.h"

namespace orvane {

std::string lower_hex(const Sha256Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (const std::uint8_t byte : digest) {
    text.push_back(DIGITS[byte >> 4]);
    text.push_back(DIGITS[byte & 0x0F]);
  }
  return text;
}

}  // namespace orvane
