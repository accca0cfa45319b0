// Document content crosses to the database as 8-bit text in a Windows code page (1256 by
// default). These conversions are lossy by design: a character the code page lacks becomes
// '?', exactly once per character.
#pragma once

#include <string>
#include <string_view>

namespace veltra::db {

// UTF-8 text -> bytes of `code_page`. Throws std::runtime_error when the code page is unknown.
std::string Utf8ToCodePage(std::string_view utf8, int code_page);
// Bytes of `code_page` -> UTF-8 text.
std::string CodePageToUtf8(std::string_view bytes, int code_page);
// What of `utf8` survives the code page: there and back again.
inline std::string ThroughCodePage(std::string_view utf8, int code_page) {
  return CodePageToUtf8(Utf8ToCodePage(utf8, code_page), code_page);
}

}  // namespace veltra::db
