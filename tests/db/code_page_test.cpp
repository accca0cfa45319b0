#include "db/code_page.h"

#include <gtest/gtest.h>

namespace veltra::db {
namespace {

struct Case {
  const char* name;
  std::string utf8;
  std::string bytes;  // in code page 1256
  std::string back;
};

const Case kCases[] = {
    {"Ascii", "Base64+/=\r\n", "Base64+/=\r\n", "Base64+/=\r\n"},
    {"Arabic letters", "علي", "\xDA\xE1\xED", "علي"},
    {"Persian letters in it", "پچژگک", "\x81\x8D\x8E\x90\x98", "پچژگک"},
    {"Persian yeh fits to the Arabic yeh", "علی", "\xDA\xE1\xED", "علي"},
    {"One question mark per character", "a😀क b", "a?? b", "a?? b"},
    {"Malformed UTF8", "a\xFF" "b", "a?b", "a?b"},
    {"Empty", "", "", ""},
};

class CodePageTest : public ::testing::TestWithParam<Case> {};

TEST_P(CodePageTest, ThereAndBack) {
  const auto& c = GetParam();
  EXPECT_EQ(Utf8ToCodePage(c.utf8, 1256), c.bytes);
  EXPECT_EQ(CodePageToUtf8(c.bytes, 1256), c.back);
  EXPECT_EQ(ThroughCodePage(c.utf8, 1256), c.back);
}

INSTANTIATE_TEST_SUITE_P(All, CodePageTest, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n) if (ch == ' ') ch = '_';
  return n;
});

TEST(CodePageTest, LongTextCrossesBufferBoundaries) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "عa";
  EXPECT_EQ(ThroughCodePage(text, 1256), text);
  EXPECT_EQ(Utf8ToCodePage(text, 1256).size(), 10000u);
}

TEST(CodePageTest, OtherCodePagesAndUnknownOnes) {
  EXPECT_EQ(Utf8ToCodePage("é€", 1252), "\xE9\x80");
  EXPECT_THROW(Utf8ToCodePage("x", 99999), std::runtime_error);
}

}  // namespace
}  // namespace veltra::db
