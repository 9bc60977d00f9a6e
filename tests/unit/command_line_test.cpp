#include "setup/command_line.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct CountCase {
  std::u16string command_line;
  std::size_t elements;
};

class CommandLineCount : public testing::TestWithParam<CountCase> {};

TEST_P(CommandLineCount, CountsElementsAsWindowsSplitsThem) {
  EXPECT_EQ(count_command_line_elements(GetParam().command_line), GetParam().elements)
      << std::string(GetParam().command_line.begin(), GetParam().command_line.end());
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineCount,
    testing::Values(
        // The program alone, however it was quoted or followed by blanks.
        CountCase{u"", 1}, CountCase{u"setup.exe", 1}, CountCase{u"\"C:\\Program Files\\setup.exe\"", 1},
        CountCase{u"\"C:\\Program Files\\setup.exe\"  \t ", 1}, CountCase{u"C:\\Tools\\setup.exe   ", 1},
        CountCase{u"\"C:\\unterminated quote", 1},
        // Any argument at all.
        CountCase{u"setup.exe \"\"", 2}, CountCase{u"setup.exe /?", 2}, CountCase{u"setup.exe -h", 2},
        CountCase{u"\"C:\\a b\\setup.exe\" /S", 2}, CountCase{u"\"setup.exe\"x", 2},
        CountCase{u"setup.exe a b\tc", 4}, CountCase{u"setup.exe \"a b\" c", 3},
        CountCase{u"setup.exe \"a \\\" b\"", 2},      // an escaped quote keeps the group open
        CountCase{u"setup.exe a\\\\\"b c\"", 2},      // an even run of backslashes: the quote groups
        CountCase{u"setup.exe \"a\"\"b c\"", 2},      // "" inside quotes is a literal quote
        CountCase{u"setup.exe \"\" \"\"", 3}, CountCase{u"setup.exe \\", 2}, CountCase{u" setup.exe", 2}));

}  // namespace
}  // namespace orvane
