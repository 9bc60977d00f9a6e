#include <openssl/sha.h>

#include "setup/sha256.h"

namespace orvane {

std::optional<Sha256Digest> sha256(std::span<const std::byte> bytes) {
  Sha256Digest digest{};
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
  return digest;
}

}  // namespace orvane
