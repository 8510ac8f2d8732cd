// The JSON writer. The text is gathered as code points and made into one
// string at the end. Containers
// are walked through cells held on the value stack, so that a form or mold
// that allocates (and may move every buffer and node) leaves them readable:
// each element is read again from its container's buffer.
#include "runtime/codecs/json.hpp"

#include <charconv>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/dtoa.hpp"

namespace ixo::json {

using namespace memory;

namespace {

// The two-character escapes; the other controls are written as \u and
// four upper-case hex digits.
char short_escape(uint32_t cp) {
  switch (cp) {
    case '"': return '"';
    case '\\': return '\\';
    case 0x08: return 'b';
    case 0x0C: return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
  }
}

// The text gathered by the last call, kept so that the next one reuses its
// room: growing a buffer of tens of megabytes anew costs more than the
// writing.
std::vector<uint32_t> gathered;

struct writer {
  std::vector<uint32_t>& out = gathered;
  std::vector<uint32_t> indent;  // one level's indent string
  bool pretty;
  bool ascii;
  int32_t level = 0;
  cell* scratch;  // a rooted string for formed and molded text

  void put(uint32_t cp) { out.push_back(cp); }
  void put(const char* text) {
    while (*text) out.push_back(static_cast<uint8_t>(*text++));
  }
  void put(const char* text, size_t n) { out.insert(out.end(), text, text + n); }

  // Written as they are: printable ASCII with /ascii (DEL included), else
  // everything but the controls and the surrogate code points, which alone
  // are not UTF-8; never the double quote or the backslash.
  bool plain_q(uint32_t cp) const {
    if (cp < 0x20 || cp == '"' || cp == '\\') return false;
    return ascii ? cp < 0x80 : cp < 0xD800 || cp > 0xDFFF;
  }

  void put_hex4(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    put('\\');
    put('u');
    for (int shift = 12; shift >= 0; shift -= 4) put(static_cast<uint8_t>(digits[value >> shift & 15]));
  }

  void put_escaped(uint32_t cp) {
    if (char letter = short_escape(cp)) {
      put('\\');
      put(static_cast<uint8_t>(letter));
    } else if (cp > 0xFFFF) {
      put_hex4(((cp - 0x10000) >> 10) + 0xD800);
      put_hex4(((cp - 0x10000) & 1023) + 0xDC00);
    } else {
      put_hex4(cp);
    }
  }

  // The units of a string from its index, quoted and escaped.
  void put_string(const cell* s) {
    series_buffer* b = GET_BUFFER(s);
    uint32_t unit = GET_UNIT(b);
    int32_t n = string::rs_length_q(s);
    const uint8_t* p = head_of(b) + static_cast<int64_t>(s->data1) * unit;
    put('"');
    // Each run of plain units is copied at once.
    auto run = [&]<class T>(const T* units) {
      for (int32_t i = 0; i < n;) {
        int32_t j = i;
        while (j < n && plain_q(units[j])) ++j;
        out.insert(out.end(), units + i, units + j);
        if (j < n) put_escaped(units[j++]);
        i = j;
      }
    };
    if (unit == 1) {
      run(p);
    } else if (unit == 2) {
      run(reinterpret_cast<const uint16_t*>(p));
    } else {
      run(reinterpret_cast<const uint32_t*>(p));
    }
    put('"');
  }

  // The value formed (any-string) or molded, written as a JSON string.
  void put_text_of(const cell& value, bool form) {
    cell* held = stack::push(value);
    string::rs_reset(scratch);
    if (form) {
      actions::form(held, scratch, nullptr, INT_MAX);
    } else {
      actions::mold(held, scratch, 0, 0, 0, nullptr, INT_MAX, 0);
    }
    stack::top = held;
    put_string(scratch);
  }

  void put_indent(int32_t change) {
    level += change;
    for (int32_t i = 0; i < level; ++i) out.insert(out.end(), indent.begin(), indent.end());
  }

  // Before an element: the opening bracket's line break and indent for the
  // first, the comma for the others (with a line break and indent when
  // pretty).
  void open_element(bool first) {
    if (!pretty) {
      if (!first) put(',');
    } else if (first) {
      put('\n');
      put_indent(1);
    } else {
      put(",\n");
      put_indent(0);
    }
  }

  // After the elements: the closing bracket, on a line of its own when
  // pretty and there were any.
  void close(bool any, char bracket) {
    if (pretty && any) {
      put('\n');
      put_indent(-1);
    }
    put(static_cast<uint8_t>(bracket));
  }

  // A key: a word by its spelling, a string as it is, anything else molded.
  void put_key(const cell& key) {
    uint32_t type = TYPE_OF(&key);
    if (any_word_q(type)) {
      cell name{TYPE_STRING, 0, symbol::get_c_string(static_cast<int32_t>(key.data2)), 0};
      put_string(&name);
    } else if (type == TYPE_STRING) {
      put_string(&key);
    } else {
      put_text_of(key, false);
    }
    put(pretty ? ": " : ":");
  }

  // The cells of any block from its index, as an array.
  void put_block(const cell& value) {
    cell* held = stack::push(value);
    series_buffer* b = GET_BUFFER(held);
    int32_t n = static_cast<int32_t>((b->tail - b->head) / sizeof(cell)) - static_cast<int32_t>(held->data1);
    put('[');
    for (int32_t i = 0; i < n; ++i) {
      open_element(i == 0);
      cell item = head_of<cell>(GET_BUFFER(held))[held->data1 + i];
      put_value(item);
    }
    close(n > 0, ']');
    stack::top = held;
  }

  // A map's live pairs from its index, as an object.
  void put_map(const cell& value) {
    cell* held = stack::push(value);
    series_buffer* b = GET_BUFFER(held);
    int32_t n = static_cast<int32_t>((b->tail - b->head) / sizeof(cell));
    bool any = false;
    put('{');
    for (int32_t i = static_cast<int32_t>(held->data1); i + 1 < n; i += 2) {
      const cell* pair = head_of<cell>(GET_BUFFER(held)) + i;
      if (pair[1].header == 0) continue;  // a removed pair
      cell key = pair[0];
      open_element(!any);
      any = true;
      put_key(key);
      cell item = head_of<cell>(GET_BUFFER(held))[i + 1];
      put_value(item);
    }
    close(any, '}');
    stack::top = held;
  }

  // An object's words and their values, as an object.
  void put_object(const cell& value) {
    cell* held = stack::push(value);
    int32_t n = context::word_count(held->data1);
    put('{');
    for (int32_t i = 0; i < n; ++i) {
      open_element(i == 0);
      cell key = *context::word_at(context::context_cell(held->data1), i);
      put_key(key);
      cell item = head_of<cell>(buffer_of(context::context_cell(held->data1)->data2))[i];
      put_value(item);
    }
    close(n > 0, '}');
    stack::top = held;
  }

  // NaN and the infinities have no JSON spelling: null. A float is written
  // as its formed text, except that a non-zero value that forms as "0.0"
  // (magnitudes below the float epsilon) is written exactly, molded, so
  // that no reader takes it for zero.
  void put_float(double d) {
    if (std::isnan(d - d)) {
      put("null");
      return;
    }
    const char* text = float_::form_float(d, float_::FORM_FLOAT);
    put(std::strcmp(text, "0.0") == 0 ? dtoa::form_float(d, 0, true) : text);
  }

  void put_value(const cell& value) {
    uint32_t type = TYPE_OF(&value);
    switch (type) {
      case TYPE_STRING: put_string(&value); return;
      case TYPE_INTEGER: {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, static_cast<int32_t>(value.data2)).ptr;
        put(digits, static_cast<size_t>(end - digits));
        return;
      }
      case TYPE_NONE: put("null"); return;
      case TYPE_LOGIC: put(value.data1 ? "true" : "false"); return;
      case TYPE_FLOAT: case TYPE_PERCENT: put_float(get_float(&value)); return;
      case TYPE_MAP: put_map(value); return;
      case TYPE_OBJECT: put_object(value); return;
      default:
        if (any_block_q(type)) {
          put_block(value);
        } else {
          put_text_of(value, any_string_q(type));
        }
    }
  }
};

}  // namespace

void encode(const cell* value, const cell* indent, bool ascii, cell* result) {
  cell scratch{TYPE_UNSET, 0, 0, 0};
  root_guard keep(&scratch);
  string::rs_make_at(&scratch, 64);
  writer w;
  w.out.clear();
  w.pretty = indent != nullptr;
  w.ascii = ascii;
  w.scratch = &scratch;
  if (indent) {
    series_buffer* b = GET_BUFFER(indent);
    uint32_t unit = GET_UNIT(b);
    for (int32_t i = 0, n = string::rs_length_q(indent); i < n; ++i)
      w.indent.push_back(string::get_char(head_of(b) + (static_cast<int64_t>(indent->data1) + i) * unit, unit));
  }
  w.put_value(*value);
  uint32_t widest = 0;
  for (uint32_t cp : w.out) widest = std::max(widest, cp);
  string::make_at_unit(result, static_cast<int32_t>(w.out.size()), string::append_unit(widest));
  string::append_code_points(result, w.out.data(), static_cast<int32_t>(w.out.size()));
}

}  // namespace ixo::json
