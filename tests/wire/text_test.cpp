#include "wire/text.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(Utf16, RoundTripsPersianAndAstral) {
  const std::string text = "\xD8\xB9\xD9\x84\xDB\x8C \xF0\x9F\x98\x80";  // Ali + emoji
  const std::u16string wide = Utf8ToUtf16(text);
  ASSERT_EQ(wide.size(), 6u);
  EXPECT_EQ(wide[2], 0x06CC);
  EXPECT_EQ(wide[4], 0xD83D);
  EXPECT_EQ(wide[5], 0xDE00);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf16, MalformedBecomesReplacement) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong NUL
  EXPECT_TRUE(IsValidUtf8("plain"));
}

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly) {
  EXPECT_EQ(Trim(" \t\r\nab c\r\n\x01"), "ab c");
  EXPECT_EQ(Trim("\r\n \t"), "");
  EXPECT_EQ(Trim(u" x "), u"x");
}

TEST(StrToInt, Table) {
  struct Case { const char* name; const char* text; std::optional<std::int32_t> value; };
  const Case kCases[] = {
      {"decimal", "1010", 1010},
      {"leading zeros", "0012", 12},
      {"leading spaces", "   42", 42},
      {"negative", "-5", -5},
      {"plus sign", "+7", 7},
      {"dollar hex", "$10", 16},
      {"x hex", "x1F", 31},
      {"0x hex", "0x10", 16},
      {"hex wraps to negative", "$FFFFFFFF", -1},
      {"int max", "2147483647", 2147483647},
      {"int min", "-2147483648", INT32_MIN},
      {"above int max", "2147483648", std::nullopt},
      {"trailing space", "12 ", std::nullopt},
      {"letters", "abc", std::nullopt},
      {"empty", "", std::nullopt},
      {"sign only", "-", std::nullopt},
      {"prefix only", "0x", std::nullopt},
      {"fraction", "1.5", std::nullopt},
      {"hex too long", "$100000000", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(TryStrToInt(c.text), c.value) << c.name;
}

TEST(StrToInt, ErrorTextNamesTheValue) {
  try {
    StrToInt("8o8o");
    FAIL();
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'8o8o' is not a valid integer value");
  }
}

TEST(StrToBool, Table) {
  struct Case { const char* name; const char* text; std::optional<bool> value; };
  const Case kCases[] = {
      {"one", "1", true},   {"zero", "0", false},      {"minus one", "-1", true},
      {"fraction", "0.5", true}, {"zero fraction", "0.0", false},
      {"True", "True", true}, {"lower true", "true", true}, {"upper TRUE", "TRUE", true},
      {"False", "False", false}, {"yes", "yes", std::nullopt}, {"empty", "", std::nullopt},
      {"blank", " ", std::nullopt},
  };
  for (const auto& c : kCases) EXPECT_EQ(TryStrToBool(c.text), c.value) << c.name;
  EXPECT_THROW(StrToBool(""), ConversionError);
  try {
    StrToBool("maybe");
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'maybe' is not a valid boolean value");
  }
}

TEST(CheckedInt16, Range) {
  EXPECT_EQ(CheckedInt16(-32768), -32768);
  EXPECT_EQ(CheckedInt16(32767), 32767);
  EXPECT_THROW(CheckedInt16(32768), ConversionError);
  try {
    CheckedInt16(-40000);
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "Range check error");
  }
}

TEST(QuotedValueList, QuotesJoinsAndDoublesQuotes) {
  EXPECT_EQ(QuotedValueList({"a", "b", "c"}), "'a','b','c'");
  EXPECT_EQ(QuotedValueList({"", ""}), "'',''");
  EXPECT_EQ(QuotedValueList({"O'Neil"}), "'O''Neil'");
  EXPECT_EQ(QuotedValueList({}), "");
}

TEST(AsciiOrQuestionMark, OnePerCodePoint) {
  EXPECT_EQ(AsciiOrQuestionMark("a\xD8\xB9" "b\xF0\x9F\x98\x80"), "a?b?");
}

TEST(RegionalFormats, Fixed) {
  LocalDateTime t{2026, 3, 4, 5, 6, 7, 0};
  EXPECT_EQ(FormatShortDate(t), "2026/03/04");
  EXPECT_EQ(FormatLongTime(t), "05:06:07");
  EXPECT_EQ(FormatDateTime(t), "2026/03/04 05:06:07");
  EXPECT_EQ(FormatDateTime({2026, 3, 4, 0, 0, 0, 0}), "2026/03/04");
  EXPECT_EQ(BoolText(true), "True");
}

}  // namespace
}  // namespace veltra
