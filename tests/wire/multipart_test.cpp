#include "wire/multipart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "wire/request_fields.h"

namespace veltra {
namespace {

const std::string kDelimiter = "--XyZ";
const std::string kContentType = "multipart/form-data; boundary=XyZ";

std::string ValuePart(const std::string& name, const std::string& value) {
  return kDelimiter + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
         value + "\r\n";
}

std::string FilePart(const std::string& name, const std::string& file, const std::string& type,
                     const std::string& content) {
  return kDelimiter + "\r\nContent-Disposition: form-data; name=\"" + name +
         "\"; filename=\"" + file + "\"\r\nContent-Type: " + type + "\r\n\r\n" + content +
         "\r\n";
}

std::string Closing() { return kDelimiter + "--\r\n"; }

TEST(Multipart, ValueThenFilePartKeepsBinaryContent) {
  const std::string image("\xFF\xD8\r\n\0-Xy\n\x00\x01\r\n", 13);
  const std::string body =
      ValuePart("CP", "12") + FilePart("img", "a.jpg", "image/jpeg", image) + Closing();
  ParamList list;
  ASSERT_EQ(ReadRequestParams(kContentType, {}, body, list), 2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->ParamName, "CP");
  EXPECT_EQ(list[0]->ParamValue, "12");
  EXPECT_EQ(list[0]->ParamFileName, "");
  EXPECT_EQ(list[0]->Bytes(), "12");
  EXPECT_EQ(list[0]->Position(), 0u);
  EXPECT_EQ(list[1]->ParamName, "img");
  EXPECT_EQ(list[1]->ParamFileName, "a.jpg");
  EXPECT_EQ(list[1]->ParamType, "image/jpeg");
  EXPECT_EQ(list[1]->ParamValue, "");
  EXPECT_EQ(list[1]->Bytes(), image);
}

TEST(Multipart, Cases) {
  struct Expected { std::string name, file, type, value, bytes; };
  struct Case {
    const char* name;
    std::string body;
    std::vector<Expected> parts;
  };
  const std::string zeros("a\0b\r\n\0", 6);
  const Case kCases[] = {
      {"binary bytes preserved", FilePart("f", "z.bin", "application/octet-stream", zeros) +
                                     Closing(),
       {{"f", "z.bin", "application/octet-stream", "", zeros}}},
      {"preamble skipped", "preamble text\r\n" + ValuePart("a", "1") + Closing(),
       {{"a", "", "", "1", "1"}}},
      {"no closing delimiter: last part to the end",
       ValuePart("a", "1") + kDelimiter + "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\nlonger value\r\n",
       {{"a", "", "", "1", "1"}, {"b", "", "", "longer value", "longer value"}}},
      {"up to ten bytes after the last delimiter ignored",
       ValuePart("a", "1") + kDelimiter + "--\r\n123456",
       {{"a", "", "", "1", "1"}}},
      {"eleven bytes after the last delimiter make a part",
       ValuePart("a", "1") + kDelimiter + "--\r\n1234567",
       {{"a", "", "", "1", "1"}, {"", "", "", "", ""}}},
      {"empty file name is a value part", FilePart("f", "", "text/plain", "") + Closing(),
       {{"f", "", "text/plain", "", ""}}},
      {"empty content", ValuePart("a", "") + Closing(), {{"a", "", "", "", ""}}},
      {"lower-case disposition not recognised",
       kDelimiter + "\r\ncontent-disposition: form-data; name=\"a\"\r\n\r\nv\r\n" + Closing(),
       {{"", "", "", "v", "v"}}},
      {"semicolon cuts a quoted file name", FilePart("f", "a;b.txt", "text/plain", "xy") + Closing(),
       {{"f", "", "text/plain", "xy", "xy"}}},
      {"part without blank line", kDelimiter + "\r\nContent-Disposition: form-data; name=\"a\"\r\n" +
                                      Closing(),
       {{"a", "", "", "", ""}}},
      {"utf-8 name and value decoded",
       ValuePart("\xD9\x86\xD8\xA7\xD9\x85", "\xD8\xB9\xD9\x84\xDB\x8C") + Closing(),
       {{"\xD9\x86\xD8\xA7\xD9\x85", "", "", "\xD8\xB9\xD9\x84\xDB\x8C",
         "\xD8\xB9\xD9\x84\xDB\x8C"}}},
      {"non-utf-8 value kept as byte image", ValuePart("a", "\xE9t\xE9") + Closing(),
       {{"a", "", "", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"}}},
      {"no delimiter in body", "just text", {}},
      {"empty body", "", {}},
  };
  for (const auto& c : kCases) {
    ParamList list;
    const std::int32_t count = ReadMultipartParams(c.body, kDelimiter, list);
    ASSERT_EQ(count, static_cast<std::int32_t>(c.parts.size())) << c.name;
    ASSERT_EQ(list.size(), c.parts.size()) << c.name;
    for (std::size_t i = 0; i < c.parts.size(); ++i) {
      EXPECT_EQ(list[i]->ParamName, c.parts[i].name) << c.name << " part " << i;
      EXPECT_EQ(list[i]->ParamFileName, c.parts[i].file) << c.name << " part " << i;
      EXPECT_EQ(list[i]->ParamType, c.parts[i].type) << c.name << " part " << i;
      EXPECT_EQ(list[i]->ParamValue, c.parts[i].value) << c.name << " part " << i;
      EXPECT_EQ(list[i]->Bytes(), c.parts[i].bytes) << c.name << " part " << i;
    }
  }
}

TEST(Multipart, ReaderEmptiesTheListFirst) {
  ParamList list;
  list.push_back(std::make_unique<TParamStream>());
  EXPECT_EQ(ReadMultipartParams(ValuePart("a", "1") + Closing(), kDelimiter, list), 1);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(ReadMultipartParams("", kDelimiter, list), 0);
  EXPECT_TRUE(list.empty());
}

TEST(ReadRequestParams, ContentTypes) {
  const std::string body = ValuePart("a", "1") + Closing();
  struct Case { const char* name; std::string content_type; std::int32_t count; };
  const Case kCases[] = {
      {"plain boundary", kContentType, 1},
      {"upper-case type and parameter", "Multipart/Form-Data; BOUNDARY=XyZ", 1},
      {"boundary followed by more parameters", "multipart/form-data; boundary=XyZ; charset=x", 1},
      {"quoted boundary kept verbatim", "multipart/form-data; boundary=\"XyZ\"", 0},
      {"no boundary", "multipart/form-data", 0},
      {"boundary without =", "multipart/form-data; boundary", 0},
      {"other type", "text/plain; boundary=XyZ", 0},
      {"blank before boundary value kept", "multipart/form-data; boundary= XyZ", 0},
  };
  for (const auto& c : kCases) {
    ParamList list;
    EXPECT_EQ(ReadRequestParams(c.content_type, {}, body, list), c.count) << c.name;
    EXPECT_EQ(list.size(), static_cast<std::size_t>(c.count)) << c.name;
  }
}

TEST(ReadRequestParams, FormTestComesFirst) {
  const std::vector<std::string> pieces = {"a=1", "b=2"};
  ParamList list;
  EXPECT_EQ(ReadRequestParams("application/x-www-form-urlencoded; multipart/form-data; boundary=x",
                              pieces, "ignored", list),
            2);
  EXPECT_EQ(list[1]->ParamName, "b");
}

TEST(ReadFormParams, Cases) {
  struct Case { const char* name; std::string piece, param_name, value; };
  const Case kCases[] = {
      {"plain", "cp=12", "cp", "12"},
      {"further = in value", "t=a=b", "t", "a=b"},
      {"no =", "junk", "", ""},
      {"empty value", "a=", "a", ""},
      {"twice-encoded percent decoded again", "a=%41%D8%B9", "a", "A\xD8\xB9"},
      {"%u unit", "a=%u0639%u0644", "a", "\xD8\xB9\xD9\x84"},
      {"%u surrogate pair", "a=%uD83D%uDE00", "a", "\xF0\x9F\x98\x80"},
      {"lone surrogate replaced", "a=%uD83Dx", "a", "\xEF\xBF\xBDx"},
      {"broken escapes kept", "a=%zz%u12", "a", "%zz%u12"},
      {"invalid bytes replaced", "a=%FF", "a", "\xEF\xBF\xBD"},
      {"line break inside kept", "a=1\r\n2", "a", "1\r\n2"},
  };
  for (const auto& c : kCases) {
    ParamList list;
    ASSERT_EQ(ReadFormParams({c.piece}, list), 1) << c.name;
    EXPECT_EQ(list[0]->ParamName, c.param_name) << c.name;
    EXPECT_EQ(list[0]->ParamValue, c.value) << c.name;
    EXPECT_EQ(list[0]->Size(), 0u) << c.name;
    EXPECT_EQ(list[0]->ParamFileName, "") << c.name;
  }
}

TEST(ReadFormParams, FromRequestPiecesDecodesTwiceEncodedValue) {
  const auto pieces = RequestPieces("application/x-www-form-urlencoded", "v=%2541%2542", "");
  ParamList list;
  ASSERT_EQ(ReadFormParams(pieces, list), 1);
  EXPECT_EQ(list[0]->ParamValue, "AB");
}

TEST(TParamStream, StreamOperationsAndClear) {
  TParamStream s;
  s.ParamName = "n";
  s.Write("hello");
  EXPECT_EQ(s.Position(), 5u);
  s.Seek(1);
  s.Write("EL");
  EXPECT_EQ(s.Bytes(), "hELlo");
  s.Rewind();
  EXPECT_EQ(s.Read(2), "hE");
  EXPECT_EQ(s.Read(10), "Llo");
  s.Seek(100);
  EXPECT_EQ(s.Position(), 5u);

  const auto path = std::filesystem::temp_directory_path() / "veltra_param_stream_test.bin";
  s.SaveToFile(path);
  std::ifstream in(path, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(saved, "hELlo");
  in.close();
  std::filesystem::remove(path);

  s.Clear();
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Position(), 0u);
  EXPECT_EQ(s.ParamName, "");
  EXPECT_THROW(s.SaveToFile(std::filesystem::temp_directory_path() / "no-such-dir" / "x"),
               std::runtime_error);
}

}  // namespace
}  // namespace veltra
