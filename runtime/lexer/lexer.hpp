// The lexer: UTF-8 source text to values. A scan cuts the bytes into
// tokens with the character class table, sorts each token into one of the
// 36 token rows (structure, strings, words, numbers, dates, money...), and
// builds each value with its datatype's own constructors. Values are
// assembled on one output stack of cells shared by all running scans: a
// block, paren, map or path is opened by a marker cell and copied into its
// series once, when it closes, so nesting costs no machine stack.
//
// Scans nest: a trace callback may call `transcode`, whose scan builds on
// top of the output of the scan that called it. Syntax errors are raised
// through `fire` as syntax/invalid, missing, malconstruct or bad-char with
// the line ("(line 3)") and the text where the error lies.
//
// The text given to `scan` must not lie in the arena, save in a big
// series scanned without a callback: values made during the scan may move
// every other series buffer. `load_string` copies a string's text into the
// lexer's own scratch buffer first.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::lexer {

// Events a trace callback may ask for, by the words of its body's first
// block; a body without that block gets all six.
enum event_bit : int32_t {
  EVENT_PRESCAN = 1,
  EVENT_SCAN = 2,
  EVENT_LOAD = 4,
  EVENT_OPEN = 8,
  EVENT_CLOSE = 16,
  EVENT_ERROR = 32,
  EVENT_ALL = 63,
};

// Calls the trace function `callback` with the five argument cells at
// `arguments` (event word, input series, type, line, token), which lie on
// the value stack, and answers its result read as logic. When the function
// moved its input argument to another position, the call leaves that value
// in arguments[1]. The interpreter sets this; while it is null a callback
// is never called and every event counts as accepted.
using trace_caller = bool (*)(const cell* callback, cell* arguments);
extern trace_caller call_trace;

// Allocates the output stack and the scratch text buffer and registers the
// output stack with the collector. Start-up calls it once, after the
// symbol table and the runtime's words exist.
void init();

// What a scan does with each token.
struct scan_mode {
  bool one = false;    // stop after the first complete top-level value
  bool load = true;    // false: prescan, the classification of tokens only
  bool store = true;   // false with load: check every token, keep no value
  bool wrap = false;   // with one: answer a block even of one value
  bool quiet = false;  // a syntax error stops the scan without raising: dst gets none
};

// Scans `length` bytes at `text`. With store, the values made go to `dst`
// (a cell no allocation moves): in one mode without wrap the first value
// itself, otherwise a new block of them all; with `into` (a block cell no
// allocation moves) they are appended to it instead and `dst` gets it.
// Answers the datatype id of the last token (0 for structure); in prescan
// and scan modes the guessed or recognised type of the first value.
// `consumed`, when given, receives the bytes read. `callback` is a
// function! or routine! cell, or null; `input` the series the text came
// from (reported to the callback), or null.
int32_t scan(cell* dst, const uint8_t* text, int32_t length, scan_mode mode, int32_t* consumed,
             const cell* callback, const cell* input, cell* into);

// Scans the string `s` from its index, `length` characters of it (-1: up
// to the tail), encoded into the scratch buffer as UTF-8. `consumed`
// receives characters read.
int32_t load_string(cell* dst, cell* s, int32_t length, scan_mode mode, int32_t* consumed,
                    const cell* callback, cell* into);

// Loads UTF-8 text (outside the arena) into a new block in `dst`.
cell* load_text(cell* dst, const char* text, int32_t length);

// The state of the chain of running scans, for tests: how many there are.
int32_t depth();

}  // namespace ixo::lexer
