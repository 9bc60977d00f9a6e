// Splitting Windows multi-strings at NUL units, with empty pieces skipped and kept.
#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "platform/text.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Make NULs common: units below 4 become NUL.
  std::u16string units = fuzz::as_units(data, size);
  for (char16_t& unit : units) unit = unit < 4 ? u'\0' : unit;
  const auto nuls = static_cast<std::size_t>(std::count(units.begin(), units.end(), u'\0'));

  const auto kept = split_at_nul(units, EmptyPieces::Keep);
  fuzz::check(kept.size() == nuls + 1, "N NULs give N + 1 pieces");
  std::u16string joined;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    fuzz::check(kept[i].find(u'\0') == std::u16string_view::npos, "no piece holds a NUL");
    fuzz::check(kept[i].data() >= units.data() && kept[i].data() + kept[i].size() <= units.data() + units.size(),
                "pieces lie inside the input");
    if (i != 0) joined.push_back(u'\0');
    joined.append(kept[i]);
  }
  fuzz::check(joined == units, "joining the kept pieces with NUL gives the input");

  const auto skipped = split_at_nul(units, EmptyPieces::Skip);
  std::vector<std::u16string_view> non_empty;
  std::copy_if(kept.begin(), kept.end(), std::back_inserter(non_empty), [](auto piece) { return !piece.empty(); });
  fuzz::check(skipped == non_empty, "skipping drops exactly the empty pieces");
  return 0;
}
