// Connection settings of the gateway, from TServiceSettings.
#pragma once

#include <memory>
#include <string>

#include "db/database.h"

namespace veltra::db {

struct ConnectionSettings {
  std::string provider;  // ODBC driver name, or the aliases "SQL Server" / "PostgreSQL"
  std::string server;    // host or host,port
  std::string database;
  std::string user;
  std::string password;  // never logged
  int ansi_code_page = 1256;
};

// The ODBC implementation of Database (db/odbc_database.cpp).
std::unique_ptr<Database> MakeOdbcDatabase(const ConnectionSettings& settings);

}  // namespace veltra::db
