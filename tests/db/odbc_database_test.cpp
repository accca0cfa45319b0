// The gateway over ODBC against the private PostgreSQL cluster of scripts/test. The test
// procedures (tests/db/sql) record what they receive in call_log, so what was sent is checked
// on the database side. Every test ends by checking that no connection of this process is
// left open.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "db/code_page.h"
#include "db/connection.h"
#include "db/gateway.h"
#include "tests/support/recording_console.h"
#include "wire/envelope.h"
#include "wire/typed_json.h"
#include "wire/text.h"

namespace veltra::db {
namespace {

using veltra::testing::RecordingConsole;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// psqlODBC connects through libpq, which names the session after PGAPPNAME: that is how
// this process tells its own backends from those of tests running beside it.
std::string AppName() {
  static const std::string name = [] {
    std::string n = "veltra-db-test-" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
    _putenv_s("PGAPPNAME", n.c_str());
#else
    setenv("PGAPPNAME", n.c_str(), 1);
#endif
    return n;
  }();
  return name;
}

class OdbcDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"VELTRA_TEST_PG_HOST", "VELTRA_TEST_PG_PORT", "VELTRA_TEST_PG_USER",
                          "VELTRA_TEST_PG_PASSWORD", "VELTRA_TEST_PG_DB"}) {
      ASSERT_FALSE(Env(v).empty()) << v << " is not set: run these tests through scripts/test";
    }
    AppName();
    settings_.provider = "PostgreSQL";
    settings_.server = Env("VELTRA_TEST_PG_HOST") + "," + Env("VELTRA_TEST_PG_PORT");
    settings_.database = Env("VELTRA_TEST_PG_DB");
    settings_.user = Env("VELTRA_TEST_PG_USER");
    settings_.password = Env("VELTRA_TEST_PG_PASSWORD");
    db_ = MakeOdbcDatabase(settings_);
    gateway_ = std::make_unique<StoredProcGateway>(*db_, console_);
  }

  void TearDown() override {
    if (db_) {
      EXPECT_EQ(OpenBackends(), 0) << "a connection was left open";
    }
  }

  std::string Scalar(const std::string& sql) {
    Call c;
    c.procedure = sql;
    c.is_query = true;
    c.mode = RunMode::kOpen;
    auto r = db_->Run(c);
    r.rows->First();
    return r.rows->RowCount() ? r.rows->Value(0).value_or("NULL") : "no row";
  }

  // Backends of this process other than the one asking. A backend leaves the view a moment
  // after its client disconnects, hence the wait.
  int OpenBackends(int expected = 0) {
    std::string sql =
        "select count(*) from pg_stat_activity where application_name = '" + AppName() +
        "' and pid <> pg_backend_pid()";
    int count = 0;
    for (int i = 0; i < 100; ++i) {
      count = std::stoi(Scalar(sql));
      if (count == expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return count;
  }

  // Arguments of the last call of `procname`, as the database received them.
  std::string LastArgs(const std::string& procname) {
    return Scalar("select array_to_string(args, '|', 'NULL') from call_log where procname = '" +
                  procname + "' and app = '" + AppName() + "' order by id desc limit 1");
  }

  std::string Logged(const std::string& procname) {
    return Scalar("select count(*) from call_log where procname = '" + procname + "' and app = '" +
                  AppName() + "'");
  }

  ConnectionSettings settings_;
  std::unique_ptr<Database> db_;
  RecordingConsole console_;
  std::unique_ptr<StoredProcGateway> gateway_;
};

// The counter of TearDown sees a connection that is open.
TEST_F(OdbcDatabaseTest, BackendCountSeesACallInProgress) {
  int during = -1;
  Call c;
  c.procedure = "sp_server_date;1";
  c.outputs = {1};
  c.after_connect = [&] { during = OpenBackends(1); };
  db_->Run(c);
  EXPECT_EQ(during, 1);
}

TEST_F(OdbcDatabaseTest, ExecProcSendsFourPositionsAndAnswersTheEnvelope) {
  std::string params = QuotedValueList({"0", "علی", "x"});
  std::string envelope = gateway_->ExecProc("_Exec_Proc", "1001", params, "tok", "42");
  EXPECT_EQ(LastArgs("_exec_proc"), "1001|" + params + "|tok|42");
  EXPECT_EQ(envelope, "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"1001|'0','\\u0639\\u0644\\u06CC','x'\","
                      "\"s_param\":\"tok|42\"}]}");
}

TEST_F(OdbcDatabaseTest, ExecProcRowsWithPersianTextAndNull) {
  EXPECT_EQ(gateway_->ExecProc("_exec_proc", "persons", "", "", ""),
            "{\"Data\":[{\"cp\":\"1\",\"np\":\"\\u0639\\u0644\\u06CC\"},{\"cp\":\"2\",\"np\":\" \"},"
            "{\"cp\":\"3\",\"np\":\"a\\\"b\\\\c\\/d\"}]}");
  EXPECT_EQ(gateway_->ExecProc("_Exec_Proc", "empty", "", "", ""), "{\"Data\":[]}");
  EXPECT_EQ(gateway_->ExecProc("_Exec_Proc", "two", "", "", ""),
            "{\"Data\":[{\"which\":\"first\"}]}");
}

// Calls from several threads at once, each on its own connection.
TEST_F(OdbcDatabaseTest, ConcurrentCallsKeepTheirOwnArguments) {
  constexpr int kThreads = 4, kCalls = 10;
  std::vector<std::thread> threads;
  std::vector<int> wrong(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        std::string key = std::to_string(t * 100 + i);
        std::string envelope = gateway_->ExecProcQuiet("_Exec_Proc", key, "'p'", "t", "u");
        if (envelope.find("\"" + key + "|'p'\"") == std::string::npos) ++wrong[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
}

TEST_F(OdbcDatabaseTest, ShowResponseBoxesAroundARealCall) {
  console_.Set(Switch::kShowResponse);
  std::string envelope = gateway_->ExecProc("_Exec_Proc", "7", "'a'", "t", "u");
  EXPECT_EQ(console_.Boxes(), (std::vector<std::string>{"'a'", envelope}));
}

TEST_F(OdbcDatabaseTest, ServerDateAndTimeReadOutputParameterOne) {
  EXPECT_EQ(gateway_->ServerDate(), "2026/01/02");
  EXPECT_EQ(gateway_->ServerTime(), "13:14:15");
}

TEST_F(OdbcDatabaseTest, NullOutputsAreNullopt) {
  auto outputs = gateway_->ExecOutputs("sp_nullable_outputs", {"x", ""}, {3, 4});
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs[0], std::optional<std::string>("x"));
  EXPECT_EQ(outputs[1], std::nullopt);
  EXPECT_EQ(LastArgs("sp_nullable_outputs"), "x|");
}

TEST_F(OdbcDatabaseTest, QueryEnvelopeOpensPlainSql) {
  EXPECT_EQ(gateway_->QueryEnvelope("select cp,np from per where cp = 1"),
            "{\"Data\":[{\"cp\":\"1\",\"np\":\"\\u0639\\u0644\\u06CC\"}]}");
}

TEST_F(OdbcDatabaseTest, TextInputsAreConvertedByTheServer) {
  gateway_->ExecOutputs("sp_record", {"12", "t", "2024-03-05"}, {});
  EXPECT_EQ(LastArgs("sp_record"), "12|t|2024-03-05");
  EXPECT_THROW(gateway_->ExecOutputs("sp_record", {"twelve", "t", "2024-03-05"}, {}),
               std::runtime_error);
}

TEST_F(OdbcDatabaseTest, NamedInputsIgnoreCaseAndAt) {
  auto rows = gateway_->ExecRows("sp_nullable_outputs",
                                 {Binding::Named("@A", "first"), Binding::Named("b", "second")});
  EXPECT_EQ(LastArgs("sp_nullable_outputs"), "first|second");
  ASSERT_NE(rows, nullptr);
}

TEST_F(OdbcDatabaseTest, OpenFieldReadsTheFirstRow) {
  EXPECT_EQ(gateway_->OpenField("sp_per_select", {}, "NP"), "علی");
  EXPECT_THROW(gateway_->OpenField("sp_per_select", {}, "missing"), std::runtime_error);
}

TEST_F(OdbcDatabaseTest, ExecProcStatusAndHtml) {
  StatusTriple t = gateway_->ExecProcStatus("1415", "'p'", "tok", "9");
  EXPECT_EQ(t.s_result, "1");
  EXPECT_EQ(t.s_message, "1415|'p'");
  EXPECT_EQ(t.s_param, "tok|9");
  std::string html = gateway_->ExecProcHtml("_Exec_Proc", "persons", "", "", "");
  EXPECT_NE(html.find("علی"), std::string::npos) << html;
}

// Every type group: its column type and its text in the regional formats.
TEST_F(OdbcDatabaseTest, EveryTypeGroup) {
  auto rows = gateway_->ExecRows("sp_all_types", {});
  struct Expected { const char* column; ColumnType type; const char* text; };
  const Expected kExpected[] = {
      {"c_text", ColumnType::kText, "متن"},
      {"c_varchar", ColumnType::kText, "abc"},
      {"c_int", ColumnType::kNumber, "1234"},
      {"c_bigint", ColumnType::kNumber, "9007199254740993"},
      {"c_numeric", ColumnType::kNumber, "12.5"},
      {"c_float", ColumnType::kNumber, "1.5"},
      {"c_bool", ColumnType::kBoolean, "True"},
      {"c_date", ColumnType::kDate, "2024/03/05"},
      {"c_time", ColumnType::kTime, "07:08:09"},
      {"c_timestamp", ColumnType::kDateTime, "2024/03/05 07:08:09"},
      {"c_midnight", ColumnType::kDateTime, "2024/03/05"},
      {"c_uuid", ColumnType::kGuid, "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"},
      {"c_bytes", ColumnType::kOther, "0102"},
  };
  ASSERT_EQ(rows->Columns().size(), std::size(kExpected));
  rows->First();
  for (std::size_t i = 0; i < std::size(kExpected); ++i) {
    SCOPED_TRACE(kExpected[i].column);
    EXPECT_EQ(rows->Columns()[i].name, kExpected[i].column);
    EXPECT_EQ(rows->Columns()[i].type, kExpected[i].type);
    EXPECT_EQ(rows->Value(i).value_or("NULL"), kExpected[i].text);
  }
  rows->Next();
  EXPECT_EQ(rows->Value(0), std::nullopt);
  EXPECT_EQ(rows->Value(6).value_or("NULL"), "False");
}

TEST_F(OdbcDatabaseTest, EveryTypeGroupInTheEnvelope) {
  std::string envelope = gateway_->ExecEnvelope("sp_all_types", {});
  EXPECT_EQ(envelope,
            "{\"Data\":[{\"c_text\":\"\\u0645\\u062A\\u0646\",\"c_varchar\":\"abc\",\"c_int\":\"1234\","
            "\"c_bigint\":\"9007199254740993\",\"c_numeric\":\"12.5\",\"c_float\":\"1.5\","
            "\"c_bool\":\"True\",\"c_date\":\"2024\\/03\\/05\",\"c_time\":\"07:08:09\","
            "\"c_timestamp\":\"2024\\/03\\/05 07:08:09\",\"c_midnight\":\"2024\\/03\\/05\","
            "\"c_uuid\":\"A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11\",\"c_bytes\":\"0102\"},"
            "{\"c_text\":\" \",\"c_varchar\":\" \",\"c_int\":\" \",\"c_bigint\":\" \","
            "\"c_numeric\":\" \",\"c_float\":\" \",\"c_bool\":\"False\",\"c_date\":\" \","
            "\"c_time\":\" \",\"c_timestamp\":\" \",\"c_midnight\":\" \",\"c_uuid\":\" \","
            "\"c_bytes\":\" \"}]}");
}

TEST_F(OdbcDatabaseTest, EveryTypeGroupInTheTypedWriter) {
  Call c;
  c.procedure = "select * from sp_all_types() limit 1";
  c.is_query = true;
  auto rows = db_->Run(c).rows;
  ASSERT_NE(rows, nullptr);
  std::string json = RowSetToJson(*rows);
  for (const char* part : {"\"c_int\": 1234", "\"c_bool\": true", "\"c_numeric\": 12.5",
                           "\"c_text\": \"متن\"", "\"c_date\": \"2024/03/05\""}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
}

TEST_F(OdbcDatabaseTest, DocumentRoundTripThroughTheCodePage) {
  // Arabic letters are in code page 1256; the Persian yeh, the Devanagari letter and the
  // emoji are not.
  const std::string content = "Base64+/= عل";
  std::string inserted = gateway_->DocFileInsert("17", content, "a.txt", "p/q", "tok", "5");
  EXPECT_EQ(LastArgs("sp_doc_file_insert_2701"), "17|a.txt|p/q|tok|5");
  const std::string marker = "\"s_param\":\"";
  auto at = inserted.find(marker);
  ASSERT_NE(at, std::string::npos) << inserted;
  std::string id = inserted.substr(at + marker.size(), inserted.find('"', at + marker.size()) - at - marker.size());
  EXPECT_EQ(Scalar("select cfile from doc_file where id_file = " + id), content);
  EXPECT_EQ(inserted, "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"inserted\",\"s_param\":\"" + id + "\"}]}");
  EXPECT_EQ(gateway_->DocFileReadContent(id, "tok", "5"), content);
  EXPECT_EQ(LastArgs("sp_doc_file_select_cfile_2706"), id + "|tok|5");

  const std::string lossy = "ok علی क 😀";
  gateway_->DocFileUpdate(id, lossy, "b.txt", "r", "tok2", "6");
  EXPECT_EQ(LastArgs("sp_doc_file_update_2703"), id + "|b.txt|r|tok2|6");
  EXPECT_EQ(gateway_->DocFileReadContent(id, "tok", "5"), "ok علي ? ?");
  EXPECT_EQ(gateway_->DocFileReadContent("999999", "tok", "5"), "");
}

// Content far longer than one read of a value: a Base64 file of some 300 KB.
TEST_F(OdbcDatabaseTest, LongDocumentComesBackWhole) {
  std::string content;
  for (int i = 0; content.size() < 300000; ++i) content += "QUJDRA==" + std::to_string(i % 10);
  std::string inserted = gateway_->DocFileInsert("18", content, "big.b64", "p", "tok", "5");
  const std::string marker = "\"s_param\":\"";
  auto at = inserted.find(marker);
  ASSERT_NE(at, std::string::npos) << inserted;
  std::string id = inserted.substr(at + marker.size(), inserted.find('"', at + marker.size()) - at - marker.size());
  std::string back = gateway_->DocFileReadContent(id, "tok", "5");
  EXPECT_EQ(back.size(), content.size());
  EXPECT_TRUE(back == content);
}

TEST_F(OdbcDatabaseTest, InsertProcedureWithoutPfileFailsBeforeExecution) {
  Call c;
  c.procedure = "sp_doc_file_insert_no_pfile";
  c.inputs = {Binding::Named("cp", "1"), Binding::Named("pfile", "x")};
  try {
    db_->Run(c);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Parameter 'pfile' not found");
  }
}

// Each failure carries its message; none leaves a connection open (TearDown checks).
struct FailureCase {
  const char* name;
  std::function<void(StoredProcGateway&, ConnectionSettings&)> run;
  const char* message_part;
  // A procedure whose call_log must not grow: the call failed before it ran, or was rolled
  // back with the error.
  const char* not_logged = nullptr;
};

class OdbcFailureTest : public OdbcDatabaseTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OdbcFailureTest, FailsWithTheMessage) {
  const FailureCase& c = GetParam();
  std::string logged_before;
  if (c.not_logged) logged_before = Logged(c.not_logged);
  try {
    c.run(*gateway_, settings_);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    std::cout << c.name << ": " << e.what() << "\n";
    EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find(settings_.password), std::string::npos)
        << "the password reached the message";
  }
  if (c.not_logged) {
    EXPECT_EQ(Logged(c.not_logged), logged_before);
  }
}

void WithSettings(ConnectionSettings s, const std::function<void(StoredProcGateway&)>& f) {
  auto db = MakeOdbcDatabase(s);
  RecordingConsole console;
  StoredProcGateway g(*db, console);
  f(g);
}

const FailureCase kFailures[] = {
    {"ServerNotReachable",
     [](StoredProcGateway&, ConnectionSettings& s) {
       s.server = "127.0.0.1,1";
       WithSettings(s, [](StoredProcGateway& g) { g.ServerDate(); });
     },
     "onnection refused"},
    {"WrongPassword",
     [](StoredProcGateway&, ConnectionSettings& s) {
       s.password = "not-" + s.password;
       WithSettings(s, [](StoredProcGateway& g) { g.ServerDate(); });
     },
     "password authentication failed"},
    {"UnknownDriver",
     [](StoredProcGateway&, ConnectionSettings& s) {
       s.provider = "No Such Driver";
       WithSettings(s, [](StoredProcGateway& g) { g.ServerDate(); });
     },
     "No Such Driver"},
    {"UnknownProcedure",
     [](StoredProcGateway& g, ConnectionSettings&) { g.ExecProc("sp_no_such_proc", "", "", "", ""); },
     "Could not find stored procedure 'sp_no_such_proc'."},
    {"MorePositionsThanDeclared",
     [](StoredProcGateway& g, ConnectionSettings&) {
       g.ExecOutputs("sp_record", {"1", "t", "2024-01-01", "extra"}, {});
     },
     "position 4", "sp_record"},
    {"UnknownParameterName",
     [](StoredProcGateway& g, ConnectionSettings&) {
       g.ExecRows("sp_nullable_outputs", {Binding::Named("@nope", "1")});
     },
     "Parameter '@nope' not found", "sp_nullable_outputs"},
    {"ProcedureRaisesAnError",
     [](StoredProcGateway& g, ConnectionSettings&) { g.ExecOutputs("sp_raise_error", {"because"}, {}); },
     "procedure failed: because", "sp_raise_error"},
    {"DispatcherRaisesAnError",
     [](StoredProcGateway& g, ConnectionSettings&) { g.ExecProc("_Exec_Proc", "fail", "'x'", "", ""); },
     "dispatcher refused 'x'", "_exec_proc"},
    {"NoResultSetWhereRowsAreRead",
     [](StoredProcGateway& g, ConnectionSettings&) { g.QueryEnvelope("update per set np = np where false"); },
     "no result set"},
    {"SqlError",
     [](StoredProcGateway& g, ConnectionSettings&) { g.QueryEnvelope("select * from no_such_table"); },
     "no_such_table"},
};

INSTANTIATE_TEST_SUITE_P(All, OdbcFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veltra::db
