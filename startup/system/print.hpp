// Low-level typed print: the runtime's own diagnostics (runtime error
// reports and the like) are printed from plain machine values, without any
// language value, as a list of typed items.
#pragma once
#include <cstdint>
#include <initializer_list>

namespace ixo::print {

enum item_type : int32_t {
  ITEM_LOGIC = 1,     // "true" / "false"
  ITEM_INT32 = 2,     // signed decimal
  ITEM_BYTE = 3,      // the byte itself
  ITEM_FLOAT32 = 4,   // "%.7g"
  ITEM_FLOAT64 = 5,   // "%.16g"
  ITEM_C_STRING = 6,  // its bytes
  ITEM_HEX = 7,       // eight upper-case hexadecimal digits
};

struct typed_item {
  item_type type;
  union {
    int32_t i;
    uint32_t u;
    float f32;
    double f64;
    const char* s;
  };
};

namespace item {
inline typed_item logic(bool v) { typed_item t{ITEM_LOGIC, {}}; t.i = v; return t; }
inline typed_item int32(int32_t v) { typed_item t{ITEM_INT32, {}}; t.i = v; return t; }
inline typed_item byte(uint8_t v) { typed_item t{ITEM_BYTE, {}}; t.u = v; return t; }
inline typed_item float32(float v) { typed_item t{ITEM_FLOAT32, {}}; t.f32 = v; return t; }
inline typed_item float64(double v) { typed_item t{ITEM_FLOAT64, {}}; t.f64 = v; return t; }
inline typed_item c_string(const char* v) { typed_item t{ITEM_C_STRING, {}}; t.s = v; return t; }
inline typed_item hex(uint32_t v) { typed_item t{ITEM_HEX, {}}; t.u = v; return t; }
}  // namespace item

// Prints the items in order; with `separators`, one space after every item
// but the last unless the item ends in a space, LF, CR or tab.
void prin_typed_list(std::initializer_list<typed_item> items, bool separators);
// No separators, no final newline.
void prin_typed(std::initializer_list<typed_item> items);
// No separators, then a line feed.
void print_typed_line(std::initializer_list<typed_item> items);

uint8_t prin_byte(uint8_t byte);

}  // namespace ixo::print
