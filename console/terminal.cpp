// The terminal over poll on standard input and the platform's raw mode
// and window size, and the VT key decoder.
#include "console/terminal.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/terminal.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::terminal {

bool input_is_console_q = false;

// ---- Key decoder ---------------------------------------------------------------

namespace {

enum decoder_state : int32_t { GROUND, ESCAPE, CSI, SS3, UTF8 };

// The key of a CSI or SS3 sequence ending in `final` with the parameter
// bytes gathered, or KEY_NONE for a sequence the editor has no use for.
int32_t sequence_key(const key_decoder& d, uint8_t final) {
  bool plain = d.param_count == 0;
  switch (final) {
    case 'A': return plain ? KEY_UP : KEY_NONE;
    case 'B': return plain ? KEY_DOWN : KEY_NONE;
    case 'C': return plain ? KEY_RIGHT : KEY_NONE;
    case 'D': return plain ? KEY_LEFT : KEY_NONE;
    case 'H': return plain ? KEY_HOME : KEY_NONE;
    case 'F': return plain ? KEY_END : KEY_NONE;
    case '~':
      if (d.param_count != 1) return KEY_NONE;
      switch (d.params[0]) {
        case '1': case '7': return KEY_HOME;
        case '4': case '8': return KEY_END;
        case '3': return KEY_DELETE;
        default: return KEY_NONE;
      }
    default: return KEY_NONE;
  }
}

// A byte in ground state.
int32_t ground_byte(key_decoder& d, uint8_t byte, int32_t* keys) {
  if (byte == KEY_ESCAPE) {
    d.state = ESCAPE;
    return 0;
  }
  if (byte < 0x80) {
    keys[0] = byte;
    return 1;
  }
  // A UTF-8 lead byte; C0, C1 and F5-FF never start a valid sequence, and a
  // stray continuation byte is dropped.
  if (byte >= 0xC2 && byte <= 0xDF) d.need = 1, d.cp = byte & 0x1F;
  else if (byte >= 0xE0 && byte <= 0xEF) d.need = 2, d.cp = byte & 0x0F;
  else if (byte >= 0xF0 && byte <= 0xF4) d.need = 3, d.cp = byte & 0x07;
  else return 0;
  d.length = d.need + 1;
  d.state = UTF8;
  return 0;
}

void reset(key_decoder& d) { d = key_decoder{}; }

}  // namespace

int32_t feed_byte(key_decoder& d, uint8_t byte, int32_t keys[2]) {
  switch (d.state) {
    case ESCAPE:
      if (byte == '[') {
        d.state = CSI;
        return 0;
      }
      if (byte == 'O') {
        d.state = SS3;
        return 0;
      }
      reset(d);
      // Escape and another printable character is an Alt key: ignored.
      if (byte >= 0x20 && byte < 0x7F) return 0;
      // Escape then a control character or the start of a character: the
      // Escape key, then that byte on its own.
      keys[0] = KEY_ESCAPE;
      return 1 + ground_byte(d, byte, keys + 1);
    case CSI:
      if (byte >= 0x30 && byte <= 0x3F) {  // parameter bytes
        if (d.param_count < static_cast<int32_t>(sizeof d.params)) d.params[d.param_count] = static_cast<char>(byte);
        if (d.param_count < 1000) ++d.param_count;
        return 0;
      }
      if (byte >= 0x20 && byte <= 0x2F) {  // intermediate bytes: no key of ours has one
        d.param_count = 1000;
        return 0;
      }
      if (byte >= 0x40 && byte <= 0x7E) {
        int32_t k = sequence_key(d, byte);
        reset(d);
        if (k == KEY_NONE) return 0;
        keys[0] = k;
        return 1;
      }
      reset(d);
      return ground_byte(d, byte, keys);
    case SS3:
      if (byte >= 0x20 && byte <= 0x7E) {
        int32_t k = sequence_key(d, byte);
        reset(d);
        if (k == KEY_NONE) return 0;
        keys[0] = k;
        return 1;
      }
      reset(d);
      return ground_byte(d, byte, keys);
    case UTF8:
      if ((byte & 0xC0) != 0x80) {
        reset(d);
        return ground_byte(d, byte, keys);
      }
      d.cp = d.cp << 6 | (byte & 0x3F);
      if (--d.need > 0) return 0;
      {
        uint32_t cp = d.cp;
        uint32_t least = d.length == 2 ? 0x80 : d.length == 3 ? 0x800 : 0x10000;
        reset(d);
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
        keys[0] = static_cast<int32_t>(cp);
        return 1;
      }
    default:
      return ground_byte(d, byte, keys);
  }
}

int32_t timeout(key_decoder& d) {
  bool escape = d.state == ESCAPE;
  reset(d);
  return escape ? KEY_ESCAPE : KEY_NONE;
}

// ---- POSIX I/O -------------------------------------------------------------------

namespace {

platform::terminal::raw_state editor_raw;
uint32_t window_changes_seen = 0;

int32_t posix_read(uint8_t* dest, int32_t room, int32_t timeout_ms) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int r = poll(&p, 1, timeout_ms);
  if (r == 0 || (r < 0 && errno == EINTR)) return 0;
  if (r < 0) return -1;
  ssize_t n = read(STDIN_FILENO, dest, static_cast<size_t>(room));
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  return n > 0 ? static_cast<int32_t>(n) : -1;
}

bool posix_window_size(int32_t& columns, int32_t& rows) {
  return platform::terminal::window_size(STDOUT_FILENO, STDIN_FILENO, columns, rows);
}

// Asks the terminal where the cursor is (ESC [ 6 n) and waits briefly for
// the report ESC [ row ; column R. Bytes typed ahead arrive before it: they
// stay in the shared buffer, and the report is cut out of it. A report
// that comes too late is a complete sequence the key decoder ignores.
int32_t posix_cursor_column();

bool posix_enter_raw() { return platform::terminal::enter_raw(editor_raw, STDIN_FILENO); }

void posix_leave_raw() { platform::terminal::leave_raw(editor_raw); }

// Leaves raw mode if it is on: the restorer of the exit path and of the
// signals that end the process.
void restore() { posix_leave_raw(); }

const terminal_io* io = &posix_terminal;

// The shared input buffer: bytes read but not yet taken.
constexpr int32_t INPUT_BUFFER_SIZE = 4096;
uint8_t input_buffer[INPUT_BUFFER_SIZE];
int32_t input_head = 0, input_tail = 0;
bool input_ended = false;
key_decoder decoder;
int32_t decoded[2];
int32_t decoded_count = 0, decoded_next = 0;

window current_window{80, 50};

// Reads more bytes into the buffer, after what it holds. Answers the
// count, 0 for a timeout or an interruption, -1 at the end of input.
int32_t fill(int32_t timeout_ms) {
  if (input_ended) return -1;
  if (input_head == input_tail) input_head = input_tail = 0;
  if (input_tail - input_head == INPUT_BUFFER_SIZE) return 0;  // full: take bytes first
  if (input_tail == INPUT_BUFFER_SIZE) {
    std::memmove(input_buffer, input_buffer + input_head, static_cast<size_t>(input_tail - input_head));
    input_tail -= input_head;
    input_head = 0;
  }
  int32_t n = io->read(input_buffer + input_tail, INPUT_BUFFER_SIZE - input_tail, timeout_ms);
  if (n < 0) {
    input_ended = true;
    return -1;
  }
  input_tail += n;
  return n;
}

void probe_window() {
  int32_t columns = 0, rows = 0;
  if (io->window_size(columns, rows)) current_window = {columns, rows};
  else if (current_window.columns <= 0) current_window = {80, 50};
}

int32_t posix_cursor_column() {
  if (isatty(STDOUT_FILENO) != 1) return -1;
  system::flush_output();
  static const char query[] = "\x1b[6n";
  if (write(STDOUT_FILENO, query, sizeof query - 1) != static_cast<ssize_t>(sizeof query - 1)) return -1;
  int32_t from = input_head;
  for (int32_t tries = 0; tries < 8; ++tries) {
    // Look for ESC [ digits ; digits R among the bytes not yet taken.
    for (int32_t i = from; i + 1 < input_tail; ++i) {
      if (input_buffer[i] != 0x1B || input_buffer[i + 1] != '[') continue;
      int32_t j = i + 2, row = 0, column = 0, digits = 0;
      while (j < input_tail && input_buffer[j] >= '0' && input_buffer[j] <= '9') row = row * 10 + (input_buffer[j++] - '0'), ++digits;
      if (j >= input_tail || input_buffer[j] != ';' || digits == 0) continue;
      ++j;
      digits = 0;
      while (j < input_tail && input_buffer[j] >= '0' && input_buffer[j] <= '9' && digits < 6) column = column * 10 + (input_buffer[j++] - '0'), ++digits;
      if (j >= input_tail || input_buffer[j] != 'R' || digits == 0) continue;
      std::memmove(input_buffer + i, input_buffer + j + 1, static_cast<size_t>(input_tail - j - 1));
      input_tail -= j + 1 - i;
      return column > 0 ? column - 1 : 0;
    }
    if (fill(ESCAPE_TIMEOUT_MS * 2) <= 0) break;
  }
  return -1;
}

}  // namespace

const terminal_io posix_terminal = {
    .read = posix_read,
    .window_size = posix_window_size,
    .cursor_column = posix_cursor_column,
    .enter_raw = posix_enter_raw,
    .leave_raw = posix_leave_raw,
};

void use_io(const terminal_io* replacement) {
  io = replacement ? replacement : &posix_terminal;
  input_head = input_tail = 0;
  input_ended = false;
  decoder = key_decoder{};
  decoded_count = decoded_next = 0;
  current_window = {80, 50};
  probe_window();
}

void init() {
  input_is_console_q = isatty(STDIN_FILENO) == 1;
  if (!input_is_console_q) return;
  probe_window();
  platform::terminal::watch_window();
  window_changes_seen = platform::terminal::window_changes();
  platform::terminal::add_restorer(restore);
}

window window_size() { return current_window; }

int32_t cursor_column() { return io->cursor_column(); }

bool window_changed_q() {
  uint32_t changes = platform::terminal::window_changes();
  if (changes == window_changes_seen) return false;
  window_changes_seen = changes;
  probe_window();
  return true;
}

raw_mode::raw_mode() : entered(io->enter_raw()) {}
raw_mode::~raw_mode() {
  if (entered) io->leave_raw();
}

// ---- Reading ---------------------------------------------------------------------

int32_t read_key() {
  for (;;) {
    if (decoded_next < decoded_count) return decoded[decoded_next++];
    decoded_count = decoded_next = 0;
    if (input_head < input_tail) {
      decoded_count = feed_byte(decoder, input_buffer[input_head++], decoded);
      continue;
    }
    // Inside a sequence the rest must follow at once; a pause ends it.
    int32_t n = fill(pending_q(decoder) ? ESCAPE_TIMEOUT_MS : -1);
    if (n > 0) continue;
    if (pending_q(decoder)) {
      int32_t k = timeout(decoder);
      if (k != KEY_NONE) return k;
    }
    if (n < 0) return KEY_END_OF_INPUT;
  }
}

bool read_line_bytes(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (input_head == input_tail) {
      if (fill(-1) < 0) return any;
      continue;
    }
    any = true;
    const uint8_t* start = input_buffer + input_head;
    const auto* lf = static_cast<const uint8_t*>(std::memchr(start, '\n', static_cast<size_t>(input_tail - input_head)));
    int32_t n = lf ? static_cast<int32_t>(lf - start) : input_tail - input_head;
    line.append(reinterpret_cast<const char*>(start), static_cast<size_t>(n));
    input_head += n;
    if (lf) {
      ++input_head;
      return true;
    }
  }
}

int32_t read_bytes(uint8_t* dest, int32_t room) {
  if (room <= 0) return 0;
  while (input_head == input_tail)
    if (fill(-1) < 0) return 0;
  int32_t n = input_tail - input_head < room ? input_tail - input_head : room;
  std::memcpy(dest, input_buffer + input_head, static_cast<size_t>(n));
  input_head += n;
  return n;
}

}  // namespace ixo::terminal
