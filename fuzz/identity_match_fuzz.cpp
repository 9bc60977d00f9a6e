// The exact-length, ASCII-only case-folded match of hardware identifiers.

#include "fuzz/fuzz_input.h"
#include "platform/text.h"

using namespace orvane;

namespace {

// A reference that folds by table lookup rather than arithmetic.
bool reference_match(std::string_view candidate, std::string_view identity) {
  static constexpr std::string_view UPPER = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static constexpr std::string_view LOWER = "abcdefghijklmnopqrstuvwxyz";
  const auto fold = [](char c) {
    const std::size_t at = UPPER.find(c);
    return at == std::string_view::npos ? c : LOWER[at];
  };
  if (candidate.size() != identity.size()) return false;
  for (std::size_t i = 0; i < candidate.size(); ++i) {
    if (fold(candidate[i]) != fold(identity[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::as_text(data, size);
  for (const std::string_view identity : {std::string_view("VBAudioVACWDM"), std::string_view("VBAudioHFVAIO")}) {
    const bool matched = ascii_case_fold_equal(text, identity);
    fuzz::check(matched == reference_match(text, identity), "match agrees with the reference");
    fuzz::check(matched == ascii_case_fold_equal(identity, text), "match is symmetric");
    fuzz::check(!matched || text.size() == 13, "only 13-byte texts match");
  }
  // Split the input in two and compare the halves both ways.
  const std::string_view left = text.substr(0, size / 2);
  const std::string_view right = text.substr(size / 2);
  fuzz::check(ascii_case_fold_equal(left, right) == reference_match(left, right), "pairwise agreement");
  fuzz::check(ascii_case_fold_equal(text, text), "match is reflexive");
  return 0;
}
