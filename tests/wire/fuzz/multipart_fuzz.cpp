// The multipart reader on arbitrary bodies: the first byte picks the boundary length, the
// rest is the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wire/multipart.h"
#include "wire/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t boundary_size = std::min<std::size_t>(data[0] % 8, input.size());
  const std::string boundary = input.substr(0, boundary_size);
  const std::string body = input.substr(boundary_size);
  veltra::ParamList list;
  const std::int32_t count = veltra::ReadRequestParams(
      "multipart/form-data; boundary=" + boundary, {}, body, list);
  if (static_cast<std::size_t>(count) != list.size()) std::abort();
  for (const auto& part : list) {
    if (part->Size() > body.size() || part->Position() != 0) std::abort();
    if (!veltra::IsValidUtf8(part->ParamName) || !veltra::IsValidUtf8(part->ParamValue) ||
        !veltra::IsValidUtf8(part->ParamFileName) || !veltra::IsValidUtf8(part->ParamType))
      std::abort();
  }
  return 0;
}
