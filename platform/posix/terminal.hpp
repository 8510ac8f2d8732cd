// The terminal under the line editor and the text UI: raw mode, the
// window's size, the SIGWINCH watch, and the chain of restorers that puts
// the terminal back on every way out of the process. What the bytes read
// mean is the key decoder's (keys.hpp); when and how long to wait for them
// stays with each reader.
#pragma once
#include <termios.h>

#include <csignal>
#include <cstdint>

namespace ixo::platform::terminal {

// ---- Raw mode ------------------------------------------------------------------

// One reader's raw mode: the terminal it holds and the mode to put back.
// Each reader keeps its own, so that one entering raw mode inside the
// other's leaves the outer one's mode in force when it is done.
struct raw_state {
  int fd = -1;
  struct termios saved {};
  volatile sig_atomic_t on = 0;
};

// Bytes as they are typed, no echo, signal keys off (Ctrl-C arrives as the
// byte 3); output processing stays on, so that a line feed still starts a
// new row. Answers true when raw mode is already on, false when fd is no
// terminal or refuses the mode.
bool enter_raw(raw_state& raw, int fd);
// Puts the saved mode back once the output written so far has gone out.
void leave_raw(raw_state& raw);
// Puts the saved mode back at once, for the exit path and signal
// handlers. Async-signal-safe.
void restore_now(raw_state& raw);

// ---- The window ------------------------------------------------------------------

// Columns and rows of the window of the terminal on fd, else on fallback_fd
// (-1 for none): the first of the two that is a terminal answers. False
// when neither is one or the size is not known (0).
bool window_size(int fd, int fallback_fd, int32_t& columns, int32_t& rows);

// Installs the SIGWINCH handler, once: each change of the window's size
// counts, and makes window_wake_fd readable.
void watch_window();
// The changes counted so far; a reader compares it with the count it saw.
uint32_t window_changes();
// Readable after a change, until drain_window_wake; -1 when no pipe could
// be made.
int window_wake_fd();
void drain_window_wake();

// ---- Restore on exit ---------------------------------------------------------------

// Adds a restorer, once, to the chain that the process's exit path, its
// fault handlers and SIGTERM, SIGHUP and SIGQUIT run, the latest added
// first (the exit path reaches it through system::restore_on_exit). After
// the chain a signal is handled as it was before the first restorer came:
// by default it ends the process. A restorer must be async-signal-safe and
// do nothing when its terminal is not raw.
void add_restorer(void (*restore)());

}  // namespace ixo::platform::terminal
