// A result set fetched whole: ordered columns with a type group, rows of nullable values
// already in their text form (regional formats of wire/text.h), and a cursor.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// Type groups of a column, as the writers treat them.
enum class ColumnType { kText, kNumber, kBoolean, kDate, kTime, kDateTime, kGuid, kOther };

struct Column {
  std::string name;
  ColumnType type = ColumnType::kText;
};

// NULL is nullopt. Non-NULL values hold the data layer's text of the value: text as stored,
// integers in decimal, fractions with '.', booleans "True"/"False", dates yyyy/MM/dd,
// times HH:mm:ss, date-times FormatDateTime, GUIDs as the server writes them.
using Cell = std::optional<std::string>;

class RowSet {
 public:
  virtual ~RowSet() = default;
  virtual const std::vector<Column>& Columns() const = 0;
  virtual std::size_t RowCount() const = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  // Past the last row (or no rows). After walking past the end, Value still reads the
  // last row, as the data layer did.
  virtual bool Eof() const = 0;
  // At the first row (nothing walked yet).
  virtual bool Bof() const = 0;
  virtual const Cell& Value(std::size_t column) const = 0;

  // Column index by name, without regard to ASCII case; -1 when there is none.
  int FindColumn(std::string_view name) const;
  // Value of the named column in the current row; throws std::runtime_error
  // "Field '<name>' not found" when there is no such column.
  const Cell& FieldByName(std::string_view name) const;
};

class MemoryRowSet : public RowSet {
 public:
  MemoryRowSet() = default;
  explicit MemoryRowSet(std::vector<Column> columns) : columns_(std::move(columns)) {}
  void AddRow(std::vector<Cell> row) { rows_.push_back(std::move(row)); }

  const std::vector<Column>& Columns() const override { return columns_; }
  std::size_t RowCount() const override { return rows_.size(); }
  void First() override { current_ = 0; eof_ = rows_.empty(); walked_ = false; }
  void Next() override;
  bool Eof() const override { return eof_; }
  bool Bof() const override { return current_ == 0 && !walked_; }
  const Cell& Value(std::size_t column) const override;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<Cell>> rows_;
  std::size_t current_ = 0;
  bool eof_ = false;
  bool walked_ = false;
};

}  // namespace veltra
