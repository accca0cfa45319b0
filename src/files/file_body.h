// Files sent as response bodies piece by piece, so a large file never sits in memory whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/http.h"

namespace veltra {

// The file's bytes unchanged. The file is opened (and its size taken) on construction, so a
// file that cannot be read fails the request before anything is sent.
class FileBodySource : public BodySource {
 public:
  explicit FileBodySource(const std::filesystem::path& path);
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(char* buffer, std::size_t n) override;

 private:
  std::filesystem::path path_;
  std::ifstream file_;
  std::uint64_t size_ = 0;
  std::uint64_t sent_ = 0;
};

// The file as one line of standard Base64 ("=" padding, no line breaks). Raw bytes are read
// in blocks whose size is a multiple of 3, so each block encodes on its own and the encoded
// blocks join without padding in between.
class Base64FileBodySource : public BodySource {
 public:
  static constexpr std::size_t kRawBlock = 3 * 21845;  // 65535 bytes

  explicit Base64FileBodySource(const std::filesystem::path& path);
  std::uint64_t Size() const override { return encoded_size_; }
  std::size_t Read(char* buffer, std::size_t n) override;

 private:
  FileBodySource raw_;
  std::uint64_t encoded_size_ = 0;
  std::string pending_;          // encoded text not handed out yet
  std::size_t pending_pos_ = 0;
  std::string block_;            // raw bytes of the current block
};

}  // namespace veltra
