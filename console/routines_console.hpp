// The console's routines, registered by their Ixo names, and its launch.
// Each routine reads its argument cells from the argument base and leaves
// its result in the result slot.
#pragma once

namespace ixo::console {

void set_buffer_history();  // _set-buffer-history line hist: the editor's buffer and history
void read_input();          // _read-input prompt hidden?: true for a line, false at the end of input
void terminate_console();   // _terminate-console: nothing to undo on a terminal
void input_stdin();         // input-stdin: one line of standard input
void read_stdin();          // read-stdin buffer buflen: appends what came, answers the count
void init();                // init str (of system/console): window title and size

// Registers the routines and the editor's completion.
void init_routines();

// Start-up's last step: runs `cli-console-ctx/launch`.
void launch();

}  // namespace ixo::console
