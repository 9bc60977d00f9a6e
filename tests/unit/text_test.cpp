#include "platform/text.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(Utf16ToUtf8, ConvertsAndReplacesUnpairedSurrogates) {
  struct Case {
    std::u16string input;
    std::string expected;
  };
  const Case cases[] = {
      {u"", ""},
      {u"VBAudioVACWDM", "VBAudioVACWDM"},
      {u"\u00e9\u20ac", "\xc3\xa9\xe2\x82\xac"},
      {u"\U0001F3B5", "\xf0\x9f\x8e\xb5"},                        // a surrogate pair
      {std::u16string{0xD800}, "\xef\xbf\xbd"},                  // lone high at the end
      {std::u16string{0xDC00, u'x'}, "\xef\xbf\xbdx"},           // lone low
      {std::u16string{0xD800, 0xD800, 0xDC00}, "\xef\xbf\xbd\xf0\x90\x80\x80"},
      {std::u16string{u'a', 0xDFFF, 0xD83C}, "a\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const Case& c : cases) EXPECT_EQ(utf16_to_utf8(c.input), c.expected);
}

TEST(Utf8ToUtf16, RoundTripsValidTextAndReplacesInvalidBytes) {
  EXPECT_EQ(utf8_to_utf16("C:\\Tools\\\xc3\xa9"), u"C:\\Tools\\\u00e9");
  EXPECT_EQ(utf8_to_utf16("\xf0\x9f\x8e\xb5"), u"\U0001F3B5");
  EXPECT_EQ(utf8_to_utf16("a\xff" "b"), u"a\uFFFDb");
  const std::u16string text = u"x\u00e9\U0001F3B5\u20ac";
  EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
}

TEST(SanitizeUtf8, ReplacesEachMaximalInvalidSubpart) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const std::string fffd = "\xef\xbf\xbd";
  const Case cases[] = {
      {"plain", "plain"},
      {"\xef\xbf\xbd", fffd},                      // a real U+FFFD stays one
      {"\xff", fffd},                              // never valid
      {"\xc0\xaf", fffd + fffd},                   // overlong lead, then a stray continuation
      {"\xe2\x82", fffd},                          // truncated three-byte sequence
      {"\xe2\x82x", fffd + "x"},
      {"\xed\xa0\x80", fffd + fffd + fffd},        // an encoded surrogate
      {"\xf0\x9f\x8e", fffd},                      // truncated four-byte sequence: one subpart
      {"\xf0\x9f\x8e\xb5", "\xf0\x9f\x8e\xb5"},
      {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(sanitize_utf8(c.input), c.expected) << c.input;
}

TEST(SplitAtNul, SkipsOrKeepsEmptyPieces) {
  const std::u16string units(u"A\0\0B\0\0", 6);
  const auto skipped = split_at_nul(units, EmptyPieces::Skip);
  ASSERT_EQ(skipped.size(), 2u);
  EXPECT_EQ(skipped[0], u"A");
  EXPECT_EQ(skipped[1], u"B");

  const auto kept = split_at_nul(units, EmptyPieces::Keep);
  ASSERT_EQ(kept.size(), 5u);  // four NULs give five pieces
  EXPECT_EQ(kept[0], u"A");
  EXPECT_EQ(kept[1], u"");
  EXPECT_EQ(kept[2], u"B");
  EXPECT_EQ(kept[4], u"");

  EXPECT_TRUE(split_at_nul(u"", EmptyPieces::Skip).empty());
  EXPECT_EQ(split_at_nul(u"", EmptyPieces::Keep).size(), 1u);
  const auto unterminated = split_at_nul(u"tail", EmptyPieces::Skip);
  ASSERT_EQ(unterminated.size(), 1u);
  EXPECT_EQ(unterminated[0], u"tail");
}

TEST(AsciiCaseFoldEqual, FoldsOnlyAsciiLettersAndNeedsEqualLength) {
  EXPECT_TRUE(ascii_case_fold_equal("vbaudiovacwdm", "VBAudioVACWDM"));
  EXPECT_TRUE(ascii_case_fold_equal("VBAUDIOVACWDM", "VBAudioVACWDM"));
  EXPECT_FALSE(ascii_case_fold_equal("VBAudioVACWDM_1", "VBAudioVACWDM"));
  EXPECT_FALSE(ascii_case_fold_equal("VBAudioVACWDM ", "VBAudioVACWDM"));
  EXPECT_FALSE(ascii_case_fold_equal("[", "{"));  // 0x5B and 0x7B differ by 0x20 but are no letters
  EXPECT_FALSE(ascii_case_fold_equal("\xc3\x89", "\xc3\xa9"));  // no folding beyond ASCII
  EXPECT_TRUE(ascii_case_fold_equal("", ""));
}

TEST(NumberText, DecimalAndHexHaveNoSignOrLeadingZeros) {
  EXPECT_EQ(decimal(0), "0");
  EXPECT_EQ(decimal(0xE0000247u), "3758096967");
  EXPECT_EQ(decimal(0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(hex_0x(0x8007000Eu), "0x8007000e");
  EXPECT_EQ(hex_0x(0x1u), "0x1");
  EXPECT_EQ(hex_0x(0), "0x0");
}

}  // namespace
}  // namespace orvane
