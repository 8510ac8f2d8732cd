// The text UI's terminal over termios, poll and a SIGWINCH self-pipe.
#include "gui/tui/tty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "startup/system/runtime_error.hpp"

namespace ixo::tui::tty {

namespace {

bool probed = false;
int in_fd = -1, out_fd = -1;
bool opened_tty = false;  // in_fd is our own descriptor of /dev/tty

struct termios saved_mode;
volatile sig_atomic_t raw_on = 0;
volatile sig_atomic_t mouse_on = 0;
volatile sig_atomic_t alternate_on = 0;
volatile sig_atomic_t resized = 0;
int wake_pipe[2] = {-1, -1};

void (*chained_restore)() = nullptr;
struct sigaction saved_actions[3];
constexpr int ENDING_SIGNALS[3] = {SIGTERM, SIGHUP, SIGQUIT};

void write_all(int fd, const char* bytes, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, bytes, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    bytes += w;
    n -= static_cast<size_t>(w);
  }
}

void on_window_change(int) {
  int saved = errno;
  resized = 1;
  if (wake_pipe[1] >= 0) {
    char b = 1;
    ssize_t w = write(wake_pipe[1], &b, 1);
    (void)w;
  }
  errno = saved;
}

// SIGTERM, SIGHUP, SIGQUIT while raw: the terminal back, then the signal
// as it was handled before.
void on_ending_signal(int signo) {
  restore();
  for (int i = 0; i < 3; ++i)
    if (ENDING_SIGNALS[i] == signo) sigaction(signo, &saved_actions[i], nullptr);
  raise(signo);
}

void restore_then_chain() {
  restore();
  if (chained_restore) chained_restore();
}

// The wake pipe, its SIGWINCH handler and the exit path's restore, once.
void set_up() {
  static bool done = false;
  if (done) return;
  done = true;
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa {};
    sa.sa_handler = on_window_change;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &sa, nullptr);
  }
  chained_restore = system::restore_on_exit;
  system::restore_on_exit = restore_then_chain;
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

void drain_wake_pipe() {
  char buffer[64];
  while (wake_pipe[0] >= 0 && read(wake_pipe[0], buffer, sizeof buffer) > 0) {
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
  winsize ws{};
  if (ioctl(out_fd, TIOCGWINSZ, &ws) != 0 && ioctl(in_fd, TIOCGWINSZ, &ws) != 0) return false;
  if (ws.ws_col == 0 || ws.ws_row == 0) return false;
  columns = ws.ws_col;
  rows = ws.ws_row;
  return true;
}

bool enter_raw() {
  if (raw_on) return true;
  if (!available_q() || tcgetattr(in_fd, &saved_mode) != 0) return false;
  struct termios raw = saved_mode;
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IXON);
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(in_fd, TCSADRAIN, &raw) != 0) return false;
  raw_on = 1;
  struct sigaction sa {};
  sa.sa_handler = on_ending_signal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(ENDING_SIGNALS[i], &sa, &saved_actions[i]);
  return true;
}

void leave_raw() {
  if (!raw_on) return;
  tcsetattr(in_fd, TCSADRAIN, &saved_mode);
  raw_on = 0;
  for (int i = 0; i < 3; ++i) sigaction(ENDING_SIGNALS[i], &saved_actions[i], nullptr);
}

void note_modes(bool mouse, bool alternate_screen) {
  mouse_on = mouse;
  alternate_on = alternate_screen;
}

void restore() {
  if (!raw_on) return;
  static const char mouse_off[] = "\x1b[?1000l\x1b[?1003l\x1b[?1015l\x1b[?1006l";
  static const char leave_alternate[] = "\x1b[?1049l";
  static const char cursor_on[] = "\x1b[?25h\x1b[0m\r\n";
  if (mouse_on) write_all(out_fd, mouse_off, sizeof mouse_off - 1);
  if (alternate_on) write_all(out_fd, leave_alternate, sizeof leave_alternate - 1);
  write_all(out_fd, cursor_on, sizeof cursor_on - 1);
  tcsetattr(in_fd, TCSANOW, &saved_mode);
  raw_on = 0;
  mouse_on = 0;
  alternate_on = 0;
}

wait_result wait(int32_t ms) {
  int64_t until = now_ms() + ms;
  if (!available_q()) {
    sleep_ms(ms);
    return WAIT_TIMEOUT;
  }
  for (;;) {
    pollfd p[2] = {{in_fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
    int64_t left = until - now_ms();
    int r = poll(p, wake_pipe[0] >= 0 ? 2 : 1, left > 0 ? static_cast<int>(left) : 0);
    if (r < 0 && errno == EINTR) {
      if (resized) return WAIT_RESIZE;
      continue;
    }
    if (r <= 0) return WAIT_TIMEOUT;
    if (wake_pipe[0] >= 0 && p[1].revents) {
      drain_wake_pipe();
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
  if (!resized) return false;
  resized = 0;
  drain_wake_pipe();
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
