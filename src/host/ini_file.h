// A small INI file with the operating system's private-profile semantics: section and key
// names match without regard to case, values are read up to 2047 characters, absent keys read
// as empty text, and writing a key changes that one line and nothing else in the file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

class IniFile {
 public:
  // Longest value a read returns, in UTF-16 code units (the private-profile buffer less its NUL).
  static constexpr std::size_t kMaxValueLength = 2047;

  // Reads the file now; a missing or unreadable file reads as an empty one.
  explicit IniFile(std::filesystem::path path);

  const std::filesystem::path& Path() const { return path_; }

  // The value of `key` in the first [section] that holds it; empty text when absent.
  std::string ReadKey(std::string_view section, std::string_view key) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // Sets `key` in place (adding the key, or the section and the key, when missing) and writes
  // the file at once. Throws "Unable to write to <path>" when the file cannot be written.
  void WriteKey(std::string_view section, std::string_view key, std::string_view value);

 private:
  struct Located {
    std::ptrdiff_t section_line = -1;  // the [section] line, -1 when there is none
    std::ptrdiff_t key_line = -1;      // the key line, -1 when there is none
    std::ptrdiff_t last_line = -1;     // last non-blank line of the section
  };
  Located Locate(std::string_view section, std::string_view key) const;
  void Save() const;

  std::filesystem::path path_;
  std::vector<std::string> lines_;  // without their line ends
  std::string newline_ = "\r\n";    // the file's own line end, kept on rewrite
  bool final_newline_ = true;
  bool bom_ = false;
};

}  // namespace veltra
