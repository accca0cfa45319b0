#include "wire/typed_json.h"

#include "wire/text.h"

namespace veltra {
namespace {

std::string Quote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string ValueToJson(const Column& column, const Cell& value) {
  switch (column.type) {
    case ColumnType::kText:
      return value ? Quote(JsonEscape(*value)) : "\"\"";
    case ColumnType::kNumber:
      return value && !value->empty() ? *value : "0";
    case ColumnType::kBoolean:
      return value && TryStrToBool(*value).value_or(false) ? "true" : "false";
    case ColumnType::kDate:
    case ColumnType::kTime:
      return value ? Quote(*value) : "\"\"";
    case ColumnType::kDateTime:
      if (!value)
        throw ConversionError("Could not convert NULL of column '" + column.name +
                              "' into a date-time");
      return Quote(*value);
    case ColumnType::kGuid: {
      std::string guid;
      if (value)
        for (char c : *value)
          if (c != '{' && c != '}') guid += c;
      return Quote(guid);
    }
    case ColumnType::kOther:
      break;
  }
  return "\"\"";
}

}  // namespace

std::string JsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FieldToJson(const RowSet& rows, std::size_t column) {
  const Column& col = rows.Columns().at(column);
  return Quote(JsonEscape(col.name)) + ": " + ValueToJson(col, rows.Value(column)) + "\r\n";
}

std::string RowToJson(const RowSet& rows) {
  std::string out;
  for (std::size_t c = 0; c < rows.Columns().size(); ++c) {
    if (c) out += ", ";
    out += FieldToJson(rows, c);
  }
  return out;
}

std::string RowSetToJson(RowSet& rows) {
  std::string body;
  rows.First();
  for (bool first = true; !rows.Eof(); first = false) {
    if (!first) body += ", ";
    body += "\r\n{\r\n";
    body += RowToJson(rows);
    body += "}\r\n";
    rows.Next();
  }
  return "[\r\n" + body + "\r\n]";
}

std::string RowSetToJson(RowSet* rows) {
  if (!rows) return "[\r\n\r\n]";
  return RowSetToJson(*rows);
}

}  // namespace veltra
