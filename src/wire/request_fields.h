// A request's parameters as one text of name=value lines, and the lookup of one field in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// The decoded parameters in order: the body (only for the media type
// application/x-www-form-urlencoded, one character per byte), then the query string, split
// at "&"; in each piece "+" becomes a blank and %XX escapes are decoded in the character set
// the content type names (UTF-8 when it names none or one we do not know).
std::vector<std::string> RequestPieces(std::string_view content_type, std::string_view body,
                                       std::string_view query);
// The pieces, each followed by CR LF.
std::string ParameterText(std::string_view content_type, std::string_view body,
                          std::string_view query);
std::string JoinPieces(const std::vector<std::string>& pieces);

// The value after the first "=" of the first line whose name (the text before that "=") is
// exactly `name`; lines end at CR, LF or CR LF and a NUL ends the text. Empty when absent.
std::string FieldValue(std::string_view text, std::string_view name);

// Bytes in a named character set, as UTF-8 text. Knows UTF-8, ISO-8859-1 (latin1),
// windows-1252 and windows-1256; anything else is read as UTF-8. Invalid bytes become U+FFFD.
std::string DecodeCharset(std::string_view bytes, std::string_view charset);
// The charset parameter of a content type, lower-cased and unquoted; empty when absent.
std::string CharsetOf(std::string_view content_type);

}  // namespace veltra
