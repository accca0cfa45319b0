// Seeded random inputs: coding round trips, and readers that never fail on garbage.
#include <gtest/gtest.h>

#include <random>

#include "wire/multipart.h"
#include "wire/request_fields.h"
#include "wire/text.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace {

constexpr int kRounds = 20000;

std::string RandomBytes(std::mt19937& rng, std::size_t max_size) {
  std::uniform_int_distribution<std::size_t> size(0, max_size);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string out(size(rng), '\0');
  for (char& c : out) c = static_cast<char>(byte(rng));
  return out;
}

// Text from a mix of ASCII, blanks and breaks, Persian letters and astral characters.
std::string RandomText(std::mt19937& rng, std::size_t max_chars) {
  static const char32_t kPool[] = {U'a', U'Z', U'0', U'=', U'&', U'+', U'/', U' ', U'\t',
                                   U'\r', U'\n', U'\x01', U'\x7F', 0xE9, 0x639, 0x6CC,
                                   0x200C, 0xFFFD, 0x1F600};
  std::uniform_int_distribution<std::size_t> size(0, max_chars);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPool) - 1);
  std::u16string wide;
  for (std::size_t n = size(rng); n > 0; --n) {
    const char32_t c = kPool[pick(rng)];
    if (c >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(c);
    }
  }
  return Utf16ToUtf8(wide);
}

TEST(WireRandom, TransportCodingRoundTrips) {
  std::mt19937 rng(20261211);
  for (int round = 0; round < kRounds; ++round) {
    const std::string plain = RandomText(rng, 40);
    for (std::int16_t mode : {0, 1, 2}) {
      const std::string coded = TransportEncode(plain, mode);
      ASSERT_EQ(TransportDecode(coded, mode), Trim(plain)) << "round " << round << " mode " << mode;
      if (mode) {
        ASSERT_EQ(coded.size() % 4, 0u);
      }
    }
  }
}

TEST(WireRandom, TransportDecodeOfGarbageGivesValidText) {
  std::mt19937 rng(7);
  for (int round = 0; round < kRounds; ++round) {
    const std::string garbage = RandomBytes(rng, 64);
    for (std::int16_t mode : {0, 1, 2, 3}) {
      const std::string text = TransportDecode(garbage, mode);
      if (mode != 0) {
        ASSERT_TRUE(IsValidUtf8(text)) << "round " << round << " mode " << mode;
      }
    }
    ASSERT_EQ(Base64Decode(Base64Encode(garbage)), garbage);
  }
}

TEST(WireRandom, MultipartRoundTripsGeneratedBodies) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> parts_count(0, 4);
  std::uniform_int_distribution<int> coin(0, 1);
  for (int round = 0; round < kRounds / 4; ++round) {
    const std::string boundary = "----b" + std::to_string(rng());
    const std::string delimiter = "--" + boundary;
    struct Sent { std::string name, file, content; };
    std::vector<Sent> sent;
    std::string body = coin(rng) ? "preamble\r\n" : "";
    for (int p = parts_count(rng); p > 0; --p) {
      Sent s{"n" + std::to_string(p), coin(rng) ? "f" + std::to_string(rng() % 100) + ".bin" : "",
             RandomBytes(rng, 200)};
      if (s.content.find(delimiter) != std::string::npos) continue;
      body += delimiter + "\r\nContent-Disposition: form-data; name=\"" + s.name + "\"";
      if (!s.file.empty()) body += "; filename=\"" + s.file + "\"\r\nContent-Type: x/y";
      body += "\r\n\r\n" + s.content + "\r\n";
      sent.push_back(s);
    }
    body += delimiter + "--\r\n";
    ParamList list;
    const std::int32_t count =
        ReadRequestParams("multipart/form-data; boundary=" + boundary, {}, body, list);
    ASSERT_EQ(count, static_cast<std::int32_t>(sent.size())) << "round " << round;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      ASSERT_EQ(list[i]->ParamName, sent[i].name);
      ASSERT_EQ(list[i]->ParamFileName, sent[i].file);
      ASSERT_EQ(list[i]->Bytes(), sent[i].content) << "round " << round << " part " << i;
      if (sent[i].file.empty()) {
        ASSERT_TRUE(IsValidUtf8(list[i]->ParamValue));
        ASSERT_EQ(list[i]->ParamValue.empty(), sent[i].content.empty());
      }
    }
  }
}

TEST(WireRandom, ReadersNeverFailOnGarbage) {
  std::mt19937 rng(99);
  const std::vector<std::string> kFragments = {
      "--b", "\r\n", "\r", "\n", "Content-Disposition: ", "name=\"", "filename=", ";", "\"",
      "Content-Type:", "=", "x", "\xFF", std::string(1, '\0')};
  std::uniform_int_distribution<std::size_t> pick(0, kFragments.size() - 1);
  std::uniform_int_distribution<int> length(0, 40);
  for (int round = 0; round < kRounds; ++round) {
    std::string body;
    for (int n = length(rng); n > 0; --n) body += kFragments[pick(rng)];
    if (round % 3 == 0) body += RandomBytes(rng, 30);
    ParamList list;
    const std::int32_t count = ReadMultipartParams(body, "--b", list);
    ASSERT_EQ(static_cast<std::size_t>(count), list.size());
    for (const auto& part : list) {
      ASSERT_LE(part->Size(), body.size());
      ASSERT_TRUE(IsValidUtf8(part->ParamName));
      ASSERT_TRUE(IsValidUtf8(part->ParamValue));
      ASSERT_TRUE(IsValidUtf8(part->ParamFileName));
      ASSERT_TRUE(IsValidUtf8(part->ParamType));
    }
    const auto pieces = RequestPieces("application/x-www-form-urlencoded", body, RandomBytes(rng, 20));
    for (const auto& piece : pieces) ASSERT_TRUE(IsValidUtf8(piece));
    ReadFormParams(pieces, list);
    ASSERT_EQ(list.size(), pieces.size());
    for (const auto& part : list) ASSERT_TRUE(IsValidUtf8(part->ParamValue));
    FieldValue(JoinPieces(pieces), "name");
  }
}

}  // namespace
}  // namespace veltra
