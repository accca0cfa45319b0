#include "wire/transport_coding.h"

#include <array>

#include "wire/text.h"

namespace veltra {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return table;
}
constexpr auto kDecodeTable = MakeDecodeTable();

// Decoded bytes become text; sequences that are not UTF-8 turn into U+FFFD so the answer
// is always well-formed text.
std::string BytesAsUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return Utf16ToUtf8(Utf8ToUtf16(bytes));
}

// Base64 reads 8-bit characters; a code unit above 255 cannot belong to the alphabet.
std::string AsEightBit(std::u16string_view text) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    out[i] = text[i] < 256 ? static_cast<char>(text[i]) : '?';
  return out;
}

}  // namespace

std::u16string OddEvenSplit(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 1; i < text.size(); i += 2) out += text[i];
  for (std::size_t i = 0; i < text.size(); i += 2) out += text[i];
  return out;
}

std::u16string OddEvenJoin(std::u16string_view text) {
  const std::size_t half = text.size() / 2;
  const std::u16string_view a = text.substr(0, half);
  const std::u16string_view b = text.substr(half);
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    out += b[i];
    if (i < a.size()) out += a[i];
  }
  return out;
}

std::string OddEvenSplit(std::string_view utf8) {
  return Utf16ToUtf8(OddEvenSplit(Utf8ToUtf16(utf8)));
}

std::string OddEvenJoin(std::string_view utf8) {
  return Utf16ToUtf8(OddEvenJoin(Utf8ToUtf16(utf8)));
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                            static_cast<unsigned char>(bytes[i + 1]) << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                            static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  const std::size_t groups = text.size() / 4;
  std::string out;
  out.reserve(groups * 3);
  for (std::size_t g = 0; g < groups; ++g) {
    const std::string_view q = text.substr(g * 4, 4);
    std::uint32_t v = 0;
    for (char c : q) v = v << 6 | kDecodeTable[static_cast<unsigned char>(c)];
    out += static_cast<char>(v >> 16);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
    if (g + 1 == groups) {
      if (q[2] == '=' && q[3] == '=') {
        out.resize(out.size() - 2);
      } else if (q[3] == '=') {
        out.resize(out.size() - 1);
      }
    }
  }
  return out;
}

std::string TransportEncode(std::string_view text, std::int16_t mode) {
  switch (mode) {
    case 0:
      return Trim(text);
    case 1:
      return Trim(Base64Encode(Trim(text)));
    case 2: {
      std::u16string coded = Utf8ToUtf16(Trim(Base64Encode(Trim(text))));
      coded = OddEvenSplit(OddEvenSplit(coded));
      return Utf16ToUtf8(Trim(coded));
    }
    default:
      return {};
  }
}

std::string TransportDecode(std::string_view text, std::int16_t mode) {
  switch (mode) {
    case 0:
      return Trim(text);
    case 1:
      return Trim(BytesAsUtf8(Base64Decode(AsEightBit(Trim(Utf8ToUtf16(text))))));
    case 2: {
      const std::u16string joined = Trim(OddEvenJoin(OddEvenJoin(Utf8ToUtf16(text))));
      return Trim(BytesAsUtf8(Base64Decode(AsEightBit(joined))));
    }
    default:
      return {};
  }
}

}  // namespace veltra
