// The text UI's frame loop, UI mode, timers, and the routing of decoded
// input to widgets and to `awake`.
//
// Time: each pass advances the timers by the time that really passed since
// the previous pass (a pass waits until 33 ms have gone by, or less when
// input comes), so moving the mouse or typing never makes the timers run
// fast. A pass whose work took longer than 33 ms is followed by no wait.
#include "gui/tui/frame_loop.hpp"

#include <algorithm>
#include <vector>

#include "gui/event.hpp"
#include "gui/tui/input.hpp"
#include "gui/tui/os_layer.hpp"
#include "gui/tui/screen.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"

namespace ixo::tui::loop {

namespace {

constexpr int32_t FRAME_MS = 33;
constexpr int32_t DOUBLE_CLICK_MS = 500;
constexpr int32_t CLICK_TIMER_LIMIT = 800;
// Input that pauses this long inside a DCS or OSC string drops it.
constexpr int32_t STRING_PAUSE_MS = 50;
constexpr int32_t CLICK_IDLE = 0, CLICK_RELEASED = 2, CLICK_DOUBLE_SENT = 10;

// ---- State -------------------------------------------------------------------------

int32_t levels = 0;          // running levels of do_events, no-wait passes not counted
bool mouse_reporting = false;
bool alternate_screen = false;
widget_ref hovered = 0, pressed = 0;
std::vector<widget_ref> pressed_list;
int32_t click_state = CLICK_IDLE;
int32_t click_timer = 0;
float last_x = 0, last_y = 0;
int64_t last_advance = -1;
int64_t last_input = 0;  // when bytes were last read

struct timer {
  int32_t elapsed, period;
  widget_ref widget;
};
std::vector<timer> timers;

// Event records, reused in turn; an event! kept past the handling of the
// next 256 events reads a newer record (never memory that is gone).
constexpr uint32_t RECORD_COUNT = 256;
struct event_record {
  widget_ref widget;
  float x, y;
  int32_t value;
  float wheel;
};
event_record records[RECORD_COUNT];
uint32_t next_record = 0;

const frame_io terminal_io = {tty::now_ms, tty::wait, tty::read_available};
const frame_io* io = &terminal_io;

bool live_q(widget_ref w) { return w > 0 && widget_at(w).live; }

window_record* active_window() { return windows.empty() ? nullptr : &windows.back(); }

bool read_record(uint32_t number, gui::event::backend_record& out) {
  if (number == 0 || number > RECORD_COUNT) return false;
  const event_record& r = records[number - 1];
  out.face = live_q(r.widget) ? widget_at(r.widget).face : cell{TYPE_NONE, 0, 0, 0};
  out.x = r.x;
  out.y = r.y;
  out.value = r.value;
  out.wheel = r.wheel;
  return true;
}

// ---- Timers ----------------------------------------------------------------------------

void advance_timers(int32_t ms) {
  // A timer's handler may add or remove timers: walk by index over the
  // timers there were at the start.
  size_t count = timers.size();
  for (size_t i = 0; i < count && i < timers.size(); ++i) {
    timer& t = timers[i];
    t.elapsed += ms;
    if (t.elapsed < t.period) continue;
    t.elapsed = 0;
    widget_ref w = t.widget;
    if (live_q(w) && !(widget_at(w).flags & WF_DISABLED)) {
      handle_event(w, EV_TIME, tui_event{w, 0, 0, 0, 0, false});
      send_event(EV_TIME, w, 0, 0, 0, 0, 0);
    }
  }
}

// ---- UI mode ---------------------------------------------------------------------------

bool mouse_event_q() {
  const cell* pf = object::system_field({16, 4});
  if (!pf || TYPE_OF(pf) != TYPE_OBJECT) return false;
  const cell* v = object::get_values(pf);
  return TYPE_OF(v) == TYPE_LOGIC && v->data1 != 0;
}

void set_mouse_reporting(bool on) {
  if (on == mouse_reporting) return;
  mouse_reporting = on;
  if (on) mouse_on();
  else mouse_off();
}

void enter_ui() {
  if (!screen.active && tty::available_q() && tty::enter_raw()) {
    set_output_fd(tty::output_fd());
    os::read_size();
    screen.active = true;
    install_print_hooks();
  }
  if (!screen.active) return;
  if (!screen.fullscreen) request_cursor_position();
  if (screen.fullscreen && !alternate_screen) {
    enter_alternate_screen();
    alternate_screen = true;
  }
  set_mouse_reporting(mouse_event_q());
  tty::note_modes(mouse_reporting, alternate_screen);
  screen.redraw = true;
}

// A cursor position report asked for (after a print, say) and not read yet
// would reach the shell after us as typed text: wait a little for it.
void swallow_reports() {
  for (int32_t tries = 0; screen.reports_pending > 0 && tries < 10; ++tries) {
    if (io->wait(50) != tty::WAIT_INPUT) continue;
    uint8_t buffer[256];
    int32_t n = io->read(buffer, static_cast<int32_t>(sizeof buffer));
    for (int32_t i = 0; i < n; ++i)
      if (buffer[i] == 'R' && screen.reports_pending > 0) --screen.reports_pending;
  }
  screen.reports_pending = 0;
}

void leave_ui() {
  if (screen.active) {
    leave_area();
    set_mouse_reporting(false);
    if (alternate_screen) leave_alternate_screen();
    alternate_screen = false;
    show_cursor();
    tty::note_modes(false, false);
    swallow_reports();
    tty::drop_input();
    tty::leave_raw();
    remove_print_hooks();
    screen.active = false;
  }
  // The windows stay, with their widgets, until they are destroyed: their
  // faces still name them.
  screen.fullscreen = std::any_of(windows.begin(), windows.end(), [](const window_record& r) {
    return live_q(r.window) && (widget_at(r.window).flags & WF_FULLSCREEN);
  });
  free_screen();
  screen.lines_drawn = screen.cursor_row = screen.cursor_column = 0;
  screen.report_column = screen.top_row = 0;
  screen.redraw = false;
  hovered = pressed = 0;
  pressed_list.clear();
  click_state = CLICK_IDLE;
  click_timer = 0;
  input::reset_queue();
}

// Reads what the terminal has into the byte queue; answers whether any
// byte came.
bool poll_input() {
  uint8_t buffer[4096];
  bool any = false;
  for (;;) {
    int32_t n = io->read(buffer, static_cast<int32_t>(sizeof buffer));
    if (n <= 0) break;
    input::queue_bytes(buffer, n);
    last_input = io->now_ms();
    any = true;
    if (n < static_cast<int32_t>(sizeof buffer)) break;
  }
  return any;
}

void on_resize() {
  os::read_size();
  screen.redraw = true;
  for (size_t i = 0; i < windows.size(); ++i) {
    widget_ref w = windows[i].window;
    handle_event(w, EV_RESIZE, tui_event{w, 0, 0, 0, 0, false});
    send_event(EV_RESIZE, w, 0, 0, 0, 0, 0);
  }
}

// One pass. Answers whether input was read; false with `stop` set when a
// no-wait pass had nothing to do but its timers.
bool run_pass(bool no_wait, int32_t& elapsed) {
  bool has_input = poll_input();
  if (!no_wait && elapsed <= FRAME_MS) {
    tty::wait_result r = io->wait(FRAME_MS - elapsed);
    if (r == tty::WAIT_INPUT) has_input = poll_input() || has_input;
    if (r == tty::WAIT_RESIZE || tty::resized_q()) on_resize();
  }
  int64_t start = io->now_ms();
  if (last_advance < 0) last_advance = start;
  int32_t frame = static_cast<int32_t>(std::min<int64_t>(start - last_advance, 60000));
  last_advance = start;
  advance(frame);
  // A string that keys opened and nothing ended: the keys after the pause
  // decode as keys.
  if (input::open_string_q() && start - last_input >= STRING_PAUSE_MS) input::drop_open_string();
  input::decode_input();
  if (screen.active) render();
  elapsed = static_cast<int32_t>(io->now_ms() - start);
  return has_input;
}

const input::routing routing = {on_key, on_button, on_move, on_wheel,
                                [](int32_t row, int32_t column) {
                                  if (screen.reports_pending > 0) --screen.reports_pending;
                                  screen.top_row = row - 1;
                                  screen.report_column = column - 1;
                                },
                                [] { return screen.top_row; }};

bool send_value_event(widget_ref w, int32_t type, int32_t value) {
  if (!live_q(w) || (widget_at(w).flags & WF_DISABLED)) return false;
  return send_event(type, w, 0, 0, value, 0, 0);
}

// The widget's own handling, then `awake`; nothing for a disabled one.
// Answers whether anything was sent, and in `done` the answer.
bool send_pointer_event(int32_t type, widget_ref w, float x, float y, uint32_t flags, bool& done) {
  done = false;
  if (!live_q(w) || (widget_at(w).flags & WF_DISABLED)) return false;
  handle_event(w, type, tui_event{w, static_cast<int32_t>(x), static_cast<int32_t>(y), 0, 0, false});
  if (live_q(w)) done = send_event(type, w, x, y, 0, 0, flags);
  return true;
}

bool in_pressed_list(widget_ref w) { return std::find(pressed_list.begin(), pressed_list.end(), w) != pressed_list.end(); }

struct dispatched {
  bool handled;   // an event went to a widget of the subtree
  int32_t click;  // the click code sent in the subtree (0 none)
};

dispatched dispatch_button(widget_ref w, int32_t type, float x, float y, uint32_t modifiers) {
  dispatched r{false, 0};
  widget_ref child = hit_test(w, static_cast<int32_t>(x), static_cast<int32_t>(y));
  if (child) {
    const widget& c = widget_at(child);
    r = dispatch_button(child, type, x - c.x1, y - c.y1, modifiers);
  }
  if (!live_q(w)) return r;
  bool done = false;
  if (!r.handled) r.handled = send_pointer_event(type, w, x, y, modifiers, done);
  if (type == EV_DOWN) pressed_list.push_back(w);
  if (type == EV_UP && r.click == 0 && in_pressed_list(w)) {
    if (click_state == CLICK_RELEASED && click_timer < DOUBLE_CLICK_MS) {
      send_pointer_event(EV_CLICK, w, x, y, modifiers, done);
      click_state = CLICK_DOUBLE_SENT;
      send_pointer_event(EV_DBL_CLICK, w, x, y, modifiers, done);
      r.click = EV_DBL_CLICK;
    } else {
      send_pointer_event(EV_CLICK, w, x, y, modifiers, done);
      r.click = EV_CLICK;
    }
    if (!child && live_q(w) && (widget_at(w).flags & WF_FOCUSABLE) && !has_focus_q(w)) set_focus(w);
  }
  return r;
}

size2 local_of(widget_ref w, float& x, float& y) {
  size2 at = absolute_position(w);
  x -= static_cast<float>(at.width);
  y -= static_cast<float>(at.height);
  return at;
}

bool ancestor_q(widget_ref a, widget_ref w) {
  for (w = live_q(w) ? widget_at(w).parent : 0; w; w = widget_at(w).parent)
    if (w == a) return true;
  return false;
}

bool sibling_q(widget_ref a, widget_ref b) {
  return live_q(a) && live_q(b) && widget_at(a).parent == widget_at(b).parent;
}

// Answers whether the move was handled in the subtree.
bool dispatch_move(widget_ref w, float x, float y, uint32_t modifiers, bool top) {
  bool done = false;
  if (!hovered) send_pointer_event(EV_OVER, w, x, y, modifiers, done);
  bool handled = false;
  widget_ref child = hit_test(w, static_cast<int32_t>(x), static_cast<int32_t>(y));
  if (child) {
    const widget& c = widget_at(child);
    handled = dispatch_move(child, x - c.x1, y - c.y1, modifiers, false);
  } else if (w != hovered) {
    if (live_q(hovered)) {
      if (ancestor_q(w, hovered) || sibling_q(w, hovered)) {
        send_pointer_event(EV_OVER, hovered, last_x, last_y, modifiers | FLAG_AWAY, done);
        if (hovered == pressed && live_q(hovered)) widget_at(hovered).flags |= WF_LEFT;
      }
      if (ancestor_q(hovered, w) || sibling_q(w, hovered)) {
        widget_at(w).flags &= ~WF_LEFT;
        send_pointer_event(EV_OVER, w, x, y, modifiers, done);
      }
    }
    hovered = w;
    handled = true;
  } else if (widget_at(w).flags & WF_ALL_OVER) {
    handled = send_pointer_event(EV_OVER, w, x, y, modifiers, done);
  }
  last_x = x, last_y = y;
  if (!handled && live_q(w) && (widget_at(w).flags & WF_ALL_OVER))
    handled = send_pointer_event(EV_OVER, w, x, y, modifiers, done);
  if (top && live_q(pressed) && (widget_at(pressed).flags & WF_LEFT) && (widget_at(pressed).flags & WF_ALL_OVER)) {
    float px = x, py = y;
    local_of(pressed, px, py);
    send_pointer_event(EV_OVER, pressed, px, py, modifiers, done);
  }
  return handled;
}

bool dispatch_wheel(widget_ref w, float direction, float x, float y, uint32_t modifiers) {
  widget_ref child = hit_test(w, static_cast<int32_t>(x), static_cast<int32_t>(y));
  if (child) {
    const widget& c = widget_at(child);
    if (dispatch_wheel(child, direction, x - c.x1, y - c.y1, modifiers)) return true;
  }
  if (!live_q(w) || (widget_at(w).flags & WF_DISABLED)) return false;
  send_event(EV_WHEEL, w, x, y, 0, direction, modifiers);
  return true;
}

}  // namespace

// ---- The loop ------------------------------------------------------------------------

void use_io(const frame_io* replacement) { io = replacement ? replacement : &terminal_io; }

int32_t nesting() { return levels; }

void post_quit_msg() {
  if (levels > 0) --levels;
}

void advance(int32_t ms) {
  advance_timers(ms);
  if (click_state == CLICK_RELEASED && click_timer < CLICK_TIMER_LIMIT) click_timer += ms;
}

bool do_events(bool no_wait) {
  // The first waiting loop enters UI mode, however many windows are open:
  // windows shown without waiting before it are drawn by it too.
  bool outermost = !no_wait && !screen.active;
  int32_t entry = levels;
  if (!no_wait) ++levels;
  if (!no_wait && entry == 0) last_advance = -1;
  if (outermost) enter_ui();
  else if (!no_wait) input::reset_queue();
  // Leaving: UI mode ends with the outermost loop on every way out.
  struct leave {
    bool outermost, no_wait;
    ~leave() {
      if (outermost) leave_ui();
    }
  } leaving{outermost, no_wait};
  bool has_input = false;
  int32_t elapsed = 0;
  do {
    cell* arguments = stack::arguments;
    cell* top = stack::top;
    stack::call_frame* frame = stack::frame_top;
    uint32_t code = catch_site(FILTER_FUNCTION, [&] { has_input = run_pass(no_wait, elapsed); });
    if (code != 0) {
      system::clear_thrown();
      stack::arguments = arguments;
      stack::top = top;
      stack::frame_top = frame;
      post_quit_msg();
    }
    if (no_wait) break;
    // Without a terminal nothing can come but timers: a level with none
    // left has nothing to wait for.
    if (!screen.active && timers.empty() && levels > entry) post_quit_msg();
  } while (levels > entry);
  return has_input;
}

void do_events_no_wait() {
  if (!windows.empty()) do_events(true);
}

// ---- Events --------------------------------------------------------------------------

bool send_event(int32_t type, widget_ref w, float x, float y, int32_t value, float wheel, uint32_t flags) {
  if (!live_q(w)) return false;
  uint32_t number = next_record + 1;
  records[next_record] = {w, x, y, value, wheel};
  next_record = (next_record + 1) % RECORD_COUNT;
  const cell* view = object::system_field({16});
  if (!view || TYPE_OF(view) != TYPE_OBJECT) return false;
  static const int32_t sym_awake = symbol::make("awake");
  static const int32_t sym_done = symbol::make("done");
  cell word{TYPE_WORD, 0, static_cast<uint32_t>(sym_awake), 0};
  const cell* found = object::select_word(view, &word);
  if (!found || TYPE_OF(found) != TYPE_FUNCTION) return false;
  cell awake = *found;
  memory::root_guard keep(&awake);
  bool tracing = interpreter::tracing_on;
  interpreter::tracing_on = false;
  cell* arguments = stack::arguments;
  cell* top = stack::top;
  stack::call_frame* frame = stack::frame_top;
  cell answer{TYPE_NONE, 0, 0, 0};
  uint32_t code = catch_site(FILTER_FUNCTION, [&] {
    stack::push(cell{TYPE_EVENT, static_cast<uint32_t>(type), number, flags});
    interpreter::call_value(&awake, &word, 1, interpreter::CALLBACK_NONE);
    answer = *stack::top_cell();
  });
  if (code != 0) system::clear_thrown();
  stack::arguments = arguments;
  stack::top = top;
  stack::frame_top = frame;
  interpreter::tracing_on = tracing;
  return TYPE_OF(&answer) == TYPE_WORD && symbol::EQUAL_WORDS_q(&answer, sym_done);
}

widget_ref focused() {
  window_record* active = active_window();
  return active && live_q(active->focused) ? active->focused : 0;
}

void on_key(int32_t key, int32_t special) {
  widget_ref w = focused();
  if (!w || (widget_at(w).flags & WF_DISABLED)) return;
  uint32_t flags = 0;
  bool is_special = false;
  if (special == input::SPECIAL_BACK_TAB) {
    key = 9;
    flags = FLAG_SHIFT;
  } else if (special != 0) {
    key = special;
    flags = FLAG_SPECIAL;
    is_special = true;
  }
  if (key == 0) return;
  screen.redraw = true;
  if (send_event(EV_KEY_DOWN, w, 0, 0, key, 0, flags)) return;
  if (send_event(EV_KEY, w, 0, 0, key, 0, flags)) return;
  if (live_q(w)) handle_event(w, EV_KEY, tui_event{w, 0, 0, key, 0, is_special});
}

void on_button(int32_t type, float x, float y, uint32_t modifiers) {
  window_record* active = active_window();
  if (!active) return;
  widget_ref window = active->window;
  if (type == EV_DOWN) pressed = hovered;
  screen.redraw = true;
  dispatch_button(window, type, x, y, modifiers);
  if (type != EV_UP) return;
  if (live_q(pressed) && (widget_at(pressed).flags & WF_LEFT)) {
    float px = x, py = y;
    local_of(pressed, px, py);
    bool done = false;
    send_pointer_event(EV_UP, pressed, px, py, modifiers, done);
  }
  pressed = 0;
  pressed_list.clear();
  click_state = click_state == CLICK_DOUBLE_SENT ? CLICK_IDLE : CLICK_RELEASED;
  click_timer = 0;
}

void on_move(float x, float y, uint32_t modifiers) {
  window_record* active = active_window();
  if (active) dispatch_move(active->window, x, y, modifiers, true);
}

void on_wheel(float direction, float x, float y, uint32_t modifiers) {
  window_record* active = active_window();
  if (active) dispatch_wheel(active->window, direction, x, y, modifiers);
}

void set_focus(widget_ref w) {
  window_record* record = window_of(w);
  if (!record) return;
  widget_ref old = record->focused;
  if (old == w && has_focus_q(w)) return;
  focus_widget(w);
  screen.redraw = true;
  bool done = false;
  if (old != w && live_q(old)) send_pointer_event(EV_UNFOCUS, old, 0, 0, 0, done);
  send_pointer_event(EV_FOCUS, w, 0, 0, 0, done);
}

// ---- Timers --------------------------------------------------------------------------

void remove_timer(widget_ref w) {
  for (size_t i = timers.size(); i-- > 0;)
    if (timers[i].widget == w) {
      timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

void set_rate(widget_ref w, const cell* rate) {
  int32_t period = -1;
  if (TYPE_OF(rate) == TYPE_NONE) {
    remove_timer(w);
    return;
  }
  // A rate above 1000 a second fires at every pass.
  if (TYPE_OF(rate) == TYPE_INTEGER && integer::get(rate) > 0) period = 1000 / integer::get(rate);
  if (TYPE_OF(rate) == TYPE_TIME) {
    double seconds = get_float(rate);
    if (seconds > 0 && seconds < 2e6) period = static_cast<int32_t>(seconds * 1000);
  }
  if (period < 0) fire(err::script_invalid_facet_type, {*rate});
  remove_timer(w);
  timers.push_back({0, period, w});
}

void forget_widget(widget_ref w) {
  if (hovered == w) hovered = 0;
  if (pressed == w) pressed = 0;
  pressed_list.erase(std::remove(pressed_list.begin(), pressed_list.end(), w), pressed_list.end());
  timers.erase(std::remove_if(timers.begin(), timers.end(), [w](const timer& t) { return t.widget == w; }),
               timers.end());
}

void forget_pointer() {
  hovered = pressed = 0;
  pressed_list.clear();
}

void reset() {
  levels = 0;
  mouse_reporting = alternate_screen = false;
  hovered = pressed = 0;
  pressed_list.clear();
  click_state = CLICK_IDLE;
  click_timer = 0;
  timers.clear();
  last_advance = -1;
  next_record = 0;
  io = &terminal_io;
  gui::event::set_record_reader(read_record);
  input::set_routing(&routing);
  tui::send_event = send_value_event;
}

}  // namespace ixo::tui::loop
