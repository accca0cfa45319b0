#include "wire/envelope.h"

#include "wire/text.h"

namespace veltra {

std::string EnvelopeEscape(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(units.size() + 8);
  for (char16_t u : units) {
    switch (u) {
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      case u'/': out += "\\/"; break;
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 12: out += "\\f"; break;
      case 13: out += "\\r"; break;
      default:
        if (u < 32 || u >= 128) {
          out += "\\u";
          out += kHex[(u >> 12) & 15];
          out += kHex[(u >> 8) & 15];
          out += kHex[(u >> 4) & 15];
          out += kHex[u & 15];
        } else {
          out += static_cast<char>(u);
        }
    }
  }
  return out;
}

std::string SpaceIfEmpty(const Cell& value) {
  if (!value || value->empty()) return " ";
  return *value;
}

EnvelopeObject& EnvelopeObject::Add(std::string_view name, std::string_view value) {
  if (text_.size() > 1) text_ += ',';
  text_ += '"';
  text_ += EnvelopeEscape(name);
  text_ += "\":\"";
  text_ += EnvelopeEscape(value);
  text_ += '"';
  return *this;
}

std::string DataSetToEnvelope(RowSet& rows) {
  std::string out = "{\"Data\":[";
  const std::vector<Column>& columns = rows.Columns();
  rows.First();
  const std::size_t count = rows.RowCount();
  for (std::size_t r = 0; r < count; ++r) {
    EnvelopeObject row;
    for (const Column& column : columns) row.Add(column.name, SpaceIfEmpty(rows.FieldByName(column.name)));
    if (r) out += ',';
    out += row.Text();
    rows.Next();
  }
  out += "]}";
  return out;
}

}  // namespace veltra
