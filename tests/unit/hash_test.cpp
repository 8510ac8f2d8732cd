#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/hash.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "support/child.hpp"
#include "support/memory.hpp"

namespace ixo::hash {
namespace {

std::string corpora() {
  const char* env = std::getenv("IXO_CORPORA");
  return env ? env : IXO_CORPORA;
}

struct vector_row {
  std::vector<uint8_t> input;
  bool verification = false;  // the SMHasher verification row
  uint32_t seed = 0;
  uint32_t expected = 0;
  std::string note;
};

std::vector<uint8_t> from_hex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  if (hex == "-") return bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Rows of murmur3_x86_32.tsv: input hex, seed hex, expected hex, note.
std::vector<vector_row> read_vectors() {
  std::ifstream file(corpora() + "/hash-vectors/murmur3_x86_32.tsv");
  std::vector<vector_row> rows;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string input, seed, expected;
    vector_row r;
    std::getline(fields, input, '\t');
    std::getline(fields, seed, '\t');
    std::getline(fields, expected, '\t');
    std::getline(fields, r.note);
    r.verification = input == "smhasher-verification";
    if (!r.verification) {
      r.input = from_hex(input);
      r.seed = static_cast<uint32_t>(std::stoul(seed, nullptr, 16));
    }
    r.expected = static_cast<uint32_t>(std::stoul(expected, nullptr, 16));
    rows.push_back(r);
  }
  return rows;
}

// SMHasher's check: the hashes of the keys 0..255 bytes long, each seeded
// with 256 - length, hashed together with seed 0.
uint32_t smhasher_verification() {
  uint8_t key[256];
  uint8_t hashes[1024];
  for (int i = 0; i < 256; ++i) {
    key[i] = static_cast<uint8_t>(i);
    uint32_t h = murmur3_x86_32(key, i, 256 - i);
    for (int b = 0; b < 4; ++b) hashes[4 * i + b] = static_cast<uint8_t>(h >> (8 * b));
  }
  return murmur3_x86_32(hashes, sizeof hashes, 0);
}

TEST(murmur3, matches_the_published_vectors) {
  std::vector<vector_row> rows = read_vectors();
  if (rows.empty()) GTEST_SKIP() << "no hash vectors under " << corpora();
  for (const vector_row& r : rows) {
    uint32_t got = r.verification ? smhasher_verification()
                                  : murmur3_x86_32(r.input.data(), static_cast<int32_t>(r.input.size()), r.seed);
    EXPECT_EQ(got, r.expected) << r.note;
    // The hash of nothing is the finaliser of the seed.
    if (!r.verification && r.input.empty()) {
      EXPECT_EQ(mix_pointer(r.seed), r.expected) << r.note;
    }
  }
}

struct hashing : test::fresh_memory {
  static void SetUpTestSuite() { case_folding::init(); }
  void TearDown() override {
    set_seed(0);
    test::fresh_memory::TearDown();
  }
};

// A string! of the code points in a series of the given unit.
cell make_string(const std::vector<uint32_t>& code_points, uint32_t unit, uint32_t type = TYPE_STRING) {
  uint32_t node = memory::alloc_unit_series(static_cast<int32_t>(code_points.size()), unit);
  memory::series_buffer* b = memory::buffer_of(node);
  uint8_t* p = memory::head_of(b);
  for (uint32_t cp : code_points) {
    std::memcpy(p, &cp, unit);  // little-endian: the low bytes
    p += unit;
  }
  memory::set_tail(b, p);
  return cell{type, 0, node, 0};
}

TEST_F(hashing, strings_hash_as_utf32_in_every_unit_with_the_global_seed) {
  std::vector<vector_row> rows = read_vectors();
  if (rows.empty()) GTEST_SKIP() << "no hash vectors under " << corpora();
  int checked = 0;
  for (const vector_row& r : rows) {
    if (r.note.find("UTF-32LE") == std::string::npos) continue;
    std::vector<uint32_t> cps;
    for (size_t i = 0; i + 4 <= r.input.size(); i += 4) {
      cps.push_back(r.input[i] | r.input[i + 1] << 8 | r.input[i + 2] << 16 | static_cast<uint32_t>(r.input[i + 3]) << 24);
    }
    set_seed(r.seed);
    for (uint32_t unit : {1u, 2u, 4u}) {
      bool fits = true;
      for (uint32_t cp : cps) fits = fits && cp < (unit == 4 ? 0x110000u : 1u << (8 * unit));
      if (!fits) continue;
      cell upper = make_string(cps, unit);
      EXPECT_EQ(string(&upper, false), r.expected) << r.note << " unit " << unit;
      EXPECT_EQ(string(&upper, true), r.expected) << r.note << " unit " << unit;
      std::vector<uint32_t> lower;
      for (uint32_t cp : cps) lower.push_back(case_folding::change_char(cp, 0));
      cell folded = make_string(lower, unit);
      EXPECT_EQ(string(&folded, false), r.expected) << r.note << " unit " << unit;
      if (lower != cps) {
        EXPECT_NE(string(&folded, true), r.expected) << r.note << " unit " << unit;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 10);
}

TEST_F(hashing, strings_hash_from_their_index) {
  cell whole = make_string({'x', 'a', 'b', 'c'}, 1);
  memory::root_guard keep_whole(&whole);
  cell part = make_string({'A', 'B', 'C'}, 2);
  whole.data1 = 1;
  EXPECT_EQ(value(&whole), value(&part));
  whole.data1 = 4;  // at the tail: the hash of nothing
  EXPECT_EQ(string(&whole, false), murmur3_x86_32("", 0, seed));
}

TEST_F(hashing, a_string_of_another_unit_is_runtime_error_101) {
  cell odd = make_string({'a', 'b'}, 1);
  memory::buffer_of(odd.data2)->flags = (memory::buffer_of(odd.data2)->flags & ~memory::SERIES_UNIT) | 3;
  auto child = test::run_child([&] { string(&odd, false); });
  EXPECT_EQ(child.status, 101);
  EXPECT_NE(child.output.find("*** Runtime Error 101"), std::string::npos) << child.output;
}

TEST_F(hashing, names_fold_ascii_letters_only) {
  set_seed(0x9747B28C);
  const uint8_t print_upper[] = "PRINT", print_mixed[] = "Print", print_lower[] = "print";
  EXPECT_EQ(fold_name(print_upper, 5), murmur3_x86_32(print_lower, 5, seed));
  EXPECT_EQ(fold_name(print_mixed, 5), fold_name(print_lower, 5));
  const uint8_t e_acute_small[] = "\xC3\xA9", e_acute_capital[] = "\xC3\x89";
  EXPECT_NE(fold_name(e_acute_small, 2), fold_name(e_acute_capital, 2));
  const uint8_t at_bracket[] = "@[", backquote_brace[] = "`{";  // neighbours of A-Z and a-z
  EXPECT_EQ(fold_name(at_bracket, 2), murmur3_x86_32(at_bracket, 2, seed));
  EXPECT_EQ(fold_name(backquote_brace, 2), murmur3_x86_32(backquote_brace, 2, seed));
}

cell* in_new_block(const cell& c) {
  uint32_t node = memory::alloc_cells(4);
  memory::series_buffer* b = memory::buffer_of(node);
  cell* at = memory::head_of<cell>(b) + 2;
  *at = c;
  return at;
}

TEST_F(hashing, values_hash_by_their_meaning_not_their_place) {
  set_seed(12345);
  constexpr uint32_t NEWLINE = NEWLINE_FLAG;
  struct row {
    const char* what;
    cell a, b;
    bool alike;
  };
  const row rows[] = {
      {"point3D! in two blocks", {TYPE_POINT3D, 1, 2, 3}, {TYPE_POINT3D, 1, 2, 3}, true},
      {"point3D! z differs", {TYPE_POINT3D, 1, 2, 3}, {TYPE_POINT3D, 1, 2, 4}, false},
      {"integer! with a new-line marker", {TYPE_INTEGER, 9, 42, 7}, {TYPE_INTEGER | NEWLINE, 0, 42, 0}, true},
      {"float! by its 8 bytes", {TYPE_FLOAT, 1, 0, 0x3FF00000}, {TYPE_FLOAT, 2, 0, 0x3FF00000}, true},
      {"float! differs", {TYPE_FLOAT, 0, 0, 0x3FF00000}, {TYPE_FLOAT, 0, 0, 0x40000000}, false},
      {"block! by index and node", {TYPE_BLOCK, 1, 64, 5}, {TYPE_BLOCK | NEWLINE, 1, 64, 6}, true},
      {"block! at another index", {TYPE_BLOCK, 1, 64, 0}, {TYPE_BLOCK, 2, 64, 0}, false},
      {"tuple! bytes past its length", {TYPE_TUPLE | 3u << 19, 0x00030201, 0xAA, 0}, {TYPE_TUPLE | 3u << 19, 0xFF030201, 0xBB, 0}, true},
      {"tuple! of another length", {TYPE_TUPLE | 3u << 19, 0x00030201, 0, 0}, {TYPE_TUPLE | 4u << 19, 0x00030201, 0, 0}, false},
      {"money! flags other than the sign", {TYPE_MONEY, 5, 6, 7}, {TYPE_MONEY | NEWLINE | 1u << 20, 5, 6, 7}, true},
      {"money! of the other sign", {TYPE_MONEY, 5, 6, 7}, {TYPE_MONEY | 1u << 14, 5, 6, 7}, false},
      {"native! by its third word", {TYPE_NATIVE, 1, 2, 3}, {TYPE_NATIVE, 4, 5, 3}, true},
      {"logic! by its first word", {TYPE_LOGIC, 1, 2, 3}, {TYPE_LOGIC, 1, 5, 6}, true},
  };
  for (const row& r : rows) {
    uint32_t a = value(in_new_block(r.a)), b = value(in_new_block(r.b));
    EXPECT_EQ(a == b, r.alike) << r.what;
  }
  struct fixed {
    cell c;
    uint32_t hash;
  };
  const fixed answers[] = {
      {{TYPE_UNSET, 1, 2, 3}, 0xFFFFFFFE},
      {{TYPE_NONE, 1, 2, 3}, 0xFFFFFFFF},
      {{TYPE_INTEGER, 0, 42, 0}, mix_pointer(42)},
      {{TYPE_BITSET, 1, 2, 3}, 0},
      {{TYPE_VECTOR, 1, 2, 3}, 0},
      {{TYPE_CONTEXT, 1, 2, 3}, 0},
  };
  for (const fixed& f : answers) EXPECT_EQ(value(&f.c), f.hash) << TYPE_OF(&f.c);
}

TEST_F(hashing, binaries_hash_their_bytes_from_the_index_without_folding) {
  cell bin = make_string({'x', 'a', 'B'}, 1, TYPE_BINARY);
  bin.data1 = 1;
  EXPECT_EQ(value(&bin), murmur3_x86_32("aB", 2, seed));
  cell other_case = make_string({'A', 'b'}, 1, TYPE_BINARY);
  EXPECT_NE(value(&bin), value(&other_case));
}

TEST_F(hashing, a_binary_past_its_tail_hashes_as_empty) {
  cell bin = make_string({'a', 'b', 'c'}, 1, TYPE_BINARY);
  memory::root_guard keep_bin(&bin);
  bin.data1 = 7;  // the series was cut after this value was taken
  EXPECT_EQ(value(&bin), murmur3_x86_32("", 0, seed));
}

}  // namespace
}  // namespace ixo::hash

