// The lexer's token loop, output stack and structure (see lexer.hpp). The
// loop skips blanks, looks at a token's first byte through the character
// class table, finds the token's end and its row, and hands it to the
// row's loader (token_values.cpp), or opens and closes series here. A scan's
// record lives on the machine stack of `scan`; records of nested scans are
// chained so that the collector marks every output cell and callback.
#include "runtime/lexer/lexer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer_internal.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/heap.hpp"

namespace ixo::lexer {

trace_caller call_trace = nullptr;

namespace {

constexpr int32_t OUTPUT_CELLS = 1000;
constexpr int32_t SCRATCH_BYTES = 100000;
constexpr int32_t ERROR_TEXT_BYTES = 30;

record* chain = nullptr;  // the first running scan
cell* output = nullptr;   // the output stack, on the tracked heap
int32_t output_size = 0;
uint8_t* scratch = nullptr;
int32_t scratch_fill = 0;

record* last_record() {
  record* r = chain;
  while (r && r->next) r = r->next;
  return r;
}

// The collector marks every running scan's output cells (they sit one
// above the other from the stack's start), callbacks and inputs.
void mark_buffers() {
  record* last = last_record();
  if (!last) return;
  collector::mark_values(output, output + last->tail);
  for (record* r = chain; r; r = r->next) {
    collector::mark_values(&r->callback, &r->callback + 1);
    collector::mark_values(&r->input, &r->input + 1);
  }
}

// ---- Output stack --------------------------------------------------------------

cell* alloc_slot(record* r) {
  if (r->tail == output_size) {
    int64_t grown = static_cast<int64_t>(output_size) * 2;
    if (grown * static_cast<int64_t>(sizeof(cell)) > INT32_MAX) fire(err::internal_no_memory);
    void* moved = heap::try_alloc_tracked(static_cast<int32_t>(grown * sizeof(cell)));
    if (!moved) fire(err::internal_no_memory);
    std::memcpy(moved, output, static_cast<size_t>(output_size) * sizeof(cell));
    heap::free_tracked(output);
    output = static_cast<cell*>(moved);
    output_size = static_cast<int32_t>(grown);
  }
  cell* c = &output[r->tail++];
  *c = cell{TYPE_UNSET | (r->newline ? NEWLINE_FLAG : 0), 0, 0, 0};
  r->newline = false;
  return c;
}

}  // namespace

void push_value(record* r, const cell& value) {
  cell* c = alloc_slot(r);
  uint32_t flag = c->header & NEWLINE_FLAG;
  *c = value;
  c->header = (c->header & ~NEWLINE_FLAG) | flag;
}

uint32_t open_type(const record* r) {
  return r->open > r->head ? output[r->open - 1].data2 & 0xFFFF : 0;
}

namespace {

void push_marker(record* r, uint32_t type, const uint8_t* at) {
  cell* m = alloc_slot(r);
  m->header = (m->header & NEWLINE_FLAG) | TYPE_TRIPLE;
  m->data1 = static_cast<uint32_t>(r->open);
  m->data2 = type;
  m->data3 = static_cast<uint32_t>(at - r->input_head);
  r->open = r->tail;
}

// The cells of the innermost open series as a new value of `type`, which
// replaces its marker.
void close_series(record* r, uint32_t type) {
  int32_t marker = r->open - 1;
  int32_t count = r->tail - r->open;
  cell value{TYPE_UNSET, 0, 0, 0};
  memory::root_guard keep(&value);
  if (type == TYPE_MAP) {
    if (count % 2) throw_error(r, r->input_head + output[marker].data3, TYPE_MAP);
    for (int32_t i = 0; i < count; i += 2) {
      if (!map::valid_key_type_q(TYPE_OF(&output[r->open + i])))
        throw_error(r, r->input_head + output[marker].data3, TYPE_MAP);
    }
    cell storage{TYPE_UNSET, 0, 0, 0};
    memory::root_guard keep_storage(&storage);
    block::make_at(&storage, count);
    memory::series_buffer* b = memory::GET_BUFFER(&storage);
    cell* d = memory::head_of<cell>(b);
    std::memcpy(d, output + r->open, static_cast<size_t>(count) * sizeof(cell));
    memory::set_tail(b, d + count);
    map::make_at(&value, nullptr, count);
    map::extend(&value, &storage, 0);
  } else {
    block::make_at(&value, count);
    memory::series_buffer* b = memory::GET_BUFFER(&value);
    cell* d = memory::head_of<cell>(b);
    std::memcpy(d, output + r->open, static_cast<size_t>(count) * sizeof(cell));
    memory::set_tail(b, d + count);
    set_type(&value, type);
  }
  value.header = (value.header & ~NEWLINE_FLAG) | (output[marker].header & NEWLINE_FLAG);
  r->open = static_cast<int32_t>(output[marker].data1);
  r->tail = marker;
  output[r->tail++] = value;
  r->type = static_cast<int32_t>(type);
}

// ---- Error reports -----------------------------------------------------------

cell line_text(int32_t line) {
  char text[32];
  int32_t n = std::snprintf(text, sizeof text, "(line %d)", line);
  cell s{TYPE_UNSET, 0, 0, 0};
  string::load_at(reinterpret_cast<const uint8_t*>(text), n, &s, string::LOAD_UTF8);
  return s;
}

// The text from `at` up to a line feed, the end or 30 bytes of whole
// characters; bytes that are not UTF-8 show as the replacement character.
cell error_text(const record* r, const uint8_t* at) {
  const uint8_t* end = at;
  while (end < r->input_tail && *end != '\n') {
    int32_t cp;
    const uint8_t* next = unicode::fast_decode_utf8_char(end, r->input_tail, cp);
    if (next - at > ERROR_TEXT_BYTES) break;
    end = next;
  }
  uint8_t text[ERROR_TEXT_BYTES * 3];  // each bad byte shows as 3 bytes
  int32_t n = 0;
  for (const uint8_t* p = at; p < end;) {
    int32_t cp;
    const uint8_t* next = unicode::fast_decode_utf8_char(p, end, cp);
    if (cp < 0) {
      n += unicode::cp_to_utf8(0xFFFD, text + n);
    } else {
      std::memcpy(text + n, p, static_cast<size_t>(next - p));
      n += static_cast<int32_t>(next - p);
    }
    p = next;
  }
  cell s{TYPE_UNSET, 0, 0, 0};
  string::load_at(text, n, &s, string::LOAD_UTF8);
  return s;
}

}  // namespace

namespace {

// A scan that fails still hands the values it loaded to its target block:
// open blocks and parens close as blocks, other open series are dropped.
void keep_loaded(record* r) {
  if (!r->into || !r->mode.load || !r->mode.store) return;
  while (r->open > r->head) {
    int32_t marker = r->open - 1;
    uint32_t type = output[marker].data2 & 0xFFFF;
    if (type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_POINT2D) {
      close_series(r, TYPE_BLOCK);
    } else {
      r->open = static_cast<int32_t>(output[marker].data1);
      r->tail = marker;
    }
  }
  int32_t count = r->tail - r->head;
  if (r->mode.one && !r->mode.wrap) count = std::min(count, 1);
  for (int32_t i = 0; i < count; ++i) block::rs_append(r->into, &output[r->head + i]);
  r->tail = r->head;
}

}  // namespace

[[noreturn]] void throw_error(record* r, const uint8_t* at, int32_t kind) {
  if (r->mode.quiet) system::throw_code(THROW_SYNTAX);
  if (r->events & EVENT_ERROR) {
    uint32_t type = kind > 0 ? static_cast<uint32_t>(kind)
                    : r->closing ? static_cast<uint32_t>(r->closing)
                                 : TYPE_ERROR;
    if (!fire_event(r, EVENT_ERROR, datatype::make_cell(type), nullptr, at, at)) {
      system::throw_code(THROW_SYNTAX);
    }
  }
  cell line = line_text(r->line);
  memory::root_guard keep_line(&line);
  cell text = error_text(r, at);
  memory::root_guard keep_text(&text);
  keep_loaded(r);
  if (kind > 0) fire(err::syntax_invalid, {line, datatype::make_cell(static_cast<uint32_t>(kind)), text});
  if (kind == KIND_MALCONSTRUCT) fire(err::syntax_malconstruct, {line, text});
  if (kind == KIND_BAD_CHAR) fire(err::syntax_bad_char, {line, text});
  // missing: the delimiter of the series left open, or its opener when the
  // text at the error is that very delimiter.
  uint32_t closing = static_cast<uint32_t>(r->closing);
  if (closing == TYPE_PATH || closing == TYPE_LIT_PATH || closing == TYPE_SET_PATH ||
      closing == TYPE_GET_PATH) {
    fire(err::syntax_bad_char, {line, text});
  }
  bool brackets = closing == TYPE_BLOCK || closing == TYPE_MAP;
  uint8_t close = brackets ? ']' : ')';
  uint8_t at_char = 0;
  if (kind == KIND_MISMATCH) at_char = r->pos < r->input_tail ? *r->pos : r->pos[-1];
  uint32_t shown = at_char == close ? (brackets ? '[' : '(') : close;
  fire(err::syntax_missing, {line, cell{TYPE_CHAR, 0, shown, 0}, text});
}

namespace {

// ---- Callback events -------------------------------------------------------------

int32_t char_index(record* r, const uint8_t* p) {
  if (!r->string_input) return static_cast<int32_t>(p - r->input_head);
  if (p < r->cache_pos) r->cache_pos = r->input_head, r->cache_index = 0;
  r->cache_index += unicode::count_chars(r->cache_pos, p);
  r->cache_pos = p;
  return r->cache_index;
}

// The event mask of a callback: the event words of its body's first block.
int32_t events_of(const cell* callback) {
  if (TYPE_OF(callback) != TYPE_FUNCTION && TYPE_OF(callback) != TYPE_ROUTINE) return 0;
  cell* more = memory::head_of<cell>(memory::buffer_of(callback->data3));
  if (TYPE_OF(more) != TYPE_BLOCK) return EVENT_ALL;
  int32_t count;
  const cell* body = block::values_of(more, count);
  if (count == 0 || TYPE_OF(&body[0]) != TYPE_BLOCK) return EVENT_ALL;
  int32_t n;
  const cell* names = block::values_of(&body[0], n);
  const struct {
    cell* word;
    int32_t bit;
  } known[] = {{words::word_prescan, EVENT_PRESCAN}, {words::word_scan, EVENT_SCAN},
               {words::word_load, EVENT_LOAD},       {words::word_open, EVENT_OPEN},
               {words::word_close, EVENT_CLOSE},     {words::word_error, EVENT_ERROR}};
  int32_t mask = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (TYPE_OF(&names[i]) != TYPE_WORD) continue;
    for (const auto& k : known)
      if (symbol::EQUAL_WORDS_q(&names[i], static_cast<int32_t>(k.word->data2))) mask |= k.bit;
  }
  return mask;
}

cell* event_word(int32_t event) {
  switch (event) {
    case EVENT_PRESCAN: return words::word_prescan;
    case EVENT_SCAN: return words::word_scan;
    case EVENT_LOAD: return words::word_load;
    case EVENT_OPEN: return words::word_open;
    case EVENT_CLOSE: return words::word_close;
    default: return words::word_error;
  }
}

}  // namespace

bool fire_event(record* r, int32_t event, const cell& type, const cell* value, const uint8_t* start,
                const uint8_t* end) {
  if (!(r->events & event) || !call_trace) return true;
  cell token = value ? *value
                     : pair::make_cell(char_index(r, start) + 1, char_index(r, end) + 1);
  const uint8_t* at = event == EVENT_OPEN ? start : end;
  cell input = r->input;
  int32_t base = static_cast<int32_t>(r->input.data1);
  int32_t index = char_index(r, at);
  input.data1 = static_cast<uint32_t>(base + index);
  cell* args = stack::push(*event_word(event));
  stack::push(input);
  stack::push(type);
  stack::push(integer::make_cell(r->line));
  stack::push(token);
  bool answer = call_trace(&r->callback, args);
  int32_t moved = static_cast<int32_t>(args[1].data1) - base;
  stack::top = args;
  if (moved != index && moved >= 0) {
    r->pos = r->string_input ? unicode::skip_utf8_chars(r->input_head, r->input_tail, moved)
                             : r->input_head + std::min<int64_t>(moved, r->input_tail - r->input_head);
  }
  return answer;
}

namespace {

// ---- The token loop ----------------------------------------------------------------

// Skips blanks, control bytes and the Unicode spaces; counts lines.
void skip_blanks(record* r) {
  const uint8_t* p = r->pos;
  const uint8_t* end = r->input_tail;
  while (p < end) {
    uint8_t b = *p;
    uint8_t k = class_of(b);
    if (k == CLASS_BLANK || k == CLASS_CONTROL) {
      ++p;
    } else if (k == CLASS_LF) {
      ++r->line;
      r->newline = true;
      ++p;
    } else if (b >= 0xC2) {
      int32_t n = unicode_space_length(p, end);
      if (!n) break;
      p += n;
    } else {
      break;
    }
  }
  r->pos = p;
}

// At a closing delimiter: the innermost series closes when it is of the
// delimiter's kind; otherwise the delimiter is missing its match.
void close_delimiter(record* r, uint8_t delimiter) {
  uint32_t open = open_type(r);
  bool match = delimiter == ']' ? open == TYPE_BLOCK || open == TYPE_MAP : open == TYPE_PAREN;
  if (!match) {
    r->closing = static_cast<int32_t>(open ? open : delimiter == ']' ? TYPE_BLOCK : TYPE_PAREN);
    throw_error(r, r->pos, KIND_MISMATCH);
  }
  const uint8_t* at = r->pos;
  r->pos = at + 1;
  if (!fire_event(r, EVENT_CLOSE, datatype::make_cell(open), nullptr, at, at + 1)) return;
  end_series(r, open);
  if (open_type(r) >= TYPE_PATH && open_type(r) <= TYPE_GET_PATH) after_path_element(r);
}

void open_delimiter(record* r, uint32_t type, int32_t length) {
  const uint8_t* at = r->pos;
  r->pos = at + length;
  open_series(r, type, at, length);
}

// A ";" comment runs to the line feed.
void comment(record* r) {
  const uint8_t* p = r->pos;
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(p, '\n', static_cast<size_t>(r->input_tail - p)));
  r->pos = end ? end : r->input_tail;
  r->type = 0;
}

// A "," outside a number: inside an open paren it makes the paren a point,
// whose closing parenthesis then no longer matches.
void comma(record* r) {
  uint32_t open = open_type(r);
  if (open != TYPE_PAREN && open != TYPE_POINT2D) throw_error(r, r->pos, TYPE_POINT2D);
  cell& marker = output[r->open - 1];
  marker.data2 = TYPE_POINT2D | ((marker.data2 >> 16) + 1) << 16;
  ++r->pos;
}

}  // namespace

bool open_series(record* r, uint32_t type, const uint8_t* at, int32_t length) {
  r->type = 0;
  if (!fire_event(r, EVENT_OPEN, datatype::make_cell(type), nullptr, at, at + length)) return false;
  push_marker(r, type, at);
  return true;
}

void end_series(record* r, uint32_t type) {
  if (r->mode.load && r->mode.store) {
    close_series(r, type);
  } else {
    int32_t marker = r->open - 1;
    r->open = static_cast<int32_t>(output[marker].data1);
    r->tail = marker;
    r->type = static_cast<int32_t>(type);
  }
}

// A top-level value is complete when no series is open and no path waits
// for an element.
bool value_complete(const record* r) { return r->open == r->head && !r->path_element; }

namespace {

void scan_tokens(record* r) {
  while (true) {
    if (r->path_element) {
      path_element(r);
    } else {
      skip_blanks(r);
      if (r->pos >= r->input_tail) break;
      switch (*r->pos) {
        case 0: r->pos = r->input_tail; return;
        case '[': open_delimiter(r, TYPE_BLOCK, 1); continue;
        case ']': close_delimiter(r, ']'); break;
        case '(':
          if (point_literal(r)) break;
          open_delimiter(r, TYPE_PAREN, 1);
          continue;
        case ')': close_delimiter(r, ')'); break;
        case ';': comment(r); continue;
        case ',': comma(r); continue;
        case '#':
          if (r->pos + 1 < r->input_tail && r->pos[1] == '[') {
            open_delimiter(r, TYPE_MAP, 2);
            continue;
          }
          value_token(r);
          break;
        default: value_token(r); break;
      }
    }
    r->prev_type = r->type;
    if ((r->mode.one || !r->mode.load) && r->type > 0 && value_complete(r)) return;
    if (r->pos >= r->input_tail && !r->path_element) break;
  }
}

// Runs the loop with the record linked into the chain; unlinks it on every
// exit.
struct chain_link {
  record* r;
  explicit chain_link(record* rec) : r(rec) {
    record* last = last_record();
    r->parent = last;
    r->head = last ? last->tail : 0;
    if (last) {
      last->next = r;
    } else {
      chain = r;
    }
    r->open = r->tail = r->head;
  }
  ~chain_link() {
    if (r->parent) {
      r->parent->next = nullptr;
    } else {
      chain = nullptr;
    }
  }
};

}  // namespace

void init() {
  static bool registered = false;
  if (!registered) {
    collector::register_root(mark_buffers);
    registered = true;
  }
  heap::free_tracked(output);
  heap::free_tracked(scratch);
  output = static_cast<cell*>(heap::alloc_tracked(OUTPUT_CELLS * static_cast<int32_t>(sizeof(cell))));
  output_size = OUTPUT_CELLS;
  scratch = static_cast<uint8_t*>(heap::alloc_tracked(SCRATCH_BYTES));
  scratch_fill = 0;
  chain = nullptr;
}

int32_t depth() {
  int32_t n = 0;
  for (record* r = chain; r; r = r->next) ++n;
  return n;
}

int32_t scan(cell* dst, const uint8_t* text, int32_t length, scan_mode mode, int32_t* consumed,
             const cell* callback, const cell* input, cell* into) {
  record rec{};
  record* r = &rec;
  r->input_head = r->pos = text;
  r->input_tail = text + std::max(length, 0);
  r->line = 1;
  r->mode = mode;
  r->callback = callback ? *callback : none::none_value;
  r->events = callback && call_trace ? events_of(callback) : 0;
  r->input = input ? *input : none::none_value;
  r->into = into;
  r->string_input = input && any_string_q(TYPE_OF(input));
  r->cache_pos = text;
  // A byte order mark at the start is no part of the text.
  if (length >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) r->pos += 3;
  chain_link link(r);
  uint32_t stopped = catch_site(FILTER_SYNTAX, [&] {
    scan_tokens(r);
    if (r->path_element) throw_error(r, r->pos - 1, TYPE_PATH);
    if (r->open > r->head) {
      const cell& marker = output[r->open - 1];
      uint32_t type = marker.data2 & 0xFFFF;
      if (type >= TYPE_PATH && type <= TYPE_GET_PATH) {
        r->closing = static_cast<int32_t>(type);
      } else {
        r->closing = static_cast<int32_t>(type == TYPE_POINT2D ? TYPE_PAREN : type);
      }
      throw_error(r, r->input_head + marker.data3, KIND_END_OPEN);
    }
  });
  if (consumed) *consumed = static_cast<int32_t>(r->pos - r->input_head);
  if (stopped) {
    system::clear_thrown();
    if (dst) *dst = none::none_value;
    return 0;
  }
  if (mode.load && mode.store && dst) {
    int32_t count = r->tail - r->head;
    if (into) {
      for (int32_t i = 0; i < (mode.one && !mode.wrap ? std::min(count, 1) : count); ++i)
        block::rs_append(into, &output[r->head + i]);
      *dst = *into;
    } else if (mode.one && !mode.wrap && count > 0) {
      *dst = output[r->head];
    } else {
      cell blk{TYPE_UNSET, 0, 0, 0};
      block::make_at(&blk, count);
      memory::series_buffer* b = memory::GET_BUFFER(&blk);
      cell* d = memory::head_of<cell>(b);
      std::memcpy(d, output + r->head, static_cast<size_t>(count) * sizeof(cell));
      memory::set_tail(b, d + count);
      *dst = blk;
    }
  }
  return r->type;
}

int32_t load_string(cell* dst, cell* s, int32_t length, scan_mode mode, int32_t* consumed,
                    const cell* callback, cell* into) {
  int32_t available = string::rs_length_q(s);
  if (length < 0 || length > available) length = available;
  memory::series_buffer* b = memory::GET_BUFFER(s);
  uint32_t unit = memory::GET_UNIT(b);
  int64_t room = static_cast<int64_t>(length) * (unit == 1 ? 2 : unit == 2 ? 3 : 4) + 1;
  if (room > INT32_MAX) fire(err::internal_no_memory);
  // The text goes to the free part of the scratch buffer, or to a block of
  // its own when it does not fit; nested scans take the part after it.
  int32_t mark = scratch_fill;
  uint8_t* text;
  uint8_t* own = nullptr;
  if (room <= SCRATCH_BYTES - scratch_fill) {
    text = scratch + scratch_fill;
  } else {
    own = static_cast<uint8_t*>(heap::try_alloc_tracked(static_cast<int32_t>(room)));
    if (!own) fire(err::internal_no_memory);
    text = own;
  }
  struct restore {
    int32_t mark;
    uint8_t* own;
    ~restore() {
      scratch_fill = mark;
      heap::free_tracked(own);
    }
  } restore_scratch{mark, own};
  int32_t bytes = unicode::encode_utf8(memory::head_of<uint8_t>(b) + static_cast<size_t>(s->data1) * unit,
                                       static_cast<int32_t>(unit), length, false, text);
  if (!own) scratch_fill += bytes + 1;
  int32_t used = 0;
  int32_t type = scan(dst, text, bytes, mode, &used, callback, s, into);
  if (consumed) *consumed = unicode::count_chars(text, text + used);
  return type;
}

cell* load_text(cell* dst, const char* text, int32_t length) {
  scan(dst, reinterpret_cast<const uint8_t*>(text), length, scan_mode{}, nullptr, nullptr, nullptr, nullptr);
  return dst;
}

}  // namespace ixo::lexer
