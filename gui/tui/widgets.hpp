// Widgets: the text UI's node for each shown face, the windows, and the
// renderer that paints a window's widget tree into the screen's cells.
//
// How to use it:
//   - make_widget(face, parent) makes the node of a face (its box, flag
//     bits, per-type state) and answers a widget_ref, a 1-based index into
//     the widget table (0 is none). Give the face its `state` block first,
//     starting with a handle! (the null handle will do): make_widget writes
//     its own handle there before it builds the derived texts, and
//     face_handle_q finds the widget through it. sync_widget
//     re-reads box, flags and derived texts after the face changed;
//     destroy_widget frees the node (a window also leaves `windows`).
//   - Windows: `windows` lists the window records, the last one is the
//     active window. focus_widget moves a window's focus; choose_focus
//     names the widget to focus when the window is shown.
//   - Drawing: render() fits the screen to the active window, paints its
//     tree and emits the frame when screen.redraw is set. render_face is
//     the common painter (fill, image, helper text, face text);
//     draw_text writes a string into the cells with wrapping, clipping and
//     SGR escapes.
//   - Input: handle_event(w, type, event) runs the widget's own handling
//     of a decoded key or click (event type codes are those of event!:
//     9 click, 13 key, 17 focus). Events the widget sends back (click,
//     select, change) go through the `send_event` hook, which the frame
//     loop installs; it answers whether the face answered `done`.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/tui/screen.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::tui {

using widget_ref = int32_t;  // 1-based index into the widget table; 0 none

// Flag bits of a widget.
enum widget_flag : uint32_t {
  WF_SIZE_PAIR = 0x10000,      // the face's size is a pair!
  WF_HIDDEN = 0x20000,         // visible? is not true
  WF_DISABLED = 0x40000,       // enabled? is not true: no events
  WF_ALL_OVER = 0x100000,
  WF_TEXT_CURSOR = 0x200000,   // shows the text cursor when focused
  WF_FOCUSABLE = 0x400000,
  WF_LEFT = 0x1000000,         // left by the pointer while pressed
  WF_FOCUS = 0x2000000,
  WF_PASSWORD = 0x10000000,
  WF_FULLSCREEN = 0x40000000,
  WF_CARET_OWNER = 0x80000000, // a base face with a `caret` option
};

// Bits of a face's `flags` facet, as get_flags answers them.
enum face_flag : uint32_t {
  FF_ALL_OVER = 0x1,
  FF_FOCUSABLE = 0x2,
  FF_TRI_STATE = 0x20000,
  FF_SCROLLABLE = 0x40000,
  FF_PASSWORD = 0x80000,
  FF_NO_SYNC = 0x100000,
  FF_FULLSCREEN = 0x200000,
  FF_POPUP = 0x1000000,
  FF_MODAL = 0x2000000,
  FF_RESIZE = 0x4000000,
  FF_NO_BUTTONS = 0x8000000,
  FF_NO_MAX = 0x10000000,
  FF_NO_MIN = 0x20000000,
  FF_NO_TITLE = 0x40000000,
  FF_NO_BORDER = 0x80000000,
};

// Field indexes of face!, font! and para!, from 0.
enum face_field : int32_t {
  FACE_TYPE, FACE_OFFSET, FACE_SIZE, FACE_TEXT, FACE_IMAGE, FACE_COLOR, FACE_MENU, FACE_DATA,
  FACE_ENABLED, FACE_VISIBLE, FACE_SELECTED, FACE_FLAGS, FACE_OPTIONS, FACE_PARENT, FACE_PANE,
  FACE_STATE, FACE_RATE, FACE_EDGE, FACE_PARA, FACE_FONT, FACE_ACTORS, FACE_EXTRA, FACE_DRAW
};
constexpr int32_t FONT_COLOR = 4;
constexpr int32_t PARA_ALIGN = 3, PARA_V_ALIGN = 4, PARA_WRAP = 5;

// Options of render_face, beside the attribute bits (dim, reverse,
// masked) given to every text cell.
constexpr uint32_t RENDER_ESCAPES = 0x1000;  // interpret SGR escapes in the text
constexpr uint32_t RENDER_NO_TEXT = 0x2000;  // do not draw the face text

enum widget_kind : int32_t {
  KIND_OTHER, KIND_WINDOW, KIND_BASE, KIND_FIELD, KIND_BUTTON, KIND_PROGRESS, KIND_TEXT_LIST,
  KIND_RICH_TEXT, KIND_GROUP_BOX, KIND_CHECK, KIND_RADIO
};

// A field's editing state, in characters and cells.
struct edit_state {
  int32_t index;       // characters before the cursor
  int32_t column;      // cells from the field's left edge to the cursor
  int32_t text_width;  // cells of the whole text
};

struct widget {
  int32_t type;       // symbol of the face's type word
  widget_kind kind;
  uint32_t flags;
  float x1, y1, x2, y2;  // box in the parent's cells
  widget_ref parent;
  int32_t image_width;              // columns of `image`
  std::vector<screen_cell> image;   // the face image as half-block cells
  cell text;                        // helper text (string!) or none
  edit_state edit;                  // field
  std::vector<screen_cell> runs;    // rich-text: one styled cell per character
  int32_t top;                      // text-list: first visible row
  cell face;                        // the face! object
  bool live;
};

// A window's record; `windows` keeps them in showing order.
struct window_record {
  float x1, y1, x2, y2;  // bounding box of the widgets made inside it
  widget_ref window;
  widget_ref focused;
  int32_t cursor_widgets;  // widgets in it that show the text cursor
  uint32_t flags;
};
extern std::vector<window_record> windows;

// A decoded input event for a widget. Key codes: characters as code
// points; with `special` set, the key codes Up 236, Down 235, Right 234,
// Left 233 (so that they are never confused with the characters of the
// same number).
struct tui_event {
  widget_ref widget;
  int32_t x, y;    // click position in cells, relative to the widget's box
  int32_t value;   // key code
  int32_t wheel;   // wheel direction
  bool special;
};
constexpr int32_t KEY_LEFT_CODE = 233, KEY_RIGHT_CODE = 234, KEY_DOWN_CODE = 235, KEY_UP_CODE = 236;
constexpr int32_t EVENT_CLICK = 9, EVENT_KEY = 13, EVENT_FOCUS = 17, EVENT_SELECT = 25, EVENT_CHANGE = 26;

// Hands an event of the widget's face to the view engine with an integer
// value (the selected index for select and change, 0 otherwise); answers
// whether the face answered `done`. Null: events are dropped.
using event_sender = bool (*)(widget_ref w, int32_t type, int32_t value);
extern event_sender send_event;

// ---- Nodes ----------------------------------------------------------------

// Calls TUI-helpers/<name> with the `count` arguments on top of the
// stack, which it takes: answers true with the result pushed in their
// place, or false, leaving nothing, when TUI-helpers has no such function.
bool call_tui_helper(const char* name, int32_t count);

widget& widget_at(widget_ref w);
// The face's values, valid until the next allocation.
cell* face_values(widget_ref w);
// The widget of a face whose `state` is a block starting with a handle!,
// else 0.
widget_ref face_handle_q(const cell* face);
// Writes the handle! that stands for the widget.
void widget_handle(cell* target, widget_ref w);

// The bits of a face's `flags` facet (a word or a block of words; any
// other value gives 0); a word not among the flag words raises
// script/invalid-arg with it.
uint32_t get_flags(const cell* facet);

// Makes the node of a face (an object!) under the parent (0 for a
// window). May evaluate the TUI helpers, so it may allocate.
widget_ref make_widget(const cell* face, widget_ref parent);
// Re-reads box, flags and image from the face.
void sync_widget(widget_ref w);
// Rebuilds the widget's derived text (progress bar, list rows, check and
// radio marks, rich-text runs). The progress and list helpers store their
// text in the face's `text`, so a change of `text` alone must not run this
// again.
void update_widget(widget_ref w);
void destroy_widget(widget_ref w);

bool has_focus_q(widget_ref w);
// Moves the focus of the widget's window to it.
void focus_widget(widget_ref w);
// Makes it the widget its window focuses, without the focus yet: the
// frame loop's set_focus gives it, with its `focus` event.
void choose_focus(widget_ref w);
// The record of the window the widget lies in, or null.
window_record* window_of(widget_ref w);

// ---- Geometry ------------------------------------------------------------

struct size2 {
  int32_t width, height;
};
size2 get_size(widget_ref w);
// The sum of the box origins of the widget and its ancestors below the
// window.
size2 absolute_position(widget_ref w);
// The child whose box holds (x, y) in the widget's cells, the last one in
// the pane first; hidden children are skipped. 0 when none.
widget_ref hit_test(widget_ref w, int32_t x, int32_t y);
// The widget's visible rectangle when drawn at (x, y): its box cut by its
// ancestors' and the screen.
rect clip_box(int32_t x, int32_t y, widget_ref w);

// ---- Text ------------------------------------------------------------------

// A run of characters: a string's units from its index, or code points.
struct text_units {
  const uint8_t* p;
  int32_t unit;
  int32_t length;
  int32_t at(int32_t i) const {
    return unit == 1 ? p[i] : unit == 2 ? reinterpret_cast<const uint16_t*>(p)[i]
                                        : reinterpret_cast<const int32_t*>(p)[i];
  }
};
// The characters of a string! from its index; valid until the next
// allocation.
text_units string_units(const cell* s);

struct text_style {
  uint32_t fg, bg, attrs;
  bool wrap;
  bool escapes;  // interpret ESC [ ... sequences
};
// Applies one SGR code.
void apply_sgr(text_style& style, int32_t code, const text_style& base);
// Reads the escape sequence that starts at text[i] (an ESC); answers the
// position after it.
int32_t parse_csi(const text_units& text, int32_t i, text_style& style, const text_style& base);
// Draws the text from (x, y) inside the clip.
void draw_text(const text_units& text, int32_t x, int32_t y, const rect& clip, text_style style);
// Draws styled cells (rich-text runs) the same way.
void draw_runs(const std::vector<screen_cell>& runs, int32_t x, int32_t y, const rect& clip, bool wrap,
               uint32_t attrs);
// The columns a character takes where text is drawn: a tab shows as one
// space, other control characters take none, the rest their display width.
int32_t char_columns(int32_t code);
// Columns of the widest line and the number of lines the text takes: LF
// starts a line (an empty text is one empty line); with max_columns above
// 0 a character that would pass it starts a new line unless it is the
// line's first; with `escapes`, escape sequences take no room. The one
// measure of texts: the painter's alignment, size-text and the rich-text
// metrics.
size2 text_size(const text_units& text, int32_t max_columns, bool escapes);
// Alignment bits of a para! (1 right, 2 center, 4 middle, 8 bottom, 32
// wrap), 0 for none.
uint32_t para_flags(const cell* para);

// ---- Rendering ---------------------------------------------------------------

// The common painter: fill, image, helper text, then the face text.
void render_face(int32_t x, int32_t y, widget_ref w, uint32_t options);
// Paints the widget at (x, y) and its pane's widgets.
void render_tree(int32_t x, int32_t y, widget_ref w);
// One frame of the active window; nothing unless screen.redraw is set.
void render();

// ---- Input -------------------------------------------------------------------

// The widget's own handling of an event; answers whether it handled it.
// Disabled widgets handle nothing.
bool handle_event(widget_ref w, int32_t type, const tui_event& event);

// Registers the routines focused?, widget-data and set-face-ui and the
// collector's root callback.
void init_routines();

}  // namespace ixo::tui
