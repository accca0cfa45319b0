#include "db/dialect.h"

#include <gtest/gtest.h>

namespace veltra::db {
namespace {

struct CallCase {
  const char* name;
  Dialect dialect;
  std::string procedure;
  int markers;
  bool with_return;
  std::string discovery;
  std::string call;
};

const CallCase kCalls[] = {
    {"SqlServerKeepsTheGroupSuffix", Dialect::kSqlServer, "sp_server_date;1", 1, true,
     "sp_server_date;1", "{? = call sp_server_date;1(?)}"},
    {"SqlServerKeepsCase", Dialect::kSqlServer, "_Exec_Proc", 4, true, "_Exec_Proc",
     "{? = call _Exec_Proc(?,?,?,?)}"},
    {"SqlServerWithoutParameters", Dialect::kSqlServer, "sp_weekly_select", 0, true,
     "sp_weekly_select", "{? = call sp_weekly_select}"},
    {"SqlServerWithoutReturnValue", Dialect::kSqlServer, "p", 2, false, "p", "{call p(?,?)}"},
    {"PostgresStripsTheGroupAndLowers", Dialect::kPostgreSql, "sp_per_insert;1", 3, false,
     "sp_per_insert", "{call sp_per_insert(?,?,?)}"},
    {"PostgresDispatcher", Dialect::kPostgreSql, "_Exec_Proc", 4, false, "_exec_proc",
     "{call _exec_proc(?,?,?,?)}"},
    {"PostgresWithoutParameters", Dialect::kPostgreSql, "SP_Per_Select_main_2221", 0, false,
     "sp_per_select_main_2221", "{call sp_per_select_main_2221()}"},
    {"PostgresKeepsANonNumericSuffix", Dialect::kPostgreSql, "a;b", 0, false, "a;b", "{call a;b()}"},
};

class CallTextTest : public ::testing::TestWithParam<CallCase> {};

TEST_P(CallTextTest, DiscoveryNameAndCallText) {
  const auto& c = GetParam();
  EXPECT_EQ(DiscoveryName(c.dialect, c.procedure), c.discovery);
  EXPECT_EQ(CallText(c.dialect, c.procedure, c.markers, c.with_return), c.call);
}

INSTANTIATE_TEST_SUITE_P(All, CallTextTest, ::testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DialectTest, FromDbmsName) {
  EXPECT_EQ(DialectFromDbmsName("PostgreSQL"), Dialect::kPostgreSql);
  EXPECT_EQ(DialectFromDbmsName("Microsoft SQL Server"), Dialect::kSqlServer);
}

struct DriverCase {
  const char* name;
  std::string provider;
  std::vector<std::string> registered;
  std::string driver;
};

const DriverCase kDrivers[] = {
    {"SqlServerPrefers18", "SQL Server",
     {"FreeTDS", "ODBC Driver 17 for SQL Server", "ODBC Driver 18 for SQL Server"},
     "ODBC Driver 18 for SQL Server"},
    {"SqlServerThen17", "SQL Server", {"FreeTDS", "ODBC Driver 17 for SQL Server"},
     "ODBC Driver 17 for SQL Server"},
    {"SqlServerThenFreeTds", "sql server", {"PostgreSQL Unicode", "FreeTDS"}, "FreeTDS"},
    {"PostgresAlias", "PostgreSQL", {}, "PostgreSQL Unicode"},
    {"DriverNameAsIs", "PostgreSQL ANSI", {"PostgreSQL ANSI"}, "PostgreSQL ANSI"},
};

class DriverTest : public ::testing::TestWithParam<DriverCase> {};

TEST_P(DriverTest, Resolves) {
  EXPECT_EQ(ResolveDriver(GetParam().provider, GetParam().registered), GetParam().driver);
}

INSTANTIATE_TEST_SUITE_P(All, DriverTest, ::testing::ValuesIn(kDrivers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DialectTest, SqlServerWithoutAnyDriverIsAnError) {
  EXPECT_THROW(ResolveDriver("SQL Server", {"PostgreSQL Unicode"}), std::runtime_error);
}

TEST(ConnectionStringTest, PerDriver) {
  ConnectionSettings s;
  s.server = "db.local,1433";
  s.database = "clinic";
  s.user = "sa";
  s.password = "p;w}d";
  EXPECT_EQ(BuildConnectionString("ODBC Driver 18 for SQL Server", s),
            "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db.local,1433;DATABASE=clinic;UID=sa;"
            "PWD={p;w}}d};");
  EXPECT_EQ(BuildConnectionString("FreeTDS", s),
            "DRIVER=FreeTDS;SERVER=db.local;PORT=1433;DATABASE=clinic;UID=sa;PWD={p;w}}d};"
            "ClientCharset=UTF-8;TDS_Version=7.4;");
  s.server = "127.0.0.1";
  EXPECT_EQ(BuildConnectionString("PostgreSQL Unicode", s),
            "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;DATABASE=clinic;UID=sa;PWD={p;w}}d};"
            "BoolsAsChar=0;TextAsLongVarchar=0;CommLog=0;FetchRefcursors=1;");
}

}  // namespace
}  // namespace veltra::db
