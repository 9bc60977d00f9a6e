// The one-component rule for manifest names, and where an accepted name can lead.
#include "fuzz/fuzz_input.h"
#include "platform/text.h"
#include "setup/driver_package.h"
#include "setup/run.h"

using namespace orvane;

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The rule restated: one non-empty first component that is not "." or "..", no drive, no root,
// no NUL, and nothing after it but separators and "." components.
bool reference_plain(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  if (is_separator(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':' && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z')) return false;
  std::size_t end = 0;
  while (end < name.size() && !is_separator(name[end])) ++end;
  const std::string_view first = name.substr(0, end);
  if (first == "." || first == "..") return false;
  for (std::size_t at = end; at < name.size();) {
    while (at < name.size() && is_separator(name[at])) ++at;
    std::size_t piece_end = at;
    while (piece_end < name.size() && !is_separator(name[piece_end])) ++piece_end;
    const std::string_view piece = name.substr(at, piece_end - at);
    if (!piece.empty() && piece != ".") return false;
    at = piece_end;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view name = fuzz::as_text(data, size);
  const bool plain = is_plain_file_name(name);
  fuzz::check(plain == reference_plain(name), "name rule agrees with the reference");
  if (plain) {
    // An accepted name stays inside the package folder: the joined path's folder is the package.
    const std::u16string folder = u"C:\\Tools\\drivers/vbcable";
    std::u16string joined = join_path(folder, utf8_to_utf16(name));
    while (!joined.empty() && (joined.back() == u'/' || joined.back() == u'\\' || joined.back() == u'.')) {
      if (joined.back() == u'.' && joined.size() >= 2 && joined[joined.size() - 2] != u'/' &&
          joined[joined.size() - 2] != u'\\') {
        break;  // a dot that ends the file name itself
      }
      joined.pop_back();
    }
    const auto parent = application_folder(joined);
    fuzz::check(parent.has_value() && *parent == folder, "an accepted name's parent is the package folder");
  }
  return 0;
}
