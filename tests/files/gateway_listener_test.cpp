#include "files/gateway_listener.h"
#include "files/file_store.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <thread>

#include "tests/files/files_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::FakeDatabase;
using testing::FormPart;
using testing::OneRow;
using testing::RecordingConsole;
using testing::ScriptedAnswer;
using testing::TempFolder;

namespace fs = std::filesystem;

const std::string kSep(1, kFolderSeparator);

// The three-level folder of a person code below `root`, as relative path pieces.
fs::path Bucket(const fs::path& root, const std::string& l1, const std::string& l2,
                const std::string& l3) {
  return root / l1 / l2 / l3;
}

ScriptedAnswer UploadRow(const std::string& cp, const std::string& nfile,
                         const std::string& id_images = "88") {
  return OneRow({{"id_images", id_images}, {"cp", cp}, {"nfile", nfile}});
}

ScriptedAnswer Confirmation() { return OneRow({{"s_result", "1"}, {"s_message", "ok"}}); }
constexpr const char* kConfirmationEnvelope =
    "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"ok\"}]}";

HttpRequest Upload(const std::string& file_bytes, const std::string& token = "tok",
                   const std::string& user_cp = "5") {
  return testing::MultipartPost({{"API", std::nullopt, "1412", ""},
                                 {"Sp_params", std::nullopt, "'1'", ""},
                                 {"Login_User_Token", std::nullopt, token, ""},
                                 {"Login_User_cp", std::nullopt, user_cp, ""},
                                 {"File_Data", "blob.jpg", file_bytes, "image/jpeg"}});
}

class GatewayListenerTest : public ::testing::Test {
 protected:
  GatewayListenerTest() {
    root_ = (folder_.path() / "MyFiles").string();
    fs::create_directory(root_);
    settings_.MyFiles_Path = root_;
  }
  HttpResponse Send(const HttpRequest& request) {
    HttpResponse response;
    listener_.Handle(request, response);
    return response;
  }
  void ExpectJsonAnswerHeaders(const HttpResponse& response) {
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.content_type, "application/json");
    EXPECT_EQ(response.charset, "UTF-8");
    EXPECT_EQ(testing::HeaderOf(response, "Access-Control-Allow-Origin"), "*");
  }

  TempFolder folder_;
  std::string root_;
  TServiceSettings settings_;
  FakeDatabase db_;
  RecordingConsole console_;
  db::StoredProcGateway gateway_{db_, console_};
  GatewayListener listener_{gateway_, console_, settings_};
};

TEST_F(GatewayListenerTest, PostCallsExecProcOnceAndAnswersTheTypedArray) {
  ScriptedAnswer rows;
  rows.columns = {{"id", ColumnType::kNumber}, {"name", ColumnType::kText}};
  rows.rows = {{Cell("5"), Cell("abc")}};
  db_.Push(rows);

  auto response = Send(testing::FormPost(
      "API=sp_list&Login_User_Token=T1&Login_User_cp=42&Sp_params=%27a%27%2C%27b%27"));

  ExpectJsonAnswerHeaders(response);
  EXPECT_EQ(response.body, "[\r\n\r\n{\r\n\"id\": 5\r\n, \"name\": \"abc\"\r\n}\r\n\r\n]");
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_exec_proc");
  EXPECT_EQ(calls[0].mode, db::RunMode::kExecute);
  EXPECT_EQ(calls[0].Named("@ProcName"), "sp_list");
  EXPECT_EQ(calls[0].Named("@Token"), "T1");
  EXPECT_EQ(calls[0].Named("@LUCP"), "42");
  EXPECT_EQ(calls[0].Named("@Params"), "'a','b'");
  EXPECT_EQ(calls[0].inputs.size(), 4u);
}

TEST_F(GatewayListenerTest, OtherMethodsAreUnknownRequests) {
  for (const char* method : {"GET", "HEAD"}) {
    SCOPED_TRACE(method);
    auto request = testing::Get("/", "API=sp_list");
    request.method = method;
    auto response = Send(request);
    EXPECT_EQ(response.body, "Unknown Request");
    EXPECT_EQ(response.content_type, "");
    EXPECT_TRUE(response.headers.empty());
  }
  EXPECT_TRUE(db_.Calls().empty());
}

TEST_F(GatewayListenerTest, MissingOrEmptyApiCallsNothing) {
  struct Case {
    const char* name;
    HttpRequest request;
  };
  const Case kCases[] = {
      {"no API", testing::FormPost("Sp_params=1&Login_User_cp=3")},
      {"empty API", testing::FormPost("API=&Sp_params=1")},
      {"lower-case api", testing::FormPost("api=sp_list")},
      {"a JSON body", [] {
         auto r = testing::FormPost("{\"API\":\"sp_list\"}");
         r.headers = {{"Content-Type", "application/json"}};
         return r;
       }()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto response = Send(c.request);
    ExpectJsonAnswerHeaders(response);
    EXPECT_EQ(response.body, "{\"Error\": \"Parameter API doesn't exists\"}");
  }
  EXPECT_TRUE(db_.Calls().empty());
}

TEST_F(GatewayListenerTest, FirstApiCountsAndLaterCopiesOfTheOthersWin) {
  Send(testing::MultipartPost({{"API", std::nullopt, "first", ""},
                               {"Login_User_Token", std::nullopt, "t1", ""},
                               {"API", std::nullopt, "second", ""},
                               {"Login_User_Token", std::nullopt, "t2", ""},
                               {"Sp_params", std::nullopt, "p1", ""},
                               {"Sp_params", std::nullopt, "p2", ""}}));
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Named("@ProcName"), "first");
  EXPECT_EQ(calls[0].Named("@Token"), "t2");
  EXPECT_EQ(calls[0].Named("@Params"), "p2");
  EXPECT_EQ(calls[0].Named("@LUCP"), "");
}

TEST_F(GatewayListenerTest, EqualsSignsBeforeLineBreaksAreRemovedFromSpParams) {
  struct Case {
    const char* name;
    std::string sent;
    std::string passed;
  };
  const Case kCases[] = {
      {"equals before CR LF", "'a'=\r\n,'b'", "'a','b'"},
      {"several", "x=\r\ny=\r\nz", "xyz"},
      {"equals not followed by CR LF stay", "a=b=c", "a=b=c"},
      {"equals before a lone LF stays", "a=\nb", "a=\nb"},
      {"one pass only", "a==\r\n\r\nb", "a=\r\nb"},
      {"CR LF without equals stays", "a\r\nb", "a\r\nb"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db::StoredProcGateway gateway(db, console_);
    GatewayListener listener(gateway, console_, settings_);
    HttpResponse response;
    listener.Handle(testing::MultipartPost({{"API", std::nullopt, "sp_x", ""},
                                            {"Sp_params", std::nullopt, c.sent, ""}}),
                    response);
    auto calls = db.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Named("@Params"), c.passed);
  }
}

TEST_F(GatewayListenerTest, LogsTheFourValuesWhileLogServiceIsTicked) {
  console_.Set(Switch::kLogService);
  Send(testing::FormPost("API=sp_x&Sp_params=p&Login_User_Token=t&Login_User_cp=9"));
  EXPECT_EQ(console_.Lines(Memo::kService), (std::vector<std::string>{"sp_x", "p", "t", "9"}));
}

TEST_F(GatewayListenerTest, Upload1412StoresTheFileInTheBucketAndAnswers1413) {
  const std::string bytes = testing::AwkwardBytes(5000);
  db_.Push(UploadRow("1234567", "x.jpg", "88"));
  db_.Push(Confirmation());

  auto response = Send(Upload(bytes, "TOKEN", "77"));

  ExpectJsonAnswerHeaders(response);
  EXPECT_EQ(response.body, kConfirmationEnvelope);
  const fs::path stored =
      Bucket(root_, "1230000-1239999", "1234500-1234599", "1234567") / "x.jpg";
  EXPECT_EQ(testing::ReadBytes(stored), bytes);
  EXPECT_EQ(testing::FilesBelow(root_).size(), 1u);
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].procedure, "_Exec_Proc");
  EXPECT_EQ(calls[1].At(1), "1413");
  EXPECT_EQ(calls[1].At(2), "'1234567','88'");
  EXPECT_EQ(calls[1].At(3), "TOKEN");
  EXPECT_EQ(calls[1].At(4), "77");
  EXPECT_TRUE(console_.Boxes().empty());
}

TEST_F(GatewayListenerTest, UploadReadsTheLastRowAndReplacesAnExistingFile) {
  ScriptedAnswer rows;
  rows.columns = {{"id_images", ColumnType::kNumber},
                  {"cp", ColumnType::kNumber},
                  {"nfile", ColumnType::kText}};
  rows.rows = {{Cell("1"), Cell("20"), Cell("first.jpg")}, {Cell("2"), Cell("21"), Cell("last.jpg")}};
  db_.Push(rows);
  db_.Push(Confirmation());
  const fs::path stored = Bucket(root_, "0-9999", "0-99", "21") / "last.jpg";
  fs::create_directories(stored.parent_path());
  testing::WriteBytes(stored.string(), "an older, longer file");

  Send(Upload("new"));

  EXPECT_EQ(testing::ReadBytes(stored), "new");
  EXPECT_EQ(testing::FilesBelow(root_).size(), 1u);
  EXPECT_EQ(db_.Calls().at(1).At(2), "'21','2'");
}

TEST_F(GatewayListenerTest, ResultsThatNameNoFileAreAnsweredAsRowsOnly) {
  struct Case {
    const char* name;
    HttpRequest request;
    ScriptedAnswer answer;
  };
  ScriptedAnswer no_rows;
  no_rows.columns = {{"cp", ColumnType::kText}, {"nfile", ColumnType::kText}};
  ScriptedAnswer no_result_set;
  no_result_set.no_result_set = true;
  const Case kCases[] = {
      {"1412 without nfile", Upload("x"), OneRow({{"cp", "5"}, {"id_images", "1"}})},
      {"1412 without cp", Upload("x"), OneRow({{"nfile", "a.jpg"}, {"id_images", "1"}})},
      {"1412 without rows", Upload("x"), no_rows},
      {"1412 without a result set", Upload("x"), no_result_set},
      {"another request naming a file",
       testing::MultipartPost({{"API", std::nullopt, "1411", ""},
                               {"File_Data", "a.jpg", "bytes", ""}}),
       UploadRow("5", "a.jpg")},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(c.answer);
    db::StoredProcGateway gateway(db, console_);
    GatewayListener listener(gateway, console_, settings_);
    HttpResponse response;
    listener.Handle(c.request, response);
    // The answer is the typed array of what came back, written as valid JSON.
    EXPECT_EQ(response.body.front(), '[');
    EXPECT_NO_THROW(boost::json::parse(response.body)) << response.body;
    EXPECT_EQ(db.Calls().size(), 1u);
  }
  EXPECT_TRUE(testing::FilesBelow(root_).empty());
}

TEST_F(GatewayListenerTest, BucketFolderNamesAndCreatesThreeLevels) {
  struct Case {
    const char* name;
    std::int32_t n;
    std::string level1, level2;
  };
  const Case kCases[] = {
      {"seven digits", 1234567, "1230000-1239999", "1234500-1234599"},
      {"negative rounds towards zero", -5, "0-9999", "0-99"},
      {"zero", 0, "0-9999", "0-99"},
      {"bucket edges", 10099, "10000-19999", "10000-10099"},
      {"large negative", -12345, "-10000--1", "-12300--12201"},
      {"highest code", 2147483647, "2147480000-2147489999", "2147483600-2147483699"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string folder = BucketFolder(console_, root_, c.n);
    const std::string expected =
        root_ + kSep + c.level1 + kSep + c.level2 + kSep + std::to_string(c.n);
    EXPECT_EQ(folder, expected);
    EXPECT_TRUE(fs::is_directory(expected));
    // A second call finds what the first made.
    EXPECT_EQ(BucketFolder(console_, root_, c.n), expected);
  }
  EXPECT_TRUE(console_.Boxes().empty());
}

TEST_F(GatewayListenerTest, BucketFolderRefusesRootsThatCannotHoldIt) {
  struct Case {
    const char* name;
    std::string root;
    std::string notice_start;
  };
  const Case kCases[] = {
      {"three characters", "C:\\", "): Set Config File a valid path for main root  "},
      {"empty", "", "): Set Config File a valid path for main root  "},
      {"short before a zero character", std::string("ab\0cdefgh", 9),
       "): Set Config File a valid path for main root  "},
      {"root that does not exist", (folder_.path() / "absent").string(),
       ":( There is  no folder \n\r\n\r"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    RecordingConsole console;
    EXPECT_EQ(BucketFolder(console, c.root, 7), "");
    ASSERT_EQ(console.Boxes().size(), 1u);
    EXPECT_EQ(console.Boxes()[0].rfind(c.notice_start, 0), 0u) << console.Boxes()[0];
  }
  EXPECT_FALSE(fs::exists(folder_.path() / "absent"));
}

TEST_F(GatewayListenerTest, UploadFileNamesNeverLeaveTheBucket) {
  struct Case {
    const char* name;
    std::string nfile;
    std::string stored_as;  // empty: refused
  };
  const Case kCases[] = {
      {"windows folders dropped", "D:\\images\\x.jpg", "x.jpg"},
      {"climbing with backslashes", "..\\..\\..\\evil.jpg", "evil.jpg"},
      {"climbing with slashes", "../../evil2.jpg", "evil2.jpg"},
      {"drive-relative", "C:y.jpg", "y.jpg"},
      {"dot-dot alone", "..", ""},
      {"dot alone", ".", ""},
      {"empty", "", ""},
      {"ends in a separator", "folder/", ""},
      {"dot-dot after a folder", "a\\..", ""},
  };
  const fs::path bucket = Bucket(root_, "0-9999", "0-99", "5");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(UploadRow("5", c.nfile));
    db.Push(Confirmation());
    db::StoredProcGateway gateway(db, console_);
    GatewayListener listener(gateway, console_, settings_);
    HttpResponse response;
    listener.Handle(Upload("payload"), response);
    if (c.stored_as.empty()) {
      EXPECT_EQ(response.body.rfind("{\"Error\": \"", 0), 0u) << response.body;
      EXPECT_EQ(db.Calls().size(), 1u);
    } else {
      EXPECT_EQ(response.body, kConfirmationEnvelope);
      EXPECT_EQ(testing::ReadBytes(bucket / c.stored_as), "payload");
    }
  }
  // Nothing anywhere else below the test folder, the bucket holds only the accepted names.
  for (const auto& file : testing::FilesBelow(folder_.path())) {
    EXPECT_EQ(fs::path(file).parent_path(), fs::path("MyFiles") / "0-9999" / "0-99" / "5")
        << file;
  }
}

TEST_F(GatewayListenerTest, UploadFailuresAnswerTheErrorFormAndStoreNothing) {
  struct Case {
    const char* name;
    std::string root;
    HttpRequest request;
    ScriptedAnswer row;
    std::string message;
  };
  const std::string absent_root = (folder_.path() / "absent").string();
  const Case kCases[] = {
      {"no File_Data part", root_,
       testing::MultipartPost({{"API", std::nullopt, "1412", ""}, {"other", "a.jpg", "x", ""}}),
       UploadRow("5", "a.jpg"), "Parameter File_Data doesn't exists"},
      {"cp not an integer", root_, Upload("x"), UploadRow("abc", "a.jpg"),
       "'abc' is not a valid integer value"},
      {"id_images missing", root_, Upload("x"), OneRow({{"cp", "5"}, {"nfile", "a.jpg"}}),
       "Field 'id_images' not found"},
      {"root too short for a bucket", "C:\\", Upload("x"), UploadRow("5", "a.jpg"),
       "There is no folder for cp 5 under MyFiles_Path"},
      {"root missing", absent_root, Upload("x"), UploadRow("5", "a.jpg"),
       "There is no folder for cp 5 under MyFiles_Path"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(c.row);
    db::StoredProcGateway gateway(db, console_);
    TServiceSettings settings;
    settings.MyFiles_Path = c.root;
    GatewayListener listener(gateway, console_, settings);
    HttpResponse response;
    listener.Handle(c.request, response);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, ErrorForm(c.message));
    EXPECT_EQ(db.Calls().size(), 1u);
  }
  EXPECT_TRUE(testing::FilesBelow(folder_.path()).empty());
  EXPECT_FALSE(fs::exists(absent_root));
}

TEST_F(GatewayListenerTest, MissingRootAndBucketAreReportedToTheOperator) {
  const std::string absent_root = (folder_.path() / "absent").string();
  settings_.MyFiles_Path = absent_root;
  db_.Push(UploadRow("5", "a.jpg"));
  Send(Upload("x"));
  const auto boxes = console_.Boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0], " not DirectoryExists  MyFiles_Path   " + absent_root);
  const std::string level3 = absent_root + kSep + "0-9999" + kSep + "0-99" + kSep + "5";
  EXPECT_EQ(boxes[1], ":( There is  no folder \n\r\n\r" + level3);
  EXPECT_EQ(boxes[2], "not DirectoryExists\n\r");
}

TEST_F(GatewayListenerTest, ErrorsBecomeTheErrorFormAsValidJson) {
  struct Case {
    const char* name;
    std::string message;
  };
  const Case kCases[] = {
      {"plain", "Could not find stored procedure '_exec_proc'."},
      {"double quotes", "Incorrect syntax near \"x\"."},
      {"backslash and line breaks", "C:\\data\r\nline two\ttab"},
      {"other control characters", std::string("bell\x07 and nul\x01")},
      {"not UTF-8", "bad \xC3\x28 byte"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    db_.Push(testing::Failure(c.message));
    auto response = Send(testing::FormPost("API=sp_x"));
    ExpectJsonAnswerHeaders(response);
    EXPECT_EQ(response.body.rfind("{\"Error\": \"", 0), 0u);
    boost::json::value parsed;
    ASSERT_NO_THROW(parsed = boost::json::parse(response.body)) << response.body;
    if (IsValidUtf8(c.message)) {
      EXPECT_EQ(parsed.at("Error").as_string(), c.message);
    }
  }
}

TEST_F(GatewayListenerTest, ErrorFormKeepsPlainMessagesAsTheyAre) {
  EXPECT_EQ(ErrorForm("Timeout expired"), "{\"Error\": \"Timeout expired\"}");
}

TEST_F(GatewayListenerTest, WritingTheRowsCanFailToo) {
  ScriptedAnswer rows;
  rows.columns = {{"when", ColumnType::kDateTime}};
  rows.rows = {{std::nullopt}};
  db_.Push(rows);
  auto response = Send(testing::FormPost("API=sp_x"));
  EXPECT_EQ(response.body.rfind("{\"Error\": \"", 0), 0u) << response.body;
  EXPECT_NO_THROW(boost::json::parse(response.body));
}

TEST_F(GatewayListenerTest, A1413FailureAfterTheSaveKeepsTheFile) {
  db_.Push(UploadRow("5", "kept.jpg"));
  db_.Push(testing::Failure("1413 failed"));
  auto response = Send(Upload("bytes"));
  EXPECT_EQ(response.body, ErrorForm("1413 failed"));
  EXPECT_EQ(testing::ReadBytes(Bucket(root_, "0-9999", "0-99", "5") / "kept.jpg"), "bytes");
}

TEST_F(GatewayListenerTest, ConcurrentUploadsForDifferentPersonsLoseNothing) {
  constexpr int kPersons = 16;
  // Codes in one level-1 and level-2 bucket, so the requests race to create shared folders.
  auto person_code = [](int i) { return std::to_string(1234500 + i); };
  auto content = [](const std::string& cp) { return testing::AwkwardBytes(2000) + cp; };
  testing::RespondingDatabase db([&](const testing::RecordedCall& call) {
    if (call.procedure == "_exec_proc") {
      const std::string cp = call.Named("@LUCP");
      return UploadRow(cp, "photo_" + cp + ".jpg", "id" + cp);
    }
    return OneRow({{"s_result", "1"}, {"s_param", call.At(2)}});
  });
  db::StoredProcGateway gateway(db, console_);
  GatewayListener listener(gateway, console_, settings_);
  std::vector<std::string> answers(kPersons);
  std::vector<std::thread> threads;
  for (int i = 0; i < kPersons; ++i) {
    threads.emplace_back([&, i] {
      const std::string cp = person_code(i);
      HttpResponse response;
      listener.Handle(Upload(content(cp), "tok", cp), response);
      answers[i] = response.body;
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kPersons; ++i) {
    const std::string cp = person_code(i);
    SCOPED_TRACE(cp);
    EXPECT_EQ(testing::ReadBytes(Bucket(root_, "1230000-1239999", "1234500-1234599", cp) /
                                ("photo_" + cp + ".jpg")),
              content(cp));
    EXPECT_EQ(answers[i], "{\"Data\":[{\"s_result\":\"1\",\"s_param\":\"'" + cp + "','id" +
                              cp + "'\"}]}");
  }
  EXPECT_EQ(testing::FilesBelow(root_).size(), static_cast<std::size_t>(kPersons));
  EXPECT_TRUE(console_.Boxes().empty());
}

}  // namespace
}  // namespace veltra
