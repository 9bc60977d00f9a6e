// Counting the elements of a Windows command line.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvane {

/// The number of elements the usual Windows rules split `command_line` into: the program path
/// first (up to the next quote if it starts with one, else up to the first blank or tab), then
/// the arguments, in which backslashes before a quote and quotes group as the C runtime reads
/// them. Elements are counted, never built; an empty quoted argument counts.
std::size_t count_command_line_elements(std::u16string_view command_line);

}  // namespace orvane
