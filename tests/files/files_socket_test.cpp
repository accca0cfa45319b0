// The file services and listener 5 behind real HTTP listeners on loopback sockets, so the
// headers, default answers, error answers and streamed bodies are seen as a client sees them.
// The database is scripted.
#include <gtest/gtest.h>

#include <memory>

#include <boost/asio.hpp>
#include <boost/beast.hpp>

#include "callerid/callerid_listener.h"
#include "files/gateway_listener.h"
#include "files/image_listener.h"
#include "files/link_listener.h"
#include "files/upload_listener.h"
#include "host/http_server.h"
#include "tests/api/self_signed_tls.h"
#include "tests/files/files_test_support.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace {

using testing::OneRow;

namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

struct Answer {
  int status = 0;
  std::string body;
  http::fields headers;
  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : std::string(it->value());
  }
};

// One request written as raw text to 127.0.0.1:port; the answer read until it is complete.
Answer Exchange(std::uint16_t port, const std::string& raw_request) {
  boost::asio::io_context io;
  tcp::socket socket(io);
  socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
  boost::asio::write(socket, boost::asio::buffer(raw_request));
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64u << 20);
  http::read(socket, buffer, parser);
  auto message = parser.release();
  Answer a;
  a.status = static_cast<int>(message.result_int());
  a.body = std::move(message.body());
  for (const auto& field : message) a.headers.insert(field.name_string(), field.value());
  return a;
}

std::string SimpleRequest(const std::string& method, const std::string& target,
                          const std::string& body = "", const std::string& extra_headers = "") {
  return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
         extra_headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class NoPorts : public PortControl {
 public:
  void StopListener1() override {}
  void StartListener1() override {}
};

class FilesOverSockets : public ::testing::Test {
 protected:
  // Serves `handler` on a fresh listener at a free port; returns the port.
  template <typename Listener>
  std::uint16_t Serve(Listener& listener, int number) {
    auto http = std::make_unique<HttpListener>(number, console_);
    http->SetHandler([&listener](const HttpRequest& q, HttpResponse& r) { listener.Handle(q, r); });
    http->Start(0, tls_.Files());
    const std::uint16_t port = http->LocalPort();
    listeners_.push_back(std::move(http));
    return port;
  }
  void TearDown() override {
    for (auto& l : listeners_) l->Stop();
  }

  testing::SelfSignedTls tls_;
  testing::TempFolder folder_;
  testing::FakeDatabase db_;
  testing::RecordingConsole console_;
  testing::FakeClock clock_;
  db::StoredProcGateway gateway_{db_, console_};
  std::vector<std::unique_ptr<HttpListener>> listeners_;
};

std::string MultipartRequest(const std::vector<testing::FormPart>& parts) {
  return SimpleRequest("POST", "/", testing::MultipartBody(parts),
                       std::string("Content-Type: multipart/form-data; boundary=") +
                           testing::kBoundary + "\r\n");
}

TEST_F(FilesOverSockets, ImageIsStreamedAsOneLineOfBase64) {
  ImageListener image(gateway_, console_, clock_);
  const auto port = Serve(image, 4);
  const std::string bytes = testing::AwkwardBytes(300000);
  const std::string file = folder_.File("big.jpg");
  testing::WriteBytes(file, bytes);
  db_.Push(OneRow({{"per_file", file}}));

  auto response = Exchange(port, SimpleRequest("GET", "/?cp=1&id_images=2&lucp=3"));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.Header("Content-Type"), "application/json; charset=ASCII");
  EXPECT_EQ(response.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(response.body, Base64Encode(bytes));
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(Base64Encode(bytes).size()));
}

TEST_F(FilesOverSockets, MissingImageGetsTheDefaultPageWithCors) {
  ImageListener image(gateway_, console_, clock_);
  const auto port = Serve(image, 4);
  db_.Push(OneRow({{"per_file", folder_.File("none.jpg")}}));
  auto response = Exchange(port, SimpleRequest("GET", "/?cp=1"));
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(response.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(response.body, kDefaultBody);
}

TEST_F(FilesOverSockets, ImageDatabaseErrorIsA500InJsonUtf8) {
  ImageListener image(gateway_, console_, clock_);
  const auto port = Serve(image, 4);
  db_.Push(testing::Failure("Login failed for user"));
  auto response = Exchange(port, SimpleRequest("GET", "/?cp=1"));
  EXPECT_EQ(response.status, 500);
  EXPECT_EQ(response.Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(response.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(response.body, "Login failed for user");
}

TEST_F(FilesOverSockets, UploadStoresBinaryBytesExactly) {
  UploadListener upload(gateway_);
  const auto port = Serve(upload, 3);
  const std::string bytes = testing::AwkwardBytes(100000);
  const std::string destination = folder_.File("per_15.jpg");
  db_.Push(OneRow({{"per_path_with_name", destination}}));
  db_.Push(OneRow({{"s_result", "1"}}));

  auto response = Exchange(port, MultipartRequest({{"CP", std::nullopt, "15", ""},
                                                   {"image", "p.jpg", bytes, "image/jpeg"}}));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, kDefaultBody);
  EXPECT_EQ(response.Header("Access-Control-Allow-Origin"), "");
  EXPECT_EQ(testing::ReadBytes(destination), bytes);
}

TEST_F(FilesOverSockets, GatewayUploadAndItsFixedAnswers) {
  TServiceSettings settings;
  settings.MyFiles_Path = (folder_.path() / "MyFiles").string();
  std::filesystem::create_directory(settings.MyFiles_Path);
  GatewayListener gateway_listener(gateway_, console_, settings);
  const auto port = Serve(gateway_listener, 6);

  auto get = Exchange(port, SimpleRequest("GET", "/?API=1412"));
  EXPECT_EQ(get.body, "Unknown Request");
  EXPECT_EQ(get.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(get.Header("Access-Control-Allow-Origin"), "");

  const std::string bytes = testing::AwkwardBytes(50000);
  db_.Push(OneRow({{"id_images", "88"}, {"cp", "1234567"}, {"nfile", "x.jpg"}}));
  db_.Push(OneRow({{"s_result", "1"}}));
  auto post = Exchange(port, MultipartRequest({{"API", std::nullopt, "1412", ""},
                                               {"File_Data", "x.jpg", bytes, "image/jpeg"}}));
  EXPECT_EQ(post.status, 200);
  EXPECT_EQ(post.Header("Content-Type"), "application/json; charset=UTF-8");
  EXPECT_EQ(post.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(post.body, "{\"Data\":[{\"s_result\":\"1\"}]}");
  EXPECT_EQ(testing::ReadBytes(std::filesystem::path(settings.MyFiles_Path) / "1230000-1239999" /
                              "1234500-1234599" / "1234567" / "x.jpg"),
            bytes);

  db_.Push(testing::Failure("Procedure \"_exec_proc\" failed"));
  auto failed = Exchange(port, SimpleRequest("POST", "/", "API=sp_x",
                                             "Content-Type: application/x-www-form-urlencoded\r\n"));
  EXPECT_EQ(failed.status, 200);
  EXPECT_EQ(failed.body, "{\"Error\": \"Procedure \\\"_exec_proc\\\" failed\"}");
}

TEST_F(FilesOverSockets, LinkSendsTheFileWithItsLengthAndType) {
  LinkListener link(gateway_, console_);
  const auto port = Serve(link, 7);
  const std::string bytes = testing::AwkwardBytes(120000);
  const std::string file = folder_.File("scan.PNG");
  testing::WriteBytes(file, bytes);
  db_.Push(OneRow({{"s_result", "1"}, {"s_message", file}, {"s_param", "0"}}));

  auto response = Exchange(port, SimpleRequest("GET", "/ab%20c?x=1"));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.Header("Content-Type"), "image/png");
  EXPECT_EQ(response.Header("Access-Control-Allow-Origin"), "*");
  EXPECT_EQ(response.Header("Content-Length"), std::to_string(bytes.size()));
  EXPECT_EQ(response.body, bytes);
  EXPECT_EQ(db_.Calls().at(0).At(2), "'ab%20c'");
}

TEST_F(FilesOverSockets, CallerIdStatusIsSentAsHtmlText) {
  NoPorts ports;
  CallerIdListener callerid(gateway_, console_, clock_, ports, [] { return std::string("PC"); });
  const auto port = Serve(callerid, 5);
  auto status = Exchange(port, SimpleRequest("GET", "/?id=status"));
  EXPECT_EQ(status.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(status.body, std::string(kStatusOpening) + "PC   2026/12/11 10:15:02    101112" +
                             std::string(kStatusClosing));
  auto wrong = Exchange(port, SimpleRequest("GET", "/?id=port_01_stop&params=0"));
  EXPECT_EQ(wrong.body, kDefaultBody);
}

}  // namespace
}  // namespace veltra
