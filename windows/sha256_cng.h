// SHA-256 through Windows CNG (bcrypt.dll).
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "setup/sha256.h"

namespace orvane::windows {

/// The digest of `bytes`, handed to BCryptHashData in pieces of at most `max_piece` bytes
/// (BCryptHashData takes a 32-bit length); nothing when CNG fails.
std::optional<Sha256Digest> sha256_in_pieces(std::span<const std::byte> bytes, std::size_t max_piece);

}  // namespace orvane::windows
