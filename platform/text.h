// Text conversions between the UTF-8 used inside the program and the UTF-16 that Windows speaks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

/// UTF-16 to UTF-8; every unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

/// UTF-8 to UTF-16; every invalid UTF-8 sequence becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

/// Valid UTF-8 copy of arbitrary bytes; each maximal invalid subpart becomes U+FFFD.
std::string sanitize_utf8(std::string_view bytes);

/// Whether empty pieces of a multi-string are returned or dropped.
enum class EmptyPieces : std::uint8_t { Skip, Keep };

/// Splits at every NUL unit. With Keep, N NULs give N + 1 pieces (the text after the last NUL
/// is the final piece); with Skip, only non-empty pieces are returned.
std::vector<std::u16string_view> split_at_nul(std::u16string_view units, EmptyPieces empties);

/// Exact-length comparison in which only A-Z and a-z are folded.
bool ascii_case_fold_equal(std::string_view left, std::string_view right);

/// Unsigned decimal, no sign, no leading zeros.
std::string decimal(std::uint64_t value);

/// Lower-case hexadecimal with "0x" and no leading zeros (0 gives "0x0").
std::string hex_0x(std::uint32_t value);

/// UTF-16 copy with one terminating NUL, for APIs that take a NUL-terminated string.
std::u16string with_nul(std::u16string_view text);

}  // namespace orvane
