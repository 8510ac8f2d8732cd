// The routines of system/view/platform that the text UI supplies, and the
// text metrics behind size-text and text-box-metrics. Faces are read by
// field index (face!: 0 type, 2 size, 3 text, 15 state; font!: 7 state).
// Each routine reads its arguments from the argument base and leaves its
// answer in the result slot; routines with nothing to answer answer none.
#include "gui/tui/os_layer.hpp"

#include "gui/tui/frame_loop.hpp"
#include "gui/tui/screen.hpp"
#include "gui/tui/widgets.hpp"
#include "gui/tui/tty.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/datatype.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/handle.hpp"
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
#include "runtime/interpreter/natives_system.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::tui::os {

namespace {

// Fields of font! and para!, by index (face! fields: widgets.hpp).
constexpr int32_t FONT_STATE = 7, FONT_PARENT = 8, PARA_PARENT = 6;
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

// Lays the text out as text_size measures it (without escapes, as
// rich-text runs are drawn) and calls `at` with the 0-based index of every
// character and its place, then once more with the index past the last
// character and the place after it.
template <class Visit>
void lay_out(const cell* text, int32_t wrap_at, Visit&& at) {
  int32_t length = string::rs_length_q(text);
  int32_t start = static_cast<int32_t>(text->data1);
  int32_t column = 0, line = 0;
  for (int32_t i = 0; i < length; ++i) {
    uint32_t cp = string::rs_abs_at(text, start + i);
    if (cp == '\n') {
      at(i, place{column, line});
      ++line;
      column = 0;
      continue;
    }
    int32_t w = char_columns(static_cast<int32_t>(cp));
    if (wrap_at > 0 && column > 0 && column + w > wrap_at) {
      ++line;
      column = 0;
    }
    at(i, place{column, line});
    column += w;
  }
  at(length, place{column, line});
}

// The size of a string: columns of the widest line, and lines.
cell size_cell(const cell* text, int32_t wrap_at, bool escapes) {
  size2 s = text_size(string_units(text), wrap_at, escapes);
  return point2D::make_cell(static_cast<float>(s.width), static_cast<float>(s.height));
}

bool rich_text_q(const cell* face) {
  static const int32_t rich_text = symbol::make("rich-text");
  const cell* type = field(face, FACE_TYPE);
  return TYPE_OF(type) == TYPE_WORD && symbol::EQUAL_WORDS_q(type, rich_text);
}

bool window_type_q(const cell* face) {
  static const int32_t window = symbol::make("window");
  const cell* type = field(face, FACE_TYPE);
  return TYPE_OF(type) == TYPE_WORD && symbol::EQUAL_WORDS_q(type, window);
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
    int32_t w = cp == 0 || cp == '\n' ? 1 : char_columns(static_cast<int32_t>(cp));
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

// The terminal's colour depth as the language side's helper reads it from
// the environment: 4 true colour, else 2.
int32_t color_support() {
  cell* top = stack::top;
  bool called = call_tui_helper("check-color-support", 0);
  bool true_colour = called && TYPE_OF(top) == TYPE_INTEGER && integer::get(top) == 4;
  stack::top = top;
  return true_colour ? 4 : 2;
}

// start-backend: the backend's own state, then its description.
void start_backend() {
  loop::reset();
  read_size();
  tui::screen.color_support = color_support();
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
  // Faces draw their text with its escape sequences read, rich-text as is.
  bool escapes = !rich_text_q(argument(0));
  cell* text = argument(1);
  switch (TYPE_OF(text)) {
    case TYPE_NONE: text = field(argument(0), FACE_TEXT); break;
    case TYPE_STRING: break;
    default: fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(text))});
  }
  if (TYPE_OF(text) != TYPE_STRING) return answer_none();
  answer(size_cell(text, 0, escapes));
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
    case 3: return answer(size_cell(text, wrap_at, false));
    default: return answer(integer::make_cell(text_size(string_units(text), wrap_at, false).height));
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

// Calls TUI-helpers' requester of the name with five arguments: the
// title, the second, none, the fourth and the fifth.
void call_requester(const char* name, const cell* title, const cell* second, const cell* fourth, const cell* fifth) {
  cell none{TYPE_NONE, 0, 0, 0};
  cell args[5] = {*title, *second, none, *fourth, *fifth};
  for (const cell& a : args) stack::push(a);
  if (!call_tui_helper(name, 5)) return answer_none();
  answer(*stack::top_cell());
}

// request-file title name filter save? multi?
void request_file() {
  call_requester("request-file", argument(0), argument(1), argument(3), argument(4));
}

// request-dir title dir filter keep? multi?
void request_dir() {
  cell none{TYPE_NONE, 0, 0, 0};
  call_requester("request-dir", argument(0), &none, argument(3), argument(4));
}

// fetch-all-screens, update-text, update-scroller, set-dark-mode,
// toggle-GPU, draw-face: a terminal has nothing to do for them.
void nothing() { answer_none(); }

void support_dark_mode_q() { answer(logic::make_cell(false)); }

// ---- Views ---------------------------------------------------------------------

constexpr int32_t BIT_OFFSET = 1 << FACE_OFFSET, BIT_SIZE = 1 << FACE_SIZE, BIT_TEXT = 1 << FACE_TEXT,
                  BIT_SELECTED = 1 << FACE_SELECTED, BIT_RATE = 1 << FACE_RATE;

bool in_active_window_q(widget_ref w) {
  window_record* r = window_of(w);
  return r && !windows.empty() && r == &windows.back();
}

// The widget of a handle!, 0 when it names none.
widget_ref widget_of_handle(const cell* h) {
  if (TYPE_OF(h) != TYPE_HANDLE) return 0;
  widget_ref w = static_cast<widget_ref>(h->data2);
  return w > 0 && widget_at(w).live ? w : 0;
}

// The state block's change bits cell, or null.
cell* change_bits(const cell* face) {
  cell* state = field(face, FACE_STATE);
  if (TYPE_OF(state) != TYPE_BLOCK || block::rs_length_q(state) < 2) return nullptr;
  cell* bits = block::rs_abs_at(state, static_cast<int32_t>(state->data1) + 1);
  return TYPE_OF(bits) == TYPE_INTEGER ? bits : nullptr;
}

// make-view face parent
void make_view() {
  cell face = *argument(0);
  memory::root_guard keep(&face);
  widget_ref parent = widget_of_handle(argument(1));
  // The node writes its handle into the state block, where the helpers
  // that build its texts find it; `show` replaces the block afterwards.
  cell* state = field(&face, FACE_STATE);
  if (TYPE_OF(state) != TYPE_BLOCK) {
    cell* blk = block::push_only(4);
    cell h{}, zero = integer::make_cell(0), none{TYPE_NONE, 0, 0, 0}, no = logic::make_cell(false);
    handle::make_at(&h, 0, 0);
    for (const cell* v : {&h, &zero, &none, &no}) block::rs_append(blk, v);
    *field(&face, FACE_STATE) = *blk;
    stack::pop(1);
  }
  // The face keeps its offset as a point2D!; a window's is 0x0, as the
  // terminal shows every window at its top-left.
  cell* offset = field(&face, FACE_OFFSET);
  if (TYPE_OF(offset) == TYPE_PAIR)
    *offset = point2D::make_cell(static_cast<float>(pair::x_of(offset)), static_cast<float>(pair::y_of(offset)));
  if (window_type_q(&face)) *field(&face, FACE_OFFSET) = pair::make_cell(0, 0);
  widget_ref w = make_widget(&face, parent);
  // A window that has no focused widget yet keeps its first focusable one
  // for the focus, which it gets (with its `focus` event) when the window
  // is shown.
  window_record* record = window_of(w);
  if (record && record->focused == record->window && w != record->window && (widget_at(w).flags & WF_FOCUSABLE))
    choose_focus(w);
  const cell* rate = field(&face, FACE_RATE);
  if (TYPE_OF(rate) != TYPE_NONE) {
    try {
      loop::set_rate(w, rate);
    } catch (...) {
      destroy_widget(w);
      throw;
    }
  }
  cell h{};
  widget_handle(&h, w);
  answer(h);
}

void update_face(const cell* face) {
  cell* state = field(face, FACE_STATE);
  if (TYPE_OF(state) != TYPE_BLOCK) return;
  widget_ref w = widget_of_handle(block::rs_abs_at(state, static_cast<int32_t>(state->data1)));
  cell* bits_cell = change_bits(face);
  int32_t bits = bits_cell ? integer::get(bits_cell) : 0;
  if (!w) return;
  if (bits & BIT_RATE) loop::set_rate(w, field(face, FACE_RATE));
  sync_widget(w);
  widget& node = widget_at(w);
  if (node.kind == KIND_WINDOW) {
    if (window_record* r = window_of(w)) {
      r->x2 = std::max(r->x2, node.x2 - node.x1);
      r->y2 = std::max(r->y2, node.y2 - node.y1);
    }
    if (bits & BIT_SELECTED) {
      widget_ref target = face_handle_q(field(face, FACE_SELECTED));
      loop::set_focus(target ? target : w);
    }
  }
  if ((bits_cell = change_bits(face))) *bits_cell = integer::make_cell(0);
  // The list and progress helpers write the face's text: a change of the
  // text alone does not build it again.
  if (bits & ~BIT_TEXT) update_widget(w);
  if (in_active_window_q(w)) screen.redraw = true;
}

// update-view face: a face, or a block of faces.
void update_view() {
  cell* arg = argument(0);
  if (TYPE_OF(arg) == TYPE_BLOCK) {
    int32_t count = 0;
    const cell* items = block::values_of(arg, count);
    for (int32_t i = 0; i < count; ++i)
      if (TYPE_OF(&items[i]) != TYPE_OBJECT) fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(&items[i]))});
    for (int32_t i = 0; i < count; ++i) {
      cell face = *block::rs_abs_at(arg, static_cast<int32_t>(arg->data1) + i);
      memory::root_guard keep(&face);
      update_face(&face);
    }
  } else if (TYPE_OF(arg) == TYPE_OBJECT) {
    static const int32_t screen_sym = symbol::make("screen");
    const cell* type = field(arg, FACE_TYPE);
    if (!(TYPE_OF(type) == TYPE_WORD && symbol::EQUAL_WORDS_q(type, screen_sym))) {
      cell face = *arg;
      memory::root_guard keep(&face);
      update_face(&face);
    }
  } else {
    fire(err::script_invalid_type, {datatype::make_cell(TYPE_OF(arg))});
  }
  answer_none();
}

// on-change-facet owner word value action new index part
void on_change_facet() {
  cell face = *argument(0);
  memory::root_guard keep(&face);
  static const int32_t data_sym = symbol::make("data");
  widget_ref w = face_handle_q(&face);
  if (w && widget_at(w).kind == KIND_TEXT_LIST && symbol::EQUAL_WORDS_q(argument(1), data_sym) &&
      TYPE_OF(field(&face, FACE_DATA)) == TYPE_BLOCK) {
    int32_t index = TYPE_OF(argument(5)) == TYPE_INTEGER ? integer::get(argument(5)) : 0;
    widget& node = widget_at(w);
    if (index < node.top) node.top = std::max(0, index);
  }
  update_face(&face);
  answer_none();
}

// Removes the face from the `parent` block of a font or para object.
void detach_from(cell* sub, int32_t parent_field, const cell* face, bool font) {
  if (TYPE_OF(sub) != TYPE_OBJECT) return;
  cell* parents = field(sub, parent_field);
  if (TYPE_OF(parents) != TYPE_BLOCK) return;
  int32_t count = 0;
  const cell* items = block::values_of(parents, count);
  for (int32_t i = 0; i < count; ++i)
    if (TYPE_OF(&items[i]) == TYPE_OBJECT && items[i].data1 == face->data1) {
      // Close up over it; nothing here allocates.
      int32_t total = static_cast<int32_t>(parents->data1) + count;
      for (int32_t k = static_cast<int32_t>(parents->data1) + i; k + 1 < total; ++k)
        *block::rs_abs_at(parents, k) = *block::rs_abs_at(parents, k + 1);
      block::rs_truncate(parents, total - 1);
      break;
    }
  if (font && block::rs_length_q(parents) == 0) *field(sub, FONT_STATE) = cell{TYPE_NONE, 0, 0, 0};
}

void destroy_tree(cell* face) {
  widget_ref w = face_handle_q(face);
  if (!w) return;
  if (TYPE_OF(field(face, FACE_RATE)) != TYPE_NONE) loop::remove_timer(w);
  detach_from(field(face, FACE_FONT), FONT_PARENT, face, true);
  detach_from(field(face, FACE_PARA), PARA_PARENT, face, false);
  cell* pane = field(face, FACE_PANE);
  if (TYPE_OF(pane) == TYPE_BLOCK) {
    cell children = *pane;
    memory::root_guard keep(&children);
    int32_t count = block::rs_length_q(&children);
    for (int32_t i = 0; i < count; ++i) {
      cell* child = block::rs_abs_at(&children, static_cast<int32_t>(children.data1) + i);
      if (!child || TYPE_OF(child) != TYPE_OBJECT) continue;
      cell c = *child;
      memory::root_guard keep_child(&c);
      destroy_tree(&c);
    }
  }
  loop::forget_widget(w);
  destroy_widget(w);
  *field(face, FACE_STATE) = cell{TYPE_NONE, 0, 0, 0};
}

// destroy-view face empty?
void destroy_view() {
  cell face = *argument(0);
  memory::root_guard keep(&face);
  widget_ref w = face_handle_q(&face);
  bool window = w && widget_at(w).kind == KIND_WINDOW;
  destroy_tree(&face);
  // Closing a window ends the loop level that shows it.
  if (window) {
    loop::post_quit_msg();
    if (!windows.empty()) screen.redraw = true;
  }
  answer_none();
}

// redraw face
void redraw() {
  widget_ref w = face_handle_q(argument(0));
  if (w && in_active_window_q(w)) screen.redraw = true;
  answer_none();
}

// refresh-window h
void refresh_window() {
  widget_ref w = widget_of_handle(argument(0));
  if (w && in_active_window_q(w)) screen.redraw = true;
  answer_none();
}

// show-window id: the window becomes the active one.
void show_window() {
  widget_ref w = widget_of_handle(argument(0));
  window_record* r = w ? window_of(w) : nullptr;
  if (r) {
    window_record moved = *r;
    windows.erase(windows.begin() + (r - windows.data()));
    windows.push_back(moved);
    widget_ref target = moved.focused && widget_at(moved.focused).live ? moved.focused : moved.window;
    loop::set_focus(target);
    if (moved.cursor_widgets == 0 && screen.active) hide_cursor();
    loop::forget_pointer();
    screen.redraw = true;
  }
  answer_none();
}

// do-event-loop no-wait?
void do_event_loop() {
  bool no_wait = TYPE_OF(argument(0)) == TYPE_LOGIC && argument(0)->data1 != 0;
  bool got = loop::do_events(no_wait);
  answer(logic::make_cell(got));
}

// exit-event-loop
void exit_event_loop() {
  loop::post_quit_msg();
  answer_none();
}

}  // namespace

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
  routine::register_entry("make-view", make_view);
  routine::register_entry("update-view", update_view);
  routine::register_entry("on-change-facet", on_change_facet);
  routine::register_entry("destroy-view", destroy_view);
  routine::register_entry("redraw", redraw);
  routine::register_entry("refresh-window", refresh_window);
  routine::register_entry("show-window", show_window);
  routine::register_entry("do-event-loop", do_event_loop);
  routine::register_entry("exit-event-loop", exit_event_loop);
  natives::wait_step = loop::do_events_no_wait;
  for (const char* name : {"fetch-all-screens", "update-text", "update-scroller", "set-dark-mode", "toggle-GPU",
                           "draw-face"})
    routine::register_entry(name, nothing);
}

}  // namespace ixo::tui::os
