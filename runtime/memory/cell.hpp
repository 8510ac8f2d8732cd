// The value cell: every language value is 16 bytes, a header word (datatype
// id in bits 0-7, flags above, bit 30 the new-line marker) and three 32-bit
// payload words whose meaning depends on the datatype. Payload words hold
// numbers only: references to nodes and buffers are 32-bit arena offsets,
// never host pointers.
#pragma once
#include <cstdint>
#include <cstring>

namespace ixo {

struct cell {
  uint32_t header;
  uint32_t data1;
  uint32_t data2;
  uint32_t data3;
};
static_assert(sizeof(cell) == 16, "a cell is 16 bytes");

// Datatype ids: they index the type table, the action table and typeset bits.
enum type_id : uint32_t {
  TYPE_DATATYPE = 1, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_BLOCK, TYPE_PAREN,
  TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_SYMBOL,
  TYPE_CONTEXT, TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT,
  TYPE_ISSUE, TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_PATH, TYPE_LIT_PATH,
  TYPE_SET_PATH, TYPE_GET_PATH, TYPE_ROUTINE, TYPE_BITSET, TYPE_TRIPLE, TYPE_OBJECT,
  TYPE_TYPESET, TYPE_ERROR, TYPE_VECTOR, TYPE_HASH, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE,
  TYPE_MAP, TYPE_BINARY, TYPE_SERIES, TYPE_TIME, TYPE_TAG, TYPE_EMAIL, TYPE_HANDLE,
  TYPE_DATE, TYPE_PORT, TYPE_MONEY, TYPE_REF, TYPE_POINT2D, TYPE_POINT3D, TYPE_IMAGE,
  TYPE_EVENT,
};

constexpr uint32_t NEWLINE_FLAG = 1u << 30;

inline uint32_t TYPE_OF(const cell* c) { return c->header & 0xFF; }

// Copies the four words; a cell copied onto itself is left alone.
inline cell* copy_cell(const cell* from, cell* to) {
  if (from != to) *to = *from;
  return to;
}

// Replaces the datatype id and keeps the flag bits.
inline void set_type(cell* c, uint32_t type) { c->header = (c->header & ~0xFFu) | (type & 0xFF); }

inline void clear_new_line(cell* c) { c->header &= ~NEWLINE_FLAG; }

// Floats occupy payload words 2 and 3 (low half, high half) and are read
// and written bytewise.
inline double get_float(const cell* c) {
  double d;
  std::memcpy(&d, &c->data2, sizeof d);
  return d;
}
inline void set_float(cell* c, double d) { std::memcpy(&c->data2, &d, sizeof d); }

}  // namespace ixo
