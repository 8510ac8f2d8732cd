// The text UI's terminal over the platform's raw mode, window size and
// SIGWINCH watch, and poll.
#include "gui/tui/tty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/posix/terminal.hpp"

namespace ixo::tui::tty {

namespace {

bool probed = false;
int in_fd = -1, out_fd = -1;
bool opened_tty = false;  // in_fd is our own descriptor of /dev/tty

namespace terminal = platform::terminal;

terminal::raw_state ui_raw;
volatile sig_atomic_t mouse_on = 0;
volatile sig_atomic_t alternate_on = 0;
uint32_t window_changes_seen = 0;

void write_all(int fd, const char* bytes, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, bytes, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    bytes += w;
    n -= static_cast<size_t>(w);
  }
}

bool resized_since_q() { return terminal::window_changes() != window_changes_seen; }

// The SIGWINCH watch and the restore on every way out, once.
void set_up() {
  static bool done = false;
  if (done) return;
  done = true;
  terminal::watch_window();
  window_changes_seen = terminal::window_changes();
  terminal::add_restorer(restore);
}

void probe() {
  if (probed) return;
  probed = true;
  if (isatty(STDIN_FILENO) == 1) {
    in_fd = STDIN_FILENO;
  } else {
    in_fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    opened_tty = in_fd >= 0;
  }
  if (in_fd < 0) return;
  out_fd = isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : in_fd;
  set_up();
}

void sleep_ms(int64_t ms) {
  if (ms <= 0) return;
  timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

}  // namespace

bool available_q() {
  probe();
  return in_fd >= 0;
}

void use_fds(int input, int output) {
  leave_raw();
  if (opened_tty) close(in_fd);
  opened_tty = false;
  in_fd = input;
  out_fd = output;
  probed = true;
  if (input >= 0) set_up();
}

int input_fd() {
  probe();
  return in_fd;
}

int output_fd() {
  probe();
  return out_fd;
}

bool window_size(int32_t& columns, int32_t& rows) {
  if (!available_q()) return false;
  return terminal::window_size(out_fd, in_fd, columns, rows);
}

bool enter_raw() {
  if (ui_raw.on) return true;
  return available_q() && terminal::enter_raw(ui_raw, in_fd);
}

void leave_raw() { terminal::leave_raw(ui_raw); }

void note_modes(bool mouse, bool alternate_screen) {
  mouse_on = mouse;
  alternate_on = alternate_screen;
}

void restore() {
  if (!ui_raw.on) return;
  static const char mouse_off[] = "\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l";
  static const char leave_alternate[] = "\x1b[?1049l";
  static const char cursor_on[] = "\x1b[?25h\x1b[0m\r\n";
  if (mouse_on) write_all(out_fd, mouse_off, sizeof mouse_off - 1);
  if (alternate_on) write_all(out_fd, leave_alternate, sizeof leave_alternate - 1);
  write_all(out_fd, cursor_on, sizeof cursor_on - 1);
  terminal::restore_now(ui_raw);
  mouse_on = 0;
  alternate_on = 0;
}

wait_result wait(int32_t ms) {
  int64_t until = now_ms() + ms;
  if (!available_q()) {
    sleep_ms(ms);
    return WAIT_TIMEOUT;
  }
  int wake_fd = terminal::window_wake_fd();
  for (;;) {
    pollfd p[2] = {{in_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    int64_t left = until - now_ms();
    int r = poll(p, wake_fd >= 0 ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
    if (r < 0 && errno == EINTR) {
      if (resized_since_q()) return WAIT_RESIZE;
      continue;
    }
    if (r <= 0) return WAIT_TIMEOUT;
    if (wake_fd >= 0 && p[1].revents) {
      terminal::drain_window_wake();
      return WAIT_RESIZE;
    }
    if (p[0].revents & POLLIN) return WAIT_INPUT;
    // A terminal that hung up: nothing will come, the frame still takes
    // its time.
    sleep_ms(until - now_ms());
    return WAIT_TIMEOUT;
  }
}

bool resized_q() {
  if (!resized_since_q()) return false;
  window_changes_seen = terminal::window_changes();
  terminal::drain_window_wake();
  return true;
}

int32_t read_available(uint8_t* dest, int32_t room) {
  if (!available_q() || room <= 0) return 0;
  pollfd p{in_fd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return 0;
  ssize_t n = read(in_fd, dest, static_cast<size_t>(room));
  return n > 0 ? static_cast<int32_t>(n) : 0;
}

void drop_input() {
  if (available_q()) tcflush(in_fd, TCIFLUSH);
}

int64_t now_ms() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace ixo::tui::tty
