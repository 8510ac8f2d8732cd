// string!: comparison, find and select (with the byte and number cases of
// binary! and vector!, which inherit them), path access, and the parse
// engine's matching tests.
// Case-insensitive comparisons fold both sides to upper case through the
// case-folding tables, whatever the unit.
#include "runtime/datatypes/string_compare.hpp"

#include <climits>
#include <cstring>

#include "runtime/core/case_folding.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::string {

using namespace memory;

namespace {

// A bitset buffer whose bits stand for the code points not in the set.
constexpr uint32_t BITSET_COMPLEMENTED = 0x80000;

uint32_t fold(uint32_t cp) { return case_folding::upper_char(cp); }

bool equality_q(int32_t op) {
  return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
}

// Membership of a code point: bit c is bit 7 - (c & 7) of byte c >> 3 of
// the bits from the head; a code point past them belongs to a complemented
// set only.
bool in_bitset(const cell* bitset, uint32_t cp) {
  series_buffer* b = GET_BUFFER(bitset);
  uint64_t bits = static_cast<uint64_t>(b->tail - b->head) * 8;
  if (cp >= bits) return (b->flags & BITSET_COMPLEMENTED) != 0;
  return (head_of(b)[cp >> 3] & (0x80 >> (cp & 7))) != 0;
}

template <class U>
uint32_t unit_at(const uint8_t* p, int32_t i) {
  U u;
  std::memcpy(&u, p + static_cast<size_t>(i) * sizeof(U), sizeof(U));
  return u;
}

// The order of the first n code points of two runs of units: at the first
// that differs (upper-cased first when folding), -1 or 1; else 0.
template <class U1, class U2>
int32_t compare_units(const uint8_t* p1, const uint8_t* p2, int32_t n, bool folding) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t c1 = unit_at<U1>(p1, i), c2 = unit_at<U2>(p2, i);
    if (c1 == c2) continue;
    if (folding) {
      c1 = fold(c1);
      c2 = fold(c2);
      if (c1 == c2) continue;
    }
    return c1 < c2 ? -1 : 1;
  }
  return 0;
}

// ---- Search ------------------------------------------------------------------

// What find looks for: one code point, a member of a bitset, one number
// (an element of a binary! or vector! equal to it by value), a run of units
// (a string-like value, a binary!, or a value's form) from its index, or
// nothing (a value that no element of a float vector can equal).
struct pattern {
  enum kind_t { CODE_POINT, BITSET, NUMBER, TEXT, NOTHING } kind;
  uint32_t cp;
  double number;
  cell value;
  int32_t length;  // units a match spans
};

// Elements from the head to the tail, whatever the unit: a float vector's
// is 8.
int32_t units_of(const cell* series) {
  series_buffer* b = GET_BUFFER(series);
  return static_cast<int32_t>((b->tail - b->head) / GET_UNIT(b));
}

// A binary!'s byte or a vector!'s element as a number: a vector reads its
// elements by their type, so an 8-bit integer element holding FFh is -1.
double number_at(const cell* series, const uint8_t* head, int32_t at) {
  uint32_t unit = GET_UNIT(GET_BUFFER(series));
  const uint8_t* p = head + static_cast<size_t>(at) * unit;
  if (TYPE_OF(series) == TYPE_BINARY) return *p;
  uint32_t type = series->data3;
  if (type == TYPE_FLOAT || type == TYPE_PERCENT) return vector::get_float(p, unit);
  return vector::get_int(p, unit);
}

// Candidates run from `start` by `step` units: forward up to `end`
// (exclusive), backward down to `bound`. A match lies inside the range;
// backward, it ends at its candidate.
struct search {
  int32_t start;
  int32_t end;
  int32_t bound;
  int32_t step;
  bool backward;
  bool fold;
  bool first_only;  // /match
};

template <class S, class Match>
int32_t scan(const search& s, int32_t m, Match matches) {
  if (!s.backward) {
    int64_t last = static_cast<int64_t>(s.end) - m;  // the last start that fits
    if (s.first_only) return s.start <= last && matches(s.start) ? s.start : -1;
    for (int64_t i = s.start; i <= last; i += s.step) {
      if (matches(static_cast<int32_t>(i))) return static_cast<int32_t>(i);
    }
    return -1;
  }
  for (int64_t i = s.start; i >= s.bound; i -= s.step) {
    int64_t begin = i - m + 1;
    if (begin < s.bound) return -1;
    if (matches(static_cast<int32_t>(begin))) return static_cast<int32_t>(begin);
    if (s.first_only) return -1;
  }
  return -1;
}

// A forward scan of a unit-1 series, one unit at a time, for a text of m
// units that only the byte `first` can start: memchr finds the candidates,
// `rest` checks the units after the first.
template <class Rest>
int32_t scan_from_byte(const search& s, const uint8_t* head, int32_t m, uint8_t first, Rest rest) {
  int64_t last = static_cast<int64_t>(s.end) - m;  // the last start that fits
  if (last < s.start) return -1;
  const uint8_t* p = head + s.start;
  const uint8_t* stop = head + last + 1;
  while (p < stop) {
    p = static_cast<const uint8_t*>(std::memchr(p, first, static_cast<size_t>(stop - p)));
    if (!p) return -1;
    auto at = static_cast<int32_t>(p - head);
    if (rest(at)) return at;
    ++p;
  }
  return -1;
}

bool plain_forward_q(const search& s) { return !s.backward && s.step == 1 && !s.first_only; }

// Whether a unit-1 text matches only itself in a unit-1 series when
// folded: no byte of it is a letter or above 7Fh (no code point up to FFh
// folds to an ASCII one, and folding moves only letters among ASCII).
bool caseless_q(const uint8_t* text, int32_t m) {
  for (int32_t i = 0; i < m; ++i) {
    uint8_t b = text[i];
    if (b >= 0x80 || static_cast<uint32_t>((b | 0x20) - 'a') < 26) return false;
  }
  return true;
}

// A forward scan of a unit-1 series, one unit at a time, for a unit-1 text
// matched byte for byte: the library's substring search over the range.
int32_t scan_bytes(const search& s, const uint8_t* head, const uint8_t* text, int32_t m) {
  if (static_cast<int64_t>(s.end) - s.start < m) return -1;
  const void* at = memmem(head + s.start, static_cast<size_t>(s.end - s.start), text, static_cast<size_t>(m));
  return at ? static_cast<int32_t>(static_cast<const uint8_t*>(at) - head) : -1;
}

template <class S, class P>
int32_t scan_text(const search& s, const uint8_t* head, const uint8_t* text, int32_t m) {
  if constexpr (sizeof(S) == 1 && sizeof(P) == 1) {
    if (m > 0 && plain_forward_q(s) && (!s.fold || caseless_q(text, m))) return scan_bytes(s, head, text, m);
  }
  if (s.fold && m > 0) {
    // The first unit decides most candidates: in a unit-1 series, through
    // a table of the 256 code points that fold to the text's first.
    uint32_t first = fold(unit_at<P>(text, 0));
    bool first_of[256];
    if constexpr (sizeof(S) == 1) {
      int32_t starters = 0;
      uint8_t starter = 0;
      for (uint32_t c = 0; c < 256; ++c) {
        first_of[c] = fold(c) == first;
        if (first_of[c]) {
          ++starters;
          starter = static_cast<uint8_t>(c);
        }
      }
      if (starters == 1 && plain_forward_q(s)) {
        return scan_from_byte(s, head, m, starter, [&](int32_t at) {
          for (int32_t k = 1; k < m; ++k) {
            if (fold(unit_at<S>(head, at + k)) != fold(unit_at<P>(text, k))) return false;
          }
          return true;
        });
      }
    }
    return scan<S>(s, m, [&](int32_t at) {
      uint32_t c = unit_at<S>(head, at);
      if constexpr (sizeof(S) == 1) {
        if (!first_of[c]) return false;
      } else if (fold(c) != first) {
        return false;
      }
      for (int32_t k = 1; k < m; ++k) {
        if (fold(unit_at<S>(head, at + k)) != fold(unit_at<P>(text, k))) return false;
      }
      return true;
    });
  }
  if constexpr (sizeof(S) == 1) {
    if (m > 0 && unit_at<P>(text, 0) < 256 && plain_forward_q(s)) {
      return scan_from_byte(s, head, m, static_cast<uint8_t>(unit_at<P>(text, 0)), [&](int32_t at) {
        for (int32_t k = 1; k < m; ++k) {
          if (unit_at<S>(head, at + k) != unit_at<P>(text, k)) return false;
        }
        return true;
      });
    }
  }
  return scan<S>(s, m, [&](int32_t at) {
    for (int32_t k = 0; k < m; ++k) {
      if (unit_at<S>(head, at + k) != unit_at<P>(text, k)) return false;
    }
    return true;
  });
}

template <class S>
int32_t scan_series(const search& s, const uint8_t* head, const pattern& p) {
  switch (p.kind) {
    case pattern::CODE_POINT: {
      uint32_t cp = s.fold ? fold(p.cp) : p.cp;
      if (s.fold) return scan<S>(s, 1, [&](int32_t at) { return fold(unit_at<S>(head, at)) == cp; });
      return scan<S>(s, 1, [&](int32_t at) { return unit_at<S>(head, at) == cp; });
    }
    case pattern::BITSET:
      return scan<S>(s, 1, [&](int32_t at) { return in_bitset(&p.value, unit_at<S>(head, at)); });
    case pattern::NUMBER:
    case pattern::NOTHING:
      break;
    case pattern::TEXT: {
      series_buffer* t = GET_BUFFER(&p.value);
      const uint8_t* text = head_of(t) + static_cast<size_t>(p.value.data1) * GET_UNIT(t);
      switch (GET_UNIT(t)) {
        case 1: return scan_text<S, uint8_t>(s, head, text, p.length);
        case 2: return scan_text<S, uint16_t>(s, head, text, p.length);
        default: return scan_text<S, uint32_t>(s, head, text, p.length);
      }
    }
  }
  return -1;
}

// Where find matches, or -1; `matched` gets the units the match spans and
// `single` whether the pattern is one element (a code point, a bitset's
// member or a number), which /tail passes by one step.
int32_t find_index(cell* series, cell* value, cell* part, int32_t case_, int32_t same, int32_t any,
                   cell* with, cell* skip, int32_t last, int32_t reverse, int32_t match,
                   int32_t* matched, bool* single) {
  int32_t length = units_of(series);
  int32_t index = static_cast<int32_t>(series->data1);
  if (index > length) index = length;
  if (length == 0 || (!reverse && index >= length)) return -1;
  if (any || stack::given_q(with)) fire(err::internal_not_done);

  search s{};
  s.step = 1;
  if (stack::given_q(skip)) {
    s.step = TYPE_OF(skip) == TYPE_INTEGER ? static_cast<int32_t>(skip->data2) : 0;
    if (s.step < 1) fire(err::script_out_of_range, {*skip});
  }
  int32_t count = -1;
  if (stack::given_q(part)) {
    count = static_cast<int32_t>(series::part_length(series, index, part, series::PART_WORD));
    if (count < 1) return -1;
  }

  if (last) {
    int32_t end = count >= 0 && count < length - index ? index + count : length;
    s = {end - 1, end, index, s.step, true, false, false};
  } else if (reverse) {
    if (match) return -1;
    // The count runs back from the unit before the index.
    int32_t start = index - 1;
    int32_t bound = count >= 0 && count <= start ? start - count + 1 : 0;
    if (start < bound) return -1;
    s = {start, index, bound, s.step, true, false, false};
  } else {
    int32_t end = count >= 0 && count < length - index ? index + count : length;
    s = {index, end, index, s.step, false, false, false};
  }
  s.first_only = match != 0;

  uint32_t series_type = TYPE_OF(series);
  s.fold = any_string_q(series_type) && !case_ && !same;
  pattern p{pattern::TEXT, 0, 0.0, *value, 1};
  root_guard keep_pattern(&p.value);
  uint32_t t = TYPE_OF(value);
  bool float_vector = series_type == TYPE_VECTOR && (series->data3 == TYPE_FLOAT || series->data3 == TYPE_PERCENT);
  if (t == TYPE_BINARY && series_type != TYPE_BINARY) fire(err::script_invalid_arg, {*value});
  // An integer in a binary! is found as a code point: the byte itself.
  if ((series_type == TYPE_VECTOR && (t == TYPE_INTEGER || t == TYPE_FLOAT)) ||
      (series_type == TYPE_BINARY && t == TYPE_FLOAT)) {
    p.kind = pattern::NUMBER;
    p.number = t == TYPE_INTEGER ? static_cast<int32_t>(value->data2) : get_float(value);
  } else if (float_vector) {
    // Its elements are neither code points nor units of a text.
    p.kind = pattern::NOTHING;
  } else if (t == TYPE_CHAR || (t == TYPE_INTEGER && series_type == TYPE_BINARY)) {
    p.kind = pattern::CODE_POINT;
    p.cp = value->data2;
  } else if (t == TYPE_BITSET) {
    p.kind = pattern::BITSET;
    s.fold = false;
  } else if ((any_string_q(t) && t != TYPE_TAG) || t == TYPE_BINARY) {
    p.length = rs_length_q(value);
  } else {
    cell v = *value;
    root_guard keep_value(&v);
    rs_make_at(&p.value, 16);
    actions::form(&v, &p.value, nullptr, INT32_MAX);
    p.length = rs_length_q(&p.value);
  }
  if (p.kind == pattern::TEXT) p.value.data1 = static_cast<uint32_t>(rs_abs_length_q(&p.value) - p.length);
  *matched = p.length;
  *single = p.kind != pattern::TEXT;

  // Nothing below allocates: the buffers stay where they are.
  series_buffer* b = GET_BUFFER(series);
  const uint8_t* head = head_of(b);
  if (p.kind == pattern::NOTHING) return -1;
  if (p.kind == pattern::NUMBER) {
    return scan<uint8_t>(s, 1, [&](int32_t at) { return number_at(series, head, at) == p.number; });
  }
  switch (GET_UNIT(b)) {
    case 1: return scan_series<uint8_t>(s, head, p);
    case 2: return scan_series<uint16_t>(s, head, p);
    default: return scan_series<uint32_t>(s, head, p);
  }
}

// The element at `position` of a string-like series or a binary!, written
// into `series`, or of a vector!, pushed; none at or past the tail.
cell* element_at(cell* series, int32_t position) {
  if (position < 0 || position >= units_of(series)) return &none::none_value;
  if (TYPE_OF(series) == TYPE_VECTOR) {
    uint32_t unit = GET_UNIT(GET_BUFFER(series));
    return vector::get_value(head_of(GET_BUFFER(series)) + static_cast<size_t>(position) * unit, unit, series->data3);
  }
  uint32_t type = TYPE_OF(series) == TYPE_BINARY ? TYPE_INTEGER : TYPE_CHAR;
  *series = cell{type, 0, rs_abs_at(series, position), 0};
  return series;
}

}  // namespace

// ---- Comparison ----------------------------------------------------------------

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  if (TYPE_OF(value2) != TYPE_OF(value1) &&
      !(any_string_q(TYPE_OF(value2)) && (op == COMP_EQUAL || op == COMP_NOT_EQUAL))) {
    return COMPARE_NONE;
  }
  return equal_q(value1, value2, op, false);
}

int32_t equal_q(const cell* value1, const cell* value2, int32_t op, bool match) {
  bool same = value1->data2 == value2->data2 && value1->data1 == value2->data1;
  if (op == COMP_SAME) return same ? 0 : -1;
  if (same && equality_q(op)) return 0;

  int32_t len1 = rs_length_q(value1);
  int32_t len2 = rs_length_q(value2);
  int32_t n;
  if (match) {
    if (len2 == 0) return op == COMP_FIND ? 1 : 0;
    if (len2 > len1) return 1;
    n = len2;
  } else {
    if (len1 != len2 && (equality_q(op) || len2 == 0)) return 1;
    if (len1 == 0) return len2 == 0 ? 0 : -1;
    n = len1 < len2 ? len1 : len2;
  }

  bool folding = op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT;
  series_buffer* b1 = GET_BUFFER(value1);
  series_buffer* b2 = GET_BUFFER(value2);
  uint32_t unit1 = GET_UNIT(b1), unit2 = GET_UNIT(b2);
  const uint8_t* p1 = tail_of(b1) - static_cast<size_t>(len1) * unit1;
  const uint8_t* p2 = tail_of(b2) - static_cast<size_t>(len2) * unit2;
  int32_t r = 0;
  // Units alike byte for byte are equal under any operator: the usual end
  // of a hashed look-up, whose hashes already agreed.
  bool identical = unit1 == unit2 && std::memcmp(p1, p2, static_cast<size_t>(n) * unit1) == 0;
  if (!identical) {
    switch (unit1 * 8 + unit2) {
      case 1 * 8 + 1: r = compare_units<uint8_t, uint8_t>(p1, p2, n, folding); break;
      case 1 * 8 + 2: r = compare_units<uint8_t, uint16_t>(p1, p2, n, folding); break;
      case 1 * 8 + 4: r = compare_units<uint8_t, uint32_t>(p1, p2, n, folding); break;
      case 2 * 8 + 1: r = compare_units<uint16_t, uint8_t>(p1, p2, n, folding); break;
      case 2 * 8 + 2: r = compare_units<uint16_t, uint16_t>(p1, p2, n, folding); break;
      case 2 * 8 + 4: r = compare_units<uint16_t, uint32_t>(p1, p2, n, folding); break;
      case 4 * 8 + 1: r = compare_units<uint32_t, uint8_t>(p1, p2, n, folding); break;
      case 4 * 8 + 2: r = compare_units<uint32_t, uint16_t>(p1, p2, n, folding); break;
      default: r = compare_units<uint32_t, uint32_t>(p1, p2, n, folding); break;
    }
  }
  if (r != 0) return r;
  if (match || len1 == len2) return 0;
  return len1 < len2 ? -1 : 1;
}

// ---- find and select -----------------------------------------------------------

cell* find(cell* series, cell* value, cell* part, int32_t, int32_t case_, int32_t same, int32_t any,
           cell* with, cell* skip, int32_t last, int32_t reverse, int32_t tail, int32_t match) {
  int32_t matched;
  bool single;
  int32_t at = find_index(series, value, part, case_, same, any, with, skip, last, reverse, match, &matched, &single);
  if (at < 0) return &none::none_value;
  if (tail) {
    int32_t step = stack::given_q(skip) ? static_cast<int32_t>(skip->data2) : 1;
    int64_t after = static_cast<int64_t>(at) + (single ? step : matched);
    int32_t length = units_of(series);
    at = after < length ? static_cast<int32_t>(after) : length;
  }
  series->data1 = static_cast<uint32_t>(at);
  return series;
}

cell* select(cell* series, cell* value, cell* part, int32_t, int32_t case_, int32_t same, int32_t any,
             cell* with, cell* skip, int32_t last, int32_t reverse) {
  int32_t matched;
  bool single;
  int32_t at = find_index(series, value, part, case_, same, any, with, skip, last, reverse, 0, &matched, &single);
  if (at < 0) return &none::none_value;
  return element_at(series, at + matched);
}

// ---- Path access -----------------------------------------------------------------

cell* eval_path(cell* value, cell* element, cell* data, cell* path, cell*, cell*, int32_t,
                int32_t case_, int32_t, int32_t, int32_t) {
  switch (TYPE_OF(element)) {
    case TYPE_INTEGER: {
      int32_t n = static_cast<int32_t>(element->data2);
      if (data) return reinterpret_cast<poke_fn>(actions::get_action(TYPE_OF(value), ACT_POKE))(value, n, data, element);
      return reinterpret_cast<pick_fn>(actions::get_action(TYPE_OF(value), ACT_PICK))(value, n, element);
    }
    case TYPE_WORD:
      fire(err::script_invalid_path, {*path, *element});
    default:
      break;
  }
  if (!data) return select(value, element, nullptr, 0, case_, 0, 0, nullptr, nullptr, 0, 0);
  int32_t matched;
  bool single;
  int32_t at = find_index(value, element, nullptr, case_, 0, 0, nullptr, nullptr, 0, 0, 0, &matched, &single);
  if (at < 0) fire(err::script_bad_path_set, {*path, *element});
  // The code point that follows the match: position matched + 1 from it.
  value->data1 = static_cast<uint32_t>(at);
  cell position{TYPE_INTEGER, 0, static_cast<uint32_t>(matched + 1), 0};
  return reinterpret_cast<poke_fn>(actions::get_action(TYPE_OF(value), ACT_POKE))(value, matched + 1, data, &position);
}

// ---- Parse tests -------------------------------------------------------------------

bool match_bitset_q(const cell* s, const cell* bitset) {
  if (rs_tail_q(s)) return false;
  return in_bitset(bitset, rs_abs_at(s, static_cast<int32_t>(s->data1)));
}

bool match_tag_q(const cell* s, const cell* tag) {
  int32_t index = static_cast<int32_t>(s->data1);
  int64_t close = static_cast<int64_t>(index) + rs_length_q(tag) + 1;
  if (close >= rs_abs_length_q(s)) return false;
  return rs_abs_at(s, index) == '<' && rs_abs_at(s, static_cast<int32_t>(close)) == '>';
}

bool match_value_q(const cell* s, const cell* value, int32_t op) {
  uint32_t t = TYPE_OF(value);
  if (t == TYPE_TAG) {
    if (!match_tag_q(s, value)) return false;
    cell inside = *s;
    ++inside.data1;
    return equal_q(&inside, value, op, true) == 0;
  }
  if (any_string_q(t)) return equal_q(s, value, op, true) == 0;
  if (t == TYPE_CHAR) {
    if (rs_tail_q(s)) return false;
    uint32_t c = rs_abs_at(s, static_cast<int32_t>(s->data1));
    if (op == COMP_STRICT_EQUAL) return c == value->data2;
    return fold(c) == fold(value->data2);
  }
  return false;
}

}  // namespace ixo::string
