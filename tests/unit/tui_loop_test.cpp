// The text UI's frame loop with the boot library: timers driven by
// explicit frame lengths on a clock of the test's own, clicks and double
// clicks, key routing to `awake` and to the focused widget, loop levels,
// the loop without a terminal, and the fields of the events handed to the
// actors. The faces log what their actors see in the global block `log`.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gui/tui/frame_loop.hpp"
#include "gui/tui/input.hpp"
#include "gui/tui/screen.hpp"
#include "gui/tui/tty.hpp"
#include "gui/tui/widgets.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/lexer/lexer.hpp"
#include "runtime/memory/memory.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/boot_image.hpp"
#include "startup/start.hpp"
#include "support/booted.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"

namespace ixo::tui {
namespace {

// The test's clock: a wait takes exactly the time asked; `work` makes a
// pass take time (the routine `test-work ms`).
int64_t clock_ms = 0;
std::vector<int32_t> waits;
std::string pending_input;
int64_t fake_now() { return clock_ms; }
tty::wait_result fake_wait(int32_t ms) {
  waits.push_back(ms);
  clock_ms += ms;
  return tty::WAIT_TIMEOUT;
}
int32_t fake_read(uint8_t* dest, int32_t room) {
  int32_t n = static_cast<int32_t>(std::min<size_t>(pending_input.size(), static_cast<size_t>(room)));
  std::copy(pending_input.begin(), pending_input.begin() + n, dest);
  pending_input.erase(0, static_cast<size_t>(n));
  return n;
}
const loop::frame_io fake_io = {fake_now, fake_wait, fake_read};

void test_work() {
  clock_ms += integer::get(stack::arguments);
  none::box();
}
void test_waits() { integer::box(static_cast<int32_t>(waits.size())); }

const char* PRELUDE = R"(
  log: copy []
  note: func [v] [append/only log v]
  test-work: test-waits: none
)";

class tui_loop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::start_booted_runtime();
    ASSERT_FALSE(test::raised([] { eval(PRELUDE); }));
    cell spec{};
    memory::root_guard keep(&spec);
    lexer::load_text(&spec, "[ms]", 4);
    cell* body = block::rs_abs_at(&spec, 0);
    cell* r = routine::push("test-work", body, test_work);
    context::set_global(symbol::make("test-work"), *r);
    stack::pop(1);
    lexer::load_text(&spec, "[]", 2);
    r = routine::push("test-waits", block::rs_abs_at(&spec, 0), test_waits);
    context::set_global(symbol::make("test-waits"), *r);
    stack::pop(1);
  }

  void SetUp() override {
    tty::use_fds(-1, -1);
    loop::reset();
    loop::use_io(&fake_io);
    input::reset_queue();
    clock_ms = 1000;
    waits.clear();
    pending_input.clear();
    screen = screen_state{};
    ASSERT_FALSE(test::raised([] { eval("clear log"); }));
  }
  void TearDown() override {
    test::raised([] { eval("unview/all"); });
    while (!windows.empty()) destroy_widget(windows.back().window);
    loop::reset();
  }

  // Evaluates Ixo source; its value is left in `result`.
  static inline cell& result = test::eval_result;
  static void eval(const std::string& source) { test::eval_source(source); }
  // The molded value of the expression.
  static std::string molded(const std::string& source) {
    std::string text;
    auto e = test::raised([&] {
      eval("mold/flat do [" + source + "]");
      memory::root_guard keep(&result);
      text = test::text_of(&result);
    });
    EXPECT_FALSE(e) << source;
    return text;
  }
  static void run(const std::string& source) { EXPECT_FALSE(test::raised([&] { eval(source); })) << source; }
  static std::string log() { return molded("log"); }
  static widget_ref widget_of(const char* face) {
    cell f = *context::get_global(symbol::make(face));
    return face_handle_q(&f);
  }
  // Opens the window without waiting for it (one pass).
  static void open(const std::string& window) { run("view/no-wait " + window); }
};

TEST_F(tui_loop, a_rate_of_4_fires_every_250_ms_first_on_the_8th_pass_of_33) {
  open(R"(w: make face! [type: 'window size: 10x2 rate: 4
           actors: object [on-time: func [f e] [note e/type]]])");
  for (int i = 1; i <= 7; ++i) loop::advance(33);
  EXPECT_EQ(log(), "[]");
  loop::advance(33);
  EXPECT_EQ(log(), "[time]");
  // Counting starts again from 0 after a firing.
  for (int i = 1; i <= 7; ++i) loop::advance(33);
  EXPECT_EQ(log(), "[time]");
  loop::advance(33);
  EXPECT_EQ(log(), "[time time]");
}

TEST_F(tui_loop, rates_as_times_none_and_bad_values) {
  open(R"(w: make face! [type: 'window size: 10x2 rate: 0:0:2
           actors: object [on-time: func [f e] [note 'tick]]])");
  loop::advance(1999);
  EXPECT_EQ(log(), "[]");
  loop::advance(1);
  EXPECT_EQ(log(), "[tick]");
  // none removes the timer.
  run("w/rate: none");
  loop::advance(5000);
  EXPECT_EQ(log(), "[tick]");
  // 0 and other values raise invalid-facet-type.
  EXPECT_EQ(molded("e: try [w/rate: 0] reduce [e/id e/arg1 pick split form e newline 1]"),
            R"([invalid-facet-type 0 "*** Script Error: VIEW - invalid rate value: 0"])");
  EXPECT_EQ(molded("e: try [w/rate: -0:0:1] e/id"), "invalid-facet-type");
  EXPECT_EQ(molded("e: try [w/rate: 'fast] e/id"), "invalid-facet-type");
  run("w/rate: 3");
  loop::advance(332);
  EXPECT_EQ(log(), "[tick]");
  loop::advance(1);
  EXPECT_EQ(log(), "[tick tick]");
}

TEST_F(tui_loop, a_pass_that_took_50_ms_is_not_followed_by_a_wait_and_advances_the_timers_by_50) {
  // A timer of 100 ms; its handler works 50 ms at the first firing and
  // closes the window at the third. Each entry: the firing, and the waits
  // made so far.
  run(R"(n: 0 w: make face! [type: 'window size: 10x2 rate: 10
         actors: object [on-time: func [f e] [
           n: n + 1 note reduce [n test-waits]
           if n = 1 [test-work 50]
           if n = 3 [unview]
         ]]])");
  run("view w");
  // Passes of 0, 33, 66, 99, 132 ms: the first firing after 5 waits; then
  // a pass with no wait that advances by 50, and two of 33 (116); then
  // four of 33.
  EXPECT_EQ(log(), "[[1 5] [2 7] [3 11]]");
  EXPECT_EQ(waits, std::vector<int32_t>(11, 33));
}

TEST_F(tui_loop, two_releases_400_ms_apart_give_a_double_click_and_a_third_only_a_click) {
  open(R"(w: make face! [type: 'window size: 20x5 pane: reduce [
           b: make face! [type: 'base offset: 2x1 size: 5x2
             actors: object [
               on-click: func [f e] [note 'click]
               on-dbl-click: func [f e] [note 'dbl-click]
               on-down: func [f e] [note reduce ['down e/offset]]
               on-up: func [f e] [note 'up]
             ]]]])");
  loop::on_button(input::BUTTON_DOWN, 3, 2, 0);
  loop::on_button(input::BUTTON_UP, 3, 2, 0);
  EXPECT_EQ(log(), "[[down 1x1] up click]");
  run("clear log");
  for (int i = 0; i < 12; ++i) loop::advance(33);  // 396 ms
  loop::on_button(input::BUTTON_DOWN, 3, 2, 0);
  loop::on_button(input::BUTTON_UP, 3, 2, 0);
  EXPECT_EQ(log(), "[[down 1x1] up click dbl-click]");
  run("clear log");
  loop::advance(33);
  loop::on_button(input::BUTTON_DOWN, 3, 2, 0);
  loop::on_button(input::BUTTON_UP, 3, 2, 0);
  EXPECT_EQ(log(), "[[down 1x1] up click]");
  // 600 ms later: two single clicks.
  run("clear log");
  for (int i = 0; i < 19; ++i) loop::advance(33);
  loop::on_button(input::BUTTON_DOWN, 3, 2, 0);
  loop::on_button(input::BUTTON_UP, 3, 2, 0);
  EXPECT_EQ(log(), "[[down 1x1] up click]");
}

TEST_F(tui_loop, a_click_moves_the_focus_to_a_focusable_widget) {
  open(R"(w: make face! [type: 'window size: 20x5 pane: reduce [
           a: make face! [type: 'base offset: 0x0 size: 5x1 flags: [focusable]
             actors: object [on-unfocus: func [f e] [note 'a-unfocus]]]
           b: make face! [type: 'base offset: 0x2 size: 5x1 flags: [focusable]
             actors: object [on-focus: func [f e] [note 'b-focus]]]]])");
  EXPECT_EQ(loop::focused(), widget_of("a"));
  loop::on_button(input::BUTTON_DOWN, 1, 2, 0);
  loop::on_button(input::BUTTON_UP, 1, 2, 0);
  EXPECT_EQ(loop::focused(), widget_of("b"));
  EXPECT_EQ(log(), "[a-unfocus b-focus]");
}

TEST_F(tui_loop, keys_go_to_awake_as_key_down_then_key_then_to_the_widget) {
  open(R"(w: make face! [type: 'window size: 20x5 pane: reduce [
           f: make face! [type: 'field offset: 0x0 size: 10x1 text: copy "" flags: [focusable]
             actors: object [
               on-key-down: func [f e] [note reduce ['key-down e/key e/shift?] if e/key = #"x" ['done]]
               on-key: func [f e] [note reduce ['key e/key e/shift?]]
             ]]]])");
  ASSERT_EQ(loop::focused(), widget_of("f"));
  loop::on_key('a', 0);
  EXPECT_EQ(log(), "[[key-down #\"a\" false] [key #\"a\" false]]");
  EXPECT_EQ(molded("f/text"), "\"a\"");
  // done on key-down: no key event, and the field keeps its text.
  run("clear log");
  loop::on_key('x', 0);
  EXPECT_EQ(log(), "[[key-down #\"x\" false]]");
  EXPECT_EQ(molded("f/text"), "\"a\"");
  // Special keys answer their key words; back-tab is Tab with shift (the
  // global `tab` function takes its key-down).
  run("clear log");
  loop::on_key(0, input::SPECIAL_UP);
  loop::on_key(0, input::SPECIAL_BACK_TAB);
  loop::on_key(0, input::SPECIAL_F1);
  EXPECT_EQ(log(), "[[key-down up false] [key up false] [key #\"^-\" true] [key-down F1 false] [key F1 false]]");
}

TEST_F(tui_loop, decoded_mouse_reports_reach_the_faces_with_their_offsets) {
  open(R"(w: make face! [type: 'window size: 30x10 pane: reduce [
           b: make face! [type: 'base offset: 0x0 size: 30x10
             actors: object [
               on-down: func [f e] [note reduce ['down e/offset e/face = b]]
               on-up: func [f e] [note reduce ['up e/offset]]
               on-wheel: func [f e] [note reduce ['wheel e/picked]]
             ]]]])");
  pending_input = "\x1b[<0;10;5M\x1b[<0;10;5m\x1b[<64;1;1M\x1b[<65;1;1M";
  run("do-events/no-wait");
  EXPECT_EQ(log(), "[[down 9x4 true] [up 9x4] [wheel 1.0] [wheel -1.0]]");
}

TEST_F(tui_loop, exit_event_loop_from_an_actor_ends_only_the_innermost_loop) {
  run(R"(
    opened: closing: false
    inner: make face! [type: 'window size: 10x2 rate: 10
      actors: object [on-time: func [f e] [
        note 'inner closing: true system/view/platform/exit-event-loop
      ]]]
    outer: make face! [type: 'window size: 10x2 rate: 10
      actors: object [on-time: func [f e] [
        either not opened [opened: true note 'outer view inner note 'back] [
          if closing [note 'close unview/only outer]
        ]
      ]]]
    view outer
  )");
  EXPECT_EQ(log(), "[outer inner back close]");
  // The inner window was left open: its loop ended, not the window.
  EXPECT_EQ(windows.size(), 1u);
}

TEST_F(tui_loop, without_a_terminal_a_window_without_timers_returns_after_one_pass) {
  run("view w: make face! [type: 'window size: 10x2]");
  EXPECT_EQ(waits.size(), 1u);
  EXPECT_EQ(windows.size(), 1u);
  // Destroying the last window leaves no widgets.
  run("unview/all");
  EXPECT_TRUE(windows.empty());
  EXPECT_EQ(loop::nesting(), 0);
}

TEST_F(tui_loop, an_error_in_an_actor_is_printed_and_the_loop_goes_on) {
  run(R"(n: 0 w: make face! [type: 'window size: 10x2 rate: 10
         actors: object [on-time: func [f e] [n: n + 1 note n if n = 1 [1 / 0] if n = 2 [unview]]]])");
  run("view w");
  EXPECT_EQ(log(), "[1 2]");
}

TEST_F(tui_loop, turning_visible_off_hides_the_widget_and_its_children_and_update_view_checks_first) {
  open(R"(w: make face! [type: 'window size: 20x5 pane: reduce [
           p: make face! [type: 'panel offset: 0x0 size: 10x3 pane: reduce [
             c: make face! [type: 'base offset: 1x1 size: 3x1 text: "c"]]]]])");
  run("p/visible?: false");
  EXPECT_TRUE(widget_at(widget_of("p")).flags & WF_HIDDEN);
  // Hidden: nothing under the pointer there gets the click.
  loop::on_button(input::BUTTON_DOWN, 1, 1, 0);
  EXPECT_EQ(hit_test(windows.back().window, 1, 1), 0);
  // A block holding a non-object: invalid-type before any face is updated.
  run("p/visible?: true p/state/2: 512");
  EXPECT_EQ(molded("e: try [system/view/platform/update-view reduce [p 1]] reduce [e/id p/state/2]"),
            "[invalid-type 512]");
}

TEST_F(tui_loop, wait_runs_passes_without_waiting_so_that_timers_keep_firing) {
  // The terminal's clock: wait sleeps for real.
  loop::use_io(nullptr);
  run("n: 0");
  open(R"(w: make face! [type: 'window size: 10x2 rate: 50
           actors: object [on-time: func [f e] [n: n + 1]]])");
  run("wait 0.2");
  EXPECT_EQ(molded("n > 0"), "true");
}

}  // namespace
}  // namespace ixo::tui

// ---- UI mode over a pseudo-terminal ----------------------------------------------

namespace ixo::tui {
namespace {

class tui_loop_pty : public tui_loop {
 protected:
  int master = -1, slave = -1;
  void SetUp() override {
    tui_loop::SetUp();
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    winsize ws{24, 80, 0, 0};
    ioctl(slave, TIOCSWINSZ, &ws);
    tty::use_fds(slave, slave);
    static const loop::frame_io io = {fake_now, fake_wait, tty::read_available};
    loop::use_io(&io);
  }
  void TearDown() override {
    tui_loop::TearDown();
    tty::use_fds(-1, -1);
    use_sink(nullptr);
    set_output_fd(1);
    close(master);
    close(slave);
  }
  // Everything written to the terminal so far.
  std::string output() {
    std::string bytes;
    char buffer[4096];
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    fcntl(master, F_SETFL, flags);
    return bytes;
  }
  std::string modes() {
    termios t{};
    tcgetattr(slave, &t);
    return std::string(reinterpret_cast<const char*>(&t), sizeof t);
  }
};

const std::string MOUSE_ON = "\x1b[?1000h\x1b[?1003h\x1b[?1015h\x1b[?1006h";
const std::string MOUSE_OFF = "\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l";

TEST_F(tui_loop_pty, mouse_reporting_is_on_while_mouse_event_is_true_and_the_terminal_is_restored) {
  std::string before = modes();
  run(R"(system/view/platform/mouse-event?: true
         w: make face! [type: 'window size: 10x2 rate: 10 text: "x"
           actors: object [on-time: func [f e] [unview]]]
         view w
         system/view/platform/mouse-event?: false)");
  std::string out = output();
  size_t on = out.find(MOUSE_ON), off = out.find(MOUSE_OFF);
  EXPECT_NE(on, std::string::npos);
  EXPECT_NE(off, std::string::npos);
  EXPECT_LT(on, off);
  // Inline: the cursor position is asked; no alternate screen.
  EXPECT_NE(out.find("\x1b[6n"), std::string::npos);
  EXPECT_EQ(out.find("1049"), std::string::npos);
  EXPECT_EQ(modes(), before);
  EXPECT_FALSE(screen.active);
}

TEST_F(tui_loop_pty, a_fullscreen_window_uses_the_alternate_screen_and_keys_arrive) {
  std::string before = modes();
  ASSERT_EQ(write(master, "q", 1), 1);
  run(R"(w: make face! [type: 'window size: 10x2 text: "x" flags: [fullscreen]
           actors: object [on-key: func [f e] [note e/key unview]]]
         view w)");
  EXPECT_EQ(log(), "[#\"q\"]");
  std::string out = output();
  size_t enter = out.find("\x1b[?1049h\x1b[2J"), leave = out.find("\x1b[?1049l");
  EXPECT_NE(enter, std::string::npos);
  EXPECT_NE(leave, std::string::npos);
  EXPECT_LT(enter, leave);
  EXPECT_EQ(out.find(MOUSE_ON), std::string::npos);
  EXPECT_EQ(modes(), before);
}

}  // namespace
}  // namespace ixo::tui
