// The Ixobin writer of both layouts: one walk over the value that emits
// each record in the standard layout (32-bit LE words) or the compact one
// (one-byte headers, varints, short forms), collecting the symbols it meets
// and remembering, for every series, context and function it has written,
// the path of indexes that leads to it from the top-level value.
//
// The writer state lives in one local record per write, on the C++ heap,
// so an error leaves nothing behind and the next write starts clean. The
// walk allocates in the arena only to intern a routine's name; node
// compaction is held off for the write, so the nodes that key the table of
// written things never move.
#include <cmath>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/ixobin/format.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::ixobin {

using memory::buffer_of;
using memory::GET_BUFFER;
using memory::GET_UNIT;
using memory::head_of;
using memory::series_buffer;
using memory::tail_of;

namespace {

using path = std::vector<int32_t>;

struct writer {
  bool compact;
  std::vector<uint8_t> out;           // the payload
  std::vector<int32_t> symbol_ids;    // symbol i of the table
  std::vector<uint32_t> symbol_offsets;
  std::vector<uint8_t> strings;       // the string table
  int32_t current = 0;                // position of the next value among its siblings
  path path_stack;                    // the saved positions of the enclosing things
  std::unordered_map<uint32_t, path> written;  // node of a written thing -> its path
  int32_t depth = 0;
};

// Holds node compaction off for its scope.
struct nodes_held {
  int32_t saved = collector::node_compaction;
  nodes_held() { collector::node_compaction = 0; }
  ~nodes_held() { collector::node_compaction = saved; }
};

// ---- Primitive fields ---------------------------------------------------------

void emit_byte(writer& w, uint32_t b) { w.out.push_back(static_cast<uint8_t>(b)); }

void emit_raw32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void emit_word(writer& w, uint32_t v) { emit_raw32(w.out, v); }

void emit_varint(std::vector<uint8_t>& out, uint32_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<uint8_t>(v));
}
void emit_varint(writer& w, uint32_t v) { emit_varint(w.out, v); }

void emit_zigzag(writer& w, int32_t n) {
  emit_varint(w, static_cast<uint32_t>(n) << 1 ^ static_cast<uint32_t>(n >> 31));
}

// A count or index: a word in the standard layout, a varint in the compact one.
void emit_count(writer& w, uint32_t n) {
  if (w.compact) emit_varint(w, n);
  else emit_word(w, n);
}

void emit_bytes(writer& w, const uint8_t* p, size_t n) { w.out.insert(w.out.end(), p, p + n); }

void pad_to(writer& w, size_t multiple) {
  while (w.out.size() % multiple) w.out.push_back(0);
}

// The 0-based position of the symbol in the table, added when new: its
// exact UTF-8 spelling and a NUL, padded to 8 bytes in the standard layout.
uint32_t add_symbol(writer& w, int32_t id) {
  for (size_t i = 0; i < w.symbol_ids.size(); ++i)
    if (w.symbol_ids[i] == id) return static_cast<uint32_t>(i);
  series_buffer* name = buffer_of(symbol::entry_of(id)->data3);
  w.symbol_ids.push_back(id);
  w.symbol_offsets.push_back(static_cast<uint32_t>(w.strings.size()));
  w.strings.insert(w.strings.end(), head_of(name), tail_of(name));
  w.strings.push_back(0);
  if (!w.compact)
    while (w.strings.size() % 8) w.strings.push_back(0);
  return static_cast<uint32_t>(w.symbol_ids.size() - 1);
}

void emit_symbol(writer& w, int32_t id) { emit_count(w, add_symbol(w, id)); }

// ---- Headers and references -----------------------------------------------------

// The record's header: in the standard layout a word of the type, its
// `bits`, the reference and new-line flags; in the compact layout the
// new-line and reference prefixes, then the type with its flag F.
void emit_header(writer& w, const cell& v, uint32_t type, uint32_t bits, bool f, bool reference) {
  bool new_line = (v.header & NEWLINE_FLAG) != 0;
  if (w.compact) {
    if (new_line) emit_byte(w, PREFIX_NEW_LINE);
    if (reference) emit_byte(w, PREFIX_REFERENCE);
    emit_byte(w, type | (f ? HEADER_F : 0));
  } else {
    emit_word(w, type | bits | (reference ? STD_REFERENCE : 0) | (new_line ? STD_NEW_LINE : 0));
  }
}

void emit_path(writer& w, const path& p) {
  if (!w.compact) emit_word(w, STD_PATH);
  emit_count(w, static_cast<uint32_t>(p.size()));
  for (int32_t i : p) emit_count(w, static_cast<uint32_t>(i));
}

// The earlier path of a thing keyed by its node; for a thing not written
// yet, nullptr after entering it: its path is recorded and its members
// count from 0 until `leave`.
const path* enter(writer& w, uint32_t key) {
  auto found = w.written.find(key);
  if (found != w.written.end()) return &found->second;
  w.path_stack.push_back(w.current);
  w.written.emplace(key, w.path_stack);
  w.current = 0;
  return nullptr;
}
// Members of a thing that is never shared (an error's fields).
void enter_unshared(writer& w) {
  w.path_stack.push_back(w.current);
  w.current = 0;
}
void leave(writer& w) {
  w.current = w.path_stack.back();
  w.path_stack.pop_back();
}

[[noreturn]] void no_codec(const cell& v) { fire(err::access_no_codec, {v}); }

void write_value(writer& w, const cell* at, bool advance);

// ---- Records ----------------------------------------------------------------------

cell* cell_at(uint32_t node, int32_t i) { return head_of<cell>(buffer_of(node)) + i; }
int32_t cell_count(uint32_t node) {
  series_buffer* b = buffer_of(node);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

void write_block(writer& w, const cell& v) {
  const path* seen = enter(w, v.data2);
  bool f = v.data1 != 0;
  emit_header(w, v, TYPE_OF(&v), 0, f, seen);
  if (!w.compact) emit_word(w, v.data1);
  else if (f) emit_varint(w, v.data1);
  if (seen) return emit_path(w, *seen);
  int32_t count = cell_count(v.data2);
  emit_count(w, static_cast<uint32_t>(count));
  for (int32_t i = 0; i < count; ++i) write_value(w, cell_at(v.data2, i), true);
  leave(w);
}

// string family, binary! and vector!: unit-sized elements from the head.
void write_units(writer& w, const cell& v) {
  uint32_t type = TYPE_OF(&v);
  const path* seen = enter(w, v.data2);
  series_buffer* b = GET_BUFFER(&v);
  uint32_t unit = GET_UNIT(b);
  bool f = v.data1 != 0;
  emit_header(w, v, type, unit << STD_UNIT_SHIFT, f, seen);
  if (!w.compact) emit_word(w, v.data1);
  else if (f) emit_varint(w, v.data1);
  if (seen) return emit_path(w, *seen);
  uint32_t bytes = b->tail - b->head;
  uint32_t length = bytes / unit;
  uint32_t unit_code = series::unit_shift(unit);
  if (!w.compact) {
    emit_word(w, length);
    if (type == TYPE_VECTOR) emit_word(w, v.data3);
  } else if (type == TYPE_VECTOR) {
    emit_byte(w, v.data3 << 2 | unit_code);
    emit_varint(w, length);
  } else if (type == TYPE_BINARY) {
    emit_varint(w, length);
  } else {
    emit_varint(w, length << 2 | unit_code);
  }
  emit_bytes(w, head_of(GET_BUFFER(&v)), bytes);
  if (!w.compact) pad_to(w, 4);
  leave(w);
}

void write_bitset(writer& w, const cell& v) {
  const path* seen = enter(w, v.data2);
  series_buffer* b = GET_BUFFER(&v);
  bool complemented = (b->flags & bitset::COMPLEMENTED) != 0;
  emit_header(w, v, TYPE_BITSET, complemented ? STD_COMPLEMENT : 0, complemented, seen);
  if (seen) return emit_path(w, *seen);
  uint32_t bytes = b->tail - b->head;
  emit_count(w, bytes);
  emit_bytes(w, head_of(b), bytes);
  if (!w.compact) pad_to(w, 4);
  leave(w);
}

// image!: index, the size dword (in the compact layout its two halves,
// width then height), then every pixel as its 4 stored bytes.
void write_image(writer& w, const cell& v) {
  const path* seen = enter(w, v.data2);
  bool f = v.data1 != 0;
  emit_header(w, v, TYPE_IMAGE, 0, f, seen);
  if (!w.compact) emit_word(w, v.data1);
  else if (f) emit_varint(w, v.data1);
  if (seen) return emit_path(w, *seen);
  uint32_t width = static_cast<uint32_t>(image::width_of(&v)), height = static_cast<uint32_t>(image::height_of(&v));
  if (w.compact) {
    emit_varint(w, width);
    emit_varint(w, height);
  } else {
    emit_word(w, v.data3);
  }
  emit_bytes(w, reinterpret_cast<const uint8_t*>(image::pixels_of(&v)), static_cast<size_t>(width) * height * 4);
  leave(w);
}

// The live pairs of the storage, in storage order; a removed pair's value
// cell has a cleared header.
void write_map(writer& w, const cell& v) {
  const path* seen = enter(w, v.data2);
  emit_header(w, v, TYPE_MAP, 0, false, seen);
  if (seen) return emit_path(w, *seen);
  int32_t count = cell_count(v.data2);
  uint32_t live = 0;
  for (int32_t i = 0; i + 1 < count; i += 2) live += cell_at(v.data2, i + 1)->header != 0;
  emit_count(w, 2 * live);
  for (int32_t i = 0; i + 1 < count; i += 2) {
    if (cell_at(v.data2, i + 1)->header == 0) continue;
    write_value(w, cell_at(v.data2, i), true);
    write_value(w, cell_at(v.data2, i + 1), true);
  }
  leave(w);
}

// The context record: kind and flags, the words, and the values of a heap
// context when one of them is set.
void write_context(writer& w, uint32_t ctx) {
  cell c = *context::context_cell(ctx);
  uint32_t kind = context::kind_of(&c);
  bool stack = context::stack_q(&c);
  bool self = (c.header & context::FLAG_SELF) != 0;
  int32_t n = context::word_count(ctx);
  uint32_t values = stack ? 0 : c.data2;
  int32_t stored = values ? cell_count(values) : 0;
  bool with_values = false;
  for (int32_t i = 0; i < n && i < stored; ++i) with_values |= TYPE_OF(cell_at(values, i)) != TYPE_UNSET;
  if (w.compact) {
    emit_byte(w, TYPE_CONTEXT);
    emit_byte(w, kind | (stack ? CTX_STACK : 0) | (self ? CTX_SELF : 0) | (with_values ? CTX_VALUES : 0));
  } else {
    emit_word(w, TYPE_CONTEXT | kind << STD_KIND_SHIFT | (self ? STD_SELF : 0) | (stack ? STD_STACK : 0) |
                     (with_values ? STD_VALUES : 0));
  }
  emit_count(w, static_cast<uint32_t>(n));
  for (int32_t i = 0; i < n; ++i)
    emit_symbol(w, static_cast<int32_t>(context::word_at(context::context_cell(ctx), i)->data2));
  if (!with_values) return;
  cell unset{TYPE_UNSET, 0, 0, 0};
  for (int32_t i = 0; i < n; ++i) write_value(w, i < cell_count(values) ? cell_at(values, i) : &unset, true);
}

// An object's fields after its header: class id, change-handler dwords,
// context record.
void write_object_body(writer& w, const cell& v) {
  if (w.compact) emit_zigzag(w, static_cast<int32_t>(v.data2));
  else emit_word(w, v.data2);
  if (v.data3) {
    for (int32_t i = 0; i < 2; ++i) {
      uint32_t dword = cell_at(v.data3, i)->data1;
      if (w.compact) emit_zigzag(w, static_cast<int32_t>(dword));
      else emit_word(w, dword);
    }
  }
  write_context(w, v.data1);
}

void write_object(writer& w, const cell& v, bool owner) {
  if (!owner) {
    const path* seen = enter(w, v.data1);
    emit_header(w, v, TYPE_OBJECT, v.data3 ? STD_HANDLERS : 0, v.data3 != 0, seen);
    if (seen) return emit_path(w, *seen);
  } else {
    emit_header(w, cell{}, TYPE_OBJECT, v.data3 ? STD_HANDLERS : 0, v.data3 != 0, false);
  }
  write_object_body(w, v);
  if (!owner) leave(w);
}

// A function's fields: the cell counts of spec and body, its context
// record, then spec and body as members 0 and 1.
void write_function_body(writer& w, const cell& v) {
  cell more{TYPE_BLOCK, 0, v.data3, 0};
  cell body = *block::rs_abs_at(&more, 0);
  if (TYPE_OF(&body) != TYPE_BLOCK) no_codec(v);
  emit_count(w, static_cast<uint32_t>(cell_count(v.data2)));
  emit_count(w, static_cast<uint32_t>(cell_count(body.data2)));
  write_context(w, v.data1);
  cell spec{TYPE_BLOCK, 0, v.data2, 0};
  write_value(w, &spec, true);
  write_value(w, &body, true);
}

void write_function(writer& w, const cell& v, bool owner) {
  if (!owner) {
    const path* seen = enter(w, v.data1);
    emit_header(w, v, TYPE_FUNCTION, 0, false, seen);
    if (seen) return emit_path(w, *seen);
  } else {
    emit_header(w, cell{}, TYPE_FUNCTION, 0, false, false);
  }
  write_function_body(w, v);
  if (!owner) leave(w);
}

bool global_word_q(const cell& v) {
  if (v.data1 == 0 || v.data1 == context::global_ctx) return true;
  uint32_t owner = TYPE_OF(context::owner_cell(v.data1));
  return owner == TYPE_NONE || owner == TYPE_UNSET || owner == TYPE_BLOCK;
}

// A word bound elsewhere than the global context carries its context: the
// owner's record the first time, a reference to that word's path later.
void write_word(writer& w, const cell& v) {
  uint32_t type = TYPE_OF(&v);
  if (global_word_q(v)) {
    emit_header(w, v, type, STD_GLOBAL, false, false);
    emit_symbol(w, static_cast<int32_t>(v.data2));
    if (!w.compact) emit_word(w, v.data3);
    return;
  }
  cell owner = *context::owner_cell(v.data1);
  if (TYPE_OF(&owner) != TYPE_OBJECT && TYPE_OF(&owner) != TYPE_FUNCTION) no_codec(v);
  const path* seen = enter(w, v.data1);
  emit_header(w, v, type, 0, true, seen);
  emit_symbol(w, static_cast<int32_t>(v.data2));
  if (w.compact) emit_zigzag(w, static_cast<int32_t>(v.data3));
  else emit_word(w, v.data3);
  if (seen) return emit_path(w, *seen);
  if (TYPE_OF(&owner) == TYPE_OBJECT) write_object(w, owner, true);
  else write_function(w, owner, true);
  leave(w);
}

// A routine! goes by the name its C++ entry is registered under, then its
// spec as member 0.
void write_routine(writer& w, const cell& v) {
  const path* seen = enter(w, v.data1);
  emit_header(w, v, TYPE_ROUTINE, 0, false, seen);
  if (seen) return emit_path(w, *seen);
  cell more{TYPE_BLOCK, 0, v.data3, 0};
  const char* name = routine::name_of(static_cast<int32_t>(block::rs_abs_at(&more, 2)->data2));
  if (!name) no_codec(v);
  emit_symbol(w, symbol::make(name));
  cell spec{TYPE_BLOCK, 0, v.data2, 0};
  write_value(w, &spec, true);
  leave(w);
}

void write_float(writer& w, const cell& v) {
  uint32_t type = TYPE_OF(&v);
  double d = get_float(&v);
  if (w.compact) {
    int32_t n = 0;
    bool short_form;
    if (type == TYPE_PERCENT) {
      short_form = d >= -21474836.0 && d <= 21474836.0;
      if (short_form) {
        double scaled = d * 100;
        n = static_cast<int32_t>(d >= 0 ? scaled + 0.5 : scaled - 0.5);
        short_form = d == n / 100.0;
      }
    } else {
      short_form = d >= -2147483000.0 && d <= 2147483000.0 && d == std::trunc(d);
      if (short_form) n = static_cast<int32_t>(d);
    }
    if (short_form && n == 0 && std::signbit(d)) short_form = false;  // -0.0 keeps its sign raw
    emit_header(w, v, type, 0, short_form, false);
    if (short_form) return emit_zigzag(w, n);
    emit_raw32(w.out, v.data2);
    emit_raw32(w.out, v.data3);
    return;
  }
  pad_to(w, 8);
  emit_header(w, v, type, 0, false, false);
  emit_word(w, v.data2);
  emit_word(w, v.data3);
}

void write_scalar(writer& w, const cell& v) {
  uint32_t type = TYPE_OF(&v);
  const uint8_t* payload = reinterpret_cast<const uint8_t*>(&v.data1);
  switch (type) {
    case TYPE_UNSET: case TYPE_NONE:
      return emit_header(w, v, type, 0, false, false);
    case TYPE_DATATYPE:
      emit_header(w, v, type, 0, false, false);
      return emit_count(w, v.data1);
    case TYPE_LOGIC:
      if (w.compact) {
        if (v.header & NEWLINE_FLAG) emit_byte(w, PREFIX_NEW_LINE);
        return emit_byte(w, v.data1 ? TAG_TRUE : TAG_FALSE);
      }
      emit_header(w, v, type, 0, false, false);
      return emit_word(w, v.data1 ? 1 : 0);
    case TYPE_CHAR:
      emit_header(w, v, type, 0, false, false);
      return emit_count(w, v.data2);
    case TYPE_INTEGER:
      if (w.compact && v.data2 < 64) {
        if (v.header & NEWLINE_FLAG) emit_byte(w, PREFIX_NEW_LINE);
        return emit_byte(w, TAG_SMALL_INTEGER | v.data2);
      }
      emit_header(w, v, type, 0, false, false);
      if (w.compact) return emit_zigzag(w, static_cast<int32_t>(v.data2));
      return emit_word(w, v.data2);
    case TYPE_PAIR:
      emit_header(w, v, type, 0, false, false);
      if (w.compact) {
        emit_zigzag(w, static_cast<int32_t>(v.data2));
        return emit_zigzag(w, static_cast<int32_t>(v.data3));
      }
      emit_word(w, v.data2);
      return emit_word(w, v.data3);
    case TYPE_POINT2D: case TYPE_POINT3D:
      emit_header(w, v, type, 0, false, false);
      emit_raw32(w.out, v.data1);
      emit_raw32(w.out, v.data2);
      if (type == TYPE_POINT3D) emit_raw32(w.out, v.data3);
      return;
    case TYPE_DATE: {
      bool has_time = (v.data1 & date::HAS_TIME) != 0;
      emit_header(w, v, type, 0, has_time, false);
      emit_raw32(w.out, v.data1);
      if (!w.compact) {  // the time's high dword first
        emit_word(w, v.data3);
        return emit_word(w, v.data2);
      }
      if (has_time) {
        emit_raw32(w.out, v.data2);
        emit_raw32(w.out, v.data3);
      }
      return;
    }
    case TYPE_TYPESET: {
      emit_header(w, v, type, 0, false, false);
      if (!w.compact) {
        emit_word(w, v.data1);
        emit_word(w, v.data2);
        return emit_word(w, v.data3);
      }
      uint32_t n = 12;
      while (n > 0 && payload[n - 1] == 0) --n;
      emit_byte(w, n);
      return emit_bytes(w, payload, n);
    }
    case TYPE_TUPLE: {
      uint32_t length = static_cast<uint32_t>(tuple::length_of(&v));
      emit_header(w, v, type, length << STD_UNIT_SHIFT, length != 3, false);
      if (!w.compact) return emit_bytes(w, payload, 12);
      if (length != 3) emit_byte(w, length);
      return emit_bytes(w, payload, length);
    }
    case TYPE_MONEY: {
      bool negative = money::get_sign(&v);
      emit_header(w, v, type, negative ? STD_NEGATIVE : 0, negative, false);
      return emit_bytes(w, payload, 12);
    }
    case TYPE_ISSUE:
      emit_header(w, v, type, 0, false, false);
      return emit_symbol(w, static_cast<int32_t>(v.data2));
    default:
      no_codec(v);
  }
}

void write_native(writer& w, const cell& v) {
  emit_header(w, v, TYPE_OF(&v), 0, false, false);
  emit_count(w, v.data1);
  cell spec{TYPE_BLOCK, 0, v.data2, 0};
  write_value(w, &spec, false);
}

// An op! is its header, then the wrapped value's record in its place.
void write_op(writer& w, const cell& v) {
  uint32_t wrapped = v.header >> 16 & 0xFF;
  if (wrapped != TYPE_NATIVE && wrapped != TYPE_ACTION && wrapped != TYPE_FUNCTION && wrapped != TYPE_ROUTINE)
    no_codec(v);
  emit_header(w, v, TYPE_OP, wrapped << STD_WRAPPED_SHIFT, false, false);
  cell inner = v;
  inner.header = wrapped;
  write_value(w, &inner, false);
}

void write_error(writer& w, const cell& v) {
  emit_header(w, v, TYPE_ERROR, 0, false, false);
  emit_count(w, error::field(&v, error::FIELD_CODE)->data2);
  enter_unshared(w);
  for (int32_t i = error::FIELD_ARG1; i <= error::FIELD_STACK; ++i) write_value(w, error::field(&v, i), true);
  leave(w);
}

void write_value(writer& w, const cell* at, bool advance) {
  cell v = *at;
  uint32_t type = TYPE_OF(&v);
  if (!has_record_q(type)) no_codec(v);
  if (++w.depth > MAX_DEPTH) fire(err::internal_too_deep);
  if (any_block_q(type)) write_block(w, v);
  else if (any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR) write_units(w, v);
  else if (word_type_q(type)) write_word(w, v);
  else if (type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME) write_float(w, v);
  else {
    switch (type) {
      case TYPE_BITSET: write_bitset(w, v); break;
      case TYPE_MAP: write_map(w, v); break;
      case TYPE_IMAGE: write_image(w, v); break;
      case TYPE_OBJECT: write_object(w, v, false); break;
      case TYPE_FUNCTION: write_function(w, v, false); break;
      case TYPE_ROUTINE: write_routine(w, v); break;
      case TYPE_NATIVE: case TYPE_ACTION: write_native(w, v); break;
      case TYPE_OP: write_op(w, v); break;
      case TYPE_ERROR: write_error(w, v); break;
      default: write_scalar(w, v);
    }
  }
  --w.depth;
  if (advance) ++w.current;
}

// The whole container: header, counts, symbol table, payload.
cell* finish(writer& w) {
  std::vector<uint8_t> data(MAGIC, MAGIC + 6);
  data.push_back(VERSION);
  bool symbols = !w.symbol_ids.empty();
  uint32_t n = static_cast<uint32_t>(w.symbol_ids.size());
  uint32_t l = static_cast<uint32_t>(w.strings.size());
  uint32_t length = static_cast<uint32_t>(w.out.size());
  if (w.compact) {
    data.push_back(FLAG_COMPACT | (symbols ? FLAG_SYMBOLS : 0));
    emit_varint(data, 1);
    emit_varint(data, length);
    if (symbols) {
      emit_varint(data, n);
      emit_varint(data, l);
    }
  } else {
    data.push_back(symbols ? FLAG_SYMBOLS : 0);
    emit_raw32(data, 1);
    emit_raw32(data, length);
    if (symbols) {
      emit_raw32(data, n);
      emit_raw32(data, l);
    }
  }
  for (uint32_t offset : w.symbol_offsets) emit_raw32(data, offset);
  data.insert(data.end(), w.strings.begin(), w.strings.end());
  data.insert(data.end(), w.out.begin(), w.out.end());
  if (data.size() > INT32_MAX) fire(err::internal_no_memory);
  cell* result = stack::push(cell{TYPE_NONE, 0, 0, 0});
  binary::load_at(data.data(), static_cast<int32_t>(data.size()), result);
  return result;
}

cell* encode_with(const cell* value, bool compact) {
  nodes_held held;
  writer w{compact, {}, {}, {}, {}, 0, {}, {}, 0};
  write_value(w, value, true);
  return finish(w);
}

}  // namespace

cell* encode(const cell* value) { return encode_with(value, false); }
cell* encode_compact(const cell* value) { return encode_with(value, true); }

}  // namespace ixo::ixobin
