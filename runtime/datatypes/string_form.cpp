// string!: make and to, form and mold with the delimiter and escape rules
// that the lexer reads back, strings from UTF-8 bytes, and the registration
// row of string!.
#include "runtime/datatypes/string_form.hpp"

#include <climits>
#include <cstring>
#include <vector>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/conversions.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/string_compare.hpp"
#include "runtime/datatypes/string_edit.hpp"
#include "runtime/datatypes/string_sort.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::string {

using namespace memory;

namespace {

// A string of the UTF-8 text whose bytes `bytes_at()` answers, written into
// c. The bytes are asked for again after each allocation, so that they may
// lie in a series that moves.
template <class Bytes>
void load_utf8_at(cell* c, Bytes bytes_at, int32_t count) {
  unicode::utf8_load load = unicode::scan_utf8(bytes_at(), count, false, true);
  if (load.end < count) {
    // The undecoded last bytes, copied out before binary::load allocates.
    std::vector<uint8_t> rest(bytes_at() + load.end, bytes_at() + count);
    cell bytes;
    fire(err::access_invalid_utf8, {*binary::load_at(rest.data(), static_cast<int32_t>(rest.size()), &bytes)});
  }
  make_at_unit(c, load.count, static_cast<uint32_t>(load.unit));
  series_buffer* b = GET_BUFFER(c);
  unicode::decode_utf8(bytes_at(), load, head_of(b), load.unit);
  b->tail = b->head + static_cast<uint32_t>(load.count * load.unit);
}


}  // namespace

// ---- make and to -------------------------------------------------------------

cell* make(cell* proto, cell* spec, int32_t type) {
  uint32_t t = TYPE_OF(spec);
  if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
    int32_t size = t == TYPE_FLOAT ? conversions::float_to_integer(spec) : static_cast<int32_t>(spec->data2);
    if (size < 0) fire(err::script_out_of_range, {*spec});
    rs_make_at(proto, size);
    set_type(proto, static_cast<uint32_t>(type));
    return proto;
  }
  if (type == TYPE_BINARY) {
    if (t == TYPE_MONEY) fire(err::script_bad_make_arg, {datatype::make_cell(TYPE_BINARY), *spec});
    return reinterpret_cast<make_fn>(actions::get_action(TYPE_BINARY, ACT_TO))(proto, spec, type);
  }
  return to(proto, spec, type);
}

cell* to(cell* proto, cell* spec, int32_t type) {
  cell source = *spec;
  root_guard keep(&source);
  uint32_t t = TYPE_OF(&source);
  if (t == TYPE_NONE) fire(err::script_bad_to_arg, {datatype::make_cell(TYPE_STRING), source});
  proto->header = TYPE_UNSET;  // until it holds a whole string
  if (any_string_q(t)) {
    int32_t length = rs_length_q(&source);
    int32_t index = rs_abs_length_q(&source) - length;
    uint32_t node = series::copy_part(source.data2, index, length);
    *proto = {TYPE_STRING, 0, node, 0};
  } else if (t == TYPE_BINARY) {
    series_buffer* b = GET_BUFFER(&source);
    int32_t length = static_cast<int32_t>(b->tail - b->head);
    int32_t index = static_cast<int32_t>(source.data1) < length ? static_cast<int32_t>(source.data1) : length;
    load_utf8_at(proto, [&source, index] { return head_of(GET_BUFFER(&source)) + index; }, length - index);
  } else if (any_list_q(t)) {
    rs_make_at(proto, 16);
    append(proto, &source, -1, 0, 1, 0);
  } else {
    rs_make_at(proto, 16);
    if (t == TYPE_REFINEMENT && type != TYPE_STRING)
      actions::mold(&source, proto, 1, 1, 1, nullptr, INT32_MAX, 0);
    else
      actions::form(&source, proto, nullptr, INT32_MAX);
  }
  set_type(proto, static_cast<uint32_t>(type));
  return proto;
}

cell* from_utf8_bytes(const uint8_t* bytes, int32_t count) {
  cell* c = stack::push_slot();
  load_utf8_at(c, [bytes] { return bytes; }, count);
  return c;
}

// ---- form and mold -----------------------------------------------------------

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  cell v = *value;
  root_guard keep(&v);
  int32_t length = rs_length_q(&v);
  int32_t limit = stack::given_q(arg) ? (part > 0 ? part : 0) : -1;
  concatenate(buffer, &v, limit, 0, true, MODE_APPEND);
  return part - length;
}

namespace {

// The letter written after a caret for a code point below 5Fh, or 0: the
// controls 00h-1Fh, the double quote and the caret itself.
char escape_letter(uint32_t cp) {
  static constexpr char controls[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
  if (cp < 0x20) return controls[cp];
  if (cp == '"' || cp == '^') return static_cast<char>(cp);
  return 0;
}

// True when the opening brace at `at` is closed before `end`.
bool brace_closes_q(const cell* s, int32_t at, int32_t end) {
  int32_t depth = 0;
  for (int32_t i = at; i < end; ++i) {
    uint32_t cp = rs_abs_at(s, i);
    if (cp == '{') {
      ++depth;
    } else if (cp == '}') {
      if (depth == 1) return true;
      --depth;
    }
  }
  return false;
}

}  // namespace

series_buffer* append_escaped_char(series_buffer* b, uint32_t cp, bool escape, bool all) {
  if (cp == 0x1E || (cp >= 0x80 && cp <= 0x9F) || (all && cp > 0x7F)) {
    b = concatenate_literal(b, "^(");
    b = concatenate_literal(b, to_hex(static_cast<int32_t>(cp), true));
    return append_char(b, ')');
  }
  if (escape) {
    char letter = cp < 0x5F ? escape_letter(cp) : cp == 0x7F ? '~' : 0;
    if (letter) return append_char(append_char(b, '^'), static_cast<uint8_t>(letter));
  }
  return append_char(b, cp);
}

int32_t mold(cell* value, cell* buffer, int32_t, int32_t all, int32_t, cell* arg, int32_t part,
             int32_t) {
  cell v = *value;
  root_guard keep(&v);
  int32_t length = rs_length_q(&v);
  int32_t start = rs_abs_length_q(&v) - length;
  int32_t end = start + length;
  if (stack::given_q(arg) && arg->data2 != 0) {
    if (part < 0) end = start;
    else if (part < length) end = start + part;
  }

  int32_t quotes = 0, line_feeds = 0;
  for (int32_t i = start; i < end; ++i) {
    uint32_t cp = rs_abs_at(&v, i);
    quotes += cp == '"';
    line_feeds += cp == '\n';
  }
  bool braces = line_feeds >= 3 || quotes > 0 || length >= 50;

  series_buffer* b = append_char(GET_BUFFER(buffer), braces ? '{' : '"');
  int32_t open = 0;
  bool check = true;  // until a brace is found that never closes
  for (int32_t i = start; i < end; ++i) {
    uint32_t cp = rs_abs_at(&v, i);
    if (!braces) {
      b = append_escaped_char(b, cp, true, all);
    } else if (cp == '{') {
      if (check && brace_closes_q(&v, i, end)) {
        ++open;
        b = append_char(b, '{');
      } else {
        check = false;
        b = concatenate_literal(b, "^{");
      }
    } else if (cp == '}') {
      if (open > 0) {
        --open;
        b = append_char(b, '}');
      } else {
        b = concatenate_literal(b, "^}");
      }
    } else if (cp == '"') {
      b = append_char(b, '"');
    } else if (cp == '^') {
      b = concatenate_literal(b, "^^");
    } else {
      b = append_escaped_char(b, cp, true, all);
    }
  }
  append_char(b, braces ? '}' : '"');
  return part - (end - start) - 2;
}

}  // namespace ixo::string
