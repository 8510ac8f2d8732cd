// The token rows of the lexer, the constructors of token values: for each
// kind of value token, where it ends, what checks it gets and which
// datatype constructor makes its value.
// Every failure raises the token's syntax error through throw_error; a
// load that fails leaves nothing on the output stack.
#include <algorithm>
#include <array>
#include <cfloat>
#include <limits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/codecs/base.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/issue.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/percent.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/point3d.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/url.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/lexer/lexer_internal.hpp"
#include "runtime/lexer/scanners.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"

namespace ixo::lexer {

namespace {

constexpr uint8_t build_class(int b) {
  if (b == 0) return CLASS_END;
  if (b == '\t' || b == '\r' || b == ' ') return CLASS_BLANK;
  if (b == '\n') return CLASS_LF;
  if (b < 32) return CLASS_CONTROL;
  if (b >= '1' && b <= '9') return CLASS_DIGIT;
  switch (b) {
    case '0': return CLASS_ZERO;
    case '[': return CLASS_BLOCK_OPEN;
    case ']': return CLASS_BLOCK_CLOSE;
    case '(': return CLASS_PAREN_OPEN;
    case ')': return CLASS_PAREN_CLOSE;
    case '{': return CLASS_BRACE_OPEN;
    case '}': return CLASS_BRACE_CLOSE;
    case '"': return CLASS_QUOTE;
    case '#': return CLASS_HASH;
    case '\'': return CLASS_APOSTROPHE;
    case ':': return CLASS_COLON;
    case 'x': case 'X': return CLASS_X;
    case 'T': return CLASS_T;
    case 'h': return CLASS_H;
    case 'e': return CLASS_LOWER_E;
    case 'E': return CLASS_UPPER_E;
    case 'a': case 'b': case 'c': case 'd': case 'f': return CLASS_LOWER_HEX;
    case 'A': case 'B': case 'C': case 'D': case 'F': return CLASS_UPPER_HEX;
    case '/': return CLASS_SLASH;
    case '\\': return CLASS_BACKSLASH;
    case '<': return CLASS_LESS;
    case '>': return CLASS_GREATER;
    case '=': return CLASS_EQUAL;
    case '%': return CLASS_PERCENT;
    case ',': return CLASS_COMMA;
    case ';': return CLASS_SEMICOLON;
    case '@': return CLASS_AT;
    case '.': return CLASS_DOT;
    case '$': return CLASS_DOLLAR;
    case '+': return CLASS_PLUS;
    case '-': return CLASS_MINUS;
    case '^': return CLASS_CARET;
    default: break;
  }
  if (b >= 127 && b <= 191) return CLASS_CONTINUATION;
  if (b == 192 || b == 193 || b >= 248) return CLASS_INVALID;
  return CLASS_WORD;
}

constexpr std::array<uint8_t, 256> build_table() {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) t[static_cast<size_t>(b)] = build_class(b);
  return t;
}

}  // namespace

const std::array<uint8_t, 256> class_table = build_table();

namespace {

bool digit_q(uint8_t b) { return b >= '0' && b <= '9'; }
bool hex_q(uint8_t b) { return digit_q(b) || ((b | 0x20) >= 'a' && (b | 0x20) <= 'f'); }
int32_t hex_value(uint8_t b) { return digit_q(b) ? b - '0' : (b | 0x20) - 'a' + 10; }

bool unicode_space_q(int32_t cp) {
  return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || cp == 0x180E || (cp >= 0x2000 && cp <= 0x200B) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

}  // namespace

int32_t unicode_space_length(const uint8_t* p, const uint8_t* end) {
  if (*p < 0xC2) return 0;
  int32_t n;
  int32_t cp = unicode::checked_utf8_char(p, end, n);
  return cp >= 0 && unicode_space_q(cp) ? n : 0;
}

namespace {

// ---- Token ends ----------------------------------------------------------------

enum stop_bits : uint32_t {
  STOP_LESS = 1,       // "<"
  STOP_COMMA = 2,      // ","
  STOP_SLASH = 4,      // "/"
  STOP_COLON = 8,      // ":"
  STOP_BACKSLASH = 16,
};

// Inside a path element, "/" and ":" end every token.
uint32_t element_stops(const record* r) { return r->path_element ? STOP_SLASH | STOP_COLON : 0; }

bool stops_q(uint8_t b, uint32_t stops) {
  switch (b) {
    case '<': return stops & STOP_LESS;
    case ',': return stops & STOP_COMMA;
    case '/': return stops & STOP_SLASH;
    case ':': return stops & STOP_COLON;
    case '\\': return stops & STOP_BACKSLASH;
    default: return false;
  }
}

// The end of a token that runs to a delimiter, a Unicode space or one of
// the extra stop bytes.
const uint8_t* token_end(const uint8_t* p, const uint8_t* end, uint32_t stops) {
  while (p < end && !delimiter_q(*p) && !stops_q(*p, stops)) {
    if (*p >= 0xC2 && unicode_space_length(p, end)) break;
    ++p;
  }
  return p;
}

// ---- Values ----------------------------------------------------------------------

// Ends a value token [s, e) of datatype `type`: the prescan and scan
// events, the value that `make` builds (when loading) and the load event,
// whose refusal takes the value back off the output.
template <class Make>
void finish(record* r, const uint8_t* s, const uint8_t* e, uint32_t type, Make make) {
  r->pos = e;
  r->type = static_cast<int32_t>(type);
  cell t = datatype::make_cell(type);
  if (!fire_event(r, EVENT_PRESCAN, t, nullptr, s, e) || !r->mode.load) return;
  if (!fire_event(r, EVENT_SCAN, t, nullptr, s, e)) return;
  cell value = make();
  if (!r->mode.store) return;
  push_value(r, value);
  if (!fire_event(r, EVENT_LOAD, t, &value, s, e)) --r->tail;
}

// Code points of decoded text, reused from token to token.
std::vector<uint32_t> code_points;

cell make_string(uint32_t type) {
  uint32_t widest = 0;
  for (uint32_t cp : code_points) widest = std::max(widest, cp);
  uint32_t unit = string::append_unit(widest);
  int32_t n = static_cast<int32_t>(code_points.size());
  cell c{TYPE_UNSET, 0, 0, 0};
  string::make_at_unit(&c, n, unit);
  memory::series_buffer* b = memory::GET_BUFFER(&c);
  uint8_t* d = memory::head_of<uint8_t>(b);
  for (uint32_t cp : code_points) {
    if (unit == 1) {
      *d = static_cast<uint8_t>(cp);
    } else if (unit == 2) {
      uint16_t u = static_cast<uint16_t>(cp);
      std::memcpy(d, &u, 2);
    } else {
      std::memcpy(d, &cp, 4);
    }
    d += unit;
  }
  memory::set_tail(b, d);
  set_type(&c, type);
  return c;
}

// The escape after a caret at p (p is past the caret): the code point, or
// -1 for a bad escape; p moves past it.
int32_t caret_escape(const uint8_t*& p, const uint8_t* end) {
  if (p >= end) return -1;
  uint8_t b = *p;
  if (b == '(') {
    const uint8_t* close = p + 1;
    while (close < end && close - p <= 8 && *close != ')') ++close;
    if (close >= end || *close != ')') return -1;
    std::string name(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(close - p - 1));
    for (char& ch : name) ch = static_cast<char>(ch | 0x20);
    static const struct {
      const char* name;
      int32_t cp;
    } names[] = {{"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127}};
    for (const auto& n : names) {
      if (name == n.name) {
        p = close + 1;
        return n.cp;
      }
    }
    if (name.empty() || name.size() > 6) return -1;
    int32_t cp = 0;
    for (char ch : name) {
      if (!hex_q(static_cast<uint8_t>(ch))) return -1;
      cp = cp << 4 | hex_value(static_cast<uint8_t>(ch));
    }
    if (cp > 0x10FFFF) return -1;
    p = close + 1;
    return cp;
  }
  switch (b) {
    case '"': ++p; return '"';
    case '-': ++p; return '\t';
    case '/': ++p; return '\n';
    case '@': ++p; return 0;
    case '^': ++p; return '^';
    case '{': ++p; return '{';
    case '}': ++p; return '}';
    case '~': ++p; return 127;
    default: break;
  }
  if (b >= 'a' && b <= 'z') {
    ++p;
    return b - 'a' + 1;
  }
  if (b >= 'A' && b <= '_') {
    ++p;
    return b - 64;
  }
  int32_t n;
  int32_t cp = unicode::checked_utf8_char(p, end, n);
  if (cp >= 0) p += n;
  return cp;
}

// The text [s, e) into code_points, with caret escapes when `carets`;
// false on invalid UTF-8 or a bad escape.
bool decode_text(const uint8_t* s, const uint8_t* e, bool carets) {
  code_points.clear();
  for (const uint8_t* p = s; p < e;) {
    int32_t cp;
    if (*p == '^' && carets) {
      ++p;
      cp = caret_escape(p, e);
    } else if (*p < 0x80) {
      cp = *p++;
    } else {
      int32_t n;
      cp = unicode::checked_utf8_char(p, e, n);
      p += n;
    }
    if (cp < 0) return false;
    code_points.push_back(static_cast<uint32_t>(cp));
  }
  return true;
}

// A value of a string type from [s, e): carets decoded for string!, "%"
// escapes decoded (when one occurs) for file! and url!.
cell load_text_value(record* r, const uint8_t* s, const uint8_t* e, uint32_t type, bool carets,
                     const uint8_t* error_at) {
  if (!decode_text(s, e, carets)) throw_error(r, error_at, static_cast<int32_t>(type));
  cell value = make_string(TYPE_STRING);
  if ((type == TYPE_FILE || type == TYPE_URL) && std::memchr(s, '%', static_cast<size_t>(e - s))) {
    memory::root_guard keep(&value);
    cell decoded{TYPE_UNSET, 0, 0, 0};
    memory::root_guard keep_decoded(&decoded);
    string::rs_make_at(&decoded, static_cast<int32_t>(code_points.size()));
    url::decode_hex(&value, &decoded);
    value = decoded;
  }
  set_type(&value, type);
  return value;
}

cell make_word(uint32_t type, const uint8_t* name, int32_t length) {
  int32_t symbol = symbol::make_part(name, length);
  cell c{TYPE_UNSET, 0, 0, 0};
  word::make_at(symbol, &c);
  set_type(&c, type);
  return c;
}

// ---- Strings -------------------------------------------------------------------

void quoted_string(record* r, const uint8_t* s) {
  const uint8_t* p = s + 1;
  const uint8_t* end = r->input_tail;
  while (p < end && *p != '"') {
    if (*p == '\n') throw_error(r, s, TYPE_STRING);
    if (*p == '^' && p + 1 < end && p[1] != '\n') ++p;
    ++p;
  }
  if (p >= end) throw_error(r, s, TYPE_STRING);
  finish(r, s, p + 1, TYPE_STRING, [&] { return load_text_value(r, s + 1, p, TYPE_STRING, true, s); });
}

void braced_string(record* r, const uint8_t* s) {
  const uint8_t* p = s + 1;
  const uint8_t* end = r->input_tail;
  int32_t depth = 0;
  int32_t lines = 0;
  for (;; ++p) {
    if (p >= end) throw_error(r, s, TYPE_STRING);
    uint8_t b = *p;
    if (b == '^' && p + 1 < end) {
      if (*++p == '\n') ++lines;
    } else if (b == '{') {
      ++depth;
    } else if (b == '}') {
      if (depth-- == 0) break;
    } else if (b == '\n') {
      ++lines;
    }
  }
  r->line += lines;
  finish(r, s, p + 1, TYPE_STRING, [&] { return load_text_value(r, s + 1, p, TYPE_STRING, true, s); });
}

// One or more "%", "{", the text, "}" and as many "%": copied unchanged.
void raw_string(record* r, const uint8_t* s, int32_t percents) {
  const uint8_t* end = r->input_tail;
  const uint8_t* body = s + percents + 1;
  const uint8_t* p = body;
  int32_t lines = 0;
  for (;; ++p) {
    if (p >= end) throw_error(r, s, TYPE_STRING);
    if (*p == '\n') ++lines;
    if (*p != '}' || end - p - 1 < percents) continue;
    int32_t n = 0;
    while (n < percents && p[1 + n] == '%') ++n;
    if (n == percents) break;
  }
  r->line += lines;
  finish(r, s, p + 1 + percents, TYPE_STRING,
         [&] { return load_text_value(r, body, p, TYPE_STRING, false, s); });
}

void char_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  const uint8_t* p = s + 2;
  int32_t cp = -1;
  if (p < end && *p == '^') {
    ++p;
    cp = caret_escape(p, end);
  } else if (p < end && *p != '"') {
    int32_t n;
    cp = unicode::checked_utf8_char(p, end, n);
    p += n;
  }
  if (cp < 0 || p >= end || *p != '"') throw_error(r, s, TYPE_CHAR);
  finish(r, s, p + 1, TYPE_CHAR, [&] { return char_::make_cell(static_cast<uint32_t>(cp)); });
}

void tag_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  const uint8_t* p = s + 1;
  uint8_t quote = 0;
  int32_t lines = 0;
  for (; p < end; ++p) {
    uint8_t b = *p;
    if (b == '\n') ++lines;
    if (quote) {
      if (b == quote) quote = 0;
    } else if (b == '"' || b == '\'') {
      quote = b;
    } else if (b == '>') {
      break;
    }
  }
  if (p >= end) throw_error(r, s, TYPE_TAG);
  r->line += lines;
  finish(r, s, p + 1, TYPE_TAG, [&] { return load_text_value(r, s + 1, p, TYPE_TAG, false, s); });
}

// "%" and a file name, a quoted file name, a raw string, or the word "%".
void percent_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  int32_t percents = 0;
  while (s + percents < end && s[percents] == '%') ++percents;
  if (s + percents < end && s[percents] == '{') return raw_string(r, s, percents);
  if (s + 1 < end && s[1] == '"') {
    const uint8_t* p = s + 2;
    while (p < end && *p != '"' && *p != '\n') ++p;
    if (p >= end || *p != '"') throw_error(r, s, TYPE_FILE);
    finish(r, s, p + 1, TYPE_FILE, [&] { return load_text_value(r, s + 2, p, TYPE_FILE, false, s); });
    return;
  }
  const uint8_t* e = token_end(s + 1, end, element_stops(r));
  if (e == s + 1) {
    finish(r, s, e, TYPE_WORD, [&] { return make_word(TYPE_WORD, s, 1); });
    return;
  }
  finish(r, s, e, TYPE_FILE, [&] { return load_text_value(r, s + 1, e, TYPE_FILE, false, s); });
}

// ---- Words -----------------------------------------------------------------------

bool money_start_q(const uint8_t* p, const uint8_t* end) {
  if (p < end && (*p == '+' || *p == '-')) ++p;
  if (p < end && *p == '$') return true;
  if (end - p < 4) return false;
  return tokenizer::letter_q(p[0]) && tokenizer::letter_q(p[1]) && tokenizer::letter_q(p[2]) && p[3] == '$';
}

void money_token(record* r, const uint8_t* s) {
  const uint8_t* e = token_end(s, r->input_tail, STOP_LESS | element_stops(r));
  finish(r, s, e, TYPE_MONEY, [&] {
    cell m{TYPE_UNSET, 0, 0, 0};
    if (!tokenizer::money_text(reinterpret_cast<const char*>(s), reinterpret_cast<const char*>(e), &m))
      throw_error(r, s, TYPE_MONEY);
    return m;
  });
}

// Two to eight hexadecimal digits and "h": the 32-bit pattern.
void hex_integer(record* r, const uint8_t* s, const uint8_t* e) {
  finish(r, s, e, TYPE_INTEGER, [&] {
    int32_t digits = static_cast<int32_t>(e - s - 1);
    if (digits < 2 || digits > 8) throw_error(r, s, TYPE_INTEGER);
    uint32_t value = 0;
    for (const uint8_t* p = s; p < e - 1; ++p) {
      if (!hex_q(*p)) throw_error(r, s, TYPE_INTEGER);
      value = value << 4 | static_cast<uint32_t>(hex_value(*p));
    }
    return integer::make_cell(static_cast<int32_t>(value));
  });
}

// Hexadecimal digits and "h": a hexadecimal integer's text, or, for a
// single digit, text that is neither a number nor a word.
bool hex_word_q(const uint8_t* s, const uint8_t* e) {
  if (e - s < 2 || e[-1] != 'h') return false;
  for (const uint8_t* p = s; p < e - 1; ++p)
    if (!hex_q(*p)) return false;
  return true;
}

void open_path(record* r, uint32_t type, const uint8_t* s, const uint8_t* name, const uint8_t* slash) {
  if (!open_series(r, type, s, static_cast<int32_t>(slash - s))) {
    r->pos = slash + 1;
    return;
  }
  r->pos = slash;
  if (r->mode.load && r->mode.store) push_value(r, make_word(TYPE_WORD, name, static_cast<int32_t>(slash - name)));
  r->pos = slash + 1;
  r->path_element = true;
}

// Words of every kind, set-words, paths' heads, urls, e-mails and money
// with a currency code.
void word_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  const uint8_t* p = s;
  uint32_t type = TYPE_WORD;
  if (*p == '\'') {
    type = TYPE_LIT_WORD;
    ++p;
  } else if (*p == ':') {
    type = TYPE_GET_WORD;
    ++p;
  }
  const uint8_t* name = p;
  if (type == TYPE_WORD && money_start_q(p, end)) return money_token(r, s);
  bool url = false, email = false;
  const uint8_t* colon = nullptr;
  if (p < end && *p == '/') {
    // the words "/" and "//" after a prefix
    ++p;
    if (p < end && *p == '/') ++p;
    if (p < end && !delimiter_q(*p) && !stops_q(*p, element_stops(r))) throw_error(r, s, static_cast<int32_t>(type));
  }
  bool angle = p < end && (*p == '<' || *p == '>');
  while (p < end) {
    uint8_t c = *p;
    if (delimiter_q(c)) break;
    if (c >= 0x80) {
      if (unicode_space_length(p, end)) break;
      int32_t n;
      if (unicode::checked_utf8_char(p, end, n) < 0) throw_error(r, s, TYPE_WORD);
      p += n;
      continue;
    }
    if (url) {
      ++p;
      continue;
    }
    if ((c == '<' && !angle) || c == '\\') break;
    if (c == '/') break;
    if (c == ':') {
      if (r->path_element && p > name) break;
      if (p + 1 >= end || delimiter_q(p[1])) {
        colon = p;
        break;
      }
      if (p == name || email) throw_error(r, s, static_cast<int32_t>(type));
      url = true;
    }
    if (c == '@') email = true;
    if (c == 127) throw_error(r, s, KIND_BAD_CHAR);
    ++p;
  }
  if (url || email) {
    if (type == TYPE_LIT_WORD || type == TYPE_GET_WORD) throw_error(r, s, static_cast<int32_t>(type));
    uint32_t t = url ? TYPE_URL : TYPE_EMAIL;
    finish(r, s, p, t, [&] { return load_text_value(r, s, p, t, false, s); });
    return;
  }
  if (p == name) throw_error(r, s, type == TYPE_WORD ? KIND_BAD_CHAR : static_cast<int32_t>(type));
  // A "%" or "," inside a word is an error; the word "%" itself (after a
  // "'" or ":") is not.
  bool percent_word = p - name == 1 && *name == '%';
  for (const uint8_t* q = name; q < p && !percent_word; ++q)
    if (*q == ',' || *q == '%') throw_error(r, s, TYPE_WORD);
  if (type == TYPE_WORD && !colon && !r->path_element && hex_word_q(name, p) && (p >= end || *p != '/')) {
    // "ah" .. "fh": one letter is too short for a hexadecimal integer
    if (p - name == 2) throw_error(r, s, TYPE_WORD);
    return hex_integer(r, s, p);
  }
  if (colon) {
    if (type != TYPE_WORD) throw_error(r, s, static_cast<int32_t>(type));
    finish(r, s, colon + 1, TYPE_SET_WORD,
           [&] { return make_word(TYPE_SET_WORD, name, static_cast<int32_t>(colon - name)); });
    return;
  }
  if (p < end && *p == '/' && !r->path_element && name[0] != '/') {
    uint32_t path = type == TYPE_LIT_WORD ? TYPE_LIT_PATH : type == TYPE_GET_WORD ? TYPE_GET_PATH : TYPE_PATH;
    return open_path(r, path, s, name, p);
  }
  finish(r, s, p, type, [&] { return make_word(type, name, static_cast<int32_t>(p - name)); });
}

// "/" and "//" are words; "/" and a name a refinement.
void slash_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  const uint8_t* p = s + 1;
  if (p < end && *p == '/') ++p;
  if (p >= end || delimiter_q(*p)) {
    finish(r, s, p, TYPE_WORD, [&] { return make_word(TYPE_WORD, s, static_cast<int32_t>(p - s)); });
    return;
  }
  if (p == s + 2) throw_error(r, s, TYPE_REFINEMENT);
  const uint8_t* e = token_end(p, end, STOP_SLASH | STOP_LESS | STOP_BACKSLASH | element_stops(r));
  if (e == p) throw_error(r, s, TYPE_REFINEMENT);
  for (const uint8_t* q = p; q < e;) {
    int32_t n;
    if (unicode::checked_utf8_char(q, e, n) < 0 || *q == 127) throw_error(r, s, TYPE_REFINEMENT);
    q += n;
  }
  finish(r, s, e, TYPE_REFINEMENT, [&] { return make_word(TYPE_REFINEMENT, p, static_cast<int32_t>(e - p)); });
}

void ref_token(record* r, const uint8_t* s) {
  const uint8_t* e = token_end(s + 1, r->input_tail, element_stops(r));
  finish(r, s, e, TYPE_REF, [&] { return load_text_value(r, s + 1, e, TYPE_REF, false, s); });
}

// ---- "#" tokens ------------------------------------------------------------------

// "#(" a name ")": true, false, none, unset or a datatype.
void construct(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  const uint8_t* p = s + 2;
  while (p < end && *p != ')' && *p != '\n') ++p;
  if (p >= end || *p != ')') throw_error(r, s, KIND_MALCONSTRUCT);
  std::string name(reinterpret_cast<const char*>(s + 2), static_cast<size_t>(p - s - 2));
  for (char& ch : name) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch | 0x20 : ch);
  cell value{TYPE_UNSET, 0, 0, 0};
  if (name == "true" || name == "false") {
    value = logic::make_cell(name == "true");
  } else if (name == "none") {
    value = none::none_value;
  } else if (name != "unset") {
    bool found = false;
    for (uint32_t id = 1; !name.empty() && id <= datatype::max_type_id && !found; ++id) {
      const char* type_name = datatype::type_name_table[id].name;
      if (type_name && name.size() <= std::strlen(type_name) && std::strncmp(type_name, name.c_str(), name.size()) == 0) {
        value = datatype::make_cell(id);
        found = true;
      }
    }
    if (!found) throw_error(r, s, KIND_MALCONSTRUCT);
  }
  finish(r, s, p + 1, TYPE_OF(&value), [&] { return value; });
}

// A binary literal whose base text is [s, brace) and whose digits follow
// the brace; ";" comments run to the line's end.
void binary_token(record* r, const uint8_t* s, int32_t base, const uint8_t* brace) {
  const uint8_t* end = r->input_tail;
  std::string digits;
  const uint8_t* p = brace + 1;
  int32_t lines = 0;
  for (; p < end && *p != '}'; ++p) {
    uint8_t b = *p;
    if (b == ';') {
      while (p + 1 < end && p[1] != '\n') ++p;
      continue;
    }
    if (b == '\n') ++lines;
    if (b == ' ' || b == '\t' || b == '\r' || b == '\n') continue;
    if (base == 64 && (b == 8 || b == 12 || b == '\'')) continue;
    bool valid = base == 16   ? hex_q(b)
                 : base == 2  ? b == '0' || b == '1'
                 : base == 64 ? tokenizer::letter_q(b) || digit_q(b) || b == '+' || b == '/' || b == '='
                              : false;
    if (!valid) throw_error(r, p, TYPE_BINARY);
    digits += static_cast<char>(b);
  }
  if (p >= end) throw_error(r, s, TYPE_BINARY);
  r->line += lines;
  finish(r, s, p + 1, TYPE_BINARY, [&] {
    int32_t n = static_cast<int32_t>(digits.size());
    if ((base == 16 && n % 2) || (base == 2 && n % 8)) throw_error(r, p, TYPE_BINARY);
    std::vector<uint8_t> bytes(static_cast<size_t>(base::decoded_capacity(base, n)) + 1);
    int32_t length = n ? base::decode(base, reinterpret_cast<const uint8_t*>(digits.data()), n, 1, bytes.data()) : 0;
    if (length < 0) throw_error(r, p, TYPE_BINARY);
    cell value{TYPE_UNSET, 0, 0, 0};
    binary::load_at(bytes.data(), length, &value);
    return value;
  });
}

void hash_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  uint8_t next = s + 1 < end ? s[1] : 0;
  if (next == '{') return binary_token(r, s, 16, s + 1);
  if (next == '(') return construct(r, s);
  if (next == '"') return char_token(r, s);
  const uint8_t* e = token_end(s + 1, end, element_stops(r));
  if (e == s + 1) throw_error(r, s, TYPE_ISSUE);
  for (const uint8_t* q = s + 1; q < e;) {
    int32_t n;
    if (unicode::checked_utf8_char(q, e, n) < 0 || *q == 127) throw_error(r, s, TYPE_ISSUE);
    q += n;
  }
  finish(r, s, e, TYPE_ISSUE, [&] {
    std::string name(reinterpret_cast<const char*>(s + 1), static_cast<size_t>(e - s - 1));
    cell value{TYPE_UNSET, 0, 0, 0};
    issue::make_at(&value, name.c_str());
    return value;
  });
}

// ---- Numbers ---------------------------------------------------------------------

[[noreturn]] void invalid(record* r, const uint8_t* s, uint32_t type) {
  throw_error(r, s, static_cast<int32_t>(type));
}

// [sign] digits with single "'" between them: an integer!, or a float!
// past 10 digits or the 32-bit range ("-2147483648" stays an integer).
cell integer_value(record* r, const uint8_t* s, const uint8_t* e) {
  const uint8_t* p = s;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  int32_t digits = 0;
  for (; p < e; ++p) {
    if (*p == '\'') {
      if (!digit_q(p[-1]) || p + 1 >= e || !digit_q(p[1])) invalid(r, s, TYPE_INTEGER);
      continue;
    }
    if (!digit_q(*p)) invalid(r, s, TYPE_INTEGER);
    if (++digits <= 10) value = value * 10 + (*p - '0');
  }
  if (digits == 0) invalid(r, s, TYPE_INTEGER);
  if (negative) value = -value;
  if (digits <= 10 && value >= INT32_MIN && value <= INT32_MAX) return integer::make_cell(static_cast<int32_t>(value));
  const char* text = reinterpret_cast<const char*>(s);
  return float_::make_cell(tokenizer::convert_float(text, text + (e - s)));
}

double float_value(record* r, const uint8_t* s, const uint8_t* e, uint32_t type) {
  const char* a = reinterpret_cast<const char*>(s);
  const char* b = reinterpret_cast<const char*>(e);
  if (!tokenizer::float_syntax_q(a, b)) invalid(r, s, type);
  return tokenizer::convert_float(a, b);
}

// [sign] "1.#" and NaN or INF, without case.
bool special_float(const uint8_t* s, const uint8_t* e, double& value) {
  bool negative = false;
  if (s < e && (*s == '+' || *s == '-')) negative = *s++ == '-';
  if (e - s != 6 || s[0] != '1' || s[1] != '.' || s[2] != '#') return false;
  std::string rest(reinterpret_cast<const char*>(s + 3), 3);
  for (char& ch : rest) ch = static_cast<char>(ch | 0x20);
  if (rest == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (rest == "inf") {
    value = negative ? -HUGE_VAL : HUGE_VAL;
  } else {
    return false;
  }
  return true;
}

cell tuple_value(record* r, const uint8_t* s, const uint8_t* e) {
  cell t{TYPE_TUPLE, 0, 0, 0};
  uint8_t* bytes = tuple::bytes_of(&t);
  int32_t parts = 0;
  for (const uint8_t* p = s; p <= e;) {
    int32_t value = 0, digits = 0;
    for (; p < e && digit_q(*p); ++p, ++digits) value = std::min(value * 10 + (*p - '0'), 256);
    if (digits == 0 || value > 255 || parts == tuple::MAX_LENGTH) invalid(r, s, TYPE_TUPLE);
    bytes[parts++] = static_cast<uint8_t>(value);
    if (p == e) break;
    if (*p != '.') invalid(r, s, TYPE_TUPLE);
    ++p;
    if (p == e) invalid(r, s, TYPE_TUPLE);
  }
  if (parts < tuple::MIN_LENGTH) invalid(r, s, TYPE_TUPLE);
  tuple::set_length(&t, parts);
  return t;
}

// One side of a pair: [sign] digits, within 32 bits.
int32_t pair_side(record* r, const uint8_t* s, const uint8_t* from, const uint8_t* to) {
  const uint8_t* p = from;
  bool negative = false;
  if (p < to && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == to) invalid(r, s, TYPE_PAIR);
  int64_t value = 0;
  for (; p < to; ++p) {
    if (!digit_q(*p)) invalid(r, s, TYPE_PAIR);
    value = value * 10 + (*p - '0');
    if (value > 2147483648LL) invalid(r, s, TYPE_PAIR);
  }
  if (negative) value = -value;
  if (value > INT32_MAX) invalid(r, s, TYPE_PAIR);
  return static_cast<int32_t>(value);
}

cell pair_value(record* r, const uint8_t* s, const uint8_t* e) {
  const uint8_t* x = s;
  while (x < e && *x != 'x' && *x != 'X') ++x;
  int32_t left = pair_side(r, s, s, x);
  int32_t right = pair_side(r, s, x + 1, e);
  return pair::make_cell(left, right);
}

// Unsigned decimal digits at p (at least one, at most 9); -1 when none.
int32_t read_number(const uint8_t*& p, const uint8_t* e, int32_t* count = nullptr) {
  int32_t value = 0, n = 0;
  while (p < e && digit_q(*p) && n < 9) value = value * 10 + (*p++ - '0'), ++n;
  if (count) *count = n;
  return n ? value : -1;
}

// Seconds with an optional "." or "," fraction, as a double; false when
// there is no digit.
bool read_seconds(const uint8_t*& p, const uint8_t* e, double& seconds) {
  const uint8_t* start = p;
  while (p < e && digit_q(*p)) ++p;
  if (p == start) return false;
  if (p < e && (*p == '.' || *p == ',')) {
    ++p;
    while (p < e && digit_q(*p)) ++p;
  }
  std::string text(start, p);
  std::replace(text.begin(), text.end(), ',', '.');
  seconds = tokenizer::convert_float(text.data(), text.data() + text.size());
  return true;
}

// The fields of a time as written: hours ":" minutes [":" seconds], or
// minutes ":" seconds with a fraction (no hours, `fraction_form`).
struct clock_fields {
  int32_t hours = 0, minutes = 0;
  double seconds = 0.0;
  bool fraction_form = false;
  double total() const { return hours * 3600.0 + minutes * 60.0 + seconds; }
};

bool read_time(const uint8_t*& p, const uint8_t* e, clock_fields& t) {
  int32_t first = read_number(p, e);
  if (first < 0 || p >= e || *p != ':') return false;
  ++p;
  const uint8_t* second_at = p;
  int32_t second = read_number(p, e);
  if (second < 0) return false;
  if (p < e && (*p == '.' || *p == ',')) {
    p = second_at;
    t.minutes = first;
    t.fraction_form = true;
    return read_seconds(p, e, t.seconds);
  }
  t.hours = first;
  t.minutes = second;
  if (p < e && *p == ':') {
    ++p;
    if (!read_seconds(p, e, t.seconds)) return false;
  }
  return true;
}

cell time_value(record* r, const uint8_t* s, const uint8_t* e) {
  const uint8_t* p = s;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  clock_fields t;
  if (!read_time(p, e, t) || p != e) invalid(r, s, TYPE_TIME);
  return time::make_cell(negative ? -t.total() : t.total());
}

// ---- Dates ---------------------------------------------------------------------

struct date_fields {
  int32_t year = 0, month = 0, day = 0;
  double time = 0.0;
  int32_t zone_hours = 0, zone_minutes = 0;
  bool has_time = false;
};

int32_t month_length(int32_t year, int32_t month) {
  static const int32_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && date::leap_year_q(year) ? 29 : lengths[month - 1];
}

// "Z", or a sign, hours and optional (":") minutes.
bool read_zone(const uint8_t*& p, const uint8_t* e, date_fields& d) {
  if (p < e && (*p == 'Z' || *p == 'z')) {
    ++p;
    return true;
  }
  if (p >= e || (*p != '+' && *p != '-')) return p == e;
  bool negative = *p++ == '-';
  int32_t count;
  int32_t hours = read_number(p, e, &count);
  if (hours < 0) return false;
  int32_t minutes = 0;
  if (count == 4) {
    minutes = hours % 100;
    hours /= 100;
  } else if (count > 2) {
    return false;
  } else if (p < e && *p == ':') {
    ++p;
    minutes = read_number(p, e);
    if (minutes < 0) return false;
  }
  if (hours > 15 || minutes > 59) return false;
  d.zone_hours = negative ? -hours : hours;
  d.zone_minutes = minutes;
  return true;
}

// A time of day: hours 0-23, minutes 0-59 and seconds below 60, each as
// written (none carries into the next).
bool read_time_of_day(const uint8_t*& p, const uint8_t* e, date_fields& d) {
  clock_fields t;
  if (!read_time(p, e, t) || t.fraction_form || t.hours > 23 || t.minutes > 59 || t.seconds >= 60.0) return false;
  d.time = t.total();
  d.has_time = true;
  return read_zone(p, e, d);
}

// The basic ISO form: yyyymmdd "T" hhmm[ss[.frac]] ["Z" | zone].
bool basic_iso(const uint8_t* s, const uint8_t* e, date_fields& d) {
  if (e - s < 13 || s[8] != 'T') return false;
  for (int32_t i = 0; i < 8; ++i)
    if (!digit_q(s[i])) return false;
  auto two = [](const uint8_t* p) { return (p[0] - '0') * 10 + (p[1] - '0'); };
  d.year = two(s) * 100 + two(s + 2);
  d.month = two(s + 4);
  d.day = two(s + 6);
  const uint8_t* p = s + 9;
  for (int32_t i = 0; i < 4; ++i)
    if (!digit_q(p[i])) return false;
  int32_t hour = two(p), minute = two(p + 2);
  p += 4;
  double seconds = 0.0;
  if (p < e && digit_q(*p)) {
    if (!read_seconds(p, e, seconds)) return false;
  }
  if (hour > 23 || minute > 59 || seconds >= 60.0) return false;
  d.time = hour * 3600.0 + minute * 60.0 + seconds;
  d.has_time = true;
  if (!read_zone(p, e, d)) return false;
  return p == e;
}

// From a day number of the calendar to the fields.
void from_days(int32_t days, date_fields& d) {
  uint32_t packed = date::days_to_date(days, 0, false);
  d.year = date::get_year(packed);
  d.month = date::get_month(packed);
  d.day = date::get_day(packed);
}

// What follows a date: nothing, or "/" or "T" and a time of day.
bool date_rest(const uint8_t* p, const uint8_t* e, date_fields& d) {
  if (p == e) return true;
  if (*p != '/' && *p != 'T' && *p != 't') return false;
  ++p;
  if (!read_time_of_day(p, e, d)) return false;
  return p == e;
}

bool read_date(const uint8_t* s, const uint8_t* e, date_fields& d) {
  if (basic_iso(s, e, d)) return true;
  const uint8_t* p = s;
  int32_t first_digits;
  int32_t first = read_number(p, e, &first_digits);
  if (first < 0 || p >= e || (*p != '-' && *p != '/')) return false;
  uint8_t separator = *p++;
  // week and ordinal dates start with the year, which the calendar needs
  // within its range before it counts days
  bool year_first = first <= 9999;
  if (separator == '-' && year_first && p < e && (*p == 'W' || *p == 'w')) {
    // year "-W" week ["-" weekday]
    ++p;
    int32_t count;
    int32_t week = read_number(p, e, &count);
    if (count != 2 || week < 1 || week > 53) return false;
    int32_t weekday = 1;
    if (p < e && *p == '-' && p + 1 < e && digit_q(p[1])) {
      ++p;
      weekday = read_number(p, e, &count);
      if (count != 1 || weekday < 1 || weekday > 7) return false;
    }
    int32_t jan1_weekday;
    int32_t start = date::iso_week_start(date::pack(first, 1, 1, 0, false), jan1_weekday);
    from_days(start + (week - 1) * 7 + weekday - 1, d);
    return date_rest(p, e, d);
  }
  const uint8_t* q = p;
  int32_t count;
  int32_t ordinal = read_number(q, e, &count);
  if (separator == '-' && year_first && count == 3 && (q == e || *q == '/' || *q == 'T')) {
    int32_t days_in_year = date::leap_year_q(first) ? 366 : 365;
    if (ordinal < 1 || ordinal > days_in_year) return false;
    from_days(date::year_start(date::pack(first, 1, 1, 0, false)) + ordinal - 1, d);
    return date_rest(q, e, d);
  }
  // day or year, month (number or name), day or year
  int32_t month = -1;
  if (p < e && digit_q(*p)) {
    month = read_number(p, e, &count);
    if (count > 2) return false;
  } else {
    const uint8_t* name = p;
    while (p < e && tokenizer::letter_q(*p)) ++p;
    int32_t length = static_cast<int32_t>(p - name);
    if (length < 3 || length > 9) return false;
    static const char* const months[] = {"january", "february", "march",     "april",   "may",      "june",
                                         "july",    "august",   "september", "october", "november", "december"};
    for (int32_t m = 0; m < 12 && month < 0; ++m) {
      if (static_cast<int32_t>(std::strlen(months[m])) < length) continue;
      bool match = true;
      for (int32_t i = 0; i < length && match; ++i) match = (name[i] | 0x20) == months[m][i];
      if (match) month = m + 1;
    }
    if (month < 0) return false;
  }
  if (p >= e || *p != separator) return false;
  ++p;
  // A year before year 0 follows a "/" separator with its sign (15/Mar/-0044).
  bool negative_year = separator == '/' && p < e && *p == '-';
  if (negative_year) ++p;
  int32_t last_digits;
  int32_t last = read_number(p, e, &last_digits);
  if (last < 0) return false;
  if (negative_year) {
    d.day = first;
    d.year = -last;
  } else if (last > 31 || first <= 99) {
    d.day = first;
    d.year = last;
    if (last_digits <= 2) d.year += d.year > 49 ? 1900 : 2000;
  } else {
    d.year = first;
    d.day = last;
    if (first_digits <= 2) d.year += d.year > 49 ? 1900 : 2000;
  }
  d.month = month;
  return date_rest(p, e, d);
}

cell date_value(record* r, const uint8_t* s, const uint8_t* e) {
  date_fields d;
  if (!read_date(s, e, d) || d.year < -9999 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > month_length(d.year, d.month))
    invalid(r, s, TYPE_DATE);
  cell c{TYPE_UNSET, 0, 0, 0};
  date::make_at(&c, d.year, d.month, d.day, d.time, d.zone_hours, d.zone_minutes, d.has_time);
  return c;
}

// A token that starts with a digit (or a sign or "." before one): its row
// from what its text holds.
void number_token(record* r, const uint8_t* s) {
  const uint8_t* end = r->input_tail;
  uint32_t stops = STOP_LESS | element_stops(r);
  const uint8_t* e = s;
  bool colon = false;
  while (e < end && !delimiter_q(*e) && !stops_q(*e, stops)) {
    if (*e >= 0xC2 && unicode_space_length(e, end)) break;
    if (*e == ':') colon = true;
    if (*e == ',' && !colon) break;
    ++e;
  }
  if (e < end && *e == '{' && e[-1] == '#') {
    int32_t base = 0;
    for (const uint8_t* p = s; p < e - 1 && base < 100; ++p) base = digit_q(*p) ? base * 10 + (*p - '0') : 100;
    if (base != 2 && base != 16 && base != 64) throw_error(r, s, TYPE_BINARY);
    return binary_token(r, s, base, e);
  }
  auto has = [&](uint8_t c) { return std::memchr(s, c, static_cast<size_t>(e - s)) != nullptr; };
  if (has('@')) {
    finish(r, s, e, TYPE_EMAIL, [&] { return load_text_value(r, s, e, TYPE_EMAIL, false, s); });
    return;
  }
  if (has('$')) return money_token(r, s);
  if (has('#')) {
    finish(r, s, e, TYPE_FLOAT, [&] {
      double d;
      if (!special_float(s, e, d)) invalid(r, s, TYPE_FLOAT);
      return float_::make_cell(d);
    });
    return;
  }
  const uint8_t* body = s;
  if (*body == '+' || *body == '-') ++body;
  const uint8_t* first = body;
  while (first < e && (digit_q(*first) || *first == '\'')) ++first;
  uint8_t c = first < e ? *first : 0;
  if (c == 0) {
    finish(r, s, e, TYPE_INTEGER, [&] { return integer_value(r, s, e); });
  } else if (colon && (c == ':' || c == '.')) {
    finish(r, s, e, TYPE_TIME, [&] { return time_value(r, s, e); });
  } else if (c == '-' || c == '/' || c == 'T' || colon) {
    finish(r, s, e, TYPE_DATE, [&] { return date_value(r, s, e); });
  } else if (has('x') || has('X')) {
    finish(r, s, e, TYPE_PAIR, [&] {
      if (has('.')) invalid(r, s, TYPE_PAIR);
      return pair_value(r, s, e);
    });
  } else if (e[-1] == 'h') {
    hex_integer(r, s, e);
  } else if (e[-1] == '%') {
    finish(r, s, e, TYPE_PERCENT, [&] { return percent::make_cell(float_value(r, s, e - 1, TYPE_FLOAT) / 100.0); });
  } else if (c == '.' && std::count(s, e, '.') >= 2) {
    finish(r, s, e, TYPE_TUPLE, [&] { return tuple_value(r, s, e); });
  } else if (c == '.' || c == 'e' || c == 'E') {
    finish(r, s, e, TYPE_FLOAT, [&] { return float_::make_cell(float_value(r, s, e, TYPE_FLOAT)); });
  } else {
    throw_error(r, s, TYPE_INTEGER);
  }
}

}  // namespace

// ---- Entry points of the loop ------------------------------------------------------

void value_token(record* r) {
  const uint8_t* s = r->pos;
  const uint8_t* end = r->input_tail;
  uint8_t next = s + 1 < end ? s[1] : 0;
  uint8_t after = s + 2 < end ? s[2] : 0;
  switch (class_of(*s)) {
    case CLASS_QUOTE: return quoted_string(r, s);
    case CLASS_BRACE_OPEN: return braced_string(r, s);
    case CLASS_DIGIT:
    case CLASS_ZERO: return number_token(r, s);
    case CLASS_PLUS:
    case CLASS_MINUS:
      if (digit_q(next) || (next == '.' && digit_q(after))) return number_token(r, s);
      return word_token(r, s);
    case CLASS_DOT:
      if (digit_q(next)) return number_token(r, s);
      return word_token(r, s);
    case CLASS_DOLLAR: return money_token(r, s);
    case CLASS_HASH: return hash_token(r, s);
    case CLASS_PERCENT: return percent_token(r, s);
    case CLASS_LESS:
      if (next == '<' || next == '>' || next == '=' || next == '-' || s + 1 >= end || delimiter_q(next))
        return word_token(r, s);
      return tag_token(r, s);
    case CLASS_AT: return ref_token(r, s);
    case CLASS_SLASH: return slash_token(r, s);
    case CLASS_BRACE_CLOSE:
    case CLASS_BACKSLASH:
    case CLASS_CONTINUATION:
    case CLASS_INVALID:
    case CLASS_COMMA:
    case CLASS_BLOCK_OPEN:
    case CLASS_BLOCK_CLOSE:
    case CLASS_PAREN_CLOSE:
    case CLASS_SEMICOLON: throw_error(r, s, KIND_BAD_CHAR);
    default: return word_token(r, s);
  }
}

void path_element(record* r) {
  const uint8_t* s = r->pos;
  const uint8_t* end = r->input_tail;
  // ":" starts a get-word element (a/:b); alone it ends nothing.
  bool get_word = s < end && *s == ':' && s + 1 < end && !delimiter_q(s[1]) && s[1] != '/' && s[1] != ':';
  if (s >= end || (delimiter_q(*s) && *s != '"' && *s != '(') || *s == '/' || (*s == ':' && !get_word) ||
      *s == ',') {
    r->path_element = false;
    throw_error(r, s - 1, TYPE_PATH);
  }
  if (*s == '(') {
    // the paren opens through the loop; closing it comes back to the path
    r->path_element = false;
    return;
  }
  value_token(r);
  r->path_element = false;
  after_path_element(r);
}

void after_path_element(record* r) {
  const uint8_t* p = r->pos;
  const uint8_t* end = r->input_tail;
  uint32_t type = open_type(r);
  if (p < end && *p == '/') {
    if (p + 1 >= end) throw_error(r, p, TYPE_PATH);
    r->pos = p + 1;
    r->path_element = true;
    return;
  }
  if (p < end && *p == ':') {
    if (type != TYPE_PATH) {
      r->closing = static_cast<int32_t>(type);
      throw_error(r, p, KIND_MISMATCH);
    }
    if (p + 1 < end && p[1] == '/') throw_error(r, p, TYPE_PATH);
    r->pos = p + 1;
    if (!fire_event(r, EVENT_CLOSE, datatype::make_cell(TYPE_SET_PATH), nullptr, p, p + 1)) return;
    end_series(r, TYPE_SET_PATH);
    return;
  }
  // A path closes where its last element ends: a callback hears of it as
  // it hears of a block's "]".
  if (!fire_event(r, EVENT_CLOSE, datatype::make_cell(type), nullptr, p, p)) return;
  end_series(r, type);
}

// "(" and numbers separated by commas up to ")": a point2D! or point3D!.
bool point_literal(record* r) {
  const uint8_t* s = r->pos;
  const uint8_t* end = r->input_tail;
  if (end - s < 5) return false;
  const uint8_t* q = s + 1;
  for (; q < end && *q != ','; ++q) {
    uint8_t b = *q;
    bool allowed = digit_q(b) || b == ' ' || b == '\t' || b == '+' || b == '-' || b == '.' || b == '#' ||
                   std::strchr("AEFINaefin", b) != nullptr;
    if (!allowed || b == 0) return false;
  }
  if (q >= end) return false;
  double coordinates[3];
  int32_t n = 0;
  const uint8_t* p = s + 1;
  auto kind = [&] { return n >= 3 ? TYPE_POINT3D : TYPE_POINT2D; };
  while (true) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const uint8_t* start = p;
    while (p < end && *p != ',' && *p != ')' && *p != ' ' && *p != '\t' && !delimiter_q(*p)) ++p;
    if (p == start) invalid(r, s, kind());
    if (n == 3) invalid(r, s, TYPE_POINT3D);
    double value;
    if (std::memchr(start, '#', static_cast<size_t>(p - start))) {
      if (!special_float(start, p, value)) invalid(r, s, TYPE_FLOAT);
    } else {
      value = float_value(r, start, p, TYPE_FLOAT);
    }
    coordinates[n++] = value;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p >= end) invalid(r, s, kind());
    if (*p == ',') {
      ++p;
      continue;
    }
    if (*p != ')' || n < 2) invalid(r, s, n < 2 ? TYPE_POINT2D : kind());
    ++p;
    break;
  }
  // Coordinates are 32-bit floats; magnitudes past their range are
  // infinities.
  auto narrow = [](double d) {
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return d < 0 ? -HUGE_VALF : HUGE_VALF;
    return static_cast<float>(d);
  };
  uint32_t type = n == 2 ? TYPE_POINT2D : TYPE_POINT3D;
  finish(r, s, p, type, [&] {
    if (n == 2) return point2D::make_cell(narrow(coordinates[0]), narrow(coordinates[1]));
    return point3D::make_cell(narrow(coordinates[0]), narrow(coordinates[1]), narrow(coordinates[2]));
  });
  return true;
}

}  // namespace ixo::lexer
