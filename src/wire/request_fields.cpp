#include "wire/request_fields.h"

#include <cstdint>

#include "wire/text.h"

namespace veltra {
namespace {

constexpr char16_t kWindows1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, 0x00A0,
    0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6,
    0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1,
    0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC,
    0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2,
    0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED,
    0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8,
    0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF};

// Arabic Windows code page, the one older Persian clients use.
constexpr char16_t kWindows1256High[128] = {
    0x20AC, 0x067E, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0679,
    0x2039, 0x0152, 0x0686, 0x0698, 0x0688, 0x06AF, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x06A9, 0x2122, 0x0691, 0x203A, 0x0153, 0x200C, 0x200D, 0x06BA, 0x00A0,
    0x060C, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x06BE, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6,
    0x00B7, 0x00B8, 0x00B9, 0x061B, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x061F, 0x06C1, 0x0621,
    0x0622, 0x0623, 0x0624, 0x0625, 0x0626, 0x0627, 0x0628, 0x0629, 0x062A, 0x062B, 0x062C,
    0x062D, 0x062E, 0x062F, 0x0630, 0x0631, 0x0632, 0x0633, 0x0634, 0x0635, 0x0636, 0x00D7,
    0x0637, 0x0638, 0x0639, 0x063A, 0x0640, 0x0641, 0x0642, 0x0643, 0x00E0, 0x0644, 0x00E2,
    0x0645, 0x0646, 0x0647, 0x0648, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x0649, 0x064A,
    0x00EE, 0x00EF, 0x064B, 0x064C, 0x064D, 0x064E, 0x00F4, 0x064F, 0x0650, 0x00F7, 0x0651,
    0x00F9, 0x0652, 0x00FB, 0x00FC, 0x200E, 0x200F, 0x06D2};

std::string Lower(std::string_view text) { return AsciiLower(text); }

std::string SingleByte(std::string_view bytes, const char16_t* high) {
  std::u16string wide(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    wide[i] = (b < 0x80 || !high) ? b : high[b - 0x80];
  }
  return Utf16ToUtf8(wide);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "+" to blank, then runs of %XX escapes decoded together in the character set; a "%" not
// followed by two hexadecimal digits stays as it is.
std::string DecodePiece(std::string_view piece, std::string_view charset) {
  std::string out;
  out.reserve(piece.size());
  std::string run;
  auto flush = [&] {
    if (!run.empty()) out += DecodeCharset(run, charset);
    run.clear();
  };
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char c = piece[i];
    if (c == '%' && i + 2 < piece.size() && HexDigit(piece[i + 1]) >= 0 &&
        HexDigit(piece[i + 2]) >= 0) {
      run += static_cast<char>(HexDigit(piece[i + 1]) * 16 + HexDigit(piece[i + 2]));
      i += 2;
      continue;
    }
    flush();
    out += c == '+' ? ' ' : c;
  }
  flush();
  return out;
}

}  // namespace

std::string CharsetOf(std::string_view content_type) {
  const std::string lower = Lower(content_type);
  std::size_t pos = 0;
  while ((pos = lower.find(';', pos)) != std::string::npos) {
    ++pos;
    std::size_t end = lower.find(';', pos);
    if (end == std::string::npos) end = lower.size();
    const std::string param = Trim(std::string_view(lower).substr(pos, end - pos));
    if (param.rfind("charset=", 0) == 0) {
      std::string value = Trim(std::string_view(param).substr(8));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      return value;
    }
  }
  return {};
}

std::string DecodeCharset(std::string_view bytes, std::string_view charset) {
  const std::string name = Lower(charset);
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "l1" ||
      name == "iso_8859-1")
    return SingleByte(bytes, nullptr);
  if (name == "windows-1252" || name == "cp1252") return SingleByte(bytes, kWindows1252High);
  if (name == "windows-1256" || name == "cp1256") return SingleByte(bytes, kWindows1256High);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Utf16ToUtf8(Utf8ToUtf16(bytes));
}

std::vector<std::string> RequestPieces(std::string_view content_type, std::string_view body,
                                       std::string_view query) {
  const std::string media = Lower(Trim(content_type.substr(0, content_type.find(';'))));
  std::string joined;
  if (media == "application/x-www-form-urlencoded") joined = SingleByte(body, nullptr);
  // Clients are expected to escape the query; raw UTF-8 is still taken as UTF-8.
  const std::string query_text =
      IsValidUtf8(query) ? std::string(query) : SingleByte(query, nullptr);
  if (!joined.empty() && !query_text.empty()) joined += '&';
  joined += query_text;

  std::vector<std::string> pieces;
  if (joined.empty()) return pieces;
  const std::string charset = CharsetOf(content_type);
  std::size_t start = 0;
  while (true) {
    const std::size_t amp = joined.find('&', start);
    const std::size_t end = amp == std::string::npos ? joined.size() : amp;
    pieces.push_back(DecodePiece(std::string_view(joined).substr(start, end - start), charset));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return pieces;
}

std::string JoinPieces(const std::vector<std::string>& pieces) {
  std::string text;
  for (const auto& piece : pieces) {
    text += piece;
    text += "\r\n";
  }
  return text;
}

std::string ParameterText(std::string_view content_type, std::string_view body,
                          std::string_view query) {
  return JoinPieces(RequestPieces(content_type, body, query));
}

std::string FieldValue(std::string_view text, std::string_view name) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    const std::string_view line_name =
        eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
    if (line_name == name) {
      return eq == std::string_view::npos ? std::string() : std::string(line.substr(eq + 1));
    }
    if (end == text.size()) break;
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return {};
}

}  // namespace veltra
