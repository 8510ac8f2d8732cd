// A scripted terminal for the terminal module: each string of the script
// is what one read answers ("" is a read whose time runs out), then the
// input ends. The window size is set by the test; the cursor starts at
// column 0; raw mode is counted.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/terminal.hpp"

namespace ixo::test {

struct terminal_script {
  std::vector<std::string> reads;
  size_t next = 0;
  size_t offset = 0;  // bytes of reads[next] already answered
  int32_t columns = 20, rows = 6;
  int32_t raw_entered = 0, raw_left = 0;
};

inline terminal_script script;

namespace scripted_terminal {

inline int32_t read(uint8_t* dest, int32_t room, int32_t) {
  if (script.next >= script.reads.size()) return -1;
  const std::string& chunk = script.reads[script.next];
  if (chunk.empty()) {
    ++script.next;
    return 0;
  }
  size_t n = std::min(chunk.size() - script.offset, static_cast<size_t>(room));
  std::memcpy(dest, chunk.data() + script.offset, n);
  script.offset += n;
  if (script.offset == chunk.size()) ++script.next, script.offset = 0;
  return static_cast<int32_t>(n);
}

inline bool window_size(int32_t& columns, int32_t& rows) {
  columns = script.columns;
  rows = script.rows;
  return true;
}

inline int32_t cursor_column() { return 0; }
inline bool enter_raw() { return ++script.raw_entered, true; }
inline void leave_raw() { ++script.raw_left; }

}  // namespace scripted_terminal

inline const terminal::terminal_io scripted_io = {
    .read = scripted_terminal::read,
    .window_size = scripted_terminal::window_size,
    .cursor_column = scripted_terminal::cursor_column,
    .enter_raw = scripted_terminal::enter_raw,
    .leave_raw = scripted_terminal::leave_raw,
};

// Starts a script on a terminal of the given size.
inline void start_script(std::vector<std::string> reads, int32_t columns = 20, int32_t rows = 6) {
  script = terminal_script{};
  script.reads = std::move(reads);
  script.columns = columns;
  script.rows = rows;
  terminal::use_io(&scripted_io);
}

inline void end_script() {
  terminal::use_io(nullptr);
  terminal::input_is_console_q = false;
}

// Bytes with the control characters spelled out, for failure messages.
inline std::string visible(const std::string& bytes) {
  std::string s;
  for (unsigned char b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      s += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      s += hex;
    }
  }
  return s;
}

}  // namespace ixo::test
