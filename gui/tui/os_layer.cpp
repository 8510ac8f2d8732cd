// The routines of system/view/platform that the text UI supplies, and the
// text metrics behind size-text and text-box-metrics. Faces are read by
// field index (face!: 0 type, 2 size, 3 text, 15 state; font!: 7 state).
// Each routine reads its arguments from the argument base and leaves its
// answer in the result slot; routines with nothing to answer answer none.
#include "gui/tui/os_layer.hpp"

#include "gui/tui/screen.hpp"
#include "gui/tui/tty.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::tui::os {

namespace {

// Fields of face! and font!, by index.
constexpr int32_t FACE_TYPE = 0, FACE_SIZE = 2, FACE_TEXT = 3, FACE_STATE = 15;
constexpr int32_t FONT_STATE = 7;
// The change bit of face!'s `para`.
constexpr int32_t PARA_BIT = 1 << 18;

cell* argument(int32_t i) { return stack::arguments + i; }
cell* field(const cell* obj, int32_t i) { return object::get_values(obj) + i; }
void answer(const cell& value) { *stack::arguments = value; }
void answer_none() { answer(cell{TYPE_NONE, 0, 0, 0}); }

int32_t width_of(const cell* size) {
  switch (TYPE_OF(size)) {
    case TYPE_PAIR: return pair::x_of(size);
    case TYPE_POINT2D: return static_cast<int32_t>(point2D::coordinate(size, 0));
    default: return 0;
  }
}

// One character's place in a laid-out text.
struct place {
  int32_t column, line;
};

// Lays the text out as measure_text does and calls `at` with the 0-based
// index of every character and its place, then once more with the index
// past the last character and the place after it.
template <class Visit>
text_size lay_out(const cell* text, int32_t wrap_at, Visit&& at) {
  int32_t length = string::rs_length_q(text);
  int32_t start = static_cast<int32_t>(text->data1);
  int32_t column = 0, line = 0, widest = 0;
  for (int32_t i = 0; i < length; ++i) {
    uint32_t cp = string::rs_abs_at(text, start + i);
    if (cp == '\n') {
      at(i, place{column, line});
      ++line;
      column = 0;
      continue;
    }
    int32_t w = unicode::char_width(cp);
    if (wrap_at > 0 && column > 0 && column + w > wrap_at) {
      ++line;
      column = 0;
    }
    at(i, place{column, line});
    column += w;
    if (column > widest) widest = column;
  }
  at(length, place{column, line});
  return {widest, line + 1};
}

bool rich_text_q(const cell* face) {
  static const int32_t rich_text = symbol::make("rich-text");
  const cell* type = field(face, FACE_TYPE);
  return TYPE_OF(type) == TYPE_WORD && symbol::EQUAL_WORDS_q(type, rich_text);
}

// The caret place before the 1-based character index.
place caret_place(const cell* text, int32_t wrap_at, int32_t index) {
  place found{0, 0};
  int32_t wanted = index < 1 ? 0 : index - 1;
  lay_out(text, wrap_at, [&](int32_t i, place p) {
    if (i <= wanted) found = p;
  });
  return found;
}

// The 1-based index of the character at the point; past the end of a line
// the index after its last character; below the last line the index past
// the text.
int32_t index_at(const cell* text, int32_t wrap_at, int32_t x, int32_t y) {
  int32_t found = -1;
  int32_t last_on_line = -1;  // index after the last character met on line y
  lay_out(text, wrap_at, [&](int32_t i, place p) {
    if (found >= 0 || p.line != y) return;
    uint32_t cp = i < string::rs_length_q(text) ? string::rs_abs_at(text, static_cast<int32_t>(text->data1) + i) : 0;
    int32_t w = cp == 0 || cp == '\n' ? 1 : unicode::char_width(cp);
    if (x < p.column + (w > 0 ? w : 1)) found = i;
    last_on_line = i;
  });
  if (found < 0) found = last_on_line >= 0 ? last_on_line : string::rs_length_q(text);
  return found + 1;
}

bool point_of(const cell* value, int32_t& x, int32_t& y) {
  switch (TYPE_OF(value)) {
    case TYPE_PAIR: x = pair::x_of(value), y = pair::y_of(value); return true;
    case TYPE_POINT2D:
      x = static_cast<int32_t>(point2D::coordinate(value, 0));
      y = static_cast<int32_t>(point2D::coordinate(value, 1));
      return true;
    default: return false;
  }
}

// ---- Routines ----------------------------------------------------------------

// start-backend: the backend's own state, then its description.
void start_backend() {
  tui::screen.color_support = 2;
  read_size();
  // [version build product]
  cell version{};
  tuple::make_rgba(&version, 10, 10, 10, -1);
  cell* blk = block::push_only(3);
  block::rs_append(blk, &version);
  cell build = integer::make_cell(1000), product = integer::make_cell(0);
  block::rs_append(blk, &build);
  block::rs_append(blk, &product);
  answer(*blk);
}

// get-screen-size id
void get_screen_size() {
  read_size();
  answer(pair::make_cell(tui::screen.columns, tui::screen.rows));
}

// size-text face value
void size_text() {
  cell* text = argument(1);
  switch (TYPE_OF(text)) {
    case TYPE_NONE: text = field(argument(0), FACE_TEXT); break;
    case TYPE_STRING: break;
    default: fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(text))});
  }
  if (TYPE_OF(text) != TYPE_STRING) return answer_none();
  text_size s = measure_text(text, 0);
  answer(point2D::make_cell(static_cast<float>(s.columns), static_cast<float>(s.lines)));
}

// text-box-metrics box arg0 type
void text_box_metrics() {
  cell* face = argument(0);
  if (!rich_text_q(face)) fire(err::script_face_type, {*field(face, FACE_TYPE)});
  const cell* text = field(face, FACE_TEXT);
  if (TYPE_OF(text) != TYPE_STRING) return answer_none();
  int32_t wrap_at = width_of(field(face, FACE_SIZE));
  const cell* value = argument(1);
  int32_t type = TYPE_OF(argument(2)) == TYPE_INTEGER ? integer::get(argument(2)) : 4;
  int32_t x = 0, y = 0;
  switch (type) {
    case 0:
    case 6: {
      int32_t index = TYPE_OF(value) == TYPE_INTEGER ? integer::get(value) : 1;
      place p = caret_place(text, wrap_at, index);
      return answer(point2D::make_cell(static_cast<float>(p.column), static_cast<float>(p.line + (type == 6))));
    }
    case 1:
    case 5: {
      point_of(value, x, y);
      int32_t index = index_at(text, wrap_at, x, y);
      if (type == 5 && index > string::rs_length_q(text)) --index;
      return answer(integer::make_cell(index));
    }
    case 2: return answer(float_::make_cell(1.0));
    case 3: {
      text_size s = measure_text(text, wrap_at);
      return answer(point2D::make_cell(static_cast<float>(s.columns), static_cast<float>(s.lines)));
    }
    default: return answer(integer::make_cell(measure_text(text, wrap_at).lines));
  }
}

// update-font font flags: a change of the fields up to `color`, or of
// `anti-alias?`, makes the backend forget the font's state.
void update_font() {
  int32_t flags = TYPE_OF(argument(1)) == TYPE_INTEGER ? integer::get(argument(1)) : -1;
  if ((flags >= 0 && flags <= 3) || flags == 5) *field(argument(0), FONT_STATE) = cell{TYPE_NONE, 0, 0, 0};
  answer_none();
}

// update-para face flags: the face's `para` is marked as changed.
void update_para() {
  cell* state = field(argument(0), FACE_STATE);
  if (TYPE_OF(state) == TYPE_BLOCK && block::rs_length_q(state) >= 2) {
    cell* bits = block::rs_abs_at(state, static_cast<int32_t>(state->data1) + 1);
    if (TYPE_OF(bits) == TYPE_INTEGER) *bits = integer::make_cell(integer::get(bits) | PARA_BIT);
  }
  answer_none();
}

// detach-image img
void detach_image() {
  ownership::unbind(argument(0));
  answer_none();
}

// request-font font selected mono?: a terminal has one font.
void request_font() { answer(*argument(0)); }

// Calls TUI-helpers' requester of the name with five arguments.
void call_requester(const char* name, const cell* second, const cell* fourth, const cell* fifth) {
  cell* helpers = context::get_global(symbol::make("TUI-helpers"));
  cell requester{TYPE_NONE, 0, 0, 0};
  if (helpers && TYPE_OF(helpers) == TYPE_OBJECT) {
    int32_t sym = symbol::make(name);
    if (context::find_word(helpers->data1, sym, true) >= 0) requester = *context::get_in(sym, helpers->data1);
  }
  if (TYPE_OF(&requester) != TYPE_FUNCTION) return answer_none();
  memory::root_guard keep(&requester);
  cell none{TYPE_NONE, 0, 0, 0};
  cell args[5] = {none, *second, none, *fourth, *fifth};
  for (const cell& a : args) stack::push(a);
  cell word = cell{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make(name)), 0};
  interpreter::call_value(&requester, &word, 5, interpreter::CALLBACK_NONE);
  answer(*stack::top_cell());
}

// request-file title name filter save? multi?
void request_file() {
  call_requester("request-file", argument(1), argument(3), argument(4));
}

// request-dir title dir filter keep? multi?
void request_dir() {
  cell none{TYPE_NONE, 0, 0, 0};
  call_requester("request-dir", &none, argument(3), argument(4));
}

// fetch-all-screens, update-text, update-scroller, set-dark-mode,
// toggle-GPU, draw-face: a terminal has nothing to do for them.
void nothing() { answer_none(); }

void support_dark_mode_q() { answer(logic::make_cell(false)); }

}  // namespace

text_size measure_text(const cell* text, int32_t wrap_at) {
  return lay_out(text, wrap_at, [](int32_t, place) {});
}

void read_size() {
  int32_t columns = 0, rows = 0;
  if (!tty::window_size(columns, rows)) columns = 80, rows = 24;
  tui::screen.columns = columns;
  tui::screen.rows = rows;
}

void init_routines() {
  routine::register_entry("start-backend", start_backend);
  routine::register_entry("get-screen-size", get_screen_size);
  routine::register_entry("size-text", size_text);
  routine::register_entry("text-box-metrics", text_box_metrics);
  routine::register_entry("update-font", update_font);
  routine::register_entry("update-para", update_para);
  routine::register_entry("detach-image", detach_image);
  routine::register_entry("request-font", request_font);
  routine::register_entry("request-file", request_file);
  routine::register_entry("request-dir", request_dir);
  routine::register_entry("support-dark-mode?", support_dark_mode_q);
  for (const char* name : {"fetch-all-screens", "update-text", "update-scroller", "set-dark-mode", "toggle-GPU",
                           "draw-face"})
    routine::register_entry(name, nothing);
}

}  // namespace ixo::tui::os
