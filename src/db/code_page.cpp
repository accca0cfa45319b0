#include "db/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace veltra::db {
namespace {

// iconv knows the Windows code pages under more than one name depending on the C library.
class Converter {
 public:
  Converter(const char* to_utf8_or_null, int code_page) {
    const std::string names[] = {"CP" + std::to_string(code_page),
                                 "WINDOWS-" + std::to_string(code_page)};
    for (const auto& name : names) {
      cd_ = to_utf8_or_null ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
      if (cd_ != reinterpret_cast<iconv_t>(-1)) return;
    }
    throw std::runtime_error("Code page " + std::to_string(code_page) + " is not available");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in`; an unconvertible or malformed sequence becomes '?' and
  // conversion goes on after it (`skip_char` tells how many input bytes to drop).
  template <typename SkipChar>
  std::string Run(std::string_view in, SkipChar skip_char) {
    std::string out;
    std::vector<char> buffer(4096);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    while (true) {
      char* dst = buffer.data();
      size_t dst_left = buffer.size();
      size_t rc = iconv(cd_, src_left ? &src : nullptr, &src_left, &dst, &dst_left);
      out.append(buffer.data(), buffer.size() - dst_left);
      if (rc != static_cast<size_t>(-1)) {
        if (src_left == 0) break;
        continue;
      }
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: drop one character of input, write '?'.
      size_t n = skip_char(std::string_view(src, src_left));
      src += n;
      src_left -= n;
      out += '?';
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      if (src_left == 0) break;
    }
    return out;
  }

 private:
  iconv_t cd_;
};

size_t Utf8CharLength(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (n > s.size()) return s.size();
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return i;
  }
  return n;
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, int code_page) {
  Converter c(nullptr, code_page);
  if (code_page != 1256) return c.Run(utf8, Utf8CharLength);
  // Windows converts the Persian yeh (U+06CC), which code page 1256 lacks, to the Arabic yeh
  // (U+064A) by best fit instead of dropping it; Persian documents depend on that.
  std::string fitted;
  fitted.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\xDB' && i + 1 < utf8.size() && utf8[i + 1] == '\x8C') {
      fitted += "\xD9\x8A";
      ++i;
    } else {
      fitted += utf8[i];
    }
  }
  return c.Run(fitted, Utf8CharLength);
}

std::string CodePageToUtf8(std::string_view bytes, int code_page) {
  Converter c("UTF-8", code_page);
  return c.Run(bytes, [](std::string_view) { return size_t{1}; });
}

}  // namespace veltra::db
