// The frame every listener 1 request goes through: decoding, diagnostics, the POST-only
// rule, the headers, the fixed answers, the generic answer and the permission check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/unavailable_prescriber.h"
#include "tests/api/api_harness.h"
#include "wire/text.h"

namespace veltra::testing {
namespace {

const std::string kConfirmation500 =
    R"({"Data":[{"s_result":"1","s_message":"OK  500","s_param":"0"}]})";

void ExpectJsonHeaders(const HttpResponse& response) {
  EXPECT_EQ(response.content_type, "application/json");
  EXPECT_EQ(response.charset, "ASCII");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Access-Control-Allow-Origin", "*"},
      {"Access-Control-Allow-Methods", "*"},
      {"Access-Control-Allow-Headers",
       "Origin, X-Requested-With, Content-Type, Accept, Authorization"},
      {"Cache-Control", "no-cache"},
  };
  EXPECT_EQ(response.headers, expected);
}

TEST(Listener1Frame, FixedAnswersGoOutUncodedInEveryMode) {
  struct Case { const char* name; Fields fields; const char* body; };
  const Case kCases[] = {
      {"id 0", {{"id", "0"}}, "error"},
      {"no id", {{"sp_param", "'1'"}}, "error"},
      {"id abc", {{"id", "abc"}}, "error"},
      {"id ID is not id", {{"ID", "2"}}, "error"},
      {"id 2", {{"id", "2"}}, "22222222222222"},
      {"id 3", {{"id", "3"}}, "33333333333333"},
      {"id 0x3 is 3", {{"id", "0x3"}}, "33333333333333"},
  };
  for (std::int16_t mode : {0, 1, 2}) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(c.name) + " in mode " + std::to_string(mode));
      ApiHarness h;
      h.settings.Coding_Mode = mode;
      const HttpResponse response = h.Post1(c.fields);
      EXPECT_EQ(response.status, 200);
      EXPECT_EQ(response.body, c.body);
      ExpectJsonHeaders(response);
      EXPECT_TRUE(h.database.Calls().empty());
    }
  }
}

TEST(Listener1Frame, RequestCodedInAnotherModeReadsAsError) {
  ApiHarness h;
  h.settings.Coding_Mode = 1;
  HttpResponse response;
  h.listener1.Handle(FormRequest({{"id", "2371"}}, 2), response);
  EXPECT_EQ(response.body, "error");
  EXPECT_TRUE(h.database.Calls().empty());
}

TEST(Listener1Frame, NonPostGetsNothingButIsStillLoggedAndShown) {
  for (const char* method : {"GET", "HEAD", "post"}) {
    SCOPED_TRACE(method);
    ApiHarness h;
    h.settings.Coding_Mode = 1;
    h.console.Set(Switch::kLogCommand);
    h.console.Set(Switch::kShowRequest);
    h.console.Set(Switch::kLogService);
    const Fields fields = {{"id", "2371"}};
    const HttpRequest request = FormRequest(fields, 1, method);
    HttpResponse response;
    h.listener1.Handle(request, response);
    EXPECT_FALSE(response.HasContent());
    EXPECT_TRUE(response.content_type.empty());
    EXPECT_TRUE(response.headers.empty());
    EXPECT_TRUE(h.database.Calls().empty());
    EXPECT_EQ(h.console.Lines(Memo::kCommand), std::vector<std::string>{"id=2371"});
    EXPECT_EQ(h.console.Boxes(), std::vector<std::string>{TransportEncode("id=2371", 1) + "\r\n"});
    EXPECT_TRUE(h.console.Lines(Memo::kService).empty());
  }
}

TEST(Listener1Frame, QueryStringFieldsAreSeenToo) {
  ApiHarness h;
  HttpRequest request;
  request.method = "POST";
  request.query = "id=3";
  HttpResponse response;
  h.listener1.Handle(request, response);
  EXPECT_EQ(response.body, "33333333333333");
}

TEST(Listener1Frame, DiagnosticsSeeRawAndDecodedText) {
  ApiHarness h;
  h.settings.Coding_Mode = 2;
  h.console.Set(Switch::kLogCommand);
  h.console.Set(Switch::kShowRequest);
  h.console.Set(Switch::kLogService);
  const Fields fields = {{"id", "2"}, {"sp_param", "'a'"}};
  const std::string coded = TransportEncode(PlainLines(fields), 2);
  h.Post1(fields);
  EXPECT_EQ(h.console.Boxes(), std::vector<std::string>{coded + "\r\n"});
  EXPECT_EQ(h.console.Lines(Memo::kCommand), std::vector<std::string>{"id=2\r\nsp_param='a'"});
  EXPECT_EQ(h.console.Lines(Memo::kService),
            (std::vector<std::string>{"10:15:02 CommandGet ", "id=2\r\nsp_param='a'"}));
  EXPECT_EQ(h.console.Lines(Memo::kService2), std::vector<std::string>{coded + "\r\n"});
}

TEST(Listener1Frame, GenericAnswerPassesTheReceivedFields) {
  ApiHarness h;
  h.settings.Coding_Mode = 1;
  h.console.Set(Switch::kLogService);
  h.database.Push(TripleRow(std::string("1"), "done"));
  const HttpResponse response = h.Post1({{"id", "05000"},
                                         {"sp_param", "'1','x y'"},
                                         {"Login_User_Token", "tok"},
                                         {"Login_User_cp", "9"}});
  const auto calls = h.database.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
  EXPECT_EQ(Inputs(calls[0]),
            (std::vector<std::string>{"1=05000", "2='1','x y'", "3=tok", "4=9"}));
  EXPECT_EQ(TransportDecode(response.body, 1),
            R"({"Data":[{"s_result":"1","s_message":"done","s_param":"0"}]})");
  EXPECT_EQ(h.BodyLog(), (std::vector<std::string>{"10:15:025000", "'1','x y'"}));
  EXPECT_EQ(h.prescriber.clears, 0);
}

struct PermissionCase {
  const char* name;
  std::string id;
  ScriptedAnswer check;
  bool throws;
  std::string answer;  // plain, when it does not throw
  bool submits;        // handed to F_112
};

TEST(Listener1Frame, PermissionCheckGuardsNumbersBelow1000) {
  ScriptedAnswer no_row;
  no_row.columns = {{"s_result"}};
  ScriptedAnswer no_member;
  no_member.columns = {{"result"}};
  no_member.rows = {{std::string("1")}};
  const std::string refused =
      R"({"Data":[{"s_result":"0","s_message":"not allowed","s_param":"0"}]})";
  const std::vector<PermissionCase> kCases = {
      {"allowed 500 confirms", "500", TripleRow(std::string("1")), false,
       R"({"Data":[{"s_result":"1","s_message":"OK  500","s_param":"0"}]})", false},
      {"allowed 0012 keeps the received text", "0012", TripleRow(std::string("1")), false,
       R"({"Data":[{"s_result":"1","s_message":"OK  0012","s_param":"0"}]})", false},
      {"allowed negative", "-4", TripleRow(std::string("1")), false,
       R"({"Data":[{"s_result":"1","s_message":"OK  -4","s_param":"0"}]})", false},
      {"refused is passed on", "500", TripleRow(std::string("0"), "not allowed"), false, refused,
       false},
      {"allowed 112 submits", "112", TripleRow(std::string("1")), false,
       R"({"Data":[{"s_result":"1","s_message":"sent","s_param":"0"}]})", true},
      {"refused 112 does not submit", "112", TripleRow(std::string("0"), "not allowed"), false,
       refused, false},
      {"NULL s_result throws", "500", TripleRow(std::nullopt), true, "", false},
      {"no row throws", "500", no_row, true, "", false},
      {"no s_result member throws", "500", no_member, true, "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ApiHarness h;
    h.console.Set(Switch::kLogService);
    h.database.Push(c.check);
    const Fields fields = {{"id", c.id},
                           {"sp_param", "{\"presc\":1}"},
                           {"Login_User_Token", "tok"},
                           {"Login_User_cp", "9"}};
    HttpResponse response;
    if (c.throws) {
      EXPECT_ANY_THROW(h.listener1.Handle(FormRequest(fields, 0), response));
      ExpectJsonHeaders(response);
      EXPECT_TRUE(response.body.empty());
    } else {
      h.listener1.Handle(FormRequest(fields, 0), response);
      EXPECT_EQ(response.body, c.answer);
    }
    const auto calls = h.database.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
    EXPECT_EQ(Inputs(calls[0]), (std::vector<std::string>{
                                    "1=" + c.id, "2='0','0','0','0','0','0','0'", "3=tok",
                                    "4=9"}));
    EXPECT_EQ(h.prescriber.clears, 1);
    if (c.submits) {
      EXPECT_EQ(h.prescriber.calls,
                (std::vector<std::pair<std::string, std::string>>{{"112", "{\"presc\":1}"}}));
    } else {
      EXPECT_TRUE(h.prescriber.calls.empty());
    }
    EXPECT_EQ(h.BodyLog(), (std::vector<std::string>{
                               "10:15:02" + std::to_string(StrToInt(c.id)), "{\"presc\":1}"}));
  }
}

TEST(Listener1Frame, NullResultThrowsTheConversionError) {
  ApiHarness h;
  h.database.Push(TripleRow(std::nullopt));
  HttpResponse response;
  EXPECT_THROW(h.listener1.Handle(FormRequest({{"id", "500"}}, 0), response), ConversionError);
}

TEST(Listener1Frame, ConfirmationInMode1IsBase64WithoutTheFinalBlank) {
  ApiHarness h;
  h.settings.Coding_Mode = 1;
  h.database.Push(TripleRow(std::string("1")));
  const HttpResponse response = h.Post1({{"id", "500"}});
  EXPECT_EQ(response.body,
            "eyJEYXRhIjpbeyJzX3Jlc3VsdCI6IjEiLCJzX21lc3NhZ2UiOiJPSyAgNTAwIiwic19wYXJhbSI6IjAifV19");
  EXPECT_EQ(TransportDecode(response.body, 1), kConfirmation500);
}

TEST(Listener1Frame, AnswerOutsideAsciiBecomesQuestionMarks) {
  ApiHarness h;
  ScriptedAnswer date;
  date.no_result_set = true;
  date.outputs = {std::string("\xDB\xB1\xDB\xB4 x")};  // two Persian digits
  h.database.Push(date);
  const HttpResponse response = h.Post1({{"id", "1010"}});
  EXPECT_EQ(response.body, "?? x");
}

TEST(Listener1Frame, UnknownCodingModeAnswersNothing) {
  ApiHarness h;
  h.settings.Coding_Mode = 7;
  HttpResponse response;
  // Every field reads as empty, so the request is id 0.
  h.listener1.Handle(FormRequest({{"id", "2371"}}, 0), response);
  EXPECT_EQ(response.body, "error");
  EXPECT_TRUE(h.database.Calls().empty());
}

TEST(UnavailablePrescriber, AnswersAnErrorNeverASuccess) {
  TServiceSettings settings;
  FakeDatabase database;
  RecordingConsole console;
  FakeClock clock;
  db::StoredProcGateway gateway{database, console};
  api::UnavailablePrescriber prescriber;
  api::Listener1 listener{settings, gateway, console, clock, prescriber};
  database.Push(TripleRow(std::string("1")));
  HttpResponse response;
  listener.Handle(FormRequest({{"id", "112"}, {"sp_param", "{}"}}, 0), response);
  EXPECT_NE(api::FirstRowResult(response.body), 1);
  EXPECT_NE(response.body.find("e-prescription client is not available"), std::string::npos);
}

}  // namespace
}  // namespace veltra::testing
