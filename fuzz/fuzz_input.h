// Helpers for turning fuzzer bytes into the inputs of the functions under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace orvane::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// Pairs of bytes as UTF-16 units, little-endian as Windows holds them; an odd byte is dropped.
inline std::u16string as_units(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return units;
}

/// Fails the run in a way libFuzzer reports, with the broken property named.
[[noreturn]] inline void property_broken(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline void check(bool holds, const char* what) {
  if (!holds) property_broken(what);
}

}  // namespace orvane::fuzz
