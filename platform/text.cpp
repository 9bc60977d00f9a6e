#include "platform/text.h"

#include <array>
#include <charconv>

namespace orvane {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void append_utf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

struct Decoded {
  char32_t code_point;
  std::size_t length;  // bytes consumed; an invalid subpart is consumed whole
  bool valid = true;
};

// Decodes one code point. Invalid input yields U+FFFD over the maximal subpart of a valid
// sequence (at least one byte), the replacement practice of the Unicode standard.
Decoded decode_utf8(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};

  std::size_t needed = 0;
  char32_t cp = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {REPLACEMENT, 1, false};
  }

  std::size_t length = 1;
  for (std::size_t i = 0; i < needed; ++i) {
    if (at + length >= bytes.size()) return {REPLACEMENT, length, false};
    const unsigned char next = byte(at + length);
    if (next < low || next > high) return {REPLACEMENT, length, false};
    low = 0x80;
    high = 0xBF;
    cp = (cp << 6) | (next & 0x3F);
    ++length;
  }
  return {cp, length};
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
      append_utf8(out, cp);
      ++i;
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      append_utf8(out, REPLACEMENT);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Decoded decoded = decode_utf8(text, at);
    append_utf16(out, decoded.code_point);
    at += decoded.length;
  }
  return out;
}

std::string sanitize_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const Decoded decoded = decode_utf8(bytes, at);
    if (!decoded.valid) {
      append_utf8(out, REPLACEMENT);
    } else {
      out.append(bytes.substr(at, decoded.length));  // valid, copied as it stands
    }
    at += decoded.length;
  }
  return out;
}

std::vector<std::u16string_view> split_at_nul(std::u16string_view units, EmptyPieces empties) {
  std::vector<std::u16string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = units.find(u'\0', start);
    const std::u16string_view piece =
        units.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (empties == EmptyPieces::Keep || !piece.empty()) pieces.push_back(piece);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return pieces;
}

bool ascii_case_fold_equal(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) return false;
  const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (fold(left[i]) != fold(right[i])) return false;
  }
  return true;
}

std::string decimal(std::uint64_t value) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), result.ptr};
}

std::string hex_0x(std::uint32_t value) {
  std::array<char, 16> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, 16);
  return "0x" + std::string(buffer.data(), result.ptr);
}

std::u16string with_nul(std::u16string_view text) {
  std::u16string out(text);
  out.push_back(u'\0');
  return out;
}

}  // namespace orvane
