// string!: append, insert and change over one editing core, take, swap and
// the three kinds of trim.
//
// The editing core writes a char! or a text straight into place: the
// string widens to the content's unit, grows (doubling, so that repeated
// appends are amortised), moves its units after the edited range, and
// copies the content in. Formed content (block values and other values)
// is formed at the tail first, where forming writes, and then rotated into
// place; should a form raise an error, the tail goes back where it was.
#include "runtime/datatypes/string_edit.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/vector.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/heap.hpp"

namespace ixo::string {

using namespace memory;

namespace {

enum edit_kind { EDIT_APPEND, EDIT_INSERT, EDIT_CHANGE };


uint8_t* unit_address(series_buffer* b, int64_t position) { return head_of(b) + position * GET_UNIT(b); }

uint32_t char_at(series_buffer* b, int64_t position) { return get_char(unit_address(b, position), GET_UNIT(b)); }

// Room for `units` units of the buffer's unit from its head. A buffer too
// small doubles, or grows to exactly what is needed when that is more.
series_buffer* reserve(series_buffer* b, int64_t units) {
  int64_t needed = units * GET_UNIT(b);
  int64_t capacity = data_end(b) - head_of(b);
  if (capacity >= needed) return b;
  if (needed > INT32_MAX) fire(err::internal_no_memory);
  return expand_series(b, needed < 2 * capacity ? 0 : static_cast<int32_t>(needed));
}

// ---- Content written in place ----------------------------------------------

// A char!, or a text from its index with a tag!'s brackets around it.
struct content {
  bool is_char;
  uint32_t cp;
  cell text;
  int32_t count;  // units of the text
  bool open;      // "<" before the text
  bool close;     // ">" after it
  uint32_t unit;  // the unit the content needs
  int32_t size;   // units written once
};

content describe(const cell* value, int32_t part, edit_kind kind) {
  content c{};
  if (TYPE_OF(value) == TYPE_CHAR) {
    c.is_char = true;
    c.cp = value->data2;
    c.unit = append_unit(c.cp);
    c.size = 1;
    return c;
  }
  c.text = *value;
  int32_t count = rs_length_q(value);
  c.text.data1 = static_cast<uint32_t>(rs_abs_length_q(value) - count);
  // change writes its value whole: its part counts the units replaced.
  bool cut = kind != EDIT_CHANGE && part >= 0;
  if (TYPE_OF(value) == TYPE_TAG) {
    // "<" spends one unit of the part, the text what it can, ">" the rest.
    int32_t left = cut ? part - 1 : count;
    c.open = !cut || part >= 1;
    if (count > left) count = left > 0 ? left : 0;
    c.close = !cut || left - count >= 1;
  } else if (cut && part < count) {
    count = part;
  }
  c.count = count;
  c.unit = GET_UNIT(GET_BUFFER(value));
  c.size = count + c.open + c.close;
  return c;
}

// Writes the content once at unit `at` of the series, which is wide enough
// and holds the place for it.
void write_content(const cell* series, int32_t at, const content& c) {
  series_buffer* b = GET_BUFFER(series);
  uint32_t unit = GET_UNIT(b);
  uint8_t* p = unit_address(b, at);
  // poke_char stores without widening here: every code point fits.
  if (c.is_char) {
    poke_char(b, p, c.cp);
    return;
  }
  if (c.open) {
    poke_char(b, p, '<');
    p += unit;
  }
  series_buffer* source = GET_BUFFER(&c.text);
  uint32_t source_unit = GET_UNIT(source);
  const uint8_t* from = unit_address(source, c.text.data1);
  if (source_unit == unit) {
    std::memmove(p, from, static_cast<size_t>(c.count) * unit);
  } else {
    for (int32_t i = 0; i < c.count; ++i) poke_char(b, p + i * unit, get_char(from + i * source_unit, source_unit));
  }
  if (c.close) poke_char(b, p + static_cast<size_t>(c.count) * unit, '>');
}

// Writes a char! or text content at `at`, replacing `part` units (or the
// content's size without it) for change. Answers the units written.
int64_t edit_in_place(cell* series, const cell* value, int32_t at, int32_t part, int32_t dup,
                      edit_kind kind) {
  content c = describe(value, part, kind);
  root_guard keep_text(&c.text);
  int32_t length = rs_abs_length_q(series);
  int64_t total = static_cast<int64_t>(c.size) * dup;
  int64_t replaced = 0;
  if (kind == EDIT_CHANGE) replaced = std::min<int64_t>(part >= 0 ? part : total, length - at);
  uint32_t unit = std::max(GET_UNIT(GET_BUFFER(series)), c.unit);
  int64_t new_length = length - replaced + total;
  if (new_length * unit > INT32_MAX) fire(err::internal_no_memory);
  if (total == 0 && replaced == 0) return 0;

  // A text taken from the string itself would move under the edit: it is
  // copied first. Appended, it lies before the tail and stays put.
  if (!c.is_char && c.text.data2 == series->data2 && kind != EDIT_APPEND) {
    c.text.data2 = series::copy_part(c.text.data2, static_cast<int32_t>(c.text.data1), c.count);
    c.text.data1 = 0;
  }
  series_buffer* b = widen_buffer(GET_BUFFER(series), unit);
  b = reserve(b, std::max<int64_t>(new_length, length));
  uint8_t* rest = unit_address(b, at + replaced);
  std::memmove(unit_address(b, at + total), rest, static_cast<size_t>(tail_of(b) - rest));
  b->tail = b->head + static_cast<uint32_t>(new_length * unit);
  if (total == 0) return 0;  // a count of 0 only removes what change replaces
  write_content(series, at, c);
  if (dup > 1) series::fill_pattern(unit_address(GET_BUFFER(series), at), c.size * static_cast<int32_t>(unit), dup);
  return total;
}

// ---- Formed content ------------------------------------------------------------

// Puts the value stack's top back when it goes.
struct stack_restore {
  cell* top = stack::top;
  ~stack_restore() { stack::top = top; }
};

// Forms the value (each value of a block from its index) at the tail, then
// moves what was formed to `at`, replacing for change `part` units (or as
// many as were formed). The string was `length` units long before.
// Answers the units written.
int64_t form_and_place(cell* series, const cell* value, int32_t at, int32_t part, bool only, int32_t dup,
                       edit_kind kind, int32_t length) {
  cell v = *value;
  root_guard keep_value(&v);
  stack_restore keep_stack;

  // With a part, append without /only forms that many values whole; append
  // with /only and insert give each form what is left of a budget of
  // characters. change forms everything.
  bool limited = part >= 0 && kind != EDIT_CHANGE;
  bool budget_mode = limited && (kind == EDIT_INSERT || only);
  int32_t values = limited && !budget_mode ? part : -1;
  int32_t budget = INT32_MAX;
  cell* arg = nullptr;
  if (budget_mode) {
    budget = part;
    // The forms see the part as a given refinement argument: a cell above
    // the argument base.
    stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(part), 0});
    arg = stack::push(cell{TYPE_INTEGER, 0, static_cast<uint32_t>(part), 0});
  }
  auto form_one = [&](cell* item) {
    if (!budget_mode) {
      actions::form(item, series, nullptr, INT32_MAX);
      return;
    }
    int32_t before = rs_abs_length_q(series);
    actions::form(item, series, arg, budget);
    int32_t written = rs_abs_length_q(series) - before;
    if (written > budget) truncate_at(GET_BUFFER(series), before + budget);
    budget -= written;
  };

  if (any_list_q(TYPE_OF(&v))) {
    for (int32_t i = static_cast<int32_t>(v.data1); values != 0 && budget > 0; ++i) {
      series_buffer* block = GET_BUFFER(&v);
      if (i >= static_cast<int32_t>((block->tail - block->head) / sizeof(cell))) break;
      cell item = head_of<cell>(block)[i];
      root_guard keep_item(&item);
      form_one(&item);
      if (values > 0) --values;
    }
  } else if (values != 0 && budget > 0) {
    form_one(&v);
  }

  int32_t formed = rs_abs_length_q(series) - length;
  uint32_t unit = GET_UNIT(GET_BUFFER(series));
  int64_t total = static_cast<int64_t>(formed) * dup;
  if ((length + total) * unit > INT32_MAX) fire(err::internal_no_memory);
  if (dup != 1 && formed > 0) {  // the formed text repeated, or dropped for a count of 0
    series_buffer* b = reserve(GET_BUFFER(series), length + total);
    if (dup > 1) series::fill_pattern(unit_address(b, length), formed * static_cast<int32_t>(unit), dup);
    b->tail = b->head + static_cast<uint32_t>((length + total) * unit);
  }

  int64_t replaced = 0;
  if (kind == EDIT_CHANGE) replaced = std::min<int64_t>(part >= 0 ? part : total, length - at);
  if (at < length) {
    series_buffer* b = GET_BUFFER(series);
    std::rotate(unit_address(b, at + replaced), unit_address(b, length), unit_address(b, length + total));
    remove_part(series, at, static_cast<int32_t>(replaced));
  }
  return total;
}

// A value that is no block, appended once and whole: formed at the tail,
// which is where it goes, with nothing to move or repeat. Answers the
// units written.
int64_t form_at_tail(cell* series, const cell* value, int32_t length) {
  cell v = *value;
  root_guard keep_value(&v);
  stack_restore keep_stack;
  actions::form(&v, series, nullptr, INT32_MAX);
  return rs_abs_length_q(series) - length;
}

// form_and_place, with the tail put back where it was (`length` units)
// when an error unwinds through it.
int64_t edit_formed(cell* series, const cell* value, int32_t at, int32_t part, bool only, int32_t dup,
                    edit_kind kind, int32_t length) {
  try {
    if (kind == EDIT_APPEND && part < 0 && dup == 1 && !any_list_q(TYPE_OF(value)))
      return form_at_tail(series, value, length);
    return form_and_place(series, value, at, part, only, dup, kind, length);
  } catch (...) {
    truncate_at(GET_BUFFER(series), length);
    throw;
  }
}

cell* edit(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, edit_kind kind) {
  if (dup < 0) dup = 0;
  int32_t length = rs_abs_length_q(series);
  int32_t index = std::min(static_cast<int32_t>(series->data1), length);
  int32_t at = kind == EDIT_APPEND ? length : index;
  uint32_t t = TYPE_OF(value);
  int64_t written = t == TYPE_CHAR || any_string_q(t)
                        ? edit_in_place(series, value, at, part, dup, kind)
                        : edit_formed(series, value, at, part, only != 0, dup, kind, length);
  if (kind == EDIT_APPEND) {
    series->data1 = 0;
    return series;
  }
  int64_t new_length = rs_abs_length_q(series);
  series->data1 = static_cast<uint32_t>(std::min(at + written, new_length));
  return series;
}

// ---- trim --------------------------------------------------------------------

// Space, tab and the Unicode spaces that do not end a line.
bool horizontal_space_q(uint32_t cp) {
  switch (cp) {
    case ' ': case '\t': case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028:
    case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

// The controls and space (01h-20h) and the Unicode spaces.
bool space_q(uint32_t cp) { return (cp >= 1 && cp <= 0x20) || horizontal_space_q(cp); }

// The code points that trim /with or /all removes.
struct char_set {
  uint32_t few[8];
  uint32_t* items = few;
  int32_t count = 0;
  ~char_set() {
    if (items != few) heap::free_tracked(items);
  }
  void reserve(int32_t n) {
    if (n <= 8) return;
    if (n > INT32_MAX / 4) fire(err::internal_no_memory);
    items = static_cast<uint32_t*>(heap::try_alloc_tracked(n * 4));
    if (!items) {
      items = few;
      fire(err::internal_no_memory);
    }
  }
  bool has(uint32_t cp) const { return std::find(items, items + count, cp) != items + count; }
};

void fill_set(char_set& set, const cell* with) {
  if (!with) {
    for (uint32_t cp : {'\t', '\n', '\r', ' '}) set.items[set.count++] = cp;
    return;
  }
  uint32_t t = TYPE_OF(with);
  if (t == TYPE_CHAR || t == TYPE_INTEGER) {
    set.items[set.count++] = with->data2;
  } else if (any_string_q(t) || t == TYPE_BINARY) {
    int32_t n = rs_length_q(with);
    set.reserve(n);
    series_buffer* b = GET_BUFFER(with);
    for (int32_t i = rs_abs_length_q(with) - n; set.count < n; ++i) set.items[set.count++] = char_at(b, i);
  } else {
    fire(err::script_invalid_arg, {*with});
  }
}

// The kept code points are written down over the removed ones, from the
// index on; `tail` is where the kept text ends.
void set_tail_at(series_buffer* b, int32_t tail) { b->tail = b->head + static_cast<uint32_t>(tail) * GET_UNIT(b); }

void trim_with(cell* series, const cell* with) {
  char_set set;
  fill_set(set, with);
  series_buffer* b = GET_BUFFER(series);
  int32_t length = rs_abs_length_q(series);
  int32_t w = std::min(static_cast<int32_t>(series->data1), length);
  for (int32_t i = w; i < length; ++i) {
    uint32_t cp = char_at(b, i);
    if (!set.has(cp)) poke_char(b, unit_address(b, w++), cp);
  }
  set_tail_at(b, w);
}

void trim_lines(cell* series) {
  series_buffer* b = GET_BUFFER(series);
  int32_t length = rs_abs_length_q(series);
  int32_t w = std::min(static_cast<int32_t>(series->data1), length);
  bool text = false, gap = false;
  for (int32_t i = w; i < length; ++i) {
    uint32_t cp = char_at(b, i);
    if (space_q(cp)) {
      gap = text;
      continue;
    }
    if (gap) poke_char(b, unit_address(b, w++), ' ');
    poke_char(b, unit_address(b, w++), cp);
    text = true;
    gap = false;
  }
  set_tail_at(b, w);
}

void trim_head_tail(cell* series, bool head, bool tail) {
  series_buffer* b = GET_BUFFER(series);
  int32_t length = rs_abs_length_q(series);
  int32_t index = std::min(static_cast<int32_t>(series->data1), length);
  int32_t start = index, end = length;
  if (head || !tail) {
    while (start < end && space_q(char_at(b, start))) ++start;
  }
  bool cut_line_feed = false;
  if (tail || !head) {
    while (end > start && space_q(char_at(b, end - 1))) cut_line_feed |= char_at(b, --end) == '\n';
  }
  int32_t w = index;
  if (head || tail) {
    std::memmove(unit_address(b, w), unit_address(b, start), static_cast<size_t>(end - start) * GET_UNIT(b));
    w += end - start;
  } else {
    // Line by line: blanks after a line feed (indentation) and before one
    // (trailing blanks) go; a run of blanks inside a line is written when
    // text follows it.
    bool line_start = false;
    int32_t run = -1;
    for (int32_t i = start; i < end; ++i) {
      uint32_t cp = char_at(b, i);
      if (cp == '\n') {
        run = -1;
        line_start = true;
      } else if (horizontal_space_q(cp)) {
        if (!line_start && run < 0) run = i;
        continue;
      } else {
        for (; run >= 0 && run < i; ++run) poke_char(b, unit_address(b, w++), char_at(b, run));
        run = -1;
        line_start = false;
      }
      poke_char(b, unit_address(b, w++), cp);
    }
  }
  if (cut_line_feed && !tail) poke_char(b, unit_address(b, w++), '\n');
  set_tail_at(b, w);
}

}  // namespace

// ---- Actions -------------------------------------------------------------------

namespace {

// An owned string's owner hears of an edit before and after it: at the
// tail for append, at the index otherwise, over the value's length.
cell* edit_owned(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, edit_kind kind) {
  // A string without the owned flag has no owner to hear of the edit.
  if (!(GET_BUFFER(series)->flags & SERIES_OWNED)) return edit(series, value, part, only, dup, kind);
  cell insert_word{TYPE_WORD, 0, static_cast<uint32_t>(words::sym_insert), 0xFFFFFFFF};
  const cell* before = kind == EDIT_APPEND ? words::word_append : kind == EDIT_INSERT ? &insert_word : words::word_change;
  const cell* after = kind == EDIT_APPEND ? words::word_appended : kind == EDIT_INSERT ? words::word_inserted : words::word_changed;
  int32_t at = kind == EDIT_APPEND ? rs_abs_length_q(series)
                                   : std::min(static_cast<int32_t>(series->data1), rs_abs_length_q(series));
  int32_t count = any_string_q(TYPE_OF(value)) ? rs_length_q(value) : 1;
  bool owned = ownership::check(series, before, value, at, count);
  cell* result = edit(series, value, part, only, dup, kind);
  if (owned) ownership::check(series, after, value, at, count);
  return result;
}

}  // namespace

cell* append(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, int32_t) {
  // An integer appended once and whole to a string that no owner watches:
  // its text goes straight to the tail, where forming it would put it.
  if (TYPE_OF(value) == TYPE_INTEGER && part < 0 && dup == 1 && !(GET_BUFFER(series)->flags & SERIES_OWNED)) {
    integer::append_decimal(series, integer::get(value));
    series->data1 = 0;
    return series;
  }
  return edit_owned(series, value, part, only, dup, EDIT_APPEND);
}

cell* insert(cell* series, cell* value, int32_t part, int32_t only, int32_t dup, int32_t) {
  return edit_owned(series, value, part, only, dup, EDIT_INSERT);
}

cell* change(cell* series, cell* value, int32_t part, int32_t only, int32_t dup) {
  return edit_owned(series, value, part, only, dup, EDIT_CHANGE);
}

cell* take(cell* series, cell* part, int32_t deep, int32_t last) {
  uint32_t type = TYPE_OF(series);
  cell* taken = series::take(series, part, deep, last);
  if (!stack::given_q(part) && TYPE_OF(taken) == type && type == TYPE_VECTOR && vector::rs_length_q(taken) == 1) {
    *taken = *vector::get_value(vector::rs_head(taken), GET_UNIT(GET_BUFFER(taken)), taken->data3);
    stack::pop(1);
  } else if (!stack::given_q(part) && TYPE_OF(taken) == type && rs_abs_length_q(taken) == 1) {
    *taken = cell{type == TYPE_BINARY ? TYPE_INTEGER : TYPE_CHAR, 0, rs_abs_at(taken, 0), 0};
  }
  return taken;
}

cell* swap(cell* series1, cell* series2) {
  uint32_t t1 = TYPE_OF(series1), t2 = TYPE_OF(series2);
  if (!any_string_q(t2) && t2 != TYPE_BINARY) fire(err::script_invalid_arg, {*series2});
  if (rs_tail_q(series1) || rs_tail_q(series2)) return series1;
  uint32_t a = rs_abs_at(series1, static_cast<int32_t>(series1->data1));
  uint32_t b = rs_abs_at(series2, static_cast<int32_t>(series2->data1));
  // A binary! holds bytes: a wider code point cannot go into it.
  if ((t1 == TYPE_BINARY && b > 0xFF) || (t2 == TYPE_BINARY && a > 0xFF)) fire(err::script_invalid_arg, {*series2});
  int32_t at1 = static_cast<int32_t>(series1->data1), at2 = static_cast<int32_t>(series2->data1);
  bool owned1 = ownership::check(series1, words::word_swap, nullptr, at1, 1);
  bool owned2 = ownership::check(series2, words::word_swap, nullptr, at2, 1);
  poke_char(GET_BUFFER(series1), rs_head(series1), b);
  poke_char(GET_BUFFER(series2), rs_head(series2), a);
  if (owned1) ownership::check(series1, words::word_swaped, nullptr, at1, 1);
  if (owned2) ownership::check(series2, words::word_swaped, nullptr, at2, 1);
  return series1;
}

cell* trim(cell* series, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all, cell* with) {
  if (auto_ && !all && !stack::given_q(with)) fire(err::internal_not_done);
  int32_t at = std::min(static_cast<int32_t>(series->data1), rs_abs_length_q(series));
  int32_t count = rs_abs_length_q(series) - at;
  bool owned = ownership::check(series, words::word_trim, nullptr, at, count);
  if (all || stack::given_q(with)) {
    trim_with(series, stack::given_q(with) ? with : nullptr);
  } else if (lines) {
    trim_lines(series);
  } else {
    trim_head_tail(series, head != 0, tail != 0);
  }
  if (owned) ownership::check(series, words::word_trimmed, nullptr, at, count);
  return series;
}

}  // namespace ixo::string
