// What differs between the servers the gateway talks to: the connection string, how a
// procedure is named for parameter discovery and how its call is written.
#pragma once

#include <string>
#include <vector>

#include "db/connection.h"

namespace veltra::db {

enum class Dialect { kSqlServer, kPostgreSql };

// From SQL_DBMS_NAME ("Microsoft SQL Server", "PostgreSQL"); anything else is treated as
// SQL Server, the database the procedures were written for.
Dialect DialectFromDbmsName(const std::string& dbms_name);

// The ODBC driver for `provider`: "SQL Server" is the first registered of the Microsoft
// drivers 18 and 17 and FreeTDS, "PostgreSQL" is "PostgreSQL Unicode", any other name is a
// driver name as registered. Throws when "SQL Server" finds none of its drivers.
std::string ResolveDriver(const std::string& provider, const std::vector<std::string>& registered);

// The full connection string for `driver`. Holds the password: never log it.
std::string BuildConnectionString(const std::string& driver, const ConnectionSettings& settings);

// The name under which parameters are discovered, and the call text with `markers` question
// marks (the declared parameters) and a return-value marker when `with_return`.
std::string DiscoveryName(Dialect dialect, const std::string& procedure);
std::string CallText(Dialect dialect, const std::string& procedure, int markers, bool with_return);

}  // namespace veltra::db
