// The connection-level seam of the gateway: one call = one connection (or one pooled
// session), one procedure or query, its inputs bound as text, its first result set fetched
// whole and its output parameters read back. OdbcDatabase implements it over ODBC;
// tests use FakeDatabase (tests/support).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wire/row_set.h"

namespace veltra::db {

struct Binding {
  int position = 0;        // 1..n: bound by position; 0: bound by `name`
  std::string name;        // matched without regard to case and a leading "@"
  std::string value;       // always text; the server converts it to the declared type
  bool ansi = false;       // an 8-bit string in the document code page (document content)

  static Binding At(int pos, std::string v) { return {pos, {}, std::move(v), false}; }
  static Binding Named(std::string n, std::string v, bool ansi = false) {
    return {0, std::move(n), std::move(v), ansi};
  }
};

enum class RunMode {
  kExecute,  // executed; a result set, if any, is kept
  kOpen,     // opened as a row-returning query; no result set is an error
};

struct Call {
  std::string procedure;  // as the design writes it ("sp_per_insert;1"), or SQL text
  bool is_query = false;  // `procedure` is plain SQL text, not a procedure name
  RunMode mode = RunMode::kExecute;
  std::vector<Binding> inputs;
  std::vector<int> outputs;  // positions of output parameters to read back after running
  // Runs once connected, before the procedure is prepared ("Show Response" boxes).
  std::function<void()> after_connect;
};

struct CallResult {
  std::unique_ptr<RowSet> rows;                  // first result set; null when there is none
  std::vector<std::optional<std::string>> outputs;  // in the order of Call::outputs
};

// Errors are exceptions (std::runtime_error) carrying the driver's message text.
class Database {
 public:
  virtual ~Database() = default;
  virtual CallResult Run(const Call& call) = 0;
};

}  // namespace veltra::db
