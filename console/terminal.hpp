// The terminal: standard input as a keyboard. Raw mode around each edit,
// one buffer of input bytes that every reader of standard input shares (so
// that the lines of a paste that arrive in one read all reach their
// readers), the editor's keys out of the key decoder's events, the wait
// that tells a lone Escape, and the window size. The line editor reads
// through here. Raw mode, the window's size and the decoder themselves are
// the platform's (platform/posix/terminal.hpp, keys.hpp).
//
// The byte I/O sits behind a table of entry points: the POSIX one works on
// file descriptor 0; tests put a scripted one in its place.
#pragma once
#include <cstdint>
#include <string>

#include "platform/posix/keys.hpp"

namespace ixo::terminal {

// ---- Keys ------------------------------------------------------------------

// A key is a code point (0 to 10FFFFh, surrogates excluded; control keys
// are their control characters, Backspace 127 or 8, Escape 27) or one of
// these negative numbers.
enum key : int32_t {
  KEY_END_OF_INPUT = -1,  // standard input ended or failed
  KEY_UP = -20,
  KEY_DOWN = -21,
  KEY_RIGHT = -22,
  KEY_LEFT = -23,
  KEY_END = -24,
  KEY_HOME = -25,
  KEY_DELETE = -27,
};

constexpr int32_t KEY_ESCAPE = 27;

// How long the bytes of a sequence may keep the reader waiting: an Escape
// key followed by nothing within this time is a lone Escape.
constexpr int32_t ESCAPE_TIMEOUT_MS = 50;

// The key of what the decoder found under the line editor's rules; false
// for what gives no key: bytes that are not UTF-8, mouse and cursor
// reports, and the named keys the editor has no use for.
bool key_of(const platform::keys::event& e, int32_t& key);

// ---- Byte I/O --------------------------------------------------------------

struct terminal_io {
  // Waits at most timeout_ms (-1: without limit) for input and reads up to
  // room bytes. Answers the count, 0 when the time ran out or a signal
  // interrupted the wait, -1 at the end of input or on a failure.
  int32_t (*read)(uint8_t* dest, int32_t room, int32_t timeout_ms);
  // Columns and rows of the window; false when the terminal cannot tell.
  bool (*window_size)(int32_t& columns, int32_t& rows);
  // The cursor's column (from 0), or -1 when unknown. Output is flushed
  // first.
  int32_t (*cursor_column)();
  // Raw mode: bytes as they are typed, no echo, signal keys off (Ctrl-C
  // arrives as the key 3). enter answers false when input is no terminal.
  bool (*enter_raw)();
  void (*leave_raw)();
};

// Standard input through termios and poll.
extern const terminal_io posix_terminal;

// Replaces the I/O and forgets what the input buffer held and any
// sequence under way; null restores posix_terminal.
void use_io(const terminal_io* io);

// Probes standard input (a terminal or not), reads the window size,
// watches SIGWINCH and adds raw mode's undoing to the chain that the exit
// path and the signals that end the process run.
void init();

// Whether standard input is a terminal (set by init; tests set it).
extern bool input_is_console_q;

// Columns and rows of the window, from the last probe (80x50 when the
// terminal cannot tell), and whether a SIGWINCH came since.
struct window {
  int32_t columns, rows;
};
window window_size();
// Re-reads the size when the window changed; answers whether it did.
bool window_changed_q();

// The cursor's column (from 0), or -1 when the terminal cannot tell.
int32_t cursor_column();

// ---- Raw mode --------------------------------------------------------------

// Enters raw mode for its scope and leaves it on every way out of it.
struct raw_mode {
  raw_mode();
  ~raw_mode();
  raw_mode(const raw_mode&) = delete;
  raw_mode& operator=(const raw_mode&) = delete;
  bool entered;
};

// ---- Reading ---------------------------------------------------------------

// The next key; waits for it. Answers KEY_END_OF_INPUT at the end of input.
int32_t read_key();

// Redirected input: the bytes of one line, without its line feed (a
// carriage return stays). Answers false when the input had ended and no
// byte came.
bool read_line_bytes(std::string& line);

// Up to room bytes: what the buffer holds first, else one read. Answers the
// count, 0 at the end of input.
int32_t read_bytes(uint8_t* dest, int32_t room);

}  // namespace ixo::terminal
