#include "callerid/callerid_listener.h"

#include <gtest/gtest.h>

#include <mutex>

#include "tests/support/fake_database.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace {

using testing::FakeDatabase;
using testing::FakeClock;
using testing::RecordingConsole;
using testing::ScriptedAnswer;

constexpr const char* kHost = "CLINIC-PC";
// FakeClock's default moment: 2026/12/11 10:15:02.
constexpr const char* kNow = "2026/12/11 10:15:02";
const std::string kCode = std::string("101112") + kHost;

class RecordingPorts : public PortControl {
 public:
  void StopListener1() override { std::lock_guard l(mutex_); calls_.push_back("stop"); }
  void StartListener1() override { std::lock_guard l(mutex_); calls_.push_back("start"); }
  std::vector<std::string> Calls() const { std::lock_guard l(mutex_); return calls_; }

 private:
  mutable std::mutex mutex_;  // guards calls_
  std::vector<std::string> calls_;
};

HttpRequest Get(std::string query) {
  HttpRequest r;
  r.method = "GET";
  r.path = "/";
  r.query = std::move(query);
  r.target = r.query.empty() ? r.path : r.path + "?" + r.query;
  return r;
}

ScriptedAnswer Table() {
  ScriptedAnswer a;
  a.columns = {{"cp", ColumnType::kNumber}, {"np", ColumnType::kText}};
  a.rows = {{Cell("1"), std::nullopt}};
  return a;
}

constexpr const char* kTableStart =
    "<Table style=\"font-family:Tahoma\" Width=\"100%\" CellSpacing=2 CellPadding=1 Border=2 "
    "BgColor=\"White\">\r\n";
constexpr const char* kHeaderRow =
    "<TR><TH style=\"background-color:powderblue\">cp</TH>"
    "<TH style=\"background-color:powderblue\">np</TH></TR>\r\n";

class CallerIdListenerTest : public ::testing::Test {
 protected:
  HttpResponse Send(const HttpRequest& request) {
    HttpResponse response;
    listener_.Handle(request, response);
    return response;
  }

  FakeDatabase db_;
  RecordingConsole console_;
  FakeClock clock_;
  RecordingPorts ports_;
  std::string host_ = kHost;
  db::StoredProcGateway gateway_{db_, console_};
  CallerIdListener listener_{gateway_, console_, clock_, ports_, [this] { return host_; }};
};

TEST_F(CallerIdListenerTest, NumberedRequestIsAnsweredAsAnHtmlTable) {
  db_.Push(Table());
  auto response = Send(Get("id=1430&params='1','2'&token=T&lucp=7"));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, std::string(kTableStart) + kHeaderRow +
                               "<TR><TD>1</TD><TD></TD></TR>\r\n</Table>");
  EXPECT_EQ(response.content_type, "");
  EXPECT_TRUE(response.headers.empty());
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
  EXPECT_EQ(calls[0].mode, db::RunMode::kOpen);
  EXPECT_EQ(calls[0].At(1), "1430");
  EXPECT_EQ(calls[0].At(2), "'1','2'");
  EXPECT_EQ(calls[0].At(3), "T");
  EXPECT_EQ(calls[0].At(4), "7");
}

TEST_F(CallerIdListenerTest, AnEmptyResultGivesTheHeaderRowOnly) {
  ScriptedAnswer empty = Table();
  empty.rows.clear();
  db_.Push(empty);
  EXPECT_EQ(Send(Get("id=1430")).body, std::string(kTableStart) + kHeaderRow + "</Table>");
}

TEST_F(CallerIdListenerTest, RequestNumbersUseThePlatformIntegerConversion) {
  struct Case {
    const char* name;
    std::string query;
    std::string sent_id;  // empty: no database call
  };
  const Case kCases[] = {
      {"decimal", "id=1430", "1430"},
      {"hexadecimal goes unchanged", "id=0x10", "0x10"},
      {"dollar hexadecimal", "id=$1F", "$1F"},
      {"negative", "id=-3", "-3"},
      {"leading blank", "id=%201430", " 1430"},
      {"outside 32 bits", "id=99999999999", ""},
      {"a word", "id=hello", ""},
      {"empty", "id=", ""},
      {"trailing blank is trimmed with the whole text", "id=12%20", "12"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(Table());
    db::StoredProcGateway gateway(db, console_);
    CallerIdListener listener(gateway, console_, clock_, ports_, [] { return std::string(kHost); });
    HttpResponse response;
    listener.Handle(Get(c.query), response);
    auto calls = db.Calls();
    if (c.sent_id.empty()) {
      EXPECT_TRUE(calls.empty());
      EXPECT_EQ(response.body, "");
    } else {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].At(1), c.sent_id);
    }
  }
}

TEST_F(CallerIdListenerTest, CallerIdReportsBecomeRequest1434) {
  struct Case {
    const char* name;
    std::string query;
    std::string params;  // empty: not a report
  };
  const Case kCases[] = {
      {"line and number", "LineNumber=2&Number=09000000000", "'2','09000000000',''"},
      {"line, number and dialled number", "LineNumber=2&Number=123&DialNumber=456",
       "'2','123','456'"},
      {"dialled number long enough", "LineNumber=1&Number=12&DialNumber=100", "'1','12','100'"},
      {"overrides the request it carries",
       "id=1430&params=x&token=T&lucp=9&LineNumber=3&Number=555", "'3','555',''"},
      {"quotes inside values are doubled", "LineNumber=1&Number=09'12", "'1','09''12',''"},
      {"both numbers too short", "LineNumber=2&Number=12&DialNumber=34", ""},
      {"no line number", "Number=09000000000&DialNumber=100", ""},
      {"names are case-sensitive", "linenumber=2&number=09000000000", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(Table());
    db::StoredProcGateway gateway(db, console_);
    CallerIdListener listener(gateway, console_, clock_, ports_, [] { return std::string(kHost); });
    HttpResponse response;
    listener.Handle(Get(c.query), response);
    auto calls = db.Calls();
    if (c.params.empty()) {
      EXPECT_TRUE(calls.empty());
      EXPECT_EQ(response.body, "");
    } else {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].At(1), "1434");
      EXPECT_EQ(calls[0].At(2), c.params);
      EXPECT_EQ(calls[0].At(3), "0");
      EXPECT_EQ(calls[0].At(4), "0");
    }
  }
}

TEST_F(CallerIdListenerTest, StatusNeedsNoCode) {
  auto response = Send(Get("id=status"));
  EXPECT_EQ(response.body, std::string("{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"status    ") +
                               kHost + "   " + kNow + "    101112    \",\"s_param\":\"0\"}]} ");
  EXPECT_EQ(response.content_type, "");
  EXPECT_TRUE(ports_.Calls().empty());
  EXPECT_TRUE(db_.Calls().empty());
}

TEST_F(CallerIdListenerTest, PortCommandsNeedTheControlCodeOfTheCurrentHour) {
  struct Case {
    const char* name;
    std::string query;
    std::string body;
    std::vector<std::string> port_calls;
  };
  const std::string stop_body =
      std::string("{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"port_01_stop  ") + kNow +
      " \",\"s_param\":\"0\"}]} ";
  const std::string start_body =
      std::string("{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"port_01_start  ") + kNow +
      " \",\"s_param\":\"0\"}]} ";
  const Case kCases[] = {
      {"stop with the code", "id=port_01_stop&params=" + kCode, stop_body, {"stop"}},
      {"start with the code", "id=port_01_start&params=" + kCode, start_body, {"start"}},
      {"stop with the previous hour's code",
       "id=port_01_stop&params=91112" + std::string(kHost), "", {}},
      {"stop with an empty code", "id=port_01_stop&params=", "", {}},
      {"stop without the host name", "id=port_01_stop&params=101112", "", {}},
      {"start with a wrong code", "id=port_01_start&params=x" + kCode, "", {}},
      {"other letter case", "id=PORT_01_STOP&params=" + kCode, "", {}},
      {"unknown word", "id=port_02_stop&params=" + kCode, "", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    RecordingPorts ports;
    CallerIdListener listener(gateway_, console_, clock_, ports,
                              [] { return std::string(kHost); });
    HttpResponse response;
    listener.Handle(Get(c.query), response);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, c.body);
    EXPECT_EQ(ports.Calls(), c.port_calls);
  }
  EXPECT_TRUE(db_.Calls().empty());
}

TEST_F(CallerIdListenerTest, ControlCodeFollowsTheClockWithoutLeadingZeros) {
  struct Case {
    const char* name;
    LocalDateTime now;
    std::string code;
  };
  const Case kCases[] = {
      {"morning in early March", {2026, 3, 5, 7, 30, 0, 0}, "753"},
      {"midnight on New Year", {2027, 1, 1, 0, 0, 0, 0}, "011"},
      {"late in December", {2026, 12, 31, 23, 59, 59, 0}, "233112"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClockCode(c.now), c.code);
    clock_.Set(c.now);
    RecordingPorts ports;
    CallerIdListener listener(gateway_, console_, clock_, ports,
                              [] { return std::string(kHost); });
    HttpResponse response;
    listener.Handle(Get("id=port_01_start&params=" + c.code + kHost), response);
    EXPECT_EQ(ports.Calls(), std::vector<std::string>{"start"});
  }
}

TEST_F(CallerIdListenerTest, AfterTheHourChangesOnlyTheNewHourIsAccepted) {
  clock_.Set({2026, 12, 11, 11, 0, 30, 0});
  Send(Get("id=port_01_stop&params=101112" + std::string(kHost)));
  EXPECT_TRUE(ports_.Calls().empty());
  auto response = Send(Get("id=port_01_stop&params=111112" + std::string(kHost)));
  EXPECT_EQ(ports_.Calls(), std::vector<std::string>{"stop"});
  EXPECT_NE(response.body.find("2026/12/11 11:00:30"), std::string::npos);
}

TEST_F(CallerIdListenerTest, AnUnreadableHostNameCountsAsEmpty) {
  CallerIdListener listener(gateway_, console_, clock_, ports_,
                            []() -> std::string { throw std::runtime_error("no name"); });
  HttpResponse response;
  listener.Handle(Get("id=port_01_stop&params=101112"), response);
  EXPECT_EQ(ports_.Calls(), std::vector<std::string>{"stop"});
}

TEST_F(CallerIdListenerTest, LogsTheIdAndNineRequestLinesWhileLogServiceIsTicked) {
  console_.Set(Switch::kLogService);
  auto request = Get("LineNumber=2&Number=09000000000");
  request.method = "GET";
  request.headers = {{"Host", "clinic:8085"},
                     {"User-Agent", "bridge/1.0"},
                     {"Referer", "http://x/"},
                     {"Authorization", "Basic " + Base64Encode("operator:se:cret")}};
  db_.Push(Table());
  Send(request);
  const std::vector<std::string> expected = {
      "10:15:021434", "10:15:02",  "GET",        "clinic:8085", "/?" + request.query,
      "bridge/1.0",   "http://x/", "operator",   "se:cret",     "-1",
  };
  EXPECT_EQ(console_.Lines(Memo::kService), expected);
}

TEST_F(CallerIdListenerTest, LogWithoutAuthorizationHasEmptyCredentials) {
  console_.Set(Switch::kLogService);
  Send(Get("id=nothing"));
  const std::vector<std::string> expected = {
      "10:15:02nothing", "10:15:02", "GET", "", "/?id=nothing", "", "", "", "", "0",
  };
  EXPECT_EQ(console_.Lines(Memo::kService), expected);
}

TEST_F(CallerIdListenerTest, NoLinesWhileLogServiceIsOff) {
  Send(Get("id=status"));
  EXPECT_TRUE(console_.Lines(Memo::kService).empty());
}

TEST_F(CallerIdListenerTest, DatabaseFailuresEscapeToTheErrorAnswer) {
  ScriptedAnswer failing;
  failing.error = "Could not find stored procedure";
  db_.Push(failing);
  HttpResponse response;
  EXPECT_THROW(listener_.Handle(Get("id=1430"), response), std::runtime_error);
  ScriptedAnswer none;
  none.no_result_set = true;
  db_.Push(none);
  EXPECT_THROW(listener_.Handle(Get("id=1430"), response), std::runtime_error);
}

TEST_F(CallerIdListenerTest, ShowResponseShowsTheParameterListOnlyBeforeTheCall) {
  console_.Set(Switch::kShowResponse);
  db_.Push(Table());
  Send(Get("id=1430&params='a'"));
  EXPECT_EQ(console_.Boxes(), std::vector<std::string>{"'a'"});
}

TEST_F(CallerIdListenerTest, FormBodiesCountLikeTheQuery) {
  HttpRequest r = Get("");
  r.method = "POST";
  r.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  r.body = "id=status";
  EXPECT_NE(Send(r).body.find("status    "), std::string::npos);
}

}  // namespace
}  // namespace veltra
