// The terminal the text UI runs on: standard input when it is a terminal,
// else the controlling terminal (/dev/tty), so that a script whose input
// or output is redirected still draws its windows. Frames go to standard
// output when it is a terminal, else to that same terminal.
//
// Raw mode, the window's size and the SIGWINCH watch are the platform's
// (platform/posix/terminal.hpp); raw mode is the same as the line
// editor's, held on this terminal. It is left on every way out of the
// process: `restore` is in the platform's restore chain, which the exit
// path, the fatal signals and SIGTERM, SIGHUP and SIGQUIT run. The wait
// for input also wakes on SIGWINCH, through the platform's self-pipe.
#pragma once
#include <cstdint>

namespace ixo::tui::tty {

// Finds the terminal once (later calls answer the same): whether one is
// available.
bool available_q();
// Tests run the UI over a pseudo-terminal: these descriptors take the
// place of the terminal (-1, -1: there is none).
void use_fds(int input, int output);
int input_fd();
int output_fd();

// The window's columns and rows; false when the terminal cannot tell.
bool window_size(int32_t& columns, int32_t& rows);

// Raw mode on the terminal; false when there is none or it refuses.
bool enter_raw();
void leave_raw();
// Puts back the terminal as it was before raw mode, shows the cursor and
// switches mouse reporting and the alternate screen off, when raw mode is
// on. Async-signal-safe.
void restore();
// Which of those the restore must undo (set as the UI switches them).
void note_modes(bool mouse, bool alternate_screen);

// What ended a wait.
enum wait_result : int32_t { WAIT_TIMEOUT = 0, WAIT_INPUT = 1, WAIT_RESIZE = 2 };
// Waits at most `ms` milliseconds for input or a resize of the window.
wait_result wait(int32_t ms);
// Whether the window changed size since the last call.
bool resized_q();
// Reads the bytes that are waiting, without waiting, up to `room`.
// Answers the count (0 when none or on failure).
int32_t read_available(uint8_t* dest, int32_t room);
// Drops the bytes that are waiting.
void drop_input();

// Monotonic milliseconds.
int64_t now_ms();

}  // namespace ixo::tui::tty
