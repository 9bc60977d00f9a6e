#include "setup/command_line.h"

namespace orvane {
namespace {

bool is_blank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// Skips one argument that starts at `at`; returns the position just after it.
std::size_t skip_argument(std::u16string_view text, std::size_t at) {
  bool quoted = false;
  while (at < text.size()) {
    std::size_t backslashes = 0;
    while (at < text.size() && text[at] == u'\\') {
      ++backslashes;
      ++at;
    }
    if (at == text.size()) break;
    const char16_t unit = text[at];
    if (unit == u'"') {
      if (backslashes % 2 == 1) {
        ++at;  // an escaped, literal quote
      } else if (quoted && at + 1 < text.size() && text[at + 1] == u'"') {
        at += 2;  // "" inside quotes is a literal quote
      } else {
        quoted = !quoted;
        ++at;
      }
    } else if (backslashes == 0 && !quoted && is_blank(unit)) {
      break;
    } else if (backslashes == 0) {
      ++at;
    }
  }
  return at;
}

}  // namespace

std::size_t count_command_line_elements(std::u16string_view text) {
  // The program path takes no escapes; whatever follows its closing quote starts a new element.
  std::size_t at = 0;
  if (!text.empty() && text[0] == u'"') {
    const std::size_t close = text.find(u'"', 1);
    at = close == std::u16string_view::npos ? text.size() : close + 1;
  } else {
    while (at < text.size() && !is_blank(text[at])) ++at;
  }

  std::size_t count = 1;
  while (true) {
    while (at < text.size() && is_blank(text[at])) ++at;
    if (at == text.size()) return count;
    ++count;
    at = skip_argument(text, at);
  }
}

}  // namespace orvane
