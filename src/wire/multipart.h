// Form bodies (url-encoded or multipart/form-data) as one ordered list of named fields, some
// of which carry file contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// One field of a form body: a growable byte stream with a position, plus its texts. A part
// with a non-empty ParamFileName is a file part; any other is a value part.
class TParamStream {
 public:
  std::string ParamName;
  std::string ParamType;      // multipart "Content-Type:" of the part, trimmed
  std::string ParamFileName;  // multipart "filename" parameter
  std::string ParamValue;     // set for form fields and for multipart value parts

  // Empties the stream (size and position 0) and the four texts.
  void Clear();

  const std::string& Bytes() const { return data_; }
  std::size_t Size() const { return data_.size(); }
  std::size_t Position() const { return position_; }
  // Positions past the end are clamped to the end.
  void Seek(std::size_t position);
  void Rewind() { position_ = 0; }
  // Writes at the position, overwriting and growing as needed; advances the position.
  void Write(std::string_view bytes);
  // Up to `count` bytes from the position; advances the position.
  std::string Read(std::size_t count);
  // The whole stream, whatever the position. Throws std::runtime_error when the file
  // cannot be written.
  void SaveToFile(const std::filesystem::path& path) const;

 private:
  std::string data_;
  std::size_t position_ = 0;
};

using ParamList = std::vector<std::unique_ptr<TParamStream>>;

// Chooses the reader by content type: url-encoded bodies from `pieces` (RequestPieces),
// multipart bodies from `body` with the boundary of the content type taken verbatim.
// Returns the number of parts appended; 0 for any other content type.
std::int32_t ReadRequestParams(std::string_view content_type,
                               const std::vector<std::string>& pieces, std::string_view body,
                               ParamList& list);
// `delimiter` is "--" and the boundary. Empties `list` first.
std::int32_t ReadMultipartParams(std::string_view body, std::string_view delimiter,
                                 ParamList& list);
// One part per piece: name before the first "=", value after it decoded once more (%XX
// bytes and %uXXXX units, read as UTF-8). Empties `list` first.
std::int32_t ReadFormParams(const std::vector<std::string>& pieces, ParamList& list);

}  // namespace veltra
