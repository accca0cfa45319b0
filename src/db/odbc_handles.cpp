#include "db/odbc_handles.h"

#include <vector>

#include "wire/text.h"

namespace veltra::db {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be a UTF-16 code unit");

std::basic_string<SQLWCHAR> ToSqlWide(std::string_view utf8) {
  std::u16string u = Utf8ToUtf16(utf8);
  return std::basic_string<SQLWCHAR>(reinterpret_cast<const SQLWCHAR*>(u.data()), u.size());
}

std::string FromSqlWide(const SQLWCHAR* text, std::size_t units) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), units));
}

void ThrowOdbcError(SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view fallback) {
  std::string message;
  if (handle != SQL_NULL_HANDLE) {
    for (SQLSMALLINT record = 1;; ++record) {
      SQLWCHAR state[6] = {};
      SQLINTEGER native = 0;
      std::vector<SQLWCHAR> text(1024);
      SQLSMALLINT length = 0;
      SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, record, state, &native, text.data(),
                                    static_cast<SQLSMALLINT>(text.size()), &length);
      if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
        text.resize(length + 1);
        rc = SQLGetDiagRecW(handle_type, handle, record, state, &native, text.data(),
                            static_cast<SQLSMALLINT>(text.size()), &length);
      }
      if (!SQL_SUCCEEDED(rc)) break;
      std::string line = Trim(FromSqlWide(text.data(), std::min<std::size_t>(length, text.size())));
      if (line.empty() || message.find(line) != std::string::npos) continue;
      if (!message.empty()) message += '\n';
      message += line;
    }
  }
  throw std::runtime_error(message.empty() ? std::string(fallback) : message);
}

void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view what,
           bool no_data_ok) {
  if (SQL_SUCCEEDED(rc) || (no_data_ok && rc == SQL_NO_DATA)) return;
  ThrowOdbcError(handle_type, handle, std::string(what) + " failed");
}

OdbcEnvironment::OdbcEnvironment() {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    throw std::runtime_error("The ODBC driver manager could not be initialised");
  }
  SQLRETURN rc = SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(rc)) {
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    throw std::runtime_error("The ODBC driver manager does not support ODBC 3");
  }
}

OdbcEnvironment::~OdbcEnvironment() { SQLFreeHandle(SQL_HANDLE_ENV, env_); }

OdbcConnection::OdbcConnection(const OdbcEnvironment& env) {
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &dbc_), SQL_HANDLE_ENV, env.get(),
        "Allocating a connection");
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

void OdbcConnection::Connect(std::string_view connection_string) {
  auto wide = ToSqlWide(connection_string);
  SQLSMALLINT out_length = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()),
                                   nullptr, 0, &out_length, SQL_DRIVER_NOPROMPT);
  Check(rc, SQL_HANDLE_DBC, dbc_, "Connecting to the database");
  connected_ = true;
}

void OdbcConnection::SetAutocommit(bool on) {
  SQLRETURN rc = SQLSetConnectAttr(
      dbc_, SQL_ATTR_AUTOCOMMIT,
      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
      SQL_IS_UINTEGER);
  Check(rc, SQL_HANDLE_DBC, dbc_, "Setting autocommit");
}

void OdbcConnection::Commit() {
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "Commit");
}

void OdbcConnection::RollbackQuietly() noexcept { SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK); }

std::string OdbcConnection::InfoText(SQLUSMALLINT info_type) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT bytes = 0;
  Check(SQLGetInfoW(dbc_, info_type, buffer, sizeof(buffer), &bytes), SQL_HANDLE_DBC, dbc_,
        "Reading the server's name");
  std::size_t units = std::min<std::size_t>(bytes / sizeof(SQLWCHAR), 255);
  return FromSqlWide(buffer, units);
}

OdbcStatement::OdbcStatement(const OdbcConnection& connection) {
  db::Check(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &stmt_), SQL_HANDLE_DBC,
        connection.get(), "Allocating a statement");
}

OdbcStatement::~OdbcStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

}  // namespace veltra::db
