#include "files/image_listener.h"

#include <gtest/gtest.h>

#include "files/file_body.h"
#include "tests/files/files_test_support.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace {

using testing::FakeDatabase;
using testing::OneRow;
using testing::RecordingConsole;
using testing::TempFolder;

class ImageListenerTest : public ::testing::Test {
 protected:
  HttpResponse Send(const HttpRequest& request) {
    HttpResponse response;
    listener_.Handle(request, response);
    return response;
  }
  void AnswerPath(const Cell& path) { db_.Push(OneRow({{"per_file", path}})); }

  TempFolder folder_;
  FakeDatabase db_;
  RecordingConsole console_;
  testing::FakeClock clock_;
  db::StoredProcGateway gateway_{db_, console_};
  ImageListener listener_{gateway_, console_, clock_};
};

TEST_F(ImageListenerTest, ThreeByteFileIsFourBase64CharactersAsJsonWithCors) {
  const std::string file = folder_.File("face.jpg");
  testing::WriteBytes(file, "abc");
  AnswerPath(file);

  auto response = Send(testing::Get("/", "cp=15&id_images=3&lucp=9"));

  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.content_type, "application/json");
  EXPECT_EQ(response.charset, "ASCII");
  EXPECT_EQ(testing::HeaderOf(response, "Access-Control-Allow-Origin"), "*");
  ASSERT_TRUE(response.stream);
  EXPECT_EQ(response.stream->Size(), 4u);
  EXPECT_EQ(testing::Body(response), "YWJj");

  auto calls = db_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedure, "_9702_images_path_for_per_with_file_name");
  EXPECT_EQ(calls[0].mode, db::RunMode::kOpen);
  EXPECT_EQ(calls[0].Named("cp"), "15");
  EXPECT_EQ(calls[0].Named("id_images"), "3");
  EXPECT_EQ(calls[0].Named("lucp"), "9");
}

TEST_F(ImageListenerTest, FieldsAreExactNamesFromBodyThenQuery) {
  struct Case {
    const char* name;
    HttpRequest request;
    std::string cp, id_images, lucp;
  };
  const Case kCases[] = {
      {"other letter case is not recognised", testing::Get("/", "CP=1&Id_Images=2&LUCP=3"), "",
       "", ""},
      {"first occurrence counts", testing::Get("/", "cp=1&cp=2&id_images=5&lucp=6"), "1", "5",
       "6"},
      {"form body before query", testing::FormPost("cp=7&lucp=8", "cp=1&id_images=9"), "7", "9",
       "8"},
      {"values are trimmed as one text", testing::Get("/", "cp=%2012&lucp=4%20"), " 12", "", "4"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeDatabase db;
    db.Push(OneRow({{"per_file", ""}}));
    db::StoredProcGateway gateway(db, console_);
    ImageListener listener(gateway, console_, clock_);
    HttpResponse response;
    listener.Handle(c.request, response);
    auto calls = db.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Named("cp"), c.cp);
    EXPECT_EQ(calls[0].Named("id_images"), c.id_images);
    EXPECT_EQ(calls[0].Named("lucp"), c.lucp);
  }
}

TEST_F(ImageListenerTest, LargerFilesAreOneLineOfBase64WhateverThePieceSize) {
  struct Case {
    const char* name;
    std::size_t size;
    std::size_t piece;
  };
  const Case kCases[] = {
      {"58 bytes, past one MIME line", 58, 4096},
      {"one byte", 1, 1},
      {"two bytes read byte by byte", 2, 1},
      {"exactly one raw block", Base64FileBodySource::kRawBlock, 4096},
      {"one byte past a block, odd pieces", Base64FileBodySource::kRawBlock + 1, 7},
      {"several blocks, large pieces", 3 * Base64FileBodySource::kRawBlock + 2, 100000},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = testing::AwkwardBytes(c.size);
    const std::string file = folder_.File("img.bin");
    testing::WriteBytes(file, bytes);
    AnswerPath(file);
    auto response = Send(testing::Get("/", "cp=1"));
    ASSERT_TRUE(response.stream);
    const std::string expected = Base64Encode(bytes);
    EXPECT_EQ(response.stream->Size(), expected.size());
    const std::string body = testing::ReadAll(*response.stream, c.piece);
    EXPECT_EQ(body.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(body, expected);
  }
}

TEST_F(ImageListenerTest, NothingToSendGivesTheDefaultAnswerWithCors) {
  struct Case {
    const char* name;
    Cell path;
  };
  const std::string empty_file = folder_.File("empty.jpg");
  testing::WriteBytes(empty_file, "");
  const Case kCases[] = {
      {"path that does not exist", folder_.File("missing.jpg")},
      {"empty path", ""},
      {"NULL path", std::nullopt},
      {"a folder, not a file", folder_.Text()},
      {"zero-byte file", empty_file},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    AnswerPath(c.path);
    auto response = Send(testing::Get("/", "cp=1"));
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(response.HasContent());
    EXPECT_EQ(response.content_type, "");
    EXPECT_EQ(testing::HeaderOf(response, "Access-Control-Allow-Origin"), "*");
  }
}

TEST_F(ImageListenerTest, LogLinesWhileLogServiceIsTicked) {
  console_.Set(Switch::kLogService);
  const std::string file = folder_.File("a.jpg");
  testing::WriteBytes(file, "abc");
  AnswerPath(file);
  Send(testing::Get("/", "cp=1"));
  AnswerPath(folder_.File("gone.jpg"));
  Send(testing::Get("/", "cp=1"));

  const std::vector<std::string> expected = {
      "10:15:02 CommandGet ",
      "set fix path for cloud file like c:\\mycam  in 9702  ",
      "Send_File_Name from  SP_9702_images   ",
      file,
      "FileExists",
      "10:15:02 CommandGet ",
      "set fix path for cloud file like c:\\mycam  in 9702  ",
      "Send_File_Name from  SP_9702_images   ",
      folder_.File("gone.jpg"),
      "File not Exists",
  };
  EXPECT_EQ(console_.Lines(Memo::kService), expected);
}

TEST_F(ImageListenerTest, NoLogLinesWhileLogServiceIsOff) {
  AnswerPath(folder_.File("gone.jpg"));
  Send(testing::Get("/", "cp=1"));
  EXPECT_TRUE(console_.Lines(Memo::kService).empty());
}

TEST_F(ImageListenerTest, DatabaseErrorEscapesWithJsonTypeAndCorsKept) {
  struct Case {
    const char* name;
    testing::ScriptedAnswer answer;
    std::string message;
  };
  const Case kCases[] = {
      {"database error", testing::Failure("Login failed"), "Login failed"},
      {"no per_file field", OneRow({{"path", "x"}}), "Field 'per_file' not found"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    db_.Push(c.answer);
    HttpResponse response;
    try {
      listener_.Handle(testing::Get("/", "cp=1"), response);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_EQ(response.content_type, "application/json");
    EXPECT_EQ(response.charset, "utf-8");
    EXPECT_EQ(testing::HeaderOf(response, "Access-Control-Allow-Origin"), "*");
  }
}

}  // namespace
}  // namespace veltra
