// The terminal over termios, ioctl and signals: raw mode, the window's
// size, the SIGWINCH watch with its self-pipe, and the restore chain.
#include "platform/posix/terminal.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "startup/system/runtime_error.hpp"

namespace ixo::platform::terminal {

// ---- Raw mode --------------------------------------------------------------------

bool enter_raw(raw_state& raw, int fd) {
  if (raw.on) return true;
  if (tcgetattr(fd, &raw.saved) != 0) return false;
  struct termios mode = raw.saved;
  mode.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IXON);
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSADRAIN, &mode) != 0) return false;
  raw.fd = fd;
  raw.on = 1;
  return true;
}

void leave_raw(raw_state& raw) {
  if (!raw.on) return;
  tcsetattr(raw.fd, TCSADRAIN, &raw.saved);
  raw.on = 0;
}

void restore_now(raw_state& raw) {
  if (!raw.on) return;
  tcsetattr(raw.fd, TCSANOW, &raw.saved);
  raw.on = 0;
}

// ---- The window --------------------------------------------------------------------

bool window_size(int fd, int fallback_fd, int32_t& columns, int32_t& rows) {
  winsize ws{};
  if (ioctl(fd, TIOCGWINSZ, &ws) != 0 && (fallback_fd < 0 || ioctl(fallback_fd, TIOCGWINSZ, &ws) != 0))
    return false;
  if (ws.ws_col == 0 || ws.ws_row == 0) return false;
  columns = ws.ws_col;
  rows = ws.ws_row;
  return true;
}

namespace {

volatile sig_atomic_t changes = 0;
int wake_pipe[2] = {-1, -1};

void on_window_change(int) {
  int saved = errno;
  changes = changes + 1;
  if (wake_pipe[1] >= 0) {
    char b = 1;
    ssize_t w = write(wake_pipe[1], &b, 1);
    (void)w;
  }
  errno = saved;
}

}  // namespace

void watch_window() {
  static bool done = false;
  if (done) return;
  done = true;
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) wake_pipe[0] = wake_pipe[1] = -1;
  struct sigaction sa {};
  sa.sa_handler = on_window_change;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &sa, nullptr);
}

uint32_t window_changes() { return static_cast<uint32_t>(changes); }

int window_wake_fd() { return wake_pipe[0]; }

void drain_window_wake() {
  char buffer[64];
  while (wake_pipe[0] >= 0 && read(wake_pipe[0], buffer, sizeof buffer) > 0) {
  }
}

// ---- Restore on exit ------------------------------------------------------------------

namespace {

constexpr int MAX_RESTORERS = 4;
void (*restorers[MAX_RESTORERS])();
volatile sig_atomic_t restorer_count = 0;

constexpr int ENDING_SIGNALS[3] = {SIGTERM, SIGHUP, SIGQUIT};
struct sigaction earlier_actions[3];

void run_restorers() {
  for (int i = restorer_count; i-- > 0;) restorers[i]();
}

// The terminal back, then the signal handled as it was before our handler.
void on_ending_signal(int signo) {
  run_restorers();
  for (int i = 0; i < 3; ++i)
    if (ENDING_SIGNALS[i] == signo) sigaction(signo, &earlier_actions[i], nullptr);
  raise(signo);
}

}  // namespace

void add_restorer(void (*restore)()) {
  for (int i = 0; i < restorer_count; ++i)
    if (restorers[i] == restore) return;
  if (restorer_count == MAX_RESTORERS) return;
  restorers[restorer_count] = restore;
  restorer_count = restorer_count + 1;
  if (restorer_count > 1) return;
  system::restore_on_exit = run_restorers;
  struct sigaction sa {};
  sa.sa_handler = on_ending_signal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(ENDING_SIGNALS[i], &sa, &earlier_actions[i]);
}

}  // namespace ixo::platform::terminal
