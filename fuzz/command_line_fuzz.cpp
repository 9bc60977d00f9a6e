// Counting command-line elements: only the program path alone counts as one.
#include "fuzz/fuzz_input.h"
#include "setup/command_line.h"

using namespace orvane;

namespace {

bool only_blanks(std::u16string_view text) {
  return text.find_first_not_of(u" \t") == std::u16string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string line = fuzz::as_units(data, size);
  for (char16_t& unit : line) {
    // Steer towards the characters that matter: blanks, quotes, backslashes.
    switch (unit % 8) {
      case 0: unit = u' '; break;
      case 1: unit = u'"'; break;
      case 2: unit = u'\\'; break;
      case 3: unit = u'\t'; break;
      default: break;
    }
  }
  const std::size_t count = count_command_line_elements(line);
  fuzz::check(count >= 1, "the program path is always an element");

  // The program path: up to the closing quote, or up to the first blank.
  std::size_t program_end;
  if (!line.empty() && line[0] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    program_end = close == std::u16string::npos ? line.size() : close + 1;
  } else {
    program_end = std::min(line.find_first_of(u" \t"), line.size());
  }
  const bool alone = only_blanks(std::u16string_view(line).substr(program_end));
  fuzz::check((count == 1) == alone, "one element exactly when nothing but blanks follows the program");

  // Any argument with a non-blank character after a plain program path is refused.
  const std::u16string with_argument = u"setup.exe " + line;
  fuzz::check((count_command_line_elements(with_argument) >= 2) == !only_blanks(line),
              "an argument always raises the count");
  return 0;
}
