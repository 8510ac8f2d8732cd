// The JSON decoder's one routine: `unescape` rewrites the escapes of a JSON
// string's text in place, over the string's own buffer, in whatever unit it
// has (an escape may widen it).
#include "boot/routines.hpp"

#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::boot {

namespace {

constexpr uint32_t HIGH_FIRST = 0xD800, HIGH_LAST = 0xDBFF;
constexpr uint32_t LOW_FIRST = 0xDC00, LOW_LAST = 0xDFFF;

// The value of a hexadecimal digit, or -1.
int32_t hex_value(uint32_t cp) {
  if (cp >= '0' && cp <= '9') return static_cast<int32_t>(cp - '0');
  if (cp >= 'A' && cp <= 'F') return static_cast<int32_t>(cp - 'A' + 10);
  if (cp >= 'a' && cp <= 'f') return static_cast<int32_t>(cp - 'a' + 10);
  return -1;
}

// Reads the code points of a string through its cell, which lies on the
// value stack: a write that widens the buffer may collect and move both
// the buffer and the node, and the collector rewrites the cell's node.
struct reader {
  const cell* s;
  uint32_t at(int32_t position) const {
    memory::series_buffer* b = memory::GET_BUFFER(s);
    uint32_t unit = memory::GET_UNIT(b);
    return string::get_char(memory::head_of(b) + static_cast<int64_t>(position) * unit, unit);
  }
  // The four hex digits from `position` as a number, or -1.
  int32_t hex4(int32_t position) const {
    int32_t value = 0;
    for (int32_t i = 0; i < 4; ++i) {
      int32_t digit = hex_value(at(position + i));
      if (digit < 0) return -1;
      value = value << 4 | digit;
    }
    return value;
  }
};

}  // namespace

// The escapes a JSON string may hold: \" \\ \/ \b \f \n \r \t and \uXXXX,
// where a high surrogate must be followed by a \u low surrogate and the two
// make one code point. Anything else, or text ending inside an escape,
// raises script/invalid-data with the string. The write position never
// passes the read position, so the text is rewritten over itself.
void unescape() {
  cell* s = stack::arguments;
  int32_t start = static_cast<int32_t>(s->data1);
  int32_t tail = string::rs_abs_length_q(s);
  int32_t first = start < tail ? string::find_char(s, '\\') : -1;
  stack::set_result(*s);
  if (first < 0) return;
  reader text{s};
  int32_t read = start + first;
  int32_t write = read;
  while (read < tail) {
    uint32_t cp = text.at(read++);
    if (cp == '\\') {
      if (read >= tail) fire(err::script_invalid_data, {*s});
      uint32_t letter = text.at(read++);
      switch (letter) {
        case '"': case '\\': case '/': cp = letter; break;
        case 'b': cp = 0x08; break;
        case 'f': cp = 0x0C; break;
        case 'n': cp = 0x0A; break;
        case 'r': cp = 0x0D; break;
        case 't': cp = 0x09; break;
        case 'u': {
          int32_t value = read + 4 <= tail ? text.hex4(read) : -1;
          if (value < 0) fire(err::script_invalid_data, {*s});
          read += 4;
          cp = static_cast<uint32_t>(value);
          if (cp >= HIGH_FIRST && cp <= HIGH_LAST) {
            int32_t low = read + 6 <= tail && text.at(read) == '\\' && text.at(read + 1) == 'u'
                              ? text.hex4(read + 2)
                              : -1;
            if (low < static_cast<int32_t>(LOW_FIRST) || low > static_cast<int32_t>(LOW_LAST))
              fire(err::script_invalid_data, {*s});
            read += 6;
            cp = 0x10000 + ((cp - HIGH_FIRST) << 10) + (static_cast<uint32_t>(low) - LOW_FIRST);
          }
          break;
        }
        default: fire(err::script_invalid_data, {*s});
      }
    }
    string::overwrite_char(memory::GET_BUFFER(s), write++, cp);
  }
  string::truncate_at(memory::GET_BUFFER(s), write);
}

void init_json_routines() { routine::register_entry("unescape", unescape); }

}  // namespace ixo::boot
