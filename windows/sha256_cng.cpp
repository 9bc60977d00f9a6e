#include "windows/sha256_cng.h"

#include <algorithm>
#include <limits>

#include "windows/system_library.h"
#include "windows/win32.h"
// After windows.h:
#include <bcrypt.h>

namespace orvane {
namespace windows {
namespace {

// bcrypt.dll is no KnownDLL: it is loaded from System32 on first use, for the whole process.
struct CngFunctions {
  CngFunctions() {
    library.find(open_algorithm_provider, "BCryptOpenAlgorithmProvider")
        .find(close_algorithm_provider, "BCryptCloseAlgorithmProvider")
        .find(create_hash, "BCryptCreateHash")
        .find(hash_data, "BCryptHashData")
        .find(finish_hash, "BCryptFinishHash")
        .find(destroy_hash, "BCryptDestroyHash");
  }
  SystemLibrary library{L"bcrypt.dll"};
  decltype(BCryptOpenAlgorithmProvider)* open_algorithm_provider = nullptr;
  decltype(BCryptCloseAlgorithmProvider)* close_algorithm_provider = nullptr;
  decltype(BCryptCreateHash)* create_hash = nullptr;
  decltype(BCryptHashData)* hash_data = nullptr;
  decltype(BCryptFinishHash)* finish_hash = nullptr;
  decltype(BCryptDestroyHash)* destroy_hash = nullptr;
};

// Null when bcrypt.dll or one of its functions cannot be had: no digest, as for any CNG failure.
const CngFunctions* cng() {
  static const CngFunctions functions;
  return functions.library.status() ? &functions : nullptr;
}

// Handles exist only once cng() gave every function, so the releases find theirs.
struct AlgorithmTraits {
  using Raw = BCRYPT_ALG_HANDLE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { cng()->close_algorithm_provider(raw, 0); }
};
using AlgorithmProvider = UniqueHandle<AlgorithmTraits>;

struct HashTraits {
  using Raw = BCRYPT_HASH_HANDLE;
  static Raw empty() { return nullptr; }
  static bool is_open(Raw raw) { return raw != nullptr; }
  static void release(Raw raw) { cng()->destroy_hash(raw); }
};
using HashObject = UniqueHandle<HashTraits>;

constexpr bool ok(NTSTATUS status) { return status >= 0; }

}  // namespace

std::optional<Sha256Digest> sha256_in_pieces(std::span<const std::byte> bytes, std::size_t max_piece) {
  const std::size_t piece_limit = std::clamp<std::size_t>(max_piece, 1, std::numeric_limits<ULONG>::max());
  const CngFunctions* const functions = cng();
  if (functions == nullptr) return std::nullopt;
  AlgorithmProvider algorithm;
  if (!ok(functions->open_algorithm_provider(algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return std::nullopt;
  }
  // Declared after the provider, so that it is destroyed first.
  HashObject hash;
  if (!ok(functions->create_hash(algorithm.get(), hash.receive(), nullptr, 0, nullptr, 0, 0))) return std::nullopt;
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), piece_limit);
    // BCryptHashData does not write to its input despite the non-const parameter.
    auto* input = reinterpret_cast<UCHAR*>(const_cast<std::byte*>(bytes.data()));
    if (!ok(functions->hash_data(hash.get(), input, static_cast<ULONG>(piece), 0))) return std::nullopt;
    bytes = bytes.subspan(piece);
  }
  Sha256Digest digest{};
  if (!ok(functions->finish_hash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) return std::nullopt;
  return digest;
}

}  // namespace windows

std::optional<Sha256Digest> sha256(std::span<const std::byte> bytes) {
  return windows::sha256_in_pieces(bytes, std::numeric_limits<ULONG>::max());
}

}  // namespace orvane
