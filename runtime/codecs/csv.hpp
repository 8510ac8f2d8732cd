// CSV text and records: the line reader behind `load-csv` and the line
// writer behind `to-csv`.
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

// Reads lines of values from the string `data` (from its index) into the
// block `output`, each line a new block of new strings: the values are
// separated by `delimiter` (a char! or string!); a value starting with the
// `quote` character and closed by another is read between them, each
// doubled quote character inside taken as one; any other value runs to a
// CR, LF or character of the delimiter. A line ends at CR LF, LF, CR or the
// end of the text. With `trim` each value is trimmed of white space, then
// of one pair of enclosing quote characters. With `one`, reads one line,
// which must end in a line end, and answers the text after it, or none.
// Otherwise reads to the end of the text, or up to a line whose values are
// followed by something else, and answers the text where it stopped
// (its tail when it read all); with `ignore_empty` an empty last value of
// a line is dropped; with `strict` it answers false at the first line
// whose length differs from the first's. A line end at the very end adds
// no line. All cells must be rooted.
cell read_lines(const cell* output, cell* data, const cell* delimiter, uint32_t quote, bool trim,
                bool ignore_empty, bool strict, bool one);

}  // namespace ixo::csv
