#include "host/ini_file.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "wire/text.h"

namespace veltra {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";


// The name of a "[name]" line, or nullopt for any other line.
std::optional<std::string> SectionName(std::string_view line) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  auto close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(std::string_view(t).substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  std::string t = Trim(line);
  return t.empty() || t.front() == ';';
}

// Key and value of a "key=value" line; false for lines without '='.
bool SplitKeyLine(std::string_view line, std::string& key, std::string& value) {
  if (IsComment(line)) return false;
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  // The private-profile reader drops one pair of enclosing quotes.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

std::string CutValue(const std::string& value) {
  if (value.size() <= IniFile::kMaxValueLength) return value;  // bytes >= code units
  std::u16string wide = Utf8ToUtf16(value);
  if (wide.size() <= IniFile::kMaxValueLength) return value;
  wide.resize(IniFile::kMaxValueLength);
  return Utf16ToUtf8(wide);
}

}  // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, kBom.size(), kBom) == 0) {
    bom_ = true;
    text.erase(0, kBom.size());
  }
  auto lf = text.find('\n');
  newline_ = (lf != std::string::npos && lf > 0 && text[lf - 1] == '\r') || lf == std::string::npos
                 ? "\r\n"
                 : "\n";
  final_newline_ = text.empty() || text.back() == '\n' || text.back() == '\r';
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines_.push_back(text.substr(start));
      break;
    }
    lines_.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

IniFile::Located IniFile::Locate(std::string_view section, std::string_view key) const {
  Located at;
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = SectionName(lines_[i])) {
      if (inside) break;  // only the first matching section counts
      inside = EqualsNoCase(*name, section);
      if (inside) at.section_line = at.last_line = static_cast<std::ptrdiff_t>(i);
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines_[i]).empty()) at.last_line = static_cast<std::ptrdiff_t>(i);
    std::string k, v;
    if (at.key_line < 0 && SplitKeyLine(lines_[i], k, v) && EqualsNoCase(k, key)) {
      at.key_line = static_cast<std::ptrdiff_t>(i);
    }
  }
  return at;
}

std::string IniFile::ReadKey(std::string_view section, std::string_view key) const {
  Located at = Locate(section, key);
  if (at.key_line < 0) return {};
  std::string k, v;
  SplitKeyLine(lines_[at.key_line], k, v);
  return CutValue(v);
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  return Locate(section, key).key_line >= 0;
}

void IniFile::WriteKey(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = std::string(key) + "=" + std::string(value);
  std::vector<std::string> before = lines_;
  Located at = Locate(section, key);
  if (at.key_line >= 0) {
    lines_[at.key_line] = line;
  } else if (at.section_line >= 0) {
    lines_.insert(lines_.begin() + at.last_line + 1, line);
  } else {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(line);
  }
  try {
    Save();
  } catch (...) {
    lines_ = std::move(before);
    throw;
  }
}

void IniFile::Save() const {
  std::string text;
  if (bom_) text += kBom;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    if (i + 1 < lines_.size() || final_newline_) text += newline_;
  }
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out) out.flush();
  if (!out) throw std::runtime_error("Unable to write to " + path_.string());
}

}  // namespace veltra
