#include "host/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <thread>

#include "host/service_host.h"
#include "host_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::Exchange;
using testing::RecordingConsole;
using testing::Response;
using testing::SimpleRequest;
using testing::TempDir;

struct HttpServerTest : ::testing::Test {
  static inline TempDir* certs = nullptr;
  static void SetUpTestSuite() {
    certs = new TempDir;
    testing::MakeCertificates(certs->path());
  }
  static void TearDownTestSuite() { delete certs; }

  RecordingConsole console;
  TlsFiles files = CertificateFiles(certs->folder());

  std::unique_ptr<HttpListener> Listen(Handler handler, ListenerLimits limits = {}, int number = 2,
                                       std::uint16_t port = 0) {
    auto l = std::make_unique<HttpListener>(number, console, limits);
    if (handler) l->SetHandler(std::move(handler));
    l->Start(port, files);
    return l;
  }
};

const std::string kDefaultHead =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
    "Content-Length: 39";

TEST_F(HttpServerTest, DefaultAnswerByteForByte) {
  auto l = Listen(nullptr);
  Response get = Exchange(l->LocalPort(), SimpleRequest("GET", "/anything?x=1"));
  EXPECT_EQ(get.raw, kDefaultHead + "\r\n\r\n<HTML><BODY><B>200 OK</B></BODY></HTML>");
  Response head = Exchange(l->LocalPort(), SimpleRequest("HEAD", "/"));
  EXPECT_EQ(head.raw, kDefaultHead + "\r\n\r\n");
}

TEST_F(HttpServerTest, OnlyHeadGetAndPostReachTheHandler) {
  std::atomic<int> calls{0};
  auto l = Listen([&](const HttpRequest&, HttpResponse& res) {
    ++calls;
    res.content_type = "application/json";
    res.AddHeader("Access-Control-Allow-Origin", "*");
    res.body = "{}";
  });
  struct Case { const char* method; bool reaches; };
  const Case kCases[] = {{"GET", true},     {"POST", true},   {"HEAD", true},
                         {"PUT", false},    {"DELETE", false}, {"OPTIONS", false},
                         {"PATCH", false}};
  int expected_calls = 0;
  for (const auto& c : kCases) {
    Response r = Exchange(l->LocalPort(), SimpleRequest(c.method, "/"));
    if (c.reaches) ++expected_calls;
    EXPECT_EQ(calls, expected_calls) << c.method;
    EXPECT_EQ(r.status, 200) << c.method;
    if (c.reaches) {
      EXPECT_EQ(r.Header("Access-Control-Allow-Origin"), "*") << c.method;
      EXPECT_EQ(r.Header("Content-Type"), "application/json; charset=utf-8") << c.method;
    } else {
      EXPECT_EQ(r.body, std::string(kDefaultBody)) << c.method;
      EXPECT_EQ(r.Header("Access-Control-Allow-Origin"), "") << c.method;
      EXPECT_EQ(r.Header("Content-Type"), "text/html; charset=utf-8") << c.method;
    }
  }
}

TEST_F(HttpServerTest, ErrorAnswerKeepsWhatTheHandlerSet) {
  struct Case { const char* name; std::string content_type; std::string expected_type; };
  const Case kCases[] = {
      {"type set before the error", "application/json", "application/json; charset=utf-8"},
      {"no type set", "", "text/html; charset=utf-8"},
  };
  for (const auto& c : kCases) {
    auto l = Listen([&](const HttpRequest&, HttpResponse& res) {
      res.content_type = c.content_type;
      res.AddHeader("Access-Control-Allow-Origin", "*");
      res.body = "half an answer";
      throw std::runtime_error("Invalid object name 'sp_x'. \xD8\xA8");
    });
    Response r = Exchange(l->LocalPort(), SimpleRequest("POST", "/", "a=1"));
    EXPECT_EQ(r.raw.substr(0, 35), "HTTP/1.1 500 Internal Server Error\r") << c.name;
    EXPECT_EQ(r.body, "Invalid object name 'sp_x'. \xD8\xA8") << c.name;
    EXPECT_EQ(r.Header("Content-Type"), c.expected_type) << c.name;
    EXPECT_EQ(r.Header("Access-Control-Allow-Origin"), "*") << c.name;
  }
}

TEST_F(HttpServerTest, RequestAsTheHandlerSeesIt) {
  std::promise<HttpRequest> seen;
  auto l = Listen([&](const HttpRequest& req, HttpResponse& res) {
    seen.set_value(req);
    res.content_type = "text/plain";
    res.charset = "windows-1256";
    res.body = "ok";
  });
  Response r = Exchange(l->LocalPort(),
                        SimpleRequest("POST", "/a%20b/c?x=1&y=%41+2", "id=1&n=%D8%A8",
                                      "Content-Type: application/x-www-form-urlencoded\r\nX-Two: b\r\n"));
  HttpRequest req = seen.get_future().get();
  EXPECT_EQ(req.method, "POST");
  EXPECT_EQ(req.target, "/a%20b/c?x=1&y=%41+2");
  EXPECT_EQ(req.path, "/a%20b/c");
  EXPECT_EQ(req.query, "x=1&y=%41+2");
  EXPECT_EQ(req.body, "id=1&n=%D8%A8");
  EXPECT_EQ(req.ContentType(), "application/x-www-form-urlencoded");
  EXPECT_EQ(req.Header("x-two"), "b");
  EXPECT_EQ(req.peer_address, "127.0.0.1");
  EXPECT_EQ(req.local_port, l->LocalPort());
  ASSERT_GE(req.headers.size(), 3u);
  EXPECT_EQ(req.headers[0].first, "Host");
  EXPECT_EQ(r.Header("Content-Type"), "text/plain; charset=windows-1256");
  EXPECT_EQ(r.Header("Connection"), "close");
  EXPECT_EQ(r.body, "ok");
}

TEST_F(HttpServerTest, StatusWithoutContentGetsItsDefaultPage) {
  auto l = Listen([](const HttpRequest&, HttpResponse& res) { res.status = 404; });
  Response r = Exchange(l->LocalPort(), SimpleRequest("GET", "/"));
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.body, "<HTML><BODY><B>404 Not Found</B></BODY></HTML>");
}

class CountingSource : public BodySource {
 public:
  explicit CountingSource(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(char* buffer, std::size_t n) override {
    std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - at_));
    for (std::size_t i = 0; i < k; ++i) buffer[i] = static_cast<char>('a' + (at_ + i) % 26);
    at_ += k;
    return k;
  }

 private:
  std::uint64_t size_, at_ = 0;
};

TEST_F(HttpServerTest, StreamedBody) {
  const std::uint64_t size = 3 * 65536 + 17;
  auto l = Listen([&](const HttpRequest&, HttpResponse& res) {
    res.content_type = "image/jpeg";
    res.stream = std::make_shared<CountingSource>(size);
  });
  Response r = Exchange(l->LocalPort(), SimpleRequest("GET", "/f"));
  ASSERT_EQ(r.body.size(), size);
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(size));
  EXPECT_EQ(r.body.substr(0, 3), "abc");
  EXPECT_EQ(r.body[size - 1], static_cast<char>('a' + (size - 1) % 26));
  Response head = Exchange(l->LocalPort(), SimpleRequest("HEAD", "/f"));
  EXPECT_EQ(head.Header("Content-Length"), std::to_string(size));
  EXPECT_TRUE(head.body.empty());
}

TEST_F(HttpServerTest, LimitsAnswerClearlyAndServingGoesOn) {
  ListenerLimits limits;
  limits.max_header_bytes = 2048;
  limits.max_body_bytes = 1000;
  limits.read_timeout_seconds = 1;
  auto l = Listen([](const HttpRequest&, HttpResponse& res) { res.body = "served"; }, limits);
  struct Case { const char* name; std::string request; int status; };
  const Case kCases[] = {
      {"header too large",
       SimpleRequest("GET", "/", "", "X-Big: " + std::string(4000, 'h') + "\r\n"), 431},
      {"declared body too large", SimpleRequest("POST", "/", std::string(5000, 'b')), 413},
      {"chunked body too large",
       "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n800\r\n" +
           std::string(2048, 'c') + "\r\n0\r\n\r\n",
       413},
      {"not HTTP", "HELLO THERE\r\n\r\n", 400},
  };
  for (const auto& c : kCases) {
    Response r = Exchange(l->LocalPort(), c.request);
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.raw;
    EXPECT_EQ(Exchange(l->LocalPort(), SimpleRequest("GET", "/")).body, "served") << c.name;
  }
  // A client that sends half a request and then stays silent is dropped.
  Response silent = Exchange(l->LocalPort(), "GET / HTTP/1.1\r\nHost: x\r\n", false,
                             std::chrono::seconds(10));
  EXPECT_FALSE(silent.received);
  EXPECT_EQ(Exchange(l->LocalPort(), SimpleRequest("GET", "/")).body, "served");
}

TEST_F(HttpServerTest, ConnectionsOverTheLimitGet503) {
  ListenerLimits limits;
  limits.max_connections = 1;
  std::mutex m;
  std::condition_variable cv;
  bool release = false, entered = false;
  auto l = Listen([&](const HttpRequest& req, HttpResponse& res) {
    if (req.path == "/hold") {
      std::unique_lock lock(m);
      entered = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }
    res.body = "done";
  }, limits);
  auto held = std::async(std::launch::async,
                         [&] { return Exchange(l->LocalPort(), SimpleRequest("GET", "/hold")); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return entered; });
  }
  Response over = Exchange(l->LocalPort(), SimpleRequest("GET", "/"));
  EXPECT_EQ(over.status, 503);
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  EXPECT_EQ(held.get().body, "done");
  // The slot is free again once the held connection has ended.
  Response after;
  for (int i = 0; i < 50 && after.status != 200; ++i) {
    after = Exchange(l->LocalPort(), SimpleRequest("GET", "/"));
    if (after.status != 200) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(after.body, "done");
}

TEST_F(HttpServerTest, TlsExactlyOnPort443) {
  auto tls = std::make_unique<HttpListener>(1, console);
  try {
    tls->Start(443, files);
  } catch (const std::exception& e) {
    GTEST_SKIP() << "port 443 not available here: " << e.what();
  }
  auto plain = Listen(nullptr);
  Response secure = Exchange(443, SimpleRequest("GET", "/"), true);
  EXPECT_EQ(secure.status, 200);
  EXPECT_EQ(secure.body, std::string(kDefaultBody));
  EXPECT_FALSE(Exchange(443, SimpleRequest("GET", "/"), false, std::chrono::seconds(5)).status == 200);
  EXPECT_FALSE(Exchange(plain->LocalPort(), SimpleRequest("GET", "/"), true,
                        std::chrono::seconds(5)).received);
  EXPECT_EQ(Exchange(plain->LocalPort(), SimpleRequest("GET", "/")).status, 200);
  EXPECT_EQ(Exchange(443, SimpleRequest("GET", "/"), true).status, 200);
}

TEST_F(HttpServerTest, StartNeedsLoadableCertificateFiles) {
  struct Case { const char* name; TlsFiles files; };
  TempDir bad;
  testing::WriteFile(bad.path() / "garbage.crt", "-----BEGIN CERTIFICATE-----\nnope\n");
  const Case kCases[] = {
      {"missing key", {files.ca_bundle, files.certificate, (bad.path() / "none.crt").string()}},
      {"garbage certificate", {files.ca_bundle, (bad.path() / "garbage.crt").string(), files.private_key}},
      {"garbage CA bundle", {(bad.path() / "garbage.crt").string(), files.certificate, files.private_key}},
  };
  for (const auto& c : kCases) {
    HttpListener l(3, console);
    EXPECT_THROW(l.Start(0, c.files), std::runtime_error) << c.name;
    EXPECT_FALSE(l.Active()) << c.name;
  }
}

TEST_F(HttpServerTest, PortInUse) {
  auto first = Listen(nullptr);
  HttpListener second(4, console);
  try {
    second.Start(first->LocalPort(), files);
    FAIL() << "started twice on one port";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Could not bind socket. Address and port are already in use.");
  }
}

TEST_F(HttpServerTest, ConnectEventsOnListenerOneOnly) {
  console.Set(Switch::kLogConnect);
  auto one = Listen(nullptr, {}, 1);
  auto two = Listen(nullptr, {}, 2);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Exchange(one->LocalPort(), SimpleRequest("GET", "/")).status, 200);
  ASSERT_EQ(Exchange(two->LocalPort(), SimpleRequest("GET", "/")).status, 200);
  // The disconnect line follows the answer; wait for the connection threads.
  one->Stop();
  two->Stop();
  const std::vector<std::string> two_peers{"127.0.0.1", "127.0.0.1"};
  EXPECT_EQ(console.Lines(Memo::kConnect), two_peers);
  EXPECT_EQ(console.Lines(Memo::kDisconnect), two_peers);
  EXPECT_EQ(console.ConnectionLog(), two_peers);
}

TEST_F(HttpServerTest, NoConnectEventsWhileTheSwitchIsOff) {
  auto one = Listen(nullptr, {}, 1);
  ASSERT_EQ(Exchange(one->LocalPort(), SimpleRequest("GET", "/")).status, 200);
  one->Stop();
  EXPECT_TRUE(console.Lines(Memo::kConnect).empty());
  EXPECT_TRUE(console.ConnectionLog().empty());
}

TEST_F(HttpServerTest, StopClosesOpenConnectionsAndStartsAgain) {
  auto l = Listen([](const HttpRequest&, HttpResponse& res) { res.body = "again"; });
  const std::uint16_t port = l->LocalPort();
  auto idle = std::async(std::launch::async, [&] {
    return Exchange(port, "GET / HTTP/1.1\r\n", false, std::chrono::seconds(30));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  l->Stop();
  EXPECT_FALSE(l->Active());
  EXPECT_FALSE(idle.get().received);
  EXPECT_FALSE(Exchange(port, SimpleRequest("GET", "/")).received);
  l->Start(port, files);
  EXPECT_EQ(Exchange(port, SimpleRequest("GET", "/")).body, "again");
}

}  // namespace
}  // namespace veltra
