// The operating-system services of the system natives: the environment as
// a list, file sizes and contents, running shell commands and handing a
// document or URL to the desktop's opener. Text crosses this boundary as
// UTF-8 bytes.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ixo::platform {

// Removes a variable from the process's environment; false when the name
// cannot be a variable's.
bool unset_env(const char* name);

// Every variable of the process's environment as (name, value), in the
// environment's order, without those whose name begins with "=".
std::vector<std::pair<std::string, std::string>> list_env();

// The size in bytes of a regular file; -1 when it cannot be opened or is
// not a regular file.
int64_t file_size(const char* path);
// The whole content of a file; false when it cannot be opened or read.
bool read_file(const char* path, std::string& bytes);

// One standard stream of a command run by `call`.
struct call_stream {
  enum kind_t { NONE, FILE, BYTES } kind = NONE;
  std::string path;   // FILE: read for input, appended to for output
  std::string bytes;  // BYTES: the input to send, or the output captured
};

// Runs the command through /bin/sh -c. Input not given is the process's
// own; output and error not given go to the process's own streams with
// `console`, else to /dev/null. Any stream given makes the call wait, as
// `wait` and `console` do. Waiting answers the exit status (128 + the
// signal number for a command killed by a signal); not waiting answers the
// process id. A stream, pipe or process that cannot be made answers -1.
int32_t call(const std::string& command, bool wait, bool console, call_stream& in,
             call_stream& out, call_stream& err);

// Opens a URL or a file with the desktop's opener (xdg-open), without
// waiting for it; false when the opener cannot be started.
bool browse(const std::string& target);

}  // namespace ixo::platform
