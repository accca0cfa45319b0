#include "files/link_listener.h"

#include <gtest/gtest.h>

#include "files/media_types.h"
#include "tests/files/files_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::FakeDatabase;
using testing::OneRow;
using testing::RecordingConsole;
using testing::ScriptedAnswer;
using testing::TempFolder;

ScriptedAnswer Resolved(const std::string& s_result, const Cell& s_message) {
  return OneRow({{"s_result", s_result}, {"s_message", s_message}, {"s_param", "0"}});
}

class LinkListenerTest : public ::testing::Test {
 protected:
  HttpResponse Send(const HttpRequest& request) {
    HttpResponse response;
    listener_.Handle(request, response);
    return response;
  }

  TempFolder folder_;
  FakeDatabase db_;
  RecordingConsole console_;
  db::StoredProcGateway gateway_{db_, console_};
  LinkListener listener_{gateway_, console_};
};

TEST_F(LinkListenerTest, AValidLinkSendsTheFileUnchangedWithItsMediaType) {
  const std::string bytes = testing::AwkwardBytes(70000) + "%PDF";
  const std::string file = folder_.File("report.pdf");
  testing::WriteBytes(file, bytes);
  db_.Push(Resolved("1", "  " + file + " \r\n"));

  auto response = Send(testing::Get("/abc123"));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.content_type, "application/pdf");
  EXPECT_EQ(testing::HeaderOf(response, "Access-Control-Allow-Origin"), "*");
  ASSERT_TRUE(response.stream);
  EXPECT_EQ(response.stream->Size(), bytes.size());
  EXPECT_EQ(testing::ReadAll(*response.stream, 1000), bytes);

  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_Exec_Proc");
  EXPECT_EQ(calls[0].At(1), "1415");
  EXPECT_EQ(calls[0].At(2), "'abc123'");
  EXPECT_EQ(calls[0].At(3), "0");
  EXPECT_EQ(calls[0].At(4), "0");
}

TEST_F(LinkListenerTest, TheLinkIsTheRawPathWithoutItsFirstCharacter) {
  struct Case {
    const char* name;
    HttpRequest request;
    std::string quoted_link;
  };
  auto with_query = testing::Get("/abc123", "x=1");
  auto posted = testing::FormPost("link=other", "y=2");
  posted.path = "/abc123";
  const Case kCases[] = {
      {"query string is not part of it", with_query, "'abc123'"},
      {"escapes stay unresolved", testing::Get("/a%20b%2Fc"), "'a%20b%2Fc'"},
      {"further slashes stay", testing::Get("/x/y/z"), "'x/y/z'"},
      {"single quotes are doubled", testing::Get("/it's"), "'it''s'"},
      {"root path gives an empty link", testing::Get("/"), "''"},
      {"body and query of a POST are ignored", posted, "'abc123'"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(Resolved("0", ""));
    db::StoredProcGateway gateway(db, console_);
    LinkListener listener(gateway, console_);
    HttpResponse response;
    listener.Handle(c.request, response);
    ASSERT_EQ(db.Calls().size(), 1u);
    EXPECT_EQ(db.Calls()[0].At(2), c.quoted_link);
  }
}

TEST_F(LinkListenerTest, UnusableResultsGetTheFixedErrorTexts) {
  const std::string existing = folder_.File("there.pdf");
  testing::WriteBytes(existing, "x");
  struct Case {
    const char* name;
    ScriptedAnswer answer;
    std::string_view body;
  };
  const Case kCases[] = {
      {"s_result 0 with an existing file", Resolved("0", existing), kInvalidLinkAnswer},
      {"negative s_result", Resolved("-3", existing), kInvalidLinkAnswer},
      {"blank s_message", Resolved("1", "   \t "), kInvalidLinkAnswer},
      {"NULL s_message", Resolved("1", std::nullopt), kInvalidLinkAnswer},
      {"file that does not exist", Resolved("1", folder_.File("gone.pdf")),
       kLinkFileMissingAnswer},
      {"a folder, not a file", Resolved("2", folder_.Text()), kLinkFileMissingAnswer},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    db_.Push(c.answer);
    auto response = Send(testing::Get("/abc"));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, c.body);
    EXPECT_FALSE(response.stream);
    EXPECT_EQ(response.content_type, "");
    EXPECT_TRUE(response.headers.empty());
  }
  EXPECT_EQ(kInvalidLinkAnswer,
            R"({"Error  ": "invalid link OR  invalid Result from 1415   check port "})");
  EXPECT_EQ(kLinkFileMissingAnswer,
            R"({"Error  ": "Not FileExists From Result Link 1415 chack path "})");
}

TEST_F(LinkListenerTest, ResultsThatAreNoIntegerFailTheRequest) {
  struct Case {
    const char* name;
    ScriptedAnswer answer;
  };
  ScriptedAnswer no_rows;
  no_rows.columns = {{"s_result", ColumnType::kText},
                     {"s_message", ColumnType::kText},
                     {"s_param", ColumnType::kText}};
  const Case kCases[] = {
      {"text", Resolved("yes", "x")},
      {"no rows", no_rows},
      {"missing field", OneRow({{"s_result", "1"}})},
      {"database error", testing::Failure("deadlock")},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    db_.Push(c.answer);
    HttpResponse response;
    EXPECT_THROW(listener_.Handle(testing::Get("/abc"), response), std::exception);
  }
}

TEST_F(LinkListenerTest, LogsThePathAndTheLinkWhileLogServiceIsTicked) {
  console_.Set(Switch::kLogService);
  db_.Push(Resolved("0", ""));
  Send(testing::Get("/abc%20d", "q=1"));
  EXPECT_EQ(console_.Lines(Memo::kService),
            (std::vector<std::string>{"/abc%20d", " ", " 1415 abc%20d", " "}));
}

TEST_F(LinkListenerTest, ShowResponseShowsTheQuotedLinkFirst) {
  console_.Set(Switch::kShowResponse);
  db_.Push(Resolved("0", ""));
  Send(testing::Get("/abc"));
  EXPECT_EQ(console_.Boxes(), (std::vector<std::string>{"'abc'"}));
}

TEST(MediaTypeTest, ByExtensionInLowerCase) {
  struct Case {
    const char* path;
    const char* type;
  };
  const Case kCases[] = {
      {"a.pdf", "application/pdf"},
      {"D:\\Files\\SCAN.PDF", "application/pdf"},
      {"x.jpg", "image/jpeg"},
      {"x.JPEG", "image/jpeg"},
      {"x.png", "image/png"},
      {"x.gif", "image/gif"},
      {"x.bmp", "image/bmp"},
      {"x.tif", "image/tiff"},
      {"x.tiff", "image/tiff"},
      {"x.webp", "image/webp"},
      {"x.svg", "image/svg+xml"},
      {"x.txt", "text/plain"},
      {"x.htm", "text/html"},
      {"x.html", "text/html"},
      {"x.css", "text/css"},
      {"x.js", "text/javascript"},
      {"x.json", "application/json"},
      {"x.xml", "application/xml"},
      {"x.csv", "text/csv"},
      {"x.zip", "application/zip"},
      {"x.rar", "application/vnd.rar"},
      {"x.7z", "application/x-7z-compressed"},
      {"x.mp3", "audio/mpeg"},
      {"x.mp4", "video/mp4"},
      {"x.wav", "audio/wav"},
      {"x.doc", "application/msword"},
      {"x.docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {"x.xls", "application/vnd.ms-excel"},
      {"x.xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {"x.ppt", "application/vnd.ms-powerpoint"},
      {"x.pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
      {"x.dcm", "application/dicom"},
      {"x.unknown", "application/octet-stream"},
      {"no_extension", "application/octet-stream"},
      {"/srv/v1.2/file", "application/octet-stream"},
      {"archive.tar.gz", "application/octet-stream"},
      {"trailing.", "application/octet-stream"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MediaTypeForPath(c.path), c.type) << c.path;
  }
}

TEST_F(LinkListenerTest, UnknownExtensionsAreOctetStreams) {
  const std::string file = folder_.File("data.xyz");
  testing::WriteBytes(file, "123");
  db_.Push(Resolved("1", file));
  auto response = Send(testing::Get("/k"));
  EXPECT_EQ(response.content_type, "application/octet-stream");
  EXPECT_EQ(testing::Body(response), "123");
}

}  // namespace
}  // namespace veltra
