#include "wire/multipart.h"

#include <fstream>
#include <stdexcept>

#include "wire/text.h"

namespace veltra {
namespace {

// Text fields of multipart parts: browsers send UTF-8, older clients a single-byte code
// page; the byte image stays whenever the bytes are not UTF-8.
std::string PartText(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Utf16ToUtf8(BytesToUtf16(bytes));
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The value after the first "=" with its enclosing quotes (first and last character) cut.
std::string QuotedParameter(std::string_view piece) {
  const std::size_t eq = piece.find('=');
  const std::string_view value = piece.substr(eq + 1);
  if (value.size() < 2) return {};
  return std::string(value.substr(1, value.size() - 2));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HexRun(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return false;
  for (std::size_t k = 0; k < count; ++k)
    if (HexDigit(text[at + k]) < 0) return false;
  return true;
}

// Second decoding pass of form values: %XX is a byte, %uXXXX a UTF-16 unit.
std::string DecodeFormValue(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  std::u16string units;
  auto flush_units = [&] {
    if (!units.empty()) bytes += Utf16ToUtf8(units);
    units.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'u' &&
        HexRun(text, i + 2, 4)) {
      char16_t unit = 0;
      for (std::size_t k = 0; k < 4; ++k) unit = unit * 16 + HexDigit(text[i + 2 + k]);
      units += unit;
      i += 5;
      continue;
    }
    flush_units();
    if (text[i] == '%' && HexRun(text, i + 1, 2)) {
      bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
      continue;
    }
    bytes += text[i];
  }
  flush_units();
  if (IsValidUtf8(bytes)) return bytes;
  return Utf16ToUtf8(Utf8ToUtf16(bytes));
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

TParamStream& NewPart(ParamList& list) {
  list.push_back(std::make_unique<TParamStream>());
  TParamStream& part = *list.back();
  part.Clear();
  return part;
}

}  // namespace

void TParamStream::Clear() {
  data_.clear();
  position_ = 0;
  ParamName.clear();
  ParamType.clear();
  ParamFileName.clear();
  ParamValue.clear();
}

void TParamStream::Seek(std::size_t position) { position_ = std::min(position, data_.size()); }

void TParamStream::Write(std::string_view bytes) {
  if (position_ + bytes.size() > data_.size()) data_.resize(position_ + bytes.size());
  data_.replace(position_, bytes.size(), bytes);
  position_ += bytes.size();
}

std::string TParamStream::Read(std::size_t count) {
  const std::size_t n = std::min(count, data_.size() - position_);
  std::string out = data_.substr(position_, n);
  position_ += n;
  return out;
}

void TParamStream::SaveToFile(const std::filesystem::path& path) const {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("Cannot create file \"" + path.string() + "\"");
  file.write(data_.data(), static_cast<std::streamsize>(data_.size()));
  if (!file) throw std::runtime_error("Cannot write file \"" + path.string() + "\"");
}

std::int32_t ReadFormParams(const std::vector<std::string>& pieces, ParamList& list) {
  list.clear();
  for (const std::string& piece : pieces) {
    TParamStream& part = NewPart(list);
    const std::size_t eq = piece.find('=');
    if (eq == std::string::npos) continue;
    part.ParamName = piece.substr(0, eq);
    part.ParamValue = DecodeFormValue(std::string_view(piece).substr(eq + 1));
  }
  return static_cast<std::int32_t>(list.size());
}

std::int32_t ReadMultipartParams(std::string_view body, std::string_view delimiter,
                                 ParamList& list) {
  list.clear();
  // Every byte is one character, so offsets into `body` serve as both text positions and
  // stream offsets.
  if (delimiter.empty()) return 0;
  std::int32_t count = 0;
  std::size_t search_at = 0;
  while (true) {
    const std::size_t from = body.find(delimiter, search_at);
    if (from == std::string_view::npos) break;
    std::size_t next = body.find(delimiter, from + 1);
    if (next == std::string_view::npos) {
      // Up to ten bytes after the closing delimiter are its "--" and line break.
      if (body.size() - from - delimiter.size() <= 10) break;
      next = body.size();
    }
    search_at = from + 1;
    const std::string_view part_text = body.substr(from, next - from);
    TParamStream& part = NewPart(list);
    ++count;

    std::size_t header = 0;
    for (std::string_view line : SplitLines(part_text)) {
      if (StartsWith(line, "Content-Disposition:")) {
        std::size_t start = 0;
        while (start <= line.size()) {
          std::size_t end = line.find(';', start);
          if (end == std::string_view::npos) end = line.size();
          const std::string_view piece = line.substr(start, end - start);
          const std::string trimmed = Trim(piece);
          if (StartsWith(trimmed, "name=")) {
            part.ParamName = PartText(QuotedParameter(piece));
          } else if (StartsWith(trimmed, "filename=")) {
            part.ParamFileName = PartText(QuotedParameter(piece));
          }
          start = end + 1;
        }
      } else if (StartsWith(line, "Content-Type:")) {
        part.ParamType = PartText(Trim(line.substr(13)));
      }
      // Every header line is taken to end in CR LF.
      header += line.size() + 2;
      if (line.empty()) break;
    }

    if (part.ParamFileName.empty() && header + 2 < part_text.size()) {
      part.ParamValue = PartText(part_text.substr(header, part_text.size() - header - 2));
    }
    if (next > from + header + 2) {
      part.Write(body.substr(from + header, next - from - header - 2));
    }
    part.Rewind();
  }
  return count;
}

std::int32_t ReadRequestParams(std::string_view content_type,
                               const std::vector<std::string>& pieces, std::string_view body,
                               ParamList& list) {
  const std::string lower = LowerAscii(content_type);
  if (lower.find("application/x-www-form-urlencoded") != std::string::npos)
    return ReadFormParams(pieces, list);
  const std::size_t boundary = lower.find("boundary");
  if (lower.find("multipart/form-data") == std::string::npos || boundary == std::string::npos)
    return 0;
  const std::size_t eq = content_type.find('=', boundary + 1);
  // Without "=" there is no boundary value at all.
  if (eq == std::string_view::npos) return 0;
  std::size_t semicolon = content_type.find(';', eq + 1);
  if (semicolon == std::string_view::npos) semicolon = content_type.size();
  const std::string delimiter = "--" + std::string(content_type.substr(eq + 1, semicolon - eq - 1));
  return ReadMultipartParams(body, delimiter, list);
}

}  // namespace veltra
