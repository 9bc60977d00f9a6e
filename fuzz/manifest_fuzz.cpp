// Parsing the manifest, and checking a package against whatever it says, never lets an invalid
// name reach the file system.
#include <nlohmann/json.hpp>

#include "fuzz/fuzz_input.h"
#include "platform/text.h"
#include "setup/driver_package.h"
#include "tests/sim/sim_windows.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::as_text(data, size);
  const auto manifest = parse_driver_package_manifest(text);
  if (!manifest) {
    fuzz::check(!manifest.error().message.empty(), "a parse failure says why");
    return 0;
  }
  // Round trip: the map serialised again parses to the same map.
  const nlohmann::json again(*manifest);
  const auto reparsed = parse_driver_package_manifest(again.dump());
  fuzz::check(reparsed.has_value() && *reparsed == *manifest, "manifest round trip");

  sim::SimWindows windows;
  const std::u16string folder = u"C:\\Tools\\drivers/vbcable";
  windows.add_file(folder + u"\\a", "a");
  const auto verified = verify_driver_package(windows, folder, text);
  fuzz::check(windows.leaks().empty(), "no file left open");
  const std::u16string extended_folder = u"\\\\?\\C:\\Tools\\drivers\\vbcable\\";
  for (const auto& opened : windows.opened_paths) {
    const std::u16string prefix = opened.starts_with(extended_folder) ? extended_folder : folder + u"\\";
    fuzz::check(opened.starts_with(prefix), "only paths inside the package are opened");
    fuzz::check(is_plain_file_name(utf16_to_utf8(opened.substr(prefix.size()))), "only plain names are opened");
  }
  if (!verified) {
    const std::string& message = verified.error().message;
    fuzz::check(message == "invalid bundled file name" || message.starts_with("missing bundled driver file ") ||
                    message.starts_with("bundled driver integrity check failed: "),
                "a failed check gives one of its three messages");
  }
  return 0;
}
