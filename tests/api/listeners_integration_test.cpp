// Listeners 1 and 2 over real loopback sockets, in front of the gateway over ODBC against the
// private PostgreSQL cluster of scripts/test (test procedures in tests/db/sql). The test
// procedures record what they receive in call_log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include "api/listener1.h"
#include "api/listener2.h"
#include "api/unavailable_prescriber.h"
#include "db/connection.h"
#include "db/gateway.h"
#include "host/http_server.h"
#include "tests/api/api_harness.h"
#include "tests/api/self_signed_tls.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra::testing {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

http::response<http::string_body> Send(std::uint16_t port, const HttpRequest& request) {
  boost::asio::io_context io;
  tcp::socket socket(io);
  socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
  http::request<http::string_body> req;
  req.method_string(request.method);
  req.target(request.query.empty() ? "/" : "/?" + request.query);
  req.version(11);
  req.set(http::field::host, "127.0.0.1");
  for (const auto& [name, value] : request.headers) req.set(name, value);
  req.body() = request.body;
  req.prepare_payload();
  http::write(socket, req);
  beast::flat_buffer buffer;
  http::response<http::string_body> res;
  http::read(socket, buffer, res);
  return res;
}

class ListenersOverSockets : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"VELTRA_TEST_PG_HOST", "VELTRA_TEST_PG_PORT", "VELTRA_TEST_PG_USER",
                          "VELTRA_TEST_PG_PASSWORD", "VELTRA_TEST_PG_DB"}) {
      ASSERT_FALSE(Env(v).empty()) << v << " is not set: run these tests through scripts/test";
    }
    db::ConnectionSettings cs;
    cs.provider = "PostgreSQL";
    cs.server = Env("VELTRA_TEST_PG_HOST") + "," + Env("VELTRA_TEST_PG_PORT");
    cs.database = Env("VELTRA_TEST_PG_DB");
    cs.user = Env("VELTRA_TEST_PG_USER");
    cs.password = Env("VELTRA_TEST_PG_PASSWORD");
    database_ = db::MakeOdbcDatabase(cs);
    gateway_ = std::make_unique<db::StoredProcGateway>(*database_, console_);
    settings_.Coding_Mode = 2;
    listener1_ = std::make_unique<api::Listener1>(settings_, *gateway_, console_, clock_,
                                                  prescriber_);
    listener2_ = std::make_unique<api::Listener2>(settings_, *gateway_, console_, clock_);
    http1_ = std::make_unique<HttpListener>(1, console_);
    http1_->SetHandler([this](const HttpRequest& q, HttpResponse& r) { listener1_->Handle(q, r); });
    http1_->Start(0, tls_.Files());
    http2_ = std::make_unique<HttpListener>(2, console_);
    http2_->SetHandler([this](const HttpRequest& q, HttpResponse& r) { listener2_->Handle(q, r); });
    http2_->Start(0, tls_.Files());
  }
  void TearDown() override {
    if (http1_) http1_->Stop();
    if (http2_) http2_->Stop();
  }

  http::response<http::string_body> Post1(const Fields& fields) {
    return Send(http1_->LocalPort(), FormRequest(fields, settings_.Coding_Mode));
  }
  http::response<http::string_body> Post2(const Fields& fields) {
    return Send(http2_->LocalPort(), FormRequest(fields, 0));
  }

  // Arguments the database received in the call of `procname` that carried `marker`.
  std::string ArgsWith(const std::string& procname, const std::string& marker) {
    return gateway_->QueryEnvelope(
        "select array_to_string(args, '|', 'NULL') as args from call_log where procname = '" +
        procname + "' and '" + marker + "' = any(args) order by id");
  }

  SelfSignedTls tls_;
  TServiceSettings settings_;
  RecordingConsole console_;
  FakeClock clock_;
  api::UnavailablePrescriber prescriber_;
  std::unique_ptr<db::Database> database_;
  std::unique_ptr<db::StoredProcGateway> gateway_;
  std::unique_ptr<api::Listener1> listener1_;
  std::unique_ptr<api::Listener2> listener2_;
  std::unique_ptr<HttpListener> http1_;
  std::unique_ptr<HttpListener> http2_;
};

TEST_F(ListenersOverSockets, ServerDateComesBackCodedWithTheJsonHeaders) {
  const auto res = Post1({{"id", "1010"}});
  EXPECT_EQ(res.result_int(), 200);
  EXPECT_EQ(res[http::field::content_type], "application/json; charset=ASCII");
  EXPECT_EQ(res["Access-Control-Allow-Origin"], "*");
  EXPECT_EQ(res["Access-Control-Allow-Methods"], "*");
  EXPECT_EQ(res["Access-Control-Allow-Headers"],
            "Origin, X-Requested-With, Content-Type, Accept, Authorization");
  EXPECT_EQ(res["Cache-Control"], "no-cache");
  EXPECT_EQ(TransportDecode(res.body(), 2), "2026/01/02");
}

TEST_F(ListenersOverSockets, PermissionCheckReachesTheDispatcherAndConfirms) {
  const auto res = Post1({{"id", "0500"},
                          {"sp_param", "'kept','aside'"},
                          {"Login_User_Token", "it-perm-token"},
                          {"Login_User_cp", "42"}});
  EXPECT_EQ(TransportDecode(res.body(), 2),
            R"({"Data":[{"s_result":"1","s_message":"OK  0500","s_param":"0"}]})");
  EXPECT_EQ(ArgsWith("_exec_proc", "it-perm-token"),
            R"({"Data":[{"args":"0500|'0','0','0','0','0','0','0'|it-perm-token|42"}]})");
}

TEST_F(ListenersOverSockets, Request112WithoutAClientAnswersAnError) {
  const auto res = Post1({{"id", "112"}, {"sp_param", "{}"}, {"Login_User_Token", "it-112"}});
  const std::string answer = TransportDecode(res.body(), 2);
  EXPECT_NE(answer.find("\"s_result\":\"0\""), std::string::npos) << answer;
  EXPECT_NE(answer.find("not available"), std::string::npos) << answer;
}

TEST_F(ListenersOverSockets, ShortPersonListEscapesEverythingOutsideAscii) {
  const auto res = Post1({{"id", "1"}});
  EXPECT_EQ(TransportDecode(res.body(), 2),
            "{\"Data\":[{\"cp\":\"1\",\"np\":\"\\u0639\\u0644\\u06CC\"},{\"cp\":\"2\",\"np\":\" \"},"
            "{\"cp\":\"3\",\"np\":\"a\\\"b\\\\c\\/d\"}]}");
}

TEST_F(ListenersOverSockets, DocumentStoredOnListener1ReadsBackOnBothListeners) {
  const std::string content = "iVBORw0KGgo+/AAAANSUhEUgAA==";
  const auto stored = Post1({{"id", "2701"}, {"cp", "31"}, {"nfile", "scan.png"},
                             {"pfile", "it-doc"}, {"cfile", content},
                             {"Login_User_Token", "t"}, {"Login_User_cp", "9"}});
  const std::string envelope = TransportDecode(stored.body(), 2);
  const std::string marker = R"("s_param":")";
  const auto at = envelope.find(marker);
  ASSERT_NE(at, std::string::npos) << envelope;
  const std::string id_file =
      envelope.substr(at + marker.size(), envelope.find('"', at + marker.size()) - at - marker.size());

  const auto read1 = Post1({{"id", "2706"}, {"id_file", id_file}});
  EXPECT_EQ(TransportDecode(read1.body(), 2), content);
  const auto read2 = Post2({{"id", "2706"}, {"id_file", id_file}});
  EXPECT_EQ(read2.body(), content);
  EXPECT_EQ(read2[http::field::content_type], "application/json; charset=ASCII");
  EXPECT_EQ(read2["Access-Control-Allow-Origin"], "");
}

TEST_F(ListenersOverSockets, MissingDocumentGetsTheDefaultAnswer) {
  const auto res = Post1({{"id", "2706"}, {"id_file", "999999"}});
  EXPECT_EQ(res.result_int(), 200);
  EXPECT_EQ(res[http::field::content_type], "text/html; charset=utf-8");
  EXPECT_EQ(res.body(), kDefaultBody);
}

TEST_F(ListenersOverSockets, GetGetsTheDefaultAnswerWithoutCrossOriginHeaders) {
  const auto res = Send(http1_->LocalPort(), FormRequest({{"id", "1010"}}, 2, "GET"));
  EXPECT_EQ(res.result_int(), 200);
  EXPECT_EQ(res[http::field::content_type], "text/html; charset=utf-8");
  EXPECT_EQ(res["Access-Control-Allow-Origin"], "");
  EXPECT_EQ(res.body(), kDefaultBody);
}

TEST_F(ListenersOverSockets, DatabaseErrorsBecome500WithTheHeadersKept) {
  // The test database has no list procedures and no "_exec_proc_w_nu_pw".
  const auto res1 = Post1({{"id", "2371"}});
  EXPECT_EQ(res1.result_int(), 500);
  EXPECT_EQ(res1["Access-Control-Allow-Origin"], "*");
  EXPECT_FALSE(res1.body().empty());
  const auto res2 = Post2({{"id", "7"}});
  EXPECT_EQ(res2.result_int(), 500);
  EXPECT_FALSE(res2.body().empty());
}

}  // namespace
}  // namespace veltra::testing
