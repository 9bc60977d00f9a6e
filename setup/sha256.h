// SHA-256 (FIPS 180-4): Windows CNG on Windows, OpenSSL's libcrypto on the host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

/// The digest of `bytes`, or nothing when the system's hash provider fails.
std::optional<Sha256Digest> sha256(std::span<const std::byte> bytes);

/// 64 lower-case hexadecimal characters, high nibble first.
std::string lower_hex(const Sha256Digest& digest);

/// Whether `text` is exactly `lower_hex(digest)`, compared in place without building it.
bool is_lower_hex_of(const Sha256Digest& digest, std::string_view text);

}  // namespace orvane
