// The Ixobin reader of both layouts, the resolution of reference paths and
// the boot-image load.
//
// The reader works on bytes that never move under it: its own copy of the
// input, or the boot image where the program holds it (unpacked first when
// the header says compressed), and checks every read, count, offset and
// length against their end:
// corrupt data raises script/ix-invalid-record with the 1-based position
// of the failing read. Each decoded cell is stored where it belongs (the
// tail of its block, a context slot) before its members are read, so that
// a path met inside it, a cycle included, already finds it.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/hashtable.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/bitset.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/currency.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/function.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/money.hpp"
#include "runtime/datatypes/native.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/ixobin/format.hpp"
#include "runtime/ixobin/ixobin.hpp"
#include "runtime/memory/lz.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/print.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo::ixobin {

using memory::buffer_of;
using memory::head_of;
using memory::root_guard;
using memory::series_buffer;

namespace {

constexpr int32_t ACTION_SLOTS = 62;
constexpr int32_t EMPTY_ACTION_SLOT = 8;

// The literal base: the root block's length before the boot load.
int32_t literal_base = -1;

struct reader {
  const uint8_t* begin;     // the bytes from offset 8 of the data on
  const uint8_t* pos;
  const uint8_t* end;       // the payload's end once the header is read
  const uint8_t* payload;   // its start: standard-layout padding counts from here
  bool compact;
  bool boot;                // the boot load: object class ids come from the data
  const uint8_t* offsets = nullptr;  // the symbol table, when present
  const uint8_t* strings = nullptr;
  uint32_t symbol_count = 0;
  uint32_t strings_length = 0;
  std::vector<int32_t> symbols;      // interned ids by table position, 0 until first use
  std::vector<int32_t> global_slots; // global context slots by table position, -1 until first use
  cell root{};              // the target block
  int32_t root_base = 0;    // its length before this decode: path[0] counts from there
  int32_t depth = 0;
};

// Where a decoded cell goes: the tail of a block (index -1 until placed)
// or a slot of a cell series.
struct slot {
  uint32_t node;
  int32_t index;
};

[[noreturn]] void corrupt_at(const reader& r, const uint8_t* at) {
  int32_t position = static_cast<int32_t>(at - r.begin) + 8 + 1;
  fire(err::script_ix_invalid_record, {cell{TYPE_INTEGER, 0, static_cast<uint32_t>(position), 0}});
}
[[noreturn]] void corrupt(const reader& r) { corrupt_at(r, r.pos); }

cell* cell_at(uint32_t node, int32_t i) { return head_of<cell>(buffer_of(node)) + i; }
int32_t cell_count(uint32_t node) {
  series_buffer* b = buffer_of(node);
  return static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
}

// ---- Primitive fields ---------------------------------------------------------

size_t left(const reader& r) { return static_cast<size_t>(r.end - r.pos); }

void need(const reader& r, size_t n) {
  if (left(r) < n) corrupt(r);
}

uint8_t read_byte(reader& r) {
  need(r, 1);
  return *r.pos++;
}

uint32_t read_raw32(reader& r) {
  need(r, 4);
  uint32_t v = static_cast<uint32_t>(r.pos[0]) | static_cast<uint32_t>(r.pos[1]) << 8 |
               static_cast<uint32_t>(r.pos[2]) << 16 | static_cast<uint32_t>(r.pos[3]) << 24;
  r.pos += 4;
  return v;
}

// At most 5 bytes; the fifth carries the top 4 bits and no continuation.
uint32_t read_varint(reader& r) {
  const uint8_t* at = r.pos;
  uint32_t v = 0;
  for (int i = 0; i < 5; ++i) {
    uint8_t b = read_byte(r);
    if (i == 4 && (b & 0xF0)) corrupt_at(r, at);
    v |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) return v;
  }
  corrupt_at(r, at);
}

int32_t read_zigzag(reader& r) {
  uint32_t v = read_varint(r);
  return static_cast<int32_t>(v >> 1 ^ (0u - (v & 1)));
}

// A count or index: a word in the standard layout, a varint in the compact.
uint32_t read_count(reader& r) { return r.compact ? read_varint(r) : read_raw32(r); }

// A count of things that take at least `each` bytes apiece in what is left.
int32_t read_bounded(reader& r, size_t each) {
  const uint8_t* at = r.pos;
  uint32_t n = read_count(r);
  if (n > INT32_MAX || static_cast<uint64_t>(n) * each > left(r)) corrupt_at(r, at);
  return static_cast<int32_t>(n);
}

// A series index: never negative.
uint32_t read_index(reader& r) {
  const uint8_t* at = r.pos;
  uint32_t n = read_count(r);
  if (n > INT32_MAX) corrupt_at(r, at);
  return n;
}

const uint8_t* read_bytes(reader& r, uint64_t n) {
  if (n > left(r)) corrupt(r);
  const uint8_t* at = r.pos;
  r.pos += n;
  return at;
}

// Standard layout: the zero bytes that pad a record to a multiple of 4.
void skip_padding(reader& r) {
  while ((r.pos - r.payload) % 4) read_byte(r);
}

// Interns symbol `index` of the table, a valid position, on its first use.
int32_t intern_symbol_at(reader& r, uint32_t index, const uint8_t* at) {
  const uint8_t* o = r.offsets + 4 * index;
  uint32_t offset = static_cast<uint32_t>(o[0]) | static_cast<uint32_t>(o[1]) << 8 |
                    static_cast<uint32_t>(o[2]) << 16 | static_cast<uint32_t>(o[3]) << 24;
  if (offset >= r.strings_length) corrupt_at(r, at);
  // The table ends with a NUL (checked with its header).
  const char* name = reinterpret_cast<const char*>(r.strings + offset);
  size_t length = std::strlen(name);
  if (length == 0) corrupt_at(r, at);
  r.symbols[index] = symbol::make_part(r.strings + offset, static_cast<int32_t>(length));
  return r.symbols[index];
}

// The interned id of symbol `index` of the table.
int32_t symbol_at(reader& r, uint32_t index, const uint8_t* at) {
  if (!r.offsets || index >= r.symbol_count) corrupt_at(r, at);
  if (int32_t id = r.symbols[index]) return id;
  return intern_symbol_at(r, index, at);
}

int32_t read_symbol(reader& r) {
  const uint8_t* at = r.pos;
  return symbol_at(r, read_count(r), at);
}

// The global context's slot of symbol `index` of the table, `symbol` its
// interned id: the word is added there the first time the table's entry
// is met as a global word, and the slot kept for the entry's other uses.
int32_t global_slot_at(reader& r, uint32_t index, int32_t symbol) {
  int32_t& slot = r.global_slots[index];
  if (slot < 0) slot = context::add_word(context::global_ctx, symbol);
  return slot;
}

// ---- Placing cells --------------------------------------------------------------

// A block's tail takes the cell as a plain append: the blocks decoded into
// have no hashtable yet (a hash! is indexed once its cells are all read).
cell* place(slot& s, const cell& c) {
  if (s.index >= 0) return &(*cell_at(s.node, s.index) = c);
  series_buffer* b = buffer_of(s.node);
  cell* placed;
  if (tail_of(b) < data_end(b)) {
    // Room at the tail, as the block was made for its count: nothing
    // allocates.
    placed = tail_of<cell>(b);
    *placed = c;
    b->tail += sizeof(cell);
  } else {
    cell copy = c;
    root_guard keep(&copy);
    placed = series::alloc_tail_cell(b);
    *placed = copy;
  }
  s.index = cell_count(s.node) - 1;
  return placed;
}

cell* placed(const slot& s) { return cell_at(s.node, s.index); }

// Places a word bound in the global context: `header` its type and new-line
// flag, `index` its symbol's position in the table, `symbol` its id.
void place_global_word(reader& r, slot& dest, uint32_t header, uint32_t index, int32_t symbol) {
  place(dest, cell{header, context::global_ctx, static_cast<uint32_t>(symbol),
                   static_cast<uint32_t>(global_slot_at(r, index, symbol))});
}

// ---- References -------------------------------------------------------------------

// The context a word, object, error, function, routine or op over one of
// them stands for, or 0.
uint32_t context_of(const cell& c) {
  uint32_t type = TYPE_OF(&c);
  if (type == TYPE_OP) type = c.header >> 16 & 0xFF;
  if (word_type_q(type) || type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_FUNCTION ||
      type == TYPE_ROUTINE)
    return c.data1;
  return 0;
}

bool function_like_q(const cell& c) {
  uint32_t type = TYPE_OF(&c);
  if (type == TYPE_OP) type = c.header >> 16 & 0xFF;
  return type == TYPE_FUNCTION || type == TYPE_ROUTINE;
}

// One step of a path: the member `index` of the cell.
bool descend(cell& c, int32_t index) {
  uint32_t type = TYPE_OF(&c);
  if (word_type_q(type)) {
    if (c.data1 == 0 || c.data1 == context::global_ctx) return false;
    if (context::stack_q(context::context_cell(c.data1))) {
      c = *context::owner_cell(c.data1);
      if (TYPE_OF(&c) != TYPE_FUNCTION) return false;
      return descend(c, index);
    }
    uint32_t values = context::context_cell(c.data1)->data2;
    if (index < 0 || index >= cell_count(values)) return false;
    c = *cell_at(values, index);
    return true;
  }
  if (function_like_q(c)) {
    if (index == 0) {
      if (c.data2 == 0) return false;
      c = cell{TYPE_BLOCK, 0, c.data2, 0};
      return true;
    }
    if (index != 1 || c.data3 == 0) return false;
    c = *cell_at(c.data3, 0);
    return TYPE_OF(&c) == TYPE_BLOCK;
  }
  uint32_t cells = 0;
  int32_t first = 0;
  if (any_block_q(type) || type == TYPE_MAP || type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP) {
    cells = c.data2;
  } else if (type == TYPE_OBJECT || type == TYPE_ERROR) {
    cells = context::context_cell(c.data1)->data2;
    if (type == TYPE_ERROR) first = error::FIELD_ARG1;
  }
  if (cells == 0 || index < 0 || index >= cell_count(cells) - first) return false;
  c = *cell_at(cells, first + index);
  return true;
}

// Reads a path and answers a copy of the cell it leads to.
cell read_path(reader& r) {
  const uint8_t* at = r.pos;
  if (!r.compact && read_raw32(r) != STD_PATH) corrupt_at(r, at);
  at = r.pos;
  int32_t n = read_bounded(r, r.compact ? 1 : 4);
  if (n < 1 || n > MAX_PATH) corrupt_at(r, at);
  std::vector<int32_t> indexes(static_cast<size_t>(n));
  for (int32_t& i : indexes) i = static_cast<int32_t>(read_count(r));
  if (indexes[0] < 0 || indexes[0] > INT32_MAX - r.root_base) corrupt_at(r, at);
  cell c = r.root;
  if (!descend(c, r.root_base + indexes[0])) corrupt_at(r, at);
  for (size_t k = 1; k < indexes.size(); ++k)
    if (!descend(c, indexes[k])) corrupt_at(r, at);
  return c;
}

// ---- Records ----------------------------------------------------------------------

struct header {
  uint32_t type;
  uint32_t bits;     // standard layout: the whole header word
  bool f;            // compact layout: the flag bit
  bool new_line;
  bool reference;
};

void read_value(reader& r, slot& dest);

uint32_t with_line(const header& h, uint32_t type) { return type | (h.new_line ? NEWLINE_FLAG : 0); }

bool vector_unit_ok_q(uint32_t type, uint32_t unit) {
  switch (type) {
    case TYPE_CHAR: case TYPE_INTEGER: return unit == 1 || unit == 2 || unit == 4;
    case TYPE_FLOAT: return unit == 4 || unit == 8;
    case TYPE_PERCENT: return unit == 8;
    default: return false;
  }
}

// block family and hash!: index, count, the cells.
void read_block(reader& r, const header& h, slot& dest) {
  const uint8_t* at = r.pos;
  uint32_t index = r.compact ? (h.f ? read_index(r) : 0) : read_index(r);
  if (h.reference) {
    at = r.pos;
    cell source = read_path(r);
    uint32_t type = TYPE_OF(&source);
    bool cells = any_block_q(type) || type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_OP ||
                 type == TYPE_FUNCTION || type == TYPE_ROUTINE;
    if (!cells || source.data2 == 0 || (h.type == TYPE_HASH) != (type == TYPE_HASH)) corrupt_at(r, at);
    place(dest, cell{with_line(h, h.type), index, source.data2, h.type == TYPE_HASH ? source.data3 : 0});
    return;
  }
  (void)at;
  int32_t count = read_bounded(r, r.compact ? 1 : 4);
  cell b{};
  root_guard keep(&b);
  block::make_at(&b, std::max(count, 1));
  b.header = with_line(h, h.type);
  b.data1 = index;
  if (h.type == TYPE_HASH) b.data3 = hashtable::init(std::max(count, 1), &b, hashtable::KIND_BLOCK, 1);
  place(dest, b);
  for (int32_t i = 0; i < count; ++i) {
    slot member{b.data2, -1};
    read_value(r, member);
  }
  if (h.type == TYPE_HASH) series::rehash_all(&b);
}

// string family, binary! and vector!.
void read_units(reader& r, const header& h, slot& dest) {
  uint32_t unit = 1, element = 0;
  uint32_t index = r.compact ? (h.f ? read_index(r) : 0) : read_index(r);
  if (!r.compact) unit = h.bits >> STD_UNIT_SHIFT & 0xFF;
  if (h.reference) {
    const uint8_t* at = r.pos;
    cell source = read_path(r);
    uint32_t type = TYPE_OF(&source);
    bool same = any_string_q(h.type) ? any_string_q(type) : type == h.type;
    if (!same) corrupt_at(r, at);
    place(dest, cell{with_line(h, h.type), index, source.data2, h.type == TYPE_VECTOR ? source.data3 : 0});
    return;
  }
  const uint8_t* at = r.pos;
  uint64_t length;
  if (!r.compact) {
    length = read_raw32(r);
    if (h.type == TYPE_VECTOR) element = read_raw32(r);
  } else if (h.type == TYPE_VECTOR) {
    uint8_t b = read_byte(r);
    unit = 1u << (b & 3);
    element = b >> 2;
    length = read_varint(r);
  } else if (h.type == TYPE_BINARY) {
    length = read_varint(r);
  } else {
    uint32_t v = read_varint(r);
    if ((v & 3) == 3) corrupt_at(r, at);
    unit = 1u << (v & 3);
    length = v >> 2;
  }
  bool unit_ok = h.type == TYPE_VECTOR   ? vector_unit_ok_q(element, unit)
                 : h.type == TYPE_BINARY ? unit == 1
                                         : unit == 1 || unit == 2 || unit == 4;
  if (!unit_ok || length * unit > left(r)) corrupt_at(r, at);
  const uint8_t* bytes = read_bytes(r, length * unit);
  if (unit == 4 && h.type != TYPE_VECTOR) {
    for (uint64_t i = 0; i < length; ++i) {
      uint32_t cp;
      std::memcpy(&cp, bytes + 4 * i, 4);
      if (cp > 0x10FFFF) corrupt_at(r, bytes + 4 * i);
    }
  }
  uint32_t node = memory::alloc_unit_series(static_cast<int32_t>(length), unit);
  series_buffer* b = buffer_of(node);
  std::memcpy(head_of(b), bytes, length * unit);
  b->tail = b->head + static_cast<uint32_t>(length * unit);
  place(dest, cell{with_line(h, h.type), index, node, element});
  if (!r.compact) skip_padding(r);
}

void read_bitset(reader& r, const header& h, slot& dest) {
  bool complemented = r.compact ? h.f : (h.bits & STD_COMPLEMENT) != 0;
  if (h.reference) {
    const uint8_t* at = r.pos;
    cell source = read_path(r);
    if (TYPE_OF(&source) != TYPE_BITSET) corrupt_at(r, at);
    place(dest, cell{with_line(h, TYPE_BITSET), 0, source.data2, 0});
    return;
  }
  int32_t count = read_bounded(r, 1);
  const uint8_t* bytes = read_bytes(r, static_cast<uint64_t>(count));
  uint32_t node = memory::alloc_bytes(count);
  series_buffer* b = buffer_of(node);
  std::memcpy(head_of(b), bytes, static_cast<size_t>(count));
  b->tail = b->head + static_cast<uint32_t>(count);
  if (complemented) series::set_flags(node, bitset::COMPLEMENTED);
  place(dest, cell{with_line(h, TYPE_BITSET), 0, node, 0});
  if (!r.compact) skip_padding(r);
}

// image!: index, size, the pixels as stored.
void read_image(reader& r, const header& h, slot& dest) {
  uint32_t index = r.compact ? (h.f ? read_index(r) : 0) : read_index(r);
  const uint8_t* at = r.pos;
  if (h.reference) {
    cell source = read_path(r);
    if (TYPE_OF(&source) != TYPE_IMAGE) corrupt_at(r, at);
    place(dest, cell{with_line(h, TYPE_IMAGE), index, source.data2, source.data3});
    return;
  }
  uint32_t width, height;
  if (r.compact) {
    width = read_varint(r);
    height = read_varint(r);
  } else {
    uint32_t size = read_raw32(r);
    width = size & 0xFFFF;
    height = size >> 16;
  }
  uint64_t bytes = static_cast<uint64_t>(width) * height * 4;
  if (width > image::MAX_SIDE || height > image::MAX_SIDE || bytes > left(r)) corrupt_at(r, at);
  const uint8_t* pixels = read_bytes(r, bytes);
  cell img{};
  root_guard keep(&img);
  image::make_unfilled_at(&img, static_cast<int32_t>(width), static_cast<int32_t>(height));
  std::memcpy(image::pixels_of(&img), pixels, bytes);
  img.header = with_line(h, TYPE_IMAGE);
  img.data1 = index;
  place(dest, img);
}

// map!: key and value records, then the table over them.
void read_map(reader& r, const header& h, slot& dest) {
  if (h.reference) {
    const uint8_t* at = r.pos;
    cell source = read_path(r);
    if (TYPE_OF(&source) != TYPE_MAP) corrupt_at(r, at);
    source.header = with_line(h, TYPE_MAP);
    place(dest, source);
    return;
  }
  const uint8_t* at = r.pos;
  int32_t count = read_bounded(r, r.compact ? 1 : 4);
  if (count % 2) corrupt_at(r, at);
  cell m{};
  root_guard keep(&m);
  map::make_at(&m, nullptr, count);
  m.header = with_line(h, TYPE_MAP);
  place(dest, m);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* record = r.pos;
    slot member{m.data2, -1};
    read_value(r, member);
    uint32_t type = TYPE_OF(cell_at(m.data2, member.index));
    if (i % 2 == 0 ? !map::valid_key_type_q(type) : type == TYPE_UNSET) corrupt_at(r, record);
  }
  hashtable::put_all(m.data3, 0, 2);
}

// The context record's header and words; its values, when flagged, are
// read by read_context_values once its owner is placed.
struct context_record {
  uint32_t ctx;
  int32_t count;
  bool values;
};

context_record read_context(reader& r, uint32_t kind_wanted) {
  const uint8_t* at = r.pos;
  uint32_t kind;
  bool self, stack, values;
  if (r.compact) {
    if ((read_byte(r) & 0x7F) != TYPE_CONTEXT) corrupt_at(r, at);
    uint8_t flags = read_byte(r);
    kind = flags & CTX_KIND;
    stack = flags & CTX_STACK;
    self = flags & CTX_SELF;
    values = flags & CTX_VALUES;
  } else {
    uint32_t w = read_raw32(r);
    if ((w & 0xFF) != TYPE_CONTEXT) corrupt_at(r, at);
    kind = w >> STD_KIND_SHIFT & 3;
    self = w & STD_SELF;
    stack = w & STD_STACK;
    values = w & STD_VALUES;
  }
  // Objects keep their values in the context, functions on the stack.
  if (kind != kind_wanted || stack != (kind == context::KIND_FUNCTION) || (stack && values)) corrupt_at(r, at);
  int32_t n = read_bounded(r, r.compact ? 1 : 4);
  uint32_t ctx = context::make(n, stack, self, 0, kind);
  root_guard keep(&ctx);
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* word = r.pos;
    int32_t symbol = read_symbol(r);
    int32_t index;
    if (stack) context::find_word_at(ctx, symbol, false, &index);
    else context::add_word(ctx, symbol);
    if (context::word_count(ctx) != i + 1) corrupt_at(r, word);  // a word listed twice
  }
  return {ctx, n, values};
}

void read_context_values(reader& r, const context_record& c) {
  if (!c.values) return;
  for (int32_t i = 0; i < c.count; ++i) {
    slot s{context::context_cell(c.ctx)->data2, i};
    read_value(r, s);
  }
}

// What an owner record does with the context it makes: a word waiting for
// it takes it; anything else places the owner's own cell.
struct owner_target {
  slot* word;  // the word's slot, or nullptr
  int32_t word_index;
};

void bind_waiting_word(reader& r, const owner_target& t, const context_record& c, const uint8_t* at) {
  if (t.word_index < -1 || t.word_index >= c.count) corrupt_at(r, at);
  placed(*t.word)->data1 = c.ctx;
}

void read_object_body(reader& r, const header& h, slot& dest, const owner_target* waiting) {
  const uint8_t* at = r.pos;
  int32_t class_id = r.compact ? read_zigzag(r) : static_cast<int32_t>(read_raw32(r));
  bool handlers = r.compact ? h.f : (h.bits & STD_HANDLERS) != 0;
  uint32_t dwords[2] = {0, 0};
  if (handlers)
    for (uint32_t& d : dwords) d = r.compact ? static_cast<uint32_t>(read_zigzag(r)) : read_raw32(r);
  context_record c = read_context(r, context::KIND_OBJECT);
  root_guard keep_ctx(&c.ctx);
  uint32_t events = 0;
  root_guard keep_events(&events);
  if (handlers) {
    int32_t slots[2], locals[2];
    for (int i = 0; i < 2; ++i) {
      uint32_t handler = dwords[i] >> 16;
      if (handler != object::NO_HANDLER && static_cast<int32_t>(handler) >= c.count) corrupt_at(r, at);
      slots[i] = handler == object::NO_HANDLER ? -1 : static_cast<int32_t>(handler);
      locals[i] = static_cast<int32_t>(dwords[i] & 0xFFFF);
    }
    events = object::make_events(0, 0, slots[0], locals[0], slots[1], locals[1]);
  }
  cell obj{TYPE_OBJECT, c.ctx, static_cast<uint32_t>(r.boot ? class_id : -1), events};
  *context::owner_cell(c.ctx) = obj;
  if (waiting) {
    bind_waiting_word(r, *waiting, c, at);
  } else {
    obj.header = with_line(h, TYPE_OBJECT);
    place(dest, obj);
  }
  read_context_values(r, c);
}

// A block record read aside, for a function's or native's spec: answers
// its node.
uint32_t read_spec(reader& r) {
  const uint8_t* at = r.pos;
  cell aside{};
  root_guard keep(&aside);
  block::make_at(&aside, 1);
  slot s{aside.data2, -1};
  read_value(r, s);
  cell spec = *placed(s);
  if (TYPE_OF(&spec) != TYPE_BLOCK) corrupt_at(r, at);
  return spec.data2;
}

void read_function_body(reader& r, const header& h, slot& dest, const owner_target* waiting) {
  const uint8_t* at = r.pos;
  read_bounded(r, 1);  // the spec's and body's cell counts: their records carry them too
  read_bounded(r, 1);
  context_record c = read_context(r, context::KIND_FUNCTION);
  root_guard keep_ctx(&c.ctx);
  cell more{};
  root_guard keep_more(&more);
  block::make_at(&more, 5);
  block::rs_append(&more, &none::none_value);
  for (int i = 0; i < 4; ++i) block::rs_append(&more, &unset::unset_value);
  cell fn{TYPE_FUNCTION, c.ctx, 0, more.data2};
  *context::owner_cell(c.ctx) = fn;
  if (waiting) {
    bind_waiting_word(r, *waiting, c, at);
  } else {
    fn.header = with_line(h, TYPE_FUNCTION);
    place(dest, fn);
  }
  uint32_t spec = read_spec(r);
  context::owner_cell(c.ctx)->data2 = spec;
  if (!waiting) placed(dest)->data2 = spec;
  at = r.pos;
  slot body{more.data2, 0};
  read_value(r, body);
  if (TYPE_OF(cell_at(more.data2, 0)) != TYPE_BLOCK) corrupt_at(r, at);
  // The attribute block, when the spec starts with one, gives the flags.
  cell spec_block{TYPE_BLOCK, 0, spec, 0};
  uint32_t flags = 0;
  if (cell_count(spec) > 0 && TYPE_OF(cell_at(spec, 0)) == TYPE_BLOCK) {
    int32_t parsed = function::parse_attributes(cell_at(spec, 0));
    if (parsed > 0) flags = static_cast<uint32_t>(parsed);
  }
  (void)spec_block;
  context::owner_cell(c.ctx)->header |= flags;
  if (!waiting) placed(dest)->header |= flags;
}

void read_object(reader& r, const header& h, slot& dest, uint32_t type) {
  if (!h.reference) {
    if (type == TYPE_OBJECT) return read_object_body(r, h, dest, nullptr);
    return read_function_body(r, h, dest, nullptr);
  }
  const uint8_t* at = r.pos;
  cell source = read_path(r);
  uint32_t ctx = context_of(source);
  if (ctx == 0 || ctx == context::global_ctx) corrupt_at(r, at);
  cell owner = *context::owner_cell(ctx);
  if (TYPE_OF(&owner) != type) corrupt_at(r, at);
  owner.header |= h.new_line ? NEWLINE_FLAG : 0;
  place(dest, owner);
}

// The word family: a global word, or one whose context follows as its
// owner's record or is found by a path.
void read_word(reader& r, const header& h, slot& dest) {
  const uint8_t* symbol_at_pos = r.pos;
  uint32_t symbol_index = read_count(r);
  int32_t symbol = symbol_at(r, symbol_index, symbol_at_pos);
  bool global = r.compact ? !h.f : (h.bits & STD_GLOBAL) != 0;
  const uint8_t* at = r.pos;
  int32_t index = -1;
  if (r.compact) {
    if (!global) index = read_zigzag(r);
  } else {
    index = static_cast<int32_t>(read_raw32(r));
  }
  if (global) {
    place_global_word(r, dest, with_line(h, h.type), symbol_index, symbol);
    return;
  }
  if (h.reference) {
    cell source = read_path(r);
    uint32_t ctx = context_of(source);
    if (ctx == 0 || index < -1 || index >= context::word_count(ctx)) corrupt_at(r, at);
    place(dest, cell{with_line(h, h.type), ctx, static_cast<uint32_t>(symbol), static_cast<uint32_t>(index)});
    return;
  }
  place(dest, cell{with_line(h, h.type), 0, static_cast<uint32_t>(symbol), static_cast<uint32_t>(index)});
  const uint8_t* owner_at = r.pos;
  header owner{0, 0, false, false, false};
  if (r.compact) {
    uint8_t b = read_byte(r);
    owner.type = b & 0x3F;
    owner.f = (b & HEADER_F) != 0;
  } else {
    owner.bits = read_raw32(r);
    owner.type = owner.bits & 0xFF;
    if (owner.bits & (STD_REFERENCE | STD_NEW_LINE)) corrupt_at(r, owner_at);
  }
  owner_target waiting{&dest, index};
  if (owner.type == TYPE_OBJECT) read_object_body(r, owner, dest, &waiting);
  else if (owner.type == TYPE_FUNCTION) read_function_body(r, owner, dest, &waiting);
  else corrupt_at(r, owner_at);
}

void read_native(reader& r, const header& h, slot& dest) {
  const uint8_t* at = r.pos;
  uint32_t n = read_count(r);
  bool ok = h.type == TYPE_NATIVE ? n >= 1 && n <= static_cast<uint32_t>(native::NATIVE_SLOTS)
                                  : n >= 1 && n <= ACTION_SLOTS && n != EMPTY_ACTION_SLOT;
  if (!ok) corrupt_at(r, at);
  place(dest, cell{with_line(h, h.type), n, 0, 0});
  cell spec{TYPE_BLOCK, 0, read_spec(r), 0}, more{};
  root_guard keep_spec(&spec), keep_more(&more);
  block::make_at(&more, 2);
  uint32_t ctx = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
  block::rs_append(&more, context::context_cell(ctx));
  block::rs_append(&more, &none::none_value);
  *placed(dest) = cell{with_line(h, h.type), n, spec.data2, more.data2};
}

uint32_t arity_of(uint32_t spec) {
  uint32_t arity = 0;
  for (int32_t i = 0; i < cell_count(spec); ++i) arity += TYPE_OF(cell_at(spec, i)) == TYPE_WORD;
  return arity;
}

// routine!: the entry registered under the name, over the spec read.
void read_routine(reader& r, const header& h, slot& dest) {
  const uint8_t* at = r.pos;
  if (h.reference) {
    cell source = read_path(r);
    if (!function_like_q(source) || TYPE_OF(&source) == TYPE_FUNCTION ||
        (TYPE_OF(&source) == TYPE_OP && (source.header >> 16 & 0xFF) != TYPE_ROUTINE))
      corrupt_at(r, at);
    if (TYPE_OF(&source) == TYPE_OP)
      source.header = TYPE_ROUTINE | routine::FLAG_CELLS | (arity_of(source.data2) & 31) << routine::ARITY_SHIFT;
    source.header = (source.header & ~NEWLINE_FLAG) | (h.new_line ? NEWLINE_FLAG : 0);
    place(dest, source);
    return;
  }
  int32_t symbol = read_symbol(r);
  std::string name(reinterpret_cast<const char*>(symbol::get_name_head(symbol)));
  place(dest, none::none_value);
  cell spec{TYPE_BLOCK, 0, read_spec(r), 0};
  root_guard keep(&spec);
  int32_t index = routine::find_entry(name.c_str());
  if (!index) fire(err::access_no_codec, {error_word(name.c_str())});
  cell* made = routine::push(name.c_str(), &spec, routine::entry_of(index));
  cell c = *made;
  stack::pop(1);
  c.header |= h.new_line ? NEWLINE_FLAG : 0;
  *placed(dest) = c;
}

// op!: the wrapped value's record, retyped.
void read_op(reader& r, const header& h, slot& dest) {
  const uint8_t* at = r.pos;
  read_value(r, dest);
  cell c = *placed(dest);
  uint32_t type = TYPE_OF(&c);
  bool ok = type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION || type == TYPE_ROUTINE;
  if (!ok || (!r.compact && type != (h.bits >> STD_WRAPPED_SHIFT & 0xFF))) corrupt_at(r, at);
  if (type == TYPE_FUNCTION || type == TYPE_ROUTINE) {
    cell source = c;
    source.header &= ~NEWLINE_FLAG;
    *cell_at(c.data3, 3) = source;
  }
  placed(dest)->header = with_line(h, TYPE_OP | type << 16);
}

void read_error(reader& r, const header& h, slot& dest) {
  const uint8_t* at = r.pos;
  uint32_t code = read_count(r);
  int32_t category = static_cast<int32_t>(code / 100), id = static_cast<int32_t>(code % 100) + 2;
  if (!error::catalog_made_q() || category > ERR_INTERNAL || id - 2 >= error_catalog[category].count)
    corrupt_at(r, at);
  cell e{};
  root_guard keep(&e);
  error::create(error_id{static_cast<error_category>(category), id}, {}, &e);
  e.header |= h.new_line ? NEWLINE_FLAG : 0;
  place(dest, e);
  for (int32_t i = error::FIELD_ARG1; i <= error::FIELD_STACK; ++i) {
    slot s{context::context_cell(e.data1)->data2, i};
    read_value(r, s);
  }
}

cell read_float_cell(reader& r, const header& h) {
  cell c{with_line(h, h.type), 0, 0, 0};
  if (r.compact && h.f) {
    int32_t n = read_zigzag(r);
    set_float(&c, h.type == TYPE_PERCENT ? n / 100.0 : static_cast<double>(n));
  } else {
    c.data2 = read_raw32(r);
    c.data3 = read_raw32(r);
  }
  return c;
}

cell read_date(reader& r, const header& h) {
  const uint8_t* at = r.pos;
  uint32_t packed = read_raw32(r);
  uint32_t low = 0, high = 0;
  bool has_time = (packed & date::HAS_TIME) != 0;
  if (!r.compact) {
    high = read_raw32(r);
    low = read_raw32(r);
  } else {
    if (has_time != h.f) corrupt_at(r, at);
    if (has_time) {
      low = read_raw32(r);
      high = read_raw32(r);
    }
  }
  uint32_t month = packed >> 12 & 15, day = packed >> 7 & 31;
  if (month < 1 || month > 12 || day < 1) corrupt_at(r, at);
  cell c{with_line(h, TYPE_DATE), packed, low, high};
  if (has_time && !std::isfinite(get_float(&c))) corrupt_at(r, at);
  return c;
}

cell read_scalar(reader& r, const header& h) {
  const uint8_t* at = r.pos;
  cell c{with_line(h, h.type), 0, 0, 0};
  uint8_t* payload = reinterpret_cast<uint8_t*>(&c.data1);
  switch (h.type) {
    case TYPE_UNSET: case TYPE_NONE:
      return c;
    case TYPE_DATATYPE:
      c.data1 = read_count(r);
      // Only a registered datatype: its name is what it molds as.
      if (c.data1 < 1 || c.data1 > datatype::max_type_id || !datatype::type_name_table[c.data1].name)
        corrupt_at(r, at);
      return c;
    case TYPE_LOGIC:  // the compact layout has tags instead
      c.data1 = read_raw32(r);
      if (c.data1 > 1) corrupt_at(r, at);
      return c;
    case TYPE_CHAR:
      c.data2 = read_count(r);
      if (c.data2 > 0x10FFFF) corrupt_at(r, at);
      return c;
    case TYPE_INTEGER:
      c.data2 = r.compact ? static_cast<uint32_t>(read_zigzag(r)) : read_raw32(r);
      return c;
    case TYPE_PAIR:
      c.data2 = r.compact ? static_cast<uint32_t>(read_zigzag(r)) : read_raw32(r);
      c.data3 = r.compact ? static_cast<uint32_t>(read_zigzag(r)) : read_raw32(r);
      return c;
    case TYPE_POINT2D: case TYPE_POINT3D:
      c.data1 = read_raw32(r);
      c.data2 = read_raw32(r);
      if (h.type == TYPE_POINT3D) c.data3 = read_raw32(r);
      return c;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      return read_float_cell(r, h);
    case TYPE_DATE:
      return read_date(r, h);
    case TYPE_TYPESET: {
      uint32_t n = r.compact ? read_byte(r) : 12;
      if (n > 12) corrupt_at(r, at);
      std::memcpy(payload, read_bytes(r, n), n);
      return c;
    }
    case TYPE_TUPLE: {
      uint32_t length = r.compact ? (h.f ? read_byte(r) : 3) : h.bits >> STD_UNIT_SHIFT & 0xFF;
      if (length < static_cast<uint32_t>(tuple::MIN_LENGTH) || length > static_cast<uint32_t>(tuple::MAX_LENGTH))
        corrupt_at(r, at);
      std::memcpy(payload, read_bytes(r, r.compact ? length : 12), r.compact ? length : 12);
      std::memset(payload + length, 0, 12 - length);
      c.header |= length << tuple::LENGTH_SHIFT;
      return c;
    }
    case TYPE_MONEY: {
      std::memcpy(payload, read_bytes(r, 12), 12);
      if (payload[0] > currency::count()) corrupt_at(r, at);
      for (int i = 1; i < 12; ++i)
        if ((payload[i] >> 4) > 9 || (payload[i] & 15) > 9) corrupt_at(r, at);
      if (r.compact ? h.f : (h.bits & STD_NEGATIVE) != 0) c.header |= money::SIGN_FLAG;
      return c;
    }
    case TYPE_ISSUE:
      return cell{with_line(h, TYPE_ISSUE), context::global_ctx, static_cast<uint32_t>(read_symbol(r)),
                  static_cast<uint32_t>(-1)};
    default:
      corrupt_at(r, at);
  }
}

// Reads the header of one record; answers false for a record that the
// compact layout writes as a bare tag, which it has placed itself.
bool read_header(reader& r, header& h, slot& dest) {
  const uint8_t* at = r.pos;
  if (!r.compact) {
    uint32_t w;
    do {  // zero words pad the payload before a float
      at = r.pos;
      w = read_raw32(r);
    } while (w == 0);
    h = header{w & 0xFF, w, false, (w & STD_NEW_LINE) != 0, (w & STD_REFERENCE) != 0};
    if (h.type == STD_PATH) corrupt_at(r, at);
  } else {
    bool new_line = false, reference = false;
    uint8_t b;
    for (;;) {
      at = r.pos;
      b = read_byte(r);
      if (b == PREFIX_NEW_LINE) new_line = true;
      else if (b == PREFIX_REFERENCE) reference = true;
      else break;
    }
    if (b >= 0x80) {
      if (reference) corrupt_at(r, at);
      cell c;
      if (b < TAG_TRUE) c = cell{TYPE_INTEGER, 0, b & 0x3Fu, 0};
      else if (b == TAG_TRUE || b == TAG_FALSE) c = cell{TYPE_LOGIC, b == TAG_TRUE, 0, 0};
      else if (b == TAG_COPY) c = read_path(r);
      else corrupt_at(r, at);
      if (new_line) c.header |= NEWLINE_FLAG;
      place(dest, c);
      return false;
    }
    uint32_t type = b & 0x3F;
    if (type == HEADER_LONG_ID) type = read_varint(r);
    h = header{type, 0, (b & HEADER_F) != 0, new_line, reference};
    if (type == 0 || type == TYPE_LOGIC) corrupt_at(r, at);
  }
  // References stand for series, contexts and functions only.
  bool shared = any_block_q(h.type) || any_string_q(h.type) || word_type_q(h.type) || h.type == TYPE_BINARY ||
                h.type == TYPE_VECTOR || h.type == TYPE_IMAGE || h.type == TYPE_BITSET || h.type == TYPE_MAP ||
                h.type == TYPE_OBJECT ||
                h.type == TYPE_FUNCTION || h.type == TYPE_ROUTINE;
  if (!shared) {
    if (r.compact && h.reference) corrupt_at(r, at);
    h.reference = false;  // bit 19 of an op! header belongs to the wrapped type
  }
  if (h.type <= TYPE_EVENT && !has_record_q(h.type) && h.type != TYPE_SYMBOL && h.type != TYPE_CONTEXT &&
      h.type != TYPE_SERIES)
    fire(err::access_no_codec, {cell{TYPE_DATATYPE, h.type, 0, 0}});
  if (!has_record_q(h.type)) corrupt_at(r, at);
  return true;
}

// The commonest record of code by far, a compact global word: its header
// byte (a word type, F clear) after one new-line prefix or none, then its
// symbol's index. Read and placed here in one step; any other record
// answers false with nothing read.
bool read_global_word(reader& r, slot& dest) {
  const uint8_t* p = r.pos;
  bool new_line = *p == PREFIX_NEW_LINE;
  if (new_line && ++p == r.end) return false;
  uint32_t type = *p;
  if (!word_type_q(type)) return false;
  r.pos = p + 1;
  const uint8_t* at = r.pos;
  uint32_t index = read_varint(r);
  place_global_word(r, dest, type | (new_line ? NEWLINE_FLAG : 0), index, symbol_at(r, index, at));
  return true;
}

// Any record, by the type its header gives.
void read_record(reader& r, slot& dest) {
  header h;
  if (!read_header(r, h, dest)) return;
  if (any_block_q(h.type)) read_block(r, h, dest);
  else if (any_string_q(h.type) || h.type == TYPE_BINARY || h.type == TYPE_VECTOR) read_units(r, h, dest);
  else if (word_type_q(h.type)) read_word(r, h, dest);
  else if (h.type == TYPE_BITSET) read_bitset(r, h, dest);
  else if (h.type == TYPE_MAP) read_map(r, h, dest);
  else if (h.type == TYPE_IMAGE) read_image(r, h, dest);
  else if (h.type == TYPE_OBJECT || h.type == TYPE_FUNCTION) read_object(r, h, dest, h.type);
  else if (h.type == TYPE_ROUTINE) read_routine(r, h, dest);
  else if (h.type == TYPE_NATIVE || h.type == TYPE_ACTION) read_native(r, h, dest);
  else if (h.type == TYPE_OP) read_op(r, h, dest);
  else if (h.type == TYPE_ERROR) read_error(r, h, dest);
  else place(dest, read_scalar(r, h));
}

void read_value(reader& r, slot& dest) {
  if (r.pos >= r.end || ++r.depth > MAX_DEPTH) corrupt(r);
  if (!r.compact || !read_global_word(r, dest)) read_record(r, dest);
  --r.depth;
}

// ---- The container -----------------------------------------------------------------

// The counts and the symbol table after the 8 fixed bytes; leaves r.end
// at the payload's end.
void read_counts(reader& r, bool symbols) {
  const uint8_t* at = r.pos;
  uint32_t length, n = 0, l = 0;
  read_count(r);  // the record count: the records end where the payload does
  at = r.pos;
  length = read_count(r);
  if (symbols) {
    n = read_count(r);
    at = r.pos;
    l = read_count(r);
    if (n > left(r) / 4 || l > left(r) - 4 * static_cast<size_t>(n)) corrupt_at(r, at);
    r.offsets = read_bytes(r, 4 * static_cast<uint64_t>(n));
    r.strings = read_bytes(r, l);
    if (l > 0 && r.strings[l - 1] != 0) corrupt_at(r, r.strings + l - 1);
    r.symbol_count = n;
    r.strings_length = l;
    r.symbols.assign(n, 0);
    r.global_slots.assign(n, -1);
  }
  if (length > left(r)) corrupt_at(r, at);
  r.payload = r.pos;
  r.end = r.pos + length;
}

[[noreturn]] void refuse(const uint8_t* data, size_t length, bool raise_errors, const char* message) {
  if (!raise_errors) {
    print::print_typed_line({print::item::c_string(message)});
    system::exit_process(1);
  }
  cell* bytes = binary::load(length == 0 ? MAGIC : data, static_cast<int32_t>(length));
  fire(err::script_invalid_data, {*bytes});
}

struct unpacked {
  uint8_t* bytes = nullptr;
  ~unpacked() {
    if (bytes) lz::free_output(bytes);
  }
};

// Decodes bytes that stay where they are for the whole decode.
void decode_fixed(const uint8_t* data, size_t length, cell* target, bool raise_errors) {
  if (length < 8 || std::memcmp(data, MAGIC, 6) != 0) refuse(data, length, raise_errors, "Error: Not a Ixobin file!");
  uint8_t flags = data[7];
  reader r{};
  r.compact = (flags & FLAG_COMPACT) != 0;
  r.boot = !raise_errors;
  r.begin = data + 8;
  r.pos = r.begin;
  r.end = data + length;
  unpacked unpacked_data;
  if (flags & FLAG_COMPRESSED) {
    int32_t size = 0;
    unpacked_data.bytes = lz::decompress(r.begin, static_cast<int32_t>(length - 8), &size);
    if (!unpacked_data.bytes) refuse(data, length, raise_errors, "Error: Ixobin compressed data corrupted!");
    r.begin = r.pos = unpacked_data.bytes;
    r.end = r.begin + size;
  }
  if (!r.compact && left(r) < 8) refuse(data, length, raise_errors, "Error: Not a Ixobin file!");
  read_counts(r, (flags & FLAG_SYMBOLS) != 0);

  r.root = *target;
  root_guard keep(&r.root);
  r.root_base = cell_count(r.root.data2);
  while (r.pos < r.end) {
    slot s{r.root.data2, -1};
    read_value(r, s);
  }
  if (!raise_errors) literal_base = r.root_base;
}

}  // namespace

void decode(const uint8_t* data, int32_t length, cell* target, bool raise_errors) {
  // The reader's own copy: the caller's bytes may lie in a series that
  // the decoding's allocations move.
  std::vector<uint8_t> copy(data, data + (length > 0 ? length : 0));
  decode_fixed(copy.data(), copy.size(), target, raise_errors);
}

void decode_boot_image(const uint8_t* data, int32_t length) {
  struct collector_held {
    int32_t saved = collector_active;
    collector_held() { collector_active = 0; }
    ~collector_held() { collector_active = saved; }
  } held;
  // The image is a constant of the program: nothing moves it.
  cell root_block{TYPE_BLOCK, 0, root::root_node, 0};
  decode_fixed(data, static_cast<size_t>(length), &root_block, false);
}

cell* literal_cell(int32_t index) { return cell_at(root::root_node, literal_base + index); }

}  // namespace ixo::ixobin
