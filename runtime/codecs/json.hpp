// JSON text and values: the reader behind `load-json` with its escapes and
// names, and the writer behind `to-json`. Strings are written between
// double quotes with the JSON escapes, numbers as their formed text, blocks
// as arrays and maps and objects as objects, compact or indented; any
// other value as the JSON string of its formed or molded text.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::json {

// What `decode` answers besides the position of a failure.
constexpr int32_t DECODED = -1;   // the text is one JSON value
constexpr int32_t TOO_DEEP = -2;  // blocks and maps nest past MAX_DEPTH
// The nesting the reader takes on. The boot library's grammar, which the
// reader follows, reaches the limit of its rule stack only past 550
// levels, so up to here the two answer alike; deeper text is left to the
// grammar.
constexpr int32_t MAX_DEPTH = 500;

// Reads the string `input` (rooted) from its index to its tail as one JSON
// value with white space around it: DECODED with `result` (a cell no
// allocation moves) a new block holding the value, TOO_DEEP, or the
// absolute position of the last good place before the failure: after the
// last value, name's colon or line feed read, else the input's index. A
// string with a high surrogate escape and no low one after it raises
// script/invalid-data as `unescape` does.
int32_t decode(cell* input, cell* result);

// Undoes the JSON escapes of the string `s` (rooted) in place, from its
// index: \" \\ \/ \b \f \n \r \t and \uXXXX, a high surrogate with the \u
// low one after it making one code point. Anything else, or text ending
// inside an escape, raises script/invalid-data with the string as
// rewritten so far.
void unescape(cell* s);

// Turns the string `s` into the word spelled exactly as it when its first
// character is neither a digit nor an apostrophe, it holds no character
// that ends or refuses a word, and the lexer reads the whole name as that
// word; otherwise leaves it a string.
void name_key(cell* s);

// Writes `value` as JSON text into `result`, a new string! (which no
// allocation may move). `indent` is the string each level of nesting is
// indented by, or nullptr for compact text; with `ascii` every character
// outside printable ASCII is escaped. A value nested in itself ends in
// internal/stack-overflow.
void encode(const cell* value, const cell* indent, bool ascii, cell* result);

}  // namespace ixo::json
