// Gateway operations over the scripted FakeDatabase: what each operation asks of the
// database, what it makes of the answer, and the "Show Response" boxes.
#include "db/gateway.h"

#include <gtest/gtest.h>

#include "tests/support/fake_database.h"
#include "tests/support/recording_console.h"

namespace veltra::db {
namespace {

using veltra::testing::FakeDatabase;
using veltra::testing::RecordingConsole;
using veltra::testing::ScriptedAnswer;

ScriptedAnswer Rows(std::vector<Column> columns, std::vector<std::vector<Cell>> rows) {
  ScriptedAnswer a;
  a.columns = std::move(columns);
  a.rows = std::move(rows);
  return a;
}

ScriptedAnswer NoResultSet() {
  ScriptedAnswer a;
  a.no_result_set = true;
  return a;
}

const ScriptedAnswer kPersons = Rows({{"cp", ColumnType::kNumber}, {"np", ColumnType::kText}},
                                     {{"1", "علی"}, {"2", std::nullopt}});
const std::string kPersonsEnvelope =
    R"({"Data":[{"cp":"1","np":"\u0639\u0644\u06CC"},{"cp":"2","np":" "}]})";

class GatewayTest : public ::testing::Test {
 protected:
  FakeDatabase db_;
  RecordingConsole console_;
  StoredProcGateway gateway_{db_, console_};
};

TEST_F(GatewayTest, ExecProcBindsFourPositionsAndExecutes) {
  db_.Push(kPersons);
  EXPECT_EQ(gateway_.ExecProc("_Exec_Proc", "1001", "'0','1'", "tok", "42"), kPersonsEnvelope);
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
  EXPECT_FALSE(calls[0].is_query);
  EXPECT_EQ(calls[0].mode, RunMode::kExecute);
  ASSERT_EQ(calls[0].inputs.size(), 4u);
  EXPECT_EQ(calls[0].At(1), "1001");
  EXPECT_EQ(calls[0].At(2), "'0','1'");
  EXPECT_EQ(calls[0].At(3), "tok");
  EXPECT_EQ(calls[0].At(4), "42");
  EXPECT_TRUE(console_.Boxes().empty());
}

struct BoxCase {
  const char* name;
  std::function<void(StoredProcGateway&)> run;
  std::vector<std::string> boxes;  // with "Show Response" ticked
  ScriptedAnswer answer = kPersons;
};

const ScriptedAnswer kTriple = Rows({{"s_result", ColumnType::kText}, {"s_message", ColumnType::kText},
                                     {"s_param", ColumnType::kText}},
                                    {{"1", "ok", "p"}});

const BoxCase kBoxes[] = {
    {"ExecProcShowsTheListThenTheEnvelope",
     [](StoredProcGateway& g) { g.ExecProc("_Exec_Proc", "1", "'a'", "t", "u"); },
     {"'a'", kPersonsEnvelope}},
    {"ExecProcQuietShowsNothing",
     [](StoredProcGateway& g) { g.ExecProcQuiet("_Exec_Proc", "1", "'a'", "t", "u"); },
     {}},
    {"ExecProcStatusShowsTheList",
     [](StoredProcGateway& g) { g.ExecProcStatus("1415", "'b'", "t", "u"); },
     {"'b'"},
     kTriple},
    {"ExecProcHtmlShowsTheListOnly",
     [](StoredProcGateway& g) { g.ExecProcHtml("_Exec_Proc", "1434", "'c'", "t", "u"); },
     {"'c'"}},
};

class ShowResponseTest : public GatewayTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(ShowResponseTest, Boxes) {
  console_.Set(Switch::kShowResponse);
  db_.Push(GetParam().answer);
  GetParam().run(gateway_);
  EXPECT_EQ(console_.Boxes(), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(All, ShowResponseTest, ::testing::ValuesIn(kBoxes),
                         [](const auto& info) { return std::string(info.param.name); });

// The list box comes after connecting and before the procedure runs: a failed connection
// shows nothing.
TEST_F(GatewayTest, ExecProcFailureAfterTheListBoxShowsNoEnvelope) {
  console_.Set(Switch::kShowResponse);
  ScriptedAnswer fail;
  fail.error = "procedure failed";
  db_.Push(fail);
  EXPECT_THROW(gateway_.ExecProc("_Exec_Proc", "1", "'a'", "t", "u"), std::runtime_error);
  EXPECT_EQ(console_.Boxes(), std::vector<std::string>{"'a'"});
}

TEST_F(GatewayTest, ServerClockReadsOutputOne) {
  ScriptedAnswer date = NoResultSet();
  date.outputs = {"2026/01/02"};
  db_.Push(date);
  ScriptedAnswer time = NoResultSet();
  time.outputs = {std::nullopt};
  db_.Push(time);
  EXPECT_EQ(gateway_.ServerDate(), "2026/01/02");
  EXPECT_EQ(gateway_.ServerTime(), "");
  auto calls = db_.Calls();
  EXPECT_EQ(calls[0].procedure, "sp_server_date;1");
  EXPECT_EQ(calls[1].procedure, "sp_server_time;1");
  for (const auto& c : calls) {
    EXPECT_TRUE(c.inputs.empty());
    EXPECT_EQ(c.outputs, std::vector<int>{1});
  }
}

TEST_F(GatewayTest, QueryEnvelopeOpensTheText) {
  db_.Push(kPersons);
  EXPECT_EQ(gateway_.QueryEnvelope("select cp,np from per "), kPersonsEnvelope);
  auto c = db_.Calls().at(0);
  EXPECT_TRUE(c.is_query);
  EXPECT_EQ(c.mode, RunMode::kOpen);
  EXPECT_EQ(c.procedure, "select cp,np from per ");
}

TEST_F(GatewayTest, EnvelopeWithoutResultSetIsAnError) {
  db_.Push(NoResultSet());
  EXPECT_THROW(gateway_.ExecEnvelope("sp_per_insert;1", {"a", "b"}), std::runtime_error);
  auto c = db_.Calls().at(0);
  EXPECT_EQ(c.At(1), "a");
  EXPECT_EQ(c.At(2), "b");
  db_.Push(Rows({{"x", ColumnType::kText}}, {}));
  EXPECT_EQ(gateway_.ExecEnvelope("p", {}), R"({"Data":[]})");
}

TEST_F(GatewayTest, ExecOutputsRelaysTheRequestedPositions) {
  ScriptedAnswer a = NoResultSet();
  a.outputs = {"7", std::nullopt};
  db_.Push(a);
  auto out = gateway_.ExecOutputs("sp_users_login;1", {"u", "p"}, {3, 4});
  EXPECT_EQ(out, (std::vector<std::optional<std::string>>{"7", std::nullopt}));
  EXPECT_EQ(db_.Calls().at(0).outputs, (std::vector<int>{3, 4}));
}

TEST_F(GatewayTest, OpenFieldReadsTheFirstRow) {
  const ScriptedAnswer per_file =
      Rows({{"id", ColumnType::kNumber}, {"per_file", ColumnType::kText}}, {{"1", "a.jpg"}, {"2", "b.jpg"}});
  db_.Push(per_file);
  EXPECT_EQ(gateway_.OpenField("_9702_images_path_for_per_with_file_name",
                               {Binding::Named("cp", "5")}, "PER_FILE"),
            "a.jpg");
  auto c = db_.Calls().at(0);
  EXPECT_EQ(c.mode, RunMode::kOpen);
  EXPECT_EQ(c.Named("cp"), "5");

  db_.Push(Rows({{"per_file", ColumnType::kText}}, {}));
  EXPECT_EQ(gateway_.OpenField("p", {}, "per_file"), "");
  db_.Push(Rows({{"per_file", ColumnType::kText}}, {{std::nullopt}}));
  EXPECT_EQ(gateway_.OpenField("p", {}, "per_file"), "");
  db_.Push(per_file);
  try {
    gateway_.OpenField("p", {}, "missing");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Field 'missing' not found");
  }
}

TEST_F(GatewayTest, ExecProcStatusReadsTheTriple) {
  db_.Push(Rows({{"s_result", ColumnType::kText}, {"s_message", ColumnType::kText},
                 {"s_param", ColumnType::kText}},
                {{"1", "ok", std::nullopt}}));
  StatusTriple t = gateway_.ExecProcStatus("1415", "'x'", "tok", "9");
  EXPECT_EQ(t.s_result, "1");
  EXPECT_EQ(t.s_message, "ok");
  EXPECT_EQ(t.s_param, "");
  auto c = db_.Calls().at(0);
  EXPECT_EQ(c.procedure, "_Exec_Proc");
  EXPECT_EQ(c.At(1), "1415");
  EXPECT_EQ(c.At(4), "9");
}

TEST_F(GatewayTest, ExecProcHtmlOpensAndRendersTheTable) {
  db_.Push(kPersons);
  std::string html = gateway_.ExecProcHtml("_Exec_Proc", "1434", "'p'", "t", "u");
  EXPECT_NE(html.find("علی"), std::string::npos) << html;
  EXPECT_EQ(db_.Calls().at(0).mode, RunMode::kOpen);
  db_.Push(NoResultSet());
  EXPECT_THROW(gateway_.ExecProcHtml("_Exec_Proc", "1434", "'p'", "t", "u"), std::runtime_error);
}

TEST_F(GatewayTest, ExecRowsGivesAnEmptySetForNone) {
  db_.Push(NoResultSet());
  auto rows = gateway_.ExecRows("_exec_proc", {Binding::Named("@ProcName", "x")});
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->RowCount(), 0u);
  EXPECT_TRUE(rows->Columns().empty());
  db_.Push(kPersons);
  EXPECT_EQ(gateway_.ExecRows("_exec_proc", {})->RowCount(), 2u);
}

TEST_F(GatewayTest, DocumentCallsBindByNameWithContentAs8BitText) {
  db_.Push(Rows({{"s_result", ColumnType::kText}}, {{"1"}}));
  EXPECT_EQ(gateway_.DocFileInsert("17", "content", "a.txt", "p", "tok", "5"),
            R"({"Data":[{"s_result":"1"}]})");
  db_.Push(Rows({{"s_result", ColumnType::kText}}, {{"1"}}));
  gateway_.DocFileUpdate("3", "new", "b.txt", "q", "tok", "5");
  auto calls = db_.Calls();
  EXPECT_EQ(calls[0].procedure, "sp_doc_file_insert_2701");
  EXPECT_EQ(calls[1].procedure, "sp_doc_file_update_2703");
  const std::vector<std::string> insert_names = {"cp", "cfile", "nfile", "pfile",
                                                 "Login_User_Token", "Login_User_cp"};
  const std::vector<std::string> update_names = {"id_file", "cfile", "nfile", "pfile",
                                                 "Login_User_Token", "Login_User_cp"};
  for (int i = 0; i < 2; ++i) {
    const auto& names = i == 0 ? insert_names : update_names;
    ASSERT_EQ(calls[i].inputs.size(), names.size());
    for (std::size_t k = 0; k < names.size(); ++k) {
      EXPECT_EQ(calls[i].inputs[k].position, 0);
      EXPECT_EQ(calls[i].inputs[k].name, names[k]);
      EXPECT_EQ(calls[i].inputs[k].ansi, names[k] == "cfile");
    }
  }
  EXPECT_EQ(calls[0].Named("cfile"), "content");
  EXPECT_EQ(calls[1].Named("id_file"), "3");
}

TEST_F(GatewayTest, DocumentReadOpensByPositionAndReadsCfile) {
  db_.Push(Rows({{"cfile", ColumnType::kText}}, {{"عل ی"}}));
  // What the column holds comes back as 8-bit text of the code page.
  EXPECT_EQ(gateway_.DocFileReadContent("3", "tok", "5"), "عل ي");
  auto c = db_.Calls().at(0);
  EXPECT_EQ(c.procedure, "sp_doc_file_select_cfile_2706");
  EXPECT_EQ(c.mode, RunMode::kOpen);
  EXPECT_EQ(c.At(1), "3");
  EXPECT_EQ(c.At(2), "tok");
  EXPECT_EQ(c.At(3), "5");
  db_.Push(Rows({{"cfile", ColumnType::kText}}, {}));
  EXPECT_EQ(gateway_.DocFileReadContent("4", "tok", "5"), "");
  db_.Push(Rows({{"other", ColumnType::kText}}, {{"x"}}));
  EXPECT_THROW(gateway_.DocFileReadContent("4", "tok", "5"), std::runtime_error);
}

TEST_F(GatewayTest, DatabaseErrorsReachTheCallerUnchanged) {
  ScriptedAnswer fail;
  fail.error = "Could not find stored procedure 'x'.";
  db_.Push(fail);
  try {
    gateway_.ExecEnvelope("x", {});
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Could not find stored procedure 'x'.");
  }
}

}  // namespace
}  // namespace veltra::db
