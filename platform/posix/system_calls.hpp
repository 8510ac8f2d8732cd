// The operating-system services of the system natives: the environment as
// a list, file sizes and contents, running commands and helper tools, and
// handing a document or URL to the desktop's opener. Text crosses this boundary as
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

// A command for `call`: the program and its arguments, and the text that
// /bin/sh runs with `shell` or when the program is not found.
struct call_command {
  std::vector<std::string> argv;
  std::string shell_text;
  bool shell = false;
};

// Splits command text into arguments with shell-like quoting and nothing
// else: blanks (spaces, tabs, line ends) separate; '...' is literal; "..."
// groups and takes \" and \\ as escapes; outside quotes a backslash takes
// the next character as it is. No expansion of any kind. A quote left open
// runs to the end of the text.
std::vector<std::string> split_command(const std::string& text);

// Runs the program of argv, found on PATH, or /bin/sh -c with the shell
// text when `shell` is set, when argv is empty, or when the program is not
// found (a program the shell cannot find either ends with status 127).
// Input not given is the process's own; output and error not given go to
// the process's own streams with `console`, else to /dev/null. Any stream
// given makes the call wait, as `wait` and `console` do. Waiting answers
// the exit status (128 + the signal number for a command killed by a
// signal); not waiting answers the process id. A stream, pipe or process
// that cannot be made answers -1.
int32_t call(const call_command& command, bool wait, bool console, call_stream& in,
             call_stream& out, call_stream& err);

// Whether an executable file of the name is in a folder of PATH.
bool on_path(const char* name);

// Runs a helper tool found on PATH with these arguments (never through a
// shell), sends `input` to its standard input and, when `output` is given,
// captures its standard output; its error output goes to /dev/null, and so
// does its standard output when no capture is asked, so that a tool that
// stays behind to serve a selection holds none of our pipes. True when the
// tool ended with status 0 within `timeout_ms`; a tool still running then
// is killed and the answer is false.
bool run_tool(const std::vector<std::string>& argv, const std::string& input, std::string* output,
              int timeout_ms);

// Opens a URL or a file with the desktop's opener (xdg-open), without
// waiting for it; false when the opener cannot be started.
bool browse(const std::string& target);

}  // namespace ixo::platform
