// Rows as a JSON array of objects whose values keep their column types (numbers and booleans
// bare, texts quoted), in a fixed layout with CR LF line breaks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "wire/row_set.h"

namespace veltra {

// The whole result from the first row; leaves the row set past its last row. A null row set
// (a procedure that returned none) is written as a result without rows. Throws
// ConversionError for a NULL date-time value.
std::string RowSetToJson(RowSet& rows);
std::string RowSetToJson(RowSet* rows);
// The current row: FieldToJson of every column, joined by ", ".
std::string RowToJson(const RowSet& rows);
// "name": value and CR LF, for one column of the current row.
std::string FieldToJson(const RowSet& rows, std::size_t column);
// Backslash, "/", double quote, CR, LF and TAB only; everything else passes unchanged.
std::string JsonEscape(std::string_view text);

}  // namespace veltra
