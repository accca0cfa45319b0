#include "wire/html_table.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

const std::string kStart =
    "<Table style=\"font-family:Tahoma\" Width=\"100%\" CellSpacing=2 CellPadding=1 Border=2 "
    "BgColor=\"White\">";
const std::string kTh = "<TH style=\"background-color:powderblue\">";

TEST(DataSetToHtmlTable, FixedPieceLengths) {
  EXPECT_EQ(kStart.size(), 100u);
  EXPECT_EQ(kTh.size(), 40u);
}

TEST(DataSetToHtmlTable, Cases) {
  struct Case {
    const char* name;
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
    std::string html;
  };
  const Case kCases[] = {
      {"one row with a null",
       {{"cp", ColumnType::kNumber}, {"np", ColumnType::kText}},
       {{"1", std::nullopt}},
       kStart + "\r\n<TR>" + kTh + "cp</TH>" + kTh + "np</TH></TR>\r\n" +
           "<TR><TD>1</TD><TD></TD></TR>\r\n</Table>"},
      {"no rows keeps header", {{"cp", ColumnType::kNumber}}, {},
       kStart + "\r\n<TR>" + kTh + "cp</TH></TR>\r\n</Table>"},
      {"nothing escaped, non-ascii as is", {{"a<b", ColumnType::kText}},
       {{"a<b"}, {"\xD8\xB9&\""}},
       kStart + "\r\n<TR>" + kTh + "a<b</TH></TR>\r\n<TR><TD>a<b</TD></TR>\r\n" +
           "<TR><TD>\xD8\xB9&\"</TD></TR>\r\n</Table>"},
      {"no columns", {}, {{}, {}},
       kStart + "\r\n<TR></TR>\r\n<TR></TR>\r\n<TR></TR>\r\n</Table>"},
  };
  for (const auto& c : kCases) {
    MemoryRowSet rows(c.columns);
    for (const auto& row : c.rows) rows.AddRow(row);
    rows.First();
    rows.Next();  // the writer rewinds by itself
    EXPECT_EQ(DataSetToHtmlTable(rows), c.html) << c.name;
    EXPECT_TRUE(rows.Eof()) << c.name;
  }
}

}  // namespace
}  // namespace veltra
