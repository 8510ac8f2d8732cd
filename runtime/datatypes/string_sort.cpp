// string!: sort over code units or records of them, by the comparators of
// each unit width or by a comparison function, and the set operations.
// Case-insensitive orders fold every unit width through the same case
// table, to upper case.
#include "runtime/datatypes/string_sort.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/core/sort.hpp"
#include "runtime/core/sort_compare.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::string {

using namespace memory;

namespace {

uint32_t fold(uint32_t cp) { return case_folding::change_char(cp, 1); }

template <class U>
uint32_t unit_at(const void* item, int32_t k) {
  U u;
  std::memcpy(&u, static_cast<const uint8_t*>(item) + static_cast<size_t>(k) * sizeof(U), sizeof(U));
  return u;
}

// ---- Comparators ---------------------------------------------------------------

// How two items compare: the unit at `offset` of each, or every unit of the
// records in turn when offset is -1.
struct order {
  int32_t record;
  int32_t offset;
  bool fold;
  bool reverse;
};

template <class U>
int32_t compare_units(const void* a, const void* b, intptr_t context, intptr_t) {
  const order& o = *reinterpret_cast<const order*>(context);
  int32_t from = o.offset < 0 ? 0 : o.offset;
  int32_t to = o.offset < 0 ? o.record : o.offset + 1;
  for (int32_t k = from; k < to; ++k) {
    uint32_t x = unit_at<U>(a, k), y = unit_at<U>(b, k);
    if (o.fold) {
      x = fold(x);
      y = fold(y);
    }
    if (x != y) {
      int32_t d = static_cast<int32_t>(x) - static_cast<int32_t>(y);
      return o.reverse ? -d : d;
    }
  }
  return 0;
}

sort::comparator units_comparator(uint32_t unit) {
  switch (unit) {
    case 1: return compare_units<uint8_t>;
    case 2: return compare_units<uint16_t>;
    default: return compare_units<uint32_t>;
  }
}

// A comparison function gets two char! values, the first code points of
// the items, or with /all two strings holding the whole records; the
// second item first unless reversed.
struct call_order {
  const cell* function;
  uint32_t unit;
  int32_t record;
  bool reverse;
  cell* left;   // the records' strings, with /all
  cell* right;
};

uint32_t first_code_point(const void* item, uint32_t unit) {
  switch (unit) {
    case 1: return unit_at<uint8_t>(item, 0);
    case 2: return unit_at<uint16_t>(item, 0);
    default: return unit_at<uint32_t>(item, 0);
  }
}

void hold_record(cell* s, const void* item, uint32_t unit, int32_t record) {
  int32_t bytes = record * static_cast<int32_t>(unit);
  series_buffer* b = GET_BUFFER(s);
  if (data_end(b) - head_of(b) < bytes) b = expand_series(b, bytes);
  b->flags = (b->flags & ~SERIES_UNIT) | unit;
  std::memcpy(head_of(b), item, static_cast<size_t>(bytes));
  b->tail = b->head + static_cast<uint32_t>(bytes);
  s->data1 = 0;
}

int32_t compare_call(const void* a, const void* b, intptr_t context, intptr_t) {
  const call_order& o = *reinterpret_cast<const call_order*>(context);
  cell x, y;
  if (o.left) {
    hold_record(o.left, a, o.unit, o.record);
    hold_record(o.right, b, o.unit, o.record);
    x = *o.left;
    y = *o.right;
  } else {
    x = cell{TYPE_CHAR, 0, first_code_point(a, o.unit), 0};
    y = cell{TYPE_CHAR, 0, first_code_point(b, o.unit), 0};
  }
  return o.reverse ? sort::call_compare(o.function, x, y) : sort::call_compare(o.function, y, x);
}

void sort_items(void* base, int32_t items, int32_t width, intptr_t context, sort::comparator compare,
                bool stable) {
  if (stable)
    sort::mergesort(base, items, width, context, 0, compare);
  else
    sort::qsort(base, items, width, context, 0, compare);
}

// Sorts by a comparison function. The function may allocate, which moves
// the string's buffer, or even change the string: the items are sorted in
// a copy outside the arena and copied back when the string still has them.
void sort_by_function(cell* series, int32_t index, int32_t n, int32_t record, cell* function,
                      bool all, bool reverse, bool stable) {
  uint32_t unit = GET_UNIT(GET_BUFFER(series));
  int64_t bytes = static_cast<int64_t>(n) * unit;
  if (bytes > INT32_MAX) fire(err::internal_no_memory);
  struct heap_block {
    void* p;
    ~heap_block() { heap::free_tracked(p); }
  } copy{heap::try_alloc_tracked(static_cast<int32_t>(bytes))};
  if (!copy.p) fire(err::internal_no_memory);
  std::memcpy(copy.p, head_of(GET_BUFFER(series)) + static_cast<size_t>(index) * unit, static_cast<size_t>(bytes));

  cell fn = *function, left{TYPE_UNSET, 0, 0, 0}, right{TYPE_UNSET, 0, 0, 0};
  root_guard keep_fn(&fn), keep_left(&left), keep_right(&right);
  call_order o{&fn, unit, record, reverse, nullptr, nullptr};
  if (all) {
    make_at_unit(&left, record, unit);
    make_at_unit(&right, record, unit);
    o.left = &left;
    o.right = &right;
  }
  sort_items(copy.p, n / record, record * static_cast<int32_t>(unit), reinterpret_cast<intptr_t>(&o),
             compare_call, stable);

  series_buffer* b = GET_BUFFER(series);
  if (GET_UNIT(b) == unit && index + n <= rs_abs_length_q(series))
    std::memcpy(head_of(b) + static_cast<size_t>(index) * unit, copy.p, static_cast<size_t>(bytes));
}

}  // namespace

// ---- sort --------------------------------------------------------------------

cell* sort_units(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
                 int32_t reverse, int32_t stable) {
  int32_t length = rs_abs_length_q(series);
  int32_t index = static_cast<int32_t>(series->data1) < length ? static_cast<int32_t>(series->data1) : length;
  int32_t n = length - index;
  if (stack::given_q(part)) {
    int32_t count = static_cast<int32_t>(series::part_length(series, index, part));
    if (count < 0) {
      // The units before the index.
      index += count;
      if (index < 0) {
        series->data1 = 0;
        return series;
      }
      series->data1 = static_cast<uint32_t>(index);
      n = -count;
    } else if (count < n) {
      n = count;
    }
  }
  if (n == 0) return series;

  int32_t record = 1;
  if (stack::given_q(skip)) {
    record = TYPE_OF(skip) == TYPE_INTEGER ? static_cast<int32_t>(skip->data2) : 0;
    if (record < 1 || record > n || n % record != 0)
      fire(err::script_invalid_refine_arg, {series::refinement_value("skip"), *skip});
  } else if (all) {
    fire(err::script_bad_refines);
  }

  order o{record, all ? -1 : 0, case_ == 0, reverse != 0};
  if (stack::given_q(comparator)) {
    switch (TYPE_OF(comparator)) {
      case TYPE_FUNCTION:
        sort_by_function(series, index, n, record, comparator, all != 0, reverse != 0, stable != 0);
        return series;
      case TYPE_INTEGER: {
        if (!stack::given_q(skip) || all) fire(err::script_bad_refines);
        int32_t k = static_cast<int32_t>(comparator->data2);
        if (k < 1 || k > record) fire(err::script_out_of_range, {*comparator});
        o.offset = k - 1;
        break;
      }
      default:
        fire(err::script_invalid_refine_arg, {series::refinement_value("compare"), *comparator});
    }
  }

  // The comparators allocate nothing: the buffer stays where it is.
  series_buffer* b = GET_BUFFER(series);
  uint32_t unit = GET_UNIT(b);
  sort_items(head_of(b) + static_cast<size_t>(index) * unit, n / record, record * static_cast<int32_t>(unit),
             reinterpret_cast<intptr_t>(&o), units_comparator(unit), stable != 0);
  return series;
}

// An owned string's owner hears of the sort before and after it.
cell* sort(cell* series, int32_t case_, cell* skip, cell* comparator, cell* part, int32_t all,
           int32_t reverse, int32_t stable) {
  int32_t at = std::min(static_cast<int32_t>(series->data1), rs_abs_length_q(series));
  int32_t count = rs_abs_length_q(series) - at;
  bool owned = ownership::check(series, words::word_sort, nullptr, at, count);
  cell* result = sort_units(series, case_, skip, comparator, part, all, reverse, stable);
  if (owned) ownership::check(series, words::word_sorted, nullptr, at, count);
  return result;
}

// ---- Set operations ------------------------------------------------------------

namespace {

// One pass over `from` record by record: the records the operation keeps
// whose key (first code point) does not yet start a record of the result
// are appended to it.
void set_pass(const cell* from, const cell* other, const cell* result, int32_t record, bool case_, int32_t op) {
  int32_t length = rs_abs_length_q(from);
  for (int32_t i = static_cast<int32_t>(from->data1); i < length; i += record) {
    uint32_t key = rs_abs_at(from, i);
    bool keep = true;
    if (op == SET_INTERSECT) keep = find_char_skip_q(key, other, record, case_);
    if (op == SET_EXCLUDE || op == SET_DIFFERENCE) keep = !find_char_skip_q(key, other, record, case_);
    if (!keep || find_char_skip_q(key, result, record, case_)) continue;
    series_buffer* b = GET_BUFFER(result);
    for (int32_t k = 0; k < record && i + k < length; ++k) b = append_char(b, rs_abs_at(from, i + k));
  }
}

}  // namespace

cell* do_set_op(int32_t case_, cell* skip, int32_t op) {
  cell* first = stack::arguments;
  cell* second = stack::arguments + 1;
  int32_t record = 1;
  if (stack::given_q(skip)) {
    record = TYPE_OF(skip) == TYPE_INTEGER ? static_cast<int32_t>(skip->data2) : 0;
    if (record < 1) fire(err::script_invalid_refine_arg, {series::refinement_value("skip"), *skip});
  }
  rs_head(first);  // an index past the tail becomes the tail
  if (op != SET_UNIQUE) rs_head(second);
  int64_t room = rs_length_q(first) + static_cast<int64_t>(op == SET_UNION ? rs_length_q(second) : 0);
  if (room > INT32_MAX) fire(err::internal_no_memory);
  cell* result = stack::push_slot();
  rs_make_at(result, static_cast<int32_t>(room));
  set_pass(first, second, result, record, case_ != 0, op);
  if (op == SET_UNION || op == SET_DIFFERENCE) set_pass(second, first, result, record, case_ != 0, op);
  first->data1 = 0;
  first->data2 = result->data2;
  stack::pop(1);
  return first;
}

}  // namespace ixo::string
