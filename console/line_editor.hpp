// The line editor: reads one line for `ask`. On a terminal it edits the
// line in place (cursor keys, history, Tab completion, hidden input) and
// draws the prompt and the line through the console writer; with
// redirected input it reads one line of UTF-8 and shows nothing.
//
// The edited line, the history block and the text kept between edits are
// language values: the caller's string and block cells are copied into
// cells of the root block, so that the collector keeps them and the
// console's language code reads what the editor wrote (the history is the
// very block the console configuration saves). The caret is the line
// cell's index. The editor is not re-entrant.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::line_editor {

// Makes the text kept between edits (empty) and the module's cells in the
// root block. Runs once the root block exists; again after a new runtime.
void init_globals();

// Takes the string to edit (the caller's buffer; its index is the caret)
// and the history block (newest first; none for no history).
void set_buffer_history(const cell* line, const cell* history);

// Reads one line into the buffer given to set_buffer_history. On a
// terminal, shows the prompt (hidden: every character of the line as "*",
// and the line is kept out of the history). Answers false when the input
// ended before a line was complete; the text gathered stays in the buffer.
// Redirected input that is not UTF-8 raises access/invalid-utf8 once the
// line's bytes are consumed.
bool read_input(const cell* prompt, bool hidden);

// Tab completion: given the line positioned at the caret, fills `answer`
// with a block: empty for nothing to complete; one string, the new line
// positioned at the new caret; or more: first the new line (positioned
// likewise), then the candidates to show. The console installs its
// completion function here; without one, Tab inserts a tab.
using complete_fn = void (*)(cell* line, cell* answer);
void set_completion(complete_fn complete);

}  // namespace ixo::line_editor
