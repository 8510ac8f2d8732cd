// Widgets: the widget table, flags and geometry, the text renderer, the
// common painter, the per-type behaviour (window, base, field, button,
// progress, text-list, rich-text, group-box, check, radio), half-block
// images, the frame's render, and the TUI helper routines. The helper
// texts of progress bars, lists, check boxes and radio buttons come from
// the Ixo functions of `TUI-helpers`.
#include "gui/tui/widgets.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "gui/tui/draw.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/core/ownership.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/char.hpp"
#include "runtime/datatypes/handle.hpp"
#include "runtime/datatypes/image.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/pair.hpp"
#include "runtime/datatypes/point2d.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/collector.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::tui {

std::vector<window_record> windows;
event_sender send_event = nullptr;

namespace {

// The widget table: slot 0 stays unused so that 0 means none.
std::vector<widget> table(1);
std::vector<widget_ref> free_slots;

constexpr cell NONE_CELL{TYPE_NONE, 0, 0, 0};

// The words the backend compares with, interned once per runtime before
// any face's values are read: interning a new word allocates, and an
// allocation moves the buffers those values live in.
constexpr const char* WORDS[] = {
    "all-over", "focusable", "tri-state", "scrollable", "password", "no-sync", "fullscreen", "popup", "modal",
    "resize", "no-buttons", "no-max", "no-min", "no-title", "no-border", "window", "base", "field", "button",
    "progress", "text-list", "rich-text", "group-box", "check", "radio", "hint", "caret", "border-corners",
    "border-color", "round", "center", "right", "middle", "bottom", "text"};
int32_t word_ids[std::size(WORDS)];
bool words_ready = false;

void intern_words() {
  if (words_ready) return;
  for (size_t i = 0; i < std::size(WORDS); ++i) word_ids[i] = symbol::make(WORDS[i]);
  words_ready = true;
}

int32_t sym(const char* name) {
  for (size_t i = 0; i < std::size(WORDS); ++i)
    if (WORDS[i] == name || std::strcmp(WORDS[i], name) == 0) return word_ids[i];
  return 0;
}
bool word_is_q(const cell* c, const char* name) {
  return (TYPE_OF(c) == TYPE_WORD || TYPE_OF(c) == TYPE_LIT_WORD) && symbol::EQUAL_WORDS_q(c, sym(name));
}
bool true_q(const cell* c) { return TYPE_OF(c) == TYPE_LOGIC && c->data1 != 0; }
bool string_q(const cell* c) { return TYPE_OF(c) == TYPE_STRING; }

// The value after the key word in an options block, or null.
const cell* option(const cell* values, const char* key) {
  const cell* options = values + FACE_OPTIONS;
  if (TYPE_OF(options) != TYPE_BLOCK) return nullptr;
  int32_t count = 0;
  const cell* v = block::values_of(options, count);
  int32_t id = sym(key);
  for (int32_t i = 0; i + 1 < count; i += 2) {
    uint32_t t = TYPE_OF(&v[i]);
    if ((t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD) && symbol::EQUAL_WORDS_q(&v[i], id))
      return &v[i + 1];
  }
  return nullptr;
}

// A field of an object!, or null when the value is no object or too short.
const cell* object_field(const cell* obj, int32_t index) {
  if (TYPE_OF(obj) != TYPE_OBJECT || object::count_words(obj) <= index) return nullptr;
  return object::get_values(obj) + index;
}

uint32_t tuple_color(const cell* c) {
  return c && TYPE_OF(c) == TYPE_TUPLE ? rgb_to_256(color_value(c)) : COLOR_DEFAULT;
}

void mark_widgets() {
  for (widget& w : table) {
    if (!w.live) continue;
    collector::mark_values(&w.face, &w.face + 1);
    collector::mark_values(&w.text, &w.text + 1);
  }
}

// Calls TUI-helpers/<name> on the widget's face; the result is dropped.
void call_helper(widget_ref w, const char* name) {
  cell* top = stack::top;
  stack::push(widget_at(w).face);
  call_tui_helper(name, 1);
  stack::top = top;
}

}  // namespace

bool call_tui_helper(const char* name, int32_t count) {
  // Both names are interned before any value is read (interning may allocate).
  cell word{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make(name)), 0};
  int32_t helpers_word = symbol::make("TUI-helpers");
  const cell* helpers = context::get_global(helpers_word);
  const cell* found = helpers && TYPE_OF(helpers) == TYPE_OBJECT ? object::select_word(helpers, &word) : nullptr;
  if (!found || TYPE_OF(found) != TYPE_FUNCTION) {
    stack::top -= count;
    return false;
  }
  cell function = *found;
  memory::root_guard keep(&function);
  interpreter::call_value(&function, &word, count, interpreter::CALLBACK_NONE);
  return true;
}

// ---- Nodes ---------------------------------------------------------------------

widget& widget_at(widget_ref w) { return table[static_cast<size_t>(w)]; }

cell* face_values(widget_ref w) { return object::get_values(&widget_at(w).face); }

widget_ref face_handle_q(const cell* face) {
  const cell* state = object_field(face, FACE_STATE);
  if (!state || TYPE_OF(state) != TYPE_BLOCK) return 0;
  int32_t count = 0;
  const cell* v = block::values_of(state, count);
  if (count < 1 || TYPE_OF(v) != TYPE_HANDLE) return 0;
  auto w = static_cast<widget_ref>(v->data2);
  return w > 0 && static_cast<size_t>(w) < table.size() && table[static_cast<size_t>(w)].live ? w : 0;
}

void widget_handle(cell* target, widget_ref w) { handle::make_at(target, static_cast<uint32_t>(w), 0); }

uint32_t get_flags(const cell* facet) {
  intern_words();
  struct flag_word {
    const char* name;
    uint32_t bit;
  };
  static constexpr flag_word FLAG_WORDS[] = {
      {"all-over", FF_ALL_OVER},   {"focusable", FF_FOCUSABLE},   {"tri-state", FF_TRI_STATE},
      {"scrollable", FF_SCROLLABLE}, {"password", FF_PASSWORD},   {"no-sync", FF_NO_SYNC},
      {"fullscreen", FF_FULLSCREEN}, {"popup", FF_POPUP},         {"modal", FF_MODAL},
      {"resize", FF_RESIZE},       {"no-buttons", FF_NO_BUTTONS}, {"no-max", FF_NO_MAX},
      {"no-min", FF_NO_MIN},       {"no-title", FF_NO_TITLE},     {"no-border", FF_NO_BORDER}};
  auto bit_of = [](const cell* word) -> uint32_t {
    for (const flag_word& f : FLAG_WORDS)
      if (symbol::EQUAL_WORDS_q(word, sym(f.name))) return f.bit;
    fire(err::script_invalid_arg, {*word});
  };
  if (TYPE_OF(facet) == TYPE_WORD || TYPE_OF(facet) == TYPE_LIT_WORD) return bit_of(facet);
  if (TYPE_OF(facet) != TYPE_BLOCK) return 0;
  int32_t count = 0;
  const cell* v = block::values_of(facet, count);
  uint32_t bits = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (TYPE_OF(&v[i]) != TYPE_WORD && TYPE_OF(&v[i]) != TYPE_LIT_WORD) fire(err::script_invalid_arg, {v[i]});
    bits |= bit_of(&v[i]);
  }
  return bits;
}

namespace {

widget_kind kind_of_type(const cell* type) {
  struct kind_name {
    const char* name;
    widget_kind kind;
  };
  static constexpr kind_name KINDS[] = {
      {"window", KIND_WINDOW},       {"base", KIND_BASE},       {"field", KIND_FIELD},
      {"button", KIND_BUTTON},       {"progress", KIND_PROGRESS}, {"text-list", KIND_TEXT_LIST},
      {"rich-text", KIND_RICH_TEXT}, {"group-box", KIND_GROUP_BOX}, {"check", KIND_CHECK},
      {"radio", KIND_RADIO}};
  for (const kind_name& k : KINDS)
    if (word_is_q(type, k.name)) return k.kind;
  return KIND_OTHER;
}

// The face's image as cells of two pixels each, the upper one as
// background and the lower one as foreground of a lower half block; a
// cell whose two pixels are transparent has code 0 and is skipped.
void build_image(widget& node, const cell* img) {
  node.image.clear();
  node.image_width = 0;
  if (TYPE_OF(img) != TYPE_IMAGE) return;
  int32_t width = image::width_of(img), height = image::height_of(img);
  const uint32_t* pixels = image::pixels_of(img);
  bool true_color = screen.color_support == 4;
  auto color_of = [true_color](uint32_t p) {
    uint32_t r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
    return true_color ? rgb_color(r, g, b) : rgb_to_256(r | g << 8 | b << 16);
  };
  node.image_width = width;
  node.image.resize(static_cast<size_t>(width) * ((height + 1) / 2));
  for (int32_t row = 0; row < (height + 1) / 2; ++row)
    for (int32_t column = 0; column < width; ++column) {
      uint32_t upper = pixels[static_cast<size_t>(2 * row) * width + column];
      uint32_t lower = 2 * row + 1 < height ? pixels[static_cast<size_t>(2 * row + 1) * width + column] : 0;
      screen_cell& c = node.image[static_cast<size_t>(row) * width + column];
      if ((upper >> 24) == 0 && (lower >> 24) == 0) {
        c = {};
        continue;
      }
      // A transparent half keeps the colour of what lies beneath: marked
      // by the colour word of kind 0xFF, resolved when drawn.
      constexpr uint32_t BENEATH = 0xFF000000;
      c = {0x2584, (upper >> 24) ? color_of(upper) : BENEATH, (lower >> 24) ? color_of(lower) : BENEATH, 0};
    }
}

// Rich-text runs: one cell per character, the face colour as background
// unless it is fully transparent.
void build_runs(widget& node) {
  node.runs.clear();
  const cell* values = object::get_values(&node.face);
  if (TYPE_OF(values + FACE_DATA) != TYPE_BLOCK || !string_q(values + FACE_TEXT)) return;
  uint32_t bg = COLOR_DEFAULT;
  const cell* color = values + FACE_COLOR;
  if (TYPE_OF(color) == TYPE_TUPLE && (tuple::length_of(color) == 3 || (color_value(color) >> 24) < 255))
    bg = rgb_to_256(color_value(color) & 0xFFFFFF);
  text_units text = string_units(values + FACE_TEXT);
  node.runs.reserve(static_cast<size_t>(text.length));
  for (int32_t i = 0; i < text.length; ++i) node.runs.push_back({text.at(i), bg, COLOR_DEFAULT, 0});
  draw::apply_rich_text_styles(node.runs, values + FACE_DATA);
}

// The coordinates of a pair! or point2D!; false for any other value.
bool planar_of(const cell* v, float& x, float& y) {
  switch (TYPE_OF(v)) {
    case TYPE_PAIR:
      x = static_cast<float>(pair::x_of(v));
      y = static_cast<float>(pair::y_of(v));
      return true;
    case TYPE_POINT2D:
      x = point2D::coordinate(v, 0);
      y = point2D::coordinate(v, 1);
      return true;
    default: return false;
  }
}

}  // namespace

void sync_widget(widget_ref w) {
  intern_words();
  widget& node = widget_at(w);
  const cell* values = object::get_values(&node.face);
  uint32_t keep = node.flags & (WF_FOCUS | WF_LEFT | WF_TEXT_CURSOR | WF_CARET_OWNER);
  uint32_t flags = keep;
  const cell* offset = values + FACE_OFFSET;
  const cell* size = values + FACE_SIZE;
  // Boxes are kept in float cells: a pair! and a point2D! (as the layout
  // gives a face sized to its text, and the faces placed after it) both
  // place a widget; cell positions are taken from them by truncation.
  float x = 0, y = 0, width = 0, height = 0;
  if (node.kind != KIND_WINDOW) planar_of(offset, x, y);
  if (planar_of(size, width, height) && TYPE_OF(size) == TYPE_PAIR) flags |= WF_SIZE_PAIR;
  node.x1 = x;
  node.y1 = y;
  node.x2 = x + width;
  node.y2 = y + height;
  if (!true_q(values + FACE_VISIBLE)) flags |= WF_HIDDEN;
  if (!true_q(values + FACE_ENABLED)) flags |= WF_DISABLED;
  uint32_t face_flags = get_flags(values + FACE_FLAGS);
  if (face_flags & FF_ALL_OVER) flags |= WF_ALL_OVER;
  if (face_flags & FF_FOCUSABLE) flags |= WF_FOCUSABLE;
  if (face_flags & FF_PASSWORD) flags |= WF_PASSWORD;
  if (face_flags & FF_FULLSCREEN) flags |= WF_FULLSCREEN;
  if (node.kind == KIND_FIELD) flags |= WF_TEXT_CURSOR;
  node.flags = flags;
  build_image(node, values + FACE_IMAGE);
  if (node.kind == KIND_FIELD) {
    // The cursor stays where it was as long as the text still holds it.
    const cell* text = values + FACE_TEXT;
    text_units units = string_q(text) ? string_units(text) : text_units{nullptr, 1, 0};
    int32_t total = 0;
    for (int32_t i = 0; i < units.length; ++i) total += unicode::char_width(static_cast<uint32_t>(units.at(i)));
    node.edit.text_width = total;
    if (node.edit.index > units.length) node.edit = {units.length, total, total};
  }
}

void update_widget(widget_ref w) {
  intern_words();
  switch (widget_at(w).kind) {
    case KIND_PROGRESS: call_helper(w, "make-progress-ui"); break;
    case KIND_TEXT_LIST: call_helper(w, "make-text-list-ui"); break;
    case KIND_CHECK: call_helper(w, "make-checkbox-ui"); break;
    case KIND_RADIO: call_helper(w, "make-radio-ui"); break;
    case KIND_RICH_TEXT: build_runs(widget_at(w)); break;
    default: break;
  }
}

widget_ref make_widget(const cell* face, widget_ref parent) {
  intern_words();
  widget_ref w;
  if (!free_slots.empty()) {
    w = free_slots.back();
    free_slots.pop_back();
  } else {
    w = static_cast<widget_ref>(table.size());
    table.emplace_back();
  }
  widget& node = widget_at(w);
  node = widget{};
  node.face = *face;
  node.text = NONE_CELL;
  node.parent = parent;
  node.live = true;
  const cell* values = object::get_values(face);
  node.type = static_cast<int32_t>(values[FACE_TYPE].data2);
  node.kind = kind_of_type(values + FACE_TYPE);
  if (node.kind == KIND_WINDOW) {
    // The window shown before keeps its focused widget in its record but
    // loses the focus until it is the active window again.
    if (!windows.empty() && windows.back().focused) widget_at(windows.back().focused).flags &= ~WF_FOCUS;
    // The record comes first: the focus and the bounding box live there.
    windows.push_back({0, 0, 0, 0, w, w, 0, 0});
  }
  // The helpers that build derived texts find the widget through the face.
  if (TYPE_OF(values + FACE_STATE) == TYPE_BLOCK) {
    int32_t count = 0;
    cell* state = const_cast<cell*>(block::values_of(values + FACE_STATE, count));
    if (count > 0 && TYPE_OF(state) == TYPE_HANDLE) widget_handle(state, w);
  }
  try {
    sync_widget(w);
    update_widget(w);
  } catch (...) {
    destroy_widget(w);
    throw;
  }
  widget& made = widget_at(w);
  if (made.kind == KIND_WINDOW && (made.flags & WF_FULLSCREEN)) screen.fullscreen = true;
  if (made.kind == KIND_WINDOW) made.flags |= WF_FOCUS;
  // A base face with `caret` followed by a face: that face's widget shows
  // the text cursor at this widget's place.
  if (made.kind == KIND_BASE) {
    const cell* caret = option(face_values(w), "caret");
    if (caret && TYPE_OF(caret) == TYPE_OBJECT) {
      made.flags |= WF_CARET_OWNER;
      if (widget_ref target = face_handle_q(caret)) widget_at(target).flags |= WF_TEXT_CURSOR;
    }
  }
  if (window_record* record = window_of(w)) {
    size2 at = absolute_position(w);
    record->x2 = std::max(record->x2, static_cast<float>(at.width) + (made.x2 - made.x1));
    record->y2 = std::max(record->y2, static_cast<float>(at.height) + (made.y2 - made.y1));
    if (made.flags & WF_TEXT_CURSOR) ++record->cursor_widgets;
  }
  return w;
}

void destroy_widget(widget_ref w) {
  widget& node = widget_at(w);
  if (node.kind == KIND_WINDOW) {
    for (auto it = windows.begin(); it != windows.end(); ++it)
      if (it->window == w) {
        windows.erase(it);
        break;
      }
    if (!windows.empty()) {
      window_record& active = windows.back();
      if (active.focused && widget_at(active.focused).live) widget_at(active.focused).flags |= WF_FOCUS;
    }
  } else if (window_record* record = window_of(w)) {
    if (record->focused == w) record->focused = record->window;
  }
  node = widget{};
  free_slots.push_back(w);
}

bool has_focus_q(widget_ref w) { return w && (widget_at(w).flags & WF_FOCUS) != 0; }

window_record* window_of(widget_ref w) {
  while (w && widget_at(w).kind != KIND_WINDOW) w = widget_at(w).parent;
  if (!w) return nullptr;
  for (window_record& r : windows)
    if (r.window == w) return &r;
  return nullptr;
}

void choose_focus(widget_ref w) {
  window_record* record = window_of(w);
  if (!record) return;
  if (record->focused && widget_at(record->focused).live) widget_at(record->focused).flags &= ~WF_FOCUS;
  record->focused = w;
}

void focus_widget(widget_ref w) {
  if (!window_of(w)) return;
  choose_focus(w);
  widget_at(w).flags |= WF_FOCUS;
}

// ---- Geometry -----------------------------------------------------------------------

size2 get_size(widget_ref w) {
  const widget& node = widget_at(w);
  return {static_cast<int32_t>(node.x2 - node.x1), static_cast<int32_t>(node.y2 - node.y1)};
}

size2 absolute_position(widget_ref w) {
  float x = 0, y = 0;
  for (; w && widget_at(w).kind != KIND_WINDOW; w = widget_at(w).parent) {
    x += widget_at(w).x1;
    y += widget_at(w).y1;
  }
  return {static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

widget_ref hit_test(widget_ref w, int32_t x, int32_t y) {
  const cell* pane = face_values(w) + FACE_PANE;
  if (TYPE_OF(pane) != TYPE_BLOCK) return 0;
  int32_t count = 0;
  const cell* faces = block::values_of(pane, count);
  for (int32_t i = count - 1; i >= 0; --i) {
    widget_ref child = face_handle_q(&faces[i]);
    if (!child) continue;
    const widget& c = widget_at(child);
    if (c.flags & WF_HIDDEN) continue;
    if (c.x1 <= x && x < c.x2 && c.y1 <= y && y < c.y2) return child;
  }
  return 0;
}

rect clip_box(int32_t x, int32_t y, widget_ref w) {
  size2 size = get_size(w);
  rect box{x, y, x + size.width, y + size.height};
  const widget& node = widget_at(w);
  if (node.parent && node.kind != KIND_WINDOW) {
    // The parent lies where this widget's offset leads back to.
    box = intersect(box, clip_box(x - static_cast<int32_t>(node.x1), y - static_cast<int32_t>(node.y1), node.parent));
  }
  return intersect(box, screen_rect());
}

// ---- Text ---------------------------------------------------------------------------------

text_units string_units(const cell* s) {
  memory::series_buffer* b = memory::GET_BUFFER(s);
  auto unit = static_cast<int32_t>(memory::GET_UNIT(b));
  int64_t length = (b->tail - b->head) / unit - static_cast<int64_t>(s->data1);
  if (length < 0) length = 0;
  return {memory::head_of(b) + static_cast<size_t>(s->data1) * unit, unit, static_cast<int32_t>(length)};
}

void apply_sgr(text_style& style, int32_t code, const text_style& base) {
  static constexpr uint32_t ATTRIBUTE_OF[10] = {0,         ATTR_BOLD,    ATTR_DIM, ATTR_ITALIC, ATTR_UNDERLINE,
                                                ATTR_BLINK, 0,           ATTR_REVERSE, ATTR_CONCEAL, ATTR_STRIKE};
  if (code == 0) {
    style.fg = base.fg;
    style.bg = base.bg;
    style.attrs = base.attrs;
  } else if (code >= 1 && code <= 9) {
    style.attrs |= ATTRIBUTE_OF[code];
  } else if (code >= 21 && code <= 29) {
    style.attrs &= ~ATTRIBUTE_OF[code - 20];
    if (code == 22) style.attrs &= ~(ATTR_BOLD | ATTR_DIM);
  } else if ((code >= 30 && code <= 37) || code == 39) {
    style.fg = basic_color(code - 30);
  } else if ((code >= 40 && code <= 47) || code == 49) {
    style.bg = basic_color(code - 40);
  } else if (code >= 90 && code <= 97) {
    style.fg = basic_color(code - 80);
  } else if (code >= 100 && code <= 107) {
    style.bg = basic_color(code - 90);
  }
}

int32_t parse_csi(const text_units& text, int32_t i, text_style& style, const text_style& base) {
  ++i;  // the ESC
  if (i >= text.length || text.at(i) != '[') return i;
  ++i;
  int32_t params[3] = {0, 0, 0};
  int32_t count = 0;
  bool digits = false;
  for (; i < text.length; ++i) {
    int32_t c = text.at(i);
    if (c >= '0' && c <= '9') {
      if (count < 3) params[count] = std::min(params[count] * 10 + (c - '0'), 100000);
      digits = true;
    } else if (c == ';') {
      ++count;
      digits = false;
    } else {
      break;
    }
  }
  if (digits || count > 0) ++count;
  count = std::min(count, 3);
  if (i >= text.length) return i;
  int32_t final = text.at(i);
  if (final == 'm') {
    if (count == 0) {
      apply_sgr(style, 0, base);  // ESC [ m is a reset
    } else if (count == 3 && params[0] == 38 && params[1] == 5) {
      style.fg = xterm_color(params[2] & 0xFF);
    } else if (count == 3 && params[0] == 48 && params[1] == 5) {
      style.bg = xterm_color(params[2] & 0xFF);
    } else {
      for (int32_t k = 0; k < count; ++k) apply_sgr(style, params[k], base);
    }
  }
  // Every other final byte (cursor moves, erases) is read and ignored.
  return final >= 0x40 && final <= 0x7E ? i + 1 : i;
}

namespace {

// The layout walk shared by draw_text and draw_runs: calls put(x, y, i)
// for each drawable character i and answers nothing; `next` reads the
// character at i and may consume an escape sequence (answers the next
// position and the code point, -1 for nothing to draw).
template <class reader, class painter>
void lay_out(int32_t length, int32_t x, int32_t y, const rect& clip, bool wrap, reader next, painter put) {
  int32_t cx = x, cy = y;
  bool skipping = false;  // the rest of a line cut at the right edge
  for (int32_t i = 0; i < length && cy < clip.y2;) {
    auto [after, code] = next(i);
    i = after;
    if (code < 0) continue;
    if (code == '\n') {
      cx = x;
      ++cy;
      skipping = false;
      continue;
    }
    if (skipping) continue;
    int32_t width = code < 32 || code == 127 ? 0 : unicode::char_width(static_cast<uint32_t>(code));
    if (width == 0) continue;
    if (cx + width > clip.x2) {
      if (!wrap || cx == x) {
        skipping = true;
        continue;
      }
      cx = x;
      ++cy;
      if (cy >= clip.y2) break;
    }
    if (cy >= clip.y1) put(cx, cy, code);
    cx += width;
  }
}

}  // namespace

void draw_text(const text_units& text, int32_t x, int32_t y, const rect& clip, text_style style) {
  const text_style base = style;
  lay_out(
      text.length, x, y, clip, style.wrap,
      [&](int32_t i) -> std::pair<int32_t, int32_t> {
        int32_t c = text.at(i);
        if (c == 27 && style.escapes) return {parse_csi(text, i, style, base), -1};
        if (c == '\t') c = ' ';
        return {i + 1, c};
      },
      [&](int32_t cx, int32_t cy, int32_t code) { put_char(clip, cx, cy, code, style.fg, style.bg, style.attrs); });
}

void draw_runs(const std::vector<screen_cell>& runs, int32_t x, int32_t y, const rect& clip, bool wrap,
               uint32_t attrs) {
  size_t current = 0;
  lay_out(
      static_cast<int32_t>(runs.size()), x, y, clip, wrap,
      [&](int32_t i) -> std::pair<int32_t, int32_t> {
        current = static_cast<size_t>(i);
        return {i + 1, runs[current].code};
      },
      [&](int32_t cx, int32_t cy, int32_t code) {
        const screen_cell& r = runs[current];
        put_char(clip, cx, cy, code, r.fg, r.bg, r.attrs | attrs);
      });
}

int32_t char_columns(int32_t code) {
  if (code == '\t') return 1;
  return code < 32 || code == 127 ? 0 : unicode::char_width(static_cast<uint32_t>(code));
}

size2 text_size(const text_units& text, int32_t max_columns, bool escapes) {
  int32_t widest = 0, lines = 1, column = 0;
  text_style ignored{}, base{};
  for (int32_t i = 0; i < text.length;) {
    int32_t c = text.at(i);
    if (c == 27 && escapes) {
      i = parse_csi(text, i, ignored, base);
      continue;
    }
    ++i;
    if (c == '\n') {
      column = 0;
      ++lines;
      continue;
    }
    int32_t width = char_columns(c);
    if (max_columns > 0 && column + width > max_columns && column > 0) {
      column = 0;
      ++lines;
    }
    column += width;
    widest = std::max(widest, column);
  }
  return {widest, lines};
}

uint32_t para_flags(const cell* para) {
  intern_words();
  uint32_t bits = 0;
  if (const cell* align = object_field(para, PARA_ALIGN)) {
    if (word_is_q(align, "center")) bits |= 2;
    else if (word_is_q(align, "right")) bits |= 1;
  }
  if (const cell* v_align = object_field(para, PARA_V_ALIGN)) {
    if (word_is_q(v_align, "middle")) bits |= 4;
    else if (word_is_q(v_align, "bottom")) bits |= 8;
  }
  if (const cell* wrap = object_field(para, PARA_WRAP); wrap && true_q(wrap)) bits |= 32;
  return bits;
}

// ---- Rendering -------------------------------------------------------------------------------

namespace {

// Image cells from (x, y), wrapping at the image's width.
void draw_image(const widget& node, int32_t x, int32_t y, const rect& clip) {
  for (size_t i = 0; i < node.image.size(); ++i) {
    const screen_cell& c = node.image[i];
    if (c.code == 0) continue;
    int32_t cx = x + static_cast<int32_t>(i % static_cast<size_t>(node.image_width));
    int32_t cy = y + static_cast<int32_t>(i / static_cast<size_t>(node.image_width));
    if (!clip.contains_q(cx, cy)) continue;
    screen_cell* dest = cell_at(cx, cy);
    if (!dest) continue;
    uint32_t beneath = dest->bg;
    *dest = {c.code, c.bg == 0xFF000000 ? beneath : c.bg, c.fg == 0xFF000000 ? beneath : c.fg, 0};
  }
}

// The offset of a text of the given size inside a box, by alignment.
size2 align_text(size2 text, size2 box, uint32_t alignment) {
  int32_t spare_x = std::max(0, box.width - text.width), spare_y = std::max(0, box.height - text.height);
  return {alignment & 2 ? spare_x / 2 : alignment & 1 ? spare_x : 0,
          alignment & 4 ? spare_y / 2 : alignment & 8 ? spare_y : 0};
}

}  // namespace

void render_face(int32_t x, int32_t y, widget_ref w, uint32_t options) {
  intern_words();
  widget& node = widget_at(w);
  const cell* values = face_values(w);
  uint32_t bg = tuple_color(values + FACE_COLOR);
  uint32_t fg = tuple_color(object_field(values + FACE_FONT, FONT_COLOR));
  uint32_t alignment = para_flags(values + FACE_PARA);
  rect clip = clip_box(x, y, w);
  if (clip.empty_q()) return;
  fill_cells(clip.x1, clip.y1, clip.x2 - clip.x1, clip.y2 - clip.y1, bg);
  uint32_t attrs = options & (ATTR_DIM | ATTR_REVERSE | ATTR_MASKED);
  bool escapes = (options & RENDER_ESCAPES) != 0;
  bool wrap = (alignment & 32) != 0;
  if (!node.image.empty()) draw_image(node, x, y, clip);
  if (string_q(&node.text)) draw_text(string_units(&node.text), x, y, clip, {fg, bg, attrs, true, escapes});
  if (options & RENDER_NO_TEXT) return;
  size2 box = get_size(w);
  if (node.kind == KIND_RICH_TEXT) {
    size2 size{0, node.runs.empty() ? 0 : 1};
    int32_t column = 0;
    for (const screen_cell& r : node.runs) {
      if (r.code == '\n') {
        column = 0;
        ++size.height;
      } else {
        column += unicode::char_width(static_cast<uint32_t>(r.code));
        size.width = std::max(size.width, column);
      }
    }
    size2 at = align_text(size, box, alignment);
    draw_runs(node.runs, x + at.width, y + at.height, clip, wrap, attrs);
    return;
  }
  const cell* text = values + FACE_TEXT;
  if (!string_q(text) || string_units(text).length == 0) {
    text = option(values, "hint");
    if (!text || !string_q(text)) return;
    attrs |= ATTR_DIM;
  }
  text_units units = string_units(text);
  size2 at = align_text(text_size(units, wrap ? box.width : 0, escapes), box, alignment);
  draw_text(units, x + at.width, y + at.height, clip, {fg, bg, attrs, wrap, escapes});
}

namespace {

void render_group_box(int32_t x, int32_t y, widget_ref w) {
  render_face(x, y, w, RENDER_NO_TEXT);
  rect clip = clip_box(x, y, w);
  if (clip.empty_q()) return;
  const cell* values = face_values(w);
  const cell* corners = option(values, "border-corners");
  bool round = corners && word_is_q(corners, "round");
  const cell* border = option(values, "border-color");
  size2 size = get_size(w);
  int32_t right = x + size.width - 1, bottom = y + size.height - 1;
  auto edge = [&](int32_t cx, int32_t cy, int32_t code) {
    if (!clip.contains_q(cx, cy)) return;
    screen_cell* c = cell_at(cx, cy);
    c->code = code;
    c->attrs &= ~ATTR_CONTINUATION;
    if (border && TYPE_OF(border) == TYPE_TUPLE) c->fg = rgb_to_256(color_value(border));
  };
  for (int32_t cx = x + 1; cx < right; ++cx) {
    edge(cx, y, 0x2500);
    edge(cx, bottom, 0x2500);
  }
  for (int32_t cy = y + 1; cy < bottom; ++cy) {
    edge(x, cy, 0x2502);
    edge(right, cy, 0x2502);
  }
  edge(x, y, round ? 0x256D : 0x250C);
  edge(right, y, round ? 0x256E : 0x2510);
  edge(x, bottom, round ? 0x2570 : 0x2514);
  edge(right, bottom, round ? 0x256F : 0x2518);
  const cell* text = values + FACE_TEXT;
  if (string_q(text)) {
    uint32_t fg = tuple_color(object_field(values + FACE_FONT, FONT_COLOR));
    const screen_cell* top = cell_at(x + 1, y);
    draw_text(string_units(text), x + 1, y, intersect(clip, {x + 1, y, right, y + 1}),
              {fg, top ? top->bg : COLOR_DEFAULT, 0, false, true});
  }
}

// A base face with a caret option draws nothing: it puts the text cursor
// at its own place while the caret face has the focus.
void render_caret(int32_t x, int32_t y, widget_ref w) {
  const cell* caret = option(face_values(w), "caret");
  widget_ref target = caret && TYPE_OF(caret) == TYPE_OBJECT ? face_handle_q(caret) : 0;
  if (has_focus_q(target)) {
    screen.cursor_column = x;
    screen.cursor_row = y;
  }
}

void render_widget(int32_t x, int32_t y, widget_ref w) {
  widget& node = widget_at(w);
  uint32_t focused = has_focus_q(w) ? uint32_t{ATTR_REVERSE} : 0u;
  switch (node.kind) {
    case KIND_WINDOW: return;
    case KIND_BASE:
      if (node.flags & WF_CARET_OWNER) render_caret(x, y, w);
      else render_face(x, y, w, RENDER_ESCAPES);
      return;
    case KIND_FIELD:
      render_face(x, y, w, RENDER_ESCAPES | (node.flags & WF_PASSWORD ? uint32_t{ATTR_MASKED} : 0u));
      if (has_focus_q(w)) {
        screen.cursor_column = x + node.edit.column;
        screen.cursor_row = y;
      }
      return;
    case KIND_BUTTON: render_face(x, y, w, RENDER_ESCAPES | focused); return;
    case KIND_PROGRESS:
    case KIND_RICH_TEXT: render_face(x, y, w, 0); return;
    case KIND_GROUP_BOX: render_group_box(x, y, w); return;
    case KIND_CHECK:
    case KIND_RADIO: render_face(x, y, w, RENDER_ESCAPES | RENDER_NO_TEXT | focused); return;
    default: render_face(x, y, w, RENDER_ESCAPES); return;
  }
}

}  // namespace

void render_tree(int32_t x, int32_t y, widget_ref w) {
  intern_words();
  const widget& node = widget_at(w);
  if (node.flags & WF_HIDDEN) return;
  render_widget(x, y, w);
  // The face's draw block, over its area, before its children.
  cell commands = face_values(w)[FACE_DRAW];
  if (TYPE_OF(&commands) == TYPE_BLOCK && block::rs_length_q(&commands) > 0)
    draw::draw_face(x, y, clip_box(x, y, w), &commands);
  const cell* pane = face_values(w) + FACE_PANE;
  if (TYPE_OF(pane) != TYPE_BLOCK) return;
  int32_t count = 0;
  block::values_of(pane, count);
  for (int32_t i = 0; i < count; ++i) {
    // Re-read: a render may have run helper code that moved the buffer.
    const cell* faces = block::values_of(face_values(w) + FACE_PANE, count);
    if (i >= count) break;
    widget_ref child = face_handle_q(&faces[i]);
    if (!child) continue;
    const widget& c = widget_at(child);
    render_tree(x + static_cast<int32_t>(c.x1), y + static_cast<int32_t>(c.y1), child);
  }
}

void render() {
  adjust_top_row();
  if (!screen.redraw || windows.empty()) return;
  const window_record& active = windows.back();
  fit_screen(static_cast<int32_t>(std::ceil(active.x2)), static_cast<int32_t>(std::ceil(active.y2)));
  adjust_top_row();
  render_tree(0, 0, active.window);
  widget_ref focused = active.focused;
  bool cursor = focused && widget_at(focused).live && (widget_at(focused).flags & WF_TEXT_CURSOR) &&
                has_focus_q(focused);
  if (!cursor) hide_cursor();
  system::flush_output();
  emit_frame(cursor);
  if (cursor) show_cursor();
  system::flush_output();
}

// ---- Input ------------------------------------------------------------------------------------

namespace {

void mark_redraw() { screen.redraw = true; }

bool send(widget_ref w, int32_t type, int32_t value) { return send_event && send_event(w, type, value); }

// The face text as a string the field may edit in place: a text that is no
// string becomes a new string owned by the face, so that its edits reach
// the face's deep-change handler like any other change of its text.
cell* field_text(widget_ref w) {
  if (!string_q(face_values(w) + FACE_TEXT)) {
    cell fresh{TYPE_NONE, 0, 0, 0};
    memory::root_guard keep(&fresh);
    string::rs_make_at(&fresh, 16);
    face_values(w)[FACE_TEXT] = fresh;
    cell text_word{TYPE_WORD, 0, static_cast<uint32_t>(sym("text")), 0xFFFFFFFF};
    ownership::bind(&fresh, &widget_at(w).face, &text_word);
  }
  return face_values(w) + FACE_TEXT;
}

// Tells the owner of the face text of an edit at the character index, as
// the series actions do; answers whether the text has an owner. The user's
// key has no caller to hand an error or a throw to: like the events sent
// to awake, they end in here.
bool report(widget_ref w, const cell* action, int32_t index, const cell* value) {
  cell text = *field_text(w);
  cell act = *action;
  memory::root_guard keep(&text), keep_action(&act);
  cell* arguments = stack::arguments;
  cell* top = stack::top;
  stack::call_frame* frame = stack::frame_top;
  bool owned = false;
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    owned = ownership::check(&text, &act, value, static_cast<int32_t>(text.data1) + index, 1);
  });
  if (code != 0) {
    system::clear_thrown();
    stack::arguments = arguments;
    stack::top = top;
    stack::frame_top = frame;
    owned = true;
  }
  return owned;
}

// `before` ahead of the edit; an owner then hears `after` once it is done.
bool report_edit(widget_ref w, int32_t before, int32_t index, const cell* value) {
  cell action{TYPE_WORD, 0, static_cast<uint32_t>(before), 0xFFFFFFFF};
  return report(w, &action, index, value);
}

void report_done(widget_ref w, const cell* after, int32_t index, const cell* value) { report(w, after, index, value); }

bool field_event(widget_ref w, int32_t type, const tui_event& e) {
  widget& node = widget_at(w);
  edit_state& edit = node.edit;
  text_units text = string_q(face_values(w) + FACE_TEXT) ? string_units(face_values(w) + FACE_TEXT)
                                                         : text_units{nullptr, 1, 0};
  auto width_at = [&](int32_t i) { return unicode::char_width(static_cast<uint32_t>(text.at(i))); };
  if (type == EVENT_CLICK) {
    edit.index = edit.column = 0;
    while (edit.index < text.length && edit.column + width_at(edit.index) <= e.x) edit.column += width_at(edit.index++);
    mark_redraw();
    return true;
  }
  if (type != EVENT_KEY) return false;
  int32_t key = e.value;
  if (e.special) {
    if (key == KEY_LEFT_CODE) key = 2;
    else if (key == KEY_RIGHT_CODE) key = 6;
    else return false;
  }
  switch (key) {
    case 0: case 9: case 13: return false;
    case 2:
      if (edit.index > 0) edit.column -= width_at(--edit.index);
      break;
    case 6:
      if (edit.index < text.length) edit.column += width_at(edit.index++);
      break;
    case 8: case 127:
      if (edit.index > 0) {
        int32_t at = edit.index - 1;
        int32_t width = width_at(at);
        bool owned = report_edit(w, words::sym_remove, at, nullptr);
        cell* s = field_text(w);
        if (at >= string::rs_length_q(s)) break;  // the owner cut the text short
        string::remove_char(s, static_cast<int32_t>(s->data1) + at);
        edit_state& moved = widget_at(w).edit;
        moved.index = at;
        moved.column -= width;
        moved.text_width -= width;
        if (owned) report_done(w, words::word_removed, at, nullptr);
      }
      break;
    default: {
      if (key < 32) return true;
      int32_t width = unicode::char_width(static_cast<uint32_t>(key));
      size2 size = get_size(w);
      if (size.width - width < edit.text_width) return true;  // does not fit: dropped
      int32_t at = edit.index;
      cell typed = char_::make_cell(static_cast<uint32_t>(key));
      bool owned = report_edit(w, words::sym_insert, at, &typed);
      cell* s = field_text(w);
      at = std::min(at, string::rs_length_q(s));
      string::insert_char(memory::GET_BUFFER(s), static_cast<int32_t>(s->data1) + at, static_cast<uint32_t>(key));
      edit_state& moved = widget_at(w).edit;
      moved.index = at + 1;
      moved.column += width;
      moved.text_width += width;
      if (owned) report_done(w, words::word_inserted, at, &typed);
    }
  }
  mark_redraw();
  return true;
}

// The number of items of a text-list's data.
int32_t item_count(widget_ref w) {
  const cell* data = face_values(w) + FACE_DATA;
  switch (TYPE_OF(data)) {
    case TYPE_BLOCK:
    case TYPE_HASH: {
      int32_t count = 0;
      block::values_of(data, count);
      return count;
    }
    case TYPE_MAP: return map::count_of(data);
    default: return 0;
  }
}

bool text_list_event(widget_ref w, int32_t type, const tui_event& e) {
  widget& node = widget_at(w);
  cell* selected = face_values(w) + FACE_SELECTED;
  int32_t old = TYPE_OF(selected) == TYPE_INTEGER ? static_cast<int32_t>(selected->data2) : 0;
  int32_t now = old;
  int32_t rows = std::max(1, get_size(w).height);
  if (type == EVENT_FOCUS) {
    update_widget(w);
    mark_redraw();
    return true;
  }
  if (type == EVENT_CLICK) {
    now = node.top + e.y + 1;
    if (now > item_count(w)) return true;
  } else if (type == EVENT_KEY && e.special && e.value == KEY_UP_CODE) {
    if (old > 1) now = old - 1;
    if (now - 1 < node.top) node.top = std::max(0, now - 1);
  } else if (type == EVENT_KEY && e.special && e.value == KEY_DOWN_CODE) {
    if (old < item_count(w)) now = old + 1;
    if (now - 1 >= node.top + rows) node.top = now - rows;
  } else {
    return false;
  }
  if (now != old) {
    bool done = send(w, EVENT_SELECT, now);
    cell* current = face_values(w) + FACE_SELECTED;
    bool unchanged = TYPE_OF(current) == TYPE_INTEGER ? static_cast<int32_t>(current->data2) == old : old == 0;
    if (unchanged) *current = cell{TYPE_INTEGER, 0, static_cast<uint32_t>(now), 0};
    update_widget(w);
    if (!done) send(w, EVENT_CHANGE, now);
  }
  mark_redraw();
  return true;
}

bool toggle_event(widget_ref w, int32_t type, const tui_event& e) {
  if (type == EVENT_FOCUS) {
    mark_redraw();
    return true;
  }
  if (!(type == EVENT_CLICK || (type == EVENT_KEY && !e.special && e.value == ' '))) return false;
  cell* data = face_values(w) + FACE_DATA;
  if (widget_at(w).kind == KIND_RADIO) *data = logic::make_cell(true);
  else if (TYPE_OF(data) == TYPE_NONE) *data = logic::make_cell(true);
  else if (TYPE_OF(data) == TYPE_LOGIC) *data = logic::make_cell(data->data1 == 0);
  else *data = logic::make_cell(false);
  update_widget(w);
  mark_redraw();
  send(w, EVENT_CHANGE, 0);
  return true;
}

}  // namespace

bool handle_event(widget_ref w, int32_t type, const tui_event& event) {
  intern_words();
  widget& node = widget_at(w);
  if (node.flags & WF_DISABLED) return false;
  switch (node.kind) {
    case KIND_FIELD: return field_event(w, type, event);
    case KIND_BUTTON:
      if (type == EVENT_KEY && !event.special && event.value == ' ') {
        send(w, EVENT_CLICK, 0);
        mark_redraw();
        return true;
      }
      return false;
    case KIND_TEXT_LIST: return text_list_event(w, type, event);
    case KIND_CHECK:
    case KIND_RADIO: return toggle_event(w, type, event);
    default: return false;
  }
}

// ---- TUI helper routines -------------------------------------------------------------------------

namespace {

void focused_q() { logic::box(has_focus_q(face_handle_q(stack::arguments))); }

void widget_data() {
  widget_ref w = face_handle_q(stack::arguments);
  integer::box(w && widget_at(w).kind == KIND_TEXT_LIST ? widget_at(w).top : 0);
}

void set_face_ui() {
  if (widget_ref w = face_handle_q(stack::arguments)) widget_at(w).text = stack::arguments[1];
  none::box();
}

}  // namespace

void init_routines() {
  routine::register_entry("focused?", focused_q);
  routine::register_entry("widget-data", widget_data);
  routine::register_entry("set-face-ui", set_face_ui);
  // A new runtime: the widgets of an earlier one are gone with its faces,
  // and its words are new.
  words_ready = false;
  table.assign(1, widget{});
  free_slots.clear();
  windows.clear();
  collector::unregister_root(mark_widgets);
  collector::register_root(mark_widgets);
}

}  // namespace ixo::tui
