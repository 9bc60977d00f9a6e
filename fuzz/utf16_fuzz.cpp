// UTF-16 from Windows to UTF-8 and back, and the clean-up of arbitrary UTF-8 bytes.

#include "fuzz/fuzz_input.h"
#include "platform/text.h"

using namespace orvane;

namespace {

// Independently of the converter: the units with every unpaired surrogate replaced.
std::u16string with_surrogates_replaced(const std::u16string& units) {
  std::u16string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      out.push_back(unit);
      out.push_back(units[++i]);
    } else {
      out.push_back(high || low ? u'\uFFFD' : unit);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string units = fuzz::as_units(data, size);
  const std::string utf8 = utf16_to_utf8(units);
  fuzz::check(sanitize_utf8(utf8) == utf8, "UTF-16 converts to valid UTF-8");
  fuzz::check(utf8_to_utf16(utf8) == with_surrogates_replaced(units), "round trip keeps all but lone surrogates");

  const std::string_view bytes = fuzz::as_text(data, size);
  const std::string clean = sanitize_utf8(bytes);
  fuzz::check(sanitize_utf8(clean) == clean, "cleaning is idempotent");
  fuzz::check(utf8_to_utf16(clean) == utf8_to_utf16(bytes), "decoding replaces what cleaning replaces");
  fuzz::check(utf16_to_utf8(utf8_to_utf16(clean)) == clean, "clean UTF-8 survives a round trip");
  return 0;
}
