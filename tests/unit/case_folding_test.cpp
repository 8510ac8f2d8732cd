#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <iterator>

#include "runtime/core/case_folding.hpp"

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

}  // namespace
}  // namespace ixo::case_folding
