#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <iterator>
#include <vector>

#include "runtime/core/case_folding.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/memory/roots.hpp"
#include "support/moving_collector.hpp"

namespace ixo::case_folding {
namespace {

class case_folding : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { init(); }
};

TEST_F(case_folding, maps_code_points_in_both_directions) {
  struct {
    uint32_t cp, upper, lower;
  } cases[] = {
      {'a', 'A', 'a'},           {'A', 'A', 'a'},           {'5', '5', '5'},
      {0x00E9, 0x00C9, 0x00E9},  {0x00C9, 0x00C9, 0x00E9},  {0x00FF, 0x0178, 0x00FF},
      {0x0178, 0x0178, 0x00FF},  {0x00DF, 0x00DF, 0x00DF},  {0x0131, 0x0049, 0x0131},
      {0x01C5, 0x01C4, 0x01C6},  {0x10D0, 0x1C90, 0x10D0},  {0xFF41, 0xFF21, 0xFF41},
      {0x10428, 0x10400, 0x10428}, {0x10400, 0x10400, 0x10428},
      {0x1E943, 0x1E921, 0x1E943}, {0x1E921, 0x1E921, 0x1E943},
      {0x20000, 0x20000, 0x20000}, {0x10000, 0x10000, 0x10000}, {0x10FFFF, 0x10FFFF, 0x10FFFF},
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(change_char(c.cp, 1), c.upper) << std::hex << c.cp;
    EXPECT_EQ(change_char(c.cp, 0), c.lower) << std::hex << c.cp;
  }
}

TEST_F(case_folding, pair_lists_are_sorted_and_every_pair_is_served) {
  struct {
    const case_pair* pairs;
    size_t count;
    int32_t upper;
    uint32_t first, last;
  } lists[] = {
      {bmp_lower_to_upper, std::size(bmp_lower_to_upper), 1, 0x61, 0xFF5A},
      {bmp_upper_to_lower, std::size(bmp_upper_to_lower), 0, 0x41, 0xFF3A},
      {supplementary_lower_to_upper, std::size(supplementary_lower_to_upper), 1, 0x10428, 0x1E943},
      {supplementary_upper_to_lower, std::size(supplementary_upper_to_lower), 0, 0x10400, 0x1E921},
  };
  EXPECT_EQ(bmp_upper_to_lower[0].target, 0x61u);
  EXPECT_EQ(bmp_lower_to_upper[0].target, 0x41u);
  EXPECT_EQ(std::size(supplementary_lower_to_upper), 225u);
  EXPECT_EQ(std::size(supplementary_upper_to_lower), 225u);
  EXPECT_EQ(std::size(bmp_upper_to_lower), 1158u);
  for (const auto& l : lists) {
    EXPECT_EQ(l.pairs[0].source, l.first);
    EXPECT_EQ(l.pairs[l.count - 1].source, l.last);
    for (size_t i = 0; i < l.count; ++i) {
      if (i > 0) {
        EXPECT_LT(l.pairs[i - 1].source, l.pairs[i].source);
      }
      EXPECT_EQ(change_char(l.pairs[i].source, l.upper), l.pairs[i].target)
          << std::hex << l.pairs[i].source;
    }
  }
}

// The C library's case mappings are those of a newer Unicode version, which
// only adds mappings: every pair here must be one of its mappings too.
TEST_F(case_folding, pairs_agree_with_the_c_library) {
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  auto check = [](const case_pair* pairs, size_t count, bool upper) {
    for (size_t i = 0; i < count; ++i) {
      auto c = static_cast<wint_t>(pairs[i].source);
      wint_t mapped = upper ? std::towupper(c) : std::towlower(c);
      EXPECT_EQ(static_cast<uint32_t>(mapped), pairs[i].target) << std::hex << pairs[i].source;
    }
  };
  check(bmp_lower_to_upper, std::size(bmp_lower_to_upper), true);
  check(bmp_upper_to_lower, std::size(bmp_upper_to_lower), false);
  check(supplementary_lower_to_upper, std::size(supplementary_lower_to_upper), true);
  check(supplementary_upper_to_lower, std::size(supplementary_upper_to_lower), false);
  std::setlocale(LC_CTYPE, "C");
}

// ---- Changing values in place --------------------------------------------------

struct case_change : test::moving_memory {
  static void SetUpTestSuite() { init(); }
};

std::vector<uint32_t> chars_of(const cell* s) {
  std::vector<uint32_t> out;
  for (int32_t i = 0; i < string::rs_abs_length_q(s); ++i) out.push_back(string::rs_abs_at(s, i));
  return out;
}

TEST_F(case_change, strings_change_from_the_index_widening_when_needed) {
  enum limit_kind { NO_PART, COUNT, POSITION };
  struct {
    std::vector<uint32_t> text;
    uint32_t unit, index;
    int32_t upper;
    limit_kind limit;
    int32_t part;  // a count, or a position in the same string
    std::vector<uint32_t> want;
    uint32_t want_unit, want_index;
  } rows[] = {
      {{0xE9}, 1, 0, 1, NO_PART, 0, {0xC9}, 1, 0},
      {{0xC9}, 1, 0, 0, NO_PART, 0, {0xE9}, 1, 0},
      {{'a', 0xFF}, 1, 0, 1, NO_PART, 0, {'A', 0x178}, 2, 0},
      {{0x178}, 2, 0, 0, NO_PART, 0, {0xFF}, 2, 0},
      {{0x1E943, 'x'}, 4, 0, 1, NO_PART, 0, {0x1E921, 'X'}, 4, 0},
      {{0x1E921}, 4, 0, 0, NO_PART, 0, {0x1E943}, 4, 0},
      {{'5', 0x20000}, 4, 0, 1, NO_PART, 0, {'5', 0x20000}, 4, 0},
      {{'a', 'b', 'c'}, 1, 1, 1, NO_PART, 0, {'a', 'B', 'C'}, 1, 1},
      {{'a', 'b', 'c'}, 1, 7, 1, NO_PART, 0, {'a', 'b', 'c'}, 1, 3},  // past the tail
      {{'a', 'b', 'c', 'd'}, 1, 2, 1, COUNT, 3, {'a', 'b', 'C', 'D'}, 1, 2},
      {{'a', 'b', 'c', 'd'}, 1, 1, 1, COUNT, 1, {'a', 'B', 'c', 'd'}, 1, 1},
      {{'a', 'b', 'c', 'd'}, 1, 1, 1, COUNT, -2, {'a', 'b', 'c', 'd'}, 1, 1},
      {{'a', 'b', 'c', 'd'}, 1, 1, 1, POSITION, 3, {'a', 'B', 'C', 'd'}, 1, 1},
      {{'a', 'b', 'c', 'd'}, 1, 2, 1, POSITION, 1, {'a', 'b', 'c', 'd'}, 1, 2},
      {{'a', 'b', 0xFF, 'd'}, 1, 0, 1, POSITION, 9, {'A', 'B', 0x178, 'D'}, 2, 0},
  };
  for (const auto& r : rows) {
    cell args[2] = {};
    memory::root_guard keep(&args[0]);
    string::make_at_unit(&args[0], static_cast<int32_t>(r.text.size()), r.unit);
    for (size_t i = 0; i < r.text.size(); ++i) {
      string::overwrite_char(memory::GET_BUFFER(&args[0]), static_cast<int32_t>(i), r.text[i]);
    }
    ASSERT_EQ(memory::GET_UNIT(memory::GET_BUFFER(&args[0])), r.unit);
    args[0].data1 = r.index;
    if (r.limit == COUNT) args[1] = {TYPE_INTEGER, 0, static_cast<uint32_t>(r.part), 0};
    if (r.limit == POSITION) args[1] = {TYPE_STRING, static_cast<uint32_t>(r.part), args[0].data2, 0};
    EXPECT_EQ(change(&args[0], r.limit == NO_PART ? 0 : 1, r.upper), &args[0]);
    EXPECT_EQ(chars_of(&args[0]), r.want) << "row " << &r - rows;
    EXPECT_EQ(memory::GET_UNIT(memory::GET_BUFFER(&args[0])), r.want_unit) << "row " << &r - rows;
    EXPECT_EQ(args[0].data1, r.want_index) << "row " << &r - rows;
  }
}

TEST_F(case_change, a_part_that_is_neither_a_count_nor_a_position_in_the_string_is_refused) {
  cell args[2] = {};
  memory::root_guard keep(&args[0]);
  string::rs_make_at(&args[0], 3);
  string::concatenate_literal(memory::GET_BUFFER(&args[0]), "abc");
  cell other{};
  memory::root_guard keep_other(&other);
  string::rs_make_at(&other, 3);
  const cell refused[] = {
      {TYPE_STRING, 1, other.data2, 0},     // another series
      {TYPE_FILE, 1, args[0].data2, 0},     // another type
      {TYPE_NONE, 0, 0, 0},
  };
  for (const cell& part : refused) {
    args[1] = part;
    EXPECT_TRUE(test::raises(err::script_invalid_refine_arg, [&] { change(&args[0], 1, 1); }));
    EXPECT_EQ(last_raised.args[1].header, part.header);
    EXPECT_EQ(chars_of(&args[0]), (std::vector<uint32_t>{'a', 'b', 'c'})) << "nothing changed";
  }
}

TEST_F(case_change, chars_change_in_place_and_other_values_stay) {
  struct {
    uint32_t cp;
    int32_t upper;
    uint32_t want;
  } rows[] = {{0xE9, 1, 0xC9}, {0xFF, 1, 0x178}, {0x1E921, 0, 0x1E943}, {'7', 1, '7'}};
  for (const auto& r : rows) {
    cell c{TYPE_CHAR, 0, r.cp, 0};
    EXPECT_EQ(change(&c, 0, r.upper), &c);
    EXPECT_EQ(c.data2, r.want);
  }
  cell n{TYPE_INTEGER, 0, 'a', 0};
  change(&n, 0, 1);
  EXPECT_EQ(n.data2, static_cast<uint32_t>('a'));
}

}  // namespace
}  // namespace ixo::case_folding
