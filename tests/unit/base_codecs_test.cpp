#include "runtime/codecs/base.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace ixo::base {
namespace {

// Decodes a text of one-byte characters from a buffer of exactly its size
// into a buffer of exactly the capacity, so that AddressSanitizer sees any
// read or write past either. nullopt-like: "invalid" when refused.
struct decoded {
  bool valid;
  std::string bytes;
};

decoded run(int32_t base, const std::string& text) {
  auto in = std::make_unique<uint8_t[]>(text.size());
  std::memcpy(in.get(), text.data(), text.size());
  int32_t length = static_cast<int32_t>(text.size());
  int32_t capacity = decoded_capacity(base, length);
  auto out = std::make_unique<uint8_t[]>(static_cast<size_t>(capacity));
  int32_t n = decode(base, in.get(), length, 1, out.get());
  EXPECT_LE(n, capacity);
  if (n < 0) return {false, ""};
  return {true, std::string(reinterpret_cast<char*>(out.get()), static_cast<size_t>(n))};
}

std::string encoded(int32_t base, const std::string& bytes) {
  int32_t size = encoded_size(base, static_cast<int32_t>(bytes.size()));
  std::vector<uint8_t> out(static_cast<size_t>(size));
  uint8_t* end = encode(base, out.data(), reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<int32_t>(bytes.size()));
  EXPECT_LE(end - out.data(), size);
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<size_t>(end - out.data()));
}

TEST(base_codecs, decoders_accept_blanks_comments_and_refuse_bad_digits) {
  struct row {
    int32_t base;
    std::string text;
    bool valid;
    std::string bytes;
  } rows[] = {
      {16, "0A ff", true, "\x0A\xFF"},
      {16, "0A ;comment ff\nff", true, "\x0A\xFF"},
      {16, "ABC", true, "\xAB"},
      {16, "0A ;to the end ff", true, "\x0A"},
      {16, "0G", false, ""},
      {16, "0\x80", false, ""},
      {16, "\x01\x1F" "0a", true, "\x0A"},
      {2, "01000001", true, "A"},
      {2, "0100 0001\n0100 0010", true, "AB"},
      {2, "0100000", false, ""},
      {2, "01000002", false, ""},
      {64, "QQ==", true, "A"},
      {64, "QUI=", true, "AB"},
      {64, "QUJD", true, "ABC"},
      {64, "Q===", false, ""},
      {64, "QQ", true, ""},
      {64, "QQ==garbage!", true, "A"},
      {64, "Q'UJ D", true, "ABC"},
      {64, "QU-D", false, ""},
      {64, "QU_D", false, ""},
      {64, "QU\vD", false, ""},
      {64, "QU\xC3\xA9", false, ""},
      {64, "", true, ""},
      {58, "1", true, std::string(1, '\0')},
      {58, "111", true, std::string(3, '\0')},
      {58, "", true, ""},
      {58, "5y3", true, "AB"},
      {58, "5 y\n3", true, "AB"},
      {58, "0", false, ""},
      {58, "O", false, ""},
      {58, "I", false, ""},
      {58, "l", false, ""},
      {58, "5y\xFF", false, ""},
  };
  for (const row& r : rows) {
    decoded d = run(r.base, r.text);
    EXPECT_EQ(d.valid, r.valid) << r.base << " " << r.text;
    if (r.valid) {
      EXPECT_EQ(d.bytes, r.bytes) << r.base << " " << r.text;
    }
  }
}

TEST(base_codecs, encoders_write_unbroken_digits) {
  struct row {
    int32_t base;
    std::string bytes, text;
  } rows[] = {
      {64, "A", "QQ=="},
      {64, "AB", "QUI="},
      {64, "ABC", "QUJD"},
      {64, "", ""},
      {16, "\x0A\xFF", "0AFF"},
      {2, "\x81", "10000001"},
      {58, std::string(1, '\0'), "1"},
      {58, std::string("\0\0\0\x01", 4), "1112"},
      {58, "AB", "5y3"},
      {58, "", ""},
  };
  for (const row& r : rows) EXPECT_EQ(encoded(r.base, r.bytes), r.text) << r.base;
  std::string longer(200, '\xA5');
  for (int32_t base : {2, 16, 58, 64}) EXPECT_EQ(encoded(base, longer).find('\n'), std::string::npos);
}

TEST(base_codecs, wide_characters_are_read_at_their_unit_and_never_reduced) {
  const uint16_t wide[] = {'Q', 'U', 'I', '='};
  uint8_t out[8];
  EXPECT_EQ(decode(64, reinterpret_cast<const uint8_t*>(wide), 4, 2, out), 2);
  const uint32_t widest[] = {'4', '1', 0x130};  // 0x130 mod 128 would be "0"
  EXPECT_EQ(decode(16, reinterpret_cast<const uint8_t*>(widest), 3, 4, out), -1);
  EXPECT_EQ(decode(58, reinterpret_cast<const uint8_t*>(widest), 3, 4, out), -1);
}

TEST(base_codecs, sizes_that_pass_31_bits_are_refused) {
  EXPECT_EQ(encoded_size(2, INT32_MAX / 8 + 1), -1);
  EXPECT_EQ(encoded_size(16, INT32_MAX / 2 + 1), -1);
  EXPECT_GT(encoded_size(64, 1000), 0);
}

TEST(base_codecs, random_and_truncated_texts_round_trip_or_are_refused_in_bounds) {
  std::mt19937 rng(12345);
  for (int32_t base : {2, 16, 58, 64}) {
    for (int round = 0; round < 300; ++round) {
      std::string bytes(rng() % 40, '\0');
      for (char& c : bytes) c = static_cast<char>(rng() % 4 == 0 ? 0 : rng());
      std::string text = encoded(base, bytes);
      decoded d = run(base, text);
      ASSERT_TRUE(d.valid) << base;
      EXPECT_EQ(d.bytes, bytes) << base;
      for (size_t cut = 0; cut < text.size(); ++cut) run(base, text.substr(0, cut));
      std::string noise(rng() % 64, '\0');
      for (char& c : noise) c = static_cast<char>(rng());
      run(base, noise);
      run(base, text + ";" + noise);
    }
  }
}

}  // namespace
}  // namespace ixo::base
