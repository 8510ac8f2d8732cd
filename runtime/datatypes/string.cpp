// String buffers and primitives: reading units, the writers with their
// widening rules, the concatenation core, the constructors and hexadecimal
// text (widening itself is unicode's: latin1_to_ucs2 and the others); and
// string!'s registration row, whose actions live in string_form (make, to,
// form, mold), string_edit, string_compare and string_sort.
#include "runtime/datatypes/string.hpp"

#include <algorithm>
#include <cstring>

#include "runtime/core/case_folding.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/string_edit.hpp"
#include "runtime/datatypes/string_form.hpp"
#include "runtime/datatypes/string_sort.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::string {

using namespace memory;

void bad_unit() { NO_SWITCH_MATCH(); }

namespace {

// log2 of a unit: positions in bytes are indexes shifted left by it.
uint32_t unit_shift(uint32_t unit) {
  switch (unit) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    default: bad_unit();
  }
}

void store_char(uint8_t* p, uint32_t unit, uint32_t cp) {
  switch (unit) {
    case 1:
      *p = static_cast<uint8_t>(cp);
      break;
    case 2: {
      auto u = static_cast<uint16_t>(cp);
      std::memcpy(p, &u, 2);
      break;
    }
    case 4:
      std::memcpy(p, &cp, 4);
      break;
    default:
      bad_unit();
  }
}

// The unit a code point needs when stored in place.
uint32_t in_place_unit(uint32_t cp) { return cp < 0x100 ? 1 : cp < 0x10000 ? 2 : 4; }

// At least `bytes` of data area from the head: the size doubles until it
// holds them.
series_buffer* ensure_room(series_buffer* b, int64_t bytes) {
  if (data_end(b) - head_of(b) >= bytes) return b;
  if (bytes > INT32_MAX) fire(err::internal_no_memory);
  int64_t size = b->size > 0 ? b->size : 16;
  while (size < bytes) size *= 2;
  if (size > INT32_MAX) size = bytes;
  return expand_series(b, static_cast<int32_t>(size));
}

int32_t abs_length(const series_buffer* b) {
  return static_cast<int32_t>((b->tail - b->head) >> unit_shift(GET_UNIT(b)));
}

uint32_t fold(uint32_t cp) { return case_folding::change_char(cp, 1); }

}  // namespace

// ---- Readers -----------------------------------------------------------------

uint8_t* rs_head(cell* s) {
  series_buffer* b = GET_BUFFER(s);
  int32_t length = abs_length(b);
  if (static_cast<int32_t>(s->data1) > length) s->data1 = static_cast<uint32_t>(length);
  return head_of(b) + (s->data1 << unit_shift(GET_UNIT(b)));
}

uint8_t* rs_tail(const cell* s) { return tail_of(GET_BUFFER(s)); }

bool rs_tail_q(const cell* s) { return static_cast<int32_t>(s->data1) >= abs_length(GET_BUFFER(s)); }

uint32_t rs_abs_at(const cell* s, int32_t position) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  return get_char(head_of(b) + (static_cast<int64_t>(position) << unit_shift(unit)), unit);
}

uint32_t get_char(const uint8_t* p, uint32_t unit) {
  switch (unit) {
    case 1:
      return *p;
    case 2: {
      uint16_t u;
      std::memcpy(&u, p, 2);
      return u;
    }
    case 4: {
      uint32_t u;
      std::memcpy(&u, p, 4);
      return u;
    }
    default:
      bad_unit();
  }
}

int32_t find_char(const cell* s, uint32_t cp) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  uint32_t shift = unit_shift(unit);
  int32_t index = static_cast<int32_t>(s->data1);
  int32_t length = abs_length(b);
  const uint8_t* head = head_of(b);
  for (int32_t i = index; i < length; ++i) {
    if (get_char(head + (i << shift), unit) == cp) return i - index;
  }
  return -1;
}

bool find_char_skip_q(uint32_t cp, const cell* s, int32_t skip, bool case_sensitive) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  uint32_t shift = unit_shift(unit);
  int32_t length = abs_length(b);
  const uint8_t* head = head_of(b);
  if (!case_sensitive) cp = fold(cp);
  if (skip < 1) skip = 1;  // a record is at least one unit long
  for (int64_t i = s->data1; i < length; i += skip) {
    uint32_t c = get_char(head + (i << shift), unit);
    if ((case_sensitive ? c : fold(c)) == cp) return true;
  }
  return false;
}

bool starts_with_q(const cell* s, const char* text) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  uint32_t shift = unit_shift(unit);
  int32_t length = rs_length_q(s);
  const uint8_t* at = head_of(b) + (static_cast<int64_t>(s->data1) << shift);
  for (int32_t i = 0; text[i] != 0; ++i) {
    if (i >= length || get_char(at + (i << shift), unit) != static_cast<uint8_t>(text[i])) return false;
  }
  return true;
}

// ---- Writers -----------------------------------------------------------------

series_buffer* widen_buffer(series_buffer* b, uint32_t unit) {
  if (unit <= GET_UNIT(b)) return b;
  if (GET_UNIT(b) == 1) return unit == 2 ? unicode::latin1_to_ucs2(b) : unicode::latin1_to_ucs4(b);
  return unicode::ucs2_to_ucs4(b);
}

series_buffer* append_char(series_buffer* b, uint32_t cp) {
  if (append_unit(cp) > GET_UNIT(b)) b = widen_buffer(b, append_unit(cp));
  uint32_t unit = GET_UNIT(b);
  if (tail_of(b) + unit > data_end(b)) b = series::expand_for_tail(b, static_cast<int32_t>(unit));
  store_char(tail_of(b), unit, cp);
  b->tail += unit;
  return b;
}

series_buffer* overwrite_char(series_buffer* b, int32_t offset, uint32_t cp) {
  if (in_place_unit(cp) > GET_UNIT(b)) b = widen_buffer(b, in_place_unit(cp));
  uint32_t unit = GET_UNIT(b);
  b = ensure_room(b, (static_cast<int64_t>(offset) + 1) * unit);
  uint8_t* at = head_of(b) + static_cast<int64_t>(offset) * unit;
  store_char(at, unit, cp);
  if (at >= tail_of(b)) set_tail(b, at + unit);
  return b;
}

series_buffer* insert_char(series_buffer* b, int32_t offset, uint32_t cp) {
  if (in_place_unit(cp) > GET_UNIT(b)) b = widen_buffer(b, in_place_unit(cp));
  uint32_t unit = GET_UNIT(b);
  int32_t length = abs_length(b);
  if (offset > length) offset = length;
  b = ensure_room(b, (static_cast<int64_t>(length) + 1) * unit);
  uint8_t* at = head_of(b) + static_cast<int64_t>(offset) * unit;
  std::memmove(at + unit, at, static_cast<size_t>(tail_of(b) - at));
  b->tail += unit;
  store_char(at, unit, cp);
  return b;
}

series_buffer* poke_char(series_buffer* b, uint8_t* at, uint32_t cp) {
  uint32_t unit = GET_UNIT(b);
  uint32_t needed = in_place_unit(cp);
  if (needed > unit) {
    int64_t offset = (at - head_of(b)) >> unit_shift(unit);
    b = widen_buffer(b, needed);
    unit = needed;
    at = head_of(b) + offset * unit;
  }
  store_char(at, unit, cp);
  return b;
}

void remove_char(const cell* s, int32_t offset) { remove_part(s, offset, 1); }

void remove_part(const cell* s, int32_t offset, int32_t count) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t shift = unit_shift(GET_UNIT(b));
  int32_t length = abs_length(b);
  if (offset >= length || count <= 0) return;
  if (count > length - offset) count = length - offset;
  uint8_t* at = head_of(b) + (static_cast<int64_t>(offset) << shift);
  uint8_t* rest = at + (static_cast<int64_t>(count) << shift);
  std::memmove(at, rest, static_cast<size_t>(tail_of(b) - rest));
  b->tail -= static_cast<uint32_t>(count) << shift;
}

series_buffer* truncate_at(series_buffer* b, int32_t n) {
  if (n < 0) n = 0;
  int64_t limit = b->head + (static_cast<int64_t>(n) << unit_shift(GET_UNIT(b)));
  if (b->tail > limit) b->tail = static_cast<uint32_t>(limit);
  return b;
}

void rs_reset(cell* s) {
  series_buffer* b = GET_BUFFER(s);
  b->flags = (b->flags & ~SERIES_UNIT) | 1;
  b->tail = b->head;
  s->data1 = 0;
}

series_buffer* concatenate_literal(series_buffer* b, const char* text) {
  return concatenate_literal_part(b, reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)));
}

series_buffer* concatenate_literal_part(series_buffer* b, const uint8_t* bytes, int32_t n) {
  // ASCII, what forming and molding mostly write, goes in as one copy
  // into a unit-1 buffer; other bytes go one by one through the widening
  // rule.
  if (std::all_of(bytes, bytes + n, [](uint8_t c) { return c < 0x80; })) return concatenate_ascii(b, bytes, n);
  for (int32_t i = 0; i < n; ++i) b = append_char(b, bytes[i]);
  return b;
}

series_buffer* concatenate_ascii(series_buffer* b, const uint8_t* bytes, int32_t n) {
  if (GET_UNIT(b) != 1) {
    for (int32_t i = 0; i < n; ++i) b = append_char(b, bytes[i]);
    return b;
  }
  uint32_t node = b->node;
  std::memcpy(series::alloc_tail_bytes(b, n), bytes, static_cast<size_t>(n));
  return buffer_of(node);
}

void append_code_points(const cell* s, const uint32_t* code_points, int32_t n) {
  uint32_t widest = 0;
  for (int32_t i = 0; i < n; ++i) widest = std::max(widest, code_points[i]);
  if (GET_UNIT(GET_BUFFER(s)) < append_unit(widest)) widen_buffer(GET_BUFFER(s), append_unit(widest));
  uint32_t unit = GET_UNIT(GET_BUFFER(s));
  uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(s), n * static_cast<int32_t>(unit));
  if (unit == 1) {
    for (int32_t i = 0; i < n; ++i) at[i] = static_cast<uint8_t>(code_points[i]);
  } else if (unit == 2) {
    auto* units = reinterpret_cast<uint16_t*>(at);
    for (int32_t i = 0; i < n; ++i) units[i] = static_cast<uint16_t>(code_points[i]);
  } else {
    std::memcpy(at, code_points, static_cast<size_t>(n) * 4);
  }
}

series_buffer* concatenate(const cell* target, const cell* source, int32_t part, int32_t offset,
                           bool keep_source, concatenate_mode mode) {
  // Rooted copies: the widenings and the expansion below may move both
  // buffers, and the cells themselves when they lie in a block.
  cell dst = *target;
  cell src = *source;
  root_guard keep_dst(&dst);
  root_guard keep_src(&src);

  uint32_t su = GET_UNIT(GET_BUFFER(&src));
  if (GET_UNIT(GET_BUFFER(&dst)) < su) widen_buffer(GET_BUFFER(&dst), su);
  uint32_t du = GET_UNIT(GET_BUFFER(&dst));
  if (su < du && !keep_source) {
    widen_buffer(GET_BUFFER(&src), du);
    su = du;
  }

  int32_t count = rs_length_q(&src);
  if (part >= 0 && part < count) count = part;
  int64_t bytes = static_cast<int64_t>(count) * du;
  series_buffer* b = GET_BUFFER(&dst);
  if (bytes == 0) return b;

  int64_t content = b->tail - b->head;
  if (data_end(b) - head_of(b) < content + bytes) {
    if (2 * (content + bytes) > INT32_MAX) fire(err::internal_no_memory);
    b = expand_series(b, static_cast<int32_t>(2 * (content + bytes)));
  }
  // Read after the expansion: when source and target are one series, the
  // source has moved with it.
  series_buffer* from = GET_BUFFER(&src);
  uint8_t* head = head_of(b);
  uint8_t* old_tail = tail_of(b);
  const uint8_t* src_at = head_of(from) + (static_cast<int64_t>(src.data1) << unit_shift(su));
  int64_t position = (static_cast<int64_t>(dst.data1) + offset) * du;
  if (position > content) position = content;
  uint8_t* at = mode == MODE_APPEND ? old_tail : head + position;

  if (mode == MODE_INSERT) {
    std::memmove(at + bytes, at, static_cast<size_t>(old_tail - at));
    if (from == b && src_at + bytes > at) {
      // The source shared units with those that just moved up.
      if (src_at >= at) {
        src_at += bytes;
      } else {
        // It straddles the insertion point: its first part stayed before
        // it, its rest moved up by `bytes`.
        size_t first = static_cast<size_t>(at - src_at);
        std::memmove(at, src_at, first);
        std::memmove(at + first, at + bytes, static_cast<size_t>(bytes) - first);
        src_at = nullptr;
      }
    }
  }
  if (src_at != nullptr) {
    if (su == du) {
      std::memmove(at, src_at, static_cast<size_t>(bytes));
    } else {
      for (int32_t i = 0; i < count; ++i) store_char(at + i * du, du, get_char(src_at + i * su, su));
    }
  }

  switch (mode) {
    case MODE_APPEND:
      set_tail(b, at + bytes);
      break;
    case MODE_INSERT:
      set_tail(b, old_tail + bytes);
      break;
    case MODE_OVERWRITE:
      if (at + bytes > old_tail) set_tail(b, at + bytes);
      break;
  }
  return b;
}

// ---- Constructors ------------------------------------------------------------

cell* rs_make_at(cell* c, int32_t n) { return make_at_unit(c, n, 1); }

cell* make_at_unit(cell* c, int32_t n, uint32_t unit) {
  unit_shift(unit);  // 1, 2 or 4, else runtime error 101
  // Unset until the payload is complete: an allocation may collect.
  c->header = TYPE_UNSET;
  uint32_t node = alloc_series(n == 0 ? 1 : n, unit, 0);
  *c = {TYPE_STRING, 0, node, 0};
  return c;
}

cell* load_at(const uint8_t* text, int32_t length, cell* c, int32_t encoding) {
  c->header = TYPE_UNSET;
  uint32_t node;
  switch (encoding) {
    case LOAD_UTF8:
      node = unicode::load_utf8_new(text, length);
      break;
    case LOAD_UTF16LE:
      node = unicode::load_utf16(text, length, nullptr, false);
      break;
    default:
      fire(err::internal_feature_na);
  }
  *c = {TYPE_STRING, 0, node, 0};
  return c;
}

cell* load_in(const uint8_t* text, int32_t length, uint32_t block, int32_t encoding) {
  cell value{TYPE_UNSET, 0, 0, 0};
  root_guard keep_value(&value);
  root_guard keep_block(&block);
  load_at(text, length, &value, encoding);
  cell* slot = series::alloc_tail_cell(buffer_of(block));
  *slot = value;
  return slot;
}

// ---- Text output -------------------------------------------------------------

namespace {
constexpr char hex_digits[] = "0123456789ABCDEF";
char hex_template[9] = "00000000";
char hex_byte[3];
}  // namespace

const char* to_hex(int32_t value, bool trim) {
  int32_t sign = value < 0 ? -1 : 0;
  char fill = sign ? 'F' : '0';
  int32_t i = 8;
  for (; value != sign; value >>= 4) hex_template[--i] = hex_digits[value & 15];
  if (!trim) {
    while (i > 0) hex_template[--i] = fill;
    return hex_template;
  }
  if (i == 8) {
    hex_template[6] = hex_template[7] = fill;
    i = 6;
  }
  return hex_template + i;
}

const char* byte_to_hex(uint8_t byte) {
  hex_byte[0] = hex_digits[byte >> 4];
  hex_byte[1] = hex_digits[byte & 15];
  return hex_byte;
}

// ---- Registration --------------------------------------------------------------

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_STRING, TYPE_SERIES, "string!",
    /* make .. set-path */     make, inherit, inherit, to, form, mold, eval_path, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       append, inherit, inherit, change, inherit, inherit, find, inherit,
    /* head? .. poke */        inherit, inherit, insert, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, select, sort, inherit, swap, inherit,
    /* tail? .. open */        inherit, take, trim, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::string
