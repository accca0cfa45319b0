// A result set as one HTML table fragment (no document around it); nothing is escaped.
#pragma once

#include <string>

#include "wire/row_set.h"

namespace veltra {

// Header row of column names, then one row per record from the first (NULL as empty text);
// leaves the row set past its last row.
std::string DataSetToHtmlTable(RowSet& rows);

}  // namespace veltra
