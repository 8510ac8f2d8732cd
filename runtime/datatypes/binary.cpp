// binary!: the byte-buffer helpers, the bytes that values stand for when
// they are appended, inserted or changed in, conversion, form and mold,
// byte comparison, the bitwise actions, trim, the wrappers of the base
// codecs, and the registration row of binary!.
//
// append, insert and change gather the bytes of their value into host
// memory first: every error (a byte out of range, an unsupported value, a
// code point past 10FFFFh) is raised before the series changes, a value
// formed to text may allocate freely, and a binary inserted into itself
// needs no care.
#include "runtime/datatypes/binary.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/codecs/base.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_edit.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::binary {

using namespace memory;

namespace {

int32_t abs_length(const cell* bin) {
  series_buffer* b = GET_BUFFER(bin);
  return static_cast<int32_t>(b->tail - b->head);
}

int32_t clamped_index(const cell* bin) { return std::min(static_cast<int32_t>(bin->data1), abs_length(bin)); }

cell integer_cell(int32_t n) { return cell{TYPE_INTEGER, 0, static_cast<uint32_t>(n), 0}; }

// Room for `size` bytes from the head, growing to the missing amount plus
// twice the capacity (rs_insert and rs_overwrite).
series_buffer* reserve_more(const cell* bin, int64_t size) {
  series_buffer* b = GET_BUFFER(bin);
  int64_t capacity = data_end(b) - head_of(b);
  if (size <= capacity) return b;
  int64_t grown = size - capacity + 2 * capacity;
  if (grown > INT32_MAX) fire(err::internal_no_memory);
  return expand_series(b, static_cast<int32_t>(grown));
}

// ---- The bytes of a value ------------------------------------------------------

using bytes = std::vector<uint8_t>;

void add_utf8(bytes& out, const cell* s, int64_t limit) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  int32_t count = string::rs_length_q(s);
  const uint8_t* from = tail_of(b) - static_cast<int64_t>(count) * unit;
  int32_t n = unicode::count_utf8_bytes(from, tail_of(b), static_cast<int32_t>(unit));
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(n));
  unicode::encode_utf8(from, static_cast<int32_t>(unit), count, false, out.data() + at);
  if (limit >= 0 && n > limit) out.resize(at + static_cast<size_t>(limit));
}

void add_raw(bytes& out, const uint8_t* from, int64_t n, int64_t limit) {
  if (limit >= 0 && n > limit) n = limit;
  out.insert(out.end(), from, from + n);
}


// Appends the bytes of a value to out. A part above 0 limits their count
// (for a block without `only`, the values taken); `form_any` accepts any
// value through its formed text, else such a value raises bad-to-arg.
void add_value(bytes& out, const cell* value, int32_t part, bool only, bool form_any) {
  int64_t limit = part > 0 ? part : -1;
  uint32_t t = TYPE_OF(value);
  if (t == TYPE_CHAR) {
    uint8_t sequence[4];
    add_raw(out, sequence, unicode::cp_to_utf8(value->data2, sequence), limit);
  } else if (t == TYPE_INTEGER) {
    int32_t n = static_cast<int32_t>(value->data2);
    if (n < -128 || n > 255) fire(err::script_invalid_arg, {*value});
    add_raw(out, reinterpret_cast<const uint8_t*>(&n), 1, limit);
  } else if (t == TYPE_BINARY) {
    add_raw(out, rs_head(value), rs_length_q(value), limit);
  } else if (t == TYPE_TUPLE) {
    add_raw(out, tuple::bytes_of(value), tuple::length_of(value), limit);
  } else if (any_string_q(t)) {
    add_utf8(out, value, limit);
  } else if (any_list_q(t)) {
    cell blk = *value;
    memory::root_guard keep(&blk);
    int32_t count = series::get_length(&blk, false);
    if (!only && limit >= 0 && limit < count) count = static_cast<int32_t>(limit);
    size_t start = out.size();
    for (int32_t i = 0; i < count && blk.data1 + i < static_cast<uint32_t>(series::rs_abs_length_q(&blk)); ++i) {
      int64_t left = limit - static_cast<int64_t>(out.size() - start);
      if (only && limit >= 0 && left <= 0) break;
      cell item = *(head_of<cell>(GET_BUFFER(&blk)) + blk.data1 + i);
      memory::root_guard keep_item(&item);
      add_value(out, &item, only && limit >= 0 ? static_cast<int32_t>(left) : -1, only, form_any);
    }
  } else if (form_any) {
    cell item = *value;
    memory::root_guard keep(&item);
    cell* text = stack::push_slot();
    string::rs_make_at(text, 16);
    actions::form(&item, text, nullptr, INT32_MAX);
    add_utf8(out, text, limit);
    stack::pop(1);
  } else {
    fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_BINARY), *value});
  }
}

// ---- The bitwise actions -------------------------------------------------------

enum bitwise_op { OP_OR = 5, OP_AND = 6, OP_XOR = 7 };

void do_bitwise(int32_t op) {
  cell* left = stack::arguments;
  cell* right = left + 1;
  if (TYPE_OF(right) != TYPE_BINARY) fire(err::script_invalid_arg, {*right});
  int32_t a = rs_length_q(left), b = rs_length_q(right);
  uint32_t node = alloc_bytes(std::max(a, b));
  const uint8_t* x = rs_head(left);
  const uint8_t* y = rs_head(right);
  series_buffer* out = buffer_of(node);
  uint8_t* p = head_of(out);
  int32_t shorter = std::min(a, b);
  for (int32_t i = 0; i < shorter; ++i)
    p[i] = static_cast<uint8_t>(op == OP_AND ? x[i] & y[i] : op == OP_OR ? x[i] | y[i] : x[i] ^ y[i]);
  const uint8_t* longer = a > b ? x : y;
  for (int32_t i = shorter; i < std::max(a, b); ++i) p[i] = op == OP_AND ? 0 : longer[i];
  out->tail = out->head + static_cast<uint32_t>(std::max(a, b));
  *left = cell{left->header, 0, node, 0};
}

void and_t() { do_bitwise(OP_AND); }
void or_t() { do_bitwise(OP_OR); }
void xor_t() { do_bitwise(OP_XOR); }

cell* complement(cell* bin) {
  for (uint8_t *p = rs_head(bin), *end = rs_tail(bin); p < end; ++p) *p = static_cast<uint8_t>(~*p);
  return bin;
}

// ---- Conversion ----------------------------------------------------------------

cell* load_at(cell* c, const bytes& data) {
  return binary::load_at(data.data(), static_cast<int32_t>(data.size()), c);
}

cell* to(cell* proto, cell* spec, int32_t) {
  cell source = *spec;
  root_guard keep(&source);
  uint32_t t = TYPE_OF(&source);
  bytes data;
  switch (t) {
    case TYPE_INTEGER: {
      uint32_t n = source.data2;
      for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<uint8_t>(n >> shift));
      break;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      uint64_t bits;
      double d = get_float(&source);
      std::memcpy(&bits, &d, 8);
      for (int shift = 56; shift >= 0; shift -= 8) data.push_back(static_cast<uint8_t>(bits >> shift));
      break;
    }
    case TYPE_ISSUE:
      return from_issue(&source, proto);
    case TYPE_BINARY: {
      int32_t index = clamped_index(&source);
      uint32_t node = series::copy_part(source.data2, index, abs_length(&source) - index);
      *proto = cell{TYPE_BINARY, 0, node, 0};
      return proto;
    }
    case TYPE_BITSET: {  // its whole byte array, as stored
      series_buffer* b = GET_BUFFER(&source);
      data.assign(head_of(b), tail_of(b));
      break;
    }
    case TYPE_IMAGE:  // every pixel, 4 bytes each as stored
      return image::extract_data(&source, image::CHANNEL_ARGB, proto);
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_CHAR: case TYPE_TUPLE:
      add_value(data, &source, -1, false, false);
      break;
    default:
      if (!any_string_q(t)) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_BINARY), source});
      add_utf8(data, &source, -1);
  }
  return load_at(proto, data);
}

// ---- form and mold -------------------------------------------------------------

int32_t append_line(cell* buffer, int32_t indent, int32_t part) {
  part = datatype::append_text(buffer, "\n", part);
  for (int32_t i = 0; i < indent; ++i) part = datatype::append_text(buffer, "    ", part);
  return part;
}

int32_t form_mold(cell* value, cell* buffer, bool only, bool flat, bool part_given, int32_t part, int32_t indent) {
  cell bin = *value;
  root_guard keep(&bin);
  if (!only) part = datatype::append_text(buffer, "#{", part);
  int32_t length = rs_length_q(&bin);
  int32_t start = clamped_index(&bin);
  bool long_value = length > 30 && !flat;
  if (long_value) part = append_line(buffer, indent + 1, part);
  for (int32_t i = 0; i < length; ++i) {
    part = datatype::append_text(buffer, string::byte_to_hex(rs_abs_at(&bin, start + i)), part);
    if ((i + 1) % 32 == 0 && !flat) part = append_line(buffer, indent + 1, part);
    if (part_given && part <= 0) return part;
  }
  if (long_value && length % 32 != 0) part = append_line(buffer, indent, part);
  if (!only) part = datatype::append_text(buffer, "}", part);
  return part;
}

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  return form_mold(value, buffer, false, false, stack::given_q(arg), part, 0);
}

int32_t mold(cell* value, cell* buffer, int32_t only, int32_t, int32_t flat, cell* arg, int32_t part,
             int32_t indent) {
  return form_mold(value, buffer, only != 0, flat != 0, stack::given_q(arg), part, indent);
}

// ---- Editing -------------------------------------------------------------------

cell* insert(cell* bin, cell* value, int32_t part, int32_t only, int32_t dup, int32_t append) {
  bytes data;
  add_value(data, value, part, only != 0, false);
  if (data.empty() || dup < 1) return bin;
  series::insertion done = series::insert_units(bin, value, data.data(), data.size(), dup, append != 0);
  bin->data1 = append ? 0 : static_cast<uint32_t>(done.position + done.count);
  ownership::check(bin, append ? words::word_appended : words::word_inserted, value, done.position, done.count);
  return bin;
}

cell* change(cell* bin, cell* value, int32_t part, int32_t, int32_t dup) {
  bytes data;
  add_value(data, value, -1, false, true);
  series::change_units(bin, value, data.data(), data.size(), part, dup);
  return bin;
}

// Removes every byte of the part from the index for which `drop` holds.
template <class Drop>
void remove_bytes(cell* bin, Drop drop) {
  series_buffer* b = GET_BUFFER(bin);
  uint8_t* w = head_of(b) + clamped_index(bin);
  for (uint8_t* r = w; r < tail_of(b); ++r)
    if (!drop(*r)) *w++ = *r;
  set_tail(b, w);
}

cell* trim(cell* bin, int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all, cell* with) {
  if (stack::given_q(with)) {
    string::trim(bin, 0, 0, 0, 0, 1, with);
  } else if (all) {
    remove_bytes(bin, [](uint8_t byte) { return byte == 0; });
  } else if (auto_ || lines) {
    fire(err::internal_not_done);
  } else {
    trim_zeros(bin, head != 0, tail != 0);
  }
  ownership::check(bin, words::word_trimmed, nullptr, clamped_index(bin), 1);
  return bin;
}

}  // namespace

// ---- Readers -------------------------------------------------------------------

int32_t rs_length_q(const cell* bin) { return abs_length(bin) - clamped_index(bin); }

uint8_t* rs_head(const cell* bin) { return head_of(GET_BUFFER(bin)) + clamped_index(bin); }

uint8_t* rs_tail(const cell* bin) { return tail_of(GET_BUFFER(bin)); }

bool rs_tail_q(const cell* bin) { return rs_length_q(bin) == 0; }

bool rs_skip(cell* bin, int32_t n) { return series::rs_skip(bin, n); }

bool rs_next(cell* bin) { return rs_skip(bin, 1); }

uint8_t rs_abs_at(const cell* bin, int32_t offset) { return head_of(GET_BUFFER(bin))[offset]; }

// ---- Writers -------------------------------------------------------------------

void rs_clear(cell* bin) {
  series_buffer* b = GET_BUFFER(bin);
  b->tail = b->head + static_cast<uint32_t>(clamped_index(bin));
}

uint8_t* rs_append(cell* bin, const uint8_t* source, int32_t len) {
  uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(bin), len);
  std::memcpy(at, source, static_cast<size_t>(len));
  return at;
}

uint8_t* rs_insert(cell* bin, int32_t offset, const uint8_t* source, int32_t len) {
  int32_t length = abs_length(bin);
  int32_t position = std::min(clamped_index(bin) + offset, length);
  series_buffer* b = reserve_more(bin, static_cast<int64_t>(length) + len);
  uint8_t* at = head_of(b) + position;
  std::memmove(at + len, at, static_cast<size_t>(length - position));
  std::memcpy(at, source, static_cast<size_t>(len));
  b->tail += static_cast<uint32_t>(len);
  return at;
}

void rs_overwrite(cell* bin, int32_t offset, const uint8_t* source, int32_t len) {
  int64_t end = static_cast<int64_t>(clamped_index(bin)) + offset + len;
  series_buffer* b = reserve_more(bin, end);
  std::memcpy(head_of(b) + end - len, source, static_cast<size_t>(len));
  if (head_of(b) + end > tail_of(b)) b->tail = b->head + static_cast<uint32_t>(end);
}

void append_int32(int32_t n, cell* bin) {
  auto u = static_cast<uint32_t>(n);
  uint8_t be[4] = {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
                   static_cast<uint8_t>(u)};
  rs_append(bin, be, 4);
}

// ---- Constructors --------------------------------------------------------------

cell* make_at(cell* c, int32_t size) {
  c->header = TYPE_UNSET;  // until the buffer exists: an allocation may collect
  uint32_t node = alloc_bytes(size);
  *c = cell{TYPE_BINARY, 0, node, 0};
  return c;
}

cell* make_in(cell* blk, int32_t size) {
  cell made{TYPE_UNSET, 0, 0, 0};
  root_guard keep(&made);
  make_at(&made, size);
  cell* at = series::alloc_tail_cell(GET_BUFFER(blk));
  *at = made;
  return at;
}

cell* load_at(const uint8_t* source, int32_t len, cell* c) {
  make_at(c, len);
  rs_append(c, source, len);
  return c;
}

cell* load_in(const uint8_t* source, int32_t len, cell* blk) {
  cell made{TYPE_UNSET, 0, 0, 0};
  root_guard keep(&made);
  load_at(source, len, &made);
  if (!blk) return stack::push(made);
  cell* at = series::alloc_tail_cell(GET_BUFFER(blk));
  *at = made;
  return at;
}

cell* load(const uint8_t* source, int32_t len) { return load_in(source, len, nullptr); }

cell* push(const cell* bin) { return stack::push(*bin); }

void set_value(uint8_t* at, const cell* value) {
  uint32_t t = TYPE_OF(value);
  if (t != TYPE_INTEGER && t != TYPE_CHAR) fire(err::script_invalid_arg, {*value});
  *at = static_cast<uint8_t>(value->data2);
}

cell* from_issue(const cell* issue, cell* c) {
  cell spelling{TYPE_STRING, 0, symbol::get_c_string(static_cast<int32_t>(issue->data2)), 0};
  uint32_t node = decode(16, &spelling);
  if (!node) fire(err::script_invalid_data, {*issue});
  *c = cell{TYPE_BINARY, 0, node, 0};
  return c;
}

void trim_zeros(cell* bin, bool head, bool tail) {
  series_buffer* b = GET_BUFFER(bin);
  uint8_t* at = head_of(b) + clamped_index(bin);
  uint8_t *start = at, *end = tail_of(b);
  if (head || !tail)
    while (start < end && *start == 0) ++start;
  if (tail || !head)
    while (end > start && end[-1] == 0) --end;
  std::memmove(at, start, static_cast<size_t>(end - start));
  set_tail(b, at + (end - start));
}

// ---- Base codecs ---------------------------------------------------------------

uint32_t decode(int32_t base, const cell* text) {
  cell t = *text;
  root_guard keep(&t);
  int32_t length = string::rs_length_q(&t);
  uint32_t node = alloc_bytes(base::decoded_capacity(base, length));
  series_buffer* source = GET_BUFFER(&t);  // read again: the allocation may have moved it
  uint32_t unit = GET_UNIT(source);
  const uint8_t* from = tail_of(source) - static_cast<int64_t>(length) * unit;
  series_buffer* out = buffer_of(node);
  int32_t n = base::decode(base, from, length, unit, head_of(out));
  if (n < 0) return 0;
  out->tail = out->head + static_cast<uint32_t>(n);
  return node;
}

cell* debase(cell* text, int32_t base, cell* c) {
  if (!base::known_base_q(base)) fire(err::script_invalid_arg, {integer_cell(base)});
  uint32_t node = decode(base, text);
  *c = node ? cell{TYPE_BINARY, 0, node, 0} : none::none_value;
  return c;
}

cell* enbase(cell* value, int32_t base, cell* c) {
  if (!base::known_base_q(base)) fire(err::script_invalid_arg, {integer_cell(base)});
  cell v = *value;
  root_guard keep(&v);  // its conversion cache too, which holds a string's UTF-8
  uint32_t node;
  int32_t offset = 0, length = -1;
  if (TYPE_OF(&v) == TYPE_BINARY) {
    node = v.data2;
    offset = clamped_index(&v);
    length = rs_length_q(&v);
  } else {
    node = unicode::to_utf8_buffer(&v, length, false);
  }
  int32_t size = base::encoded_size(base, length);
  if (size < 0) fire(err::script_too_long);
  string::rs_make_at(c, size);
  series_buffer* out = GET_BUFFER(c);
  const uint8_t* from = head_of(buffer_of(node)) + offset;  // read after the allocation
  set_tail(out, base::encode(base, head_of(out), from, length));
  return c;
}

// ---- Comparison ----------------------------------------------------------------

int32_t compare(const cell* bin, const cell* other, int32_t op) {
  if (TYPE_OF(other) != TYPE_BINARY) return COMPARE_NONE;
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
  if (bin->data2 == other->data2 && clamped_index(bin) == clamped_index(other) && (equality || op == COMP_SAME))
    return 0;
  if (op == COMP_SAME) return -1;
  int32_t a = rs_length_q(bin), b = rs_length_q(other);
  if (equality && a != b) return 1;
  int r = std::memcmp(rs_head(bin), rs_head(other), static_cast<size_t>(std::min(a, b)));
  if (r != 0) return r < 0 ? -1 : 1;
  return a < b ? -1 : a > b ? 1 : 0;
}

// ---- Registration --------------------------------------------------------------

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_BINARY, TYPE_STRING, "binary!",
    /* make .. set-path */     inherit, inherit, inherit, to, form, mold, inherit, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, and_t, complement, or_t, xor_t,
    /* append .. head */       insert, inherit, inherit, change, inherit, inherit, inherit, inherit,
    /* head? .. poke */        inherit, inherit, insert, inherit, inherit, inherit, inherit, inherit,
    /* put .. tail */          unsupported, inherit, inherit, inherit, inherit, inherit, inherit, inherit,
    /* tail? .. open */        inherit, inherit, trim, unsupported, unsupported, unsupported, inherit, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::binary
