// The OS layer of the text UI: the routines bound into the fields of
// system/view/platform, through which the GUI layer reaches the backend,
// the backend's start, and the text metrics.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::tui::os {

// Columns and lines of a text laid out from column 0: LF starts a line,
// every character takes its display width, and with `wrap_at` above 0 a
// character that would pass that column starts a new line.
struct text_size {
  int32_t columns, lines;
};
text_size measure_text(const cell* text, int32_t wrap_at);

// Re-reads the terminal's size into the screen state (80 x 24 when the
// terminal cannot tell).
void read_size();

// Registers the routines.
void init_routines();

}  // namespace ixo::tui::os
