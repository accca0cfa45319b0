#include "files/file_store.h"

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace veltra {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  auto u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

bool FileExists(std::string_view utf8_path) {
  if (utf8_path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromUtf8(utf8_path), ec);
}

bool DirectoryExists(std::string_view utf8_path) {
  if (utf8_path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(PathFromUtf8(utf8_path), ec);
}

void SaveToFile(std::string_view utf8_path, std::string_view bytes) {
  std::string shown(utf8_path);
  if (utf8_path.empty()) throw std::runtime_error("Cannot create file \"\".");
  std::ofstream out(PathFromUtf8(utf8_path), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot create file \"" + shown + "\".");
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("Cannot write file \"" + shown + "\".");
}

std::string NameAfterLast(std::string_view text, std::string_view separators) {
  auto at = text.find_last_of(separators);
  return std::string(at == std::string_view::npos ? text : text.substr(at + 1));
}

}  // namespace veltra
