// DEFLATE with its zlib and gzip containers: exact compressor output, round
// trips, streams made by zlib, the shared corpus of valid and invalid
// vectors, gzip headers, size probes and refused bombs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/codecs/checksum.hpp"
#include "runtime/codecs/compress.hpp"
#include "runtime/codecs/deflate.hpp"
#include "runtime/codecs/gzip.hpp"
#include "runtime/codecs/zlib.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using bytes = std::vector<uint8_t>;

bytes from_hex(const std::string& hex) {
  bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    if (hex[i] == ' ') --i;
    else out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string to_hex(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {digits[p[i] >> 4], digits[p[i] & 15]};
  return s;
}

// Runs the native half and answers its bytes, or the error it raised
// (id index, or -1 for none).
struct outcome {
  bytes data;
  int32_t error = -1;
};

outcome run_codec(bool compressing, const char* method, const bytes& in, int32_t size = 0) {
  outcome o;
  cell word = error_word(method);
  uint8_t* out = nullptr;
  int32_t length = 0;
  // An exact-size copy, so that a read past the input is caught.
  uint8_t* input = static_cast<uint8_t*>(std::malloc(in.size() + 1));
  if (!in.empty()) std::memcpy(input, in.data(), in.size());
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    out = compressing
              ? compress::compress(&word, input, static_cast<int32_t>(in.size()), &length)
              : compress::decompress(&word, input, static_cast<int32_t>(in.size()), size, &length);
  });
  std::free(input);
  if (code) {
    system::clear_thrown();
    o.error = last_raised.id.index;
    return o;
  }
  o.data.assign(out, out + length);
  heap::free_tracked(out);
  return o;
}

class deflate_codec : public ::testing::Test {
 protected:
  void SetUp() override {
    test::start_runtime();
    checksum::init();
    compress::init_methods();
  }
};

bytes text_of_length(size_t n) {
  bytes b;
  const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps\n", "over ", "lazy ", "dog. "};
  for (uint32_t x = 1; b.size() < n; x = x * 1103515245 + 12345) {
    for (const char* c = words[(x >> 16) & 7]; *c && b.size() < n; ++c) b.push_back(*c);
  }
  return b;
}

bytes noise(size_t n, uint32_t seed) {
  bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>((seed = seed * 1664525 + 1013904223) >> 24);
  return b;
}

TEST_F(deflate_codec, empty_input_compresses_to_the_bare_containers) {
  struct row { const char* method; const char* hex; };
  const row rows[] = {
      {"deflate", "0300"},
      {"zlib", "7801030000000001"},
      {"gzip", "1f8b08000000000004040300" "0000000000000000"},
  };
  for (const row& r : rows) {
    outcome o = run_codec(true, r.method, {});
    EXPECT_EQ(to_hex(o.data.data(), o.data.size()), r.hex) << r.method;
  }
}

TEST_F(deflate_codec, a_run_is_three_literals_then_258_byte_matches) {
  // 3 literals, then matches (1, 258), (258, 258) twice and (258, 223):
  // 112 bits with the block header and end code.
  bytes run(1000, 'a');
  outcome o = run_codec(true, "deflate", run);
  EXPECT_EQ(o.data.size(), 14u);
  EXPECT_EQ(run_codec(false, "deflate", o.data).data, run);
  // A remainder under three bytes goes out as literals: 3 + 24 + 13 + 8 + 7
  // bits.
  EXPECT_EQ(run_codec(true, "deflate", bytes(3 + 258 + 1, 'a')).data.size(), 7u);
}

TEST_F(deflate_codec, every_method_gives_its_input_back) {
  bytes gzip_like = {0x1F, 0x8B, 0x08, 0x00, 'x', 'y'};
  bytes far = noise(40000, 1);
  far.insert(far.end(), far.begin(), far.begin() + 5000);  // a match 40000 back is too far
  const bytes inputs[] = {
      {}, {'a'}, {'a', 'b'}, text_of_length(5000), noise(3000, 9), bytes(70000, 0),
      gzip_like, far, text_of_length(300000),
  };
  for (const char* method : {"deflate", "ZLIB", "Gzip"}) {
    for (const bytes& in : inputs) {
      outcome c = run_codec(true, method, in);
      ASSERT_EQ(c.error, -1) << method << " " << in.size();
      outcome d = run_codec(false, method, c.data);
      ASSERT_EQ(d.error, -1) << method << " " << in.size();
      EXPECT_EQ(d.data, in) << method << " " << in.size();
      // A /size above the input length is used as the first capacity.
      EXPECT_EQ(run_codec(false, method, c.data, static_cast<int32_t>(in.size()) + 100).data, in);
    }
  }
  // Input that begins like gzip is compressed, not copied.
  EXPECT_NE(run_codec(true, "gzip", gzip_like).data, gzip_like);
}

TEST_F(deflate_codec, a_short_buffer_reports_the_exact_size_and_writes_nothing_past_it) {
  bytes in = text_of_length(2000);
  for (auto f : {deflate::compress, zlib::compress, gzip::compress}) {
    int32_t size = 0;
    ASSERT_EQ(f(nullptr, &size, in.data(), 2000), deflate::TOO_SMALL);
    bytes exact(size + 1, 0xEE);
    int32_t capacity = size - 1;
    ASSERT_EQ(f(exact.data(), &capacity, in.data(), 2000), deflate::TOO_SMALL);
    EXPECT_EQ(capacity, size);
    EXPECT_EQ(exact[size - 1], 0xEE);
    capacity = size;
    ASSERT_EQ(f(exact.data(), &capacity, in.data(), 2000), deflate::DONE);
    EXPECT_EQ(exact[size], 0xEE);
    int32_t out = size - 1;
    bytes back(size);
    // The decoders too: the size needed, no byte past the capacity.
    auto un = f == deflate::compress ? deflate::uncompress
              : f == zlib::compress  ? zlib::uncompress
                                     : gzip::uncompress;
    bytes dec(2001, 0xEE);
    out = 1999;
    EXPECT_EQ(un(dec.data(), &out, exact.data(), size), deflate::TOO_SMALL);
    EXPECT_EQ(out, 2000);
    EXPECT_EQ(dec[1999], 0xEE);
  }
}

TEST_F(deflate_codec, decoder_result_codes) {
  struct row { const char* hex; int32_t rc; };
  const row rows[] = {
      {"03 00", deflate::DONE},
      {"01 01 00 fe ff 00", deflate::DONE},
      {"01 01 00 fe fe 00", deflate::BAD_DATA},        // NLEN not the complement of LEN
      {"01 05 00 fa ff 00", deflate::STORED_OVERRUN},  // 5 bytes announced, 1 given
      {"07 00", deflate::BAD_BLOCK_TYPE},
      {"63 00 42 00", deflate::TOO_FAR_BACK},
      {"00 00 00 ff ff", deflate::BAD_DATA},  // ends before the final block
      {"63 18 03 00", deflate::BAD_DATA},     // length symbol 286
      {"63 00 3e 00", deflate::BAD_DATA},     // distance symbol 30
      {"03 00 ff ff", deflate::DONE},         // data after the final block is ignored
  };
  for (const row& r : rows) {
    bytes in = from_hex(r.hex);
    uint8_t out[16];
    int32_t length = 16;
    EXPECT_EQ(deflate::uncompress(out, &length, in.data(), static_cast<int32_t>(in.size())), r.rc)
        << r.hex;
  }
}

struct level_stream { const char* container; const char* hex; };
#include "zlib_levels.inc"

TEST_F(deflate_codec, streams_zlib_makes_at_every_level_decode) {
  bytes original = from_hex(zlib_levels_input);
  for (const level_stream& s : zlib_levels) {
    outcome o = run_codec(false, s.container, from_hex(s.hex));
    EXPECT_EQ(o.data, original) << s.container << " " << std::string(s.hex).substr(0, 16);
  }
}

bytes gzip_with_name_and_header_crc(const bytes& data) {
  bytes g = {0x1F, 0x8B, 0x08, 0x08 | 0x02, 0x12, 0x34, 0x56, 0x78, 0x00, 0x03};
  for (char c : std::string("name.txt")) g.push_back(static_cast<uint8_t>(c));
  g.push_back(0);
  uint32_t hcrc = checksum::crc32(g.data(), static_cast<int32_t>(g.size()));
  g.push_back(hcrc & 0xFF);
  g.push_back(hcrc >> 8 & 0xFF);
  int32_t size = 0;
  deflate::compress(nullptr, &size, data.data(), static_cast<int32_t>(data.size()));
  bytes body(size);
  deflate::compress(body.data(), &size, data.data(), static_cast<int32_t>(data.size()));
  g.insert(g.end(), body.begin(), body.end());
  uint32_t crc = checksum::crc32(data.data(), static_cast<int32_t>(data.size()));
  for (uint32_t v : {crc, static_cast<uint32_t>(data.size())}) {
    for (int i = 0; i < 4; ++i) g.push_back(v >> (8 * i) & 0xFF);
  }
  return g;
}

TEST_F(deflate_codec, gzip_header_name_and_crc_are_checked) {
  bytes data = text_of_length(700);
  bytes g = gzip_with_name_and_header_crc(data);
  EXPECT_EQ(run_codec(false, "gzip", g).data, data);
  // Every header byte is covered: by the magic, method and flag checks or
  // by the header CRC.
  for (size_t i = 0; i < 10 + 9 + 2; ++i) {
    bytes bad = g;
    bad[i] ^= 0x01;
    EXPECT_EQ(run_codec(false, "gzip", bad).error, err::script_invalid_data.index) << i;
  }
  // A name with no end before the trailer.
  bytes cut(g.begin(), g.begin() + 15);
  cut.resize(cut.size() + 8, 'x');
  EXPECT_EQ(run_codec(false, "gzip", cut).error, err::script_invalid_data.index);
}

TEST_F(deflate_codec, decompression_bombs_are_refused) {
  // A gzip trailer that claims 4 GB - 1, or more than the stream could
  // make, is refused before any buffer is made.
  bytes g = run_codec(true, "gzip", bytes(100, 'a')).data;
  for (uint32_t claim : {0xFFFFFFFFu, 100000u}) {
    bytes bad = g;
    for (int i = 0; i < 4; ++i) bad[bad.size() - 4 + i] = claim >> (8 * i) & 0xFF;
    int32_t length = 0;
    EXPECT_EQ(gzip::uncompress(nullptr, &length, bad.data(), static_cast<int32_t>(bad.size())),
              deflate::BAD_DATA);
    EXPECT_EQ(length, 0);
  }
  // A raw stream of 258-byte matches of distance 1 that would pass the
  // output limit: one literal, then 13 bits per match. It is well formed,
  // so the refusal names the limit, not the data.
  bytes bomb;
  uint64_t bits = 0b011 | uint64_t{0x0C} << 3;  // final fixed block; literal 0 (code 0x30 reversed)
  int count = 11;
  int64_t matches = deflate::MAX_OUTPUT / 258 + 2;
  for (int64_t m = 0; m <= matches; ++m) {
    if (m < matches) {
      bits |= uint64_t{0xA3} << count;  // symbol 285: code 0xC5 reversed; distance code 0
      count += 13;
    } else {
      count += 7;  // end of block
    }
    while (count >= 8) {
      bomb.push_back(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  }
  if (count) bomb.push_back(bits & 0xFF);
  EXPECT_EQ(run_codec(false, "deflate", bomb).error, err::script_size_limit.index);
  int32_t length = 0;
  EXPECT_EQ(deflate::uncompress(nullptr, &length, bomb.data(), static_cast<int32_t>(bomb.size())),
            deflate::TOO_LARGE);
  // Cut short, the stream has no end of block: refused, not truncated.
  bytes cut(bomb.begin(), bomb.begin() + 1300);
  EXPECT_EQ(run_codec(false, "deflate", cut).error, err::script_invalid_data.index);
}

TEST_F(deflate_codec, an_unknown_method_word_raises_invalid_arg) {
  outcome o = run_codec(true, "lzma", {1, 2, 3});
  EXPECT_EQ(o.error, err::script_invalid_arg.index);
  EXPECT_EQ(static_cast<int32_t>(last_raised.args[0].data2), symbol::make("lzma"));
  EXPECT_EQ(run_codec(false, "crc32", {3, 0}).error, err::script_invalid_arg.index);
}

// ---- The shared corpus ----

std::string corpus_dir() {
  const char* env = std::getenv("IXO_CORPORA");
  return std::string(env ? env : IXO_CORPORA) + "/deflate-vectors";
}

std::string sha256_hex(const bytes& b) {
  uint8_t* d = checksum::digest(b.data(), static_cast<int32_t>(b.size()), checksum::SHA256);
  std::string s = to_hex(d, 32);
  heap::free_tracked(d);
  return s;
}

std::vector<std::vector<std::string>> read_tsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream f(path);
  for (std::string line; std::getline(f, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string field; std::getline(ss, field, '\t');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(f), {});
}

TEST_F(deflate_codec, corpus_vectors_decode_or_are_refused) {
  auto rows = read_tsv(corpus_dir() + "/deflate-vectors.tsv");
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << corpus_dir();
  int checked = 0;
  for (const auto& r : rows) {
    const std::string& id = r[0];
    std::string container = r[1] == "raw" ? "deflate" : r[1] == "auto" ? "gzip" : r[1];
    // "incomplete" (input ending before the final block or the trailer)
    // and "need-dict" are refused like "error".
    bool ok = r[3] == "ok";
    outcome o = run_codec(false, container.c_str(), from_hex(r[2]));
    ++checked;
    if (!ok) {
      EXPECT_EQ(o.error, err::script_invalid_data.index) << id;
      continue;
    }
    ASSERT_EQ(o.error, -1) << id;
    EXPECT_EQ(std::to_string(o.data.size()), r[5]) << id;
    std::string expected = r.size() > 6 ? r[6] : "";
    if (expected.rfind("sha256:", 0) == 0) {
      expected = expected.substr(7, expected.find('.') - 7);
      EXPECT_EQ(sha256_hex(o.data).substr(0, expected.size()), expected) << id;
    } else {
      bytes want = from_hex(expected);
      EXPECT_EQ(o.data, want) << id;
    }
  }
  EXPECT_GT(checked, 90);
}

TEST_F(deflate_codec, corpus_streams_made_by_zlib_decode) {
  auto rows = read_tsv(corpus_dir() + "/streams/MANIFEST.tsv");
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << corpus_dir();
  for (const auto& r : rows) {
    const std::string& file = r[0];
    std::string ext = file.substr(file.rfind('.') + 1);
    const char* method = ext == "raw" ? "deflate" : ext == "zz" ? "zlib" : "gzip";
    // Refused: damaged files, preset dictionaries, and bytes after the one
    // gzip member whose trailer ends the input.
    bool refused = r[4].rfind("ERROR", 0) == 0 || file == "preset-dict.zz" ||
                   file == "trailing-garbage.gz" || file == "multi-member.gz";
    outcome o = run_codec(false, method, read_file(corpus_dir() + "/streams/" + file));
    if (refused) {
      EXPECT_EQ(o.error, err::script_invalid_data.index) << file;
      continue;
    }
    ASSERT_EQ(o.error, -1) << file;
    EXPECT_EQ(std::to_string(o.data.size()), r[2]) << file;
    EXPECT_EQ(sha256_hex(o.data), r[3]) << file;
  }
}

}  // namespace
}  // namespace ixo
