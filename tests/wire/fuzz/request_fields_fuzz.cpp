// Parameter text, field lookup and the form reader on arbitrary bodies and query strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wire/multipart.h"
#include "wire/request_fields.h"
#include "wire/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('?');
  const std::string body = input.substr(0, split);
  const std::string query = split == std::string::npos ? "" : input.substr(split + 1);
  for (const char* type : {"application/x-www-form-urlencoded",
                           "application/x-www-form-urlencoded; charset=windows-1256",
                           "application/x-www-form-urlencoded; charset=iso-8859-1"}) {
    const auto pieces = veltra::RequestPieces(type, body, query);
    for (const auto& piece : pieces)
      if (!veltra::IsValidUtf8(piece)) std::abort();
    const std::string text = veltra::JoinPieces(pieces);
    const std::string first = pieces.empty() ? "" : pieces.front();
    const std::size_t eq = first.find('=');
    // A first piece without line breaks or NUL is found again by its own name.
    if (eq != std::string::npos && first.find_first_of(std::string("\r\n\0", 3)) == std::string::npos &&
        veltra::FieldValue(text, first.substr(0, eq)) != first.substr(eq + 1))
      std::abort();
    veltra::ParamList list;
    if (veltra::ReadFormParams(pieces, list) != static_cast<std::int32_t>(pieces.size()))
      std::abort();
  }
  return 0;
}
