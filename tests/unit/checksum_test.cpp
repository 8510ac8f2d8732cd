// CRC-32, Adler-32, the tcp checksum, the digests and HMACs (against a table
// made by Python's hashlib and hmac), and the method words.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/codecs/checksum.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using namespace checksum;

std::vector<uint8_t> from_hex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::string to_hex(const uint8_t* p, int32_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (int32_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s;
}

const uint8_t* bytes_of(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(checksum, crc32_adler32_and_tcp_of_known_inputs) {
  struct row { const char* text; int32_t crc; uint32_t adler; };
  const row rows[] = {
      {"", 0, 1},
      {"abc", 891568578, 38600999},
      {"123456789", -873187034, 0x091E01DE},
  };
  for (const row& r : rows) {
    int32_t n = static_cast<int32_t>(strlen(r.text));
    EXPECT_EQ(static_cast<int32_t>(crc32(bytes_of(r.text), n)), r.crc) << r.text;
    EXPECT_EQ(adler32(bytes_of(r.text), n), r.adler) << r.text;
  }
  EXPECT_EQ(tcp(nullptr, 0), 65535);
  EXPECT_EQ(crc32_update(crc32(bytes_of("1234"), 4), bytes_of("56789"), 5),
            crc32(bytes_of("123456789"), 9));
}

TEST(checksum, adler32_reduces_long_runs_without_overflow) {
  std::vector<uint8_t> ff(100000, 0xFF);
  // Python: zlib.adler32(b'\xff' * 100000)
  EXPECT_EQ(adler32(ff.data(), 100000), 0x149A302Cu);
}

TEST(checksum, tcp_pads_an_odd_last_byte_as_the_high_byte) {
  const uint8_t three[] = {0x01, 0x02, 0x03};
  EXPECT_EQ(tcp(three, 3), static_cast<int32_t>(~(0x0102 + 0x0300) & 0xFFFF));
  // Carries fold back in: 0xFFFF + 0x0001 = 0x10000 -> 0x0001.
  const uint8_t carry[] = {0xFF, 0xFF, 0x00, 0x01};
  EXPECT_EQ(tcp(carry, 4), 0xFFFE);
  // The RFC 1071 example words 0001 f203 f4f5 f6f7 sum to ddf2.
  const uint8_t rfc[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  EXPECT_EQ(tcp(rfc, 8), ~0xddf2 & 0xFFFF);
}

struct vector_row { const char* method; const char* data; const char* key; const char* digest; const char* hmac; };
const vector_row vectors[] = {
#include "checksum_vectors.inc"
};

TEST(checksum, digests_and_hmacs_match_pythons_hashlib) {
  test::start_runtime();
  init();
  for (const vector_row& r : vectors) {
    int32_t index = method_index(symbol::make(r.method));
    std::vector<uint8_t> data = from_hex(r.data), key = from_hex(r.key);
    int32_t size = digest_size(index);
    ASSERT_EQ(size * 2, static_cast<int32_t>(strlen(r.digest))) << r.method;
    uint8_t* d = digest(data.data(), static_cast<int32_t>(data.size()), index);
    EXPECT_EQ(to_hex(d, size), r.digest) << r.method << " " << data.size();
    heap::free_tracked(d);
    uint8_t* h = hmac(data.data(), static_cast<int32_t>(data.size()), key.data(),
                      static_cast<int32_t>(key.size()), index);
    EXPECT_EQ(to_hex(h, size), r.hmac) << r.method << " key " << key.size();
    heap::free_tracked(h);
  }
}

TEST(checksum, method_words_ignore_letter_case) {
  test::start_runtime();
  init();
  struct row { const char* spelling; bool method; int32_t index; };
  const row rows[] = {
      {"SHA256", true, SHA256}, {"sha256", true, SHA256}, {"Md5", true, MD5},
      {"TCP", true, TCP},       {"crc32", true, CRC32},   {"sha384", true, SHA384},
      {"SHA1", true, SHA1},     {"sha512", true, SHA512}, {"ADLER32", true, -1},
      {"hash", true, -1},       {"sha224", false, -1},    {"zlib", false, -1},
  };
  for (const row& r : rows) {
    int32_t sym = symbol::make(r.spelling);
    EXPECT_EQ(method_q(sym), r.method) << r.spelling;
    EXPECT_EQ(method_index(sym), r.index) << r.spelling;
  }
  EXPECT_EQ(digest_size(TCP), 0);
  EXPECT_EQ(digest_size(CRC32), 0);
}

TEST(checksum, digest_of_a_non_digest_index_raises_invalid_arg) {
  test::start_runtime();
  for (int32_t index : {int32_t{TCP}, int32_t{CRC32}, 7, -1}) {
    uint32_t code = catch_site(FILTER_FUNCTION, [&] { digest(bytes_of("a"), 1, index); });
    system::clear_thrown();
    EXPECT_EQ(code, THROW_ERROR);
    EXPECT_EQ(last_raised.id.index, err::script_invalid_arg.index);
    EXPECT_EQ(static_cast<int32_t>(last_raised.args[0].data2), index);
    code = catch_site(FILTER_FUNCTION, [&] { hmac(bytes_of("a"), 1, bytes_of("k"), 1, index); });
    system::clear_thrown();
    EXPECT_EQ(code, THROW_ERROR);
  }
}

}  // namespace
}  // namespace ixo
