// checksum, compress and decompress as the interpreter calls them: the
// data taken from strings, binaries and files, the method words in any
// case, the refinement's errors, and round trips through every method.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/natives_checksum.hpp"
#include "support/native_call.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using bytes = std::vector<uint8_t>;

struct vector_row {
  const char* method;
  const char* data;
  const char* key;
  const char* digest;
  const char* hmac;
};

const vector_row digest_vectors[] = {
#include "checksum_vectors.inc"
};

bytes from_hex(const std::string& hex) {
  bytes b;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return b;
}

cell text(const std::string& utf8, uint32_t type = TYPE_STRING) {
  cell c{};
  string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), &c,
                  string::LOAD_UTF8);
  set_type(&c, type);
  return test::keep(c);
}

cell binary_of(const bytes& b) {
  cell c{};
  static const uint8_t nothing = 0;  // a copy of no bytes still reads from somewhere
  binary::load_at(b.empty() ? &nothing : b.data(), static_cast<int32_t>(b.size()), &c);
  return test::keep(c);
}

bytes bytes_of(cell c) {
  const uint8_t* head = binary::rs_head(&c);
  return bytes(head, head + binary::rs_length_q(&c));
}

bytes bytes_of(const std::string& s) { return bytes(s.begin(), s.end()); }

int32_t int_of(const cell& c) { return static_cast<int32_t>(c.data2); }

class checksum_native : public ::testing::Test {
 protected:
  void SetUp() override { test::start_runtime(); }

  static cell sum(cell data, const char* method) {
    return test::call_entry(natives::checksum, {data, error_word(method)}, {-1});
  }
  static cell sum_with(cell data, const char* method, cell spec) {
    return test::call_entry(natives::checksum, {data, error_word(method), spec}, {2});
  }
  static cell compress(cell data, const char* method) {
    return test::call_entry(natives::compress, {data, error_word(method)});
  }
  static cell decompress(cell data, const char* method, int32_t size = -1) {
    if (size < 0) return test::call_entry(natives::decompress, {data, error_word(method)}, {-1});
    return test::call_entry(natives::decompress, {data, error_word(method), integer::make_cell(size)}, {2});
  }
};

TEST_F(checksum_native, crc32_adler32_and_tcp_of_text_and_binary) {
  struct row {
    bytes data;
    const char* method;
    int32_t expected;
  };
  const row rows[] = {
      {{}, "crc32", 0},
      {{}, "adler32", 1},
      {{}, "tcp", 65535},
      {bytes_of("abc"), "crc32", 891568578},
      {bytes_of("123456789"), "crc32", -873187034},
      {bytes_of("abc"), "adler32", 38600999},
      {bytes_of("abc"), "CRC32", 891568578},
      // An odd last byte is the high byte of a zero-padded word:
      // ~(0x0102 + 0x0300) & 0xFFFF.
      {{0x01, 0x02, 0x03}, "tcp", 0xFBFD},
  };
  for (const row& r : rows) {
    cell as_binary = sum(binary_of(r.data), r.method);
    EXPECT_EQ(TYPE_OF(&as_binary), TYPE_INTEGER);
    EXPECT_EQ(int_of(as_binary), r.expected) << r.method;
    if (r.data.empty() || r.data[0] != 1) {
      std::string s(r.data.begin(), r.data.end());
      EXPECT_EQ(int_of(sum(text(s), r.method)), r.expected) << r.method << " of the text " << s;
    }
  }
}

TEST_F(checksum_native, data_is_taken_from_the_index_and_text_as_utf8) {
  cell b = binary_of(bytes_of("xxabc"));
  b.data1 = 2;
  EXPECT_EQ(int_of(sum(b, "crc32")), 891568578);
  bytes utf8 = bytes_of("h\xC3\xA9llo \xE2\x82\xAC");
  EXPECT_EQ(int_of(sum(text("h\xC3\xA9llo \xE2\x82\xAC"), "crc32")), int_of(sum(binary_of(utf8), "crc32")));
}

TEST_F(checksum_native, digests_and_hmacs_match_pythons_hashlib_and_hmac) {
  for (const vector_row& v : digest_vectors) {
    cell data = binary_of(from_hex(v.data));
    EXPECT_EQ(bytes_of(sum(data, v.method)), from_hex(v.digest)) << v.method << " " << v.data;
    EXPECT_EQ(bytes_of(sum_with(data, v.method, binary_of(from_hex(v.key)))), from_hex(v.hmac))
        << v.method << " HMAC " << v.data;
  }
}

TEST_F(checksum_native, method_words_ignore_case_and_text_keys_are_utf8) {
  cell data = text("abc");
  EXPECT_EQ(bytes_of(sum(data, "SHA256")), bytes_of(sum(data, "sha256")));
  EXPECT_EQ(bytes_of(sum(data, "Sha256")).size(), 32u);
  EXPECT_EQ(bytes_of(sum_with(data, "sha1", text("k\xC3\xA9y"))),
            bytes_of(sum_with(data, "sha1", binary_of(bytes_of("k\xC3\xA9y")))));
  // Python: hmac.new(b"key", b"abc", "md5").hexdigest()
  EXPECT_EQ(bytes_of(sum_with(data, "md5", text("key"))), from_hex("d2fe98063f876b03193afb49b4979591"));
}

TEST_F(checksum_native, refusals) {
  struct row {
    const char* what;
    error_id error;
    std::function<void()> call;
  };
  const row rows[] = {
      {"crc32 with a key", err::script_invalid_refine_arg, [] { sum_with(text("a"), "crc32", text("k")); }},
      {"tcp with a size", err::script_invalid_refine_arg, [] { sum_with(text("a"), "tcp", integer::make_cell(10)); }},
      {"hash without a size", err::script_invalid_refine_arg, [] { sum(text("a"), "hash"); }},
      {"hash with a key", err::script_invalid_refine_arg, [] { sum_with(text("a"), "hash", text("k")); }},
      {"hash with a size", err::internal_not_done, [] { sum_with(text("a"), "hash", integer::make_cell(10)); }},
      {"sha1 with a size", err::internal_not_done, [] { sum_with(text("a"), "sha1", integer::make_cell(10)); }},
      {"an unknown method", err::script_invalid_arg, [] { sum(text("a"), "sha3"); }},
      {"a missing file", err::access_cannot_open, [] { sum(text("/nonexistent/ixo-file", TYPE_FILE), "md5"); }},
  };
  for (const row& r : rows) EXPECT_TRUE(test::is(test::raised(r.call), r.error)) << r.what;
}

TEST_F(checksum_native, a_file_is_read_whole) {
  std::string path = ::testing::TempDir() + "ixo-checksum-file";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite("123456789", 1, 9, f);
  std::fclose(f);
  EXPECT_EQ(int_of(sum(text(path, TYPE_FILE), "crc32")), -873187034);
  std::remove(path.c_str());
}

TEST_F(checksum_native, compress_of_empty_input_gives_the_bare_streams) {
  EXPECT_EQ(bytes_of(compress(text(""), "deflate")), from_hex("0300"));
  EXPECT_EQ(bytes_of(compress(binary_of({}), "zlib")), from_hex("7801030000000001"));
  EXPECT_EQ(bytes_of(compress(binary_of({}), "GZIP")), from_hex("1f8b08000000000004040300" "0000000000000000"));
}

TEST_F(checksum_native, decompress_gives_back_what_compress_made) {
  std::string long_text;
  for (int i = 0; i < 5000; ++i) long_text += "line " + std::to_string(i % 97) + "\n";
  const std::vector<bytes> inputs = {
      {},
      bytes_of("a"),
      bytes_of(long_text),
      {0x1F, 0x8B, 0x08, 0x00, 0x01, 0x02},  // looks like gzip, is compressed all the same
      bytes(70000, 0xAB),
  };
  for (const char* method : {"deflate", "zlib", "gzip"}) {
    for (const bytes& in : inputs) {
      cell packed = compress(binary_of(in), method);
      EXPECT_EQ(bytes_of(decompress(packed, method)), in) << method << " of " << in.size() << " bytes";
      EXPECT_EQ(bytes_of(decompress(packed, method, static_cast<int32_t>(in.size()) + 100)), in) << method;
    }
    // Text compresses as its UTF-8.
    EXPECT_EQ(bytes_of(decompress(compress(text("\xE2\x82\xAC 5"), method), method)), bytes_of("\xE2\x82\xAC 5"));
  }
}

TEST_F(checksum_native, decompress_refuses_corrupt_data_and_unknown_methods) {
  cell packed = compress(text("hello hello hello hello"), "zlib");
  bytes corrupt = bytes_of(packed);
  corrupt[corrupt.size() - 1] ^= 1;  // the Adler-32 no longer matches
  cell bad = binary_of(corrupt);
  cell reserved_block = binary_of({0x07, 0x00});
  struct row {
    const char* what;
    error_id error;
    std::function<void()> call;
  };
  const row rows[] = {
      {"a wrong check value", err::script_invalid_data, [&] { decompress(bad, "zlib"); }},
      {"a zlib stream read as gzip", err::script_invalid_data, [&] { decompress(packed, "gzip"); }},
      {"the reserved block type", err::script_invalid_data, [&] { decompress(reserved_block, "deflate"); }},
      {"an unknown method", err::script_invalid_arg, [&] { decompress(packed, "lzma"); }},
      {"compressing with one", err::script_invalid_arg, [&] { compress(packed, "lzma"); }},
      {"a negative size", err::script_out_of_range, [&] {
         test::call_entry(natives::decompress, {packed, error_word("zlib"), integer::make_cell(-5)}, {2});
       }},
  };
  for (const row& r : rows) EXPECT_TRUE(test::is(test::raised(r.call), r.error)) << r.what;
}

}  // namespace
}  // namespace ixo
