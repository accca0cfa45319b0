#include "wire/typed_json.h"

#include <gtest/gtest.h>

#include "wire/text.h"

namespace veltra {
namespace {

TEST(RowSetToJson, EightLineExample) {
  MemoryRowSet rows({{"id", ColumnType::kNumber}, {"name", ColumnType::kText}});
  rows.AddRow({"5", "abc"});
  EXPECT_EQ(RowSetToJson(rows), "[\r\n\r\n{\r\n\"id\": 5\r\n, \"name\": \"abc\"\r\n}\r\n\r\n]");
  EXPECT_TRUE(rows.Eof());
}

TEST(RowSetToJson, NoRowsAndNoRowSet) {
  MemoryRowSet rows({{"id", ColumnType::kNumber}});
  EXPECT_EQ(RowSetToJson(rows), "[\r\n\r\n]");
  EXPECT_EQ(RowSetToJson(static_cast<RowSet*>(nullptr)), "[\r\n\r\n]");
}

TEST(RowSetToJson, RowsSeparatedBeforeTheOpeningBreakAndCursorRewound) {
  MemoryRowSet rows({{"id", ColumnType::kNumber}});
  rows.AddRow({"1"});
  rows.AddRow({"2"});
  rows.First();
  rows.Next();
  EXPECT_EQ(RowSetToJson(rows),
            "[\r\n\r\n{\r\n\"id\": 1\r\n}\r\n, \r\n{\r\n\"id\": 2\r\n}\r\n\r\n]");
}

TEST(FieldToJson, ValuesByType) {
  struct Case { const char* name; ColumnType type; Cell value; std::string json; };
  const Case kCases[] = {
      {"text", ColumnType::kText, "abc", R"("abc")"},
      {"null text", ColumnType::kText, std::nullopt, R"("")"},
      {"escaped text", ColumnType::kText, "\"\\/\r\n\t", R"("\"\\\/\r\n\t")"},
      {"other controls and non-ascii pass", ColumnType::kText, "\x01\xD8\xB9\b",
       "\"\x01\xD8\xB9\b\""},
      {"number", ColumnType::kNumber, "-12.5", "-12.5"},
      {"null number", ColumnType::kNumber, std::nullopt, "0"},
      {"empty number", ColumnType::kNumber, "", "0"},
      {"true", ColumnType::kBoolean, "True", "true"},
      {"false", ColumnType::kBoolean, "False", "false"},
      {"null boolean", ColumnType::kBoolean, std::nullopt, "false"},
      {"date", ColumnType::kDate, "2026/03/04", R"("2026/03/04")"},
      {"null date", ColumnType::kDate, std::nullopt, R"("")"},
      {"time", ColumnType::kTime, "05:06:07", R"("05:06:07")"},
      {"date-time", ColumnType::kDateTime, "2026/03/04 05:06:07", R"("2026/03/04 05:06:07")"},
      {"date-time at midnight", ColumnType::kDateTime, "2026/03/04", R"("2026/03/04")"},
      {"guid braces removed", ColumnType::kGuid, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
       R"("6F9619FF-8B86-D011-B42D-00C04FC964FF")"},
      {"null guid", ColumnType::kGuid, std::nullopt, R"("")"},
      {"blob always empty", ColumnType::kOther, "\x01\x02", R"("")"},
  };
  for (const auto& c : kCases) {
    MemoryRowSet rows({{"c", c.type}});
    rows.AddRow({c.value});
    rows.First();
    EXPECT_EQ(FieldToJson(rows, 0), "\"c\": " + c.json + "\r\n") << c.name;
  }
}

TEST(FieldToJson, NameEscaped) {
  MemoryRowSet rows({{"a\"b/c", ColumnType::kNumber}});
  rows.AddRow({"1"});
  rows.First();
  EXPECT_EQ(FieldToJson(rows, 0), "\"a\\\"b\\/c\": 1\r\n");
}

TEST(RowSetToJson, NullDateTimeFailsWithConversionError) {
  MemoryRowSet rows({{"id", ColumnType::kNumber}, {"at", ColumnType::kDateTime}});
  rows.AddRow({"1", "2026/03/04"});
  rows.AddRow({"2", std::nullopt});
  try {
    RowSetToJson(rows);
    FAIL() << "expected a conversion error";
  } catch (const ConversionError& e) {
    EXPECT_NE(std::string(e.what()).find("'at'"), std::string::npos) << e.what();
  }
}

TEST(JsonEscape, EachCharacterOnceNoDoubleEscaping) {
  EXPECT_EQ(JsonEscape("\\/"), "\\\\\\/");
  EXPECT_EQ(JsonEscape("a\"b"), "a\\\"b");
  EXPECT_EQ(JsonEscape("\r\n\t"), "\\r\\n\\t");
  EXPECT_EQ(JsonEscape("\f\b"), "\f\b");
}

}  // namespace
}  // namespace veltra
