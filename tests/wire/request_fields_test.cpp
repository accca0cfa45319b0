#include "wire/request_fields.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

constexpr const char* kForm = "application/x-www-form-urlencoded";

TEST(ParameterText, Table) {
  struct Case {
    const char* name;
    std::string content_type, body, query, text;
  };
  const Case kCases[] = {
      {"body then query", kForm, "id=1010&b=2", "q=3", "id=1010\r\nb=2\r\nq=3\r\n"},
      {"body only", kForm, "id=1", "", "id=1\r\n"},
      {"query only", "", "", "id=1&x=2", "id=1\r\nx=2\r\n"},
      {"nothing", kForm, "", "", ""},
      {"form media type with charset", "Application/X-WWW-Form-Urlencoded; charset=UTF-8",
       "a=1", "", "a=1\r\n"},
      {"other content type ignores body", "text/plain", "id=1010", "q=1", "q=1\r\n"},
      {"json body ignored", "application/json", "{\"id\":1}", "", ""},
      {"plus is a blank", kForm, "a=x+y", "", "a=x y\r\n"},
      {"escaped plus stays", kForm, "a=x%2By", "", "a=x+y\r\n"},
      {"utf-8 escapes", kForm, "np=%D8%B9%D9%84%DB%8C", "",
       "np=\xD8\xB9\xD9\x84\xDB\x8C\r\n"},
      {"encoded line break cuts value", kForm, "a=1%0D%0Ab=2", "", "a=1\r\nb=2\r\n"},
      {"escaped ampersand does not split", kForm, "a=1%262", "", "a=1&2\r\n"},
      {"empty pieces kept", kForm, "a=1&&b=2", "", "a=1\r\n\r\nb=2\r\n"},
      {"broken escape kept", kForm, "a=%G1%4", "", "a=%G1%4\r\n"},
      {"raw body byte is one character", kForm, "a=\xE9", "", "a=\xC3\xA9\r\n"},
      {"latin-1 charset", "application/x-www-form-urlencoded; charset=ISO-8859-1", "a=%E9",
       "", "a=\xC3\xA9\r\n"},
      {"windows-1252 charset", "application/x-www-form-urlencoded; charset=windows-1252",
       "a=%80", "", "a=\xE2\x82\xAC\r\n"},
      {"windows-1256 charset", "application/x-www-form-urlencoded; charset=\"windows-1256\"",
       "a=%DA", "", "a=\xD8\xB9\r\n"},
      {"invalid utf-8 escape becomes replacement", kForm, "a=%FF", "", "a=\xEF\xBF\xBD\r\n"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ParameterText(c.content_type, c.body, c.query), c.text) << c.name;
}

TEST(RequestPieces, KeepEncodedLineBreakInsideAPiece) {
  const auto pieces = RequestPieces(kForm, "a=1%0D%0A2&b=%25u0639", "");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "a=1\r\n2");
  EXPECT_EQ(pieces[1], "b=%u0639");
}

TEST(FieldValue, Table) {
  struct Case { const char* name; std::string text, field, value; };
  const Case kCases[] = {
      {"second line", "id=1010\r\nsp_param='1','2'", "sp_param", "'1','2'"},
      {"first line", "id=1010\r\nsp_param='1','2'", "id", "1010"},
      {"first match wins", "a=1\r\na=2\r\n", "a", "1"},
      {"case-sensitive", "id=5\r\n", "ID", ""},
      {"leading blank is part of the name", " id=5\r\n", "id", ""},
      {"further = belong to the value", "token=a=b\r\n", "token", "a=b"},
      {"empty value", "a=\r\nb=2", "a", ""},
      {"absent", "a=1", "b", ""},
      {"value keeps blanks", "a= x \r\n", "a", " x "},
      {"LF line ends", "a=1\nb=2\n", "b", "2"},
      {"CR line ends", "a=1\rb=2\r", "b", "2"},
      {"NUL ends the text", std::string("a=1\0b=2", 7), "b", ""},
      {"NUL ends a value", std::string("a=1\0x", 5), "a", "1"},
      {"line without = has empty name", "junk\r\n=v\r\n", "", ""},
      {"empty name matches =value", "=v\r\n", "", "v"},
      {"empty text", "", "a", ""},
      {"blank line between", "a=1\r\n\r\nb=2", "b", "2"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FieldValue(c.text, c.field), c.value) << c.name;
}

TEST(CharsetOf, Table) {
  EXPECT_EQ(CharsetOf("text/plain; charset=UTF-8"), "utf-8");
  EXPECT_EQ(CharsetOf("text/plain;charset=\"Latin1\";x=y"), "latin1");
  EXPECT_EQ(CharsetOf("text/plain"), "");
}

}  // namespace
}  // namespace veltra
