// The frame loop of the text UI: the passes of `do-event-loop` (one each
// 33 ms, waiting on the terminal), UI mode around the outermost loop, loop
// levels, the timers behind face `rate`s, and the delivery of input to
// widgets and, as event! values, to system/view's `awake`.
//
// Events reach `awake` as event! cells whose second payload word is the
// number of a backend event record (widget, x, y, value, wheel); the
// event's field readers find the record through the reader this module
// installs in gui/event.
#pragma once
#include <cstdint>

#include "gui/tui/tty.hpp"
#include "gui/tui/widgets.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::tui::loop {

// Event type codes used here.
enum event_type : int32_t {
  EV_DOWN = 1, EV_UP = 2, EV_CLICK = 9, EV_DBL_CLICK = 10, EV_WHEEL = 11, EV_OVER = 12, EV_KEY = 13,
  EV_KEY_DOWN = 14, EV_FOCUS = 17, EV_UNFOCUS = 18, EV_RESIZE = 30, EV_TIME = 33
};
// Flag bits of the event cell.
constexpr uint32_t FLAG_SPECIAL = 1;
constexpr uint32_t FLAG_SHIFT = 0x20000000;
constexpr uint32_t FLAG_DOWN = 0x2000000;
constexpr uint32_t FLAG_AWAY = 0x4000000;

// The loop's time and terminal; tests put a clock of their own here.
struct frame_io {
  int64_t (*now_ms)();
  tty::wait_result (*wait)(int32_t ms);
  int32_t (*read)(uint8_t* dest, int32_t room);
};
void use_io(const frame_io* io);  // null: the terminal's

// The loop. Answers whether the last pass read input.
bool do_events(bool no_wait);
// One pass without waiting, when a window is open.
void do_events_no_wait();
// Ends the innermost running loop after its current pass.
void post_quit_msg();
int32_t nesting();

// Advances the timers and the double-click timer by `ms` milliseconds.
void advance(int32_t ms);

// Hands an event to `awake` (tracing off, every error and throw caught);
// answers whether it answered the word `done`.
bool send_event(int32_t type, widget_ref w, float x, float y, int32_t value, float wheel, uint32_t flags);

// Input routing, called by the decoder.
void on_key(int32_t key, int32_t special);
void on_button(int32_t type, float x, float y, uint32_t modifiers);
void on_move(float x, float y, uint32_t modifiers);
void on_wheel(float direction, float x, float y, uint32_t modifiers);

// Moves the focus (unfocus to the old widget, focus to the new one); the
// widget its window chose for the focus gets it, with `focus` alone.
void set_focus(widget_ref w);
// The focused widget of the active window, 0 when none.
widget_ref focused();

// Timers: a face's `rate` (integer! n > 0: 1000 / n ms; time! > 0; none
// removes), anything else raises script/invalid-facet-type.
void set_rate(widget_ref w, const cell* rate);
void remove_timer(widget_ref w);

// A widget about to be destroyed: no hover, press or timer keeps it.
void forget_widget(widget_ref w);
// Hover and press state cleared (another window became the active one).
void forget_pointer();

// Forgets every loop state (hover, press, clicks, timers, levels) and
// installs the routing of decoded input, the widgets' event sender and
// the event records' reader: a new runtime's start.
void reset();

}  // namespace ixo::tui::loop
