// The keyless coding that listener 1 puts around its request text and its answers:
// mode 0 plain, 1 Base64 of the UTF-8 text, 2 Base64 with a double odd/even shuffle.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veltra {

// `mode` is Coding_Mode; any mode other than 0, 1 and 2 gives the empty text.
std::string TransportEncode(std::string_view text, std::int16_t mode);
// Mode 2 un-shuffles the text exactly as received, so callers trim before decoding.
std::string TransportDecode(std::string_view text, std::int16_t mode);

// Characters at even positions (1-based) first, then those at odd positions. Works on UTF-16
// code units; the UTF-8 forms convert on the way in and out.
std::u16string OddEvenSplit(std::u16string_view text);
std::u16string OddEvenJoin(std::u16string_view text);
std::string OddEvenSplit(std::string_view utf8);
std::string OddEvenJoin(std::string_view utf8);

// Standard alphabet, "=" padding, no line breaks.
std::string Base64Encode(std::string_view bytes);
// Whole groups of four only; one to three trailing characters are ignored. A last group
// ending in "=" (or "==") gives one (or two) bytes less. Characters outside the alphabet
// count as zero bits.
std::string Base64Decode(std::string_view text);

}  // namespace veltra
