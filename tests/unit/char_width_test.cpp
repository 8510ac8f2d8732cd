#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/core/char_width.hpp"

namespace ixo::unicode {
namespace {

struct range {
  uint32_t low, high;
};

std::vector<range> ranges_of(const uint32_t* table, size_t words) {
  std::vector<range> out;
  for (size_t i = 0; i + 1 < words; i += 2) out.push_back({table[i], table[i + 1]});
  return out;
}

TEST(char_width, widths_of_controls_marks_wide_and_ambiguous_characters) {
  struct {
    uint32_t cp;
    int32_t width, cjk;
  } cases[] = {
      {0x0000, 0, 0},   {0x0009, 1, 1},   {0x001F, 1, 1},   {0x0020, 1, 1},
      {0x007F, 1, 1},   {0x009F, 1, 1},   {0x00A0, 1, 1},   {0x00A1, 1, 2},
      {0x00AD, 1, 1},   {0x0301, 0, 0},   {0x0600, 0, 0},   {0x1160, 0, 0},
      {0x11FF, 0, 0},   {0x200B, 1, 1},   {0x200F, 1, 1},   {0xFEFF, 1, 1},
      {0x4E00, 2, 2},   {0x3FFFD, 2, 2},  {0x3FFFE, 1, 1},  {0x1F600, 2, 2},
      {0xE000, 1, 2},   {0x10FFFD, 1, 2}, {0xE0100, 0, 0},  {0x110000, 1, 1},
      {0xFFFFFFFF, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(char_width(c.cp), c.width) << std::hex << c.cp;
    EXPECT_EQ(char_width_cjk(c.cp), c.cjk) << std::hex << c.cp;
  }
}

TEST(char_width, tables_are_sorted_disjoint_and_bounded_as_specified) {
  struct {
    const uint32_t* table;
    size_t words;
    range first, last;
  } tables[] = {
      {zero_width_table, std::size(zero_width_table), {0x0300, 0x036F}, {0xE0100, 0xE01EF}},
      {wide_table, std::size(wide_table), {0x1100, 0x115F}, {0x30000, 0x3FFFD}},
      {ambiguous_table, std::size(ambiguous_table), {0x00A1, 0x00A1}, {0x100000, 0x10FFFD}},
  };
  EXPECT_EQ(std::size(zero_width_table), 678u);
  EXPECT_EQ(std::size(wide_table), 244u);
  EXPECT_EQ(std::size(ambiguous_table), 312u);
  for (const auto& t : tables) {
    auto r = ranges_of(t.table, t.words);
    EXPECT_EQ(r.front().low, t.first.low);
    EXPECT_EQ(r.front().high, t.first.high);
    EXPECT_EQ(r.back().low, t.last.low);
    EXPECT_EQ(r.back().high, t.last.high);
    for (size_t i = 0; i < r.size(); ++i) {
      EXPECT_LE(r[i].low, r[i].high);
      if (i > 0) {
        EXPECT_LT(r[i - 1].high, r[i].low) << std::hex << r[i].low;
      }
    }
  }
}

TEST(char_width, in_ranges_checks_every_range_bound) {
  const uint32_t table[] = {0x10, 0x12, 0x20, 0x20, 0x30, 0x3F};
  struct {
    uint32_t cp;
    bool in;
  } cases[] = {{0x0F, false}, {0x10, true}, {0x12, true}, {0x13, false}, {0x1F, false},
               {0x20, true},  {0x21, false}, {0x30, true}, {0x3F, true},  {0x40, false}};
  for (const auto& c : cases) EXPECT_EQ(in_ranges_q(c.cp, table, 6), c.in) << std::hex << c.cp;
  EXPECT_FALSE(in_ranges_q(0x10, table, 0));
}

// The corpus of independent range tables, one "table first last" row per
// range (hexadecimal), comment lines starting with '#'.
std::map<std::string, std::vector<range>> corpus_tables() {
  const char* root = std::getenv("IXO_CORPORA");
  std::ifstream in(std::string(root ? root : IXO_CORPORA) + "/unicode/display-width-ranges.tsv");
  std::map<std::string, std::vector<range>> tables;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, low, high;
    fields >> name >> low >> high;
    tables[name].push_back({static_cast<uint32_t>(std::stoul(low, nullptr, 16)),
                            static_cast<uint32_t>(std::stoul(high, nullptr, 16))});
  }
  return tables;
}

bool covered(uint32_t cp, const std::vector<range>& ranges) {
  for (const auto& r : ranges) {
    if (r.low <= cp && cp <= r.high) return true;
  }
  return false;
}

TEST(char_width_corpus, tables_agree_with_the_unicode_database) {
  auto corpus = corpus_tables();
  if (corpus.empty()) GTEST_SKIP() << "unicode corpus not found";

  // Wide and ambiguous: exactly the corpus ranges.
  auto expect_same = [](const std::vector<range>& ours, const std::vector<range>& theirs) {
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
      EXPECT_EQ(ours[i].low, theirs[i].low) << i;
      EXPECT_EQ(ours[i].high, theirs[i].high) << i;
    }
  };
  expect_same(ranges_of(wide_table, std::size(wide_table)), corpus["wide"]);
  expect_same(ranges_of(ambiguous_table, std::size(ambiguous_table)), corpus["ambiguous"]);

  // Every combining mark and medial or final jamo is zero-width, and every
  // zero-width code point beyond them is a format character.
  for (const auto& r : corpus["zero-base"]) {
    for (uint32_t cp = r.low; cp <= r.high; ++cp) ASSERT_EQ(char_width(cp), 0) << std::hex << cp;
  }
  for (const auto& r : ranges_of(zero_width_table, std::size(zero_width_table))) {
    for (uint32_t cp = r.low; cp <= r.high; ++cp) {
      ASSERT_TRUE(covered(cp, corpus["zero-base"]) || covered(cp, corpus["cf-candidate"]))
          << std::hex << cp;
    }
  }

  // Widths at the edges of every wide range: marks among wide characters
  // (16FE4) stay zero-width.
  auto width_by_corpus = [&](uint32_t cp) {
    if (covered(cp, corpus["zero-base"])) return 0;
    return covered(cp, corpus["wide"]) ? 2 : 1;
  };
  for (const auto& r : corpus["wide"]) {
    for (uint32_t cp : {r.low - 1, r.low, r.high, r.high + 1}) {
      EXPECT_EQ(char_width(cp), width_by_corpus(cp)) << std::hex << cp;
    }
  }
}

}  // namespace
}  // namespace ixo::unicode
