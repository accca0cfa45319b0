// File-system helpers of the file services. Paths travel as UTF-8 text (they come from the
// database and go to the log); these convert at the edge so non-ASCII names work on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace veltra {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// A regular file (not a folder) exists at `path`; an empty path or any error counts as no.
bool FileExists(std::string_view utf8_path);
bool DirectoryExists(std::string_view utf8_path);

// Creates the file, or replaces it, with exactly `bytes`. Throws the message the client
// sees when the file cannot be created or written.
void SaveToFile(std::string_view utf8_path, std::string_view bytes);

// The text after the last of `separators` (all of the text when none occurs).
std::string NameAfterLast(std::string_view text, std::string_view separators);

// The host's folder separator.
#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

}  // namespace veltra
