#include "files/file_body.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "files/file_store.h"
#include "wire/transport_coding.h"

namespace veltra {

FileBodySource::FileBodySource(const std::filesystem::path& path) : path_(path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) throw std::runtime_error("Cannot open file \"" + Utf8FromPath(path) + "\". " + ec.message());
  file_.open(path, std::ios::binary);
  if (!file_) throw std::runtime_error("Cannot open file \"" + Utf8FromPath(path) + "\".");
  size_ = size;
}

std::size_t FileBodySource::Read(char* buffer, std::size_t n) {
  // The size announced is the size at opening; a file that grows meanwhile is cut there, one
  // that shrinks is a read error (the announced length could not be kept).
  std::uint64_t left = size_ - sent_;
  std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, n));
  if (want == 0) return 0;
  file_.read(buffer, static_cast<std::streamsize>(want));
  auto got = static_cast<std::size_t>(file_.gcount());
  if (got != want) throw std::runtime_error("Read error on file \"" + Utf8FromPath(path_) + "\".");
  sent_ += got;
  return got;
}

Base64FileBodySource::Base64FileBodySource(const std::filesystem::path& path) : raw_(path) {
  encoded_size_ = (raw_.Size() + 2) / 3 * 4;
}

std::size_t Base64FileBodySource::Read(char* buffer, std::size_t n) {
  std::size_t written = 0;
  while (written < n) {
    if (pending_pos_ == pending_.size()) {
      block_.resize(kRawBlock);
      std::size_t got = 0;
      // Fill the whole block (FileBodySource hands out at most what is left), so only the
      // file's last block can be short and carry padding.
      while (got < kRawBlock) {
        std::size_t r = raw_.Read(block_.data() + got, kRawBlock - got);
        if (r == 0) break;
        got += r;
      }
      if (got == 0) break;
      block_.resize(got);
      pending_ = Base64Encode(block_);
      pending_pos_ = 0;
    }
    std::size_t take = std::min(n - written, pending_.size() - pending_pos_);
    std::copy_n(pending_.data() + pending_pos_, take, buffer + written);
    pending_pos_ += take;
    written += take;
  }
  return written;
}

}  // namespace veltra
