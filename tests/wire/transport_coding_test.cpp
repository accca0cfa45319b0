#include "wire/transport_coding.h"

#include <gtest/gtest.h>

#include "wire/text.h"

namespace veltra {
namespace {

TEST(TransportCoding, WorkedExamples) {
  struct Case { const char* name; std::string plain; std::int16_t mode; std::string coded; };
  const Case kCases[] = {
      {"abc mode 0", "abc", 0, "abc"},
      {"abc mode 1", "abc", 1, "YWJj"},
      {"abc mode 2", "abc", 2, "jJWY"},
      {"id mode 0", "id=1010", 0, "id=1010"},
      {"id mode 1", "id=1010", 1, "aWQ9MTAxMA=="},
      {"id mode 2", "id=1010", 2, "9x=QA=WTAaMM"},
      {"blanks trimmed before coding", " \t abc\r\n", 1, "YWJj"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(TransportEncode(c.plain, c.mode), c.coded) << c.name;
    EXPECT_EQ(TransportDecode(c.coded, c.mode), Trim(c.plain)) << c.name;
  }
}

TEST(TransportCoding, EmptyAndBlankTextGiveEmptyInEveryMode) {
  for (std::int16_t mode : {0, 1, 2}) {
    for (const char* text : {"", "   ", "\r\n \t\r\n"}) {
      EXPECT_EQ(TransportEncode(text, mode), "") << "mode " << mode;
      EXPECT_EQ(TransportDecode(text, mode), "") << "mode " << mode;
    }
  }
}

TEST(TransportCoding, UnknownModeGivesEmptyText) {
  for (std::int16_t mode : {-1, 3, 100, 32767}) {
    EXPECT_EQ(TransportEncode("abc", mode), "") << mode;
    EXPECT_EQ(TransportDecode("YWJj", mode), "") << mode;
  }
}

TEST(TransportCoding, RoundTripKeepsInnerBreaksAndNonAscii) {
  struct Case { const char* name; std::string plain; };
  const Case kCases[] = {
      {"lines", "id=2371\r\nLogin_User_Token=abc\r\nLogin_User_cp=7"},
      {"persian", "np=\xD8\xB9\xD9\x84\xDB\x8C\nfamily=\xD8\xB1\xD8\xB6\xD8\xA7\xDB\x8C\xDB\x8C"},
      {"astral", "x=\xF0\x9F\x98\x80"},
      {"one char", "a"},
      {"two chars", "ab"},
      {"outer blanks lost", "\t  x=1\r\n\r\n  "},
  };
  for (const auto& c : kCases) {
    for (std::int16_t mode : {0, 1, 2}) {
      EXPECT_EQ(TransportDecode(TransportEncode(c.plain, mode), mode), Trim(c.plain))
          << c.name << " mode " << mode;
    }
  }
}

TEST(TransportCoding, ModeOneHasNoLineBreaksHoweverLong) {
  const std::string plain(5000, 'x');
  const std::string coded = TransportEncode(plain, 1);
  EXPECT_EQ(coded.size(), 4 * ((plain.size() + 2) / 3));
  EXPECT_EQ(coded.find_first_of("\r\n"), std::string::npos);
}

TEST(TransportCoding, DoubleShuffleGroupsByPositionModuloFour) {
  // "id=1010" in Base64 is aWQ9MTAxMA==; grouping positions 4k, 4k-1, 4k-2, 4k-3.
  const std::string b64 = "aWQ9MTAxMA==";
  std::string expected;
  for (std::size_t start : {3u, 2u, 1u, 0u})
    for (std::size_t i = start; i < b64.size(); i += 4) expected += b64[i];
  EXPECT_EQ(OddEvenSplit(OddEvenSplit(b64)), expected);
  EXPECT_EQ(expected, "9x=QA=WTAaMM");
}

TEST(TransportCoding, ModeTwoTrailingBreakMustBeTrimmedFirst) {
  const std::string coded = TransportEncode("id=1010", 2);
  EXPECT_NE(TransportDecode(coded + "\r\n", 2), "id=1010");
  EXPECT_EQ(TransportDecode(Trim(coded + "\r\n"), 2), "id=1010");
}

TEST(TransportCoding, ModeOneIgnoresIncompleteLastGroup) {
  EXPECT_EQ(TransportDecode("YWJjZA", 1), "abc");
  EXPECT_EQ(TransportDecode("YWJjZ", 1), "abc");
  EXPECT_EQ(TransportDecode("YWJjZGV", 1), "abc");
}

TEST(TransportCoding, InvalidUtf8AfterDecodingBecomesReplacement) {
  // "/w==" is the single byte 0xFF.
  EXPECT_EQ(TransportDecode("/w==", 1), "\xEF\xBF\xBD");
}

TEST(OddEvenShuffle, Table) {
  struct Case { const char* name; std::u16string plain; std::u16string split; };
  const Case kCases[] = {
      {"empty", u"", u""},
      {"one", u"a", u"a"},
      {"two", u"ab", u"ba"},
      {"odd length", u"abcde", u"bdace"},
      {"even length", u"YWJj", u"WjYJ"},
      {"non-ascii units", u"\u0639\u0644\u06CC", u"\u0644\u0639\u06CC"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(OddEvenSplit(c.plain), c.split) << c.name;
    EXPECT_EQ(OddEvenJoin(c.split), c.plain) << c.name;
  }
  // The UTF-8 forms count UTF-16 units, not bytes.
  EXPECT_EQ(OddEvenSplit(std::string("\xD8\xB9\xD9\x84")), "\xD9\x84\xD8\xB9");
}

TEST(Base64, Table) {
  struct Case { const char* name; std::string bytes; std::string text; };
  const Case kCases[] = {
      {"empty", "", ""},
      {"one byte", "a", "YQ=="},
      {"two bytes", "ab", "YWI="},
      {"three bytes", "abc", "YWJj"},
      {"binary", std::string("\x00\xFF\x10\x80", 4), "AP8QgA=="},
      {"both extra characters", "\xFB\xFF", "+/8="},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Base64Encode(c.bytes), c.text) << c.name;
    EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.name;
  }
}

TEST(Base64, DecodeWholeGroupsOnlyAndPadding) {
  struct Case { const char* name; std::string text; std::string bytes; };
  const Case kCases[] = {
      {"one to three trailing characters ignored", "YWJjY", "abc"},
      {"padding only counts in the last group", "YQ==", "a"},
      {"single pad", "YWI=", "ab"},
      {"incomplete tail after padded group", "YQ==YW", "a"},
      {"short text", "YW", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.name;
}

}  // namespace
}  // namespace veltra
