#include "files/upload_listener.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/files/files_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::FakeDatabase;
using testing::FormPart;
using testing::OneRow;
using testing::RecordingConsole;
using testing::TempFolder;

constexpr const char* kPathProc = "_9703_images_path_and_file_name_for_per_new";
constexpr const char* kInsertProc = "_9704_images_insert_from_exe_wb_service";

class UploadListenerTest : public ::testing::Test {
 protected:
  HttpResponse Send(const HttpRequest& request) {
    HttpResponse response;
    listener_.Handle(request, response);
    return response;
  }
  void AnswerPath(const std::string& path) {
    db_.Push(OneRow({{"per_path_with_name", path}}));
    db_.Push(OneRow({{"s_result", "1"}}));
  }

  TempFolder folder_;
  FakeDatabase db_;
  RecordingConsole console_;
  db::StoredProcGateway gateway_{db_, console_};
  UploadListener listener_{gateway_};
};

void ExpectUntouched(const HttpResponse& response) {
  EXPECT_EQ(response.status, 200);
  EXPECT_TRUE(response.body.empty());
  EXPECT_FALSE(response.stream);
  EXPECT_TRUE(response.content_type.empty());
  EXPECT_TRUE(response.headers.empty());
}

TEST_F(UploadListenerTest, StoresTheExactBytesWhereTheDatabaseSaysAndReportsTheName) {
  const std::string bytes = testing::AwkwardBytes();
  const std::string destination = folder_.File("per_15_1.jpg");
  AnswerPath(destination);

  auto response = Send(testing::MultipartPost(
      {{"CP", std::nullopt, "15", ""}, {"image", "photo.jpg", bytes, "image/jpeg"}}));

  ExpectUntouched(response);
  EXPECT_EQ(testing::ReadBytes(destination), bytes);
  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].procedure, kPathProc);
  EXPECT_EQ(calls[0].mode, db::RunMode::kOpen);
  EXPECT_EQ(calls[0].Named("cp"), "15");
  EXPECT_EQ(calls[0].Named("file_name"), "1");
  EXPECT_EQ(calls[0].Named("lucp"), "1");
  EXPECT_EQ(calls[1].procedure, kInsertProc);
  EXPECT_EQ(calls[1].Named("cp"), "15");
  EXPECT_EQ(calls[1].Named("nfile"), "per_15_1.jpg");
  EXPECT_EQ(calls[1].Named("pfile"), "");
  EXPECT_EQ(calls[1].Named("cfile"), "");
  EXPECT_EQ(calls[1].Named("lucp"), "0");
  ASSERT_EQ(calls[1].inputs.size(), 5u);
}

TEST_F(UploadListenerTest, RequestsWithoutAFilePartStoreNothingAndCallNothing) {
  struct Case {
    const char* name;
    HttpRequest request;
  };
  const Case kCases[] = {
      {"file field left empty",
       testing::MultipartPost({{"CP", std::nullopt, "15", ""}, {"image", "", "", ""}})},
      {"value parts only", testing::MultipartPost({{"CP", std::nullopt, "15", ""}})},
      {"form-encoded post", testing::FormPost("CP=15&image=abc")},
      {"get", testing::Get("/", "CP=15")},
      {"multipart without boundary", [] {
         auto r = testing::MultipartPost({{"image", "a.jpg", "x", ""}});
         r.headers = {{"Content-Type", "multipart/form-data"}};
         return r;
       }()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ExpectUntouched(Send(c.request));
  }
  EXPECT_TRUE(db_.Calls().empty());
  EXPECT_TRUE(testing::FilesBelow(folder_.path()).empty());
}

TEST_F(UploadListenerTest, OnlyTheLastFilePartIsStored) {
  const std::string destination = folder_.File("kept.bin");
  AnswerPath(destination);
  Send(testing::MultipartPost({{"first", "a.bin", "first file", ""},
                               {"CP", std::nullopt, "7", ""},
                               {"second", "b.bin", "second file", ""}}));
  EXPECT_EQ(testing::ReadBytes(destination), "second file");
  EXPECT_EQ(db_.Calls().size(), 2u);
}

TEST_F(UploadListenerTest, PersonCodeIsTheLastPartNamedExactlyCP) {
  struct Case {
    const char* name;
    std::vector<FormPart> values;
    std::string expected_cp;
  };
  const Case kCases[] = {
      {"lower-case cp is not the code", {{"cp", std::nullopt, "15", ""}}, ""},
      {"no code at all", {}, ""},
      {"the last CP counts", {{"CP", std::nullopt, "1", ""}, {"CP", std::nullopt, "2", ""}}, "2"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db::StoredProcGateway gateway(db, console_);
    UploadListener listener(gateway);
    db.Push(OneRow({{"per_path_with_name", folder_.File("p.jpg")}}));
    db.Push(OneRow({{"s_result", "1"}}));
    auto parts = c.values;
    parts.push_back({"file", "p.jpg", "bytes", ""});
    HttpResponse response;
    listener.Handle(testing::MultipartPost(parts), response);
    auto calls = db.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Named("cp"), c.expected_cp);
    EXPECT_EQ(calls[1].Named("cp"), c.expected_cp);
  }
}

TEST_F(UploadListenerTest, AnEmptyDestinationStoresNothingAndSkipsTheSecondCall) {
  db_.Push(OneRow({{"per_path_with_name", std::nullopt}}));
  ExpectUntouched(Send(testing::MultipartPost({{"f", "a.jpg", "x", ""}})));
  EXPECT_EQ(db_.Calls().size(), 1u);
  EXPECT_TRUE(testing::FilesBelow(folder_.path()).empty());
}

TEST_F(UploadListenerTest, AnExistingFileIsReplaced) {
  const std::string destination = folder_.File("old.jpg");
  testing::WriteBytes(destination, "an older and longer content");
  AnswerPath(destination);
  Send(testing::MultipartPost({{"f", "new.jpg", "new", ""}}));
  EXPECT_EQ(testing::ReadBytes(destination), "new");
}

TEST_F(UploadListenerTest, FailuresEscapeAsTheErrorAnswer) {
  struct Case {
    const char* name;
    std::vector<testing::ScriptedAnswer> answers;
    std::string message_part;
  };
  const std::string missing_folder = folder_.File("no_such_folder/x.jpg");
  const Case kCases[] = {
      {"database fails on the path", {testing::Failure("connection refused")},
       "connection refused"},
      {"folder of the path missing", {OneRow({{"per_path_with_name", missing_folder}})},
       missing_folder},
      {"second call fails",
       {OneRow({{"per_path_with_name", folder_.File("y.jpg")}}), testing::Failure("insert failed")},
       "insert failed"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    for (const auto& a : c.answers) db.Push(a);
    db::StoredProcGateway gateway(db, console_);
    UploadListener listener(gateway);
    HttpResponse response;
    try {
      listener.Handle(testing::MultipartPost({{"f", "a.jpg", "x", ""}}), response);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
    }
  }
  // A file stored before a failing second call stays.
  EXPECT_EQ(testing::ReadBytes(folder_.File("y.jpg")), "x");
}

TEST_F(UploadListenerTest, ConcurrentUploadsForDifferentPersonsLoseNothing) {
  constexpr int kPersons = 16;
  testing::RespondingDatabase db([&](const testing::RecordedCall& call) {
    if (call.procedure == kPathProc) {
      return OneRow({{"per_path_with_name", folder_.File("per_" + call.Named("cp") + ".bin")}});
    }
    return OneRow({{"s_result", "1"}});
  });
  db::StoredProcGateway gateway(db, console_);
  UploadListener listener(gateway);
  auto content = [](int person) {
    return testing::AwkwardBytes(1000 + person * 37) + "person " + std::to_string(person);
  };
  std::vector<std::thread> threads;
  for (int person = 1; person <= kPersons; ++person) {
    threads.emplace_back([&, person] {
      HttpResponse response;
      listener.Handle(testing::MultipartPost({{"CP", std::nullopt, std::to_string(person), ""},
                                              {"f", "x.bin", content(person), ""}}),
                      response);
    });
  }
  for (auto& t : threads) t.join();
  for (int person = 1; person <= kPersons; ++person) {
    EXPECT_EQ(testing::ReadBytes(folder_.File("per_" + std::to_string(person) + ".bin")),
              content(person))
        << "person " << person;
  }
  EXPECT_EQ(db.Calls().size(), 2u * kPersons);
}

}  // namespace
}  // namespace veltra
