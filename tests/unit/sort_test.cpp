#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/sort.hpp"
#include "runtime/interpreter/fire.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"

namespace ixo::sort {
namespace {

// Items are `width` bytes; the key is the first min(width, 4) bytes, little
// endian, masked; bytes 4 on carry the item's input position so that tests
// can see stability and that records move whole.
struct order {
  int32_t width;
  uint32_t mask = 0xFFFFFFFF;
  int64_t comparisons = 0;
  int64_t fail_at = -1;  // comparison number that raises an error
};

uint32_t key_of(const unsigned char* item, const order& o) {
  uint32_t k = 0;
  for (int32_t b = 0; b < std::min(o.width, 4); ++b) k |= uint32_t{item[b]} << (8 * b);
  return k & o.mask;
}

int32_t by_key(const void* a, const void* b, intptr_t, intptr_t context2) {
  auto& o = *reinterpret_cast<order*>(context2);
  if (++o.comparisons == o.fail_at) fire(err::script_invalid_compare);
  uint32_t x = key_of(static_cast<const unsigned char*>(a), o);
  uint32_t y = key_of(static_cast<const unsigned char*>(b), o);
  return x < y ? -1 : x > y ? 1 : 0;
}

using sorter = void (*)(void*, int32_t, int32_t, intptr_t, intptr_t, comparator);

struct array {
  std::vector<unsigned char> bytes;
  int32_t width;
  int32_t count() const { return static_cast<int32_t>(bytes.size() / width); }
  std::string item(int32_t i) const {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + i * width, width);
  }
  std::vector<std::string> items() const {
    std::vector<std::string> all;
    for (int32_t i = 0; i < count(); ++i) all.push_back(item(i));
    return all;
  }
};

array make_array(const std::vector<uint32_t>& keys, int32_t width) {
  array a{std::vector<unsigned char>(keys.size() * width), width};
  for (size_t i = 0; i < keys.size(); ++i) {
    unsigned char* p = a.bytes.data() + i * width;
    for (int32_t b = 0; b < width; ++b)
      p[b] = b < 4 ? static_cast<unsigned char>(keys[i] >> (8 * b))
                   : static_cast<unsigned char>(i >> (8 * ((b - 4) % 4)));
  }
  return a;
}

int64_t run(sorter sort, array& a, order& o) {
  o.comparisons = 0;
  sort(a.bytes.data(), a.count(), a.width, 0, reinterpret_cast<intptr_t>(&o), by_key);
  return o.comparisons;
}

// The result is ordered by key and holds exactly the input's items; for the
// merge sort it is the one stable order.
void expect_sorted(sorter sort, const array& input, order o, const std::string& what) {
  array a = input;
  run(sort, a, o);
  std::vector<std::string> expected = input.items();
  auto by = [&](const std::string& x, const std::string& y) {
    return key_of(reinterpret_cast<const unsigned char*>(x.data()), o) <
           key_of(reinterpret_cast<const unsigned char*>(y.data()), o);
  };
  std::stable_sort(expected.begin(), expected.end(), by);
  std::vector<std::string> got = a.items();
  if (sort == mergesort) {
    ASSERT_EQ(got, expected) << what;
    return;
  }
  ASSERT_TRUE(std::is_sorted(got.begin(), got.end(), by)) << what;
  std::sort(got.begin(), got.end());
  std::sort(expected.begin(), expected.end());
  ASSERT_EQ(got, expected) << what;
}

// For 4-byte items the key is the whole item: the result must be the keys
// in ascending order.
void expect_keys_sorted(const array& a, std::vector<uint32_t> keys, const std::string& what) {
  std::sort(keys.begin(), keys.end());
  std::vector<uint32_t> got(keys.size());
  std::memcpy(got.data(), a.bytes.data(), a.bytes.size());
  ASSERT_EQ(got, keys) << what;
}

// Key sequences that walk the sorts' different paths: presorted input, runs
// to absorb, few distinct keys, samples at every scale.
std::vector<uint32_t> keys(const std::string& kind, int32_t n, std::mt19937& rng) {
  std::vector<uint32_t> k(n);
  std::iota(k.begin(), k.end(), 0u);
  auto any = [&](uint32_t below) { return static_cast<uint32_t>(rng() % below); };
  if (kind == "random") for (auto& x : k) x = any(1u << 30);
  if (kind == "few") for (auto& x : k) x = any(3);
  if (kind == "equal") std::fill(k.begin(), k.end(), 7u);
  if (kind == "descending") std::reverse(k.begin(), k.end());
  if (kind == "descending pairs") for (int32_t i = 0; i < n; ++i) k[i] = (n - i) / 2;
  if (kind == "sorted tail") for (int32_t i = n - n / 20; i < n; ++i) k[i] = any(n);
  if (kind == "descending tail") {
    std::reverse(k.begin(), k.end());
    for (int32_t i = n - n / 20; i < n; ++i) k[i] = any(n);
  }
  if (kind == "noisy ascending") for (int32_t i = 0; i < n; i += 37) k[i] = any(n);
  if (kind == "noisy descending") {
    std::reverse(k.begin(), k.end());
    for (int32_t i = 5; i < n; i += 41) k[i] = any(n);
  }
  if (kind == "random head") for (int32_t i = 0; i < std::min(n, 30); ++i) k[i] = any(n);
  if (kind == "up then down") for (int32_t i = 50; i < n; ++i) k[i] = n - i;
  if (kind == "sawtooth") for (int32_t i = 0; i < n; ++i) k[i] = i % 50;
  if (kind == "organ pipe") for (int32_t i = 0; i < n; ++i) k[i] = std::min(i, n - i);
  if (kind == "shuffled runs") {
    for (int32_t i = 0; i < n; ++i) k[i] = (i / 300 * 7919) % 1000 * 1000 + i % 300;
  }
  return k;
}

const char* const kinds[] = {"sorted", "random", "few", "equal", "descending", "descending pairs",
                             "sorted tail", "descending tail", "noisy ascending", "noisy descending",
                             "random head", "up then down", "sawtooth", "organ pipe", "shuffled runs"};

TEST(sort, both_sorts_order_every_kind_of_input_for_every_width) {
  std::mt19937 rng(17);
  const int32_t sizes[] = {0, 1, 2, 3, 7, 8, 9, 60, 97, 511, 512, 700, 3000, 20000};
  const int32_t widths[] = {1, 2, 3, 4, 16, 32};
  for (sorter s : {qsort, mergesort})
    for (const char* kind : kinds)
      for (int32_t n : sizes)
        for (int32_t w : widths) {
          if ((n == 20000 && w != 4) || (n == 3000 && w != 4 && w != 32)) continue;
          array a = make_array(keys(kind, n, rng), w);
          expect_sorted(s, a, {w}, std::string(kind) + " n=" + std::to_string(n) + " w=" + std::to_string(w) +
                                       (s == qsort ? " qsort" : " mergesort"));
        }
}

TEST(sort, large_inputs_reach_the_growing_samples) {
  std::mt19937 rng(5);
  for (const char* kind : {"random", "few", "shuffled runs"}) {
    std::vector<uint32_t> k = keys(kind, 300000, rng);
    array a = make_array(k, 4);
    order o{4};
    run(qsort, a, o);
    expect_keys_sorted(a, k, kind);
  }
}

TEST(sort, every_short_sequence_of_three_keys) {
  // All 3^9 sequences of nine keys: partitions, medians and insertion sort
  // meet every arrangement of ties.
  for (int32_t code = 0; code < 19683; ++code) {
    std::vector<uint32_t> k;
    for (int32_t c = code, i = 0; i < 9; ++i, c /= 3) k.push_back(static_cast<uint32_t>(c % 3));
    array a = make_array(k, 8);
    expect_sorted(qsort, a, {8}, std::to_string(code));
    expect_sorted(mergesort, a, {8}, std::to_string(code));
  }
}

TEST(sort, qsort_costs_one_scan_for_sorted_input) {
  std::mt19937 rng(1);
  array a = make_array(keys("sorted", 10000, rng), 4);
  array before = a;
  order o{4};
  EXPECT_EQ(run(qsort, a, o), 9999);
  EXPECT_EQ(a.bytes, before.bytes);
}

TEST(sort, qsort_of_nearly_ordered_input_costs_close_to_one_scan) {
  // Ascending or descending keys with ten stray items at the end.
  std::mt19937 rng(3);
  const int32_t n = 100000;
  for (bool descending : {false, true}) {
    std::vector<uint32_t> k(n);
    for (int32_t i = 0; i < n; ++i) k[i] = static_cast<uint32_t>(descending ? n - i : i);
    for (int32_t i = n - 10; i < n; ++i) k[i] = static_cast<uint32_t>(rng() % n);
    array a = make_array(k, 4);
    order o{4};
    EXPECT_LT(run(qsort, a, o), n + n / 10) << descending;
    expect_keys_sorted(a, k, descending ? "descending" : "ascending");
  }
}

TEST(sort, qsort_core_uses_an_ordered_sample_at_either_end) {
  std::mt19937 rng(9);
  struct row { int32_t n, sample; };
  // Small samples (a <= n/256) grow sixteenfold; large ones split in place.
  const row rows[] = {{8, 3}, {20, 19}, {100, 3}, {100, 40}, {100, 99}, {1000, 3}, {5000, 10}, {5000, 19}, {70000, 200}};
  for (const row& r : rows)
    for (bool at_back : {false, true})
      for (const char* kind : {"random", "few"}) {
        std::vector<uint32_t> k = keys(kind, r.n, rng);
        int32_t from = at_back ? r.n - r.sample : 0;
        std::sort(k.begin() + from, k.begin() + from + r.sample);
        array a = make_array(k, 4);
        order o{4};
        qsort_core(a.bytes.data(), at_back ? -r.sample : r.sample, a.count(), 4, 0,
                   reinterpret_cast<intptr_t>(&o), by_key);
        expect_keys_sorted(a, k, (std::string(kind) + " n=" + std::to_string(r.n) + " sample " +
                                  std::to_string(at_back ? -r.sample : r.sample)));
      }
}

TEST(sort, eight_equal_items_end_after_one_partition) {
  array a = make_array(std::vector<uint32_t>(8, 5), 4);
  order o{4};
  qsort_core(a.bytes.data(), 0, 8, 4, 0, reinterpret_cast<intptr_t>(&o), by_key);
  EXPECT_EQ(o.comparisons, 7);  // median of three: 2; the six others against the pivot: 5
}

TEST(sort, mergesort_keeps_equal_keys_in_input_order) {
  // Letters compared without case, one byte each; 32-byte records keyed on
  // one of four values.
  std::string text = "bBaAbaABcCaCbcAaBbCAcabB";
  array letters{std::vector<unsigned char>(text.begin(), text.end()), 1};
  order fold{1, 0xDF};
  array sorted = letters;
  run(mergesort, sorted, fold);
  EXPECT_EQ(std::string(sorted.bytes.begin(), sorted.bytes.end()), "aAaAaAaAabBbBbBbbBcCCcCc");

  std::mt19937 rng(11);
  std::vector<uint32_t> k(5000);
  for (auto& x : k) x = static_cast<uint32_t>(rng() % 4);
  expect_sorted(mergesort, make_array(k, 32), {32}, "records");
}

TEST(sort, mergesort_size_beyond_32_bits_is_too_long) {
  order o{4};
  try {
    mergesort(nullptr, INT32_MAX, 4, 0, reinterpret_cast<intptr_t>(&o), by_key);
    ADD_FAILURE() << "no error";
  } catch (const throw_signal& s) {
    EXPECT_EQ(s.code, THROW_ERROR);
    EXPECT_EQ(last_raised.id.category, err::script_too_long.category);
    EXPECT_EQ(last_raised.id.index, err::script_too_long.index);
  }
  EXPECT_EQ(o.comparisons, 0);
}

TEST(sort, mergesort_without_heap_room_is_no_memory) {
  array a = make_array(std::vector<uint32_t>(100, 1), 4);
  order o{4};
  heap::inject_failure(1);
  try {
    run(mergesort, a, o);
    ADD_FAILURE() << "no error";
  } catch (const throw_signal&) {
    EXPECT_EQ(last_raised.id.category, err::internal_no_memory.category);
    EXPECT_EQ(last_raised.id.index, err::internal_no_memory.index);
  }
  heap::inject_failure(0);
}

TEST(sort, comparator_errors_unwind_leaving_a_permutation_and_no_buffer) {
  std::mt19937 rng(23);
  array input = make_array(keys("random", 2000, rng), 16);
  for (sorter s : {qsort, mergesort}) {
    array whole = input;
    order counting{16};
    int64_t total = run(s, whole, counting);
    for (int64_t fail_at = 1; fail_at <= total; fail_at += total / 16) {
      array a = input;
      order o{16};
      o.fail_at = fail_at;
      heap::tracked_block* last = heap::list.last;
      bool raised = false;
      try {
        run(s, a, o);
      } catch (const throw_signal& signal) {
        raised = signal.code == THROW_ERROR;
      }
      EXPECT_TRUE(raised) << fail_at;
      EXPECT_EQ(heap::list.last, last) << "merge buffer left on the tracked heap";
      std::vector<std::string> got = a.items(), expected = input.items();
      std::sort(got.begin(), got.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(got, expected) << (s == qsort ? "qsort " : "mergesort ") << fail_at;
    }
  }
}

}  // namespace
}  // namespace ixo::sort
