// Every numbered request of listener 1: the procedure it calls, what it binds where, what it
// answers and what it writes to the service log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/api/api_harness.h"
#include "wire/text.h"

namespace veltra::testing {
namespace {

const std::string kEnvelope = R"({"Data":[{"s_result":"1","s_message":"ok","s_param":"0"}]})";

ScriptedAnswer Outputs(std::vector<std::optional<std::string>> outputs) {
  ScriptedAnswer a;
  a.no_result_set = true;
  a.outputs = std::move(outputs);
  return a;
}

// Fields named n1, n2, ... with the values "<name>_v", and the positions they must land in.
Fields NamedValues(const std::vector<std::string>& names) {
  Fields f;
  for (const auto& n : names) f.emplace_back(n, n + "_v");
  return f;
}
std::vector<std::string> Positions(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (size_t i = 0; i < names.size(); ++i) {
    out.push_back(std::to_string(i + 1) + "=" + names[i] + "_v");
  }
  return out;
}

const std::vector<std::string> kInsertFields = {
    "np",  "nid", "unid",  "eid",   "fname", "lname", "father", "mobil",        "tel",
    "fax", "email", "web", "addr1", "pocd1", "addr2", "pocd2",  "login_user_cp"};
const std::vector<std::string> kUpdateFields = {
    "cp",  "np",  "nid",   "unid", "eid",   "fname", "lname", "father", "mobil",
    "tel", "fax", "email", "web",  "addr1", "pocd1", "addr2", "pocd2",  "login_user_cp"};
const std::vector<std::string> kRegisterFields = {
    "np",        "nid",        "unid",     "rnid",       "fnid",     "eid",       "fname",
    "lname",     "father",     "mobil",    "tel",        "fax",      "email",     "web",
    "addr1",     "pocd1",      "addr2",    "pocd2",      "nu",       "pw_1",      "pw_2",
    "ccountry",  "cprovince",  "ccity",    "sdate",      "edate",    "bdate",     "mdate",
    "c_sex",     "c_edu",      "c_mar",    "c_job",      "c_rel",    "c_ser_loc", "c_rff",
    "c_bnk",     "c_intro",    "foreigners", "legal",    "cg",       "cgs",       "c_insura",
    "c_insura_sub", "insura_num", "bank_acc", "descr"};

struct RowCase {
  std::string name;
  int id;
  Fields fields;  // besides id
  ScriptedAnswer answer;
  std::string procedure;
  std::vector<std::string> inputs;  // "pos=value" or "name=value"
  std::vector<int> outputs;
  db::RunMode mode;
  bool is_query;
  std::string plain_answer;  // before coding
  std::vector<std::string> log;  // MS lines of the body, after the frame's lines
};

std::vector<RowCase> RowCases() {
  std::vector<RowCase> cases;
  const auto exec = db::RunMode::kExecute;
  const auto open = db::RunMode::kOpen;
  auto rows = [] { return TripleRow(std::string("1")); };

  cases.push_back({"1010 server date", 1010, {}, Outputs({"1405/09/20"}), "sp_server_date;1", {},
                   {1}, exec, false, "1405/09/20", {}});
  cases.push_back({"1011 server time", 1011, {}, Outputs({"10:15:02"}), "sp_server_time;1", {},
                   {1}, exec, false, "10:15:02", {}});
  cases.push_back({"1111 sign-in code", 1111, {{"username", "ali"}, {"password", "p=1 2"}},
                   Outputs({"welcome", "-1"}), "sp_users_login;1", {"1=ali", "2=p=1 2"}, {3, 4},
                   exec, false, "-1",
                   {"10:15:02 SP_Login_1111", "10:15:02 SP_Login_1111 Result = welcome"}});
  cases.push_back({"1111 NULL code reads 0", 1111, {}, Outputs({std::nullopt, std::nullopt}),
                   "sp_users_login;1", {"1=", "2="}, {3, 4}, exec, false, "0",
                   {"10:15:02 SP_Login_1111", "10:15:02 SP_Login_1111 Result = "}});
  cases.push_back({"1112 sign-in rows, user name case matters", 1112,
                   {{"Username", "x"}, {"username", "ali"}, {"password", "pw"}}, rows(),
                   "_sp_users_login;1", {"1=ali", "2=pw"}, {}, exec, false, kEnvelope,
                   {"10:15:02 SP_Login_1112", "10:15:02 SP_Login_1112 Result = "}});
  {
    Fields f = {{"n_permission", "1234"}, {"Login_User_Token", "tok"}, {"Login_User_cp", "9"},
                {"fdate", "1405/01/01"}, {"cp", "O'Neil"}, {"descr", "last"}};
    cases.push_back({"1119 filter list, quote doubled", 1119, f, rows(), "_Exec_Proc",
                     {"1=1234",
                      "2='1405/01/01','','','','O''Neil','','','','','','','','','','last'",
                      "3=tok", "4=9"},
                     {}, exec, false, kEnvelope, {"10:15:021234"}});
  }
  cases.push_back({"1119 nothing sent", 1119, {}, rows(), "_Exec_Proc",
                   {"1=", "2='','','','','','','','','','','','','','',''", "3=", "4="}, {},
                   exec, false, kEnvelope, {"10:15:02"}});
  cases.push_back({"1 short person list", 1, {}, rows(), "select cp,np from per ", {}, {}, open,
                   true, kEnvelope, {}});
  cases.push_back({"2221 main person list", 2221, {}, rows(), "SP_Per_Select_main_2221", {}, {},
                   exec, false, kEnvelope, {"10:15:02SP_Per_Select_main_2221"}});
  cases.push_back({"2472 one person", 2472,
                   {{"cp", " 12 "}, {"Login_User_Token", "tok"}, {"Login_User_cp", "9"}}, rows(),
                   "_Exec_Proc",
                   {"1=sp_per_select_for_update_2472", "2=' 12 '", "3=tok", "4=9"}, {}, exec,
                   false, kEnvelope,
                   {"10:15:02 sp_per_select_for_update_2472",
                    "10:15:02 sp_per_select_for_update_2472 Result = "}});
  cases.push_back({"2472 empty cp", 2472, {}, rows(), "_Exec_Proc",
                   {"1=sp_per_select_for_update_2472", "2=''", "3=", "4="}, {}, exec, false,
                   kEnvelope,
                   {"10:15:02 sp_per_select_for_update_2472",
                    "10:15:02 sp_per_select_for_update_2472 Result = "}});
  cases.push_back({"2223 insert", 2223, NamedValues(kInsertFields), Outputs({"77"}),
                   "sp_per_insert;1", Positions(kInsertFields), {18}, exec, false, "77",
                   {"10:15:02 SP_Per_Insert_2223", "10:15:02 SP_Per_Insert_2223 Result = "}});
  {
    // The mixed-case name is not the one the insert reads.
    auto positions = Positions(kInsertFields);
    positions[16] = "17=";
    cases.push_back({"2223 NULL result, Login_User_cp ignored", 2223,
                     [] {
                       Fields f = NamedValues(kInsertFields);
                       f.pop_back();
                       f.emplace_back("Login_User_cp", "9");
                       return f;
                     }(),
                     Outputs({std::nullopt}), "sp_per_insert;1", positions, {18}, exec, false,
                     "0",
                     {"10:15:02 SP_Per_Insert_2223", "10:15:02 SP_Per_Insert_2223 Result = "}});
  }
  {
    Fields f = NamedValues(kUpdateFields);
    f[0].second = "0042";
    auto positions = Positions(kUpdateFields);
    positions[0] = "1=0042";
    cases.push_back({"2224 update answers cp 0042 as 42", 2224, f, Outputs({}), "sp_per_update;1",
                     positions, {}, exec, false, "42",
                     {"10:15:02 SP_Per_Update_2224", "10:15:02 SP_Per_Update_2224 Result = "}});
  }
  {
    Fields f = NamedValues(kRegisterFields);
    f.erase(f.begin() + 10);  // tel not sent: position 11 empty
    auto positions = Positions(kRegisterFields);
    positions[10] = "11=";
    cases.push_back({"2227 register, 46 positions", 2227, f, rows(), "sp_per_insert_register",
                     positions, {}, exec, false, kEnvelope,
                     {"10:15:02 sp_per_insert_register_2227",
                      "10:15:02 sp_per_insert_register_2227 Result = "}});
  }
  cases.push_back({"2340 timings, values trimmed", 2340,
                   {{"fday", "1405/01/01"}, {"tday", "1405/01/30"}, {"StartTime", "  08:00 "},
                    {"EndTime", "12:00"}, {"amount", "5"}, {"c_week", "2"},
                    {"cp_expert", "31"}, {"cs", "4"}, {"time_count", "15"},
                    {"Login_User_Token", "tok"}, {"Login_User_cp", "9"}},
                   rows(), "_Exec_Proc",
                   {"1=sp_timeing_create_2340",
                    "2='1405/01/01','1405/01/30','08:00','12:00','5','2','31','4','15'", "3=tok",
                    "4=9"},
                   {}, exec, false, kEnvelope,
                   {"10:15:02 SP_Timeing_Create_2340",
                    "10:15:02 SP_Timeing_Create_2340 Result = "}});
  cases.push_back({"2340 nothing sent", 2340, {}, rows(), "_Exec_Proc",
                   {"1=sp_timeing_create_2340", "2='','','','','','','','',''", "3=", "4="}, {},
                   exec, false, kEnvelope,
                   {"10:15:02 SP_Timeing_Create_2340",
                    "10:15:02 SP_Timeing_Create_2340 Result = "}});

  struct List { int id; const char* procedure; const char* parent; const char* literal; };
  const List kLists[] = {
      {2351, "sp_weekly_select", nullptr, " sp_weekly_select_2351"},
      {2352, "sp_ser_select", nullptr, " sp_ser_select_2352"},
      {2371, "sp_country_select_2371", nullptr, " sp_country_select_2371"},
      {2372, "sp_province_select_2372", "ccountry", " sp_province_select_2372"},
      {2373, "sp_city_select_2373", "cprovince", " sp_city_select_2373"},
      {2374, "sp_per_sex_select_2374", nullptr, " sp_per_sex_select_2374"},
      {2375, "sp_per_edu_select_2375", nullptr, " sp_per_edu_select_2375"},
      {2376, "sp_per_mar_select_2376", nullptr, " sp_per_mar_select_2376"},
      {2377, "sp_per_job_select_2377", nullptr, " sp_per_job_select_2377"},
      {2378, "sp_per_rel_select_2378", nullptr, " sp_per_rel_select_2378"},
      {2379, "sp_per_ser_loc_select_2379", nullptr, " sp_per_ser_loc_select_2379"},
      {2380, "sp_per_rff_select_2380", nullptr, " sp_per_rff_select_2380"},
      {2381, "sp_per_bnk_select_2381", nullptr, " sp_per_bnk_select_2381"},
      {2382, "sp_per_group_select_2382", nullptr, " sp_per_group_select_2382"},
      {2383, "sp_per_group_sub_select_2383", "cg", " sp_per_group_sub_select_2383"},
      {2384, "sp_insura_select_2384", nullptr, " sp_insura_select_2384"},
      {2385, "sp_insura_sub_select_2385", "c_insura", " sp_insura_sub_select_2385"},
      {2386, "sp_per_intro_select_2386", nullptr, " sp_per_intro_select_2386"},
  };
  for (const List& l : kLists) {
    Fields f = {{"ccountry", "c1"}, {"cprovince", "p1"}, {"cg", "g1"}, {"c_insura", "i1"}};
    std::vector<std::string> inputs;
    if (l.parent != nullptr) {
      for (const auto& [n, v] : f) if (n == l.parent) inputs.push_back("1=" + v);
    }
    const std::string before = std::string("10:15:02") + l.literal;
    cases.push_back({"list " + std::to_string(l.id), l.id, f, rows(), l.procedure, inputs, {},
                     exec, false, kEnvelope, {before, before + " Result = "}});
  }
  cases.push_back({"2372 without its parent", 2372, {}, rows(), "sp_province_select_2372",
                   {"1="}, {}, exec, false, kEnvelope,
                   {"10:15:02 sp_province_select_2372",
                    "10:15:02 sp_province_select_2372 Result = "}});

  const Fields doc = {{"cp", "31"}, {"id_file", "5"}, {"nfile", "a.txt"}, {"pfile", "c:/x"},
                      {"cfile", "aGVsbG8=+/"}, {"Login_User_Token", "tok"},
                      {"Login_User_cp", "9"}};
  cases.push_back({"2701 store document", 2701, doc, rows(), "sp_doc_file_insert_2701",
                   {"cp=31", "cfile=aGVsbG8=+/", "nfile=a.txt", "pfile=c:/x",
                    "Login_User_Token=tok", "Login_User_cp=9"},
                   {}, exec, false, kEnvelope, {"10:15:02sp_doc_file_insert_2701_string"}});
  cases.push_back({"2703 replace document", 2703, doc, rows(), "sp_doc_file_update_2703",
                   {"id_file=5", "cfile=aGVsbG8=+/", "nfile=a.txt", "pfile=c:/x",
                    "Login_User_Token=tok", "Login_User_cp=9"},
                   {}, exec, false, kEnvelope, {"10:15:02sp_doc_file_update_2703_string"}});
  {
    ScriptedAnswer content;
    content.columns = {{"cfile"}};
    content.rows = {{std::string("aGVsbG8=")}};
    cases.push_back({"2706 read document", 2706, doc, content, "sp_doc_file_select_cfile_2706",
                     {"1=5", "2=tok", "3=9"}, {}, open, false, "aGVsbG8=",
                     {"10:15:02 sp_doc_file_select_cfile_2706"}});
  }
  return cases;
}

class RequestRows : public ::testing::TestWithParam<std::int16_t> {};

TEST_P(RequestRows, EachRequestCallsItsProcedureAndAnswersCoded) {
  const std::int16_t mode = GetParam();
  for (RowCase& c : RowCases()) {
    SCOPED_TRACE(c.name + " in mode " + std::to_string(mode));
    ApiHarness h;
    h.settings.Coding_Mode = mode;
    h.console.Set(Switch::kLogService);
    h.database.Push(c.answer);
    Fields fields = {{"id", std::to_string(c.id)}};
    fields.insert(fields.end(), c.fields.begin(), c.fields.end());

    const HttpResponse response = h.Post1(fields);

    const auto calls = h.database.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procedure, c.procedure);
    EXPECT_EQ(calls[0].is_query, c.is_query);
    EXPECT_EQ(calls[0].mode, c.mode);
    EXPECT_EQ(Inputs(calls[0]), Sorted(c.inputs));
    EXPECT_EQ(calls[0].outputs, c.outputs);
    EXPECT_EQ(response.body, TransportEncode(c.plain_answer, mode));
    EXPECT_EQ(TransportDecode(response.body, mode), c.plain_answer);
    EXPECT_EQ(h.BodyLog(), c.log);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, RequestRows, ::testing::Values(0, 1, 2));

TEST(RequestBodies, LogLinesFollowTheSwitch) {
  ApiHarness h;
  h.database.Push(TripleRow(std::string("1")));
  h.Post1({{"id", "2371"}});
  EXPECT_TRUE(h.console.Lines(Memo::kService).empty());
  EXPECT_TRUE(h.console.Lines(Memo::kService2).empty());
}

TEST(RequestBodies, UpdateWithEmptyCpFailsAfterTheUpdateRan) {
  ApiHarness h;
  h.console.Set(Switch::kLogService);
  HttpResponse response;
  EXPECT_THROW(h.listener1.Handle(FormRequest({{"id", "2224"}, {"np", "x"}}, 0), response),
               ConversionError);
  const auto calls = h.database.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "sp_per_update;1");
  EXPECT_EQ(calls[0].At(1), "");
  EXPECT_EQ(calls[0].At(2), "x");
  EXPECT_EQ(h.BodyLog(), std::vector<std::string>{"10:15:02 SP_Per_Update_2224"});
  EXPECT_EQ(response.content_type, "application/json");
  EXPECT_EQ(response.headers.size(), 4u);
}

TEST(RequestBodies, MainListShowsTheAnsweredEnvelope) {
  ApiHarness h;
  h.console.Set(Switch::kShowResponse);
  h.database.Push(TripleRow(std::string("1")));
  const HttpResponse response = h.Post1({{"id", "2221"}});
  EXPECT_EQ(h.console.Boxes(), std::vector<std::string>{kEnvelope});
  EXPECT_EQ(response.body, kEnvelope);
}

TEST(RequestBodies, DatabaseFailureEndsTheBodyWithoutAfterLine) {
  ApiHarness h;
  h.console.Set(Switch::kLogService);
  ScriptedAnswer failure;
  failure.error = "Could not find stored procedure 'sp_city_select_2373'";
  h.database.Push(failure);
  HttpResponse response;
  try {
    h.listener1.Handle(FormRequest({{"id", "2373"}}, 0), response);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Could not find stored procedure 'sp_city_select_2373'");
  }
  EXPECT_EQ(h.BodyLog(), std::vector<std::string>{"10:15:02 sp_city_select_2373"});
  EXPECT_TRUE(response.body.empty());
}

TEST(RequestBodies, EmptyDocumentLeavesTheResponseWithoutContent) {
  ApiHarness h;
  ScriptedAnswer none;
  none.columns = {{"cfile"}};
  h.database.Push(none);
  const HttpResponse response = h.Post1({{"id", "2706"}, {"id_file", "404"}});
  EXPECT_FALSE(response.HasContent());
  EXPECT_TRUE(response.content_type.empty());
  EXPECT_TRUE(response.charset.empty());
}

TEST(RequestBodies, DocumentContentSurvivesStoreAndRead) {
  // Base64 content with "+" and "/" in coding mode 2: what is stored is what comes back.
  ApiHarness h;
  h.settings.Coding_Mode = 2;
  const std::string content = "iVBORw0KGgo+/AAAANSUhEUg==";
  h.Post1({{"id", "2701"}, {"cp", "31"}, {"cfile", content}});
  ASSERT_EQ(h.database.Calls().size(), 1u);
  EXPECT_EQ(h.database.Calls()[0].Named("cfile"), content);

  ScriptedAnswer stored;
  stored.columns = {{"cfile"}};
  stored.rows = {{content}};
  h.database.Push(stored);
  const HttpResponse response = h.Post1({{"id", "2706"}, {"id_file", "1"}});
  EXPECT_EQ(TransportDecode(response.body, 2), content);
}

}  // namespace
}  // namespace veltra::testing
