// Listener 2: plain fields and answers, the two document requests and the user-name/password
// dispatcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/api/api_harness.h"

namespace veltra::testing {
namespace {

TEST(Listener2, DispatchTable) {
  struct Case {
    const char* name;
    Fields fields;
    ScriptedAnswer answer;
    std::string procedure;  // empty: no database call
    std::vector<std::string> inputs;
    db::RunMode mode;
    std::string body;
    std::vector<std::string> log;  // after the frame's lines
  };
  ScriptedAnswer content;
  content.columns = {{"cfile"}};
  content.rows = {{std::string("aGVsbG8=")}};
  const std::string envelope = R"({"Data":[{"s_result":"1","s_message":"ok","s_param":"0"}]})";
  const auto exec = db::RunMode::kExecute;
  const std::vector<Case> kCases = {
      {"no id", {{"sp_param", "x"}}, {}, "", {}, exec, "error", {}},
      {"letters", {{"id", "abc"}}, {}, "", {}, exec, "error", {}},
      {"2701 stores",
       {{"id", "2701"}, {"cp", "31"}, {"nfile", "a.txt"}, {"pfile", "p"}, {"cfile", "Y29k"},
        {"Login_User_Token", "tok"}, {"Login_User_cp", "9"}},
       TripleRow(std::string("1")), "sp_doc_file_insert_2701",
       {"cp=31", "cfile=Y29k", "nfile=a.txt", "pfile=p", "Login_User_Token=tok",
        "Login_User_cp=9"},
       exec, envelope, {"10:15:02sp_doc_file_insert_2701_string"}},
      {"2706 reads",
       {{"id", "2706"}, {"id_file", "5"}, {"Login_User_Token", "tok"}, {"Login_User_cp", "9"}},
       content, "sp_doc_file_select_cfile_2706", {"1=5", "2=tok", "3=9"}, db::RunMode::kOpen,
       "aGVsbG8=", {"10:15:02 sp_doc_file_select_cfile_2706"}},
      {"007 goes as 7",
       {{"id", "007"}, {"sp_param", "'1','2'"}, {"username", "ali"}, {"password", "pw"}},
       TripleRow(std::string("1")), "_exec_proc_w_nu_pw",
       {"1=7", "2='1','2'", "3=ali", "4=pw"}, exec, envelope, {"10:15:027"}},
      {"2702 is not a document request", {{"id", "2702"}}, TripleRow(std::string("1")),
       "_exec_proc_w_nu_pw", {"1=2702", "2=", "3=", "4="}, exec, envelope, {"10:15:022702"}},
      {"2703 is not served here", {{"id", "2703"}, {"cfile", "x"}}, TripleRow(std::string("1")),
       "_exec_proc_w_nu_pw", {"1=2703", "2=", "3=", "4="}, exec, envelope, {"10:15:022703"}},
      {"negative", {{"id", "-3"}}, TripleRow(std::string("1")), "_exec_proc_w_nu_pw",
       {"1=-3", "2=", "3=", "4="}, exec, envelope, {"10:15:02-3"}},
      {"hex id in decimal", {{"id", "$10"}}, TripleRow(std::string("1")), "_exec_proc_w_nu_pw",
       {"1=16", "2=", "3=", "4="}, exec, envelope, {"10:15:0216"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ApiHarness h;
    h.settings.Coding_Mode = 2;  // listener 2 ignores it for fields and answers
    h.console.Set(Switch::kLogService);
    h.database.Push(c.answer);
    const HttpResponse response = h.Post2(c.fields);
    EXPECT_EQ(response.body, c.body);
    EXPECT_EQ(response.content_type, "application/json");
    EXPECT_EQ(response.charset, "ASCII");
    EXPECT_TRUE(response.headers.empty());
    const auto calls = h.database.Calls();
    if (c.procedure.empty()) {
      EXPECT_TRUE(calls.empty());
    } else {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].procedure, c.procedure);
      EXPECT_EQ(calls[0].mode, c.mode);
      EXPECT_EQ(Inputs(calls[0]), Sorted(c.inputs));
    }
    EXPECT_EQ(h.BodyLog(), c.log);
  }
}

TEST(Listener2, GetTouchesNoDatabase) {
  ApiHarness h;
  h.console.Set(Switch::kLogCommand);
  HttpResponse response;
  h.listener2.Handle(FormRequest({{"id", "2706"}, {"id_file", "1"}}, 0, "GET"), response);
  EXPECT_FALSE(response.HasContent());
  EXPECT_TRUE(response.content_type.empty());
  EXPECT_TRUE(h.database.Calls().empty());
  EXPECT_EQ(h.console.Lines(Memo::kCommand), std::vector<std::string>{"id=2706\r\nid_file=1"});
}

TEST(Listener2, CodedRequestIsNotDecodedExceptForTheCommandLog) {
  ApiHarness h;
  h.settings.Coding_Mode = 1;
  h.console.Set(Switch::kLogCommand);
  h.console.Set(Switch::kLogService);
  h.console.Set(Switch::kShowRequest);
  const std::string coded = TransportEncode("id=2702", 1);
  HttpResponse response;
  h.listener2.Handle(FormRequest({{"id", "2702"}}, 1), response);
  EXPECT_EQ(response.body, "error");
  EXPECT_TRUE(h.database.Calls().empty());
  EXPECT_EQ(h.console.Lines(Memo::kCommand), std::vector<std::string>{"id=2702"});
  EXPECT_EQ(h.console.Lines(Memo::kService),
            (std::vector<std::string>{"10:15:02 CommandGet ", coded}));
  EXPECT_EQ(h.console.Lines(Memo::kService2), std::vector<std::string>{coded + "\r\n"});
  EXPECT_EQ(h.console.Boxes(), std::vector<std::string>{coded + "\r\n"});
}

TEST(Listener2, MissingDocumentLeavesTheResponseWithoutContent) {
  ApiHarness h;
  ScriptedAnswer none;
  none.columns = {{"cfile"}};
  h.database.Push(none);
  const HttpResponse response = h.Post2({{"id", "2706"}, {"id_file", "404"}});
  EXPECT_FALSE(response.HasContent());
  EXPECT_TRUE(response.content_type.empty());
}

TEST(Listener2, DatabaseFailureEscapes) {
  ApiHarness h;
  ScriptedAnswer failure;
  failure.error = "Login failed for user 'sa'";
  h.database.Push(failure);
  HttpResponse response;
  EXPECT_THROW(h.listener2.Handle(FormRequest({{"id", "5"}}, 0), response), std::runtime_error);
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.content_type, "application/json");
}

}  // namespace
}  // namespace veltra::testing
