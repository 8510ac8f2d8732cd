// The JSON codec's routines: `unescape` rewrites the escapes of a JSON
// string's text in place, over the string's own buffer, in whatever unit it
// has (an escape may widen it); `name-key` turns an object's name into the
// key of its map; `encode-json` is the writer behind `to-json`.
#include "boot/routines.hpp"

#include <vector>

#include "runtime/codecs/json.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/word.hpp"

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

namespace {

// Characters no word of a JSON name holds: the controls, space and no-break
// space, and / \ ^ , [ ] ( ) { } " # % $ @ : ; < >.
bool not_word_char_q(uint32_t cp) {
  if (cp <= 0x20 || cp == 0xA0) return true;
  switch (cp) {
    case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{': case '}':
    case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '<': case '>':
      return true;
    default:
      return false;
  }
}

}  // namespace

// A name becomes a word when it is spelled like one (its first character
// neither a digit nor an apostrophe, none of the characters above) and the
// lexer reads the whole name as that word, spelled exactly as the name:
// characters the lexer takes as separators, or refuses in words, leave the
// name a string, so that no two names make one key and every name is
// written back as it was.
void name_key() {
  cell* s = stack::arguments;
  memory::series_buffer* b = memory::GET_BUFFER(s);
  uint32_t unit = memory::GET_UNIT(b);
  int32_t length = string::rs_length_q(s);
  const uint8_t* units = memory::head_of(b) + static_cast<int64_t>(s->data1) * unit;
  if (length == 0) return;
  uint32_t first = string::get_char(units, unit);
  if ((first >= '0' && first <= '9') || first == '\'') return;
  for (int32_t i = 0; i < length; ++i) {
    if (not_word_char_q(string::get_char(units + static_cast<int64_t>(i) * unit, unit))) return;
  }
  // Short names, the common case, are encoded on the machine stack.
  uint8_t short_text[256];
  std::vector<uint8_t> long_text(length > 64 ? static_cast<size_t>(length) * 4 : 0);
  uint8_t* text = length > 64 ? long_text.data() : short_text;
  int32_t bytes = unicode::encode_utf8(units, static_cast<int32_t>(unit), length, false, text);
  cell key = *s;
  if (word::load_exact(text, bytes, &key)) stack::set_result(key);
}

// encode-json data indent ascii: the JSON text of the data, indented by
// the indent string when there is one (else compact), escaping everything
// outside printable ASCII when ascii is true.
void encode_json() {
  cell* args = stack::arguments;
  cell result{TYPE_UNSET, 0, 0, 0};
  json::encode(args, TYPE_OF(args + 1) == TYPE_STRING ? args + 1 : nullptr,
               TYPE_OF(args + 2) == TYPE_LOGIC && args[2].data1 != 0, &result);
  stack::set_result(result);
}

void init_json_routines() {
  routine::register_entry("encode-json", encode_json);
  routine::register_entry("unescape", unescape);
  routine::register_entry("name-key", name_key);
}

}  // namespace ixo::boot
