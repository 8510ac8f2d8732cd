// The escape-sequence interpreter of the console path: ESC "[" sequences
// in printed text become cursor moves, erases and character attributes of
// a console layer. Sequences it does not interpret go to the console
// unchanged.
#pragma once
#include <cstdint>

#include "startup/system/console_layer.hpp"

namespace ixo::system {

// Interprets the sequence whose ESC is at `text`, `bytes` bytes of units of
// `unit` (1 or 2) bytes being left in the printed text. Answers the bytes
// consumed (ESC and "[" included), or 0 when the unit after ESC is not "["
// and the ESC is an ordinary character.
int32_t do_ansi_sequence(const console_layer& console, const uint8_t* text, int32_t bytes,
                         int32_t unit);

}  // namespace ixo::system
