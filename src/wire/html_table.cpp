#include "wire/html_table.h"

namespace veltra {
namespace {
constexpr std::string_view kTableStart =
    "<Table style=\"font-family:Tahoma\" Width=\"100%\" CellSpacing=2 CellPadding=1 Border=2 "
    "BgColor=\"White\">";
constexpr std::string_view kHeaderCellStart = "<TH style=\"background-color:powderblue\">";
}  // namespace

std::string DataSetToHtmlTable(RowSet& rows) {
  const std::vector<Column>& columns = rows.Columns();
  std::string out;
  out += kTableStart;
  out += "\r\n";
  rows.First();
  out += "<TR>";
  for (const Column& column : columns) {
    out += kHeaderCellStart;
    out += column.name;
    out += "</TH>";
  }
  out += "</TR>\r\n";
  while (!rows.Eof()) {
    out += "<TR>";
    for (std::size_t c = 0; c < columns.size(); ++c) {
      out += "<TD>";
      if (const Cell& value = rows.Value(c)) out += *value;
      out += "</TD>";
    }
    out += "</TR>\r\n";
    rows.Next();
  }
  out += "</Table>";
  return out;
}

}  // namespace veltra
