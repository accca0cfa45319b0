// OdbcDatabase: the Database seam over ODBC. One call: get a connection, discover the
// procedure's parameters, bind, execute, fetch the first result set whole, read the outputs,
// give the connection back. Every handle is owned by an RAII type, so a failure in any step
// releases everything before the error reaches the caller.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "db/code_page.h"
#include "db/connection.h"
#include "db/dialect.h"
#include "db/odbc_handles.h"
#include "wire/text.h"

namespace veltra::db {
namespace {

struct Parameter {
  std::string name;
  SQLSMALLINT kind = SQL_PARAM_INPUT;  // SQL_PARAM_INPUT, _INPUT_OUTPUT, _OUTPUT, SQL_RETURN_VALUE
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

struct ParameterList {
  std::optional<Parameter> return_value;  // position 0, where the server reports one
  std::vector<Parameter> declared;        // positions 1..n
};

std::string NormalName(std::string_view name) {
  std::string n(name);
  if (!n.empty() && n[0] == '@') n.erase(0, 1);
  for (char& c : n) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return n;
}

std::vector<std::string> RegisteredDrivers(const OdbcEnvironment& env) {
  std::vector<std::string> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (true) {
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT name_length = 0, attributes_length = 0;
    SQLRETURN rc = SQLDriversW(env.get(), direction, name, 512, &name_length, attributes, 2048,
                               &attributes_length);
    if (!SQL_SUCCEEDED(rc)) break;
    names.push_back(FromSqlWide(name, std::min<SQLSMALLINT>(name_length, 511)));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

// Reads column `column` of the current row as text; nullopt for NULL.
std::optional<std::string> GetText(const OdbcStatement& st, SQLUSMALLINT column) {
  std::basic_string<SQLWCHAR> value;
  SQLWCHAR chunk[2048];
  while (true) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(st.get(), column, SQL_C_WCHAR, chunk, sizeof(chunk), &indicator);
    if (rc == SQL_NO_DATA) break;
    st.Check(rc, "Reading a value");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    std::size_t max_units = sizeof(chunk) / sizeof(SQLWCHAR) - 1;
    std::size_t units = indicator == SQL_NO_TOTAL || indicator / SQLLEN(sizeof(SQLWCHAR)) > SQLLEN(max_units)
                            ? max_units
                            : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    value.append(chunk, units);
    if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: truncated, more to come
  }
  return FromSqlWide(value.data(), value.size());
}

std::optional<SQLSMALLINT> GetSmall(const OdbcStatement& st, SQLUSMALLINT column) {
  SQLSMALLINT value = 0;
  SQLLEN indicator = 0;
  st.Check(SQLGetData(st.get(), column, SQL_C_SSHORT, &value, 0, &indicator), "Reading a value");
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

std::optional<SQLINTEGER> GetInteger(const OdbcStatement& st, SQLUSMALLINT column) {
  SQLINTEGER value = 0;
  SQLLEN indicator = 0;
  st.Check(SQLGetData(st.get(), column, SQL_C_SLONG, &value, 0, &indicator), "Reading a value");
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

// In a catalog function's name argument '_' and '%' are wildcards.
std::string EscapePattern(const std::string& name, const std::string& escape) {
  if (escape.empty()) return name;
  std::string out;
  for (char c : name) {
    if (c == '_' || c == '%' || escape.find(c) != std::string::npos) out += escape;
    out += c;
  }
  return out;
}

// SQL Server reports a return value for every procedure, so no row at all means there is no
// such procedure; a PostgreSQL function without parameters or result may report nothing.
bool FunctionExists(OdbcConnection& connection, Dialect dialect, const std::string& name) {
  if (dialect == Dialect::kSqlServer) return false;
  OdbcStatement st(connection);
  std::string quoted;
  for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  auto sql = ToSqlWide("select 1 from pg_proc where proname = '" + quoted + "'");
  st.Check(SQLExecDirectW(st.get(), sql.data(), static_cast<SQLINTEGER>(sql.size())),
           "Looking up " + name);
  SQLRETURN rc = SQLFetch(st.get());
  st.Check(rc, "Looking up " + name, true);
  return rc != SQL_NO_DATA;
}

ParameterList Discover(OdbcConnection& connection, Dialect dialect, const std::string& procedure) {
  std::string name = DiscoveryName(dialect, procedure);
  std::string schema;
  if (auto dot = name.rfind('.'); dot != std::string::npos) {
    schema = name.substr(0, dot);
    name = name.substr(dot + 1);
  }
  std::string escape = connection.InfoText(SQL_SEARCH_PATTERN_ESCAPE);
  auto wide_name = ToSqlWide(EscapePattern(name, escape));
  auto wide_schema = ToSqlWide(EscapePattern(schema, escape));

  OdbcStatement st(connection);
  SQLRETURN rc = SQLProcedureColumnsW(
      st.get(), nullptr, 0, schema.empty() ? nullptr : wide_schema.data(),
      schema.empty() ? 0 : static_cast<SQLSMALLINT>(wide_schema.size()), wide_name.data(),
      static_cast<SQLSMALLINT>(wide_name.size()), nullptr, 0);
  st.Check(rc, "Reading the parameters of " + procedure);

  ParameterList list;
  std::optional<std::string> first_owner;
  // Columns are read by position, in order: 2 schema, 4 name, 5 kind, 6 type, 8 size, 10 digits.
  while (true) {
    rc = SQLFetch(st.get());
    if (rc == SQL_NO_DATA) break;
    st.Check(rc, "Reading the parameters of " + procedure);
    std::string owner = GetText(st, 1).value_or("") + "." + GetText(st, 2).value_or("");
    if (!first_owner) first_owner = owner;
    auto column_name = GetText(st, 4).value_or("");
    auto kind = GetSmall(st, 5).value_or(SQL_PARAM_TYPE_UNKNOWN);
    auto type = GetSmall(st, 6).value_or(SQL_WVARCHAR);
    auto size = GetInteger(st, 8).value_or(0);
    auto digits = GetSmall(st, 10).value_or(0);
    // The same name in another schema is another procedure.
    if (owner != *first_owner) continue;
    Parameter p{column_name, kind, type, static_cast<SQLULEN>(std::max<SQLINTEGER>(size, 0)), digits};
    if (kind == SQL_RETURN_VALUE) {
      list.return_value = p;
    } else if (kind == SQL_PARAM_INPUT || kind == SQL_PARAM_INPUT_OUTPUT ||
               kind == SQL_PARAM_OUTPUT) {
      list.declared.push_back(p);
    }
  }
  if (!list.return_value && list.declared.empty() && !FunctionExists(connection, dialect, name)) {
    throw std::runtime_error("Could not find stored procedure '" + procedure + "'.");
  }
  return list;
}

ColumnType GroupOf(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
      return ColumnType::kText;
    case SQL_DECIMAL: case SQL_NUMERIC: case SQL_SMALLINT: case SQL_INTEGER: case SQL_REAL:
    case SQL_FLOAT: case SQL_DOUBLE: case SQL_TINYINT: case SQL_BIGINT:
      return ColumnType::kNumber;
    case SQL_BIT:
      return ColumnType::kBoolean;
    case SQL_TYPE_DATE: case SQL_DATE:
      return ColumnType::kDate;
    case SQL_TYPE_TIME: case SQL_TIME: case -154 /* SQL_SS_TIME2 */:
      return ColumnType::kTime;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: case -155 /* SQL_SS_TIMESTAMPOFFSET */:
      return ColumnType::kDateTime;
    case SQL_GUID:
      return ColumnType::kGuid;
    default:
      return ColumnType::kOther;
  }
}

bool IsFloating(SQLSMALLINT t) { return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE; }

// Fixed-point text without the trailing zeros of its fraction, as the number itself prints.
std::string TrimFraction(std::string text) {
  if (text.find('.') == std::string::npos || text.find_first_of("eE") != std::string::npos)
    return text;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  if (text.empty() || text == "-") text = "0";
  return text;
}

// Fifteen significant digits, exponent written as E<n>.
std::string FormatFloat(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.15G", value);
  std::string text = buffer;
  if (auto e = text.find('E'); e != std::string::npos) {
    std::string mantissa = text.substr(0, e), exponent = text.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    text = mantissa + "E" + (negative ? "-" : "") + exponent;
  }
  return text;
}

Cell GetCell(const OdbcStatement& st, SQLUSMALLINT column, SQLSMALLINT sql_type) {
  SQLLEN indicator = 0;
  switch (GroupOf(sql_type)) {
    case ColumnType::kNumber: {
      if (IsFloating(sql_type)) {
        double value = 0;
        st.Check(SQLGetData(st.get(), column, SQL_C_DOUBLE, &value, 0, &indicator), "Reading a value");
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        return FormatFloat(value);
      }
      auto text = GetText(st, column);
      if (!text) return std::nullopt;
      return TrimFraction(Trim(*text));
    }
    case ColumnType::kBoolean: {
      unsigned char bit = 0;
      st.Check(SQLGetData(st.get(), column, SQL_C_BIT, &bit, 0, &indicator), "Reading a value");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      return std::string(BoolText(bit != 0));
    }
    case ColumnType::kDate: {
      SQL_DATE_STRUCT d{};
      st.Check(SQLGetData(st.get(), column, SQL_C_TYPE_DATE, &d, 0, &indicator), "Reading a value");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      LocalDateTime t;
      t.year = d.year; t.month = d.month; t.day = d.day;
      return FormatShortDate(t);
    }
    case ColumnType::kTime: {
      SQL_TIME_STRUCT d{};
      st.Check(SQLGetData(st.get(), column, SQL_C_TYPE_TIME, &d, 0, &indicator), "Reading a value");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      LocalDateTime t;
      t.hour = d.hour; t.minute = d.minute; t.second = d.second;
      return FormatLongTime(t);
    }
    case ColumnType::kDateTime: {
      SQL_TIMESTAMP_STRUCT d{};
      st.Check(SQLGetData(st.get(), column, SQL_C_TYPE_TIMESTAMP, &d, 0, &indicator),
               "Reading a value");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      LocalDateTime t;
      t.year = d.year; t.month = d.month; t.day = d.day;
      t.hour = d.hour; t.minute = d.minute; t.second = d.second;
      t.millisecond = static_cast<int>(d.fraction / 1000000);
      return FormatDateTime(t);
    }
    default:
      return GetText(st, column);
  }
}

std::unique_ptr<MemoryRowSet> FetchAll(const OdbcStatement& st, SQLSMALLINT column_count) {
  std::vector<Column> columns;
  std::vector<SQLSMALLINT> types;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(column_count); ++c) {
    SQLWCHAR name[512];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    st.Check(SQLDescribeColW(st.get(), c, name, 512, &name_length, &type, &size, &digits, &nullable),
             "Describing a column");
    columns.push_back({FromSqlWide(name, std::min<SQLSMALLINT>(name_length, 511)), GroupOf(type)});
    types.push_back(type);
  }
  auto rows = std::make_unique<MemoryRowSet>(columns);
  while (true) {
    SQLRETURN rc = SQLFetch(st.get());
    if (rc == SQL_NO_DATA) break;
    st.Check(rc, "Fetching a row");
    std::vector<Cell> row;
    row.reserve(types.size());
    for (SQLUSMALLINT c = 1; c <= types.size(); ++c) row.push_back(GetCell(st, c, types[c - 1]));
    rows->AddRow(std::move(row));
  }
  rows->First();
  return rows;
}

// One parameter marker and the buffers bound to it; they must stay put until the outputs
// are read, so slots live in a vector sized once.
struct Slot {
  Parameter parameter;
  const Binding* input = nullptr;
  bool output = false;
  std::basic_string<SQLWCHAR> wide;
  std::string bytes;
  std::vector<SQLWCHAR> out;
  SQLLEN indicator = 0;
};

constexpr std::size_t kOutputUnits = 8000;

class OdbcDatabase : public Database {
 public:
  explicit OdbcDatabase(const ConnectionSettings& settings) : settings_(settings) {}

  CallResult Run(const Call& call) override {
    Session session = Acquire();
    if (call.after_connect) call.after_connect();
    CallResult result;
    try {
      result = RunOn(session, call);
      if (session.dialect == Dialect::kPostgreSql) session.connection->Commit();
    } catch (...) {
      if (session.dialect == Dialect::kPostgreSql) session.connection->RollbackQuietly();
      throw;
    }
    GiveBack(std::move(session));
    return result;
  }

 private:
  struct Session {
    std::unique_ptr<OdbcConnection> connection;
    Dialect dialect = Dialect::kSqlServer;
  };

  // The one place where a call gets its connection and gives it back. Today each call
  // connects and disconnects; a failed call never gives its connection back, it is closed
  // with the session.
  Session Acquire() {
    Session s;
    std::string driver;
    {
      std::lock_guard lock(env_mutex_);
      s.connection = std::make_unique<OdbcConnection>(env_);
      driver = ResolveDriver(settings_.provider, RegisteredDrivers(env_));
    }
    s.connection->Connect(BuildConnectionString(driver, settings_));
    s.dialect = DialectFromDbmsName(s.connection->InfoText(SQL_DBMS_NAME));
    // psqlODBC returns a function's refcursors as result sets only inside a transaction.
    if (s.dialect == Dialect::kPostgreSql) s.connection->SetAutocommit(false);
    return s;
  }
  void GiveBack(Session session) { session.connection.reset(); }

  CallResult RunOn(Session& session, const Call& call) {
    OdbcConnection& connection = *session.connection;
    if (call.is_query) {
      OdbcStatement st(connection);
      auto text = ToSqlWide(call.procedure);
      st.Check(SQLExecDirectW(st.get(), text.data(), static_cast<SQLINTEGER>(text.size())),
               "Running the query", true);
      CallResult result;
      result.rows = FirstResultSet(st);
      if (!result.rows && call.mode == RunMode::kOpen) throw std::runtime_error(kNoResultSet);
      result.outputs.resize(call.outputs.size());
      return result;
    }

    ParameterList list = Discover(connection, session.dialect, call.procedure);
    std::vector<Slot> slots;
    slots.reserve(list.declared.size() + 1);
    bool with_return = list.return_value.has_value();
    if (with_return) slots.push_back({*list.return_value});
    for (const auto& p : list.declared) slots.push_back({p});
    auto slot_at = [&](int position) -> Slot& { return slots[position - (with_return ? 0 : 1)]; };
    int declared = static_cast<int>(list.declared.size());

    for (const auto& b : call.inputs) {
      if (b.position > 0) {
        if (b.position > declared) {
          throw std::runtime_error("Procedure " + call.procedure + " declares " +
                                   std::to_string(declared) + " parameters; position " +
                                   std::to_string(b.position) + " cannot be bound");
        }
        slot_at(b.position).input = &b;
        continue;
      }
      std::string wanted = NormalName(b.name);
      auto it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) {
        return s.parameter.kind != SQL_RETURN_VALUE && NormalName(s.parameter.name) == wanted;
      });
      if (it == slots.end()) throw std::runtime_error("Parameter '" + b.name + "' not found");
      it->input = &b;
    }
    for (int position : call.outputs) {
      if (position == 0 && with_return) {
        slots[0].output = true;
      } else if (position >= 1 && position <= declared) {
        slot_at(position).output = true;
      } else {
        throw std::runtime_error("Procedure " + call.procedure + " has no parameter at position " +
                                 std::to_string(position));
      }
    }

    OdbcStatement st(connection);
    SQLUSMALLINT marker = 0;
    for (auto& slot : slots) Bind(st, ++marker, slot, session.dialect);
    auto text = ToSqlWide(CallText(session.dialect, call.procedure, declared, with_return));
    st.Check(SQLExecDirectW(st.get(), text.data(), static_cast<SQLINTEGER>(text.size())),
             "Running " + call.procedure, true);

    CallResult result;
    result.rows = FirstResultSet(st);
    if (!result.rows && call.mode == RunMode::kOpen) throw std::runtime_error(kNoResultSet);
    for (int position : call.outputs) {
      const Slot& s = position == 0 ? slots[0] : slot_at(position);
      if (s.indicator == SQL_NULL_DATA) {
        result.outputs.push_back(std::nullopt);
      } else {
        std::size_t units = s.indicator < 0 ? 0 : static_cast<std::size_t>(s.indicator) / sizeof(SQLWCHAR);
        result.outputs.push_back(FromSqlWide(s.out.data(), std::min(units, kOutputUnits)));
      }
    }
    return result;
  }

  void Bind(const OdbcStatement& st, SQLUSMALLINT marker, Slot& slot, Dialect dialect) {
    const Parameter& p = slot.parameter;
    bool is_output = p.kind == SQL_RETURN_VALUE || p.kind == SQL_PARAM_OUTPUT ||
                     p.kind == SQL_PARAM_INPUT_OUTPUT || slot.output;
    SQLSMALLINT io = SQL_PARAM_INPUT;
    if (p.kind == SQL_RETURN_VALUE || p.kind == SQL_PARAM_OUTPUT) io = SQL_PARAM_OUTPUT;
    else if (is_output) io = SQL_PARAM_INPUT_OUTPUT;

    if (io == SQL_PARAM_INPUT && slot.input && slot.input->ansi && dialect == Dialect::kSqlServer) {
      // Document content: the bytes of the code page as an 8-bit string.
      slot.bytes = Utf8ToCodePage(slot.input->value, settings_.ansi_code_page);
      slot.indicator = static_cast<SQLLEN>(slot.bytes.size());
      SQLULEN size = std::max<SQLULEN>(slot.bytes.size(), 1);
      st.Check(SQLBindParameter(st.get(), marker, SQL_PARAM_INPUT, SQL_C_CHAR,
                                size > 8000 ? SQL_LONGVARCHAR : SQL_VARCHAR, size, 0,
                                slot.bytes.data(), static_cast<SQLLEN>(slot.bytes.size()),
                                &slot.indicator),
               "Binding a parameter");
      return;
    }

    if (slot.input) {
      std::string value = slot.input->value;
      // PostgreSQL stores text, so content gets there as what survives the code page.
      if (slot.input->ansi) value = ThroughCodePage(value, settings_.ansi_code_page);
      slot.wide = ToSqlWide(value);
      slot.indicator = static_cast<SQLLEN>(slot.wide.size() * sizeof(SQLWCHAR));
    } else {
      slot.indicator = SQL_NULL_DATA;
    }
    SQLPOINTER buffer = slot.wide.data();
    SQLLEN buffer_bytes = static_cast<SQLLEN>(slot.wide.size() * sizeof(SQLWCHAR));
    if (io != SQL_PARAM_INPUT) {
      slot.out.assign(kOutputUnits + 1, 0);
      std::copy(slot.wide.begin(), slot.wide.begin() + std::min(slot.wide.size(), kOutputUnits),
                slot.out.begin());
      buffer = slot.out.data();
      buffer_bytes = static_cast<SQLLEN>(slot.out.size() * sizeof(SQLWCHAR));
      if (io == SQL_PARAM_OUTPUT) slot.indicator = 0;
    }
    // Values go as text; the server converts them to the declared types. psqlODBC sends
    // text of any SQL type unchanged, so the declared type keeps PostgreSQL's function
    // resolution exact; SQL Server converts a Unicode string implicitly.
    SQLSMALLINT sql_type = SQL_WVARCHAR;
    SQLULEN size = std::max<SQLULEN>(slot.wide.size(), 1);
    SQLSMALLINT digits = 0;
    if (dialect == Dialect::kPostgreSql) {
      sql_type = p.sql_type;
      digits = p.digits;
      if (GroupOf(sql_type) != ColumnType::kText || p.size > size) size = std::max<SQLULEN>(p.size, size);
    } else if (io != SQL_PARAM_INPUT) {
      // Outputs are converted from the declared type into the text buffer by the driver.
      sql_type = p.sql_type;
      digits = p.digits;
      size = p.size > 0 ? p.size : kOutputUnits / 2;
    } else if (size > 4000) {
      sql_type = SQL_WLONGVARCHAR;
    }
    st.Check(SQLBindParameter(st.get(), marker, io, SQL_C_WCHAR, sql_type, size, digits, buffer,
                              buffer_bytes, &slot.indicator),
             "Binding a parameter");
  }

  // The first result set that has columns; the rest are read past so that SQL Server
  // delivers output parameters and reports errors raised after the first result set.
  static std::unique_ptr<RowSet> FirstResultSet(const OdbcStatement& st) {
    std::unique_ptr<RowSet> rows;
    while (true) {
      SQLSMALLINT columns = 0;
      st.Check(SQLNumResultCols(st.get(), &columns), "Reading the result");
      if (columns > 0 && !rows) rows = FetchAll(st, columns);
      SQLRETURN rc = SQLMoreResults(st.get());
      if (rc == SQL_NO_DATA) break;
      st.Check(rc, "Reading the result");
    }
    return rows;
  }

  static constexpr const char* kNoResultSet = "The call returned no result set";

  const ConnectionSettings settings_;
  // Calls run on many threads at once; the driver manager's environment-level functions
  // are not guaranteed to be safe for that, connection-level ones are.
  std::mutex env_mutex_;  // guards the use of env_ (allocating connections, listing drivers)
  OdbcEnvironment env_;
};

}  // namespace

std::unique_ptr<Database> MakeOdbcDatabase(const ConnectionSettings& settings) {
  return std::make_unique<OdbcDatabase>(settings);
}

}  // namespace veltra::db
