// The terminal over poll on standard input, the platform's raw mode and
// window size, and the key decoder under the line editor's rules.
#include "console/terminal.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/terminal.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::terminal {

bool input_is_console_q = false;

// ---- Keys ----------------------------------------------------------------------

bool key_of(const platform::keys::event& e, int32_t& key) {
  using namespace platform::keys;
  if (e.kind == EVENT_CHAR) {
    key = e.value;
    return true;
  }
  if (e.kind != EVENT_KEY) return false;
  switch (e.value) {
    case NAMED_UP: key = KEY_UP; return true;
    case NAMED_DOWN: key = KEY_DOWN; return true;
    case NAMED_RIGHT: key = KEY_RIGHT; return true;
    case NAMED_LEFT: key = KEY_LEFT; return true;
    case NAMED_HOME: key = KEY_HOME; return true;
    case NAMED_END: key = KEY_END; return true;
    case NAMED_DELETE: key = KEY_DELETE; return true;
    default: return false;
  }
}

// ---- POSIX I/O -------------------------------------------------------------------

namespace {

namespace keys = platform::keys;

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
keys::decoder decoder{keys::LINE_EDITOR_RULES};
int32_t decoded[keys::MAX_EVENTS];
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
  decoder = keys::decoder{keys::LINE_EDITOR_RULES};
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
      keys::event events[keys::MAX_EVENTS];
      int32_t n = keys::feed(decoder, input_buffer[input_head++], events);
      for (int32_t i = 0; i < n; ++i)
        if (key_of(events[i], decoded[decoded_count])) ++decoded_count;
      continue;
    }
    // Inside a sequence the rest must follow at once; a pause ends it.
    int32_t n = fill(keys::pending_q(decoder) ? ESCAPE_TIMEOUT_MS : -1);
    if (n > 0) continue;
    if (keys::pending_q(decoder)) {
      keys::event e;
      int32_t k;
      if (keys::timeout(decoder, e) && key_of(e, k)) return k;
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
