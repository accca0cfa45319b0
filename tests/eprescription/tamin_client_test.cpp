#include "eprescription/tamin_client.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "tests/eprescription/fake_tamin_server.h"
#include "tests/support/fake_database.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace {

namespace json = boost::json;
using testing::ClosedPort;
using testing::FakeReply;
using testing::FakeRequest;
using testing::FakeTaminServer;
using testing::ScriptedAnswer;
using testing::TestPki;

constexpr char kLogin[] = "/interface/auth/api/login";
constexpr char kSend[] = "/interface/epresc/SendEpresc";
constexpr char kParams[] = "'0','0','0','0','0','0','0'";
const std::string kPersianError =
    "\xD8\xAA\xD8\xA7\xD8\xB1\xDB\x8C\xD8\xAE \xD9\x86\xD8\xB3\xD8\xAE\xD9\x87 \xD8\xA8\xD8\xA7"
    "\xDB\x8C\xD8\xAF \xD8\xAA\xD8\xA7\xD8\xB1\xDB\x8C\xD8\xAE \xD8\xA7\xD9\x85\xD8\xB1\xD9\x88"
    "\xD8\xB2 \xD8\xA8\xD8\xA7\xD8\xB4\xD8\xAF";  // the prescription date must be today's

ScriptedAnswer Rows(std::vector<std::string> names, std::vector<Cell> row) {
  ScriptedAnswer a;
  for (auto& n : names) a.columns.push_back({n, ColumnType::kText});
  a.rows.push_back(std::move(row));
  return a;
}

ScriptedAnswer Switch101(const std::string& value) {
  return Rows({"act_tamin_take_token"}, {value});
}

// A submission answer as the service writes it: "data" is the inner document as a string.
std::string SubmissionAnswer(int status, json::object result) {
  json::object inner{{"status", status}, {"family", "SUCCESSFUL"}, {"reason", "OK"},
                     {"data", json::object{{"status", status},
                                           {"family", "SUCCESSFUL"},
                                           {"reason", "OK"},
                                           {"data", json::object{{"result", result}}}}}};
  json::object outer{{"status", status}, {"family", "SUCCESSFUL"}, {"reason", "OK"},
                     {"data", json::serialize(inner)}};
  return json::serialize(outer);
}

FakeReply Json(std::string body) { return FakeReply{200, "application/json", std::move(body), {}, false}; }
FakeReply Drop() { return FakeReply{200, "", "", {}, true}; }

// The Base64 message of an envelope answer, decoded; fails the test when the answer is not
// an envelope naming 112.
std::string Message(const std::string& answer) {
  std::string_view a = answer;
  if (a.substr(0, kOpeningPiece.size()) != kOpeningPiece ||
      a.size() < kOpeningPiece.size() + kClosingPiece.size() ||
      a.substr(a.size() - kClosingPiece.size()) != kClosingPiece) {
    ADD_FAILURE() << "not an envelope: " << answer;
    return {};
  }
  std::string_view m =
      a.substr(kOpeningPiece.size(), a.size() - kOpeningPiece.size() - kClosingPiece.size());
  if (m.size() < 4 || m.substr(m.size() - 4) != " 112") {
    ADD_FAILURE() << "message does not end with \" 112\": " << answer;
    return {};
  }
  return Base64Decode(m.substr(0, m.size() - 4));
}

std::string JoinLfCr(std::vector<std::string> parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\n\r" : "") + parts[i];
  return out;
}

TEST(TaminPieces, HaveTheirFixedLengths) {
  EXPECT_EQ(kOpeningPiece.size(), 38u);
  EXPECT_EQ(kClosingPiece.size(), 19u);
  EXPECT_EQ(kRetryAnswer.size(), 73u);
  EXPECT_EQ(kOpeningPieceResult0.size(), 38u);
  EXPECT_EQ(kClosingPiece.back(), ' ');
  EXPECT_EQ(kRetryAnswer.back(), ' ');
  EXPECT_EQ(EnvelopeWithB64("  abc \n\r"), std::string(kOpeningPiece) + "YWJj 112" +
                                               std::string(kClosingPiece));
  EXPECT_EQ(EnvelopeWithB64("\n\r\n\r"), std::string(kOpeningPiece) + " 112" +
                                             std::string(kClosingPiece));
}

// A client wired to a fake service on real HTTPS and a fake database behind the real gateway.
// The default service issues "tok-1", "tok-2", ... and accepts only the newest token.
class TaminClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console.Set(Switch::kLogService);
    server.SetHandler([this](const FakeRequest& r) {
      std::function<FakeReply(const FakeRequest&)> h;
      {
        std::lock_guard lock(mutex);
        h = r.target == kLogin ? login : send;
      }
      return h ? h(r) : (r.target == kLogin ? DefaultLogin(r) : DefaultSend(r));
    });
  }

  FakeReply DefaultLogin(const FakeRequest& r) {
    std::lock_guard lock(mutex);
    if (r.body != "client_id=0123abcd&secret=s+e%26c%2F") return Json(R"({"status":401})");
    valid_token = "tok-" + std::to_string(++tokens_issued);
    return Json(R"({"status":200,"family":"SUCCESSFUL","data":")" + valid_token + "\"}");
  }

  // Accepts the newest token; echoes the prescription's "patient" as the tracking code.
  FakeReply DefaultSend(const FakeRequest& r) {
    {
      std::lock_guard lock(mutex);
      if (r.Header("Authorization") != "Bearer " + valid_token) {
        return Json(R"({"status":401,"family":"CLIENT_ERROR","reason":"Unauthorized"})");
      }
    }
    std::string patient;
    json::error_code ec;
    json::value v = json::parse(r.body, ec);
    if (!ec && v.is_object() && v.as_object().contains("patient")) {
      patient = std::string(v.as_object().at("patient").as_string());
    }
    return Json(SubmissionAnswer(200, {{"trackingCode", patient},
                                       {"error_Msg", nullptr},
                                       {"error_Code", nullptr},
                                       {"complemantary_Msg", nullptr},
                                       {"head_EPRSC_ID", "H-" + patient}}));
  }

  void SetLogin(std::function<FakeReply(const FakeRequest&)> h) {
    std::lock_guard lock(mutex);
    login = std::move(h);
  }
  void SetSend(std::function<FakeReply(const FakeRequest&)> h) {
    std::lock_guard lock(mutex);
    send = std::move(h);
  }

  // Start-up with the switch on and the settings pointing at the fake service.
  void LoadSettings(const std::string& main_url = {}) {
    database.Push(Switch101("1"));
    database.Push(Rows({"tamin_auth_api_login_url", "tamin_client_id", "tamin_secret",
                        "tamin_main_url", "tamin_PostQuery"},
                       {server.Url(kLogin), "0123abcd", "s e&c/",
                        main_url.empty() ? server.Url() : main_url, kSend}));
    client.RunStartupLoaders();
    ASSERT_EQ(client.State().settings.tamin_secret, "s e&c/");
  }

  std::vector<FakeRequest> RequestsTo(const std::string& path) const {
    std::vector<FakeRequest> out;
    for (auto& r : server.Requests()) if (r.target == path) out.push_back(r);
    return out;
  }

  // Service-log lines without their time prefix ("10:15:02").
  std::vector<std::string> LogLiterals() const {
    std::vector<std::string> out;
    for (auto& line : console.Lines(Memo::kService)) out.push_back(line.substr(8));
    return out;
  }
  bool Logged(const std::string& literal) const {
    auto lines = LogLiterals();
    return std::find(lines.begin(), lines.end(), literal) != lines.end();
  }

  FakeTaminServer server;
  veltra::testing::FakeDatabase database;
  veltra::testing::RecordingConsole console;
  veltra::testing::FakeClock clock;
  db::StoredProcGateway gateway{database, console};
  CurlHttpClient http{TestPki::Get().ca_cert.string()};
  TaminClient client{gateway, console, clock, http};

  std::mutex mutex;  // guards what follows; the service runs on its own threads
  std::string valid_token;
  int tokens_issued = 0;
  std::function<FakeReply(const FakeRequest&)> login, send;
};

// ---- Loaders ----

TEST_F(TaminClientTest, SwitchValuesOfRequest101) {
  struct Case { const char* name; std::string value; bool active; bool box; };
  const Case kCases[] = {
      {"one", "1", true, false},       {"zero", "0", false, false},
      {"true", "true", true, false},   {"TRUE", "TRUE", true, false},
      {"False", "False", false, false}, {"NULL column", " ", false, true},
      {"word", "yes", false, true},
  };
  for (const Case& c : kCases) {
    veltra::testing::FakeDatabase db;
    veltra::testing::RecordingConsole con;
    con.Set(Switch::kLogService);
    db::StoredProcGateway gw{db, con};
    TaminClient tc{gw, con, clock, http};
    db.Push(Switch101(c.value));
    tc.RunStartupLoaders();
    EXPECT_EQ(tc.State().TaminActive, c.active) << c.name;
    auto calls = db.Calls();
    ASSERT_EQ(calls.size(), c.active ? 2u : 1u) << c.name;  // 111 only when switched on
    EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
    EXPECT_EQ(calls[0].At(1), "101");
    EXPECT_EQ(calls[0].At(2), kParams);
    EXPECT_EQ(calls[0].At(3), "0");
    EXPECT_EQ(calls[0].At(4), "0");
    if (c.active) {
      EXPECT_EQ(calls[1].At(1), "111");
    }
    std::string envelope = "{\"Data\":[{\"act_tamin_take_token\":\"" + c.value + "\"}]}";
    if (c.box) {
      EXPECT_EQ(con.Boxes(),
                std::vector<std::string>{std::string("_Exec_Proc 101 \n\r") + kParams +
                                         "\n\r\n\r" + envelope +
                                         "\n\r\n\rStrToBool(myObj.GetValue(act_tamin_take_token)"
                                         ".value) is null "})
          << c.name;
    } else if (!c.active) {
      EXPECT_TRUE(con.Boxes().empty()) << c.name;
    }
    auto lines = con.Lines(Memo::kService);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "10:15:02Fill_msetting_Active_Params  101");
    EXPECT_EQ(lines[1], "10:15:02" + envelope);
    EXPECT_EQ(lines[2], std::string("10:15:02act_tamin_take_token=") + (c.active ? "-1" : "0"));
  }
}

TEST_F(TaminClientTest, FailedRequest101ShowsItsBoxAndLeavesTheSwitchOff) {
  ScriptedAnswer failure;
  failure.error = "server unreachable";
  database.Push(failure);
  client.RunStartupLoaders();
  EXPECT_EQ(console.Boxes(), std::vector<std::string>{std::string("_Exec_Proc 101 \n\r") +
                                                      kParams + "\n\r"});
  EXPECT_FALSE(client.State().TaminActive);
  EXPECT_EQ(database.Calls().size(), 1u);
}

TEST_F(TaminClientTest, Request111FillsTheTenSettings) {
  database.Push(Switch101("1"));
  const std::string persian_value = "\xD8\xB9";  // code unit 1593
  database.Push(Rows({"tamin_auth_api_login_url", "tamin_client_id", "tamin_main_url",
                      "tamin_PostQuery", "tamin_PrescriptionTypeQuery", "tamin_srvTypeQuery",
                      "tamin_srvCodeQuery", "tamin_parGrpCodeQuery", "tamin_drugAmntIdQuery"},
                     {"https://h/interface/auth/api/login", "cid", "https://h",
                      "/interface/epresc/SendEpresc", std::nullopt, "st", "sc", "pg",
                      persian_value}));
  client.RunStartupLoaders();
  TaminSettings s = client.State().settings;
  EXPECT_EQ(s.tamin_auth_api_login_url, "https://h/interface/auth/api/login");
  EXPECT_EQ(s.tamin_client_id, "cid");
  EXPECT_EQ(s.tamin_secret, "");  // no such column
  EXPECT_EQ(s.tamin_main_url, "https://h");
  EXPECT_EQ(s.tamin_PostQuery, "/interface/epresc/SendEpresc");
  EXPECT_EQ(s.tamin_PrescriptionTypeQuery, " ");  // NULL column
  EXPECT_EQ(s.tamin_drugAmntIdQuery, persian_value);

  auto lines = LogLiterals();
  auto at = std::find(lines.begin(), lines.end(), "Fill_tamin_Params_and_take_token 111");
  ASSERT_NE(at, lines.end());
  const std::string row =
      R"({"tamin_auth_api_login_url":"https:\/\/h\/interface\/auth\/api\/login",)"
      R"("tamin_client_id":"cid","tamin_main_url":"https:\/\/h",)"
      R"("tamin_PostQuery":"\/interface\/epresc\/SendEpresc","tamin_PrescriptionTypeQuery":" ",)"
      R"("tamin_srvTypeQuery":"st","tamin_srvCodeQuery":"sc","tamin_parGrpCodeQuery":"pg",)"
      R"("tamin_drugAmntIdQuery":"\u0639"})";
  const std::vector<std::string> expected = {
      "Fill_tamin_Params_and_take_token 111",
      R"({"Data":[)" + row + "]}",
      row,
      "tamin_auth_api_login_url=https://h/interface/auth/api/login",
      "tamin_client_id=cid",
      "tamin_secret=",
      "tamin_main_url=https://h",
      "tamin_PostQuery=/interface/epresc/SendEpresc",
      "tamin_PrescriptionTypeQuery= ",
      "tamin_srvTypeQuery=st",
      "tamin_srvCodeQuery=sc",
      "tamin_parGrpCodeQuery=pg",
      "tamin_drugAmntIdQuery=" + persian_value,
  };
  ASSERT_GE(lines.end() - at, static_cast<long>(expected.size()));
  EXPECT_EQ(std::vector<std::string>(at, at + expected.size()), expected);
}

TEST_F(TaminClientTest, StartUpClearsTheTokenAndTakesNone) {
  LoadSettings();
  client.F_112("112", "{}");
  ASSERT_EQ(client.State().TaminToken, "tok-1");
  database.Push(Switch101("0"));
  client.RunStartupLoaders();
  EXPECT_EQ(client.State().TaminToken, "");
  EXPECT_FALSE(client.State().TaminActive);
  EXPECT_EQ(client.State().settings.tamin_client_id, "0123abcd");  // kept from before
  EXPECT_EQ(RequestsTo(kLogin).size(), 1u);
}

// ---- Request 112 ----

TEST_F(TaminClientTest, TakesATokenOnTheFirstRequestAndKeepsIt) {
  LoadSettings();
  const std::string first = "{ \"patient\" : \"P1\",\n \"mobile\":\"0912\" }";
  const std::string second = R"({"patient":"P2"})";
  std::string a1 = client.F_112("999", first);  // the id does not matter
  std::string a2 = client.F_112("112", second);
  EXPECT_EQ(Message(a1), JoinLfCr({"P1", "", "", "", "H-P1"}));
  EXPECT_EQ(Message(a2), JoinLfCr({"P2", "", "", "", "H-P2"}));

  auto logins = RequestsTo(kLogin);
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].body, "client_id=0123abcd&secret=s+e%26c%2F");
  EXPECT_EQ(logins[0].Header("Content-Type"),
            "application/x-www-form-urlencoded; charset=utf-8");
  auto sends = RequestsTo(kSend);
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].body, first);  // exactly as received
  EXPECT_EQ(sends[0].Header("Authorization"), "Bearer tok-1");
  EXPECT_EQ(sends[1].Header("Authorization"), "Bearer tok-1");
  EXPECT_EQ(sends[0].All("Accept-Encoding"), std::vector<std::string>{"UTF-8"});
  EXPECT_EQ(sends[0].Header("Content-Type"), "application/json");

  TaminState s = client.State();
  EXPECT_EQ(s.TaminToken, "tok-1");
  EXPECT_EQ(s.TaminLastResult, JoinLfCr({"P2", "", "", "", "H-P2"}));

  EXPECT_TRUE(Logged("F_112"));
  EXPECT_TRUE(Logged("Token_Tamin=tok-1"));
  EXPECT_TRUE(Logged("sp_params=" + first));
  EXPECT_TRUE(Logged("Tamin_Send_Visit" + server.Url(kSend)));
  EXPECT_TRUE(Logged("status=200"));
  EXPECT_TRUE(Logged("family=SUCCESSFUL"));
  EXPECT_TRUE(Logged("reason=OK"));
  EXPECT_TRUE(Logged("trackingCode=P1"));
  EXPECT_TRUE(Logged("error_Msg="));
  EXPECT_TRUE(Logged("head_EPRSC_ID=H-P2"));
}

TEST_F(TaminClientTest, TokenAnswers) {
  struct Case {
    const char* name;
    std::string login_answer;
    bool submitted;
    std::string token;
  };
  const Case kCases[] = {
      {"status 200 without data", R"({"status":200})", false, ""},
      {"status 200 with null data", R"({"status":200,"data":null})", false, ""},
      {"status as a string", R"({"status":"200","data":"tok-s"})", true, "tok-s"},
      {"status 401", R"({"status":401,"data":"x"})", false, ""},
      {"not JSON", "<html>busy</html>", false, ""},
  };
  for (const Case& c : kCases) {
    FakeTaminServer local;
    veltra::testing::FakeDatabase db;
    veltra::testing::RecordingConsole con;
    db::StoredProcGateway gw{db, con};
    TaminClient tc{gw, con, clock, http};
    db.Push(Switch101("1"));
    db.Push(Rows({"tamin_auth_api_login_url", "tamin_main_url", "tamin_PostQuery"},
                 {local.Url(kLogin), local.Url(), kSend}));
    tc.RunStartupLoaders();
    local.SetHandler([&](const FakeRequest& r) {
      if (r.target == kLogin) return Json(c.login_answer);
      return Json(SubmissionAnswer(200, {{"trackingCode", "T"}}));
    });
    std::string answer = tc.F_112("112", "{}");
    TaminState s = tc.State();
    EXPECT_EQ(s.TaminToken, c.token) << c.name;
    EXPECT_EQ(s.TaminLastMessage, "") << c.name;
    EXPECT_EQ(local.Requests().size(), c.submitted ? 2u : 1u) << c.name;
    if (c.submitted) {
      EXPECT_EQ(Message(answer), "T") << c.name;
    } else if (c.login_answer.find("\"status\":200") != std::string::npos) {
      EXPECT_EQ(answer, "") << c.name;  // a token of empty text: nothing to send
    } else {
      EXPECT_EQ(answer, std::string(kOpeningPiece) + " 112" + std::string(kClosingPiece))
          << c.name;  // no error text of its own: the previous one, empty here
    }
  }
}

TEST_F(TaminClientTest, SubmissionAnswerShapes) {
  struct Case {
    const char* name;
    std::string answer;
    std::string message;
    std::string status_line;
  };
  // The inner text as the service might write it with stray backslashes; after their removal
  // "a\\b" reads as "ab" and the \u escape as the letter u and four digits.
  const std::string inner_with_backslashes =
      R"({"data":{"data":{"result":{"trackingCode":"a\\b","error_Msg":"\u0633","error_Code":"7"}}}})";
  const Case kCases[] = {
      {"body that is not JSON", "Service Unavailable", "", "status=0"},
      {"data as an object", R"({"status":200,"data":{"data":{"data":{"result":{"trackingCode":"X"}}}}})",
       "", "status=200"},
      {"status 200 without data", R"({"status":200,"family":"F","reason":"R"})", "", "status=200"},
      {"backslashes removed",
       json::serialize(json::object{{"status", 200}, {"data", inner_with_backslashes}}),
       JoinLfCr({"ab", "u0633", "7"}), "status=200"},
      {"error only", SubmissionAnswer(200, {{"error_Msg", "bad"}, {"error_Code", "300"}}),
       JoinLfCr({"bad", "300"}), "status=200"},
      {"status 500 is still an answer", SubmissionAnswer(500, {{"trackingCode", "T5"}}), "T5",
       "status=500"},
      {"the service's own sample", std::string(kSampleSubmissionAnswer),
       JoinLfCr({kPersianError, "300"}), "status=200"},
  };
  LoadSettings();
  for (const Case& c : kCases) {
    SetSend([&](const FakeRequest&) { return Json(c.answer); });
    std::string answer = client.F_112("112", "{}");
    EXPECT_EQ(Message(answer), c.message) << c.name;
    EXPECT_TRUE(Logged(c.status_line)) << c.name;
    EXPECT_TRUE(Logged("jsn=" + c.answer)) << c.name;
  }
  EXPECT_EQ(RequestsTo(kLogin).size(), 1u);  // none of these renews the token
}

TEST_F(TaminClientTest, Status401WithRenewalThatSucceeds) {
  LoadSettings();
  client.F_112("112", "{}");
  {
    std::lock_guard lock(mutex);
    valid_token = "revoked";  // the service no longer accepts tok-1
  }
  std::string answer = client.F_112("112", R"({"patient":"P"})");
  EXPECT_EQ(Message(answer), "");  // the fields of the 401 answer: all empty
  EXPECT_EQ(client.State().TaminToken, "tok-2");
  EXPECT_EQ(RequestsTo(kSend).size(), 2u);  // not sent again after the renewal
  EXPECT_EQ(RequestsTo(kLogin).size(), 2u);
}

TEST_F(TaminClientTest, Status401WithRenewalThatFails) {
  LoadSettings();
  client.F_112("112", "{}");
  SetSend([](const FakeRequest&) { return Json(R"({"status":401})"); });
  SetLogin([](const FakeRequest&) { return Drop(); });
  std::string answer = client.F_112("112", "{}");
  TaminState s = client.State();
  ASSERT_FALSE(s.TaminLastMessage.empty());
  // The step text ends with the closing piece's blank, which the Base64 message trims.
  EXPECT_EQ(Message(answer), std::string(kOpeningPieceResult0) + s.TaminLastMessage + " 112" +
                                 R"(","s_param":"0"}]})");
  EXPECT_EQ(s.TaminToken, "tok-1");  // the old token stays
}

TEST_F(TaminClientTest, FailedSubmission) {
  struct Case {
    const char* name;
    bool renewal_works;
    bool unreachable;  // the submission host refuses connections instead
  };
  const Case kCases[] = {
      {"dropped, renewal succeeds", true, false},
      {"dropped, renewal fails", false, false},
      {"unreachable endpoint, renewal succeeds", true, true},
  };
  for (const Case& c : kCases) {
    FakeTaminServer local;
    veltra::testing::FakeDatabase db;
    veltra::testing::RecordingConsole con;
    db::StoredProcGateway gw{db, con};
    TaminClient tc{gw, con, clock, http};
    db.Push(Switch101("1"));
    std::string main_url =
        c.unreachable ? "https://127.0.0.1:" + std::to_string(ClosedPort()) : local.Url();
    db.Push(Rows({"tamin_auth_api_login_url", "tamin_main_url", "tamin_PostQuery"},
                 {local.Url(kLogin), main_url, kSend}));
    tc.RunStartupLoaders();
    int logins = 0;
    local.SetHandler([&](const FakeRequest& r) {
      if (r.target == kLogin) {
        if (++logins > 1 && !c.renewal_works) return Drop();
        return Json(R"({"status":200,"data":"tok-)" + std::to_string(logins) + "\"}");
      }
      return Drop();
    });
    std::string answer = tc.F_112("112", "{}");
    TaminState s = tc.State();
    EXPECT_FALSE(s.TaminLastMessage.empty()) << c.name;
    if (c.renewal_works) {
      EXPECT_EQ(answer, kRetryAnswer) << c.name;
      EXPECT_EQ(s.TaminToken, "tok-2") << c.name;
    } else {
      EXPECT_EQ(Message(answer), s.TaminLastMessage) << c.name;
      EXPECT_EQ(s.TaminToken, "tok-1") << c.name;
    }
    if (c.unreachable) {
      EXPECT_EQ(s.TaminLastMessage.rfind("Couldn't connect to server", 0), 0u) << s.TaminLastMessage;
    }
    EXPECT_EQ(logins, 2) << c.name;
  }
}

TEST_F(TaminClientTest, SwitchOffMeansAnEmptyLoginUrl) {
  database.Push(Switch101("0"));
  client.RunStartupLoaders();
  std::string answer = client.F_112("112", "{}");
  TaminState s = client.State();
  EXPECT_EQ(s.TaminLastMessage.rfind("URL using bad/illegal format or missing URL", 0), 0u)
      << s.TaminLastMessage;
  EXPECT_EQ(Message(answer), s.TaminLastMessage);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(TaminClientTest, ATokenWithALineBreakIsNeverSentAsHeaders) {
  LoadSettings();
  SetLogin([](const FakeRequest&) { return Json(R"({"status":200,"data":"t\r\nX-Evil: 1"})"); });
  std::string answer = client.F_112("112", "{}");
  EXPECT_EQ(answer, kRetryAnswer);  // the submission failed before anything was sent
  EXPECT_TRUE(RequestsTo(kSend).empty());
  EXPECT_EQ(client.State().TaminLastMessage, "Invalid character in HTTP header");
}

TEST_F(TaminClientTest, ConcurrentRequestsEachGetTheirOwnAnswer) {
  LoadSettings();
  SetSend([this](const FakeRequest& r) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // widen the window
    return DefaultSend(r);
  });
  constexpr int kThreads = 4;
  std::vector<std::string> answers(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      answers[i] = client.F_112("112", R"({"patient":"N)" + std::to_string(i) + "\"}");
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    std::string n = "N" + std::to_string(i);
    EXPECT_EQ(Message(answers[i]), JoinLfCr({n, "", "", "", "H-" + n})) << i;
  }
  EXPECT_EQ(RequestsTo(kLogin).size(), 1u);
  EXPECT_EQ(server.MaxInFlight(), 1);
}

TEST_F(TaminClientTest, ClearLastResultDoesNotWaitForARunningFlow) {
  LoadSettings();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> arrived;
  SetSend([&, released](const FakeRequest& r) {
    arrived.set_value();
    released.wait();
    return DefaultSend(r);
  });
  std::thread flow([&] { client.F_112("112", R"({"patient":"Z"})"); });
  arrived.get_future().wait();
  auto cleared = std::async(std::launch::async, [&] { client.ClearLastResult(); });
  bool done = cleared.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  release.set_value();
  flow.join();
  EXPECT_TRUE(done) << "ClearLastResult waited for the flow";
  EXPECT_EQ(client.State().TaminLastResult, JoinLfCr({"Z", "", "", "", "H-Z"}));
  client.ClearLastResult();
  EXPECT_EQ(client.State().TaminLastResult, "0");
}

// ---- Test commands ----

TEST_F(TaminClientTest, SampleAnswerCommandShowsFourBoxes) {
  client.TestSampleAnswer();
  EXPECT_EQ(console.Boxes(), (std::vector<std::string>{"", kPersianError, "300", ""}));
  EXPECT_TRUE(server.Requests().empty());
}

class TestValuesFile {
 public:
  explicit TestValuesFile(const std::string& text) {
    path_ = std::filesystem::temp_directory_path() /
            ("veltra_tamin_test_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".ini");
    std::ofstream(path_) << text;
  }
  ~TestValuesFile() { std::filesystem::remove(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

TEST_F(TaminClientTest, CommandAWithoutTestValuesSaysSo) {
  client.TestTaminTokenA(std::filesystem::temp_directory_path() / "no_such_tamin_test.ini");
  auto boxes = console.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("No e-prescription test credentials are configured", 0), 0u);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(TaminClientTest, CommandATakesATokenAndSubmitsTheSample) {
  TestValuesFile file("[tamin_test]\nlogin_url=" + server.Url(kLogin) +
                      "\nclient_id=0123abcd\nsecret=s e&c/\nsend_url=" + server.Url(kSend) +
                      "\npatient=0012345678\nmobile=09120000000\nprescDate=14030101\n"
                      "expireDate=14030201\ndocId=1234567890\ndocMobileNo=09121111111\n"
                      "docNationalCode=0098765432\n");
  client.TestTaminTokenA(file.path());
  EXPECT_EQ(console.Boxes(),
            (std::vector<std::string>{"Token: tok-1",
                                      JoinLfCr({"0012345678", "", "", "", "H-0012345678"})}));
  auto sends = RequestsTo(kSend);
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].body,
            R"({"patient":"0012345678","mobile":"09120000000","prescType":{"prescTypeId":3},)"
            R"("prescDate":"14030101","expireDate":"14030201","docId":"1234567890",)"
            R"("docMobileNo":"09121111111","docNationalCode":"0098765432","comments":"1",)"
            R"("creatorType":"4","noteDetailEprscs":[]})");
  EXPECT_EQ(client.State().TaminToken, "tok-1");
}

TEST_F(TaminClientTest, CommandAWithAnUnreachableHostKeepsTheToken) {
  LoadSettings();
  client.F_112("112", "{}");
  std::string dead = "https://127.0.0.1:" + std::to_string(ClosedPort());
  TestValuesFile file("login_url=" + dead + kLogin + "\nclient_id=a\nsecret=b\nsend_url=" +
                      dead + kSend + "\n");
  client.TestTaminTokenA(file.path());
  auto boxes = console.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Couldn't connect to server", 0), 0u) << boxes[0];
  EXPECT_EQ(client.State().TaminToken, "tok-1");
}

TEST_F(TaminClientTest, CommandBWithTheSwitchOffAndNothingLoaded) {
  database.Push(Switch101("0"));
  client.TestTaminTokenB();
  auto boxes = console.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Message(boxes[0]).rfind("URL using bad/illegal format or missing URL", 0), 0u)
      << boxes[0];
}

TEST_F(TaminClientTest, CommandBKeepsEarlierSettingsAndRunsAFlow) {
  LoadSettings();
  client.F_112("112", "{}");
  database.Push(Switch101("0"));
  client.TestTaminTokenB();
  auto boxes = console.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Message(boxes[0]), "H-");  // "1" has no patient
  EXPECT_EQ(RequestsTo(kLogin).size(), 2u);  // the token was cleared and taken again
  auto sends = RequestsTo(kSend);
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[1].body, "1");
  EXPECT_EQ(sends[1].Header("Authorization"), "Bearer tok-2");
}

}  // namespace
}  // namespace veltra
