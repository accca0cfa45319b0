// RAII owners of ODBC handles and the error that carries the driver's diagnostics. Only the
// wide (W) and plain entry points are used, so the same code runs on unixODBC and on the
// Windows driver manager, where SQLWCHAR is UTF-16 as well.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace veltra::db {

// Text <-> SQLWCHAR strings (UTF-16 code units).
std::basic_string<SQLWCHAR> ToSqlWide(std::string_view utf8);
std::string FromSqlWide(const SQLWCHAR* text, std::size_t units);

// Throws std::runtime_error with the diagnostic records of `handle` (message texts joined by
// line feeds), or `fallback` when the driver left none.
[[noreturn]] void ThrowOdbcError(SQLSMALLINT handle_type, SQLHANDLE handle,
                                 std::string_view fallback);
// Throws when `rc` is neither SQL_SUCCESS nor SQL_SUCCESS_WITH_INFO (nor SQL_NO_DATA when
// `no_data_ok`).
void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view what,
           bool no_data_ok = false);

class OdbcEnvironment {
 public:
  OdbcEnvironment();
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
  SQLHENV get() const { return env_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
};

class OdbcConnection {
 public:
  explicit OdbcConnection(const OdbcEnvironment& env);
  ~OdbcConnection();  // disconnects when connected, then frees the handle
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // The connection string may hold the password: it is never part of an error text.
  void Connect(std::string_view connection_string);
  void SetAutocommit(bool on);
  void Commit();
  void RollbackQuietly() noexcept;
  std::string InfoText(SQLUSMALLINT info_type);
  SQLHDBC get() const { return dbc_; }

 private:
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

class OdbcStatement {
 public:
  explicit OdbcStatement(const OdbcConnection& connection);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;
  SQLHSTMT get() const { return stmt_; }
  void Check(SQLRETURN rc, std::string_view what, bool no_data_ok = false) const {
    db::Check(rc, SQL_HANDLE_STMT, stmt_, what, no_data_ok);
  }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

}  // namespace veltra::db
