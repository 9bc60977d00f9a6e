#include "windows/sha256_cng.h"

#include <algorithm>
#include <limits>

#include "windows/win32.h"
// After windows.h:
#include <bcrypt.h>

namespace orvane {
namespace windows {
namespace {

struct AlgorithmTraits {
  using Raw = BCRYPT_ALG_HANDLE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { BCryptCloseAlgorithmProvider(raw, 0); }
};
using AlgorithmProvider = UniqueHandle<AlgorithmTraits>;

struct HashTraits {
  using Raw = BCRYPT_HASH_HANDLE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { BCryptDestroyHash(raw); }
};
using HashObject = UniqueHandle<HashTraits>;

constexpr bool ok(NTSTATUS status) { return status >= 0; }

}  // namespace

std::optional<Sha256Digest> sha256_in_pieces(std::span<const std::byte> bytes, std::size_t max_piece) {
  const std::size_t piece_limit = std::clamp<std::size_t>(max_piece, 1, std::numeric_limits<ULONG>::max());
  AlgorithmProvider algorithm;
  if (!ok(BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return std::nullopt;
  // Declared after the provider, so that it is destroyed first.
  HashObject hash;
  if (!ok(BCryptCreateHash(algorithm.get(), hash.receive(), nullptr, 0, nullptr, 0, 0))) return std::nullopt;
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), piece_limit);
    // BCryptHashData does not write to its input despite the non-const parameter.
    auto* input = reinterpret_cast<UCHAR*>(const_cast<std::byte*>(bytes.data()));
    if (!ok(BCryptHashData(hash.get(), input, static_cast<ULONG>(piece), 0))) return std::nullopt;
    bytes = bytes.subspan(piece);
  }
  Sha256Digest digest{};
  if (!ok(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) return std::nullopt;
  return digest;
}

}  // namespace windows

std::optional<Sha256Digest> sha256(std::span<const std::byte> bytes) {
  return windows::sha256_in_pieces(bytes, std::numeric_limits<ULONG>::max());
}

}  // namespace orvane
