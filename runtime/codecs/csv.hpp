// CSV text from records: the line writer behind `to-csv`.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::csv {

// Appends to the string `output` one line per record of the block
// `records` (from its index): each value formed (a string as it is), put
// between `quote` characters with its own doubled when it holds a space,
// LF, CR, the quote character or a character of the delimiter (a char! or
// string!), the values separated by the delimiter, then LF; an empty
// record is an empty line. False, after the lines before it, at the first
// record whose length differs from `length` (any length when negative).
// A record that is not a block raises script/expect-arg as a line writer
// given it would. All cells must be rooted.
bool append_lines(const cell* output, const cell* records, const cell* delimiter, uint32_t quote,
                  int32_t length);

}  // namespace ixo::csv
