#include "eprescription/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/eprescription/fake_tamin_server.h"

namespace veltra {
namespace {

using testing::ClosedPort;
using testing::FakeReply;
using testing::FakeRequest;
using testing::FakeTaminServer;
using testing::TestPki;

const std::string kPersian = "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85";  // "salam" in Persian letters

class CurlHttpClientTest : public ::testing::Test {
 protected:
  FakeTaminServer server;
  CurlHttpClient http{TestPki::Get().ca_cert.string()};
};

TEST_F(CurlHttpClientTest, SendsTheLiteralHeadersAndBodyAndUndoesGzip) {
  server.SetHandler([](const FakeRequest&) {
    return FakeReply{201, "application/json", testing::Gzip("{\"ok\":\"" + kPersian + "\"}"),
                     "gzip", false};
  });
  const std::string body = "{ \"b\":1,  \"a\" : [ ] }\n";
  HttpReply reply = http.Post(server.Url("/interface/epresc/SendEpresc"),
                              {"Authorization: Bearer tok-1", "Content-Type: application/json",
                               "Accept-Encoding: UTF-8"},
                              body);
  EXPECT_EQ(reply.status, 201);
  EXPECT_EQ(reply.content_type, "application/json");
  EXPECT_EQ(reply.body, "{\"ok\":\"" + kPersian + "\"}");

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const FakeRequest& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/interface/epresc/SendEpresc");
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.All("Accept-Encoding"), std::vector<std::string>{"UTF-8"});
  EXPECT_EQ(r.All("Authorization"), std::vector<std::string>{"Bearer tok-1"});
  EXPECT_EQ(r.All("Content-Type"), std::vector<std::string>{"application/json"});
  EXPECT_TRUE(r.All("Expect").empty());
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
}

TEST_F(CurlHttpClientTest, SendsNoAcceptEncodingOfItsOwn) {
  server.SetHandler([](const FakeRequest&) { return FakeReply{200, "", "{}", {}, false}; });
  http.Post(server.Url("/x"), {"Content-Type: application/x-www-form-urlencoded; charset=utf-8"},
            "client_id=a&secret=b");
  auto r = server.Requests().at(0);
  EXPECT_TRUE(r.All("Accept-Encoding").empty());
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
}

TEST_F(CurlHttpClientTest, DecodesContentCodingsAndCharsets) {
  struct Case {
    const char* name;
    std::string content_type, content_encoding, raw, text;
  };
  const std::string plain = "{\"m\":\"" + kPersian + "\"}";
  const Case kCases[] = {
      {"no charset means utf-8", "application/json", "", plain, plain},
      {"identity coding", "application/json; charset=utf-8", "identity", plain, plain},
      {"gzip", "application/json", "gzip", testing::Gzip(plain), plain},
      {"x-gzip", "application/json", "x-gzip", testing::Gzip(plain), plain},
      {"deflate", "application/json", "deflate", testing::Deflate(plain), plain},
      {"windows-1256", "application/json; charset=windows-1256", "",
       "{\"m\":\"\xD3\xE1\xC7\xE3\"}", plain},
      {"quoted latin-1", "text/plain; charset=\"ISO-8859-1\"", "", "caf\xE9", "caf\xC3\xA9"},
      {"byte order mark dropped", "application/json", "", "\xEF\xBB\xBF{}", "{}"},
      {"malformed utf-8 replaced", "application/json", "", "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
  };
  for (const Case& c : kCases) {
    server.SetHandler([&](const FakeRequest&) {
      return FakeReply{200, c.content_type, c.raw, c.content_encoding, false};
    });
    HttpReply reply = http.Post(server.Url("/"), {}, "x");
    EXPECT_EQ(reply.body, c.text) << c.name;
  }
}

TEST_F(CurlHttpClientTest, ValidatesTheServerCertificate) {
  server.SetHandler([](const FakeRequest&) { return FakeReply{200, "", "{}", {}, false}; });
  CurlHttpClient system_store_only;  // the test CA is not in the system store
  try {
    system_store_only.Post(server.Url("/"), {}, "x");
    FAIL() << "an unknown CA was accepted";
  } catch (const HttpError& e) {
    EXPECT_NE(std::string(e.what()).find("SSL"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CurlHttpClientTest, FailuresCarryLibcurlsMessage) {
  struct Case {
    const char* name;
    std::string url;
    std::vector<std::string> headers;
    std::string expected_start;
  };
  const Case kCases[] = {
      {"unreachable", "https://127.0.0.1:" + std::to_string(ClosedPort()) + "/", {},
       "Couldn't connect to server"},
      {"empty url", "", {}, "URL using bad/illegal format or missing URL"},
      {"header injection", server.Url("/"), {"Authorization: Bearer a\r\nX-Evil: 1"},
       "Invalid character in HTTP header"},
  };
  for (const Case& c : kCases) {
    try {
      http.Post(c.url, c.headers, "x");
      ADD_FAILURE() << c.name << ": no error";
    } catch (const HttpError& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.expected_start.size()), c.expected_start)
          << c.name << ": " << e.what();
    }
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CurlHttpClientTest, ADroppedConnectionIsAnError) {
  server.SetHandler([](const FakeRequest&) { return FakeReply{200, "", "", {}, true}; });
  EXPECT_THROW(http.Post(server.Url("/"), {}, "x"), HttpError);
}

TEST_F(CurlHttpClientTest, GivesUpOnAnAnswerThatDoesNotCome) {
  server.SetHandler([](const FakeRequest&) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return FakeReply{200, "", "{}", {}, false};
  });
  CurlHttpClient impatient(TestPki::Get().ca_cert.string(), std::chrono::seconds(1));
  try {
    impatient.Post(server.Url("/"), {}, "x");
    FAIL() << "no time-out";
  } catch (const HttpError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Timeout was reached", 0), 0u) << e.what();
  }
}

TEST(ContentCoding, UnknownCodingAndCorruptDataAreErrors) {
  EXPECT_THROW(UndoContentCoding("br", "abc"), HttpError);
  EXPECT_THROW(UndoContentCoding("gzip", "not gzip"), HttpError);
  EXPECT_EQ(UndoContentCoding("identity, gzip", testing::Gzip("abc")), "abc");
  EXPECT_EQ(ReplyCharset("application/json;charset=UTF-8"), "utf-8");
  EXPECT_EQ(ReplyCharset("text/html"), "utf-8");
  EXPECT_THROW(DecodeReplyText("no-such-charset", "x"), HttpError);
}

}  // namespace
}  // namespace veltra
