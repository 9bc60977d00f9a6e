// How Windows reads the start of a path: drive, UNC share, device and extended-length prefixes.
#pragma once

#include <string_view>

namespace orvane {

template <typename Char>
constexpr bool is_path_separator(Char c) {
  return c == Char('/') || c == Char('\\');
}

/// Position of the next separator at or after `at`, or the end.
template <typename Char>
constexpr std::size_t next_separator(std::basic_string_view<Char> path, std::size_t at) {
  while (at < path.size() && !is_path_separator(path[at])) ++at;
  return at;
}

/// Length of the prefix that Windows treats as one component: "C:", "\\server\share",
/// "\\?\UNC\server\share", "\\?\C:", "\\?\name", "\\.\name"; 0 when there is none.
template <typename Char>
constexpr std::size_t path_prefix_length(std::basic_string_view<Char> path) {
  const auto is_letter = [](Char c) { return (c >= Char('A') && c <= Char('Z')) || (c >= Char('a') && c <= Char('z')); };
  if (path.size() >= 2 && is_letter(path[0]) && path[1] == Char(':')) return 2;
  if (path.size() < 3 || !is_path_separator(path[0]) || !is_path_separator(path[1])) return 0;

  const std::size_t first_end = next_separator(path, 2);
  if (first_end == 2 || first_end == path.size()) return 0;
  const std::basic_string_view<Char> first = path.substr(2, first_end - 2);
  const bool device = first.size() == 1 && (first[0] == Char('?') || first[0] == Char('.'));
  if (!device) {
    const std::size_t share_end = next_separator(path, first_end + 1);
    return share_end == first_end + 1 ? 0 : share_end;  // a server without a share is no prefix
  }
  const std::size_t second_end = next_separator(path, first_end + 1);
  const std::basic_string_view<Char> second = path.substr(first_end + 1, second_end - first_end - 1);
  const bool verbatim_unc = first[0] == Char('?') && second.size() == 3 && (second[0] == Char('U') || second[0] == Char('u')) &&
                            (second[1] == Char('N') || second[1] == Char('n')) && (second[2] == Char('C') || second[2] == Char('c'));
  if (!verbatim_unc || second_end == path.size()) return second_end;
  const std::size_t server_end = next_separator(path, second_end + 1);
  return server_end == path.size() ? server_end : next_separator(path, server_end + 1);
}

}  // namespace orvane
