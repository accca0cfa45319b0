// Decoding of arbitrary request text in every mode, and the round trip of whatever text
// the decoder gives back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wire/text.h"
#include "wire/transport_coding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (std::int16_t mode : {0, 1, 2}) {
    const std::string plain = veltra::TransportDecode(input, mode);
    if (mode != 0 && !veltra::IsValidUtf8(plain)) std::abort();
    if (veltra::IsValidUtf8(plain) &&
        veltra::TransportDecode(veltra::TransportEncode(plain, mode), mode) != veltra::Trim(plain))
      std::abort();
  }
  if (veltra::Base64Decode(veltra::Base64Encode(input)) != input) std::abort();
  return 0;
}
