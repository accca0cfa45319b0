#include "wire/row_set.h"

#include <stdexcept>

#include "wire/text.h"

namespace veltra {
namespace {
const Cell kNull;
}  // namespace

int RowSet::FindColumn(std::string_view name) const {
  const auto& cols = Columns();
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (EqualsNoCase(cols[i].name, name)) return static_cast<int>(i);
  return -1;
}

const Cell& RowSet::FieldByName(std::string_view name) const {
  const int i = FindColumn(name);
  if (i < 0) throw std::runtime_error("Field '" + std::string(name) + "' not found");
  return Value(static_cast<std::size_t>(i));
}

void MemoryRowSet::Next() {
  walked_ = true;
  if (eof_) return;
  if (current_ + 1 < rows_.size()) {
    ++current_;
  } else {
    eof_ = true;
  }
}

const Cell& MemoryRowSet::Value(std::size_t column) const {
  if (rows_.empty() || column >= rows_[current_].size()) return kNull;
  return rows_[current_][column];
}

}  // namespace veltra
