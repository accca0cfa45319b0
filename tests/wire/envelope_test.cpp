#include "wire/envelope.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(DataSetToEnvelope, PersianAndNullExample) {
  MemoryRowSet rows({{"cp", ColumnType::kNumber}, {"np", ColumnType::kText}});
  rows.AddRow({"1", "\xD8\xB9\xD9\x84\xDB\x8C"});
  rows.AddRow({"2", std::nullopt});
  EXPECT_EQ(DataSetToEnvelope(rows),
            R"({"Data":[{"cp":"1","np":"\u0639\u0644\u06CC"},{"cp":"2","np":" "}]})");
  EXPECT_TRUE(rows.Eof());
  // A second build starts again from the first row.
  EXPECT_EQ(DataSetToEnvelope(rows),
            R"({"Data":[{"cp":"1","np":"\u0639\u0644\u06CC"},{"cp":"2","np":" "}]})");
}

TEST(DataSetToEnvelope, NoRows) {
  MemoryRowSet rows({{"cp", ColumnType::kNumber}});
  EXPECT_EQ(DataSetToEnvelope(rows), R"({"Data":[]})");
}

TEST(DataSetToEnvelope, ValuesAreAlwaysStrings) {
  struct Case { const char* name; Cell value; std::string json; };
  const Case kCases[] = {
      {"null", std::nullopt, R"(" ")"},
      {"empty", "", R"(" ")"},
      {"one blank", " ", R"(" ")"},
      {"integer stays a string", "1234", R"("1234")"},
      {"quote backslash slash", "a\"b\\c/d", R"("a\"b\\c\/d")"},
      {"named controls", "\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {"other controls", std::string("\x01\x1F\0", 3), R"("\u0001\u001F\u0000")"},
      {"delete stands", "\x7F", "\"\x7F\""},
      {"latin", "\xC3\xA9", R"("\u00E9")"},
      {"astral as two escapes", "\xF0\x9F\x98\x80", R"("\uD83D\uDE00")"},
  };
  for (const auto& c : kCases) {
    MemoryRowSet rows({{"v", ColumnType::kText}});
    rows.AddRow({c.value});
    EXPECT_EQ(DataSetToEnvelope(rows), R"({"Data":[{"v":)" + c.json + "}]}") << c.name;
  }
}

TEST(DataSetToEnvelope, NamesEscapedAndOrderKept) {
  MemoryRowSet rows({{"z/\"", ColumnType::kText}, {"\xD9\x86", ColumnType::kText}, {"a", ColumnType::kText}});
  rows.AddRow({"1", "2", "3"});
  EXPECT_EQ(DataSetToEnvelope(rows), R"({"Data":[{"z\/\"":"1","\u0646":"2","a":"3"}]})");
}

TEST(EnvelopeObject, WritesStringMembers) {
  EXPECT_EQ(EnvelopeObject().Text(), "{}");
  EXPECT_EQ(EnvelopeObject().Add("s_result", "1").Add("s_message", "\xD8\xB9/").Text(),
            R"({"s_result":"1","s_message":"\u0639\/"})");
  EXPECT_EQ(EnvelopeEscape("plain"), "plain");
}

}  // namespace
}  // namespace veltra
