// The JSON reader behind `load-json`: a recursive descent over the text
// that makes the values as it goes. It follows the boot library's JSON
// grammar step for step, so that what it answers and raises, and where it
// reports a failure, are the grammar's: each alternative is told by its
// first character, white space is skipped before and after every value, a
// name and its colon, and the failure point is the last good place the
// grammar marks (after a value, a name's colon or a line feed).
#include "runtime/codecs/json.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/scanners.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::json {

using namespace memory;

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

// The code point a one-letter escape stands for (b f n r t " \ /), or -1.
int32_t letter_escape(uint32_t letter) {
  switch (letter) {
    case 'b': return 0x08;
    case 'f': return 0x0C;
    case 'n': return 0x0A;
    case 'r': return 0x0D;
    case 't': return 0x09;
    case '"': case '\\': case '/': return static_cast<int32_t>(letter);
    default: return -1;
  }
}

// The code point a surrogate pair stands for.
uint32_t pair_code_point(uint32_t high, uint32_t low) { return 0x10000 + ((high - HIGH_FIRST) << 10) + (low - LOW_FIRST); }

// Reads the code points of a string through its cell, which lies on the
// value stack: a write that widens the buffer may collect and move both
// the buffer and the node, and the collector rewrites the cell's node.
struct string_reader {
  const cell* s;
  uint32_t at(int32_t position) const {
    series_buffer* b = GET_BUFFER(s);
    uint32_t unit = GET_UNIT(b);
    return string::get_char(head_of(b) + static_cast<int64_t>(position) * unit, unit);
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

// What a failed parse leaves behind: a syntax failure, or nesting past what
// the reader takes on.
enum class failure { none, syntax, deep };

template <class T>
struct reader {
  cell* input;           // the text, on the value stack
  int32_t pos, end;      // absolute positions in the text
  int32_t mark;          // the last good place
  failure failed = failure::none;
  std::vector<uint32_t> decoded;  // a string's code points with its escapes undone
  std::string number;             // a number's text

  // The text's units; read again after anything that allocates.
  const T* text() const { return reinterpret_cast<const T*>(head_of(GET_BUFFER(input))); }
  uint32_t peek() const { return pos < end ? static_cast<uint32_t>(text()[pos]) : 0xFFFFFFFFu; }

  bool fail() {
    if (failed == failure::none) failed = failure::syntax;
    return false;
  }

  // Spaces, tabs, CRs and line feeds; the mark moves after each line feed.
  void white_space() {
    const T* t = text();
    while (pos < end) {
      uint32_t cp = t[pos];
      if (cp == ' ' || cp == '\t' || cp == '\r') {
        ++pos;
      } else if (cp == '\n') {
        mark = ++pos;
      } else {
        break;
      }
    }
  }

  // A string literal from its opening quote: true with `first` and `last`
  // around the text between the quotes and `escaped` when it holds a
  // backslash. Raw controls, a lone backslash and an open string fail.
  bool string_literal(int32_t& first, int32_t& last, bool& escaped) {
    const T* t = text();
    int32_t p = pos + 1;
    escaped = false;
    while (p < end) {
      uint32_t cp = t[p];
      if (cp == '"') {
        first = pos + 1;
        last = p;
        pos = p + 1;
        return true;
      }
      if (cp < 0x20) return fail();
      if (cp == '\\') {
        escaped = true;
        if (p + 1 >= end) return fail();
        uint32_t letter = t[p + 1];
        if (letter == 'u') {
          if (p + 6 > end) return fail();
          for (int32_t i = 2; i < 6; ++i) {
            if (hex_value(t[p + i]) < 0) return fail();
          }
          p += 6;
        } else if (letter_escape(letter) >= 0) {
          p += 2;
        } else {
          return fail();
        }
        continue;
      }
      ++p;
    }
    return fail();
  }

  // A new string in `slot` of the text from `first` to `last`, its escapes
  // undone. When they are not valid, the text is unescaped in place as the
  // grammar does, which raises the error the grammar raises.
  void make_string(cell* slot, int32_t first, int32_t last, bool escaped) {
    int32_t n = last - first;
    if (!escaped) {
      uint32_t widest = 0;
      const T* t = text() + first;
      for (int32_t i = 0; i < n; ++i) widest = std::max(widest, static_cast<uint32_t>(t[i]));
      uint32_t unit = string::append_unit(widest);
      string::make_at_unit(slot, n, unit);
      t = text() + first;
      if (unit == sizeof(T)) {
        uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(slot), n * static_cast<int32_t>(unit));
        std::memcpy(at, t, static_cast<size_t>(n) * unit);
      } else {
        decoded.assign(t, t + n);
        string::append_code_points(slot, decoded.data(), n);
      }
      return;
    }
    if (!unescape_into(first, last)) {
      string::make_at_unit(slot, n, sizeof(T));
      uint8_t* at = series::alloc_tail_bytes(GET_BUFFER(slot), n * static_cast<int32_t>(sizeof(T)));
      std::memcpy(at, text() + first, static_cast<size_t>(n) * sizeof(T));
      unescape(slot);
      return;
    }
    uint32_t widest = 0;
    for (uint32_t cp : decoded) widest = std::max(widest, cp);
    string::make_at_unit(slot, static_cast<int32_t>(decoded.size()), string::append_unit(widest));
    string::append_code_points(slot, decoded.data(), static_cast<int32_t>(decoded.size()));
  }

  // The code points of a literal's text with its escapes undone into
  // `decoded`; false for a high surrogate escape without its low one.
  bool unescape_into(int32_t first, int32_t last) {
    const T* t = text();
    decoded.clear();
    for (int32_t p = first; p < last;) {
      uint32_t cp = t[p++];
      if (cp == '\\') {
        uint32_t letter = t[p++];
        if (letter == 'u') {
          int32_t value = 0;
          for (int32_t i = 0; i < 4; ++i) value = value << 4 | hex_value(t[p + i]);
          p += 4;
          cp = static_cast<uint32_t>(value);
          if (cp >= HIGH_FIRST && cp <= HIGH_LAST) {
            if (p + 6 > last || t[p] != '\\' || t[p + 1] != 'u') return false;
            int32_t low = 0;
            for (int32_t i = 2; i < 6; ++i) low = low << 4 | hex_value(t[p + i]);
            if (low < static_cast<int32_t>(LOW_FIRST) || low > static_cast<int32_t>(LOW_LAST)) return false;
            p += 6;
            cp = pair_code_point(cp, static_cast<uint32_t>(low));
          }
        } else {
          cp = static_cast<uint32_t>(letter_escape(letter));  // the literal was checked when read
        }
      }
      decoded.push_back(cp);
    }
    return true;
  }

  // A number: an optional minus, an integer part without leading zeros,
  // an optional fraction and exponent, each taken only when complete. Its
  // value is what the lexer reads from that text: an integer! of at most
  // ten digits within 32 bits, else a float!.
  bool number_value(cell* slot) {
    const T* t = text();
    int32_t p = pos;
    if (t[p] == '-') ++p;
    auto digit = [&](int32_t at) { return at < end && t[at] >= '0' && t[at] <= '9'; };
    if (!digit(p)) return fail();
    if (t[p++] != '0') {
      while (digit(p)) ++p;
    }
    int32_t digits = p - pos - (t[pos] == '-' ? 1 : 0);
    bool whole = true;
    if (p < end && t[p] == '.' && digit(p + 1)) {
      p += 2;
      while (digit(p)) ++p;
      whole = false;
    }
    if (p < end && (t[p] == 'e' || t[p] == 'E')) {
      int32_t q = p + 1;
      if (q < end && (t[q] == '+' || t[q] == '-')) ++q;
      if (digit(q)) {
        while (digit(q)) ++q;
        p = q;
        whole = false;
      }
    }
    if (whole && digits <= 10) {
      int64_t value = 0;
      for (int32_t i = p - digits; i < p; ++i) value = value * 10 + (t[i] - '0');
      if (t[pos] == '-') value = -value;
      if (value >= INT32_MIN && value <= INT32_MAX) {
        *slot = integer::make_cell(static_cast<int32_t>(value));
        pos = p;
        return true;
      }
    }
    number.assign(t + pos, t + p);
    *slot = float_::make_cell(tokenizer::convert_float(number.data(), number.data() + number.size()));
    pos = p;
    return true;
  }

  // The literal word `word` at the position.
  bool literal(const char* word) {
    const T* t = text();
    int32_t p = pos;
    for (; *word; ++word, ++p) {
      if (p >= end || t[p] != static_cast<uint8_t>(*word)) return fail();
    }
    pos = p;
    return true;
  }

  // One value appended to the block `into`: white space, the value, the
  // mark after it, white space. `depth` counts the blocks and maps open.
  bool value(cell* into, int32_t depth) {
    white_space();
    cell* slot = stack::push(none::none_value);
    bool done;
    switch (peek()) {
      case '"': {
        int32_t first, last;
        bool escaped;
        done = string_literal(first, last, escaped);
        if (done) make_string(slot, first, last, escaped);
        break;
      }
      case '-': case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8':
      case '9':
        done = number_value(slot);
        break;
      case '{': done = object(slot, depth + 1); break;
      case '[': done = array(slot, depth + 1); break;
      case 't':
        done = literal("true");
        *slot = logic::true_value;
        break;
      case 'f':
        done = literal("false");
        *slot = logic::make_cell(false);
        break;
      case 'n': done = literal("null"); break;
      default: done = fail();
    }
    if (done) {
      block::rs_append(into, slot);
      mark = pos;
      white_space();
    }
    stack::top = slot;
    return done;
  }

  // The items after an array's bracket or an object's brace, each read by
  // `item` into a new block in `slot`, separated by commas, up to `close`.
  template <bool (reader::*item)(cell*, int32_t)>
  bool items(cell* slot, int32_t depth, uint32_t close, int32_t room) {
    if (depth > MAX_DEPTH) {
      failed = failure::deep;
      return false;
    }
    ++pos;
    block::make_at(slot, room);
    white_space();
    if (peek() != close) {
      if (!(this->*item)(slot, depth)) return false;
      while (peek() == ',') {
        ++pos;
        if (!(this->*item)(slot, depth)) return false;
      }
      if (peek() != close) return fail();
    }
    ++pos;
    return true;
  }

  // An array from its bracket, as a new block in `slot`.
  bool array(cell* slot, int32_t depth) { return items<&reader::value>(slot, depth, ']', 4); }

  // An object from its brace: its names and values collected into a block
  // and made into a map in `slot`, as make map! makes one.
  bool object(cell* slot, int32_t depth) {
    if (!items<&reader::property>(slot, depth, '}', 8)) return false;
    cell proto{TYPE_DATATYPE, TYPE_MAP, 0, 0};
    cell* map = actions::make(&proto, slot);
    *slot = *map;
    return true;
  }

  // A name, its colon (the mark moves after it) and its value.
  bool property(cell* into, int32_t depth) {
    white_space();
    if (peek() != '"') return fail();
    int32_t first, last;
    bool escaped;
    if (!string_literal(first, last, escaped)) return false;
    cell* key = stack::push(none::none_value);
    make_string(key, first, last, escaped);
    name_key(key);
    block::rs_append(into, key);
    stack::top = key;
    white_space();
    if (peek() != ':') return fail();
    mark = ++pos;
    return value(into, depth);
  }
};

template <class T>
int32_t read(cell* input, cell* result) {
  reader<T> r;
  r.input = input;
  r.pos = r.mark = static_cast<int32_t>(input->data1);
  r.end = string::rs_abs_length_q(input);
  block::make_at(result, 1);
  if (r.value(result, 0) && r.pos == r.end) return DECODED;
  if (r.failed == failure::deep) return TOO_DEEP;
  return r.mark;
}

}  // namespace

void unescape(cell* s) {
  int32_t start = static_cast<int32_t>(s->data1);
  int32_t tail = string::rs_abs_length_q(s);
  int32_t first = start < tail ? string::find_char(s, '\\') : -1;
  if (first < 0) return;
  string_reader text{s};
  int32_t read = start + first;
  int32_t write = read;
  while (read < tail) {
    uint32_t cp = text.at(read++);
    if (cp == '\\') {
      if (read >= tail) fire(err::script_invalid_data, {*s});
      uint32_t letter = text.at(read++);
      if (letter == 'u') {
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
          cp = pair_code_point(cp, static_cast<uint32_t>(low));
        }
      } else {
        int32_t c = letter_escape(letter);
        if (c < 0) fire(err::script_invalid_data, {*s});
        cp = static_cast<uint32_t>(c);
      }
    }
    string::overwrite_char(GET_BUFFER(s), write++, cp);
  }
  string::truncate_at(GET_BUFFER(s), write);
}

void name_key(cell* s) {
  series_buffer* b = GET_BUFFER(s);
  uint32_t unit = GET_UNIT(b);
  int32_t length = string::rs_length_q(s);
  const uint8_t* units = head_of(b) + static_cast<int64_t>(s->data1) * unit;
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
  if (word::load_exact(text, bytes, &key)) *s = key;
}

int32_t decode(cell* input, cell* result) {
  switch (GET_UNIT(GET_BUFFER(input))) {
    case 1: return read<uint8_t>(input, result);
    case 2: return read<uint16_t>(input, result);
    default: return read<uint32_t>(input, result);
  }
}

}  // namespace ixo::json
