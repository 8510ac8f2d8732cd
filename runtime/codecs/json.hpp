// JSON text from values: the writer behind `to-json`. Strings are written
// between double quotes with the JSON escapes, numbers as their formed
// text, blocks as arrays and maps and objects as objects, compact or
// indented; any other value as the JSON string of its formed or molded
// text.
#pragma once
#include "runtime/memory/cell.hpp"

namespace ixo::json {

// Writes `value` as JSON text into `result`, a new string! (which no
// allocation may move). `indent` is the string each level of nesting is
// indented by, or nullptr for compact text; with `ascii` every character
// outside printable ASCII is escaped. A value nested in itself ends in
// internal/stack-overflow.
void encode(const cell* value, const cell* indent, bool ascii, cell* result);

}  // namespace ixo::json
