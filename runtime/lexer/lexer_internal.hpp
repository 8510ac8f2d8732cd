// What the token loop (lexer.cpp) and the token rows (token_values.cpp)
// share: the scan record, the character classes and the error kinds.
#pragma once
#include <array>
#include <cstdint>

#include "runtime/lexer/lexer.hpp"

namespace ixo::lexer {

// Error kinds besides a datatype id (syntax/invalid of that type).
enum error_kind : int32_t {
  KIND_BAD_CHAR = -1,
  KIND_MALCONSTRUCT = -2,
  KIND_MISMATCH = -3,  // a closing delimiter that matches no open series
  KIND_END_OPEN = -4,  // the end of the input with a series open
};

// One running scan. Output positions are indexes into the shared output
// stack, so that growing it moves nothing a record holds.
struct record {
  record* next;    // the scan a callback started while this one runs
  record* parent;  // the scan that was running when this one started
  int32_t head;    // first output cell of this scan
  int32_t open;    // first cell of the innermost open series (head: none)
  int32_t tail;    // next free output cell
  const uint8_t* input_head;
  const uint8_t* input_tail;
  const uint8_t* pos;  // where the next token starts
  int32_t line;
  int32_t type;       // datatype of the last token, 0 for structure
  int32_t prev_type;
  int32_t closing;    // series whose closing delimiter is missing
  bool newline;       // a line feed since the last value
  bool path_element;  // a path separator was read: an element follows
  bool string_input;  // positions count characters, not bytes
  scan_mode mode;
  cell callback;      // none! without one
  int32_t events;
  cell input;         // the series the text came from, or none!
  cell* into;         // the block that takes the values (transcode/into), or null
  const uint8_t* cache_pos;  // byte position -> character index cache
  int32_t cache_index;
};

// ---- Character classes -----------------------------------------------------------

enum char_class : uint8_t {
  CLASS_BLANK = 0,       // tab, CR, space
  CLASS_LF = 1,
  CLASS_DIGIT = 2,       // 1-9
  CLASS_ZERO = 3,
  CLASS_BLOCK_OPEN = 4, CLASS_BLOCK_CLOSE, CLASS_PAREN_OPEN, CLASS_PAREN_CLOSE,
  CLASS_BRACE_OPEN, CLASS_BRACE_CLOSE, CLASS_QUOTE,
  CLASS_HASH = 11, CLASS_APOSTROPHE, CLASS_COLON, CLASS_X, CLASS_T, CLASS_H,
  CLASS_LOWER_E, CLASS_UPPER_E, CLASS_LOWER_HEX, CLASS_UPPER_HEX,
  CLASS_SLASH = 21, CLASS_BACKSLASH, CLASS_LESS, CLASS_GREATER, CLASS_EQUAL,
  CLASS_PERCENT = 26, CLASS_COMMA, CLASS_SEMICOLON, CLASS_AT, CLASS_DOT, CLASS_DOLLAR,
  CLASS_PLUS = 32, CLASS_MINUS, CLASS_CARET,
  CLASS_CONTROL = 35,    // bytes 1-8, 11, 12, 14-31
  CLASS_CONTINUATION,    // bytes 127-191
  CLASS_WORD,            // other word characters and UTF-8 lead bytes 194-247
  CLASS_INVALID,         // 192, 193, 248-255
  CLASS_END,             // byte 0
};

extern const std::array<uint8_t, 256> class_table;
inline uint8_t class_of(uint8_t b) { return class_table[b]; }

// Bytes that end every word-like token: blanks, control bytes, line feed,
// brackets, parentheses, braces, the double quote, ";" and byte 0.
inline bool delimiter_q(uint8_t b) {
  uint8_t k = class_table[b];
  return k <= CLASS_LF || (k >= CLASS_BLOCK_OPEN && k <= CLASS_QUOTE) || k == CLASS_SEMICOLON ||
         k == CLASS_CONTROL || k == CLASS_END;
}

// The bytes of the code point of the Unicode space set at p, or 0.
int32_t unicode_space_length(const uint8_t* p, const uint8_t* end);

// ---- Shared by the loop and the rows ------------------------------------------------

void push_value(record* r, const cell& value);
uint32_t open_type(const record* r);
bool value_complete(const record* r);
// Fires `open` and pushes the marker of a new series of `type` whose
// opening delimiter is the `length` bytes at `at`; false when refused.
bool open_series(record* r, uint32_t type, const uint8_t* at, int32_t length);
// Closes the innermost open series as a value of `type` (when storing).
void end_series(record* r, uint32_t type);
[[noreturn]] void throw_error(record* r, const uint8_t* at, int32_t kind);
bool fire_event(record* r, int32_t event, const cell& type, const cell* value, const uint8_t* start,
                const uint8_t* end);

// The rows: a value token at r->pos (anything but structure), a path
// element after a separator, the step after an element, and "(" when it
// opens a point literal (answers false when it does not).
void value_token(record* r);
void path_element(record* r);
void after_path_element(record* r);
bool point_literal(record* r);

}  // namespace ixo::lexer
